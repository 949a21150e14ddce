#include "abrecordhelpers.h"

#include "abaddressbook.h"
#include "abglobals.h"
#include "abgroup.h"
#include "abperson.h"

#include <QSet>

namespace {

// One field of a match key: absent and present values never collide, and the length prefix keeps
// one field from running into the next.
bool appendField(QString &key, const QVariant &value)
{
    if (!value.isValid() || value.isNull()) {
        key += QLatin1String("-|");
        return true;
    }
    if (value.metaType() != QMetaType::fromType<QString>())
        return false;
    const QString text = value.toString();
    key += QString::number(text.size()) + u':' + text + u'|';
    return true;
}

bool matchKey(const QVariant &first, const QVariant &last, const QVariant *organization, QString *key)
{
    key->clear();
    return appendField(*key, first) && appendField(*key, last) && (!organization || appendField(*key, *organization));
}

struct MatchIndex
{
    const ABAddressBook *book = nullptr;
    quint64 revision = 0;
    QSet<QString> firstLastCompany;
    QSet<QString> firstLast;

    void refresh(const ABAddressBook *current)
    {
        if (book == current && revision == current->revision())
            return;
        book = current;
        revision = current->revision();
        firstLastCompany.clear();
        firstLast.clear();
        QString key;
        for (const ABPerson *person : current->people()) {
            const QVariant first = person->valueForProperty(kABFirstNameProperty);
            const QVariant last = person->valueForProperty(kABLastNameProperty);
            const QVariant organization = person->valueForProperty(kABOrganizationProperty);
            if (matchKey(first, last, &organization, &key))
                firstLastCompany.insert(key);
            if (matchKey(first, last, nullptr, &key))
                firstLast.insert(key);
        }
    }
};

MatchIndex &matchIndex()
{
    static MatchIndex index;
    return index;
}

} // namespace

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
    QString key;
    const bool withCompany = matchType == vCardFirstLastCompany;
    if (!matchKey(first, last, withCompany ? &organization : nullptr, &key))
        return false;
    MatchIndex &index = matchIndex();
    index.refresh(book);
    return withCompany ? index.firstLastCompany.contains(key) : index.firstLast.contains(key);
}
