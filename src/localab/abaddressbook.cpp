#include "abaddressbook.h"

#include "abcardmapper.h"
#include "abglobals.h"
#include "abgroup.h"
#include "abperson.h"
#include "abrecordhelpers.h"
#include "abstorecache.h"
#include "durablefile.h"
#include "systemlog.h"
#include "vcardcommon.h"

#include <QDateTime>
#include <QDir>
#include <QFile>
#include <QSettings>
#include <QStandardPaths>
#include <QUuid>

#include <QThread>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <condition_variable>
#include <deque>
#include <functional>
#include <iterator>
#include <mutex>
#include <optional>
#include <thread>

#include <cerrno>
#include <cstring>

#include <dirent.h>
#include <fcntl.h>
#include <unistd.h>
#include <sys/stat.h>

namespace {

ABAddressBook *s_override = nullptr;
quint64 s_lastRevision = 0; // shared by all stores, so that a revision names one state of one store
// Never destroyed at exit: freeing every record of a large store there only costs time.
ABAddressBook *s_default = nullptr;

QByteArray digestOf(const QByteArray &bytes)
{
    // In-process change detection only: size plus a 64-bit hash.
    const quint64 hash = qHash(bytes, 0);
    const quint64 size = static_cast<quint64>(bytes.size());
    QByteArray digest(16, Qt::Uninitialized);
    memcpy(digest.data(), &hash, 8);
    memcpy(digest.data() + 8, &size, 8);
    return digest;
}

QString freshUid()
{
    return QUuid::createUuid().toString(QUuid::WithoutBraces).toLower();
}

bool isSafeFileStem(const QString &uid)
{
    // Not hidden, and never read as an option by shell tools ("-rf.vcf"). By hand: a pattern
    // match per new card showed in an import's profile.
    if (uid.isEmpty() || uid.size() > 200 || uid.front() == u'.' || uid.front() == u'-')
        return false;
    return std::all_of(uid.cbegin(), uid.cend(), [](QChar c) {
        const char16_t u = c.unicode();
        return (u >= u'a' && u <= u'z') || (u >= u'A' && u <= u'Z') || (u >= u'0' && u <= u'9') ||
               u == u'_' || u == u'.' || u == u'+' || u == u'-';
    });
}

// A cheap look before DurableFile::isLeftover's patterns: ".<item>.zorbix-XXXXXX.tmp" or
// "<item>.vcf.XXXXXX".
bool mayBeLeftover(const QString &name)
{
    return name.endsWith(QLatin1String(".tmp")) ||
           (name.size() > 11 && name.at(name.size() - 7) == u'.' &&
            QStringView(name).chopped(7).endsWith(QLatin1String(".vcf"), Qt::CaseInsensitive));
}

// A file of the store holds exactly one card that reads without complaint; anything else is
// not ours to rewrite.
// names: only lines of these names are read (all when empty).
bool readSingleCard(const QByteArray &bytes, VCard *card, QString *reason, const QList<QByteArrayView> &names = {})
{
    const VCardCodec::ParseResult parsed = VCardCodec::parse(bytes, names);
    if (!parsed.errors.isEmpty()) {
        *reason = parsed.errors.join(QLatin1String("; "));
        return false;
    }
    if (parsed.cards.size() != 1) {
        *reason = QStringLiteral("holds %1 cards instead of one").arg(parsed.cards.size());
        return false;
    }
    *card = parsed.cards.first();
    return true;
}

} // namespace

ABAddressBook::ABAddressBook(const QString &directory) : m_directory(QDir::cleanPath(directory))
{
    load();
}

ABAddressBook::ABAddressBook(const QString &directory, const QStringList &onlyProperties)
    : m_directory(QDir::cleanPath(directory)), m_onlyProperties(onlyProperties)
{
    load();
}

ABAddressBook::~ABAddressBook()
{
    if (s_override == this)
        s_override = nullptr;
}

QString ABAddressBook::defaultDirectory()
{
    const QString fromEnvironment = qEnvironmentVariable("ZORBIX_ADDRESSBOOK");
    if (!fromEnvironment.isEmpty())
        return fromEnvironment;
    const QSettings settings(QStringLiteral("quenfold"), QStringLiteral("zorbix"));
    const QString fromSettings = settings.value(QStringLiteral("addressBookDirectory")).toString();
    if (!fromSettings.isEmpty())
        return fromSettings;
    return QStandardPaths::writableLocation(QStandardPaths::GenericDataLocation) +
           QStringLiteral("/zorbix/addressbook");
}

ABAddressBook *ABAddressBook::sharedAddressBook()
{
    if (s_override)
        return s_override;
    if (!s_default || !s_default->isOpen()) {
        delete s_default;
        s_default = new ABAddressBook(defaultDirectory());
    }
    return s_default->isOpen() ? s_default : nullptr;
}

void ABAddressBook::setSharedAddressBook(ABAddressBook *book)
{
    s_override = book;
}

QStringList ABAddressBook::properties()
{
    // The UID is not among them: identifiers belong to one store, and a copy elsewhere must get
    // its own.
    return {kABFirstNameProperty,    kABLastNameProperty,
            kABMiddleNameProperty,   kABMiddleNamePhoneticProperty,
            kABTitleProperty,        kABSuffixProperty,
            kABNicknameProperty,     kABMaidenNameProperty,
            kABOrganizationProperty, kABDepartmentProperty,
            kABJobTitleProperty,     kABEmailProperty,
            kABPhoneProperty,        kABAddressProperty,
            kABHomePageProperty,     kABURLsProperty,
            kABNoteProperty,         kABBirthdayProperty,
            kABCreationDateProperty, kABModificationDateProperty};
}

std::unique_ptr<ABPerson> ABAddressBook::newPerson()
{
    return ABPerson::create();
}

std::unique_ptr<ABGroup> ABAddressBook::newGroup()
{
    return ABGroup::create();
}

void ABAddressBook::load()
{
    if (!QFileInfo(m_directory).isDir() && !QDir().mkpath(m_directory)) {
        m_error = QStringLiteral("cannot create the folder %1").arg(m_directory);
        systemLog(QStringLiteral("ABAddressBook: %1").arg(m_error));
        return;
    }
    if (!QFileInfo(m_directory).isReadable()) {
        m_error = QStringLiteral("cannot read the folder %1").arg(m_directory);
        systemLog(QStringLiteral("ABAddressBook: %1").arg(m_error));
        return;
    }
    m_open = true;
    // One pass over the directory: QDir builds a QFileInfo (and a stat) per entry, which costs
    // more than reading a small card.
    QStringList files;
    QStringList leftovers;
    if (DIR *handle = ::opendir(QFile::encodeName(m_directory).constData())) {
        while (const dirent *entry = ::readdir(handle)) {
            if (entry->d_type == DT_DIR)
                continue;
            // Names are nearly always ASCII, the same in every locale's encoding.
            const QByteArrayView bytes(entry->d_name);
            const QString name = std::all_of(bytes.begin(), bytes.end(), [](char c) { return c > 0; })
                                     ? QString::fromLatin1(bytes)
                                     : QFile::decodeName(entry->d_name);
            if (mayBeLeftover(name))
                leftovers.append(name);
            if (name.startsWith(u'.') || !name.endsWith(QLatin1String(".vcf"), Qt::CaseInsensitive))
                continue;
            if (entry->d_type == DT_LNK || entry->d_type == DT_UNKNOWN) {
                // A link to a folder (or a file system without types) is looked at; a dangling
                // link stays, to be logged as unreadable. FIFOs and devices are logged too.
                struct stat info;
                if (::stat(QFile::encodeName(m_directory + u'/' + name).constData(), &info) == 0 &&
                    S_ISDIR(info.st_mode))
                    continue;
            }
            files.append(name);
        }
        ::closedir(handle);
    }
    removeLeftovers(leftovers);
    // In the order of QString's operator< (code units, then length), compared inline: a library
    // call per comparison made sorting thousands of names a good part of opening the store.
    std::sort(files.begin(), files.end(), [](const QString &a, const QString &b) {
        return std::lexicographical_compare(a.cbegin(), a.cend(), b.cbegin(), b.cend());
    });
    m_records.reserve(static_cast<size_t>(files.size()));
    m_byUid.reserve(files.size());
    loadFiles(files, true);
    // Category groups: one per distinct name, sorted by name.
    QStringList names;
    QSet<QString> seen;
    for (const auto &record : m_records) {
        for (const QString &category : record->m_categories) {
            if (!seen.contains(category)) {
                seen.insert(category);
                names.append(category);
            }
        }
    }
    std::sort(names.begin(), names.end());
    for (const QString &name : names)
        categoryGroup(name, true);
    m_revision = ++s_lastRevision;
}

// Temporary files of a write that was killed (ours, or QSaveFile's "<name>.vcf.XXXXXX" of earlier
// versions) go. Only those untouched for a minute: a save that is still running, in this or another
// process, finishes each file within moments. A QSaveFile-style name must also hold the start of
// a card (or nothing), so that a user's "x.vcf.backup" stays.
void ABAddressBook::removeLeftovers(const QStringList &names)
{
    const QDir dir(m_directory);
    const qint64 now = QDateTime::currentSecsSinceEpoch();
    for (const QString &name : names) {
        if (!DurableFile::isLeftover(name))
            continue;
        const QString path = dir.filePath(name);
        struct stat info;
        if (::lstat(QFile::encodeName(path).constData(), &info) != 0 || !S_ISREG(info.st_mode) ||
            now - info.st_mtim.tv_sec < 60)
            continue;
        if (!name.startsWith(u'.')) {
            QFile file(path);
            if (!file.open(QIODevice::ReadOnly))
                continue;
            const QByteArray start = file.read(16).toUpper();
            if (!start.isEmpty() && !start.startsWith("BEGIN:VCARD") && !start.startsWith("\xEF\xBB\xBF" "BEGIN:VCARD"))
                continue;
        }
        if (QFile::remove(path))
            systemLog(QStringLiteral("ABAddressBook: removed %1, left by a save that was stopped").arg(name));
    }
}

namespace {

struct LoadedFile
{
    QString fileName;
    std::unique_ptr<ABRecord> record;
    QByteArray digest;
    ABFileStamp stamp;
    qint64 changeTime = -1;
    QString error;
    QByteArray cached; // the record as the store's cache keeps it; empty: not to be kept
    bool fromCache = false;
};

// Runs work(i) for i in [0, count) on a few threads; calls waiting() on this thread meanwhile.
// Work that waits for the disk (a sync, a read) takes more threads than cores, so that the disk
// gets several requests at once; work for the processor takes one per core (more would only
// contend for the folder's lock while files are created and renamed).
void inParallel(size_t count, const std::function<void(size_t)> &work, const std::function<void(size_t)> &waiting,
                bool waitsForDisk = true)
{
    const size_t cores = static_cast<size_t>(std::max(1, QThread::idealThreadCount()));
    const size_t workers = std::clamp<size_t>(waitsForDisk ? cores * 4 : cores, 1, 16);
    if (count < 16) {
        for (size_t i = 0; i < count; ++i) {
            work(i);
            if (waiting)
                waiting(i + 1);
        }
        return;
    }
    // File writes wait mostly for the disk: several at once let it take them together.
    std::atomic<size_t> next{0};
    std::atomic<size_t> done{0};
    std::mutex mutex;
    std::condition_variable finished;
    std::vector<std::thread> threads;
    for (size_t w = 0; w < std::min(workers, count); ++w) {
        threads.emplace_back([&] {
            for (size_t i = next++; i < count; i = next++) {
                work(i);
                if (++done == count) {
                    const std::lock_guard lock(mutex);
                    finished.notify_one();
                }
            }
        });
    }
    // Woken at the end rather than at the next tick: a short batch does not wait out the tick.
    for (std::unique_lock lock(mutex); waiting && done < count;) {
        lock.unlock();
        waiting(done);
        lock.lock();
        finished.wait_for(lock, std::chrono::milliseconds(20), [&] { return done >= count; });
    }
    for (std::thread &thread : threads)
        thread.join();
    if (waiting)
        waiting(count);
}

// Runs build(i) for i in [0, count) as inParallel does while, in order, each run of `chunk` items
// is synced as soon as all of it is built (sync(first, end) on one more thread) and then settled
// (settle(first, end, synced) on another): waiting for the disk overlaps building the next runs
// and settling the previous ones. Runs that were built while the previous sync waited are synced
// together, so a disk slower than the building takes fewer, larger syncs.
void inPipeline(size_t count, size_t chunk, const std::function<void(size_t)> &build,
                const std::function<bool(size_t first, size_t end)> &sync,
                const std::function<void(size_t first, size_t end, bool synced)> &settle,
                const std::function<void(size_t)> &waiting)
{
    struct Batch
    {
        size_t first;
        size_t end;
        bool synced;
    };
    const size_t runs = (count + chunk - 1) / chunk;
    const auto endOf = [count, chunk](size_t run) { return std::min(count, (run + 1) * chunk); };
    std::vector<size_t> built(runs, 0);
    std::deque<Batch> synced;
    bool allSynced = false;
    std::mutex mutex;
    std::condition_variable ready;
    std::condition_variable syncedReady;
    std::thread syncer([&] {
        for (size_t run = 0; run < runs;) {
            size_t next = run + 1;
            {
                std::unique_lock lock(mutex);
                const auto whole = [&](size_t r) { return built[r] == endOf(r) - r * chunk; };
                ready.wait(lock, [&] { return whole(run); });
                while (next < runs && whole(next))
                    ++next;
            }
            const Batch batch{run * chunk, endOf(next - 1), sync(run * chunk, endOf(next - 1))};
            {
                const std::lock_guard lock(mutex);
                synced.push_back(batch);
                allSynced = next >= runs;
            }
            syncedReady.notify_one();
            run = next;
        }
    });
    std::thread settler([&] {
        for (;;) {
            Batch batch{};
            {
                std::unique_lock lock(mutex);
                syncedReady.wait(lock, [&] { return !synced.empty() || allSynced || runs == 0; });
                if (synced.empty())
                    return;
                batch = synced.front();
                synced.pop_front();
            }
            settle(batch.first, batch.end, batch.synced);
        }
    });
    inParallel(
        count,
        [&](size_t i) {
            build(i);
            const std::lock_guard lock(mutex);
            const size_t run = i / chunk;
            if (++built[run] == endOf(run) - run * chunk)
                ready.notify_one();
        },
        waiting, false);
    syncer.join();
    settler.join();
}

// What reading a file needs to know: the directory (open when directoryFd is not AT_FDCWD) and
// the properties a person holds (all when only is empty), with the card lines that hold them.
struct ReadScope
{
    explicit ReadScope(const QString &directory, const QStringList &only, bool openDirectory)
        : directory(directory), only(only), names(only.isEmpty() ? QList<QByteArrayView>() : ABCardMapper::cardNamesRead(only))
    {
        if (openDirectory)
            directoryFd = ::open(QFile::encodeName(directory).constData(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
        if (directoryFd < 0)
            directoryFd = AT_FDCWD;
    }
    ~ReadScope()
    {
        if (directoryFd != AT_FDCWD)
            ::close(directoryFd);
    }
    ReadScope(const ReadScope &) = delete;
    ReadScope &operator=(const ReadScope &) = delete;

    const QString &directory;
    const QStringList &only;
    const QList<QByteArrayView> names;
    int directoryFd = AT_FDCWD;
};

void readItem(const ReadScope &scope, LoadedFile &item)
{
    // The stamp is taken when the file is opened: a change while we read shows next time.
    QByteArray bytes;
    const bool read = scope.directoryFd == AT_FDCWD
                          ? ABFileStamp::readRegularFile(scope.directory + u'/' + item.fileName,
                                                         ABAddressBook::kMaxCardFileSize, &bytes, &item.error, &item.stamp)
                          : ABFileStamp::readRegularFileAt(scope.directoryFd, item.fileName,
                                                           ABAddressBook::kMaxCardFileSize, &bytes, &item.error, &item.stamp,
                                                           &item.changeTime);
    if (!read)
        return;
    VCard card;
    if (!readSingleCard(bytes, &card, &item.error, scope.names))
        return;
    const QStringList &only = scope.only;
    item.record = ABCardMapper::recordFromCard(card, only.isEmpty() ? nullptr : &only);
    item.digest = digestOf(bytes);
}

// A file whose stamp and change time are those its cache entry holds is taken from the entry.
bool takeCached(const ReadScope &scope, const ABStoreCache &cache, LoadedFile &item)
{
    const ABStoreCache::Entry *entry = cache.entry(item.fileName);
    ABFileStamp stamp;
    qint64 changeTime = -1;
    if (!entry || scope.directoryFd == AT_FDCWD || !ABFileStamp::ofAt(scope.directoryFd, item.fileName, &stamp, &changeTime) ||
        stamp != entry->stamp || changeTime != entry->changeTime)
        return false;
    item.record = ABStoreCache::decode(entry->record, scope.only.isEmpty() ? nullptr : &scope.only);
    if (!item.record)
        return false;
    item.digest = entry->digest;
    item.stamp = stamp;
    item.changeTime = changeTime;
    item.cached = entry->record;
    item.fromCache = true;
    return true;
}

} // namespace

void ABAddressBook::loadFiles(const QStringList &fileNames, bool useCache)
{
    // Reading and parsing are independent per file: spread them over the cores, then take the
    // results in file-name order on this thread.
    std::vector<LoadedFile> items(static_cast<size_t>(fileNames.size()));
    for (size_t i = 0; i < items.size(); ++i)
        items[i].fileName = fileNames.at(static_cast<qsizetype>(i));
    const ReadScope scope(m_directory, m_onlyProperties, true);
    // Only a store that reads every property writes the cache: a listing's records are partial.
    const bool writesCache = useCache && m_onlyProperties.isEmpty();
    // Digests go into the cache: one from another Qt would read as a changed card.
    const QByteArray probe = useCache ? digestOf(QByteArrayLiteral("zorbix store cache")) : QByteArray();
    std::optional<ABStoreCache> cache;
    if (useCache) {
        cache.emplace(m_directory);
        cache->load(probe);
    }
    const qint64 readAt = ABStoreCache::now();
    std::atomic<qsizetype> fresh{0};
    inParallel(
        items.size(),
        [&](size_t i) {
            LoadedFile &item = items[i];
            if (cache && takeCached(scope, *cache, item))
                return;
            readItem(scope, item);
            if (writesCache && item.record && ABStoreCache::settled(item.changeTime, readAt)) {
                item.cached = ABStoreCache::encode(*item.record);
                if (!item.cached.isEmpty())
                    ++fresh;
            }
        },
        {}, false);
    if (cache) {
        m_cardsFromCache = 0;
        QList<QPair<QString, ABStoreCache::Entry>> kept;
        for (const LoadedFile &item : items) {
            m_cardsFromCache += item.fromCache ? 1 : 0;
            if (!item.cached.isEmpty())
                kept.append({item.fileName, {item.stamp, item.changeTime, item.digest, item.cached}});
        }
        // Rewritten when cards were read that it lacks, or it holds files that are gone.
        if (writesCache && (fresh > 0 || cache->size() > m_cardsFromCache) && !cache->save(kept, probe))
            systemLog(QStringLiteral("ABAddressBook: cannot write the cache %1").arg(cache->path()));
        // Its bytes (the size of the records' cards) are not needed any more.
        for (LoadedFile &item : items)
            item.cached.clear();
        cache.reset();
    }
    for (LoadedFile &item : items)
        adoptLoaded(item.fileName, std::move(item.record), {item.digest, item.stamp}, item.error);
}

void ABAddressBook::adoptLoaded(const QString &fileName, std::unique_ptr<ABRecord> record, const DiskState &disk,
                                const QString &error)
{
    if (!record) {
        m_skipped.insert(fileName, disk.stamp);
        m_unreadable.append(fileName + QStringLiteral(": ") + error);
        systemLog(QStringLiteral("ABAddressBook: skipped unreadable file %1 (%2)")
                      .arg(m_directory + u'/' + fileName, error));
        return;
    }
    if (record->uniqueId().isEmpty()) {
        // Stable across runs without touching the file.
        record->m_uid = fileName.chopped(4);
    }
    const QString key = ABGroup::normalizedUid(record->uniqueId());
    if (ABRecord *first = m_byUid.value(key)) {
        systemLog(QStringLiteral("ABAddressBook: %1 has the UID of %2; only %2 is shown")
                      .arg(fileName, first->m_fileName));
        m_skipped.insert(fileName, disk.stamp);
        return;
    }
    m_skipped.remove(fileName);
    record->m_book = this;
    record->m_fileName = fileName;
    record->m_diskDigest = disk.digest;
    record->m_diskStamp = disk.stamp;
    m_byUid.insert(key, record.get());
    indexNames(record.get(), 1); // nothing before the index is first used
    m_records.push_back(std::move(record));
}

QList<ABPerson *> ABAddressBook::people() const
{
    QList<ABPerson *> persons;
    persons.reserve(static_cast<qsizetype>(m_records.size()));
    for (const auto &record : m_records) {
        if (!record->isGroup())
            persons.append(static_cast<ABPerson *>(record.get()));
    }
    return persons;
}

QList<ABGroup *> ABAddressBook::groups() const
{
    QList<ABGroup *> result;
    for (const auto &record : m_records) {
        if (record->isGroup())
            result.append(static_cast<ABGroup *>(record.get()));
    }
    for (const auto &group : m_categoryGroups)
        result.append(group.get());
    return result;
}

ABRecord *ABAddressBook::recordForUniqueId(const QString &uid) const
{
    const QString key = ABGroup::normalizedUid(uid);
    if (ABRecord *record = m_byUid.value(key))
        return record;
    for (const auto &group : m_categoryGroups) {
        if (group->uniqueId() == key)
            return group.get();
    }
    return nullptr;
}

ABGroup *ABAddressBook::categoryGroup(const QString &name, bool create)
{
    if (ABGroup *group = m_categoryByName.value(name))
        return group;
    if (!create || name.isEmpty())
        return nullptr;
    std::unique_ptr<ABGroup> group(new ABGroup());
    group->m_groupForm = ABGroup::Category;
    group->m_uid = ABGroup::categoryUid(name);
    group->m_values.insert(kABGroupNameProperty, name);
    group->m_book = this;
    ABGroup *raw = group.get();
    m_categoryByName.insert(name, raw);
    m_categoryGroups.push_back(std::move(group));
    recordChanged(raw);
    return raw;
}

ABRecord *ABAddressBook::addRecord(std::unique_ptr<ABRecord> record)
{
    if (!record || record->m_book)
        return nullptr;
    if (record->isGroup() && record->m_groupForm == ABGroup::Category)
        return nullptr; // category groups exist through their members' CATEGORIES
    QString uid = record->uniqueId();
    if (uid.trimmed().isEmpty() || m_byUid.contains(ABGroup::normalizedUid(uid)) || recordForUniqueId(uid)) {
        uid = freshUid();
        record->m_uid = uid;
    }
    record->m_book = this;
    record->m_dirty.insert(kABUIDProperty);
    ABRecord *raw = record.get();
    m_byUid.insert(ABGroup::normalizedUid(uid), raw);
    m_records.push_back(std::move(record));
    indexNames(raw, 1);
    addCategoryGroupsOf(raw);
    recordChanged(raw);
    return raw;
}

ABPerson *ABAddressBook::addRecord(std::unique_ptr<ABPerson> person)
{
    return static_cast<ABPerson *>(addRecord(std::unique_ptr<ABRecord>(std::move(person))));
}

ABGroup *ABAddressBook::addRecord(std::unique_ptr<ABGroup> group)
{
    return static_cast<ABGroup *>(addRecord(std::unique_ptr<ABRecord>(std::move(group))));
}

void ABAddressBook::recordChanged(ABRecord *record)
{
    Q_UNUSED(record);
    m_revision = ++s_lastRevision;
    m_membershipValid = false;
}

void ABAddressBook::rebuildMembership() const
{
    if (m_membershipValid)
        return;
    m_cardGroupsOfMember.clear();
    m_membersOfGroup.clear();
    // Sized for the largest group at once (often one of every person) rather than grown by rehashing.
    qsizetype largest = 0;
    for (const auto &record : m_records) {
        if (record->isGroup())
            largest = std::max(largest, record->m_memberRefs.size());
    }
    m_cardGroupsOfMember.reserve(largest);
    for (const auto &record : m_records) {
        if (!record->isGroup())
            continue;
        ABGroup *group = static_cast<ABGroup *>(record.get());
        for (const QString &ref : record->m_memberRefs) {
            // A member named twice by this group: the group is the last of that member's already.
            QList<ABGroup *> &groups = m_cardGroupsOfMember[ABGroup::normalizedUid(ref)];
            if (groups.isEmpty() || groups.constLast() != group)
                groups.append(group);
        }
    }
    for (const auto &record : m_records) {
        if (!record->isGroup())
            addToMembership(static_cast<ABPerson *>(record.get()));
    }
    m_membershipValid = true;
}

// Appends a person to the member lists of its groups: in store order as long as the person is
// the last one of the store to be added.
void ABAddressBook::addToMembership(ABPerson *person) const
{
    const auto it = m_cardGroupsOfMember.constFind(ABGroup::normalizedUid(person->uniqueId()));
    if (it != m_cardGroupsOfMember.cend()) {
        for (ABGroup *group : *it)
            m_membersOfGroup[group].append(person);
    }
    for (const QString &category : person->m_categories) {
        if (ABGroup *group = m_categoryByName.value(category))
            m_membersOfGroup[group].append(person);
    }
}

void ABAddressBook::removeFromMembership(const ABPerson *person) const
{
    const auto drop = [this, person](const ABGroup *group) {
        const auto members = m_membersOfGroup.find(group);
        if (members != m_membersOfGroup.end())
            members->removeAll(person);
    };
    for (const ABGroup *group : m_cardGroupsOfMember.value(ABGroup::normalizedUid(person->uniqueId())))
        drop(group);
    for (const QString &category : person->m_categories)
        drop(m_categoryByName.value(category));
}

namespace {

// One field of a name key, compared as the store gives it back; false when it holds no name.
// The length prefix keeps one field from running into the next.
bool appendNameField(QString &key, const QVariant &value)
{
    const QString text = ABRecordHelpers::storedText(value);
    if (text.isEmpty()) {
        key += QLatin1String("-|");
        return false;
    }
    key += QString::number(text.size()) + u':' + text + u'|';
    return true;
}

} // namespace

QString ABAddressBook::nameKey(const QVariant &first, const QVariant &last, const QVariant *organization,
                               bool *ok)
{
    QString key;
    const bool hasFirst = appendNameField(key, first);
    const bool hasLast = appendNameField(key, last);
    const bool hasOrganization = organization && appendNameField(key, *organization);
    *ok = hasFirst || hasLast || hasOrganization;
    return key;
}

void ABAddressBook::indexNames(const ABRecord *record, int delta) const
{
    if (!m_nameIndexBuilt || record->isGroup())
        return;
    const QVariant first = record->m_values.value(kABFirstNameProperty);
    const QVariant last = record->m_values.value(kABLastNameProperty);
    const QVariant organization = record->m_values.value(kABOrganizationProperty);
    bool ok = false;
    for (int pass = 0; pass < 2; ++pass) {
        QHash<QString, int> &index = pass == 0 ? m_namesWithOrganization : m_namesWithoutOrganization;
        const QString key = nameKey(first, last, pass == 0 ? &organization : nullptr, &ok);
        if (!ok)
            continue;
        int &count = index[key];
        count += delta;
        if (count <= 0)
            index.remove(key);
    }
}

bool ABAddressBook::hasPersonWithNameKey(const QString &key, bool withOrganization) const
{
    if (!m_nameIndexBuilt) {
        m_nameIndexBuilt = true;
        for (const auto &record : m_records)
            indexNames(record.get(), 1);
    }
    return (withOrganization ? m_namesWithOrganization : m_namesWithoutOrganization).contains(key);
}

void ABAddressBook::release(const QList<ABPerson *> &persons)
{
    QSet<const ABRecord *> gone;
    for (const ABPerson *person : persons) {
        if (!person || person->m_book != this || person->hasUnsavedChanges())
            continue;
        gone.insert(person);
        const QString key = ABGroup::normalizedUid(person->uniqueId());
        if (m_byUid.value(key) == person)
            m_byUid.remove(key);
        indexNames(person, -1);
    }
    if (gone.isEmpty())
        return;
    const auto firstGone = std::stable_partition(m_records.begin(), m_records.end(),
                                                 [&gone](const auto &record) { return !gone.contains(record.get()); });
    std::vector<std::unique_ptr<ABRecord>> dropped(std::make_move_iterator(firstGone),
                                                   std::make_move_iterator(m_records.end()));
    m_records.erase(firstGone, m_records.end());
    // A record's values are many small blocks: a large slice is freed on all cores.
    inParallel(dropped.size(), [&dropped](size_t i) { dropped[i].reset(); }, {}, false);
    recordChanged(nullptr);
}

bool ABAddressBook::hasUnsavedChanges() const
{
    return std::any_of(m_records.begin(), m_records.end(),
                       [](const auto &record) { return record->hasUnsavedChanges(); });
}

QString ABAddressBook::freshFileName(const QString &uid, const QSet<QString> &taken) const
{
    // Not looked up on disk: a new file is put in place only where no file is (and gets another
    // name otherwise), which also covers a file made after this look.
    const auto free = [&](const QString &name) { return !taken.contains(name); };
    if (isSafeFileStem(uid)) {
        const QString name = uid + QStringLiteral(".vcf");
        if (free(name))
            return name;
    }
    for (;;) {
        const QString name = freshUid() + QStringLiteral(".vcf");
        if (free(name))
            return name;
    }
}

// One record's file in a save: read (when it has one), prepared, then written whole; read and
// prepared again when another program wrote the file meanwhile.
struct ABAddressBook::PendingWrite
{
    enum class Step { Read, Parse, Prepare, Write, Commit, Rename, Done, Failed };
    ABRecord *record = nullptr;
    QString fileName;
    QString path;
    Step step = Step::Read;
    // The file as it is on disk now: what our edit is based on.
    bool exists = false;
    QByteArray current;
    QString readError;
    // What we write: the record's change as an edit of current (or a new card), with REV.
    QByteArray bytes;
    QDateTime revision;
    bool merged = false; // current holds another program's changes: the record takes them in
    bool merging = false; // merged in this round: logged by the calling thread
    bool prepared = false;
    bool written = false;
    QString writeError;
    QByteArray digest; // of bytes, once they are in place and let go of
    std::unique_ptr<DurableFile> file; // complete, waiting for its rename (Step::Commit)
    bool linked = false;               // an unnamed file linked in place: a file system sync makes it last
    ABFileStamp stamp;                 // of the file written, which the rename keeps
};

bool ABAddressBook::prepareWrite(PendingWrite &write, QString *error)
{
    // A pure function of the record's change and write.current, so that it can run again on a
    // newer current; the record itself changes only in finishWrite.
    ABRecord *record = write.record;
    if (!write.revision.isValid())
        write.revision = QDateTime::currentDateTimeUtc();
    write.prepared = false;
    if (!write.exists) {
        VCard base;
        if (record->m_fileName.isEmpty() && record->m_sourceCard)
            base = *record->m_sourceCard;
        write.bytes = VCardCodec::serialize(ABCardMapper::write(*record, base, write.revision));
        write.prepared = true;
        return true;
    }
    if (!write.readError.isEmpty()) {
        *error = write.readError;
        return false;
    }
    // Our change goes onto the file as it is now: when another program wrote it since we read
    // it, its version with our change on top, entry by entry.
    write.merged = digestOf(write.current) != record->m_diskDigest;
    write.merging = write.merged;
    QString reason;
    if (!ABCardMapper::edit(*record, write.current, write.revision, &write.bytes, &reason)) {
        *error = QStringLiteral("%1 was changed by another program and can no longer be read (%2); it was left as "
                                "it is")
                     .arg(write.fileName, reason);
        return false;
    }
    write.prepared = true;
    return true;
}

// A card is written only when the store can read it back: within the read cap and one whole card.
// Otherwise the person would vanish from the store at the next open (and come back as a duplicate
// with the next sync).
void ABAddressBook::checkReadable(PendingWrite &write)
{
    // Whether a card reads back is decided by its BEGIN, END and VERSION lines alone, which a read
    // of any names takes in full: the other lines need not be parsed here.
    static const QList<QByteArrayView> structureOnly{"BEGIN"};
    QString reason;
    VCard card;
    if (write.bytes.size() > kMaxCardFileSize)
        reason = QStringLiteral("it would be larger than %1 MB, the most the address book reads")
                     .arg(kMaxCardFileSize / (1024 * 1024));
    else if (!readSingleCard(write.bytes, &card, &reason, structureOnly))
        reason = QStringLiteral("it would not read back (%1)").arg(reason);
    if (reason.isEmpty())
        return;
    write.writeError = QStringLiteral("%1 was not saved: %2").arg(write.fileName, reason);
    write.step = PendingWrite::Step::Failed;
}

// The current file of a write, as the merge needs it (worker thread).
void ABAddressBook::readForWrite(PendingWrite &write)
{
    using Step = PendingWrite::Step;
    if (write.step == Step::Read) {
        write.step = Step::Parse;
        write.readError.clear();
        if (!write.exists)
            return void(write.step = Step::Prepare);
        struct stat info;
        if (::lstat(QFile::encodeName(write.path).constData(), &info) != 0) {
            write.exists = false; // deleted meanwhile: written again
            return void(write.step = Step::Prepare);
        }
        QString reason;
        if (S_ISLNK(info.st_mode))
            write.readError = QStringLiteral("%1 is a symbolic link; the address book does not write through links, "
                                             "so it was left as it is")
                                  .arg(write.fileName);
        else if (!ABFileStamp::readRegularFile(write.path, kMaxCardFileSize, &write.current, &reason))
            write.readError = QStringLiteral("%1: %2").arg(write.fileName, reason);
    }
    // prepareWrite parses it while it applies our edit.
    if (write.step == Step::Parse)
        write.step = Step::Prepare;
}

// Writes one prepared card into its temporary file (worker thread), synced unless the caller
// syncs the whole batch at once. commitOne puts it in place.
void ABAddressBook::writeTemporary(PendingWrite &write, bool sync)
{
    using Step = PendingWrite::Step;
    write.file.reset();
    if (write.step != Step::Write)
        return;
    checkReadable(write); // here, on the writing threads: it parses the card
    if (write.step != Step::Write)
        return;
    auto file = std::make_unique<DurableFile>(write.path);
    file->setSyncDirectory(false);
    file->setUnnamed(!sync && !write.exists); // linked in place after the batch's sync
    if (!file->open(QIODevice::WriteOnly) || file->write(write.bytes) != write.bytes.size() || !file->complete(sync)) {
        write.writeError = QStringLiteral("%1: %2").arg(write.fileName, file->errorString());
        write.step = Step::Failed;
        return;
    }
    // Taken from our own file: after the rename, the name may already hold another program's.
    write.stamp = {file->writtenTime(), write.bytes.size(), file->writtenInode()};
    write.file = std::move(file);
    write.step = Step::Commit;
}

// Puts one written card in place (worker thread). The finished file takes the item's place by an
// atomic exchange; what it displaced must be the version our edit was based on. If another program
// wrote the item in between, its version goes back in place at once and becomes the base of a new
// merge. A new item never replaces a file that appeared under its name meanwhile.
void ABAddressBook::commitOne(PendingWrite &write)
{
    using Step = PendingWrite::Step;
    if (write.step != Step::Commit)
        return;
    // Whatever happens below, the temporary file (or, after an exchange, the displaced version)
    // goes with it.
    const std::unique_ptr<DurableFile> owned = std::move(write.file);
    DurableFile &file = *owned;
    const auto failed = [&write](const QString &reason) {
        write.writeError = QStringLiteral("%1: %2").arg(write.fileName, reason);
        write.step = Step::Failed;
    };
    if (!write.exists || !file.commit(DurableFile::Commit::Exchange)) {
        if (write.exists && file.systemError() != ENOENT && file.systemError() != EINVAL)
            return failed(file.errorString());
        if (write.exists && file.systemError() == EINVAL) {
            // A file system that cannot exchange: compare right before a plain rename.
            QByteArray now;
            QString reason;
            struct stat info;
            if (::lstat(QFile::encodeName(write.path).constData(), &info) == 0 && S_ISLNK(info.st_mode))
                return failed(QStringLiteral("it became a symbolic link; it was left as it is"));
            if (ABFileStamp::readRegularFile(write.path, kMaxCardFileSize, &now, &reason) && now != write.current) {
                write.current = now;
                return void(write.step = Step::Parse);
            }
            if (!file.commit(DurableFile::Commit::Replace))
                return failed(file.errorString());
            write.written = true;
            return void(write.step = Step::Done);
        }
        // New, or deleted meanwhile.
        write.linked = file.isUnnamed();
        if (file.commit(DurableFile::Commit::New)) {
            write.written = true;
            return void(write.step = Step::Done);
        }
        if (file.systemError() != EEXIST)
            return failed(file.errorString());
        if (write.record->m_fileName.isEmpty())
            return void(write.step = Step::Rename);
        write.exists = true; // our item again, made anew by another program: read and merge
        return void(write.step = Step::Read);
    }
    // The item now holds our card; the temporary name holds what it displaced.
    const QString displacedPath = file.tempPath();
    const auto putBack = [&] { return DurableFile::exchange(displacedPath, write.path); };
    struct stat info;
    QByteArray displaced;
    QString reason;
    if (::lstat(QFile::encodeName(displacedPath).constData(), &info) != 0 || !S_ISREG(info.st_mode)) {
        putBack();
        return failed(QStringLiteral("it was replaced by something other than a file meanwhile; it was left as it is"));
    }
    if (!ABFileStamp::readRegularFile(displacedPath, kMaxCardFileSize, &displaced, &reason)) {
        putBack();
        return failed(QStringLiteral("it was changed by another program and can no longer be read (%1); it was left "
                                     "as it is")
                          .arg(reason));
    }
    if (displaced == write.current) {
        write.written = true;
        return void(write.step = Step::Done); // the old version goes with the temporary file
    }
    if (!putBack())
        return failed(QString::fromLocal8Bit(std::strerror(errno)));
    // Normally our card is back at the temporary name now. If a third write replaced ours in the
    // moment between, that one is the newest version: it goes back in place instead.
    QByteArray ours;
    if (ABFileStamp::readRegularFile(displacedPath, kMaxCardFileSize, &ours, &reason) && ours != write.bytes &&
        putBack())
        displaced = ours;
    write.current = displaced;
    write.step = Step::Parse;
}

bool ABAddressBook::finishWrite(PendingWrite &write, QString *error)
{
    ABRecord *record = write.record;
    if (!write.written) {
        *error = write.writeError;
        return false;
    }
    if (write.merged) {
        // What was written holds the other program's changes too: the record becomes it.
        VCard card;
        QString reason;
        if (readSingleCard(write.bytes, &card, &reason)) {
            const std::unique_ptr<ABRecord> now = ABCardMapper::recordFromCard(card);
            if (now->isGroup() == record->isGroup()) {
                indexNames(record, -1);
                record->m_values = now->m_values;
                record->m_categories = now->m_categories;
                record->m_memberRefs = now->m_memberRefs;
                record->m_groupForm = now->m_groupForm;
                indexNames(record, 1);
                addCategoryGroupsOf(record);
                recordChanged(record);
            }
        }
    }
    record->m_values.insert(kABModificationDateProperty, write.revision);
    record->m_fileName = write.fileName;
    record->m_diskDigest = write.digest.isEmpty() ? digestOf(write.bytes) : write.digest;
    record->m_diskStamp = write.stamp;
    record->m_dirty.clear();
    record->m_original.clear();
    record->m_sourceCard.reset();
    return true;
}

// Names in a record's CATEGORIES are groups from now on.
void ABAddressBook::addCategoryGroupsOf(const ABRecord *record)
{
    for (const QString &category : record->m_categories)
        categoryGroup(category, true);
}

void ABAddressBook::removeRecord(ABRecord *record)
{
    const QString key = ABGroup::normalizedUid(record->uniqueId());
    if (m_byUid.value(key) == record)
        m_byUid.remove(key);
    indexNames(record, -1);
    const auto it = std::find_if(m_records.begin(), m_records.end(),
                                 [record](const std::unique_ptr<ABRecord> &r) { return r.get() == record; });
    if (it != m_records.end())
        m_records.erase(it);
    recordChanged(nullptr);
}

// Reads a record's file again and puts its content in place of the record's, keeping the
// object (callers may hold it); *changed tells whether the content differed. False when the
// file now holds another record (other UID or kind) or cannot be read: the caller decides.
bool ABAddressBook::replaceFromDisk(ABRecord *record, const QString &fileName, bool *changed)
{
    LoadedFile item;
    item.fileName = fileName;
    readItem(ReadScope(m_directory, m_onlyProperties, false), item);
    *changed = false;
    if (!item.record || item.record->isGroup() != record->isGroup())
        return false;
    if (item.digest == record->m_diskDigest) {
        record->m_diskStamp = item.stamp;
        return true;
    }
    *changed = true;
    if (item.record->uniqueId().isEmpty())
        item.record->m_uid = fileName.chopped(4);
    if (ABGroup::normalizedUid(item.record->uniqueId()) != ABGroup::normalizedUid(record->uniqueId()))
        return false;
    indexNames(record, -1);
    record->m_values = item.record->m_values;
    record->m_categories = item.record->m_categories;
    record->m_memberRefs = item.record->m_memberRefs;
    record->m_groupForm = item.record->m_groupForm;
    indexNames(record, 1);
    record->m_diskDigest = item.digest;
    record->m_diskStamp = item.stamp;
    addCategoryGroupsOf(record);
    recordChanged(record);
    return true;
}

bool ABAddressBook::refresh(const QSet<QString> &writtenInPlace)
{
    if (!m_open || m_saving)
        return false;
    QHash<QString, ABFileStamp> onDisk;
    if (DIR *dir = ::opendir(QFile::encodeName(m_directory).constData())) {
        while (const dirent *entry = ::readdir(dir)) {
            const QString name = QFile::decodeName(entry->d_name);
            if (!name.endsWith(QLatin1String(".vcf"), Qt::CaseInsensitive))
                continue;
            const ABFileStamp stamp = ABFileStamp::of(m_directory + u'/' + name);
            if (stamp != ABFileStamp())
                onDisk.insert(name, stamp);
        }
        ::closedir(dir);
    }
    return takeInChanges(onDisk, writtenInPlace, nullptr);
}

bool ABAddressBook::refreshFiles(const QSet<QString> &fileNames, const QSet<QString> &writtenInPlace)
{
    if (!m_open || m_saving)
        return false;
    // A file skipped for a UID that was taken may be shown once another goes: only a look at
    // every file finds it.
    if (!m_skipped.isEmpty())
        return refresh(writtenInPlace);
    QHash<QString, ABFileStamp> onDisk;
    for (const QString &name : fileNames) {
        if (!name.endsWith(QLatin1String(".vcf"), Qt::CaseInsensitive) || name.contains(u'/'))
            continue;
        const ABFileStamp stamp = ABFileStamp::of(m_directory + u'/' + name);
        if (stamp != ABFileStamp())
            onDisk.insert(name, stamp);
    }
    return takeInChanges(onDisk, writtenInPlace, &fileNames);
}

bool ABAddressBook::takeInChanges(QHash<QString, ABFileStamp> &onDisk, const QSet<QString> &writtenInPlace,
                                  const QSet<QString> *only)
{
    // What stays in onDisk afterwards are the files that hold no record.
    std::vector<ABRecord *> gone;
    std::vector<ABRecord *> changedOnDisk;
    for (const auto &record : m_records) {
        if (record->m_fileName.isEmpty())
            continue; // ours, not saved yet
        if (only && !only->contains(record->m_fileName))
            continue;
        const ABFileStamp stamp = onDisk.take(record->m_fileName);
        if (record->hasUnsavedChanges())
            continue; // save() merges or writes it again
        if (stamp == ABFileStamp())
            gone.push_back(record.get());
        else if (stamp != record->m_diskStamp || writtenInPlace.contains(record->m_fileName))
            changedOnDisk.push_back(record.get());
    }
    bool changed = false;
    QSet<QString> added;
    // The membership index follows changes of persons that keep their groups, removed persons and
    // added ones, so that one changed card costs no rebuild of it; any other change rebuilds it.
    bool membershipKept = m_membershipValid;
    // Categories that may have lost their last member.
    QSet<QString> categoriesLeft;
    for (ABRecord *record : changedOnDisk) {
        bool differs = false;
        const QStringList categories = record->m_categories;
        if (replaceFromDisk(record, record->m_fileName, &differs)) {
            changed = changed || differs;
            if (differs && (record->isGroup() || record->m_categories != categories))
                membershipKept = false;
            if (differs)
                categoriesLeft.unite(QSet<QString>(categories.cbegin(), categories.cend()));
        } else {
            // Another record now, or unreadable: the old one leaves, the file is read as new.
            added.insert(record->m_fileName);
            gone.push_back(record);
        }
    }
    for (ABRecord *record : gone) {
        if (record->isGroup())
            membershipKept = false;
        else if (membershipKept)
            removeFromMembership(static_cast<ABPerson *>(record));
        categoriesLeft.unite(QSet<QString>(record->m_categories.cbegin(), record->m_categories.cend()));
        removeRecord(record);
    }
    if (!gone.empty()) {
        changed = true;
        m_skipped.clear(); // a file skipped for a UID that was taken may be shown now
    }
    for (auto it = onDisk.cbegin(); it != onDisk.cend(); ++it) {
        if (m_skipped.value(it.key()) != *it || writtenInPlace.contains(it.key()))
            added.insert(it.key());
    }
    // Skipped files (never a record's) that are gone or read again now are no longer reported.
    const auto forgotten = [&](const QString &fileName) {
        return (!only || only->contains(fileName)) && (!onDisk.contains(fileName) || added.contains(fileName));
    };
    m_skipped.removeIf([&](const auto &it) { return forgotten(it.key()); });
    m_unreadable.removeIf([&](const QString &entry) { return forgotten(entry.section(QLatin1String(": "), 0, 0)); });
    if (!added.isEmpty()) {
        QStringList names(added.cbegin(), added.cend());
        names.sort();
        const size_t before = m_records.size();
        loadFiles(names);
        for (size_t i = before; i < m_records.size(); ++i) {
            ABRecord *record = m_records[i].get();
            addCategoryGroupsOf(record);
            if (record->isGroup())
                membershipKept = false;
            else if (membershipKept)
                addToMembership(static_cast<ABPerson *>(record));
        }
        if (m_records.size() != before) {
            changed = true;
            recordChanged(nullptr);
        }
    }
    if (!changed) {
        m_membershipValid = membershipKept;
        return false;
    }
    // A category exists through its members: one whose last member went with the other
    // program's change goes too. Only the categories the change took from a record can be such.
    for (const auto &record : m_records) {
        if (categoriesLeft.isEmpty())
            break;
        for (const QString &category : record->m_categories)
            categoriesLeft.remove(category);
    }
    const size_t categories = m_categoryGroups.size();
    std::erase_if(m_categoryGroups, [&](const std::unique_ptr<ABGroup> &group) {
        const QString name = group->name();
        if (!categoriesLeft.contains(name))
            return false;
        m_categoryByName.remove(name);
        m_membersOfGroup.remove(group.get());
        return true;
    });
    if (m_categoryGroups.size() != categories)
        recordChanged(nullptr);
    m_membershipValid = membershipKept;
    systemLog(QStringLiteral("ABAddressBook: took in changes made by other programs in %1").arg(m_directory));
    return true;
}

// One slice of a save: the current files are read and our changes prepared, every card is written
// into its temporary file, all of them are made durable (one sync of the file system when there
// are many), then each takes its item's place and the folder is synced once. A file that another
// program wrote between our read and our rename is read and merged again, a few times at most.
// Reading and writing run on several threads; what decides and changes records (merging, building
// the card, taking the result in) runs here.
void ABAddressBook::saveSlice(std::vector<PendingWrite> &writes, QSet<QString> &taken, QStringList &errors,
                              const std::function<void(size_t done)> &waiting)
{
    using Step = PendingWrite::Step;
    const auto count = [&writes](Step step) {
        return static_cast<size_t>(
            std::count_if(writes.begin(), writes.end(), [step](const PendingWrite &w) { return w.step == step; }));
    };
    std::atomic<size_t> done{0};
    const auto progress = [&](size_t) { waiting(done); };
    bool renamed = false;
    bool linked = false;
    // Opened before the files it covers are written; it syncs every round's batch, and the links.
    std::optional<DurableFile::FileSystemSync> fileSystem;
    for (int round = 0;; ++round) {
        inParallel(writes.size(), [&writes](size_t i) { readForWrite(writes[i]); }, progress);
        const bool together = count(Step::Prepare) >= kSyncTogether;
        if (together && !fileSystem)
            fileSystem.emplace(m_directory);
        // Building the cards is a pure function of each record's change and file: on the threads too.
        std::vector<char> preparing(writes.size());
        for (size_t i = 0; i < writes.size(); ++i)
            preparing[i] = writes[i].step == Step::Prepare;
        const auto build = [&writes, &preparing, together](size_t i) {
            PendingWrite &write = writes[i];
            if (preparing[i])
                write.step = prepareWrite(write, &write.writeError) ? Step::Write : Step::Failed;
            writeTemporary(write, !together);
        };
        const auto commit = [&writes, &done](size_t i) {
            if (writes[i].step != Step::Commit)
                return; // done in an earlier round, or failed: counted once
            PendingWrite &write = writes[i];
            commitOne(write);
            if (write.step != Step::Done)
                return;
            ++done;
            // In place: only its digest is needed from now on, not a slice's worth of cards.
            write.current = QByteArray();
            if (!write.merged) {
                write.digest = digestOf(write.bytes);
                write.bytes = QByteArray();
            }
        };
        if (together) {
            // A run of files is synced and put in place while the next run is built and written.
            // After a failed sync nothing more is put in place: syncfs reports a write-back error
            // once, and it may have been one of a later run's files.
            // The sync's error is written once, before the first batch that failed is settled.
            bool syncedAll = true;
            QString syncError;
            inPipeline(
                writes.size(), kSyncRun, build,
                [&](size_t, size_t) { return syncedAll = syncedAll && fileSystem->sync(&syncError); },
                [&](size_t first, size_t end, bool synced) {
                    for (size_t i = first; i < end; ++i) {
                        PendingWrite &write = writes[i];
                        if (synced) {
                            commit(i);
                        } else if (write.step == Step::Commit) {
                            write.file.reset();
                            write.writeError = QStringLiteral("%1: it could not be written to the disk (%2)")
                                                   .arg(write.fileName, syncError);
                            write.step = Step::Failed;
                        }
                    }
                },
                progress);
        } else {
            inParallel(writes.size(), build, progress);
            inParallel(writes.size(), commit, progress);
        }
        for (size_t i = 0; i < writes.size(); ++i) {
            PendingWrite &write = writes[i];
            if (preparing[i] && write.step == Step::Failed && !write.prepared)
                errors.append(write.writeError);
            else if (write.merging)
                systemLog(QStringLiteral("ABAddressBook: %1 changed on disk; merging our changes").arg(write.fileName));
            write.merging = false;
        }
        bool again = false;
        for (PendingWrite &write : writes) {
            renamed = renamed || write.written;
            linked = linked || (write.written && write.linked);
            if (write.step == Step::Rename) {
                // A new file's name was taken meanwhile by a file we did not make: another name.
                taken.insert(write.fileName);
                write.fileName = freshFileName(write.record->uniqueId(), taken);
                taken.insert(write.fileName);
                write.path = m_directory + u'/' + write.fileName;
                write.step = Step::Write;
            }
            if (write.step == Step::Parse || write.step == Step::Read || write.step == Step::Write) {
                if (round + 1 < kSaveRounds) {
                    again = true;
                } else {
                    write.written = false;
                    write.writeError = QStringLiteral("%1 was changed by another program again and again while it "
                                                      "was being saved; it was left as it is")
                                           .arg(write.fileName);
                    write.step = Step::Failed;
                }
            }
        }
        if (!again)
            break;
    }
    // The renames, once for all files of the slice; a link also changed its file's inode, which only
    // a sync of the file system writes along.
    QString syncError;
    if (linked ? !fileSystem->sync(&syncError) : renamed && !DurableFile::syncDirectory(m_directory))
        errors.append(QStringLiteral("%1: the folder could not be synced to the disk; the files saved may be lost "
                                     "in a power failure")
                          .arg(m_directory));
    for (PendingWrite &write : writes) {
        QString error;
        if (write.prepared && !finishWrite(write, &error))
            errors.append(error);
    }
}

bool ABAddressBook::save()
{
    return save({});
}

bool ABAddressBook::save(const std::function<void(qsizetype done, qsizetype total)> &progress)
{
    if (!m_onlyProperties.isEmpty()) {
        m_saveError = QStringLiteral("the address book was opened for reading only");
        return false;
    }
    std::vector<ABRecord *> changed;
    for (const auto &record : m_records) {
        if (!record->hasUnsavedChanges())
            continue;
        if (!record->m_fileName.isEmpty() && !record->differsFromDisk()) {
            // Set to what it was: nothing to write.
            record->m_dirty.clear();
            record->m_original.clear();
            continue;
        }
        changed.push_back(record.get());
    }
    QStringList errors;
    QSet<QString> taken;
    const qsizetype total = static_cast<qsizetype>(changed.size());
    qsizetype finished = 0;
    m_saving = true;
    // A slice at a time, so that a large import holds the cards of one slice, not all of them.
    for (size_t begin = 0; begin < changed.size(); begin += kSaveSlice) {
        const size_t end = std::min(changed.size(), begin + kSaveSlice);
        std::vector<PendingWrite> writes(end - begin);
        for (size_t i = begin; i < end; ++i) {
            PendingWrite &write = writes[i - begin];
            write.record = changed[i];
            write.fileName = write.record->m_fileName;
            if (write.fileName.isEmpty()) {
                write.fileName = freshFileName(write.record->uniqueId(), taken);
                taken.insert(write.fileName);
            } else {
                write.exists = true; // read below, if it is still there
            }
            write.path = m_directory + u'/' + write.fileName;
        }
        saveSlice(writes, taken, errors, [&](size_t done) {
            if (progress)
                progress(finished + static_cast<qsizetype>(done), total);
        });
        finished += static_cast<qsizetype>(writes.size());
    }
    m_saving = false;
    for (const auto &group : m_categoryGroups)
        group->m_dirty.clear(); // their state lives in the members' files
    if (errors.isEmpty()) {
        m_saveError.clear();
        return true;
    }
    m_saveError = errors.join(u'\n');
    for (const QString &error : std::as_const(errors))
        systemLog(QStringLiteral("ABAddressBook: could not save %1").arg(error));
    const QString shown =
        errors.size() > 3 ? errors.mid(0, 3).join(u'\n') + QStringLiteral("\n…") : m_saveError;
    vCardCommon::alert(vCardCommon::getLocMsg(QStringLiteral("AB_SaveFailedProblem")),
                       vCardCommon::getLocMsg(QStringLiteral("AB_SaveFailedHint")).arg(shown, m_directory));
    return false;
}
