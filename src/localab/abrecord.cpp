#include "abrecord.h"

#include "abaddressbook.h"
#include "abglobals.h"
#include "abmultivalue.h"

#include <QDateTime>
#include <QTimeZone>

namespace {

bool isDateProperty(const QString &property)
{
    return property == kABBirthdayProperty || property == kABCreationDateProperty ||
           property == kABModificationDateProperty;
}

bool isMultiProperty(const QString &property)
{
    return property == kABEmailProperty || property == kABPhoneProperty || property == kABAddressProperty ||
           property == kABURLsProperty;
}

// Keeps only entries whose value the file can hold: texts, or for addresses maps of texts.
ABMultiValue sanitized(const ABMultiValue &in, bool address)
{
    ABMultiValue out;
    for (int i = 0; i < in.count(); ++i) {
        const QVariant value = in.valueAtIndex(i);
        if (address) {
            if (value.metaType() != QMetaType::fromType<QVariantMap>())
                continue;
            QVariantMap parts;
            const QVariantMap map = value.toMap();
            for (auto it = map.cbegin(); it != map.cend(); ++it) {
                if (it.value().metaType() == QMetaType::fromType<QString>() &&
                    !it.value().toString().isEmpty())
                    parts.insert(it.key(), it.value());
            }
            if (!parts.isEmpty())
                out.addValue(parts, in.labelAtIndex(i));
        } else if (value.metaType() == QMetaType::fromType<QString>()) {
            out.addValue(value, in.labelAtIndex(i));
        }
    }
    return out;
}

} // namespace

ABRecord::ABRecord(Kind kind) : m_kind(kind) {}

ABRecord::~ABRecord() = default;

QStringList ABRecord::propertiesOf(Kind kind)
{
    // Asked at every setValue: made once.
    static const QStringList group{kABUIDProperty, kABGroupNameProperty, kABCreationDateProperty,
                                   kABModificationDateProperty};
    static const QStringList person = ABAddressBook::properties() + QStringList{kABUIDProperty};
    return kind == Kind::Group ? group : person;
}

QVariant ABRecord::valueForProperty(const QString &property) const
{
    if (property == kABUIDProperty)
        return m_uid.isNull() ? QVariant() : QVariant(m_uid);
    const QVariant value = m_values.value(property);
    if (value.metaType() == QMetaType::fromType<QVariantList>()) {
        ABMultiValue multi;
        multi.m_entries = value.toList(); // stored complete; shared, not copied
        return QVariant::fromValue(multi);
    }
    return value;
}

QString ABRecord::uniqueId() const
{
    return m_uid;
}

bool ABRecord::setValue(const QVariant &value, const QString &property)
{
    if (!propertiesOf(m_kind).contains(property))
        return false;
    if (property == kABUIDProperty && m_book)
        return false; // identity of a stored record: membership refers to it
    if (property == kABGroupNameProperty && m_groupForm == 2 /* category */)
        return false; // its name is in every member's card; not renamed from here
    QVariant stored;
    if (!value.isNull() && value.isValid()) {
        if (isDateProperty(property)) {
            if (value.metaType() == QMetaType::fromType<QDateTime>() && value.toDateTime().isValid())
                stored = value.toDateTime().toUTC();
            else if (value.metaType() == QMetaType::fromType<QDate>() && value.toDate().isValid())
                stored = QDateTime(value.toDate(), QTime(12, 0), Qt::UTC);
            else
                return false;
        } else if (isMultiProperty(property)) {
            ABMultiValue multi;
            if (ABMultiValue::isMultiValue(value))
                multi = value.value<ABMultiValue>();
            else if (value.metaType() == QMetaType::fromType<QVariantList>())
                multi = ABMultiValue::fromLabeledValues(value.toList());
            else
                return false;
            const QVariantList entries = sanitized(multi, property == kABAddressProperty).toLabeledValues();
            if (!entries.isEmpty())
                stored = entries;
        } else {
            if (value.metaType() != QMetaType::fromType<QString>())
                return false;
            stored = value;
            if (property == kABUIDProperty && value.toString().trimmed().isEmpty())
                return false;
        }
    }
    if (property == kABUIDProperty) {
        if (stored.isNull())
            return false;
        m_uid = stored.toString();
        markDirty(property);
        return true;
    }
    rememberOriginal(property);
    const bool name = property == kABFirstNameProperty || property == kABLastNameProperty ||
                      property == kABOrganizationProperty;
    if (name && m_book)
        m_book->indexNames(this, -1);
    if (stored.isNull())
        m_values.remove(property);
    else
        m_values.insert(property, stored);
    if (name && m_book)
        m_book->indexNames(this, 1);
    markDirty(property);
    return true;
}

QVariant ABRecord::keyValue(const QString &key) const
{
    if (key == kABCategoriesKey)
        return m_categories.isEmpty() ? QVariant() : QVariant(m_categories);
    if (key == kABMembersKey)
        return m_memberRefs.isEmpty() ? QVariant() : QVariant(m_memberRefs);
    if (key == kABUIDProperty)
        return m_uid.isNull() ? QVariant() : QVariant(m_uid);
    return m_values.value(key);
}

void ABRecord::rememberOriginal(const QString &key)
{
    if (m_dirty.contains(key))
        return;
    const QVariant value = keyValue(key);
    if (!value.isNull())
        m_original.insert(key, value);
}

bool ABRecord::differsFromDisk() const
{
    return std::any_of(m_dirty.cbegin(), m_dirty.cend(),
                       [this](const QString &key) { return keyValue(key) != m_original.value(key); });
}

void ABRecord::markDirty(const QString &key)
{
    m_dirty.insert(key);
    if (m_book)
        m_book->recordChanged(this);
}
