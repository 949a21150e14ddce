#include "abrecordhelpers.h"

#include "abaddressbook.h"
#include "abglobals.h"
#include "abgroup.h"
#include "abperson.h"

#include <algorithm>

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
    const QString key = matchKey(person, matchType);
    if (!key.isNull())
        return book->hasPersonWithNameKey(key, matchType == vCardFirstLastCompany);
    const QStringList contacts = contactKeys(person);
    if (contacts.isEmpty())
        return false;
    const QList<ABPerson *> people = book->people();
    return std::any_of(people.cbegin(), people.cend(), [&](const ABPerson *local) {
        const QVariantMap &values = local->travellingValues();
        if (!matchKey(values, matchType).isNull())
            return false;
        const QStringList theirs = contactKeys(values);
        return std::any_of(contacts.cbegin(), contacts.cend(),
                           [&theirs](const QString &contact) { return theirs.contains(contact); });
    });
}

QString ABRecordHelpers::storedText(const QVariant &value)
{
    if (value.metaType() != QMetaType::fromType<QString>())
        return QString();
    QString text = value.toString();
    if (text.contains(u'\r')) {
        text.replace(QLatin1String("\r\n"), QLatin1String("\n"));
        text.replace(u'\r', u'\n');
    }
    return text.trimmed();
}

QString ABRecordHelpers::matchKey(const QVariantMap &values, qint32 matchType)
{
    if (matchType != vCardFirstLastCompany && matchType != vCardFirstLast)
        return QString();
    const QVariant organization = values.value(kABOrganizationProperty);
    bool named = false;
    const QString key = ABAddressBook::nameKey(values.value(kABFirstNameProperty), values.value(kABLastNameProperty),
                                               matchType == vCardFirstLastCompany ? &organization : nullptr, &named);
    return named ? key : QString();
}

QStringList ABRecordHelpers::contactKeys(const QVariantMap &values)
{
    QStringList keys;
    for (const QString *property : {&kABEmailProperty, &kABPhoneProperty}) {
        const QVariant list = values.value(*property);
        if (list.metaType() != QMetaType::fromType<QVariantList>())
            continue;
        const QVariantList entries = list.toList();
        for (const QVariant &entry : entries) {
            if (entry.metaType() != QMetaType::fromType<QVariantMap>() || entry.toMap().size() != 1)
                continue;
            const QString key = comparableEntry(*property, entry.toMap().first());
            if (!key.isEmpty())
                keys.append(property->left(1) + u':' + key);
        }
    }
    return keys;
}

QString ABRecordHelpers::comparableEntry(const QString &property, const QVariant &value)
{
    if (property == kABAddressProperty) {
        // The parts a card's ADR holds; others do not survive a save.
        static const QString *const parts[] = {&kABAddressPOBoxKey,  &kABAddressExtendedKey, &kABAddressStreetKey,
                                               &kABAddressCityKey,   &kABAddressStateKey,    &kABAddressZIPKey,
                                               &kABAddressCountryKey};
        if (value.metaType() != QMetaType::fromType<QVariantMap>())
            return QString();
        const QVariantMap address = value.toMap();
        QString key;
        for (const QString *name : parts) {
            const QString part = storedText(address.value(*name)).simplified();
            if (!part.isEmpty())
                key += *name + u'=' + part.toCaseFolded() + u'\n';
        }
        return key;
    }
    const QString text = storedText(value);
    if (property == kABPhoneProperty) {
        QString digits;
        for (const QChar c : text) {
            if (c.isDigit() || (c == u'+' && digits.isEmpty()))
                digits += c;
        }
        return !digits.isEmpty() && digits != QLatin1String("+") ? digits : text;
    }
    if (property == kABURLsProperty || property == kABHomePageProperty) {
        QString url = text.toCaseFolded();
        while (url.endsWith(u'/'))
            url.chop(1);
        return url;
    }
    return text.toCaseFolded(); // e-mail addresses
}
