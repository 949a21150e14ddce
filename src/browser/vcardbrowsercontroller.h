#pragma once

#include "qfrendezvousclientprotocol.h"
#include "remoteaddressbook.h"
#include "socketaddress.h"

#include <QObject>
#include <QStringList>

#include <memory>
#include <optional>

class QFExchangeClient;
class QFRendezvousClient;
class QModelIndex;
class QWidget;
class StaticServerController;

// The browse window: the shares announced on the network (narrowed by the filter field) and the
// servers entered by hand, one download at a time from either list, the records of the last
// completed download (handed to the windows that work on them), and the sharer's card with its
// mail, web and copy actions.
//
// Connecting, looking up a hand-entered server and receiving all run in the background; the
// window stays responsive, shows what the download does (status line, busy indicator, bytes
// received of the declared total, the connection-state picture) and can cancel it (Esc or the
// Cancel button). A failed download shows the failure picture and one alert; the records, labels
// and card of the last completed download stay.
class vCardBrowserController : public QObject, public RemoteABSource, public QFRendezvousClientProtocol
{
    Q_OBJECT

public:
    // Settings of the window: whether it was open when the application ended, and where it was.
    static const QString kWindowOpenKey;
    static const QString kWindowGeometryKey;

    // Without a rendezvous client or static server list, the shared instances are used.
    explicit vCardBrowserController(QFRendezvousClient *rendezvous = nullptr,
                                    StaticServerController *staticServers = nullptr, QObject *parent = nullptr);
    ~vCardBrowserController() override;

    // The browse window (myWindow); a window of its own that does not keep the application running.
    QWidget *window() const;
    // Opens the window where it was last placed, and raises it.
    void showWindow();
    // Opens the window if it was open when the application last ended.
    void restoreWindow();

    // The windows told after each completed download, in this order: contact detail, quick sync,
    // export. Not owned; a consumer that is a QObject is forgotten when it is destroyed, any other
    // must be unset (nullptr) before it goes.
    void setABBrowserController(RemoteABConsumer *consumer);
    void setQuickSyncController(RemoteABConsumer *consumer);
    void setExportController(RemoteABConsumer *consumer);

    const std::optional<ArchivedRecords> &getRemoteAB() const override;
    QString getSelectedShareName() const override;
    void reloadCurrentService() override;

    void doHandleRendezvousServicesChange(const QList<RendezvousService> &services) override;

    bool isRunningAsyncComm() const;
    // The names the announced-share table shows; absent until the first refilter.
    std::optional<QStringList> filteredServices() const;
    // The download's connection (its timeouts and limits can be set).
    QFExchangeClient &exchangeClient() const;

public slots:
    // Starts a download of the share selected in the announced-share table.
    void serviceClicked();
    // Starts a download of the hand-entered server whose cell was clicked.
    void doSelectNewStaticShare(const QModelIndex &clicked);
    void doLoadStaticShare(const QString &name, const std::optional<SocketAddress> &address);
    void doReloadCurrentStaticShare();
    void loadServiceByAddress(const std::optional<SocketAddress> &address);
    void toggleFilterChange();
    void doSendBussEmail();
    void doSendPrivEmail();
    void doOpenWebpage();
    // Adds the card, as its fields read now, to the address book as a new person.
    void saveToAddressBook();
    // Ends the running download (or server look-up) without an alert; the last records stay.
    void doCancelDownload();

signals:
    // The "Show Records" button: open the contact detail window.
    void showABBrowserRequested();
    // A download attempt is over: completed (the consumers were told), or failed or cancelled.
    void downloadEnded(bool completed);

protected:
    bool eventFilter(QObject *watched, QEvent *event) override;

private:
    struct Private;
    std::unique_ptr<Private> d;
};
