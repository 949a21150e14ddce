#include "qfexchangeserver.h"

#include "exchangearchive.h"
#include "exchangeprotocol.h"
#include "qfconnectionpool.h"
#include "systemlog.h"
#include "vcardcommon.h"
#include "zassert.h"

#include <QHash>
#include <QPointer>
#include <QTcpSocket>
#include <QFutureWatcher>
#include <QTimer>
#include <QtConcurrent/QtConcurrentRun>

using namespace ExchangeProtocol;

namespace {
QString peerText(const QTcpSocket *socket)
{
    return QStringLiteral("%1:%2").arg(socket->peerAddress().toString()).arg(socket->peerPort());
}
} // namespace

struct QFExchangeServer::Private
{
    QFExchangeServer *q;
    QFConnectionPool theConnections;
    RecordProvider records;
    OwnerCardProvider ownerCard;
    int idleTimeout = kServerIdleTimeout;
    int maxFrameLength = kServerMaxFrameLength;

    struct Connection
    {
        QString peer;
        QTimer *idleTimer = nullptr;
        quint64 id = 0;             // tells a connection from a later one at the same address
        bool finishing = false;     // "AB" on its way; no further input is handled
        bool answered = false;      // "AB" written
        bool answerQueued = false;  // "sendAB" received, waiting for its turn
    };
    quint64 lastId = 0;
    QHash<QTcpSocket *, Connection> open;
    // Connections whose "sendAB" waits for an answer. One answer is built per pass of the event
    // loop, so that many clients asking at once cannot hold the loop for all of them in a row.
    QList<std::pair<QTcpSocket *, quint64>> answerQueue;
    bool answerScheduled = false;

    void protocolProblem(QTcpSocket *socket, const QString &what);
    void close(QTcpSocket *socket, CloseReason reason);
    void release(QTcpSocket *socket);
    void touch(QTcpSocket *socket);
    void send(QTcpSocket *socket, const QVariantMap &message);
    void queueAnswer(QTcpSocket *socket);
    void finishAnswer(QTcpSocket *socket, quint64 id, const std::optional<QByteArray> &payload, int recordCount);
    void answerNext();
};

void QFExchangeServer::Private::queueAnswer(QTcpSocket *socket)
{
    Connection &connection = open[socket];
    connection.answerQueued = true;
    answerQueue.append({socket, connection.id});
    if (!answerScheduled) {
        answerScheduled = true;
        QTimer::singleShot(0, q, [this] { answerNext(); });
    }
}

void QFExchangeServer::Private::answerNext()
{
    answerScheduled = false;
    while (!answerQueue.isEmpty()) {
        const auto [socket, id] = answerQueue.takeFirst();
        auto it = open.find(socket);
        if (it == open.end() || it->id != id || !it->answerQueued)
            continue; // closed while it waited
        it->answerQueued = false;
        q->sendDataToRemote(socket);
        break;
    }
    if (!answerQueue.isEmpty()) {
        answerScheduled = true;
        QTimer::singleShot(0, q, [this] { answerNext(); });
    }
}

void QFExchangeServer::Private::touch(QTcpSocket *socket)
{
    auto it = open.find(socket);
    if (it != open.end())
        it->idleTimer->start(idleTimeout);
}

void QFExchangeServer::Private::release(QTcpSocket *socket)
{
    // The pool finds entries by socket identity: the entry must go before the socket does.
    theConnections.removeConnection(socket);
    open.remove(socket);
    QObject::disconnect(socket, nullptr, q, nullptr);
    socket->deleteLater();
}

void QFExchangeServer::Private::close(QTcpSocket *socket, CloseReason reason)
{
    auto it = open.find(socket);
    if (it == open.end())
        return;
    const QString peer = it->peer;
    release(socket);
    socket->abort();
    emit q->connectionClosed(peer, reason);
}

void QFExchangeServer::Private::protocolProblem(QTcpSocket *socket, const QString &what)
{
    // One alert per connection: the connection ends here, so a hostile peer cannot raise more.
    systemLog(QStringLiteral("QFExchangeServer: %1 from %2; connection closed").arg(what, open.value(socket).peer));
    vCardCommon::alertKeys("SC_ServerProtocolProblem", "SC_ServerProtocolHint");
    close(socket, CloseReason::ProtocolProblem);
}

void QFExchangeServer::Private::send(QTcpSocket *socket, const QVariantMap &message)
{
    const std::optional<QByteArray> payload = ExchangeArchive::encode(message);
    ZASSERT(payload.has_value()); // "keys" holds only a text and a number
    socket->write(QFConnectionPool::packData(*payload, socket));
}

QFExchangeServer::QFExchangeServer(QObject *parent) : QObject(parent), d(std::make_unique<Private>())
{
    d->q = this;
}

QFExchangeServer::~QFExchangeServer()
{
    // Sockets are children of this object; the pool only ever held their identities.
    const QList<QTcpSocket *> sockets = d->open.keys();
    for (QTcpSocket *socket : sockets) {
        d->theConnections.removeConnection(socket);
        QObject::disconnect(socket, nullptr, this, nullptr);
    }
    d->open.clear();
}

void QFExchangeServer::setRecordProvider(RecordProvider provider)
{
    d->records = std::move(provider);
}

void QFExchangeServer::setOwnerCardProvider(OwnerCardProvider provider)
{
    d->ownerCard = std::move(provider);
}

void QFExchangeServer::setIdleTimeout(int milliseconds)
{
    ZASSERT(milliseconds > 0);
    d->idleTimeout = milliseconds;
}

int QFExchangeServer::idleTimeout() const
{
    return d->idleTimeout;
}

void QFExchangeServer::setMaxFrameLength(int bytes)
{
    ZASSERT(bytes > QFConnectionPool::kHeaderLength);
    d->maxFrameLength = bytes;
}

int QFExchangeServer::maxFrameLength() const
{
    return d->maxFrameLength;
}

const QFConnectionPool &QFExchangeServer::connections() const
{
    return d->theConnections;
}

int QFExchangeServer::openConnectionCount() const
{
    return static_cast<int>(d->open.size());
}

void QFExchangeServer::connectionReceived(QTcpSocket *socket)
{
    ZASSERT(socket != nullptr);
    socket->setParent(this);
    if (!d->theConnections.isActiveConnection(socket))
        d->theConnections.addConnection(socket);

    Private::Connection connection;
    connection.id = ++d->lastId;
    connection.peer = peerText(socket);
    connection.idleTimer = new QTimer(socket);
    connection.idleTimer->setSingleShot(true);
    d->open.insert(socket, connection);

    connect(connection.idleTimer, &QTimer::timeout, this, [this, socket] {
        systemLog(QStringLiteral("QFExchangeServer: closing idle connection from %1").arg(d->open.value(socket).peer));
        d->close(socket, CloseReason::IdleTimeout);
    });
    connect(socket, &QTcpSocket::readyRead, this, [this, socket] {
        const QByteArray chunk = socket->readAll();
        if (!chunk.isEmpty())
            readDataFromRemote(socket, chunk);
    });
    connect(socket, &QTcpSocket::bytesWritten, this, [this, socket] { d->touch(socket); });
    connect(socket, &QTcpSocket::disconnected, this, [this, socket] {
        auto it = d->open.find(socket);
        if (it == d->open.end())
            return;
        // A connection that was answered ends as served; otherwise the client left first.
        const bool served = it->answered;
        const QString peer = it->peer;
        d->release(socket);
        emit connectionClosed(peer, served ? CloseReason::Served : CloseReason::PeerClosed);
    });
    d->touch(socket);
    // Bytes may have arrived before we took the socket on.
    if (socket->bytesAvailable() > 0)
        QMetaObject::invokeMethod(socket, &QTcpSocket::readyRead, Qt::QueuedConnection);
}

void QFExchangeServer::readDataFromRemote(QTcpSocket *socket, const QByteArray &chunk)
{
    ZASSERT(socket != nullptr);
    auto it = d->open.find(socket);
    if (it == d->open.end() || it->finishing)
        return;
    if (chunk.isEmpty()) {
        d->close(socket, CloseReason::PeerClosed);
        return;
    }
    if (it->answerQueued)
        return; // nothing after "sendAB" counts

    d->touch(socket);
    QFConnectionPool &pool = d->theConnections;
    if (!pool.isActiveConnection(socket))
        pool.addConnection(socket);
    pool.addData(chunk, socket);

    // Every whole frame in the buffer is handled now: a client that sends "keys" and "sendAB"
    // in one go gets both answers.
    for (;;) {
        if (!pool.isConnectionComplete(socket)) {
            // A header that is whole but declares a negative length or more than we accept will
            // never give a frame we want: end here rather than buffer without bound.
            const QByteArray buffered = pool.getDataForConnection(socket);
            const int declared = buffered.size() > QFConnectionPool::kHeaderLength
                                     ? QFConnectionPool::parseDeclaredLength(buffered.constData(), QFConnectionPool::kLengthDigits)
                                     : 0;
            if (declared < 0 || declared > d->maxFrameLength)
                d->protocolProblem(socket, QStringLiteral("declared frame length %1 out of range").arg(declared));
            return;
        }
        const std::optional<QByteArray> payload = pool.unpackDatafromConnection(socket);
        if (!payload) {
            d->protocolProblem(socket, QStringLiteral("frame without a payload"));
            return;
        }
        const std::optional<QVariantMap> message = ExchangeArchive::decode(*payload);
        if (!message) {
            d->protocolProblem(socket, QStringLiteral("payload that is not a message"));
            return;
        }
        const QVariant type = message->value(kType);
        if (type.typeId() != QMetaType::QString) {
            d->protocolProblem(socket, QStringLiteral("message without a text \"type\""));
            return;
        }
        if (type.toString() == kTypeKeys) {
            if (socket->bytesToWrite() > kServerMaxPendingWrite) {
                systemLog(QStringLiteral("QFExchangeServer: %1 does not read its replies; connection closed")
                              .arg(d->open.value(socket).peer));
                d->close(socket, CloseReason::WriteBacklog);
                return;
            }
            d->send(socket, {{kType, kTypeKeys}, {kKeys1, nextKey()}});
        } else if (type.toString() == kTypeSendAB) {
            d->queueAnswer(socket);
            return;
        }
        // Any other type is not answered; the connection stays open.
    }
}

void QFExchangeServer::sendDataToRemote(QTcpSocket *socket)
{
    ZASSERT(socket != nullptr);
    auto it = d->open.find(socket);
    if (it == d->open.end() || it->finishing)
        return;
    // The records are read here, next to the store; encoding a large list takes as long again
    // and happens on a worker thread, so the event loop goes on serving the others meanwhile.
    const RecordList records = d->records ? d->records() : RecordList();
    const OwnerCard card = d->ownerCard ? d->ownerCard() : OwnerCard();
    const QVariantMap message{{kType, kTypeAB},
                              {kRelease, kReleaseValue},
                              {kProduct, kProductValue},
                              {kOwnerData, QVariant::fromValue(card)},
                              {kRecordData, records}};
    it->finishing = true;
    const quint64 id = it->id;
    const int recordCount = static_cast<int>(records.size());
    // Parented to the server: if the server goes first, the result is dropped with the watcher.
    auto *encoding = new QFutureWatcher<std::optional<QByteArray>>(this);
    connect(encoding, &QFutureWatcherBase::finished, this, [this, socket, id, encoding, recordCount] {
        encoding->deleteLater();
        d->finishAnswer(socket, id, encoding->result(), recordCount);
    });
    encoding->setFuture(QtConcurrent::run([message] { return ExchangeArchive::encode(message); }));
}

void QFExchangeServer::Private::finishAnswer(QTcpSocket *socket, quint64 id, const std::optional<QByteArray> &payload,
                                             int recordCount)
{
    // The connection may have ended while its answer was encoded; then the socket is gone too.
    auto it = open.find(socket);
    if (it == open.end() || it->id != id)
        return;
    if (!payload) {
        systemLog(QStringLiteral("QFExchangeServer: the shared records hold a value that cannot be sent; "
                                 "connection from %1 closed")
                      .arg(it->peer));
        close(socket, CloseReason::EncodingFailed);
        return;
    }
    it->answered = true;
    const QString peer = it->peer;
    theConnections.removeConnection(socket);
    socket->write(QFConnectionPool::packData(*payload, socket));
    touch(socket);
    emit q->connectionServed(peer, recordCount);
    // Closes once the reply is written; the idle timer still guards a client that stops reading.
    socket->disconnectFromHost();
}
