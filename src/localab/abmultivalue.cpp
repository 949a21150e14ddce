#include "abmultivalue.h"

QString ABMultiValue::labelAtIndex(int index) const
{
    if (index < 0 || index >= count())
        return QString();
    return m_entries.at(index).first;
}

QVariant ABMultiValue::valueAtIndex(int index) const
{
    if (index < 0 || index >= count())
        return QVariant();
    return m_entries.at(index).second;
}

void ABMultiValue::addValue(const QVariant &value, const QString &label)
{
    m_entries.append({label, value});
}

QVariantList ABMultiValue::toLabeledValues() const
{
    QVariantList list;
    list.reserve(m_entries.size());
    for (const auto &entry : m_entries)
        list.append(QVariantMap{{entry.first, entry.second}});
    return list;
}

ABMultiValue ABMultiValue::fromLabeledValues(const QVariantList &list)
{
    ABMultiValue multi;
    for (const QVariant &item : list) {
        if (item.metaType() != QMetaType::fromType<QVariantMap>())
            continue;
        const QVariantMap pair = item.toMap();
        if (pair.size() != 1)
            continue;
        multi.addValue(pair.first(), pair.firstKey());
    }
    return multi;
}

bool ABMultiValue::isMultiValue(const QVariant &value)
{
    return value.metaType() == QMetaType::fromType<ABMultiValue>();
}

ABMultiValue ABMultiValue::fromVariant(const QVariant &value)
{
    return isMultiValue(value) ? value.value<ABMultiValue>() : ABMultiValue();
}
