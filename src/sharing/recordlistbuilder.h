#pragma once

#include "flatperson.h"

#include <QStringList>

#include <functional>

class ABAddressBook;
class ABGroup;
class ABPerson;
class ABSharingPropController;

// Builds the record list that a download carries ("ABData"): one FlatPerson per shared person,
// in the store's order. Nothing is cached; every call reads the store afresh.
//
// - Keys are the store's person property names, then those of Middle, MiddlePhonetic, Title,
//   Suffix, Nickname, MaidenName that the list lacks; each is read once per person.
// - A multi-value becomes a list of one-pair {label: value} maps in entry order; an empty one,
//   and entries without a label or value, are left out.
// - Single values pass unchanged, kind included; an empty text stays an empty text.
// - A person with no value at all is left out. Groups never travel.
class RecordListBuilder
{
public:
    RecordListBuilder() = delete;

    using SelectionTest = std::function<bool(const ABPerson *)>;

    // The usual call: the store and the group sharing settings' selection test.
    static RecordList build(const ABAddressBook *book, const ABSharingPropController &selection);
    static RecordList build(const ABAddressBook *book, const SelectionTest &isShared);
    // With an explicit list of property names in place of the store's.
    static RecordList build(const ABAddressBook *book, QStringList propertyNames,
                            const SelectionTest &isShared);

    // build() in two steps, so that the second can run off the store's thread: the values of the
    // shared persons (shared with the store, not copied), then the list made from them.
    static QList<QVariantMap> sharedValues(const ABAddressBook *book, const SelectionTest &isShared);
    // The same for the persons that one of the groups holds directly (each once, in the store's
    // order), found through the groups' members rather than by a look at every person.
    static QList<QVariantMap> sharedValues(const ABAddressBook *book, const QList<const ABGroup *> &sharedGroups);
    static RecordList fromValues(const QList<QVariantMap> &values, QStringList propertyNames);

    // The property names after the six extra ones are appended (each at most once).
    static QStringList propertySet(QStringList propertyNames);
};
