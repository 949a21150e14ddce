#pragma once

#include "flatperson.h"
#include "remoteaddressbook.h"

#include <QObject>
#include <QPointer>
#include <QStringList>
#include <QVariant>

#include <memory>

class ABAddressBook;
class QAbstractItemView;
class QWidget;

// The contact detail window: the names of the downloaded persons on the left, the values of the
// person clicked on the right, one row per value. Reads the records from the share browser
// (getRemoteAB) whenever it shows something and keeps no copy of the list, only the person shown.
//
// The window (window()) is owned by the controller until someone gives it a parent.
class ABBrowserController : public QObject, public RemoteABConsumer
{
    Q_OBJECT

public:
    // Saves into ABAddressBook::sharedAddressBook().
    explicit ABBrowserController(QObject *parent = nullptr);
    // Saves into book; nullptr stands for a store that cannot be opened.
    explicit ABBrowserController(ABAddressBook *book, QObject *parent = nullptr);
    ~ABBrowserController() override;

    QWidget *window() const;
    // The share browser the records come from (vCardBrowserControllerOL).
    void setBrowserController(RemoteABSource *browser);

    // Refreshes the share label and both tables and clears their selections; the person shown
    // stays until the next click.
    void doReloadData(RemoteABSource *sender) override;

    // Table data of both tables.
    int numberOfRowsInTableView(const QAbstractItemView *table) const;
    QString tableViewObjectValue(const QAbstractItemView *table, int column, int row) const;
    // What the find field looks in for the person of a row of the name table.
    QString searchTextOfRow(int row) const;

    const QStringList &personKeys() const;
    const QStringList &personValues() const;

public slots:
    // Rebuilds the values table for the person selected in the name table.
    void showContactDetail();
    // Downloads the current share again, and reloads at once.
    void doReadAgainAndReloadData();
    // Copies the person shown into the local address book, as quick sync copies.
    void doSaveOneRecord();
    // Asks for the export window (exportRequested).
    void doExportToCSV();

signals:
    void exportRequested();

protected:
    bool eventFilter(QObject *watched, QEvent *event) override;

private:
    void showPersonCount();
    void awakeFromNib();
    RemoteABSource *source() const;
    int selectedNameRow() const;
    void saveOne(const FlatPerson &person);

    struct Private;
    std::unique_ptr<Private> d;
};
