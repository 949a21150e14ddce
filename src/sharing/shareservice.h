#pragma once

#include "flatperson.h"

#include <QObject>
#include <QString>

#include <memory>

class DnsSdBackend;
class QFExchangeServer;

// Sharing switched on and off: the listening endpoint on the first free port from 9879 up, the
// DNS-SD announcement, the exchange with every accepted connection, and the texts that the
// sharing window shows. The texts change only when the announcement reports back, as the user
// sees the state of the network, not of his click.
class ShareService : public QObject
{
    Q_OBJECT

public:
    static constexpr quint16 FirstPort = 9879;

    explicit ShareService(QObject *parent = nullptr);
    // Announces through the given backend instead of the current one.
    explicit ShareService(DnsSdBackend &backend, QObject *parent = nullptr);
    ~ShareService() override;

    QFExchangeServer &server();
    void setRecordProvider(std::function<RecordList()> provider);
    void setOwnerCardProvider(std::function<OwnerCard()> provider);

    // Whether the next start lets in only approved devices (over TLS, announced with "tls=1").
    // The identity is read (or made) then; a running share keeps its mode until it stops.
    void setProtected(bool isProtected);
    bool isProtected() const;

    // A click on either toggle button: its title decides between on and off. The share name is
    // the one announced when the announcement is made.
    void toggleSharing(const QString &pressedButtonTitle, const QString &shareName);
    // Withdraws the announcement without delay; the application quits at once after it.
    void applicationShouldTerminate();

    int numberOfDownloads() const;
    // The listening port, or 0 when not listening.
    quint16 port() const;
    bool isAnnounced() const;

    QString buttonTitle() const;
    QString shortStatusText() const;
    QString longerStatusText() const;
    bool serviceNameEditable() const;

signals:
    // Any of the texts or the name field's state changed.
    void displayChanged();
    void connectionAccepted(const QString &peer, int numberOfDownloads);

private:
    void connectionReceived(const QString &peer);
    void netServiceWillPublish();
    void netServiceDidNotPublish(int errorCode);
    void netServiceDidStop();
    bool openListeningEndpoint();
    void releaseListeningEndpoint();
    void releaseService();

    struct Private;
    std::unique_ptr<Private> d;
};
