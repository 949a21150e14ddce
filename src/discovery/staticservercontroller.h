#pragma once

#include "socketaddress.h"

#include <QObject>
#include <QPointer>
#include <QString>
#include <QStringList>
#include <QVariantList>

#include <optional>

class QDialog;
class QLineEdit;
class QPushButton;
class QTableView;
class QWidget;
class StaticServerTableModel;

// The servers the user entered by hand: a name of his choosing, a host and a TCP port each.
// Keeps the list in the settings ("zorbixSiteList"), rewritten and synced after every change;
// shows it in the server table of the preferences (preferencesView()) and in the static table of
// the browse view (getStaticServerBrowserTable()); turns a server name into an address to connect to.
//
// Creating the controller loads the list and makes it the shared instance. It owns its widgets
// until somebody places them: put preferencesView() into the Preferences window and the browse
// table beside the share list.
class StaticServerController : public QObject
{
    Q_OBJECT

public:
    static const QString kSiteListKey;  // "zorbixSiteList"
    static const QString kServerName;   // "siteServerName"
    static const QString kServerIP;     // "siteServerIP"
    static const QString kServerPort;   // "siteServerPort"
    static const QString kNoValue;      // "- no value -"
    static const QString kUnknownValue; // "???"

    explicit StaticServerController(QObject *parent = nullptr);
    ~StaticServerController() override;

    static StaticServerController *sharedInstance();

    void loadFromDefaults();
    // False (after telling the user) when the settings could not be written.
    bool saveToDefaults();
    void reloadAllTables();

    // The server table with its Add, Remove and Remove All buttons.
    QWidget *preferencesView() const;
    QDialog *addStaticWindow() const;
    QTableView *serversTable() const;
    QTableView *getStaticServerBrowserTable() const;
    StaticServerTableModel *serversTableModel() const;
    StaticServerTableModel *browserTableModel() const;

    // Data source of both tables.
    int numberOfRowsInTableView() const;
    QString objectValueForTableColumn(const QString &columnIdentifier, int row) const;

    QStringList listOfSiteNames() const;
    const QVariantList &sites() const { return sitesList; }
    // Walks the entries of that name in order and gives the first whose host resolves (blocking),
    // with the port taken modulo 65536. None: the "BR_DNSError" alert, and nothing.
    std::optional<SocketAddress> getAddressForName(const QString &name) const;
    bool isServerInShareBrowserSelected() const;
    void deselectStaticServerInBrowserTable();
    // The name of the entry at that row; empty outside the list.
    QString getServerNameUsingIndex(int row) const;

    // The port text as a number the way the list reads it: leading digits (with sign) as a
    // 32-bit integer, reduced modulo 65536; no leading digits give 0.
    static quint16 portFromText(const QString &text);

public slots:
    void doOpenAddWindow();
    void doAssignServer();
    void doRemoveServer();
    void doClearServerList();
    void doUpdateControls(QObject *control);
    void tableViewSortDescriptorsDidChange(QTableView *table);

signals:
    // After every change of the list (the place where a shares menu would rebuild itself).
    void doFillSharesMenu(StaticServerController *controller);

private:
    void changed();
    int selectedRow(const QTableView *table) const;

    QPointer<QWidget> preferencesViewOL;
    QPointer<QDialog> addStaticWindowOL;
    QPushButton *assignServerButtonOL = nullptr;
    QPushButton *removeButtonOL = nullptr;
    QPushButton *addButtonOL = nullptr;
    QPushButton *clearButtonOL = nullptr;
    QLineEdit *serverIPOL = nullptr;
    QLineEdit *serverNameOL = nullptr;
    QLineEdit *serverPortOL = nullptr;
    QTableView *serversTableOL = nullptr;
    QPointer<QTableView> staticServerShareBrowserTableOL;
    StaticServerTableModel *serversModel = nullptr;
    StaticServerTableModel *browserModel = nullptr;
    QVariantList sitesList;
};
