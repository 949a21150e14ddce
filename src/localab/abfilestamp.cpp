#include "abfilestamp.h"

#include <QFile>

#include <cerrno>
#include <cstring>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {

ABFileStamp stampOf(const struct stat &info)
{
    return {qint64(info.st_mtim.tv_sec) * 1000000000 + info.st_mtim.tv_nsec, qint64(info.st_size),
            qint64(info.st_ino)};
}

qint64 changeTimeOf(const struct stat &info)
{
    return qint64(info.st_ctim.tv_sec) * 1000000000 + info.st_ctim.tv_nsec;
}

} // namespace

ABFileStamp ABFileStamp::of(const QString &path)
{
    struct stat info;
    if (::stat(QFile::encodeName(path).constData(), &info) != 0 || !S_ISREG(info.st_mode))
        return {};
    return stampOf(info);
}

bool ABFileStamp::readRegularFile(const QString &path, qint64 maxSize, QByteArray *bytes, QString *error,
                                  ABFileStamp *stamp)
{
    return readRegularFileAt(AT_FDCWD, path, maxSize, bytes, error, stamp);
}

bool ABFileStamp::ofAt(int directoryFd, const QString &name, ABFileStamp *stamp, qint64 *changeTime)
{
    struct stat info;
    if (::fstatat(directoryFd, QFile::encodeName(name).constData(), &info, 0) != 0 || !S_ISREG(info.st_mode))
        return false;
    *stamp = stampOf(info);
    *changeTime = changeTimeOf(info);
    return true;
}

bool ABFileStamp::readRegularFileAt(int directoryFd, const QString &name, qint64 maxSize, QByteArray *bytes,
                                    QString *error, ABFileStamp *stamp, qint64 *changeTime)
{
    // O_NONBLOCK: opening a FIFO must not wait for a writer; the type is checked on what was
    // opened, so a file swapped in between cannot slip through.
    const int fd = ::openat(directoryFd, QFile::encodeName(name).constData(), O_RDONLY | O_NONBLOCK | O_CLOEXEC);
    if (fd < 0) {
        *error = QString::fromLocal8Bit(std::strerror(errno));
        return false;
    }
    struct stat info;
    bool ok = ::fstat(fd, &info) == 0;
    if (!ok) {
        *error = QString::fromLocal8Bit(std::strerror(errno));
    } else if (!S_ISREG(info.st_mode)) {
        *error = QStringLiteral("not a regular file");
        ok = false;
    } else {
        if (stamp)
            *stamp = stampOf(info); // also for a file refused for its size: it is not looked at again
        if (changeTime)
            *changeTime = changeTimeOf(info);
    }
    if (ok && info.st_size > maxSize) {
        *error = QStringLiteral("larger than %1 MB").arg(maxSize / (1024 * 1024));
        ok = false;
    }
    if (ok) {
        // The file may grow while we read: stop one byte past the cap.
        bytes->resize(qsizetype(info.st_size));
        qsizetype done = 0;
        for (;;) {
            if (done == bytes->size()) {
                // The size the file had when it was opened: a later change shows in its stamp.
                if (done > maxSize || (done > 0 && done == qsizetype(info.st_size)))
                    break;
                bytes->resize(qMin<qsizetype>(done + 65536, qsizetype(maxSize + 1)));
            }
            const ssize_t n = ::read(fd, bytes->data() + done, size_t(bytes->size() - done));
            if (n < 0 && errno == EINTR)
                continue;
            if (n < 0) {
                *error = QString::fromLocal8Bit(std::strerror(errno));
                ok = false;
                break;
            }
            if (n == 0)
                break;
            done += n;
        }
        bytes->resize(done);
        if (ok && done > maxSize) {
            *error = QStringLiteral("larger than %1 MB").arg(maxSize / (1024 * 1024));
            ok = false;
        }
    }
    ::close(fd);
    if (!ok)
        bytes->clear();
    return ok;
}
