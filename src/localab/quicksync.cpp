#include "quicksync.h"

#include "abaddressbook.h"
#include "abglobals.h"
#include "abgroup.h"
#include "abmultivalue.h"
#include "abperson.h"
#include "systemlog.h"
#include "vcardcommon.h"

#include <QDateTime>
#include <QFile>
#include <QHash>
#include <QSet>
#include <QtConcurrent/QtConcurrentMap>

#include <algorithm>
#include <sys/stat.h>
#include <vector>

namespace {

bool isText(const QVariant &value)
{
    return value.metaType() == QMetaType::fromType<QString>();
}

bool isDate(const QVariant &value)
{
    return (value.metaType() == QMetaType::fromType<QDateTime>() && value.toDateTime().isValid()) ||
           (value.metaType() == QMetaType::fromType<QDate>() && value.toDate().isValid());
}

bool isPair(const QVariant &entry)
{
    return entry.metaType() == QMetaType::fromType<QVariantMap>() && entry.toMap().size() == 1;
}

bool neverCopied(const QString &key)
{
    return key == kABUIDProperty || key == kABCreationDateProperty || key == kABModificationDateProperty;
}

bool isMultiProperty(const QString &key)
{
    return key == kABEmailProperty || key == kABPhoneProperty || key == kABAddressProperty ||
           key == kABURLsProperty;
}

bool isKnown(const QString &key)
{
    static const QSet<QString> known = [] {
        const QStringList names = ABAddressBook::properties();
        return QSet<QString>(names.cbegin(), names.cend());
    }();
    return known.contains(key) && !neverCopied(key);
}

// What a person's card may hold, leaving room for the lines we write around its values and for
// what other programs keep in it; the store does not read a larger card at all.
constexpr qint64 kCardBudget = ABAddressBook::kMaxCardFileSize - 64 * 1024;

// At most what a text takes in a card: UTF-8, escapes, and line folding.
qint64 textBytes(const QString &text)
{
    qint64 bytes = 0;
    for (const QChar c : text) {
        const char16_t u = c.unicode();
        bytes += u < 0x80 ? 1 : (u < 0x800 || c.isSurrogate()) ? 2 : 3;
        if (u == u'\\' || u == u';' || u == u',' || u == u'\n' || u == u'\r')
            ++bytes;
    }
    return bytes + bytes / 72 * 3;
}

// At most what a value (a text, a date, an address, or a labelled entry) takes in a card, with
// its property name, parameters and label line.
qint64 cardBytes(const QVariant &value)
{
    constexpr qint64 lineCost = 128;
    if (value.metaType() == QMetaType::fromType<QVariantMap>()) {
        const QVariantMap map = value.toMap();
        qint64 bytes = lineCost;
        for (auto it = map.cbegin(); it != map.cend(); ++it)
            bytes += textBytes(it.key()) + cardBytes(it.value());
        return bytes;
    }
    if (value.metaType() == QMetaType::fromType<QVariantList>()) {
        qint64 bytes = 0;
        const QVariantList entries = value.toList();
        for (const QVariant &entry : entries)
            bytes += cardBytes(entry);
        return bytes;
    }
    return lineCost + (isText(value) ? textBytes(value.toString()) : 0);
}

// Whether a record holds anything the store keeps besides dates: a text that is not blank, or
// an entry of a mail, phone, address or link list.
bool worthACard(const QVariantMap &values)
{
    // Texts first: a name is found at once, where an address's entry takes longer to look at.
    for (auto it = values.cbegin(); it != values.cend(); ++it) {
        if (!isMultiProperty(it.key()) && isKnown(it.key()) && !ABRecordHelpers::storedText(it.value()).isEmpty())
            return true;
    }
    for (auto it = values.cbegin(); it != values.cend(); ++it) {
        if (!isMultiProperty(it.key()) || !isKnown(it.key()) ||
            it.value().metaType() != QMetaType::fromType<QVariantList>())
            continue;
        const QVariantList entries = it.value().toList();
        for (const QVariant &entry : entries) {
            if (isPair(entry) && !ABRecordHelpers::comparableEntry(it.key(), entry.toMap().first()).isEmpty())
                return true;
        }
    }
    return false;
}

void logNotAPerson(const char *typeName)
{
    systemLog(QStringLiteral("QuickSync: left out a record that is not a dictionary (%1)")
                  .arg(QString::fromLatin1(typeName ? typeName : "invalid")));
}

// Absent, or a text of blanks only; looks no further than the first other character, as a note
// can be long.
bool isEmptyValue(const QVariant &value)
{
    if (!value.isValid() || value.isNull())
        return true;
    const QString text = isText(value) ? value.toString() : QStringLiteral("x");
    return std::all_of(text.cbegin(), text.cend(), [](QChar c) { return c.isSpace(); });
}

// The value in a map's slot, changed in place: appending to a long list or note copies nothing.
template<typename T>
T &slotOf(QVariantMap &values, const QString &property)
{
    QVariant &slot = values[property];
    if (slot.metaType() != QMetaType::fromType<T>())
        slot = QVariant::fromValue(T());
    return *static_cast<T *>(slot.data());
}

// Inserts unless the key is there already: the first holder of a key wins.
template<typename V>
void keepFirst(QHash<QString, V> &hash, const QString &key, V value)
{
    if (!hash.contains(key))
        hash.insert(key, value);
}

// A planned change of a person of the store (or of a person added in this run), with what the
// merge needs to stay linear however many records of one name arrive.
struct Planned
{
    ABPerson *local = nullptr; // a person of the store, or
    int added = -1;            // index of a person added in this run
    QVariantMap values;        // its values as they will be
    QSet<QString> changed;
    QHash<QString, QSet<QString>> present; // per list property: its entries, comparable
    QString note;                          // the note as it was, compared as stored
    bool noteRead = false;
    QSet<QString> notes; // note texts known to be in the note or added to it in this run
    qint64 size = -1;                      // the card's size at most; -1 until needed
};

} // namespace

struct QuickSync::Private
{
    ABAddressBook *book = nullptr;
    RecordAt recordAt;
    qsizetype count = 0;
    QuickSyncOptions options;

    quint64 revision = 0;
    qsizetype next = 0;
    bool committed = false;
    QuickSyncResult result;

    std::vector<std::unique_ptr<ABPerson>> newPersons;
    QHash<QString, ABPerson *> byKey;     // first person of the store with that name key
    QHash<QString, ABPerson *> byContact; // first person of the store without a name, by contact
    QSet<QString> newKeys;                // copy-all: name keys of the persons added in this run
    QSet<QString> newContacts;            // copy-all: contacts of persons without a name added
    QHash<QString, int> plannedByKey;     // update-only: a planned person by name key
    QHash<QString, int> plannedByContact; // update-only: a planned person without a name
    QHash<ABPerson *, int> plannedOfLocal;
    std::vector<Planned> planned;

    bool validMatchType() const
    {
        return options.matchType == vCardFirstLastCompany || options.matchType == vCardFirstLast;
    }
    void restart();
    void prepareOne(const QVariant &record);
    void prepareCopy(const FlatPerson &person);
    void prepareUpdate(const FlatPerson &person);
    int planFor(ABPerson *local);
    bool fits(Planned &plan, qint64 bytes);
    bool merge(Planned &plan, const FlatPerson &remote);
    bool canStream() const;
    bool takeUnlessPresent(const QString &key, const QStringList &contacts);
    void prepareSlice(qsizetype end);
    bool runStreamed(const Progress &progress);
};

namespace {

// A record of a streamed slice, decoded and (unless matching decides first) copied on the pool.
struct SliceEntry
{
    enum class Kind { NotAPerson, Empty, Person };
    Kind kind = Kind::Empty;
    const char *typeName = nullptr;
    QVariantMap values; // kept while matching decides whether it is copied
    QString key;
    QStringList contacts;
    bool take = true;
    std::unique_ptr<ABPerson> person;
    int tooLarge = 0;
};

} // namespace

// Copy-all of the records up to end, as prepareOne does one by one. Decoding a record and making
// its person depend on that record alone: they run on all cores, while what one record's fate
// does to the next (counts, the keys of persons added) is decided here in the records' order.
void QuickSync::Private::prepareSlice(qsizetype end)
{
    const bool matching = options.matching && validMatchType();
    std::vector<SliceEntry> entries(static_cast<size_t>(end - next));
    const qsizetype first = next;
    QtConcurrent::blockingMap(entries, [&](SliceEntry &entry) {
        const QVariant record = recordAt(first + (&entry - entries.data()));
        if (record.metaType() != QMetaType::fromType<QVariantMap>()) {
            entry.kind = SliceEntry::Kind::NotAPerson;
            entry.typeName = record.typeName();
            return;
        }
        entry.values = record.toMap();
        if (!worthACard(entry.values)) {
            entry.values.clear();
            return;
        }
        entry.kind = SliceEntry::Kind::Person;
        if (matching) {
            entry.key = ABRecordHelpers::matchKey(entry.values, options.matchType);
            if (entry.key.isNull())
                entry.contacts = ABRecordHelpers::contactKeys(entry.values);
            return;
        }
        entry.person = copyOf(entry.values, &entry.tooLarge);
        entry.values.clear();
    });
    for (SliceEntry &entry : entries) {
        if (entry.kind != SliceEntry::Kind::Person) {
            if (entry.kind == SliceEntry::Kind::NotAPerson)
                logNotAPerson(entry.typeName);
            ++result.empty;
            ++result.skipped;
            continue;
        }
        if (matching)
            entry.take = takeUnlessPresent(entry.key, entry.contacts);
        else
            ++result.saved;
    }
    if (matching) {
        QtConcurrent::blockingMap(entries, [](SliceEntry &entry) {
            if (entry.kind == SliceEntry::Kind::Person && entry.take)
                entry.person = copyOf(entry.values, &entry.tooLarge);
            entry.values.clear();
        });
    }
    for (SliceEntry &entry : entries) {
        result.tooLarge += entry.tooLarge;
        if (entry.person)
            newPersons.push_back(std::move(entry.person));
    }
    next = end;
}

bool QuickSync::Private::canStream() const
{
    if (options.mode != QuickSyncOptions::Mode::CopyAll || options.streamSlice <= 0 || committed || !book)
        return false;
    if (options.group != QuickSyncOptions::Group::Existing)
        return true;
    // A category group writes its name into each member's card: those stay in the store.
    const QList<ABGroup *> groups = book->groups();
    return std::none_of(groups.cbegin(), groups.cend(), [this](const ABGroup *group) {
        return group->name() == options.groupName && group->form() == ABGroup::Category;
    });
}

// Copy-all a slice at a time: prepared, put into the store, saved, let go of.
bool QuickSync::Private::runStreamed(const Progress &progress)
{
    committed = true;
    QStringList uids;
    bool ok = true;
    // No start again when the store changes between slices, as prepare() does: the slices saved
    // are in the store, and matching sees them through the keys of this run.
    // As few slices as streamSlice allows, of even size: 10,000 persons go in three slices of 3,334,
    // not two full ones and a small one, and the store holds less at once.
    const qsizetype slices = (count - next + options.streamSlice - 1) / options.streamSlice;
    const qsizetype slice = slices > 1 ? (count - next + slices - 1) / slices : options.streamSlice;
    for (bool all = false; !all && ok;) {
        const qsizetype end = std::min(count, next + slice);
        prepareSlice(end);
        all = next >= count;
        QList<ABPerson *> added;
        added.reserve(static_cast<qsizetype>(newPersons.size()));
        for (std::unique_ptr<ABPerson> &person : newPersons) {
            if (ABPerson *inStore = book->addRecord(std::move(person))) {
                added.append(inStore);
                uids.append(inStore->uniqueId());
            }
        }
        newPersons.clear();
        ok = book->save(progress);
        book->release(added);
        revision = book->revision();
    }
    if (ok && !uids.isEmpty() && options.group != QuickSyncOptions::Group::None) {
        ABGroup *target = nullptr;
        if (options.group == QuickSyncOptions::Group::Existing) {
            const QList<ABGroup *> groups = book->groups();
            const auto found = std::find_if(groups.cbegin(), groups.cend(), [this](const ABGroup *group) {
                return group->name() == options.groupName;
            });
            target = found != groups.cend() ? *found : nullptr;
            result.groupGone = !target;
        } else {
            std::unique_ptr<ABGroup> group = ABAddressBook::newGroup();
            group->setValue(options.groupName, kABGroupNameProperty);
            target = book->addRecord(std::move(group));
        }
        if (target) {
            result.groupLabel = options.groupName;
            target->addMemberUids(uids);
            ok = book->save(progress);
        }
    }
    result.saveOk = ok;
    return ok;
}

void QuickSync::Private::restart()
{
    next = 0;
    result = QuickSyncResult();
    newPersons.clear();
    byKey.clear();
    byContact.clear();
    newKeys.clear();
    newContacts.clear();
    plannedByKey.clear();
    plannedByContact.clear();
    plannedOfLocal.clear();
    planned.clear();
    revision = book ? book->revision() : 0;
    const bool matching = options.mode == QuickSyncOptions::Mode::UpdateOnly || options.matching;
    if (!book || !matching || !validMatchType())
        return;
    const QList<ABPerson *> people = book->people();
    byKey.reserve(people.size());
    for (ABPerson *person : people) {
        const QVariantMap &values = person->travellingValues();
        const QString key = ABRecordHelpers::matchKey(values, options.matchType);
        if (!key.isNull()) {
            keepFirst(byKey, key, person);
            continue;
        }
        for (const QString &contact : ABRecordHelpers::contactKeys(values))
            keepFirst(byContact, contact, person);
    }
}

void QuickSync::Private::prepareCopy(const FlatPerson &person)
{
    if (!options.matching || !validMatchType()) {
        ++result.saved;
        newPersons.push_back(copyOf(person, &result.tooLarge));
        return;
    }
    const QString key = ABRecordHelpers::matchKey(person, options.matchType);
    const QStringList contacts = key.isNull() ? ABRecordHelpers::contactKeys(person) : QStringList();
    if (!takeUnlessPresent(key, contacts))
        return;
    newPersons.push_back(copyOf(person, &result.tooLarge));
}

// Copy-all with matching: whether a person of this name key (or, without a name, these contacts)
// is new to the store and to this run; counted either way, and remembered when new.
bool QuickSync::Private::takeUnlessPresent(const QString &key, const QStringList &contacts)
{
    const bool present = !key.isNull() ? byKey.contains(key) || newKeys.contains(key)
                                       : std::any_of(contacts.cbegin(), contacts.cend(), [this](const QString &c) {
                                             return byContact.contains(c) || newContacts.contains(c);
                                         });
    if (present) {
        ++result.skipped;
        return false;
    }
    ++result.saved;
    if (!key.isNull())
        newKeys.insert(key);
    for (const QString &contact : contacts)
        newContacts.insert(contact);
    return true;
}

int QuickSync::Private::planFor(ABPerson *local)
{
    const auto it = plannedOfLocal.constFind(local);
    if (it != plannedOfLocal.cend())
        return *it;
    const int index = static_cast<int>(planned.size());
    planned.push_back({local, -1, local->travellingValues(), {}, {}, {}, false, {}, -1});
    plannedOfLocal.insert(local, index);
    return index;
}

bool QuickSync::Private::fits(Planned &plan, qint64 bytes)
{
    if (plan.size < 0) {
        plan.size = 0;
        for (auto it = plan.values.cbegin(); it != plan.values.cend(); ++it)
            plan.size += cardBytes(it.value());
        // The card on disk may hold what we do not model (a photo, say).
        struct stat file;
        if (plan.local && !plan.local->fileName().isEmpty() &&
            ::stat(QFile::encodeName(book->directory() + u'/' + plan.local->fileName()).constData(), &file) == 0)
            plan.size = std::max<qint64>(plan.size, file.st_size);
    }
    if (plan.size + bytes > kCardBudget) {
        ++result.tooLarge;
        return false;
    }
    plan.size += bytes;
    return true;
}

// Adds to a planned person what remote has and it lacks, never replacing or removing anything;
// returns whether anything was added.
bool QuickSync::Private::merge(Planned &plan, const FlatPerson &remote)
{
    QVariantMap &values = plan.values;
    bool grew = false;
    for (auto it = remote.cbegin(); it != remote.cend(); ++it) {
        const QString &property = it.key();
        const QVariant &value = it.value();
        if (!isKnown(property))
            continue;
        if (isMultiProperty(property)) {
            if (value.metaType() != QMetaType::fromType<QVariantList>())
                continue;
            auto present = plan.present.find(property);
            if (present == plan.present.end()) {
                present = plan.present.insert(property, {});
                const QVariantList mine = values.value(property).toList();
                for (const QVariant &entry : mine) {
                    if (isPair(entry))
                        present->insert(ABRecordHelpers::comparableEntry(property, entry.toMap().first()));
                }
                // A link without a label is read back as the home page.
                if (property == kABURLsProperty)
                    present->insert(ABRecordHelpers::comparableEntry(property, values.value(kABHomePageProperty)));
            }
            const QVariantList incoming = value.toList();
            for (const QVariant &entry : incoming) {
                if (!isPair(entry))
                    continue;
                const QString key = ABRecordHelpers::comparableEntry(property, entry.toMap().first());
                if (key.isEmpty() || present->contains(key) || !fits(plan, cardBytes(entry)))
                    continue;
                present->insert(key);
                slotOf<QVariantList>(values, property).append(entry);
                plan.changed.insert(property);
                grew = true;
            }
        } else if (property == kABBirthdayProperty) {
            if (isDate(value) && isEmptyValue(values.value(property)) && fits(plan, cardBytes(value))) {
                values.insert(property, value);
                plan.changed.insert(property);
                grew = true;
            }
        } else {
            // Compared and kept as the store gives texts back, so that a second run finds them.
            const QString text = ABRecordHelpers::storedText(value);
            if (text.isEmpty())
                continue;
            if (isEmptyValue(values.value(property))) {
                if (!fits(plan, cardBytes(text)))
                    continue;
                values.insert(property, text);
                if (property == kABNoteProperty)
                    plan.notes.insert(text);
            } else if (property == kABNoteProperty) {
                // A note is added to, never replaced; each text is looked for in it only once.
                if (plan.notes.contains(text))
                    continue;
                plan.notes.insert(text);
                if (!plan.noteRead) {
                    plan.note = ABRecordHelpers::storedText(values.value(property));
                    plan.noteRead = true;
                }
                if (plan.note.contains(text) || !fits(plan, cardBytes(text)))
                    continue;
                slotOf<QString>(values, property).append(QStringLiteral("\n\n") + text);
            } else {
                continue;
            }
            plan.changed.insert(property);
            grew = true;
        }
    }
    return grew;
}

void QuickSync::Private::prepareUpdate(const FlatPerson &person)
{
    const QString key = ABRecordHelpers::matchKey(person, options.matchType);
    const QStringList contacts =
        key.isNull() && validMatchType() ? ABRecordHelpers::contactKeys(person) : QStringList();
    int index = -1;
    if (!key.isNull()) {
        index = plannedByKey.value(key, -1);
        if (index < 0) {
            if (ABPerson *local = byKey.value(key))
                index = planFor(local);
        }
    }
    for (qsizetype i = 0; index < 0 && i < contacts.size(); ++i) {
        index = plannedByContact.value(contacts.at(i), -1);
        if (index < 0) {
            if (ABPerson *local = byContact.value(contacts.at(i)))
                index = planFor(local);
        }
    }
    if (index < 0 && !options.addUnmatched) {
        ++result.skipped;
        return;
    }
    if (index >= 0) {
        if (merge(planned[static_cast<size_t>(index)], person))
            ++result.updated;
        else
            ++result.unchanged;
    } else {
        ++result.added;
        std::unique_ptr<ABPerson> copy = copyOf(person, &result.tooLarge);
        index = static_cast<int>(planned.size());
        planned.push_back({nullptr, static_cast<int>(newPersons.size()), copy->travellingValues(), {}, {}, {}, false, {}, -1});
        newPersons.push_back(std::move(copy));
    }
    // A later record of the same name, or without a name and with one of these contacts,
    // updates this person instead of adding it twice.
    if (!key.isNull())
        keepFirst(plannedByKey, key, index);
    for (const QString &contact : contacts)
        keepFirst(plannedByContact, contact, index);
}

void QuickSync::Private::prepareOne(const QVariant &record)
{
    if (record.metaType() != QMetaType::fromType<QVariantMap>()) {
        // Not a person at all: nothing to copy or compare.
        logNotAPerson(record.typeName());
    } else if (!worthACard(record.toMap())) {
        // Nothing the store keeps (dates at most): no person to make.
    } else if (options.mode == QuickSyncOptions::Mode::UpdateOnly) {
        prepareUpdate(record.toMap());
        return;
    } else {
        prepareCopy(record.toMap());
        return;
    }
    ++result.empty;
    if (options.mode == QuickSyncOptions::Mode::CopyAll)
        ++result.skipped;
}

QuickSync::QuickSync(ABAddressBook *book, RecordAt recordAt, qsizetype count, const QuickSyncOptions &options)
    : d(std::make_unique<Private>())
{
    d->book = book;
    d->recordAt = std::move(recordAt);
    d->count = book ? count : 0;
    d->options = options;
    d->restart();
}

QuickSync::~QuickSync() = default;

qsizetype QuickSync::preparedCount() const
{
    return d->next;
}

qsizetype QuickSync::count() const
{
    return d->count;
}

bool QuickSync::prepare(qsizetype n)
{
    if (d->committed)
        return true;
    if (d->book && d->book->revision() != d->revision) {
        systemLog(QStringLiteral("QuickSync: the address book changed meanwhile; starting again"));
        d->restart();
    }
    for (qsizetype end = std::min(d->count, d->next + n); d->next < end; ++d->next)
        d->prepareOne(d->recordAt(d->next));
    return d->next >= d->count;
}

void QuickSync::commit()
{
    if (d->committed || !d->book)
        return;
    prepare(d->count);
    d->committed = true;
    ABAddressBook *book = d->book;
    // A group only for persons added: a run that adds nobody leaves the groups as they are.
    ABGroup *target = nullptr;
    if (!d->newPersons.empty() && d->options.group == QuickSyncOptions::Group::Existing) {
        const QList<ABGroup *> groups = book->groups();
        const auto found = std::find_if(groups.cbegin(), groups.cend(), [this](const ABGroup *group) {
            return group->name() == d->options.groupName;
        });
        if (found != groups.cend()) {
            target = *found;
            d->result.groupLabel = d->options.groupName;
        } else {
            // Renamed or removed by another program since it was chosen.
            d->result.groupGone = true;
        }
    } else if (!d->newPersons.empty() && d->options.group == QuickSyncOptions::Group::New) {
        std::unique_ptr<ABGroup> group = ABAddressBook::newGroup();
        group->setValue(d->options.groupName, kABGroupNameProperty);
        target = book->addRecord(std::move(group));
        d->result.groupLabel = d->options.groupName;
    }
    // Persons added in this run that a later record updated: their planned values are final.
    for (const Planned &plan : d->planned) {
        if (plan.added < 0)
            continue;
        ABPerson *person = d->newPersons[static_cast<size_t>(plan.added)].get();
        for (const QString &property : plan.changed)
            person->setValue(plan.values.value(property), property);
    }
    QList<ABPerson *> added;
    added.reserve(static_cast<qsizetype>(d->newPersons.size()));
    for (std::unique_ptr<ABPerson> &person : d->newPersons) {
        if (ABPerson *inStore = book->addRecord(std::move(person)))
            added.append(inStore);
    }
    d->newPersons.clear();
    if (target)
        target->addMembers(added);
    for (const Planned &plan : d->planned) {
        if (!plan.local)
            continue;
        for (const QString &property : plan.changed)
            plan.local->setValue(plan.values.value(property), property);
    }
    d->planned.clear();
}

bool QuickSync::save(const Progress &progress)
{
    commit();
    d->result.saveOk = d->book && d->book->save(progress);
    return d->result.saveOk;
}

bool QuickSync::run(const Progress &saveProgress)
{
    if (d->canStream())
        return d->runStreamed(saveProgress);
    commit();
    return save(saveProgress);
}

const QuickSyncResult &QuickSync::result() const
{
    return d->result;
}

QString QuickSync::summaryTitle() const
{
    const QuickSyncResult &r = d->result;
    if (d->options.mode == QuickSyncOptions::Mode::UpdateOnly)
        return vCardCommon::getLocMsg(QStringLiteral("QS_FormatUpdated"), r.updated)
            .arg(r.updated)
            .arg(r.unchanged)
            .arg(r.added);
    return vCardCommon::getLocMsg(QStringLiteral("QS_FormatSavedAndSkipped"), r.saved).arg(r.saved).arg(r.skipped);
}

QString QuickSync::summaryHint() const
{
    const QuickSyncResult &r = d->result;
    if (d->count == 0)
        return vCardCommon::getLocMsg(QStringLiteral("QS_NoRecords"));
    const bool copyAll = d->options.mode == QuickSyncOptions::Mode::CopyAll;
    const int added = copyAll ? r.saved : r.added;
    QStringList parts;
    if (r.updated > 0)
        parts.append(vCardCommon::getLocMsg(QStringLiteral("QS_UpdateKeptValues")));
    if (added > 0 && r.groupGone)
        parts.append(vCardCommon::getLocMsg(QStringLiteral("QS_FormatGroupGone")).arg(d->options.groupName));
    else if (added > 0)
        parts.append(vCardCommon::getLocMsg(QStringLiteral("QS_FormatSavedToGroup"), added).arg(r.groupLabel));
    if (!copyAll && r.skipped > 0)
        parts.append(vCardCommon::getLocMsg(QStringLiteral("QS_FormatLeftOut"), r.skipped).arg(r.skipped));
    if (r.empty > 0)
        parts.append(vCardCommon::getLocMsg(QStringLiteral("QS_FormatEmpty"), r.empty).arg(r.empty));
    if (r.tooLarge > 0)
        parts.append(vCardCommon::getLocMsg(QStringLiteral("QS_FormatTooLarge"), r.tooLarge).arg(r.tooLarge));
    // Nobody new or changed, and some found present: the address book holds them all.
    if (added == 0 && r.updated == 0 && (copyAll ? r.skipped > r.empty : r.unchanged > 0))
        parts.prepend(vCardCommon::getLocMsg(QStringLiteral("QS_ABInSynch")));
    return parts.join(u' ');
}

std::unique_ptr<ABPerson> QuickSync::copyOf(const FlatPerson &person, int *tooLarge)
{
    std::unique_ptr<ABPerson> copy = ABAddressBook::newPerson();
    qint64 size = 0;
    const auto fits = [&size, tooLarge](qint64 bytes) {
        if (size + bytes > kCardBudget) {
            if (tooLarge)
                ++*tooLarge;
            return false;
        }
        size += bytes;
        return true;
    };
    for (auto it = person.cbegin(); it != person.cend(); ++it) {
        const QString &key = it.key();
        const QVariant &value = it.value();
        if (neverCopied(key))
            continue;
        if (isText(value) || isDate(value)) {
            if (isKnown(key) && fits(cardBytes(value)))
                copy->setValue(value, key);
        } else if (value.metaType() == QMetaType::fromType<QVariantList>()) {
            // Entries that are not one-pair labelled values are left out.
            QVariantList kept;
            const QVariantList entries = value.toList();
            for (const QVariant &entry : entries) {
                if (isPair(entry) && fits(cardBytes(entry)))
                    kept.append(entry);
            }
            copy->setValue(QVariant::fromValue(ABMultiValue::fromLabeledValues(kept)), key);
        } else if (value.metaType() == QMetaType::fromType<QVariantMap>()) {
            systemLog(QStringLiteral("QuickSyncController: NSDictionary found!"));
        }
    }
    return copy;
}
