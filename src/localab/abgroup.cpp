#include "abgroup.h"

#include "abaddressbook.h"
#include "abglobals.h"
#include "abperson.h"

#include <QDateTime>
#include <QSet>
#include <QUuid>

#include <algorithm>

ABGroup::ABGroup() : ABRecord(Kind::Group) {}

std::unique_ptr<ABGroup> ABGroup::create()
{
    std::unique_ptr<ABGroup> group(new ABGroup());
    group->m_groupForm = AppleCard;
    group->m_uid = QUuid::createUuid().toString(QUuid::WithoutBraces).toLower();
    group->m_values.insert(kABGroupNameProperty, QString());
    group->m_values.insert(kABCreationDateProperty, QDateTime::currentDateTimeUtc());
    group->m_dirty.insert(kABUIDProperty);
    return group;
}

QString ABGroup::name() const
{
    return valueForProperty(kABGroupNameProperty).toString();
}

QString ABGroup::normalizedUid(const QString &uid)
{
    QStringView view(uid);
    view = view.trimmed();
    // The first letter first: a person's identifier seldom starts like a member's "urn:uuid:".
    if (!view.isEmpty() && (view.front() == u'u' || view.front() == u'U') &&
        view.startsWith(QLatin1String("urn:uuid:"), Qt::CaseInsensitive))
        view = view.mid(9);
    // Most identifiers are in this form already: then the text is shared, not copied (the
    // membership index normalizes every person's and every member's identifier).
    const bool lowerAscii = std::all_of(view.cbegin(), view.cend(), [](QChar c) {
        return c.unicode() < 0x80 && !(c.unicode() >= u'A' && c.unicode() <= u'Z');
    });
    if (lowerAscii)
        return view.size() == uid.size() ? uid : view.toString(); // without a member's "urn:uuid:"
    return view.toString().toLower();
}

QString ABGroup::categoryUid(const QString &name)
{
    static const QUuid ns(QStringLiteral("{5b0c7e1a-3f0e-4d5c-9a41-2f6d7c1e8b90}"));
    return QUuid::createUuidV5(ns, name).toString(QUuid::WithoutBraces).toLower();
}

QList<ABPerson *> ABGroup::members() const
{
    const ABAddressBook *book = addressBook();
    if (!book)
        return {};
    book->rebuildMembership();
    return book->m_membersOfGroup.value(this);
}

bool ABGroup::addMember(ABPerson *person)
{
    if (!person || person->uniqueId().isEmpty())
        return false;
    if (form() == Category) {
        if (person->m_categories.contains(name()))
            return false;
        person->rememberOriginal(kABCategoriesKey);
        person->m_categories.append(name());
        person->markDirty(kABCategoriesKey);
        if (ABAddressBook *book = addressBook())
            book->recordChanged(this);
        return true;
    }
    const QString uid = normalizedUid(person->uniqueId());
    for (const QString &ref : std::as_const(m_memberRefs)) {
        if (normalizedUid(ref) == uid)
            return false;
    }
    const QString personUid = person->uniqueId();
    rememberOriginal(kABMembersKey);
    m_memberRefs.append(personUid.startsWith(QLatin1String("urn:"), Qt::CaseInsensitive)
                            ? personUid
                            : QStringLiteral("urn:uuid:") + personUid);
    markDirty(kABMembersKey);
    return true;
}

int ABGroup::addMembers(const QList<ABPerson *> &persons)
{
    int added = 0;
    if (form() == Category) {
        for (ABPerson *person : persons)
            added += addMember(person) ? 1 : 0;
        return added;
    }
    QStringList uids;
    uids.reserve(persons.size());
    for (const ABPerson *person : persons) {
        if (person)
            uids.append(person->uniqueId());
    }
    return addMemberUids(uids);
}

int ABGroup::addMemberUids(const QStringList &uids)
{
    if (form() == Category)
        return 0;
    int added = 0;
    QSet<QString> present;
    for (const QString &ref : std::as_const(m_memberRefs))
        present.insert(normalizedUid(ref));
    for (const QString &personUid : uids) {
        if (personUid.isEmpty())
            continue;
        const QString uid = normalizedUid(personUid);
        if (present.contains(uid))
            continue;
        present.insert(uid);
        rememberOriginal(kABMembersKey);
        m_memberRefs.append(personUid.startsWith(QLatin1String("urn:"), Qt::CaseInsensitive)
                                ? personUid
                                : QStringLiteral("urn:uuid:") + personUid);
        ++added;
    }
    if (added > 0)
        markDirty(kABMembersKey);
    return added;
}
