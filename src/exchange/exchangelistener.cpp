#include "exchangelistener.h"

#include "exchangeprotocol.h"
#include "qfexchangeserver.h"
#include "systemlog.h"

#include <QHostAddress>
#include <QSocketNotifier>
#include <QTcpServer>
#include <QSslSocket>
#include <QTcpSocket>
#include <QTimer>

#include <algorithm>
#include <arpa/inet.h>
#include <cerrno>
#include <cstring>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

using namespace ExchangeProtocol;

struct ExchangeListener::Private
{
    explicit Private(QFExchangeServer &s) : server(s) {}

    QFExchangeServer &server;
    QTcpServer listening; // binds and listens; its own accepting stays paused
    std::unique_ptr<QSocketNotifier> notifier;
    QTimer retry;
    int backoff = kServerAcceptBackoff;
};

ExchangeListener::ExchangeListener(QFExchangeServer &server, QObject *parent)
    : QObject(parent), d(std::make_unique<Private>(server))
{
    d->retry.setSingleShot(true);
    connect(&d->retry, &QTimer::timeout, this, [this] {
        if (d->notifier)
            d->notifier->setEnabled(true);
    });
}

ExchangeListener::~ExchangeListener()
{
    close();
}

bool ExchangeListener::listen(quint16 port, const QHostAddress &address)
{
    close();
    if (!d->listening.listen(address, port))
        return false;
    d->listening.pauseAccepting();
    d->notifier = std::make_unique<QSocketNotifier>(d->listening.socketDescriptor(), QSocketNotifier::Read);
    connect(d->notifier.get(), &QSocketNotifier::activated, this, &ExchangeListener::acceptPending);
    d->backoff = kServerAcceptBackoff;
    return true;
}

void ExchangeListener::close()
{
    d->retry.stop();
    // The notifier goes before the descriptor it watches. Connections still waiting in the queue
    // were never taken on: they close with the descriptor.
    d->notifier.reset();
    d->listening.close();
}

bool ExchangeListener::isListening() const
{
    return d->listening.isListening();
}

quint16 ExchangeListener::serverPort() const
{
    return d->listening.isListening() ? d->listening.serverPort() : 0;
}

QAbstractSocket::SocketError ExchangeListener::serverError() const
{
    return d->listening.serverError();
}

QString ExchangeListener::errorString() const
{
    return d->listening.errorString();
}

void ExchangeListener::acceptPending()
{
    const int listeningFd = int(d->listening.socketDescriptor());
    // A bounded number per pass, so that a flood leaves the event loop time for the rest.
    for (int taken = 0; taken < 64; ++taken) {
        sockaddr_in address{};
        socklen_t length = sizeof address;
        const int fd = ::accept4(listeningFd, reinterpret_cast<sockaddr *>(&address), &length,
                                 SOCK_NONBLOCK | SOCK_CLOEXEC);
        if (fd < 0) {
            const int error = errno;
            if (error == EINTR || error == ECONNABORTED || error == EPROTO)
                continue; // this one went away before we took it; the next may be fine
            if (error == EAGAIN || error == EWOULDBLOCK) {
                d->backoff = kServerAcceptBackoff;
                return;
            }
            // Out of descriptors or memory: the connection stays queued, and trying again at
            // once would only fail again.
            systemLog(QStringLiteral("QFExchangeServer: cannot accept a connection (%1); trying again in %2 ms")
                          .arg(QString::fromLocal8Bit(std::strerror(error)))
                          .arg(d->backoff));
            d->notifier->setEnabled(false);
            d->retry.start(d->backoff);
            d->backoff = std::min(d->backoff * 2, kServerAcceptBackoffMax);
            return;
        }
        char text[INET_ADDRSTRLEN] = {};
        ::inet_ntop(AF_INET, &address.sin_addr, text, sizeof text);
        const QString peer = QStringLiteral("%1:%2").arg(QLatin1String(text)).arg(ntohs(address.sin_port));
        // A protected share may have to start TLS on the connection: that needs a QSslSocket from
        // the start (it stays unencrypted until then).
        QTcpSocket *socket = d->server.isProtected() ? new QSslSocket : new QTcpSocket;
        if (!socket->setSocketDescriptor(fd)) {
            systemLog(QStringLiteral("QFExchangeServer: cannot take on the connection from %1: %2")
                          .arg(peer, socket->errorString()));
            ::close(fd);
            delete socket;
            continue;
        }
        if (d->server.connectionReceived(socket, peer))
            emit connectionAccepted(peer);
    }
}
