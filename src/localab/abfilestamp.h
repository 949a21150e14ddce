#pragma once

#include <QByteArray>
#include <QString>
#include <QtGlobal>

// A file's modification time (ns), size and inode as last seen: enough to notice that another
// program changed or replaced the file without reading it.
struct ABFileStamp
{
    qint64 time = -1;
    qint64 size = -1;
    qint64 inode = -1;

    // The stamp of the file at path (after following a link); an empty one when it cannot be
    // looked at or is not a regular file. Plain stat: QFileInfo's local-time QDateTime costs more
    // than the look itself, and a refresh looks at every file of the store.
    static ABFileStamp of(const QString &path);

    // Reads a regular file (a link is followed) of at most maxSize bytes. Never blocks on a FIFO
    // or a device and never reads more than maxSize + 1 bytes: anything else is refused with a
    // reason. stamp (optional) is the file's stamp when it was opened.
    static bool readRegularFile(const QString &path, qint64 maxSize, QByteArray *bytes, QString *error,
                                ABFileStamp *stamp = nullptr);
    // The same for a name relative to an open directory (AT_FDCWD: the working directory): a
    // store reads thousands of files of one directory, and each full path is looked up anew.
    // changeTime (optional): the file's status change time (ns), which no program can set.
    static bool readRegularFileAt(int directoryFd, const QString &name, qint64 maxSize, QByteArray *bytes,
                                  QString *error, ABFileStamp *stamp = nullptr, qint64 *changeTime = nullptr);
    // The stamp and status change time of a regular file (a link is followed) named relative to
    // an open directory, without opening it; false for anything else.
    static bool ofAt(int directoryFd, const QString &name, ABFileStamp *stamp, qint64 *changeTime);

    friend bool operator==(const ABFileStamp &, const ABFileStamp &) = default;
};
