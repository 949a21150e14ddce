#include "sharedgrouplists.h"

#include "abaddressbook.h"
#include "abglobals.h"
#include "abgroup.h"
#include "abperson.h"
#include "settingssync.h"

#include <QSettings>

const QString SharedGroupLists::SharedKey = QStringLiteral("sharedGroups");
const QString SharedGroupLists::NonSharedKey = QStringLiteral("nonSharedGroups");

namespace {

// Settings written by hand or by an older version may hold anything: only dictionaries with a
// text UID are group references.
QVariantList groupReferences(const QVariant &stored)
{
    QVariantList references;
    const QVariantList items = stored.toList();
    for (const QVariant &item : items) {
        if (item.metaType() != QMetaType::fromType<QVariantMap>())
            continue;
        const QVariantMap map = item.toMap();
        const QVariant uid = map.value(kABUIDProperty);
        if (uid.metaType() != QMetaType::fromType<QString>() || uid.toString().isEmpty())
            continue;
        references.append(QVariantMap{{kABUIDProperty, uid.toString()},
                                      {kABGroupNameProperty, map.value(kABGroupNameProperty).toString()}});
    }
    return references;
}

QString uidOf(const QVariant &reference)
{
    return reference.toMap().value(kABUIDProperty).toString();
}

bool move(QVariantList &from, QVariantList &to, qsizetype row)
{
    if (row < 0 || row >= from.size())
        return false;
    to.append(from.takeAt(row));
    return true;
}

} // namespace

void SharedGroupLists::read(const QSettings &settings)
{
    if (settings.contains(SharedKey) && settings.contains(NonSharedKey)) {
        m_shared = groupReferences(settings.value(SharedKey));
        m_nonShared = groupReferences(settings.value(NonSharedKey));
    } else {
        m_shared.clear();
        m_nonShared.clear();
    }
    updateSharedUids();
}

bool SharedGroupLists::reconcile(const ABAddressBook *book)
{
    if (!book || !book->isOpen())
        return false;
    const auto gone = [book](const QVariant &reference) { return !storeHasGroup(book, uidOf(reference)); };
    m_shared.removeIf(gone);
    m_nonShared.removeIf(gone);
    for (const ABGroup *group : book->groups()) {
        const QString uid = group->uniqueId();
        if (!contains(uid))
            m_nonShared.append(QVariantMap{{kABUIDProperty, uid}, {kABGroupNameProperty, group->name()}});
    }
    updateSharedUids();
    return true;
}

bool SharedGroupLists::write(QSettings &settings) const
{
    settings.setValue(SharedKey, m_shared);
    settings.setValue(NonSharedKey, m_nonShared);
    return syncSettings(settings);
}

bool SharedGroupLists::isShared(const ABPerson *person) const
{
    if (!person || m_sharedUids.isEmpty())
        return false;
    const QList<ABGroup *> parents = person->parentGroups();
    for (const ABGroup *group : parents) {
        if (m_sharedUids.contains(group->uniqueId()))
            return true;
    }
    return false;
}

QList<const ABGroup *> SharedGroupLists::sharedGroupsIn(const ABAddressBook *book) const
{
    QList<const ABGroup *> groups;
    if (!book || m_sharedUids.isEmpty())
        return groups;
    for (const ABGroup *group : book->groups()) {
        if (m_sharedUids.contains(group->uniqueId()))
            groups.append(group);
    }
    return groups;
}

bool SharedGroupLists::contains(const QString &uid) const
{
    for (const QVariantList *list : {&m_shared, &m_nonShared}) {
        for (const QVariant &reference : *list) {
            if (uidOf(reference) == uid)
                return true;
        }
    }
    return false;
}

bool SharedGroupLists::storeHasGroup(const ABAddressBook *book, const QString &uid)
{
    if (!book || !book->isOpen())
        return false;
    const QList<ABGroup *> groups = book->groups();
    return std::any_of(groups.cbegin(), groups.cend(), [&uid](const ABGroup *group) { return group->uniqueId() == uid; });
}

bool SharedGroupLists::share(qsizetype row)
{
    const bool moved = move(m_nonShared, m_shared, row);
    updateSharedUids();
    return moved;
}

bool SharedGroupLists::unshare(qsizetype row)
{
    const bool moved = move(m_shared, m_nonShared, row);
    updateSharedUids();
    return moved;
}

void SharedGroupLists::shareAll()
{
    m_shared.append(std::exchange(m_nonShared, {}));
    updateSharedUids();
}

void SharedGroupLists::unshareAll()
{
    m_nonShared.append(std::exchange(m_shared, {}));
    updateSharedUids();
}

void SharedGroupLists::updateSharedUids()
{
    m_sharedUids.clear();
    for (const QVariant &reference : std::as_const(m_shared))
        m_sharedUids.insert(uidOf(reference));
}
