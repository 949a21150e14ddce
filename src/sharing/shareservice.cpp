#include "shareservice.h"

#include "deviceidentity.h"
#include "dnssdbackend.h"
#include "exchangetls.h"
#include "exchangelistener.h"
#include "netserviceerror.h"
#include "netservicepublisher.h"
#include "qfexchangeserver.h"
#include "systemlog.h"
#include "trustedpeers.h"
#include "vcardcommon.h"


struct ShareService::Private
{
    explicit Private(DnsSdBackend &b) : backend(b) {}

    DnsSdBackend &backend;
    QFExchangeServer server;
    std::unique_ptr<ExchangeListener> listeningSocket;
    std::unique_ptr<NetServicePublisher> netService;
    QString serviceName; // the share name of the moment the announcement was made
    int numberOfDownloads = 0;
    QString buttonTitle = vCardCommon::getLocMsg(QStringLiteral("SC_ButtonStart"));
    QString shortStatusText = vCardCommon::getLocMsg(QStringLiteral("SC_SharingIsOff"));
    QString longerStatusText = vCardCommon::getLocMsg(QStringLiteral("SC_ClickStart"));
    bool serviceNameEditable = true;
    bool protectedShare = false;
};

ShareService::ShareService(QObject *parent) : ShareService(DnsSdBackend::current(), parent)
{
}

ShareService::ShareService(DnsSdBackend &backend, QObject *parent)
    : QObject(parent), d(std::make_unique<Private>(backend))
{
}

ShareService::~ShareService()
{
    // Signals of the parts must not reach a half-destroyed service.
    if (d->netService)
        d->netService->disconnect(this);
}

QFExchangeServer &ShareService::server()
{
    return d->server;
}

void ShareService::setRecordProvider(std::function<RecordList()> provider)
{
    d->server.setRecordProvider(std::move(provider));
}

void ShareService::setOwnerCardProvider(std::function<OwnerCard()> provider)
{
    d->server.setOwnerCardProvider(std::move(provider));
}

void ShareService::setProtected(bool isProtected)
{
    d->protectedShare = isProtected;
}

bool ShareService::isProtected() const
{
    return d->protectedShare;
}

int ShareService::numberOfDownloads() const
{
    return d->numberOfDownloads;
}

quint16 ShareService::port() const
{
    return d->listeningSocket ? d->listeningSocket->serverPort() : 0;
}

bool ShareService::isAnnounced() const
{
    return d->netService && d->netService->isPublishing();
}

QString ShareService::buttonTitle() const
{
    return d->buttonTitle;
}

QString ShareService::shortStatusText() const
{
    return d->shortStatusText;
}

QString ShareService::longerStatusText() const
{
    return d->longerStatusText;
}

bool ShareService::serviceNameEditable() const
{
    return d->serviceNameEditable;
}

bool ShareService::openListeningEndpoint()
{
    auto server = std::make_unique<ExchangeListener>(d->server);
    // The search stays inside the 16-bit range; when nothing is free the caller reports it.
    for (quint32 port = FirstPort; port <= 65535; ++port) {
        if (server->listen(quint16(port))) {
            d->listeningSocket = std::move(server);
            return true;
        }
        if (server->serverError() != QAbstractSocket::AddressInUseError &&
            server->serverError() != QAbstractSocket::SocketAccessError) {
            systemLog(QStringLiteral("ShareService: cannot listen: %1").arg(server->errorString()));
            return false;
        }
    }
    systemLog(QStringLiteral("ShareService: no free port from %1 to 65535").arg(FirstPort));
    return false;
}

void ShareService::releaseListeningEndpoint()
{
    if (!d->listeningSocket)
        return;
    d->listeningSocket->disconnect(this);
    d->listeningSocket->close();
    // Connections still waiting in the queue were never taken on: close them with the endpoint.
    d->listeningSocket.reset();
}

void ShareService::releaseService()
{
    if (!d->netService)
        return;
    d->netService->disconnect(this);
    // Deleted from the event loop: we may be inside one of its signals.
    d->netService.release()->deleteLater();
}

void ShareService::toggleSharing(const QString &pressedButtonTitle, const QString &shareName)
{
    const bool starting = pressedButtonTitle == vCardCommon::getLocMsg(QStringLiteral("SC_ButtonStart"));
    if (starting && !d->listeningSocket) {
        if (!d->protectedShare) {
            d->server.clearProtection();
        } else if (const std::optional<DeviceIdentity> identity = DeviceIdentity::standard()) {
            d->server.setProtection(ExchangeTls::configuration(identity->certificate(), identity->privateKey()),
                                    [](const QByteArray &fingerprint) { return TrustedPeers::isApproved(fingerprint); });
        } else {
            vCardCommon::alertKeys("TR_IdentityProblem", "TR_IdentityHint");
            return;
        }
    }
    if (!d->listeningSocket && !openListeningEndpoint()) {
        vCardCommon::alertKeys("SC_UnspecificSharingProblem", "SC_UnspecificSharingHint");
        return;
    }
    if (!d->netService) {
        d->netService = std::make_unique<NetServicePublisher>(d->backend);
        connect(d->netService.get(), &NetServicePublisher::netServiceWillPublish, this,
                &ShareService::netServiceWillPublish);
        connect(d->netService.get(), &NetServicePublisher::netServiceDidNotPublish, this,
                &ShareService::netServiceDidNotPublish);
        connect(d->netService.get(), &NetServicePublisher::netServiceDidStop, this,
                &ShareService::netServiceDidStop);
        d->serviceName = shareName;
    }

    if (pressedButtonTitle == vCardCommon::getLocMsg(QStringLiteral("SC_ButtonStart"))) {
        d->numberOfDownloads = 0;
        connect(d->listeningSocket.get(), &ExchangeListener::connectionAccepted, this,
                &ShareService::connectionReceived, Qt::UniqueConnection);
        d->netService->setProtected(d->server.isProtected());
        d->netService->publish(d->serviceName, d->listeningSocket->serverPort());
        d->serviceNameEditable = false;
    } else {
        d->serviceNameEditable = true;
        d->netService->stop();
        releaseListeningEndpoint();
    }
    emit displayChanged();
}

void ShareService::connectionReceived(const QString &peer)
{
    ++d->numberOfDownloads;
    d->longerStatusText = vCardCommon::getLocMsg(QStringLiteral("SC_DownloadInfo")).arg(d->numberOfDownloads);
    emit connectionAccepted(peer, d->numberOfDownloads);
    emit displayChanged();
}

void ShareService::netServiceWillPublish()
{
    d->buttonTitle = vCardCommon::getLocMsg(QStringLiteral("SC_ButtonStop"));
    d->shortStatusText = vCardCommon::getLocMsg(QStringLiteral("SC_SharingIsOn"));
    d->longerStatusText = vCardCommon::getLocMsg(QStringLiteral("SC_ClickStop"));
    emit displayChanged();
}

void ShareService::netServiceDidStop()
{
    d->buttonTitle = vCardCommon::getLocMsg(QStringLiteral("SC_ButtonStart"));
    d->shortStatusText = vCardCommon::getLocMsg(QStringLiteral("SC_SharingIsOff"));
    d->longerStatusText = vCardCommon::getLocMsg(QStringLiteral("SC_ClickStart"));
    releaseService();
    emit displayChanged();
}

void ShareService::netServiceDidNotPublish(int errorCode)
{
    systemLog(QStringLiteral("ShareService: announcement failed with code %1").arg(errorCode));
    d->buttonTitle = vCardCommon::getLocMsg(QStringLiteral("SC_ButtonStart"));
    d->shortStatusText = vCardCommon::getLocMsg(QStringLiteral("SC_SharingIsOff"));
    // Sharing is off either way, so the name may be edited again.
    d->serviceNameEditable = true;
    if (errorCode == NetServiceError::Collision)
        d->longerStatusText = vCardCommon::getLocMsg(QStringLiteral("SC_ClickStart"));
    releaseListeningEndpoint();
    releaseService();
    emit displayChanged();
    if (errorCode == NetServiceError::Collision)
        vCardCommon::alertKeys("SH_NameCollisionProblem", "SH_NameCollisionHint");
    else
        vCardCommon::alertKeys("SC_UnspecificSharingProblem", "SC_UnspecificSharingHint");
}

void ShareService::applicationShouldTerminate()
{
    if (d->netService)
        d->netService->stop();
}
