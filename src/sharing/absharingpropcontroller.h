#pragma once

#include "sharedgrouplists.h"

#include <QObject>
#include <QPointer>
#include <QSet>
#include <QVariantList>

class ABAddressBook;
class ABGroup;
class ABPerson;
class ABFoldersView;
class GroupTableModel;
class QAbstractItemView;
class QPushButton;
class QTableView;
class QWidget;

// The shared record selection and the group sharing settings ("AB Folders" page).
//
// Holds the two group lists (SharedGroupLists, whose rules `zorbix-cli serve` applies as well).
// A person is shared when one of the groups that hold it directly is shared; a person in no
// group never is. The stored name of a group is the name it had when first listed. The lists are
// read from the settings once; afterwards what the user chose in this run stands for the run,
// also when the settings could not be written.
//
// The constructor builds the page (owned by the controller until the main window takes it with
// view() and gives it a parent) and loads and reconciles the lists (fillABProperties).
class ABSharingPropController : public QObject
{
    Q_OBJECT

public:
    // Uses ABAddressBook::sharedAddressBook().
    explicit ABSharingPropController(QObject *parent = nullptr);
    // A given store; nullptr stands for a store that cannot be opened.
    explicit ABSharingPropController(ABAddressBook *book, QObject *parent = nullptr);
    ~ABSharingPropController() override;

    QWidget *view() const;

    // The store's shared groups: isPeopleInGroups() takes their members. Finding the shared
    // persons through them is far quicker than asking person by person in a large store.
    QList<const ABGroup *> sharedGroupsOfStore() const { return m_lists.sharedGroupsIn(m_book); }
    ABAddressBook *addressBook() const { return m_book; }
    // The selection test, asked once per person and download.
    bool isPeopleInGroups(const ABPerson *person) const;

    // The store, once it has been read (the lists stay as they are and take in its groups).
    void setAddressBook(ABAddressBook *book);
    // Reads the lists from the settings and reconciles them with the store (at start).
    void fillABProperties();
    // After groups were added to the store (an import): they join the not-shared list; the
    // lists in memory are kept, never read again from the settings.
    void takeInNewGroups();
    bool isGroupWithUIDinAB(const QString &uid) const;
    bool groupInAnyTable(const QString &uid) const;

    const QVariantList &sharedGroups() const { return m_lists.shared(); }
    const QVariantList &nonSharedGroups() const { return m_lists.nonShared(); }

    // Table data: rows of the table's list; a row's text is the reference's stored group name.
    int numberOfRowsInTableView(const QAbstractItemView *table) const;
    QString tableViewObjectValue(const QAbstractItemView *table, int column, int row) const;

    QTableView *nonSharedTableOL() const;
    QTableView *sharedTableOL() const;
    QPushButton *shareOneButtonOL() const;
    QPushButton *shareNonOneButtonOL() const;
    QPushButton *shareAllButtonOL() const;
    QPushButton *shareNonButtonOL() const;

public slots:
    // Redraws both tables and writes both lists to the settings.
    void doSaveDefault();
    void doShare();
    void doUnshare();
    void doShareAll();
    void doNonShareAll();

signals:
    void groupListsChanged();

private:
    void awakeFromNib();
    void listsChanged();
    static int selectedRow(const QTableView *table);

    ABAddressBook *m_book;
    SharedGroupLists m_lists;
    QPointer<ABFoldersView> m_view;
    GroupTableModel *m_nonSharedModel = nullptr;
    GroupTableModel *m_sharedModel = nullptr;
};
