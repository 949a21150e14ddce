#pragma once

#include "abrecord.h"

#include <QList>

#include <memory>

class ABGroup;

class ABPerson final : public ABRecord
{
public:
    // A new, empty person with a fresh UID, not yet in a store (ABAddressBook::addRecord).
    static std::unique_ptr<ABPerson> create();

    // The groups that hold this person directly: card groups that list its UID and the category
    // groups named in its CATEGORIES. Empty while the person is in no store.
    QList<ABGroup *> parentGroups() const;
    // The names in the person's CATEGORIES.
    QStringList categories() const { return m_categories; }

private:
    friend class ABCardMapper;
    friend class ABStoreCache;
    ABPerson();
};
