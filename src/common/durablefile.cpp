#include "durablefile.h"

#include <QFile>
#include <QFileInfo>
#include <QRandomGenerator>
#include <QRegularExpression>

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <cstdio>
#include <cstring>

#include <fcntl.h>
#include <sys/resource.h>
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
    bool complete = false;  // synced (and closed, unless unnamed): only the rename is left
    bool committed = false; // the temporary file took the target's place
    bool syncDirectory = true;
    bool wantUnnamed = false;
    bool unnamed = false; // fd is an O_TMPFILE file without a name, open until its commit
    qint64 writtenTime = -1;
    qint64 writtenInode = -1;

    // linkat of the file itself, else through /proc where the kernel refuses that. Never
    // replaces an entry.
    int linkTo(const QString &target) const;
    void closeUnnamed();
    // The unnamed file under a fresh temporary name, for a rename; errno on failure.
    int nameUnnamed();
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

std::atomic<bool> s_unnamedAllowed{true};
std::atomic<int> s_unnamedHeld{0}; // unnamed files open in this process

// Unnamed files stay open from open() to commit(): a slice of a save holds thousands. Half of the
// descriptors the process may have are left for everything else.
int unnamedBudget()
{
    static const int budget = [] {
        if (::access("/proc/self/fd", X_OK) != 0)
            return 0; // no way to link an unnamed file
        rlimit files{};
        if (::getrlimit(RLIMIT_NOFILE, &files) != 0 || files.rlim_cur == RLIM_INFINITY)
            return 512;
        return int(std::min<rlim_t>(files.rlim_cur / 2, 1 << 20)) - 64;
    }();
    return budget;
}

// O_TMPFILE in the target's folder; -1 where the file system (or kernel) cannot make one.
int openUnnamed(const QString &folder)
{
    if (!s_unnamedAllowed || ++s_unnamedHeld > unnamedBudget()) {
        --s_unnamedHeld;
        return -1;
    }
    const int fd = ::open(native(folder).constData(), O_TMPFILE | O_WRONLY | O_CLOEXEC, 0666);
    if (fd < 0)
        --s_unnamedHeld;
    return fd;
}

QString randomSuffix()
{
    static const char kChars[] = "abcdefghijklmnopqrstuvwxyzABCDEFGHIJKLMNOPQRSTUVWXYZ0123456789";
    QString suffix;
    for (int i = 0; i < 6; ++i)
        suffix += QLatin1Char(kChars[QRandomGenerator::global()->bounded(62)]);
    return suffix;
}

// ".<name>.zorbix-XXXXXX.tmp" beside path.
QString temporaryPathFor(const QString &path)
{
    const QFileInfo info(path);
    // Room for the decoration within a file name's 255 bytes.
    QString name = info.fileName();
    while (native(name).size() > 200)
        name.chop(1);
    return info.path() + QStringLiteral("/.") + name + QStringLiteral(".zorbix-") + randomSuffix() +
           QStringLiteral(".tmp");
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

void DurableFile::setUnnamed(bool unnamed)
{
    d->wantUnnamed = unnamed;
}

bool DurableFile::isUnnamed() const
{
    return d->unnamed;
}

void DurableFile::setUnnamedAllowed(bool allowed)
{
    s_unnamedAllowed = allowed;
}

qint64 DurableFile::writtenTime() const
{
    return d->writtenTime;
}

qint64 DurableFile::writtenInode() const
{
    return d->writtenInode;
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
    if (isOpen() || d->fd >= 0 || !d->tempPath.isEmpty() ||
        (mode & ~QIODevice::Unbuffered) != QIODevice::WriteOnly) {
        setErrorString(QStringLiteral("not opened for writing"));
        return false;
    }
    if (d->wantUnnamed && !d->syncDirectory) {
        // Not looked up first: the link refuses a target that exists.
        d->fd = openUnnamed(QFileInfo(d->path).path());
        d->unnamed = d->fd >= 0;
        if (d->unnamed)
            return QIODevice::open(QIODevice::WriteOnly | QIODevice::Unbuffered);
    }
    struct stat target;
    const bool exists = ::stat(native(d->path).constData(), &target) == 0;
    if (exists && S_ISDIR(target.st_mode)) {
        d->error = EISDIR;
        setErrorString(QStringLiteral("%1 is a folder").arg(d->path));
        return false;
    }
    for (int attempt = 0; attempt < 100; ++attempt) {
        const QString temp = temporaryPathFor(d->path);
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
    if (d->committed || (d->tempPath.isEmpty() && !d->unnamed)) {
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
    d->writtenTime = qint64(info.st_mtim.tv_sec) * 1000000000 + info.st_mtim.tv_nsec;
    d->writtenInode = qint64(info.st_ino);
    if (d->unnamed) {
        // Without a name the file lives only as long as this descriptor: it stays open for the link.
        QIODevice::close();
        d->complete = true;
        return true;
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
    if (d->committed || (d->tempPath.isEmpty() && !d->unnamed)) {
        setErrorString(QStringLiteral("not opened for writing"));
        return false;
    }
    if (!complete())
        return false;
    if (d->unnamed) {
        // A New commit is the link itself; a rename needs a name first.
        const int error = how == Commit::New ? d->linkTo(d->path) : d->nameUnnamed();
        if (error != 0) {
            d->error = error;
            setErrorString(reasonOf(error));
            return false; // the file stays for another commit, until discard()
        }
        if (how == Commit::New) {
            d->error = 0;
            d->closeUnnamed();
            d->committed = true;
            return true;
        }
    }
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

int DurableFile::Private::linkTo(const QString &target) const
{
    const QByteArray name = native(target);
    // The file itself (kernels from 6.10 allow it for a file one opened, older ones only with
    // CAP_DAC_READ_SEARCH, else ENOENT): it spares the look-up of a /proc path per file.
    if (::linkat(fd, "", AT_FDCWD, name.constData(), AT_EMPTY_PATH) == 0)
        return 0;
    if (errno != ENOENT && errno != EPERM)
        return errno;
    const QByteArray proc = "/proc/self/fd/" + QByteArray::number(fd);
    return ::linkat(AT_FDCWD, proc.constData(), AT_FDCWD, name.constData(), AT_SYMLINK_FOLLOW) == 0 ? 0 : errno;
}

void DurableFile::Private::closeUnnamed()
{
    ::close(fd);
    fd = -1;
    unnamed = false;
    --s_unnamedHeld;
}

int DurableFile::Private::nameUnnamed()
{
    for (int attempt = 0; attempt < 100; ++attempt) {
        const QString temp = temporaryPathFor(path);
        const int error = linkTo(temp);
        if (error == EEXIST)
            continue;
        if (error == 0) {
            tempPath = temp;
            closeUnnamed();
        }
        return error;
    }
    return EEXIST;
}

void DurableFile::discard()
{
    if (d->unnamed) {
        d->closeUnnamed(); // an unnamed file goes with its last descriptor
    } else if (d->fd >= 0) {
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
