#include "abfilestamp.h"

#include <QFile>

#include <sys/stat.h>

ABFileStamp ABFileStamp::of(const QString &path)
{
    struct stat info;
    if (::stat(QFile::encodeName(path).constData(), &info) != 0 || !S_ISREG(info.st_mode))
        return {};
    return {qint64(info.st_mtim.tv_sec) * 1000000000 + info.st_mtim.tv_nsec, qint64(info.st_size)};
}
