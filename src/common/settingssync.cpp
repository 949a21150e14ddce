#include "settingssync.h"

#include <QCoreApplication>
#include <QFile>
#include <QFileInfo>
#include <QSettings>

#include <fcntl.h>
#include <unistd.h>

namespace {

// The file writes an empty list or map as "@Invalid()", which reads back as no value.
bool isEmptyValue(const QVariant &value)
{
    const QMetaType type = value.metaType();
    if (type == QMetaType::fromType<QVariantList>() || type == QMetaType::fromType<QStringList>())
        return value.toList().isEmpty();
    if (type == QMetaType::fromType<QVariantMap>())
        return value.toMap().isEmpty();
    return !value.isValid();
}

// Reads the file as it is on disk now: through another name (the file descriptor's), so that
// QSettings' in-process cache of the file, which believes its own write, is not asked.
bool holdsEverything(QSettings &settings)
{
    const int fd = ::open(QFile::encodeName(settings.fileName()).constData(), O_RDONLY | O_CLOEXEC);
    if (fd < 0)
        return settings.allKeys().isEmpty();
    bool same = true;
    {
        QSettings onDisk(QStringLiteral("/proc/self/fd/%1").arg(fd), QSettings::IniFormat);
        if (!settings.group().isEmpty())
            onDisk.beginGroup(settings.group());
        // Only this file's keys, not those of the system-wide fallbacks.
        const bool fallbacks = settings.fallbacksEnabled();
        settings.setFallbacksEnabled(false);
        const QStringList keys = settings.allKeys();
        same = onDisk.status() == QSettings::NoError && onDisk.allKeys().size() == keys.size();
        for (qsizetype i = 0; same && i < keys.size(); ++i) {
            // The file keeps numbers and truth values as text.
            const QVariant ours = settings.value(keys.at(i));
            const QVariant read = onDisk.value(keys.at(i));
            same = read == ours || (read.metaType() == QMetaType::fromType<QString>() && read.toString() == ours.toString()) ||
                   (!read.isValid() && isEmptyValue(ours));
        }
        settings.setFallbacksEnabled(fallbacks);
    }
    ::close(fd);
    return same;
}

} // namespace

bool syncSettings(QSettings &settings)
{
    const QString path = settings.fileName();
    const QString kept = QFileInfo(path).path() + QStringLiteral("/.") + QFileInfo(path).fileName() +
                         QStringLiteral(".zorbix-kept-%1.tmp").arg(QCoreApplication::applicationPid());
    ::unlink(QFile::encodeName(kept).constData());
    const bool keeping = ::link(QFile::encodeName(path).constData(), QFile::encodeName(kept).constData()) == 0;
    settings.sync();
    const bool ok = settings.status() == QSettings::NoError && holdsEverything(settings);
    // rename() of two names of one file does nothing: when Qt left the old file in place, the
    // second name just goes.
    if (keeping && !ok && ::rename(QFile::encodeName(kept).constData(), QFile::encodeName(path).constData()) != 0)
        return false; // the old file stays under the other name
    if (keeping)
        ::unlink(QFile::encodeName(kept).constData());
    return ok;
}
