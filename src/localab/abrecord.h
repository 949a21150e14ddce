#pragma once

#include "abfilestamp.h"

#include <QSet>
#include <QString>
#include <QStringList>
#include <QVariantMap>

#include <memory>

class ABAddressBook;
struct VCard;

// A person or a group of the store: named properties (names from abglobals.h). Records are owned
// by their ABAddressBook once added; before that by whoever created them.
//
// Kinds of values: texts are QString, dates (Birthday, Creation, Modification) are QDateTime in
// UTC (a birthday is noon UTC of its day; year 1604 means "year not known"), multi-valued
// properties (Email, Phone, Address, URLs) are ABMultiValue.
class ABRecord
{
public:
    enum class Kind { Person, Group };

    virtual ~ABRecord();
    ABRecord(const ABRecord &) = delete;
    ABRecord &operator=(const ABRecord &) = delete;

    Kind kind() const { return m_kind; }
    bool isGroup() const { return m_kind == Kind::Group; }

    // A null QVariant when unset.
    QVariant valueForProperty(const QString &property) const;
    // Sets a value (a null QVariant removes it). A multi-valued property takes an ABMultiValue or
    // the travelling form (QVariantList of one-pair maps); entries of the wrong kind are dropped.
    // Returns false for an unknown property, a value of the wrong kind, or a new UID on a record
    // that is already in a store.
    bool setValue(const QVariant &value, const QString &property);

    // Every value but the UID, by property name, multi-values in the travelling form (a
    // QVariantList of one-pair maps): exactly what a FlatPerson holds. No value is null and no
    // list is empty.
    const QVariantMap &travellingValues() const { return m_values; }

    QString uniqueId() const;
    // The store this record belongs to; nullptr before ABAddressBook::addRecord.
    ABAddressBook *addressBook() const { return m_book; }
    // The file that holds the record inside the store's directory; empty before the first save.
    QString fileName() const { return m_fileName; }
    bool hasUnsavedChanges() const { return !m_dirty.isEmpty(); }

    // Every property name this kind of record knows.
    static QStringList propertiesOf(Kind kind);

protected:
    explicit ABRecord(Kind kind);

private:
    friend class ABAddressBook;
    friend class ABCardMapper;
    friend class ABGroup;
    friend class ABPerson;
    friend class ABImporter;
    friend class ABStoreCache;

    // Before the first change of a key since the record was read or saved: keeps its value then,
    // so that a save can write the change as an edit of the lines it touches.
    void rememberOriginal(const QString &key);
    void markDirty(const QString &key);
    // The current value of a key: a property, or the internal membership keys below.
    QVariant keyValue(const QString &key) const;
    // Whether any changed key holds another value than when the record was read or saved.
    bool differsFromDisk() const;

    Kind m_kind;
    QString m_uid;
    QVariantMap m_values;     // never the UID; multi-values as QVariantList
    QSet<QString> m_dirty;    // property names (and the internal keys below) changed since load
    QVariantMap m_original;   // changed keys: their value as read or saved (no entry: absent)
    QStringList m_categories; // person: CATEGORIES, the names of its category groups
    QStringList m_memberRefs; // card group: members as written ("urn:uuid:<UID>")
    int m_groupForm = 0;      // ABGroup::Form
    ABAddressBook *m_book = nullptr;
    QString m_fileName;
    QByteArray m_diskDigest;                   // digest of the file as last read or written
    ABFileStamp m_diskStamp;                   // the file's stamp then
    std::shared_ptr<const VCard> m_sourceCard; // new imported record: the card it came from
};

// Internal change keys for membership, beside the property names.
inline const QString kABCategoriesKey = QStringLiteral("\x01"
                                                       "categories");
inline const QString kABMembersKey = QStringLiteral("\x01"
                                                    "members");
