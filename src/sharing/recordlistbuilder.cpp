#include "recordlistbuilder.h"

#include "abaddressbook.h"
#include "abglobals.h"
#include "abgroup.h"
#include "abperson.h"

#include <QSet>

#include <algorithm>

QStringList RecordListBuilder::propertySet(QStringList propertyNames)
{
    for (const QString *extra : {&kABMiddleNameProperty, &kABMiddleNamePhoneticProperty, &kABTitleProperty,
                                 &kABSuffixProperty, &kABNicknameProperty, &kABMaidenNameProperty}) {
        if (!propertyNames.contains(*extra))
            propertyNames.append(*extra);
    }
    return propertyNames;
}

RecordList RecordListBuilder::build(const ABAddressBook *book, const SelectionTest &isShared)
{
    return build(book, ABAddressBook::properties(), isShared);
}

RecordList RecordListBuilder::build(const ABAddressBook *book, QStringList propertyNames,
                                    const SelectionTest &isShared)
{
    return fromValues(sharedValues(book, isShared), std::move(propertyNames));
}

QList<QVariantMap> RecordListBuilder::sharedValues(const ABAddressBook *book, const SelectionTest &isShared)
{
    QList<QVariantMap> result;
    if (!book)
        return result;
    for (const ABPerson *person : book->people()) {
        if (isShared(person))
            result.append(person->travellingValues());
    }
    return result;
}

QList<QVariantMap> RecordListBuilder::sharedValues(const ABAddressBook *book,
                                                  const QList<const ABGroup *> &sharedGroups)
{
    QList<QVariantMap> result;
    if (!book || sharedGroups.isEmpty())
        return result;
    // One group's members are in the store's order already and each is there once.
    if (sharedGroups.size() == 1) {
        const QList<ABPerson *> members = sharedGroups.first()->members();
        result.reserve(members.size());
        for (const ABPerson *person : members)
            result.append(person->travellingValues());
        return result;
    }
    QSet<const ABPerson *> shared;
    for (const ABGroup *group : sharedGroups) {
        const QList<ABPerson *> members = group->members();
        shared.unite(QSet<const ABPerson *>(members.cbegin(), members.cend()));
    }
    result.reserve(shared.size());
    for (const ABPerson *person : book->people()) {
        if (shared.contains(person))
            result.append(person->travellingValues());
    }
    return result;
}

RecordList RecordListBuilder::fromValues(const QList<QVariantMap> &persons, QStringList propertyNames)
{
    RecordList result;
    const QStringList properties = propertySet(std::move(propertyNames));
    const QSet<QString> wanted(properties.cbegin(), properties.cend());
    // The usual case: every property a person can hold is wanted, so no key needs a look.
    const QStringList personProperties = ABAddressBook::properties();
    const bool everyKeyWanted = std::all_of(personProperties.cbegin(), personProperties.cend(),
                                            [&wanted](const QString &key) { return wanted.contains(key); });
    result.reserve(persons.size());
    for (const QVariantMap &values : persons) {
        // The store keeps a person's values in the travelling form already (no null values, no
        // empty lists, multi-values as lists of one-pair maps): when every property it has is
        // wanted, the record is that map itself, shared rather than copied. Each property is
        // looked at once.
        bool allWanted = everyKeyWanted;
        if (!allWanted) {
            allWanted = true;
            for (auto it = values.cbegin(); it != values.cend() && allWanted; ++it)
                allWanted = wanted.contains(it.key());
        }
        if (allWanted) {
            if (!values.isEmpty())
                result.append(values);
            continue;
        }
        FlatPerson flat;
        for (auto it = values.cbegin(); it != values.cend(); ++it) {
            if (wanted.contains(it.key()))
                flat.insert(flat.cend(), it.key(), it.value());
        }
        if (!flat.isEmpty())
            result.append(flat);
    }
    return result;
}
