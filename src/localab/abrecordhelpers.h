#pragma once

#include "flatperson.h"

#include <QString>
#include <QVariant>

class ABAddressBook;

// Which properties decide that two persons are the same.
enum vCardMatchType : qint32 {
    vCardFirstLastCompany = 0, // first name, last name and organization
    vCardFirstLast = 1,        // first name and last name
};

// Helpers over downloaded records (FlatPerson) and the local store. Records may come from a peer
// and break the format: nothing here assumes the kind of a value.
class ABRecordHelpers
{
public:
    ABRecordHelpers() = delete;

    // The value of the first entry of a multi-value (list of LabeledValue) whose label equals
    // label exactly; a null QVariant when there is none, when label is null, or when list is not
    // a list. Entries that are not one-pair dictionaries are passed over.
    static QVariant getValueForLabel(const QString &label, const QVariant &list);

    // The dictionary's values in the ascending (case-sensitive) order of their keys, joined by
    // ", ". A value that is not text contributes its text form (empty for lists and maps).
    static QString dictValues2String(const QVariantMap &dictionary);

    // True when the store holds at least one group; false for a null store.
    static bool ABHasGroups(const ABAddressBook *book);

    // True when a person of the store matches the downloaded person: first and last name (and
    // organization for vCardFirstLastCompany) are each both absent or both present with exactly
    // equal texts. A value of the downloaded person that is not text equals nothing. Any other
    // match type, or a null store, gives false. Answered from the store's name index, which
    // follows every addition and change, so records added between calls are seen.
    static bool isFlatPersonInAB(const FlatPerson &person, qint32 matchType, const ABAddressBook *book);
};
