#include "abperson.h"

#include "abaddressbook.h"
#include "abglobals.h"
#include "abgroup.h"

#include <QDateTime>
#include <QUuid>

ABPerson::ABPerson() : ABRecord(Kind::Person) {}

std::unique_ptr<ABPerson> ABPerson::create()
{
    std::unique_ptr<ABPerson> person(new ABPerson());
    person->m_uid = QUuid::createUuid().toString(QUuid::WithoutBraces).toLower();
    person->m_values.insert(kABCreationDateProperty, QDateTime::currentDateTimeUtc());
    person->m_dirty.insert(kABUIDProperty);
    return person;
}

QList<ABGroup *> ABPerson::parentGroups() const
{
    QList<ABGroup *> groups;
    const ABAddressBook *book = addressBook();
    if (!book)
        return groups;
    book->rebuildMembership();
    groups = book->m_cardGroupsOfMember.value(ABGroup::normalizedUid(uniqueId()));
    for (const QString &category : m_categories) {
        if (ABGroup *group = book->m_categoryByName.value(category))
            groups.append(group);
    }
    return groups;
}
