#include "abrecordhelpers.h"

#include "abaddressbook.h"
#include "abglobals.h"
#include "abgroup.h"
#include "abperson.h"

QVariant ABRecordHelpers::getValueForLabel(const QString &label, const QVariant &list)
{
    if (label.isNull() || list.metaType() != QMetaType::fromType<QVariantList>())
        return QVariant();
    const QVariantList entries = list.toList();
    for (const QVariant &entry : entries) {
        if (entry.metaType() != QMetaType::fromType<QVariantMap>())
            continue;
        const QVariantMap pair = entry.toMap();
        if (pair.size() != 1)
            continue;
        if (pair.firstKey() == label)
            return pair.first();
    }
    return QVariant();
}

QString ABRecordHelpers::dictValues2String(const QVariantMap &dictionary)
{
    // QVariantMap keeps its keys in ascending, case-sensitive order already.
    QString text;
    bool first = true;
    for (auto it = dictionary.cbegin(); it != dictionary.cend(); ++it) {
        if (!first)
            text += QLatin1String(", ");
        first = false;
        const QVariant &value = it.value();
        if (value.metaType() != QMetaType::fromType<QVariantMap>() &&
            value.metaType() != QMetaType::fromType<QVariantList>())
            text += value.toString();
    }
    return text;
}

bool ABRecordHelpers::ABHasGroups(const ABAddressBook *book)
{
    return book && !book->groups().isEmpty();
}

bool ABRecordHelpers::isFlatPersonInAB(const FlatPerson &person, qint32 matchType, const ABAddressBook *book)
{
    if (!book || (matchType != vCardFirstLastCompany && matchType != vCardFirstLast))
        return false;
    const QVariant first = person.value(kABFirstNameProperty);
    const QVariant last = person.value(kABLastNameProperty);
    const QVariant organization = person.value(kABOrganizationProperty);
    const bool withCompany = matchType == vCardFirstLastCompany;
    bool ok = false;
    const QString key = ABAddressBook::nameKey(first, last, withCompany ? &organization : nullptr, &ok);
    return ok && book->hasPersonWithNameKey(key, withCompany);
}
