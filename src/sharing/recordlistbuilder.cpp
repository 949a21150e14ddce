#include "recordlistbuilder.h"

#include "abaddressbook.h"
#include "abglobals.h"
#include "abmultivalue.h"
#include "abperson.h"
#include "absharingpropcontroller.h"

#include <QSet>

QStringList RecordListBuilder::propertySet(QStringList propertyNames)
{
    for (const QString *extra : {&kABMiddleNameProperty, &kABMiddleNamePhoneticProperty, &kABTitleProperty,
                                 &kABSuffixProperty, &kABNicknameProperty, &kABMaidenNameProperty}) {
        if (!propertyNames.contains(*extra))
            propertyNames.append(*extra);
    }
    return propertyNames;
}

RecordList RecordListBuilder::build(const ABAddressBook *book, const ABSharingPropController &selection)
{
    return build(book, [&selection](const ABPerson *person) { return selection.isPeopleInGroups(person); });
}

RecordList RecordListBuilder::build(const ABAddressBook *book, const SelectionTest &isShared)
{
    return build(book, ABAddressBook::properties(), isShared);
}

RecordList RecordListBuilder::build(const ABAddressBook *book, QStringList propertyNames,
                                    const SelectionTest &isShared)
{
    RecordList result;
    if (!book)
        return result;
    const QList<ABPerson *> persons = book->people();
    const QStringList properties = propertySet(std::move(propertyNames));
    // Walking a person's own values and keeping those in the property set reads each property
    // once, as asking for every name would, without a look-up per absent property.
    const QSet<QString> wanted(properties.cbegin(), properties.cend());
    for (const ABPerson *person : persons) {
        if (!isShared(person))
            continue;
        FlatPerson flat;
        const QVariantMap &values = person->allValues();
        for (auto it = values.cbegin(); it != values.cend(); ++it) {
            const QVariant &value = it.value();
            if (!value.isValid() || value.isNull() || !wanted.contains(it.key()))
                continue;
            if (ABMultiValue::isMultiValue(value)) {
                // Entries without a label or a value cannot travel and are left out.
                const QVariantList entries = value.value<ABMultiValue>().toLabeledValues();
                if (!entries.isEmpty())
                    flat.insert(flat.cend(), it.key(), entries);
            } else {
                flat.insert(flat.cend(), it.key(), value);
            }
        }
        if (!flat.isEmpty())
            result.append(flat);
    }
    return result;
}
