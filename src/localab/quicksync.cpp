#include "quicksync.h"

#include "abaddressbook.h"
#include "abglobals.h"
#include "abgroup.h"
#include "abmultivalue.h"
#include "abperson.h"
#include "systemlog.h"
#include "vcardcommon.h"

#include <QDateTime>
#include <QHash>
#include <QSet>

#include <vector>

namespace {

bool isText(const QVariant &value)
{
    return value.metaType() == QMetaType::fromType<QString>();
}

bool isDate(const QVariant &value)
{
    return value.metaType() == QMetaType::fromType<QDateTime>() ||
           value.metaType() == QMetaType::fromType<QDate>();
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

// The form in which two entry values are the same for the update rules.
QString comparable(const QString &property, const QVariant &value)
{
    if (property == kABAddressProperty) {
        const QVariantMap parts = value.toMap();
        QString key;
        for (auto it = parts.cbegin(); it != parts.cend(); ++it) {
            const QString part = it.value().toString().simplified();
            if (!part.isEmpty())
                key += it.key() + u'=' + part.toCaseFolded() + u'\n';
        }
        return key;
    }
    const QString text = value.toString().trimmed();
    if (property == kABPhoneProperty) {
        QString digits;
        for (const QChar c : text) {
            if (c.isDigit() || (c == u'+' && digits.isEmpty()))
                digits += c;
        }
        if (!digits.isEmpty() && digits != QLatin1String("+"))
            return digits;
        return text;
    }
    if (property == kABURLsProperty) {
        QString url = text.toCaseFolded();
        while (url.endsWith(u'/'))
            url.chop(1);
        return url;
    }
    return text.toCaseFolded(); // e-mail addresses
}

// An entry value the store can hold for the property, non-empty.
bool storableEntry(const QString &property, const QVariant &value)
{
    if (property == kABAddressProperty) {
        if (value.metaType() != QMetaType::fromType<QVariantMap>())
            return false;
        const QVariantMap parts = value.toMap();
        for (const QVariant &part : parts) {
            if (isText(part) && !part.toString().trimmed().isEmpty())
                return true;
        }
        return false;
    }
    return isText(value) && !value.toString().trimmed().isEmpty();
}

bool isEmptyValue(const QVariant &value)
{
    return !value.isValid() || value.isNull() || (isText(value) && value.toString().trimmed().isEmpty());
}

// A planned change of a person of the store (or of a person added in this run).
struct Planned
{
    ABPerson *local = nullptr; // a person of the store, or
    int added = -1;            // index of a person added in this run
    QVariantMap values;        // its values as they will be
    QSet<QString> changed;
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
    QSet<QString> newKeys;            // copy-all: name keys of the persons added in this run
    QHash<QString, ABPerson *> byKey; // update-only: first person of the store with that key
    QHash<QString, int> plannedByKey; // update-only: a planned person by name key
    QHash<ABPerson *, int> plannedOfLocal;
    std::vector<Planned> planned;

    bool validMatchType() const
    {
        return options.matchType == vCardFirstLastCompany || options.matchType == vCardFirstLast;
    }
    QString keyOf(const FlatPerson &person, bool *ok) const;
    void restart();
    void prepareOne(const QVariant &record);
    void prepareCopy(const FlatPerson &person);
    void prepareUpdate(const FlatPerson &person);
};

QString QuickSync::Private::keyOf(const FlatPerson &person, bool *ok) const
{
    const QVariant organization = person.value(kABOrganizationProperty);
    const QString key =
        ABAddressBook::nameKey(person.value(kABFirstNameProperty), person.value(kABLastNameProperty),
                               options.matchType == vCardFirstLastCompany ? &organization : nullptr, ok);
    *ok = *ok && validMatchType();
    return key;
}

void QuickSync::Private::restart()
{
    next = 0;
    result = QuickSyncResult();
    newPersons.clear();
    newKeys.clear();
    byKey.clear();
    plannedByKey.clear();
    plannedOfLocal.clear();
    planned.clear();
    revision = book ? book->revision() : 0;
    if (book && options.mode == QuickSyncOptions::Mode::UpdateOnly && validMatchType()) {
        const QList<ABPerson *> people = book->people();
        byKey.reserve(people.size());
        for (ABPerson *person : people) {
            bool ok = false;
            const QString key = keyOf(person->travellingValues(), &ok);
            if (ok && !byKey.contains(key))
                byKey.insert(key, person);
        }
    }
}

void QuickSync::Private::prepareCopy(const FlatPerson &person)
{
    bool ok = false;
    const QString key = keyOf(person, &ok);
    if (options.matching && (ABRecordHelpers::isFlatPersonInAB(person, options.matchType, book) ||
                             (ok && newKeys.contains(key)))) {
        ++result.skipped;
        return;
    }
    ++result.saved;
    if (ok)
        newKeys.insert(key);
    newPersons.push_back(copyOf(person));
}

void QuickSync::Private::prepareUpdate(const FlatPerson &person)
{
    bool ok = false;
    const QString key = keyOf(person, &ok);
    int index = ok ? plannedByKey.value(key, -1) : -1;
    if (index < 0 && ok) {
        if (ABPerson *local = byKey.value(key)) {
            index = static_cast<int>(planned.size());
            planned.push_back({local, -1, local->travellingValues(), {}});
            plannedByKey.insert(key, index);
        }
    }
    if (index >= 0) {
        Planned &target = planned[static_cast<size_t>(index)];
        const QStringList changed = mergeInto(target.values, person);
        if (changed.isEmpty()) {
            ++result.unchanged;
        } else {
            ++result.updated;
            for (const QString &property : changed)
                target.changed.insert(property);
        }
        return;
    }
    if (!options.addUnmatched) {
        ++result.skipped;
        return;
    }
    ++result.added;
    std::unique_ptr<ABPerson> copy = copyOf(person);
    if (ok) {
        // A later record of the same name updates this one instead of adding it twice.
        plannedByKey.insert(key, static_cast<int>(planned.size()));
        planned.push_back({nullptr, static_cast<int>(newPersons.size()), copy->travellingValues(), {}});
    }
    newPersons.push_back(std::move(copy));
}

void QuickSync::Private::prepareOne(const QVariant &record)
{
    if (record.metaType() != QMetaType::fromType<QVariantMap>()) {
        // Not a person at all: nothing to copy or compare.
        systemLog(QStringLiteral("QuickSync: left out a record that is not a dictionary (%1)")
                      .arg(QString::fromLatin1(record.typeName() ? record.typeName() : "invalid")));
        ++result.skipped;
        return;
    }
    if (options.mode == QuickSyncOptions::Mode::UpdateOnly)
        prepareUpdate(record.toMap());
    else
        prepareCopy(record.toMap());
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
    ABGroup *target = nullptr;
    switch (d->options.group) {
    case QuickSyncOptions::Group::None:
        break;
    case QuickSyncOptions::Group::Existing: {
        const QList<ABGroup *> groups = book->groups();
        for (ABGroup *group : groups) {
            if (group->name() == d->options.groupName) {
                target = group;
                break;
            }
        }
        if (!groups.isEmpty())
            d->result.groupLabel = d->options.groupName;
        break;
    }
    case QuickSyncOptions::Group::New: {
        std::unique_ptr<ABGroup> group = ABAddressBook::newGroup();
        group->setValue(d->options.groupName, kABGroupNameProperty);
        target = book->addRecord(std::move(group));
        d->result.groupLabel = d->options.groupName;
        break;
    }
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
        return vCardCommon::getLocMsg(QStringLiteral("QS_FormatUpdated"))
            .arg(r.updated)
            .arg(r.unchanged)
            .arg(r.added);
    return vCardCommon::getLocMsg(QStringLiteral("QS_FormatSavedAndSkipped")).arg(r.saved).arg(r.skipped);
}

QString QuickSync::summaryHint() const
{
    const QuickSyncResult &r = d->result;
    const QString toGroup = vCardCommon::getLocMsg(QStringLiteral("QS_FormatSavedToGroup")).arg(r.groupLabel);
    const QString inSynch = vCardCommon::getLocMsg(QStringLiteral("QS_ABInSynch"));
    if (d->options.mode == QuickSyncOptions::Mode::CopyAll)
        return r.saved > 0 ? toGroup : inSynch;
    QStringList parts;
    if (r.updated > 0)
        parts.append(vCardCommon::getLocMsg(QStringLiteral("QS_UpdateKeptValues")));
    if (r.added > 0)
        parts.append(toGroup);
    if (r.skipped > 0)
        parts.append(vCardCommon::getLocMsg(QStringLiteral("QS_FormatLeftOut")).arg(r.skipped));
    if (parts.isEmpty())
        parts.append(inSynch);
    return parts.join(u' ');
}

std::unique_ptr<ABPerson> QuickSync::copyOf(const FlatPerson &person)
{
    std::unique_ptr<ABPerson> copy = ABAddressBook::newPerson();
    for (auto it = person.cbegin(); it != person.cend(); ++it) {
        const QString &key = it.key();
        const QVariant &value = it.value();
        if (neverCopied(key))
            continue;
        if (isText(value) || isDate(value)) {
            copy->setValue(value, key);
        } else if (value.metaType() == QMetaType::fromType<QVariantList>()) {
            // Entries that are not one-pair labelled values are left out.
            copy->setValue(QVariant::fromValue(ABMultiValue::fromLabeledValues(value.toList())), key);
        } else if (value.metaType() == QMetaType::fromType<QVariantMap>()) {
            systemLog(QStringLiteral("QuickSyncController: NSDictionary found!"));
        }
    }
    return copy;
}

QStringList QuickSync::mergeInto(QVariantMap &values, const FlatPerson &remote)
{
    static const QStringList known = ABAddressBook::properties();
    QStringList changed;
    for (auto it = remote.cbegin(); it != remote.cend(); ++it) {
        const QString &property = it.key();
        const QVariant &value = it.value();
        if (neverCopied(property) || !known.contains(property))
            continue;
        if (isMultiProperty(property)) {
            if (value.metaType() != QMetaType::fromType<QVariantList>())
                continue;
            QVariantList entries = values.value(property).toList();
            QSet<QString> present;
            for (const QVariant &entry : std::as_const(entries)) {
                const QVariantMap pair = entry.toMap();
                if (pair.size() == 1)
                    present.insert(comparable(property, pair.first()));
            }
            const qsizetype before = entries.size();
            const QVariantList incoming = value.toList();
            for (const QVariant &entry : incoming) {
                const QVariantMap pair =
                    entry.metaType() == QMetaType::fromType<QVariantMap>() ? entry.toMap() : QVariantMap();
                if (pair.size() != 1 || !storableEntry(property, pair.first()))
                    continue;
                const QString key = comparable(property, pair.first());
                if (present.contains(key))
                    continue;
                present.insert(key);
                entries.append(pair);
            }
            if (entries.size() != before) {
                values.insert(property, entries);
                changed.append(property);
            }
        } else if (property == kABBirthdayProperty) {
            if (isDate(value) && isEmptyValue(values.value(property))) {
                values.insert(property, value);
                changed.append(property);
            }
        } else if (isText(value) && !value.toString().trimmed().isEmpty()) {
            const QVariant mine = values.value(property);
            if (isEmptyValue(mine)) {
                values.insert(property, value);
                changed.append(property);
            } else if (property == kABNoteProperty && !mine.toString().contains(value.toString().trimmed())) {
                // A note is added to, never replaced.
                values.insert(property,
                              mine.toString() + QStringLiteral("\n\n") + value.toString().trimmed());
                changed.append(property);
            }
        }
    }
    return changed;
}
