#pragma once

#include "abfilestamp.h"

#include <QHash>
#include <QList>
#include <QSet>
#include <QString>
#include <QStringList>

#include <functional>
#include <memory>
#include <vector>

class ABRecord;
class ABPerson;
class ABGroup;

// The address book store: a vdir (one .vcf file per contact or group) in one directory.
// Persons and groups are read when the store is opened; changes stay in memory until save().
// Main thread only. See docs/store.md for the file format and the rules below in full.
class ABAddressBook
{
public:
    // A card file larger than this is not read (skipped with a log line): a store holds one card
    // per file, and even one with a large photo stays far below it.
    static constexpr qint64 kMaxCardFileSize = 16 * 1024 * 1024;

    // Opens (and creates if missing) a store directory. Check isOpen(); an unreadable directory
    // gives a closed, empty store.
    explicit ABAddressBook(const QString &directory);
    // The same for reading only, with just these person properties read from the cards (a
    // listing that shows a few of them): faster, and a fraction of the memory. Membership is
    // read in full. save() fails on such a store.
    ABAddressBook(const QString &directory, const QStringList &onlyProperties);
    ~ABAddressBook();
    ABAddressBook(const ABAddressBook &) = delete;
    ABAddressBook &operator=(const ABAddressBook &) = delete;

    // The user's store: $ZORBIX_ADDRESSBOOK, else the setting "addressBookDirectory", else
    // $XDG_DATA_HOME/zorbix/addressbook/. Opened on first use; nullptr when it cannot be opened.
    static ABAddressBook *sharedAddressBook();
    static QString defaultDirectory();
    // Replaces the process-wide store (not owned; nullptr goes back to the default on next use).
    static void setSharedAddressBook(ABAddressBook *book);

    bool isOpen() const { return m_open; }
    QString directory() const { return m_directory; }
    QString errorString() const { return m_error; }

    // Every person / group, in file-name order, then records added since in the order added.
    // Category groups follow the card groups, sorted by name.
    QList<ABPerson *> people() const;
    QList<ABGroup *> groups() const;
    // The names of all person properties the store knows (the kind's "properties").
    static QStringList properties();

    ABRecord *recordForUniqueId(const QString &uid) const;

    // New records not yet in the store (fresh UIDs).
    static std::unique_ptr<ABPerson> newPerson();
    static std::unique_ptr<ABGroup> newGroup();
    // Takes a new record into the store; returns it, or nullptr for null or a record already
    // in a store. A record whose UID is in use already gets a fresh one.
    ABRecord *addRecord(std::unique_ptr<ABRecord> record);
    ABPerson *addRecord(std::unique_ptr<ABPerson> person);
    ABGroup *addRecord(std::unique_ptr<ABGroup> group);

    // Writes every new and changed record, each file replaced whole (a crash leaves the old or
    // the new file). A file that another program changed since it was read is read again and
    // only our changed properties are applied to it. Returns false when any write failed; the
    // failure is also shown to the user (alert) and logged, and the records stay unsaved.
    bool save();
    // The same, calling progress(done, total) now and then while the files are written, so that
    // a window can show progress and repaint meanwhile; progress must not change records. While
    // a save runs, refresh() does nothing (the files we write change the folder, and the next
    // refresh takes in whatever else changed).
    bool save(const std::function<void(qsizetype done, qsizetype total)> &progress);
    bool hasUnsavedChanges() const;
    // Lets go of saved persons without touching their files, as if the store had been opened
    // before they were written (a later refresh() reads them in again). For a one-shot writer
    // that adds more persons than it wants to hold at once (zorbix-cli fetch --import); persons
    // with unsaved changes stay. Pointers to the persons let go are invalid afterwards.
    void release(const QList<ABPerson *> &persons);

    // Takes in what other programs did to the directory since it was read: new files are added,
    // files changed on disk are read again, and records whose file was deleted leave the store.
    // A record with unsaved changes of ours keeps them (save() merges them into the file, or
    // writes the file again). Only files whose time or size changed are read. Returns whether
    // anything changed; pointers to records that left the store are invalid afterwards.
    // writtenInPlace: files known to have been written to since they were read (their stamp may
    // not show it when two writes fall in one tick of the file system's clock); they are read
    // again whatever their stamp says.
    bool refresh(const QSet<QString> &writtenInPlace = {});
    // The same when only the named files (in the directory) can have changed since the last
    // refresh, as a watcher of the directory knows: only those are looked at.
    bool refreshFiles(const QSet<QString> &fileNames, const QSet<QString> &writtenInPlace = {});
    QString lastSaveError() const { return m_saveError; }

    // Files that could not be read when the store was opened, with the reason.
    QStringList unreadableFiles() const { return m_unreadable; }
    // How many records of the last open came from the store's cache instead of their files.
    qsizetype cardsFromCache() const { return m_cardsFromCache; }

    // Increases with every change to persons, groups or membership (for callers' caches).
    quint64 revision() const { return m_revision; }
    // Builds the index of who is in which group now rather than when first asked (a large store
    // read on another thread has it built there). Changes by other programs to persons keep it.
    void indexMembership() const { rebuildMembership(); }

    // Person look-up by name, kept up to date as persons are added and renamed (built on first
    // use). The key of first name, last name and, when organization is given, organization,
    // each as the store gives it back (ABRecordHelpers::storedText; an empty name is no name);
    // ok is false when none of them is a name: such persons are not in the index.
    static QString nameKey(const QVariant &first, const QVariant &last, const QVariant *organization,
                           bool *ok);
    // Whether a person of the store has exactly that key (with or without the organization).
    bool hasPersonWithNameKey(const QString &key, bool withOrganization) const;

    // Internal: records tell the store that they changed.
    void recordChanged(ABRecord *record);
    void indexNames(const ABRecord *record, int delta) const;
    ABGroup *categoryGroup(const QString &name, bool create);

private:
    void load();
    // useCache: records of unchanged files come from the store's cache (ABStoreCache), which is
    // written again when it lacked any.
    void loadFiles(const QStringList &fileNames, bool useCache = false);
    struct DiskState
    {
        QByteArray digest;
        ABFileStamp stamp;
    };
    void adoptLoaded(const QString &fileName, std::unique_ptr<ABRecord> record, const DiskState &disk,
                     const QString &error);
    void addCategoryGroupsOf(const ABRecord *record);
    bool takeInChanges(QHash<QString, ABFileStamp> &onDisk, const QSet<QString> &writtenInPlace,
                       const QSet<QString> *only);
    void removeRecord(ABRecord *record);
    bool replaceFromDisk(ABRecord *record, const QString &fileName, bool *changed);
    void rebuildMembership() const;
    void addToMembership(ABPerson *person) const;
    void removeFromMembership(const ABPerson *person) const;
    struct PendingWrite;
    static bool prepareWrite(PendingWrite &write, QString *error);
    bool finishWrite(PendingWrite &write, QString *error);
    static void checkReadable(PendingWrite &write);
    static void readForWrite(PendingWrite &write);
    static void writeTemporary(PendingWrite &write, bool sync);
    static void commitOne(PendingWrite &write);
    void saveSlice(std::vector<PendingWrite> &writes, QSet<QString> &taken, QStringList &errors,
                   const std::function<void(size_t done)> &waiting);
    void removeLeftovers(const QStringList &names);
    static constexpr int kSaveRounds = 5; // reads and merges of one save when other programs keep writing
    // Files a save prepares, writes and renames at a time: what is held in memory at once.
    static constexpr size_t kSaveSlice = 4096;
    // From this many files on, one sync of the file system makes them durable instead of one each.
    static constexpr size_t kSyncTogether = 32;
    // Files synced and put in place at a time while the next ones are written.
    static constexpr size_t kSyncRun = 512;
    QString freshFileName(const QString &uid, const QSet<QString> &taken) const;

    QString m_directory;
    QStringList m_onlyProperties; // empty: every property is read
    bool m_open = false;
    bool m_saving = false;
    QString m_error;
    QString m_saveError;
    QStringList m_unreadable;
    qsizetype m_cardsFromCache = 0;
    QHash<QString, ABFileStamp> m_skipped; // files not shown (unreadable, UID taken), as last seen
    std::vector<std::unique_ptr<ABRecord>> m_records; // persons and card groups, in order
    std::vector<std::unique_ptr<ABGroup>> m_categoryGroups;
    QHash<QString, ABRecord *> m_byUid; // normalized UID -> shown record
    QHash<QString, ABGroup *> m_categoryByName;
    quint64 m_revision = 0;

    // Membership index, rebuilt lazily after a change.
    mutable bool m_membershipValid = false;
    mutable QHash<QString, QList<ABGroup *>> m_cardGroupsOfMember; // normalized member UID -> groups
    mutable QHash<const ABGroup *, QList<ABPerson *>> m_membersOfGroup;

    mutable bool m_nameIndexBuilt = false;
    mutable QHash<QString, int> m_namesWithOrganization;
    mutable QHash<QString, int> m_namesWithoutOrganization;

    friend class ABPerson;
    friend class ABGroup;
};
