#include "abstorewatcher.h"

#include "abaddressbook.h"
#include "systemlog.h"

#include <QFile>
#include <QSet>
#include <QSocketNotifier>
#include <QTimer>

#include <cerrno>
#include <climits>
#include <cstring>

#include <sys/inotify.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {

// Without inotify: how often the directory's stamp is looked at, and after how many looks every
// file's stamp is (a file written in place changes no directory entry).
constexpr int kPollMilliseconds = 2000;
constexpr int kPollsPerFullLook = 15;

// The directory's modification time and inode: an entry added, removed or renamed changes it.
QByteArray directoryStamp(const QString &directory)
{
    struct stat info;
    if (::stat(QFile::encodeName(directory).constData(), &info) != 0)
        return QByteArray();
    return QByteArray::number(qint64(info.st_mtim.tv_sec)) + '.' + QByteArray::number(qint64(info.st_mtim.tv_nsec)) +
           '/' + QByteArray::number(qint64(info.st_ino));
}

} // namespace

struct ABStoreWatcher::Private
{
    ABAddressBook *book = nullptr;
    int fd = -1;
    std::unique_ptr<QSocketNotifier> notifier;
    QTimer delay;
    // Card files written to in place since the last refresh: their stamp alone may miss it.
    QSet<QString> writtenInPlace;
    // Entries named by a notice since the last refresh; only they are looked at, unless a notice
    // was lost (queue overflow) or concerned the directory itself.
    QSet<QString> named;
    bool lookAtAll = false;
    // Polling, when the kernel gives no inotify instance or watch (its limits are per user).
    QTimer poll;
    QByteArray polledStamp;
    int pollsSinceFullLook = 0;
};

ABStoreWatcher::ABStoreWatcher(ABAddressBook *book, QObject *parent) : QObject(parent), d(std::make_unique<Private>())
{
    d->book = book;
    d->delay.setSingleShot(true);
    d->delay.setInterval(300);
    connect(&d->delay, &QTimer::timeout, this, &ABStoreWatcher::refreshNow);
    if (!book || !book->isOpen())
        return;
    // Entries added, removed or renamed into place, and files written in place: a shell redirect
    // or an editor that saves over the file changes no directory entry.
    d->fd = ::inotify_init1(IN_NONBLOCK | IN_CLOEXEC);
    const uint32_t mask = IN_CREATE | IN_DELETE | IN_MOVED_FROM | IN_MOVED_TO | IN_CLOSE_WRITE | IN_MODIFY |
                          IN_ATTRIB | IN_DELETE_SELF | IN_MOVE_SELF;
    if (d->fd < 0 || ::inotify_add_watch(d->fd, QFile::encodeName(book->directory()).constData(), mask) < 0) {
        systemLog(QStringLiteral("ABStoreWatcher: cannot watch %1: %2; looking for changes every %3 s instead")
                      .arg(book->directory(), QString::fromLocal8Bit(std::strerror(errno)))
                      .arg(kPollMilliseconds / 1000));
        if (d->fd >= 0)
            ::close(d->fd);
        d->fd = -1;
        d->polledStamp = directoryStamp(book->directory());
        d->poll.setInterval(kPollMilliseconds);
        connect(&d->poll, &QTimer::timeout, this, &ABStoreWatcher::poll);
        d->poll.start();
        return;
    }
    d->notifier = std::make_unique<QSocketNotifier>(d->fd, QSocketNotifier::Read);
    connect(d->notifier.get(), &QSocketNotifier::activated, this, &ABStoreWatcher::readNotices);
}

ABStoreWatcher::~ABStoreWatcher()
{
    d->notifier.reset();
    if (d->fd >= 0)
        ::close(d->fd);
}

void ABStoreWatcher::setDelay(int milliseconds)
{
    d->delay.setInterval(milliseconds);
}

void ABStoreWatcher::readNotices()
{
    if (d->fd < 0)
        return;
    alignas(inotify_event) char buffer[16 * (sizeof(inotify_event) + NAME_MAX + 1)];
    bool any = false;
    for (;;) {
        const ssize_t n = ::read(d->fd, buffer, sizeof buffer);
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0)
            break; // EAGAIN: nothing more
        any = true;
        for (ssize_t at = 0; at + ssize_t(sizeof(inotify_event)) <= n;) {
            const auto *event = reinterpret_cast<const inotify_event *>(buffer + at);
            if (event->len == 0 || (event->mask & IN_Q_OVERFLOW)) {
                d->lookAtAll = true;
            } else {
                const QString name = QFile::decodeName(event->name);
                d->named.insert(name);
                if ((event->mask & (IN_MODIFY | IN_CLOSE_WRITE)) && name.endsWith(QLatin1String(".vcf"), Qt::CaseInsensitive))
                    d->writtenInPlace.insert(name);
            }
            at += ssize_t(sizeof(inotify_event) + event->len);
        }
    }
    if (any)
        d->delay.start();
}

void ABStoreWatcher::setPollInterval(int milliseconds)
{
    d->poll.setInterval(milliseconds);
}

bool ABStoreWatcher::isPolling() const
{
    return d->poll.isActive();
}

void ABStoreWatcher::poll()
{
    const QByteArray stamp = directoryStamp(d->book->directory());
    if (stamp != d->polledStamp || ++d->pollsSinceFullLook >= kPollsPerFullLook) {
        d->polledStamp = stamp;
        d->pollsSinceFullLook = 0;
        refreshNow();
    }
}

void ABStoreWatcher::takeInPendingChanges()
{
    if (isPolling()) {
        // Nothing tells us about files written in place: look at every file's stamp.
        d->polledStamp = directoryStamp(d->book->directory());
        d->pollsSinceFullLook = 0;
        return refreshNow();
    }
    readNotices();
    if (d->delay.isActive())
        refreshNow();
}

void ABStoreWatcher::refreshNow()
{
    d->delay.stop();
    const QSet<QString> written = std::exchange(d->writtenInPlace, {});
    const QSet<QString> named = std::exchange(d->named, {});
    const bool all = std::exchange(d->lookAtAll, false) || isPolling();
    if (d->book && (all ? d->book->refresh(written) : d->book->refreshFiles(named, written)))
        emit refreshed();
}
