#pragma once

#include "flatperson.h"

#include <QString>
#include <QStringList>
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

    // True when a person of the store matches the downloaded person (see matchKey). A person
    // without a name matches only a person without a name that shares an e-mail address or a
    // phone number with it (contactKeys). Any other match type, or a null store, gives false.
    // Names are answered from the store's name index, which follows every addition and change;
    // persons without a name are looked for one by one.
    static bool isFlatPersonInAB(const FlatPerson &person, qint32 matchType, const ABAddressBook *book);

    // A text as the store gives it back: line ends as LF, no surrounding blanks. Empty for a
    // value that is not text (the store keeps none of those).
    static QString storedText(const QVariant &value);
    // The key that two persons of the same name share under matchType: first and last name, and
    // for vCardFirstLastCompany the organization, each compared as storedText gives it (letter
    // case counts; an empty name is no name). Null when the person has none of these names, or
    // for an unknown match type: such a person has no name to match on.
    static QString matchKey(const QVariantMap &values, qint32 matchType);
    // The e-mail addresses and phone numbers of a person as comparableEntry gives them, each
    // prefixed by its kind: what tells persons without a name apart.
    static QStringList contactKeys(const QVariantMap &values);
    // The form in which two entries of a multi-value are the same: e-mail addresses and links
    // without regard to letter case and surrounding blanks (links also without trailing
    // slashes), phone numbers by their digits and a leading "+", postal addresses part by part
    // (only the parts the store keeps) without regard to case and runs of blanks. Empty when the
    // entry holds nothing the store keeps.
    static QString comparableEntry(const QString &property, const QVariant &value);
};
