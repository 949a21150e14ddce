#include "recordlistbuilder.h"

#include "abaddressbook.h"
#include "abglobals.h"
#include "abmultivalue.h"
#include "abperson.h"
#include "absharingpropcontroller.h"

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
    for (const ABPerson *person : persons) {
        if (!isShared(person))
            continue;
        FlatPerson flat;
        for (const QString &property : properties) {
            const QVariant value = person->valueForProperty(property);
            if (!value.isValid() || value.isNull())
                continue;
            if (ABMultiValue::isMultiValue(value)) {
                const ABMultiValue multi = value.value<ABMultiValue>();
                QVariantList entries;
                entries.reserve(multi.count());
                for (int i = 0; i < multi.count(); ++i) {
                    const QString label = multi.labelAtIndex(i);
                    const QVariant entry = multi.valueAtIndex(i);
                    if (label.isNull() || !entry.isValid() || entry.isNull())
                        continue;
                    entries.append(LabeledValue{{label, entry}});
                }
                if (!entries.isEmpty())
                    flat.insert(property, entries);
            } else {
                flat.insert(property, value);
            }
        }
        if (!flat.isEmpty())
            result.append(flat);
    }
    return result;
}
