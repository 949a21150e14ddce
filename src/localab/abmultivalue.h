#pragma once

#include <QList>
#include <QMetaType>
#include <QPair>
#include <QString>
#include <QVariant>

// An ordered list of (label, value) entries: e-mail addresses, phone numbers, URLs (values are
// texts) and postal addresses (values are QVariantMaps of texts keyed "Street", "City", ...).
// ABRecord::valueForProperty returns it inside a QVariant; isMultiValue() tells it apart.
class ABMultiValue
{
public:
    ABMultiValue() = default;

    int count() const { return static_cast<int>(m_entries.size()); }
    // Index out of range gives a null QString / null QVariant.
    QString labelAtIndex(int index) const;
    QVariant valueAtIndex(int index) const;
    void addValue(const QVariant &value, const QString &label);

    // The travelling form: a QVariantList of one-pair QVariantMaps {label: value}. Entries
    // without a label (null QString) or without a value are left out.
    QVariantList toLabeledValues() const;
    // Builds from the travelling form; entries that are not one-pair maps are left out.
    static ABMultiValue fromLabeledValues(const QVariantList &list);

    static bool isMultiValue(const QVariant &value);
    // An ABMultiValue, or a travelling-form list; empty for anything else.
    static ABMultiValue fromVariant(const QVariant &value);

    bool operator==(const ABMultiValue &other) const { return m_entries == other.m_entries; }

private:
    friend class ABRecord;
    // Kept in the travelling form, so that handing it out costs nothing.
    QVariantList m_entries;
    bool m_complete = true; // every entry has a label and a value
};

Q_DECLARE_METATYPE(ABMultiValue)
