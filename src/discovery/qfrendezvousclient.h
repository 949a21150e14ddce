#pragma once

#include "qfrendezvousclientprotocol.h"
#include "rendezvousservice.h"
#include "socketaddress.h"

#include <QList>
#include <QObject>
#include <QStringList>

#include <optional>

class DnsSdBackend;
class DnsSdBrowse;
struct DnsSdService;

// Keeps the list of shares announced on the local network. From its creation it browses for
// "_zorbix._tcp." in "local." and never stops; each found service is resolved (IPv4) at once.
// Delegates hear after every batch of changes.
class QFRendezvousClient : public QObject
{
    Q_OBJECT

public:
    // The one instance of the process; the first call creates it (on the backend in use) and so
    // starts browsing.
    static QFRendezvousClient *sharedInstance();

    // A client of its own on the given backend (tests); browsing starts at once.
    explicit QFRendezvousClient(DnsSdBackend &backend, QObject *parent = nullptr);
    ~QFRendezvousClient() override;

    // Delegates are not owned; one that is destroyed is removed from every client. The same
    // delegate may be added more than once and is then called once per addition.
    void addDelegate(QFRendezvousClientProtocol *aDelegate);
    // Removes every occurrence.
    void removeDelegate(QFRendezvousClientProtocol *aDelegate);
    // Removes a delegate from every client of the process (its destructor does this).
    static void forgetDelegate(QFRendezvousClientProtocol *aDelegate);

    const QList<RendezvousService> &getServices() const { return m_services; }
    QStringList getServiceNames() const;
    // Names containing filterString (case-sensitive); all names for the empty text.
    QStringList getServiceNameContainingSubString(const QString &filterString) const;
    // The addresses of the first service of that name (empty while unresolved); nothing when no
    // service has that name.
    std::optional<QList<SocketAddress>> getAddressesForService(const QString &name) const;
    std::optional<SocketAddress> getFirstAddressForService(const QString &name) const;
    // Whether the first service of that name announced itself as protected (speaks only TLS).
    bool isServiceProtected(const QString &name) const;

    void notifyDelegates();

    // Whether the DNS-SD daemon can be reached; while it cannot, the list stays empty.
    bool isBrowsing() const;

signals:
    void browsingChanged(bool browsing);

private:
    void didFindService(const DnsSdService &service, bool moreComing);
    void didRemoveService(const DnsSdService &service, bool moreComing);
    void didResolveService(const DnsSdService &service, const QList<SocketAddress> &addresses);

    QList<QFRendezvousClientProtocol *> ourDelegates;
    DnsSdBrowse *browser = nullptr;
    QList<RendezvousService> m_services;
};
