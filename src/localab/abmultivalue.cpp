#include "abmultivalue.h"

QString ABMultiValue::labelAtIndex(int index) const
{
    if (index < 0 || index >= count())
        return QString();
    const QVariantMap pair = m_entries.at(index).toMap();
    return pair.isEmpty() ? QString() : pair.firstKey();
}

QVariant ABMultiValue::valueAtIndex(int index) const
{
    if (index < 0 || index >= count())
        return QVariant();
    const QVariantMap pair = m_entries.at(index).toMap();
    return pair.isEmpty() ? QVariant() : pair.first();
}

void ABMultiValue::addValue(const QVariant &value, const QString &label)
{
    if (label.isNull() || !value.isValid() || value.isNull())
        m_complete = false;
    // Filled in place: a list to build it from would copy the label and the value once more.
    QVariantMap pair;
    pair.insert(label, value);
    m_entries.append(QVariant(pair));
}

QVariantList ABMultiValue::toLabeledValues() const
{
    if (m_complete)
        return m_entries;
    QVariantList list;
    for (int i = 0; i < count(); ++i) {
        const QString label = labelAtIndex(i);
        const QVariant value = valueAtIndex(i);
        if (!label.isNull() && value.isValid() && !value.isNull())
            list.append(m_entries.at(i));
    }
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
        // The entry is already a one-pair map: shared, not built again.
        const QVariant &value = pair.first();
        if (pair.firstKey().isNull() || !value.isValid() || value.isNull())
            multi.m_complete = false;
        multi.m_entries.append(item);
    }
    return multi;
}

bool ABMultiValue::isMultiValue(const QVariant &value)
{
    return value.metaType() == QMetaType::fromType<ABMultiValue>();
}

ABMultiValue ABMultiValue::fromVariant(const QVariant &value)
{
    if (isMultiValue(value))
        return value.value<ABMultiValue>();
    if (value.metaType() == QMetaType::fromType<QVariantList>())
        return fromLabeledValues(value.toList());
    return ABMultiValue();
}
