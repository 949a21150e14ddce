#include "startupreport.h"

#include "abaddressbook.h"
#include "abperson.h"
#include "stallprobe.h"
#include "vcardsharingcontroller.h"
#include "viewerwindow.h"

#include <QCoreApplication>
#include <QDateTime>
#include <QEvent>
#include <QFile>
#include <QTimer>

#include <cstdio>
#include <unistd.h>

namespace {
// Milliseconds since the epoch at which the process started.
qint64 processStartMs()
{
    bool ok = false;
    const qint64 execNs = qEnvironmentVariable("ZORBIX_STARTUP_REPORT").toLongLong(&ok);
    if (ok && execNs > 0)
        return execNs / 1000000;
    // Clock ticks after boot (field 22 of /proc/self/stat), plus the boot time from /proc/stat.
    QFile stat(QStringLiteral("/proc/self/stat"));
    QFile system(QStringLiteral("/proc/stat"));
    if (!stat.open(QIODevice::ReadOnly) || !system.open(QIODevice::ReadOnly))
        return QDateTime::currentMSecsSinceEpoch();
    const QByteArray line = stat.readAll();
    const QList<QByteArray> fields = line.mid(line.lastIndexOf(')') + 2).split(' ');
    const qint64 ticks = fields.value(19).toLongLong();
    qint64 bootSeconds = 0;
    for (const QByteArray &entry : system.readAll().split('\n')) {
        if (entry.startsWith("btime "))
            bootSeconds = entry.mid(6).trimmed().toLongLong();
    }
    return bootSeconds * 1000 + ticks * 1000 / sysconf(_SC_CLK_TCK);
}

class FirstPaintWatch : public QObject
{
public:
    FirstPaintWatch(vCardSharingController &controller, qint64 startMs)
        : QObject(&controller), m_controller(controller), m_startMs(startMs)
    {
        m_probe = new StallProbe(StallProbe::kIntervalMs, this);
        controller.window()->installEventFilter(this);
        if (controller.isAddressBookReady())
            storeReady();
        else
            connect(&controller, &vCardSharingController::addressBookReady, this, &FirstPaintWatch::storeReady);
    }

    bool eventFilter(QObject *watched, QEvent *event) override
    {
        if (event->type() == QEvent::Paint && !m_painted) {
            m_painted = true;
            // After this round of painting, children included.
            QTimer::singleShot(0, this, [this] {
                print("first paint of the main window");
                finishIfDone();
            });
        }
        return QObject::eventFilter(watched, event);
    }

private:
    void storeReady()
    {
        const ABAddressBook *book = ABAddressBook::sharedAddressBook();
        m_persons = book ? book->people().size() : 0;
        m_stored = true;
        print("address book ready");
        finishIfDone();
    }

    void print(const char *what) const
    {
        std::fprintf(stderr, "startup: %s after %lld ms\n", what,
                     static_cast<long long>(QDateTime::currentMSecsSinceEpoch() - m_startMs));
    }

    void finishIfDone()
    {
        if (!m_painted || !m_stored || m_finished)
            return;
        m_finished = true;
        // A little longer, so that what the arrival of the store set going is measured too.
        QTimer::singleShot(300, this, [this] {
            std::fprintf(stderr, "startup: %lld persons; worst event-loop stall %lld ms\n",
                         static_cast<long long>(m_persons), static_cast<long long>(m_probe->worstMs()));
            QCoreApplication::quit();
        });
    }

    vCardSharingController &m_controller;
    qint64 m_startMs;
    StallProbe *m_probe = nullptr;
    qsizetype m_persons = 0;
    bool m_painted = false;
    bool m_stored = false;
    bool m_finished = false;
};
} // namespace

void StartupReport::installIfAsked(vCardSharingController &controller)
{
    if (qEnvironmentVariableIsSet("ZORBIX_STARTUP_REPORT"))
        new FirstPaintWatch(controller, processStartMs());
}
