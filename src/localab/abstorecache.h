#pragma once

#include "abfilestamp.h"

#include <QByteArray>
#include <QList>
#include <QPair>
#include <QString>
#include <QStringList>

#include <memory>

class ABRecord;

// What a store read from its card files when it was last opened, kept in the user's cache folder
// ($XDG_CACHE_HOME/zorbix/stores): per file its stamp, its status change time, the digest of its
// bytes and the record read from it. The next open takes a record from here instead of reading and
// parsing the file when the file shows the same stamp and change time. The change time is set by
// the kernel on every write, rename or link and no program can set it back, so a file rewritten to
// the same size with its old modification time still shows. Only files whose change lies three seconds
// before they were read are kept: a second write within the same tick of the file system's clock
// would otherwise leave every stamp as it was. The cards stay the only truth: the cache is never
// written to the store, and a damaged, foreign or missing cache file only costs the time of
// reading the cards.
class ABStoreCache
{
public:
    struct Entry
    {
        ABFileStamp stamp;
        qint64 changeTime = -1;
        QByteArray digest;
        QByteArray record; // encode()'s bytes (after load(), views of the file's bytes)
    };

    // The cache of the store in that directory (its path made canonical).
    explicit ABStoreCache(const QString &directory);
    ~ABStoreCache();
    ABStoreCache(const ABStoreCache &) = delete;
    ABStoreCache &operator=(const ABStoreCache &) = delete;

    QString path() const;
    // Reads the cache file. probe: the digest the store makes of a fixed text now; a file made
    // when digests came out otherwise (another Qt) is not used. False, with no entries, when there
    // is no usable file.
    bool load(const QByteArray &probe);
    // The entry of a card file, nullptr when there is none. Safe from several threads after load().
    const Entry *entry(const QString &fileName) const;
    qsizetype size() const;
    // Replaces the cache file as a whole by these entries (written to a new file and renamed over
    // the old one: a reader sees the old file or the new). Not synced: a cache lost to a crash
    // only costs one slower open. Also removes caches of other stores unused for 30 days.
    bool save(const QList<QPair<QString, Entry>> &entries, const QByteArray &probe) const;

    static QByteArray encode(const ABRecord &record);
    // nullptr for bytes that do not make a record. only: a person keeps just these properties,
    // as if only they had been read from its card.
    static std::unique_ptr<ABRecord> decode(const QByteArray &bytes, const QStringList *only = nullptr);
    // Whether a file whose status last changed at changeTime (ns since the epoch) can be trusted
    // to show its next change in that time, when read at now (ns).
    static bool settled(qint64 changeTime, qint64 now);
    // The time now in the file system's terms (ns since the epoch).
    static qint64 now();

private:
    bool clear(); // false, for a load that fails

    struct Private;
    std::unique_ptr<Private> d;
};
