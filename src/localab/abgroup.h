#pragma once

#include "abrecord.h"

#include <QList>

#include <memory>

class ABPerson;

// A group: a UID and a name (GroupName). Three forms exist in files; each keeps its own form when
// membership changes.
class ABGroup final : public ABRecord
{
public:
    enum Form {
        AppleCard = 0, // X-ADDRESSBOOKSERVER-KIND:group + X-ADDRESSBOOKSERVER-MEMBER (new groups)
        KindCard = 1,  // vCard 4.0 KIND:group + MEMBER
        Category = 2,  // a name in members' CATEGORIES; no file of its own
    };

    // A new, empty Apple-form group with a fresh UID, not yet in a store.
    static std::unique_ptr<ABGroup> create();

    Form form() const { return static_cast<Form>(m_groupForm); }
    QString name() const;
    // Persons of the store that this group holds directly, in the store's order.
    QList<ABPerson *> members() const;
    // Adds a person (that has a UID); false when it is already a member or the person is null.
    // A card group lists the member on its card; a category group writes its name into the
    // member's CATEGORIES.
    bool addMember(ABPerson *person);
    // The same for many persons, in their order, looking at the present members once; returns
    // how many were added.
    int addMembers(const QList<ABPerson *> &persons);
    // A card group only: adds members by UID (persons the store may no longer hold in memory, see
    // ABAddressBook::release); returns how many were added, 0 for a category group.
    int addMemberUids(const QStringList &uids);

    // UIDs are compared without a "urn:uuid:" prefix and without regard to letter case.
    static QString normalizedUid(const QString &uid);
    // The UID of the category group of that name (stable across runs and machines).
    static QString categoryUid(const QString &name);

private:
    friend class ABCardMapper;
    friend class ABStoreCache;
    friend class ABAddressBook;
    ABGroup();
};
