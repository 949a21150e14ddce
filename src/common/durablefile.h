#pragma once

#include <QByteArray>
#include <QIODevice>
#include <QString>

#include <memory>

// A file written so that it takes the place of its target only when every byte is on the disk:
// written into a temporary file beside the target with every write(2) checked (small pieces are
// gathered in 64 KB first, so a failure may show at a later write or at commit(), never later),
// synced, its size checked, then renamed. QSaveFile cannot be trusted with this: in Qt 6.4 its
// commit() does not report a flush that failed, and renames a cut file over the target.
// Until commit() the target is untouched; a failed or abandoned write removes the temporary file.
// Temporary files are named ".<target name>.XXXXXX.tmp": hidden, never a store item, and
// recognisable as leftovers of a killed write (isLeftover()).
class DurableFile : public QIODevice
{
public:
    enum class Commit {
        Replace,  // rename over whatever is at the target
        New,      // only when nothing is there (RENAME_NOREPLACE): nothing another program made is lost
        Exchange, // swap with the target (RENAME_EXCHANGE): the displaced file is then at tempPath()
    };

    explicit DurableFile(const QString &path);
    ~DurableFile() override;

    // Creates the temporary file; mode must be WriteOnly. Permissions follow an existing target.
    bool open(OpenMode mode) override;
    // Syncs, checks the size and renames as asked; false (target untouched) on any failure. A
    // target that is a link is refused for Replace. The folder is synced too unless told not to
    // (one sync for many files is the caller's then).
    bool commit(Commit how = Commit::Replace);
    // The part of commit() before the rename: writes what is gathered, syncs (unless the caller
    // makes many files durable at once with FileSystemSync), checks the size and closes the file.
    // commit() afterwards only renames. False, with the reason, on any failure.
    bool complete(bool sync = true);
    // Removes the temporary file (and with it, after an exchange, the displaced file).
    void discard();

    void setSyncDirectory(bool sync);
    // Before open(), for a file of a batch (setSyncDirectory(false)) whose target should not exist:
    // write into an unnamed file (O_TMPFILE) that a New commit links to the target (linkat, which
    // fails with EEXIST when the name exists, as a refused rename). Nothing is left behind by a
    // crash, and the folder gets one entry instead of two. A named temporary file is used where
    // the file system cannot, or when the process holds many unnamed files already (each stays
    // open until its commit). The link changes the file's inode, which a sync of the folder does
    // not write: the caller makes the batch's links durable with a FileSystemSync.
    void setUnnamed(bool unnamed);
    bool isUnnamed() const;
    // Switches unnamed files off for the process (a file system known to mishandle them; tests).
    static void setUnnamedAllowed(bool allowed);
    QString tempPath() const;
    // The written file's modification time (ns) and inode, known after complete().
    qint64 writtenTime() const;
    qint64 writtenInode() const;
    // errno of the failure that ended the write (0 while none): EEXIST after a refused New commit,
    // ENOENT after an exchange with a missing target, EINVAL where the file system cannot exchange.
    int systemError() const;

    bool isSequential() const override { return true; }

    // The whole file at once, replacing the target; false with a reason on any failure.
    static bool writeFile(const QString &path, const QByteArray &bytes, QString *error);
    // Swaps two directory entries atomically (RENAME_EXCHANGE); errno on failure.
    static bool exchange(const QString &a, const QString &b);
    static bool syncDirectory(const QString &directory);
    // Whether fileName (no folder) is a temporary file of ours, or of the QSaveFile writes of
    // earlier versions ("<name>.vcf.XXXXXX"), that a killed write may have left behind.
    static bool isLeftover(const QString &fileName);

    // Many files made durable at once: one syncfs(2) of the file system instead of a sync per file,
    // which writes each file's metadata block and flushes the disk's cache again and again.
    // syncfs reports a write-back error of any file of that file system since this object was
    // made, so the files to be covered are written after it (a failure fails them all).
    class FileSystemSync
    {
    public:
        explicit FileSystemSync(const QString &directory);
        ~FileSystemSync();
        FileSystemSync(const FileSystemSync &) = delete;
        FileSystemSync &operator=(const FileSystemSync &) = delete;
        // False, with the reason, when the directory could not be opened or the sync failed.
        bool sync(QString *error);

    private:
        int m_fd = -1;
        int m_openError = 0;
    };

protected:
    qint64 readData(char *, qint64) override { return -1; }
    qint64 writeData(const char *data, qint64 size) override;

private:
    struct Private;
    std::unique_ptr<Private> d;
};
