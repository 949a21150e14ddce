#include "durablefile.h"

#include <QFile>
#include <QFileInfo>
#include <QRandomGenerator>
#include <QRegularExpression>

#include <cerrno>
#include <cstdio>
#include <cstring>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

struct DurableFile::Private
{
    QString path;
    QString tempPath;
    int fd = -1;
    int error = 0;
    qint64 written = 0;
    QByteArray buffer; // small pieces gathered into fewer write(2) calls
    bool complete = false;  // synced and closed: only the rename is left
    bool committed = false; // the temporary file took the target's place
    bool syncDirectory = true;
};

namespace {

QByteArray native(const QString &path)
{
    return QFile::encodeName(path);
}

QString reasonOf(int error)
{
    return QString::fromLocal8Bit(std::strerror(error));
}

QString randomSuffix()
{
    static const char kChars[] = "abcdefghijklmnopqrstuvwxyzABCDEFGHIJKLMNOPQRSTUVWXYZ0123456789";
    QString suffix;
    for (int i = 0; i < 6; ++i)
        suffix += QLatin1Char(kChars[QRandomGenerator::global()->bounded(62)]);
    return suffix;
}

} // namespace

DurableFile::DurableFile(const QString &path) : d(std::make_unique<Private>())
{
    d->path = path;
}

DurableFile::~DurableFile()
{
    discard();
}

void DurableFile::setSyncDirectory(bool sync)
{
    d->syncDirectory = sync;
}

QString DurableFile::tempPath() const
{
    return d->tempPath;
}

int DurableFile::systemError() const
{
    return d->error;
}

bool DurableFile::open(OpenMode mode)
{
    if (isOpen() || !d->tempPath.isEmpty() || (mode & ~QIODevice::Unbuffered) != QIODevice::WriteOnly) {
        setErrorString(QStringLiteral("not opened for writing"));
        return false;
    }
    struct stat target;
    const bool exists = ::stat(native(d->path).constData(), &target) == 0;
    if (exists && S_ISDIR(target.st_mode)) {
        d->error = EISDIR;
        setErrorString(QStringLiteral("%1 is a folder").arg(d->path));
        return false;
    }
    const QFileInfo info(d->path);
    // Room for the decoration within a file name's 255 bytes.
    QString name = info.fileName();
    while (native(name).size() > 200)
        name.chop(1);
    for (int attempt = 0; attempt < 100; ++attempt) {
        const QString temp =
            info.path() + QStringLiteral("/.") + name + QStringLiteral(".zorbix-") + randomSuffix() + QStringLiteral(".tmp");
        // 0666 and the umask, as any new file; an existing target's permissions are kept below.
        d->fd = ::open(native(temp).constData(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0666);
        if (d->fd >= 0) {
            d->tempPath = temp;
            break;
        }
        if (errno != EEXIST) {
            d->error = errno;
            setErrorString(reasonOf(errno));
            return false;
        }
    }
    if (d->fd < 0) {
        d->error = EEXIST;
        setErrorString(reasonOf(EEXIST));
        return false;
    }
    if (exists && S_ISREG(target.st_mode))
        (void)::fchmod(d->fd, target.st_mode & 07777);
    return QIODevice::open(QIODevice::WriteOnly | QIODevice::Unbuffered);
}

namespace {

constexpr qsizetype kBufferSize = 64 * 1024;

// Every byte or the reason why not: a full disk (ENOSPC), a size limit (EFBIG, with SIGXFSZ
// ignored) or a device error.
int writeAll(int fd, const char *data, qint64 size)
{
    qint64 done = 0;
    while (done < size) {
        const ssize_t n = ::write(fd, data + done, size_t(size - done));
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0)
            return n < 0 ? errno : EIO;
        done += n;
    }
    return 0;
}

} // namespace

qint64 DurableFile::writeData(const char *data, qint64 size)
{
    if (d->fd < 0 || d->error != 0)
        return -1;
    d->written += size;
    if (d->buffer.size() + size <= kBufferSize) {
        d->buffer.append(data, size);
        return size;
    }
    int error = writeAll(d->fd, d->buffer.constData(), d->buffer.size());
    d->buffer.clear();
    if (error == 0 && size < kBufferSize)
        d->buffer.append(data, size);
    else if (error == 0)
        error = writeAll(d->fd, data, size);
    if (error != 0) {
        // The file is spoilt: commit() refuses it.
        d->error = error;
        setErrorString(reasonOf(error));
        return -1;
    }
    return size;
}

bool DurableFile::complete(bool sync)
{
    if (d->complete)
        return true;
    if (d->committed || d->tempPath.isEmpty()) {
        setErrorString(QStringLiteral("not opened for writing"));
        return false;
    }
    if (d->error != 0)
        return false; // the failed write's reason stays
    const auto fail = [this](int error) {
        d->error = error;
        setErrorString(reasonOf(error));
        return false;
    };
    if (const int error = writeAll(d->fd, d->buffer.constData(), d->buffer.size()); error != 0)
        return fail(error);
    d->buffer.clear();
    if (sync && ::fdatasync(d->fd) != 0)
        return fail(errno);
    struct stat info;
    if (::fstat(d->fd, &info) != 0)
        return fail(errno);
    if (info.st_size != d->written) {
        d->error = EIO;
        setErrorString(QStringLiteral("only %1 of %2 bytes reached the disk").arg(info.st_size).arg(d->written));
        return false;
    }
    const int fd = d->fd;
    d->fd = -1;
    QIODevice::close();
    if (::close(fd) != 0)
        return fail(errno);
    d->complete = true;
    return true;
}

bool DurableFile::commit(Commit how)
{
    if (d->committed || d->tempPath.isEmpty()) {
        setErrorString(QStringLiteral("not opened for writing"));
        return false;
    }
    if (!complete())
        return false;
    QString target = d->path;
    if (how == Commit::Replace) {
        // A link named by the user is written through to its target, as an editor would.
        const QFileInfo info(target);
        if (info.isSymLink())
            target = info.canonicalFilePath().isEmpty() ? info.symLinkTarget() : info.canonicalFilePath();
    }
    const unsigned int flags = how == Commit::New ? RENAME_NOREPLACE : how == Commit::Exchange ? RENAME_EXCHANGE : 0;
    if (::renameat2(AT_FDCWD, native(d->tempPath).constData(), AT_FDCWD, native(target).constData(), flags) != 0) {
        d->error = errno;
        setErrorString(reasonOf(errno));
        return false; // the complete temporary file stays for another commit, until discard()
    }
    d->error = 0;
    d->committed = how != Commit::Exchange; // after an exchange, the temporary name holds the old file
    if (d->syncDirectory)
        syncDirectory(QFileInfo(target).path());
    return true;
}

void DurableFile::discard()
{
    if (d->fd >= 0) {
        ::close(d->fd);
        d->fd = -1;
    }
    if (isOpen())
        QIODevice::close();
    if (!d->tempPath.isEmpty() && !d->committed)
        ::unlink(native(d->tempPath).constData());
    d->committed = true; // nothing of ours is left to remove
}

bool DurableFile::writeFile(const QString &path, const QByteArray &bytes, QString *error)
{
    DurableFile file(path);
    const bool ok = file.open(QIODevice::WriteOnly) && file.write(bytes) == bytes.size() && file.commit();
    if (!ok && error)
        *error = file.errorString();
    return ok;
}

bool DurableFile::exchange(const QString &a, const QString &b)
{
    return ::renameat2(AT_FDCWD, native(a).constData(), AT_FDCWD, native(b).constData(), RENAME_EXCHANGE) == 0;
}

bool DurableFile::syncDirectory(const QString &directory)
{
    const int fd = ::open(native(directory).constData(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (fd < 0)
        return false;
    const bool ok = ::fsync(fd) == 0;
    ::close(fd);
    return ok;
}

DurableFile::FileSystemSync::FileSystemSync(const QString &directory)
{
    // Opening samples the file system's write-back error state; syncfs compares against it.
    m_fd = ::open(native(directory).constData(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    m_openError = m_fd < 0 ? errno : 0;
}

DurableFile::FileSystemSync::~FileSystemSync()
{
    if (m_fd >= 0)
        ::close(m_fd);
}

bool DurableFile::FileSystemSync::sync(QString *error)
{
    const int result = m_fd < 0 ? m_openError : ::syncfs(m_fd) == 0 ? 0 : errno;
    if (result != 0 && error)
        *error = reasonOf(result);
    return result == 0;
}

bool DurableFile::isLeftover(const QString &fileName)
{
    static const QRegularExpression ours(QStringLiteral("^\\..+\\.zorbix-[A-Za-z0-9]{6}\\.tmp$"));
    static const QRegularExpression saveFile(QStringLiteral("^.+\\.[vV][cC][fF]\\.[A-Za-z0-9]{6}$"));
    return ours.match(fileName).hasMatch() || saveFile.match(fileName).hasMatch();
}
