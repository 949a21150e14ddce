#pragma once

#include <QSet>
#include <QVariantList>

class ABAddressBook;
class ABGroup;
class ABPerson;
class QSettings;

// The two group lists of the shared record selection and the rules that keep them: group
// references (QVariantMap {"UID": text, "GroupName": text}) under "sharedGroups" and
// "nonSharedGroups" in the settings, read both or neither, brought in line with the store, and
// the test whether a person is shared. The desktop's group settings and `zorbix-cli serve` both
// decide through this class, so they always share the same persons.
class SharedGroupLists
{
public:
    static const QString SharedKey;
    static const QString NonSharedKey;

    // Reads both lists. When either key is missing both start empty (nothing is shared); entries
    // that are not a dictionary with a non-empty text UID are dropped.
    void read(const QSettings &settings);
    // References to groups the store no longer has leave both lists; groups of the store in
    // neither list are appended, in the store's order, as not shared. False, with the lists left
    // as they are, when the store is unavailable.
    bool reconcile(const ABAddressBook *book);
    // Writes both lists whole and syncs; false when the settings could not be written.
    bool write(QSettings &settings) const;

    // A person is shared when a group that holds it directly is shared (exact UID equality).
    bool isShared(const ABPerson *person) const;
    // The store's groups that are shared, in the store's order: a person is shared when one of
    // them holds it directly.
    QList<const ABGroup *> sharedGroupsIn(const ABAddressBook *book) const;
    bool contains(const QString &uid) const;
    static bool storeHasGroup(const ABAddressBook *book, const QString &uid);

    const QVariantList &shared() const { return m_shared; }
    const QVariantList &nonShared() const { return m_nonShared; }
    // Moves references between the lists: one by row, or all, appended in their order.
    bool share(qsizetype row);
    bool unshare(qsizetype row);
    void shareAll();
    void unshareAll();

private:
    void updateSharedUids();

    QVariantList m_shared;
    QVariantList m_nonShared;
    QSet<QString> m_sharedUids; // identifiers of m_shared, for the selection test
};
