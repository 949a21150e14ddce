#pragma once

#include <QString>
#include <QtGlobal>

// A file's modification time (ns) and size as last seen: enough to notice that another program
// changed the file without reading it.
struct ABFileStamp
{
    qint64 time = -1;
    qint64 size = -1;

    // The stamp of the file at path; an empty one when it cannot be looked at or is not a plain
    // file. Plain stat: QFileInfo's local-time QDateTime costs more than the look itself, and a
    // refresh looks at every file of the store.
    static ABFileStamp of(const QString &path);

    friend bool operator==(const ABFileStamp &, const ABFileStamp &) = default;
};
