#include "qfrendezvousclient.h"

#include "dnssdbackend.h"
#include "dnssdbrowse.h"
#include "zassert.h"

namespace {
QFRendezvousClient *theSharedInstance = nullptr;
// Every client alive, so that a delegate being destroyed can leave them all. Never destroyed
// itself: a delegate may go at any time before the process ends.
QList<QFRendezvousClient *> &liveClients()
{
    static auto *clients = new QList<QFRendezvousClient *>;
    return *clients;
}

bool sameService(const RendezvousService &entry, const DnsSdService &service)
{
    return entry.name == service.name && entry.type == service.type && entry.domain == service.domain;
}
} // namespace

QFRendezvousClient *QFRendezvousClient::sharedInstance()
{
    if (!theSharedInstance)
        theSharedInstance = new QFRendezvousClient(DnsSdBackend::current());
    ZASSERT(nullptr != theSharedInstance);
    return theSharedInstance;
}

QFRendezvousClient::QFRendezvousClient(DnsSdBackend &backend, QObject *parent) : QObject(parent)
{
    browser = backend.createBrowse(QStringLiteral("_zorbix._tcp."), QStringLiteral("local."), this);
    connect(browser, &DnsSdBrowse::serviceFound, this, &QFRendezvousClient::didFindService);
    connect(browser, &DnsSdBrowse::serviceRemoved, this, &QFRendezvousClient::didRemoveService);
    connect(browser, &DnsSdBrowse::serviceResolved, this, &QFRendezvousClient::didResolveService);
    connect(browser, &DnsSdBrowse::serviceTextResolved, this,
            [this](const DnsSdService &service, const QList<QByteArray> &text) {
                for (RendezvousService &entry : m_services) {
                    if (sameService(entry, service))
                        entry.isProtected = text.contains(QByteArrayLiteral("tls=1"));
                }
            });
    connect(browser, &DnsSdBrowse::availabilityChanged, this, &QFRendezvousClient::browsingChanged);
    browser->start();
    liveClients().append(this);
}

QFRendezvousClient::~QFRendezvousClient()
{
    liveClients().removeAll(this);
    if (theSharedInstance == this)
        theSharedInstance = nullptr;
}

QFRendezvousClientProtocol::~QFRendezvousClientProtocol()
{
    QFRendezvousClient::forgetDelegate(this);
}

void QFRendezvousClient::forgetDelegate(QFRendezvousClientProtocol *aDelegate)
{
    for (QFRendezvousClient *client : std::as_const(liveClients()))
        client->ourDelegates.removeAll(aDelegate);
}

void QFRendezvousClient::addDelegate(QFRendezvousClientProtocol *aDelegate)
{
    ZASSERT(nullptr != aDelegate);
    ourDelegates.append(aDelegate);
}

void QFRendezvousClient::removeDelegate(QFRendezvousClientProtocol *aDelegate)
{
    ZASSERT(nullptr != aDelegate);
    ourDelegates.removeAll(aDelegate);
}

QStringList QFRendezvousClient::getServiceNames() const
{
    QStringList names;
    names.reserve(m_services.size());
    for (const RendezvousService &service : m_services)
        names.append(service.name);
    return names;
}

QStringList QFRendezvousClient::getServiceNameContainingSubString(const QString &filterString) const
{
    const QStringList names = getServiceNames();
    if (filterString.isEmpty())
        return names;
    QStringList result;
    for (const QString &name : names) {
        if (name.contains(filterString, Qt::CaseSensitive))
            result.append(name);
    }
    return result;
}

std::optional<QList<SocketAddress>> QFRendezvousClient::getAddressesForService(const QString &name) const
{
    for (const RendezvousService &service : m_services) {
        if (service.name == name)
            return service.addresses;
    }
    return std::nullopt;
}

std::optional<SocketAddress> QFRendezvousClient::getFirstAddressForService(const QString &name) const
{
    const std::optional<QList<SocketAddress>> addresses = getAddressesForService(name);
    if (!addresses || addresses->isEmpty())
        return std::nullopt;
    return addresses->first();
}

bool QFRendezvousClient::isServiceProtected(const QString &name) const
{
    for (const RendezvousService &service : m_services) {
        if (service.name == name)
            return service.isProtected;
    }
    return false;
}

void QFRendezvousClient::notifyDelegates()
{
    // A delegate may remove or destroy itself or others while being told: walk a copy, and skip
    // whoever is no longer registered by the time its turn comes.
    const QList<QFRendezvousClientProtocol *> delegates = ourDelegates;
    for (QFRendezvousClientProtocol *aDelegate : delegates) {
        if (ourDelegates.contains(aDelegate))
            aDelegate->doHandleRendezvousServicesChange(m_services);
    }
}

bool QFRendezvousClient::isBrowsing() const
{
    return browser->isAvailable();
}

void QFRendezvousClient::didFindService(const DnsSdService &service, bool moreComing)
{
    m_services.append({service.name, service.type, service.domain, {}, false});
    browser->resolve(service);
    if (!moreComing)
        notifyDelegates();
}

void QFRendezvousClient::didRemoveService(const DnsSdService &service, bool moreComing)
{
    for (qsizetype i = 0; i < m_services.size(); ++i) {
        if (sameService(m_services[i], service)) {
            m_services.removeAt(i);
            break;
        }
    }
    if (!moreComing)
        notifyDelegates();
}

void QFRendezvousClient::didResolveService(const DnsSdService &service, const QList<SocketAddress> &addresses)
{
    // Read on demand; nobody is told.
    for (RendezvousService &entry : m_services) {
        if (sameService(entry, service))
            entry.addresses = addresses;
    }
}
