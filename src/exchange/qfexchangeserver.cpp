#include "qfexchangeserver.h"

#include "exchangearchive.h"
#include "exchangeprotocol.h"
#include "exchangetls.h"
#include "qfconnectionpool.h"
#include "systemlog.h"
#include "vcardcommon.h"
#include "zassert.h"

#include <QHash>
#include <QPointer>
#include <QSslSocket>
#include <QTcpSocket>
#include <QFutureWatcher>
#include <QTimer>
#include <QtConcurrent/QtConcurrentRun>

#include <utility>

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
    RecordSource recordSource;
    // The list being made, and the answers that wait for it (same stamp) besides the first.
    struct Waiter
    {
        QTcpSocket *socket;
        quint64 id;
        OwnerCard card;
    };
    quint64 buildingNumber = 0;
    QByteArray buildingStamp;
    QHash<quint64, QList<Waiter>> waiters;
    // Starts making the list for stamp; the answers to give when it is made go into the list
    // returned.
    QList<Waiter> &buildRecords(const QByteArray &stamp);
    // Whether the list of the state stamp stands is encoded already, or being made (a list is
    // kept per stamp only where there is a stamp).
    bool isMade(const QByteArray &stamp) const { return recordStamp && encodedRecords && encodedStamp == stamp; }
    bool isBeingMade(const QByteArray &stamp) const
    {
        return recordStamp && waiters.contains(buildingNumber) && buildingStamp == stamp;
    }
    OwnerCardProvider ownerCard;
    RecordStamp recordStamp;
    // The record list as last encoded, and the stamp it was built under.
    std::optional<QByteArray> encodedRecords;
    QByteArray encodedStamp;
    int encodedCount = 0;
    quint64 lastBuild = 0;    // numbers the lists built, so that a late one never replaces a newer
    quint64 encodedBuild = 0;
    int idleTimeout = kServerIdleTimeout;
    int maxFrameLength = kServerMaxFrameLength;
    int requestDeadline = kServerRequestDeadline;
    int answerDeadline = kServerAnswerDeadline;
    int holdBound = kServerHoldBound;
    int maxConnections = kServerMaxConnections;
    int maxConnectionsPerPeer = kServerMaxConnectionsPerPeer;
    QHash<QString, int> openPerAddress; // connections being served, held ones not counted
    // Connections held, in arrival order, until a place of their address frees.
    QHash<QString, QList<QTcpSocket *>> held;
    int refused = 0;
    // The protocol alert on screen, and the malformed connections seen while it was there.
    bool alertOnScreen = false;
    int malformedWhileAlerted = 0;
    // Protection: TLS with these settings, and the devices let in without asking.
    std::optional<QSslConfiguration> tls;
    std::function<bool(const QByteArray &)> isKnown;
    int approvalTimeout = ExchangeTls::kApprovalTimeout;
    quint64 pendingApproval = 0; // the connection whose request stands, 0 for none

    // Where a connection of a protected share stands; open shares start at Open. A held
    // connection waits for a place of its address; nothing is read from it until then.
    enum class Phase { Held, Sniffing, Handshake, Hello, Approval, Open };

    struct Connection
    {
        QString peer;
        QString address;
        QTimer *idleTimer = nullptr;
        QTimer *deadline = nullptr;
        quint64 id = 0;             // tells a connection from a later one at the same address
        bool finishing = false;     // "AB" on its way; no further input is handled
        bool answered = false;      // "AB" written
        bool answerQueued = false;  // "sendAB" received, waiting for its turn
        Phase phase = Phase::Open;
        Phase firstPhase = Phase::Open; // where it starts once it has a place
        std::optional<CloseReason> ending; // how it ends once the last write is out
        QByteArray fingerprint;
        QString device;
        QTimer *approval = nullptr;
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
    void finishAnswer(QTcpSocket *socket, quint64 id, const OwnerCard &card, const std::optional<QByteArray> &records,
                      int recordCount);
    void answerNext();
    void takeFrames(QTcpSocket *socket);
    void sniff(QTcpSocket *socket);
    void encrypted(QTcpSocket *socket);
    bool hello(QTcpSocket *socket, const QVariantMap &message);
    void refuse(QTcpSocket *socket, const QString &reason);
    void endAfterWrite(QTcpSocket *socket, CloseReason reason);
    void start(QTcpSocket *socket);
    void serveHeld(const QString &address);
};

// From here on the connection is served: read, timed for idleness, answered.
void QFExchangeServer::Private::start(QTcpSocket *socket)
{
    Connection &connection = open[socket];
    connection.phase = connection.firstPhase;
    // Waiting in line used none of the time meant for a slow or silent peer.
    connection.deadline->start(requestDeadline);
    socket->setReadBufferSize(0);
    touch(socket);
    // Bytes may have arrived before, or while it was held.
    if (socket->bytesAvailable() > 0)
        QMetaObject::invokeMethod(socket, &QTcpSocket::readyRead, Qt::QueuedConnection);
}

void QFExchangeServer::Private::serveHeld(const QString &address)
{
    const auto queue = held.find(address);
    if (queue == held.end())
        return;
    int &serving = openPerAddress[address];
    while (!queue->isEmpty() && serving < maxConnectionsPerPeer) {
        ++serving;
        start(queue->takeFirst());
    }
    if (queue->isEmpty())
        held.erase(queue);
    if (serving == 0)
        openPerAddress.remove(address);
}

void QFExchangeServer::Private::endAfterWrite(QTcpSocket *socket, CloseReason reason)
{
    Connection &connection = open[socket];
    connection.finishing = true;
    connection.ending = reason;
    theConnections.removeConnection(socket);
    socket->disconnectFromHost();
}

// The first byte tells a ClientHello from a plain frame (an ASCII digit, or blank padding).
// peek() leaves it for the TLS handshake.
void QFExchangeServer::Private::sniff(QTcpSocket *socket)
{
    auto *ssl = qobject_cast<QSslSocket *>(socket);
    char first = 0;
    if (!ssl || ssl->peek(&first, 1) != 1)
        return;
    Connection &connection = open[socket];
    touch(socket);
    if (first != ExchangeTls::kHandshakeByte) {
        systemLog(QStringLiteral("QFExchangeServer: %1 asked a protected share in the plain protocol; "
                                 "told so and closed").arg(connection.peer));
        connection.phase = Phase::Open;
        send(socket, {{kType, ExchangeTls::kTypeProtected}});
        endAfterWrite(socket, CloseReason::PlainPeer);
        return;
    }
    connection.phase = Phase::Handshake;
    QObject::connect(ssl, &QSslSocket::encrypted, q, [this, socket] { encrypted(socket); });
    QObject::connect(ssl, &QAbstractSocket::errorOccurred, q, [this, socket] {
        auto it = open.find(socket);
        if (it == open.end() || it->phase != Phase::Handshake)
            return;
        systemLog(QStringLiteral("QFExchangeServer: TLS with %1 failed: %2").arg(it->peer, socket->errorString()));
        close(socket, CloseReason::TlsFailed);
    });
    ssl->setSslConfiguration(*tls);
    ssl->startServerEncryption();
}

void QFExchangeServer::Private::encrypted(QTcpSocket *socket)
{
    auto it = open.find(socket);
    if (it == open.end())
        return;
    const QSslCertificate certificate = static_cast<QSslSocket *>(socket)->peerCertificate();
    const QString problem = ExchangeTls::certificateProblem(certificate);
    if (!problem.isEmpty()) {
        systemLog(QStringLiteral("QFExchangeServer: %1 presented %2; closed").arg(it->peer, problem));
        close(socket, CloseReason::TlsFailed);
        return;
    }
    it->fingerprint = ExchangeTls::fingerprint(certificate);
    it->phase = Phase::Hello;
    touch(socket);
    if (socket->bytesAvailable() > 0)
        QMetaObject::invokeMethod(socket, &QTcpSocket::readyRead, Qt::QueuedConnection);
}

// The first message inside TLS names the device. A known device goes on at once; any other waits
// for the sharing user, and its further frames wait in the buffer. False when the connection ended.
bool QFExchangeServer::Private::hello(QTcpSocket *socket, const QVariantMap &message)
{
    Connection &connection = open[socket];
    if (message.value(kType).toString() != ExchangeTls::kTypeHello) {
        protocolProblem(socket, QStringLiteral("message before \"hello\""));
        return false;
    }
    connection.device = ExchangeTls::cleanDeviceName(message.value(ExchangeTls::kDevice).toString());
    if (isKnown && isKnown(connection.fingerprint)) {
        connection.phase = Phase::Open;
        emit q->deviceAdmitted(connection.fingerprint, connection.device);
        return true;
    }
    if (pendingApproval != 0) {
        refuse(socket, ExchangeTls::kReasonBusy);
        return false;
    }
    connection.phase = Phase::Approval;
    pendingApproval = connection.id;
    connection.idleTimer->stop();
    connection.deadline->stop();
    connection.approval = new QTimer(socket);
    connection.approval->setSingleShot(true);
    QObject::connect(connection.approval, &QTimer::timeout, q, [this, socket] {
        const quint64 id = open.value(socket).id;
        pendingApproval = 0;
        emit q->approvalEnded(id);
        refuse(socket, ExchangeTls::kReasonTimeout);
    });
    connection.approval->start(approvalTimeout);
    send(socket, {{kType, ExchangeTls::kTypeWait}});
    const QString code = ExchangeTls::verificationCode(static_cast<QSslSocket *>(socket)->sslConfiguration().localCertificate(),
                                                       static_cast<QSslSocket *>(socket)->peerCertificate());
    systemLog(QStringLiteral("QFExchangeServer: %1 (\"%2\") asks for approval").arg(connection.peer, connection.device));
    emit q->approvalRequested(connection.id, connection.peer, connection.device, connection.fingerprint, code);
    return false;
}

void QFExchangeServer::Private::refuse(QTcpSocket *socket, const QString &reason)
{
    auto it = open.find(socket);
    if (it == open.end())
        return;
    systemLog(QStringLiteral("QFExchangeServer: %1 not admitted (%2); closed").arg(it->peer, reason));
    if (it->approval)
        it->approval->stop();
    send(socket, {{kType, ExchangeTls::kTypeDenied}, {ExchangeTls::kReason, reason}});
    it->idleTimer->start(idleTimeout); // a peer that does not take the notice is still ended
    endAfterWrite(socket, CloseReason::NotAdmitted);
}

void QFExchangeServer::Private::queueAnswer(QTcpSocket *socket)
{
    Connection &connection = open[socket];
    connection.answerQueued = true;
    connection.deadline->start(answerDeadline);
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
    const auto it = open.constFind(socket);
    if (it != open.constEnd() && it->id == pendingApproval) {
        pendingApproval = 0;
        emit q->approvalEnded(it->id);
    }
    QString freed;
    if (it != open.constEnd() && it->phase == Phase::Held) {
        const auto queue = held.find(it->address);
        if (queue != held.end() && queue->removeOne(socket) && queue->isEmpty())
            held.erase(queue);
        open.erase(it);
    } else if (it != open.constEnd()) {
        auto count = openPerAddress.find(it->address);
        if (count != openPerAddress.end() && --*count <= 0)
            openPerAddress.erase(count);
        freed = it->address;
        open.erase(it);
    }
    QObject::disconnect(socket, nullptr, q, nullptr);
    socket->deleteLater();
    if (!freed.isEmpty())
        serveHeld(freed);
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
    // One log line per connection: the connection ends here, so a peer cannot raise more with it.
    // A peer that reconnects in a loop still gets one alert on screen, not one per connection.
    systemLog(QStringLiteral("QFExchangeServer: %1 from %2; connection closed").arg(what, open.value(socket).peer));
    close(socket, CloseReason::ProtocolProblem);
    if (alertOnScreen) {
        ++malformedWhileAlerted;
        return;
    }
    alertOnScreen = true;
    vCardCommon::alertKeys("SC_ServerProtocolProblem", "SC_ServerProtocolHint", [this, server = QPointer(q)] {
        if (!server)
            return;
        alertOnScreen = false;
        if (malformedWhileAlerted > 0)
            systemLog(QStringLiteral("QFExchangeServer: %1 more malformed connections while the alert was open")
                          .arg(std::exchange(malformedWhileAlerted, 0)));
    });
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

void QFExchangeServer::setRecordSource(RecordSource source)
{
    d->recordSource = std::move(source);
}

void QFExchangeServer::setOwnerCardProvider(OwnerCardProvider provider)
{
    d->ownerCard = std::move(provider);
}

void QFExchangeServer::setRecordStamp(RecordStamp stamp)
{
    d->recordStamp = std::move(stamp);
    d->encodedRecords.reset();
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

int QFExchangeServer::refusedConnectionCount() const
{
    return d->refused;
}

void QFExchangeServer::setDeadlines(int request, int answer)
{
    ZASSERT(request > 0 && answer > 0);
    d->requestDeadline = request;
    d->answerDeadline = answer;
}

void QFExchangeServer::setHoldBound(int milliseconds)
{
    ZASSERT(milliseconds > 0);
    d->holdBound = milliseconds;
}

void QFExchangeServer::setConnectionLimits(int total, int perPeer)
{
    ZASSERT(total > 0 && perPeer > 0);
    d->maxConnections = total;
    d->maxConnectionsPerPeer = perPeer;
}

void QFExchangeServer::setProtection(const QSslConfiguration &configuration,
                                     std::function<bool(const QByteArray &fingerprint)> isKnown)
{
    d->tls = configuration;
    d->isKnown = std::move(isKnown);
}

void QFExchangeServer::clearProtection()
{
    d->tls.reset();
    d->isKnown = nullptr;
}

bool QFExchangeServer::isProtected() const
{
    return d->tls.has_value();
}

void QFExchangeServer::setApprovalTimeout(int milliseconds)
{
    ZASSERT(milliseconds > 0);
    d->approvalTimeout = milliseconds;
}

void QFExchangeServer::answerApproval(quint64 request, Decision decision)
{
    if (request == 0 || request != d->pendingApproval)
        return;
    QTcpSocket *socket = nullptr;
    for (auto it = d->open.begin(); it != d->open.end(); ++it) {
        if (it->id == request)
            socket = it.key();
    }
    if (!socket)
        return;
    d->pendingApproval = 0;
    emit approvalEnded(request);
    if (decision == Decision::Deny) {
        d->refuse(socket, ExchangeTls::kReasonDenied);
        return;
    }
    Private::Connection &connection = d->open[socket];
    connection.approval->stop();
    connection.phase = Private::Phase::Open;
    connection.deadline->start(d->requestDeadline);
    d->touch(socket);
    emit deviceAdmitted(connection.fingerprint, connection.device);
    // Frames that came while the user decided are handled now.
    if (d->open.contains(socket))
        d->takeFrames(socket);
}

bool QFExchangeServer::connectionReceived(QTcpSocket *socket, const QString &peer)
{
    ZASSERT(socket != nullptr);
    socket->setParent(this);
    Private::Connection connection;
    connection.peer = peer.isEmpty() ? peerText(socket) : peer;
    connection.address = connection.peer.left(connection.peer.lastIndexOf(u':'));
    if (d->open.size() >= d->maxConnections) {
        // Closed without reading a byte, and without a log line each: a flood stays cheap. The
        // first refusal of a run is logged.
        if (d->refused++ % 1000 == 0)
            systemLog(QStringLiteral("QFExchangeServer: too many connections; closing the one from %1 (%2 so far)")
                          .arg(connection.peer)
                          .arg(d->refused));
        socket->abort();
        socket->deleteLater();
        return false;
    }
    if (!d->theConnections.isActiveConnection(socket))
        d->theConnections.addConnection(socket);

    connection.id = ++d->lastId;
    connection.idleTimer = new QTimer(socket);
    connection.idleTimer->setSingleShot(true);
    connection.deadline = new QTimer(socket);
    connection.deadline->setSingleShot(true);
    if (d->tls)
        connection.firstPhase = Private::Phase::Sniffing;
    // Several users behind one router share an address: those over its limit wait in arrival
    // order, within the overall limit and the hold bound, before a byte is read or TLS begins.
    // Until then the socket buffers at most a frame, so a held peer cannot grow our memory.
    int &fromAddress = d->openPerAddress[connection.address];
    const bool hold = fromAddress >= d->maxConnectionsPerPeer;
    if (hold) {
        connection.phase = Private::Phase::Held;
        connection.deadline->start(d->holdBound);
        socket->setReadBufferSize(d->maxFrameLength);
        d->held[connection.address].append(socket);
    } else {
        ++fromAddress;
    }
    d->open.insert(socket, connection);

    connect(connection.deadline, &QTimer::timeout, this, [this, socket] {
        const auto it = d->open.constFind(socket);
        if (it == d->open.constEnd())
            return;
        if (it->phase == Private::Phase::Held) {
            systemLog(QStringLiteral("QFExchangeServer: connection from %1 waited too long for a place; closed").arg(it->peer));
            d->close(socket, CloseReason::WaitedTooLong);
            return;
        }
        systemLog(QStringLiteral("QFExchangeServer: connection from %1 outlasted its deadline; closed").arg(it->peer));
        d->close(socket, CloseReason::DeadlinePassed);
    });

    connect(connection.idleTimer, &QTimer::timeout, this, [this, socket] {
        systemLog(QStringLiteral("QFExchangeServer: closing idle connection from %1").arg(d->open.value(socket).peer));
        d->close(socket, CloseReason::IdleTimeout);
    });
    connect(socket, &QTcpSocket::readyRead, this, [this, socket] {
        const auto it = d->open.constFind(socket);
        if (it != d->open.constEnd() && it->phase == Private::Phase::Held)
            return;
        if (it != d->open.constEnd() && it->phase == Private::Phase::Sniffing) {
            d->sniff(socket);
            return;
        }
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
        const CloseReason reason = it->ending.value_or(it->answered ? CloseReason::Served : CloseReason::PeerClosed);
        const QString peer = it->peer;
        d->release(socket);
        emit connectionClosed(peer, reason);
    });
    if (!hold)
        d->start(socket);
    return true;
}

void QFExchangeServer::readDataFromRemote(QTcpSocket *socket, const QByteArray &chunk)
{
    ZASSERT(socket != nullptr);
    auto it = d->open.find(socket);
    if (it == d->open.end() || it->finishing || it->phase == Private::Phase::Held)
        return;
    if (chunk.isEmpty()) {
        d->close(socket, CloseReason::PeerClosed);
        return;
    }
    if (it->answerQueued)
        return; // nothing after "sendAB" counts

    QFConnectionPool &pool = d->theConnections;
    if (!pool.isActiveConnection(socket))
        pool.addConnection(socket);
    pool.addData(chunk, socket);
    if (it->phase == Private::Phase::Approval) {
        // Kept for after the answer, within the frame cap.
        if (pool.getDataForConnection(socket).size() > d->maxFrameLength)
            d->protocolProblem(socket, QStringLiteral("more than a frame while waiting for approval"));
        return;
    }
    d->touch(socket);
    d->takeFrames(socket);
}

void QFExchangeServer::Private::takeFrames(QTcpSocket *socket)
{
    QFConnectionPool &pool = theConnections;
    Private *const d = this;
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
        if (open.value(socket).phase == Phase::Hello) {
            if (!hello(socket, *message))
                return;
            continue;
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
    it->finishing = true;
    const quint64 id = it->id;
    // The stamp first: asking it may take in changes that the list must show.
    const QByteArray stamp = d->recordStamp ? d->recordStamp() : QByteArray();
    const OwnerCard card = d->ownerCard ? d->ownerCard() : OwnerCard();
    if (d->isMade(stamp)) {
        d->finishAnswer(socket, id, card, d->encodedRecords, d->encodedCount);
        return;
    }
    // Clients that ask while the list for this state is being made get that list too.
    if (d->isBeingMade(stamp)) {
        d->waiters[d->buildingNumber].append({socket, id, card});
        return;
    }
    d->buildRecords(stamp).append({socket, id, card});
}

void QFExchangeServer::prepareRecords()
{
    // Only for a share that someone downloads, and only when the list for this state is neither
    // made nor being made.
    if (!d->recordStamp || !d->encodedRecords)
        return;
    const QByteArray stamp = d->recordStamp();
    if (!d->isMade(stamp) && !d->isBeingMade(stamp))
        d->buildRecords(stamp);
}

QList<QFExchangeServer::Private::Waiter> &QFExchangeServer::Private::buildRecords(const QByteArray &stamp)
{
    // What the list needs is taken here, next to the store; making and encoding a large list
    // happen on a worker thread, so the event loop goes on serving the others meanwhile.
    RecordJob job;
    if (recordSource)
        job = recordSource();
    else
        job = [list = records ? records() : RecordList()] { return list; };
    const quint64 build = ++lastBuild;
    buildingNumber = build;
    buildingStamp = stamp;
    struct Built
    {
        std::optional<QByteArray> bytes;
        int count = 0;
    };
    // Parented to the server: if the server goes first, the result is dropped with the watcher.
    auto *encoding = new QFutureWatcher<Built>(q);
    QObject::connect(encoding, &QFutureWatcherBase::finished, q, [this, encoding, stamp, build] {
        encoding->deleteLater();
        const Built built = encoding->result();
        // Kept under the stamp of the moment the list was read: a change since then has another
        // stamp, so the next answer builds the list again.
        if (built.bytes && recordStamp && build > encodedBuild) {
            encodedBuild = build;
            encodedRecords = built.bytes;
            encodedStamp = stamp;
            encodedCount = built.count;
        }
        for (const Private::Waiter &waiter : waiters.take(build))
            finishAnswer(waiter.socket, waiter.id, waiter.card, built.bytes, built.count);
    });
    encoding->setFuture(QtConcurrent::run([job = std::move(job)] {
        const RecordList list = job();
        return Built{ExchangeArchive::encodeRecordList(list), static_cast<int>(list.size())};
    }));
    return waiters[build];
}

void QFExchangeServer::Private::finishAnswer(QTcpSocket *socket, quint64 id, const OwnerCard &card,
                                             const std::optional<QByteArray> &records, int recordCount)
{
    // The connection may have ended while its answer was encoded; then the socket is gone too.
    auto it = open.find(socket);
    if (it == open.end() || it->id != id)
        return;
    const QVariantMap message{{kType, kTypeAB},
                              {kRelease, kReleaseValue},
                              {kProduct, kProductValue},
                              {kOwnerData, QVariant::fromValue(card)},
                              {kRecordData, QVariant()}};
    const std::optional<ExchangeArchive::Spliced> around =
        records ? ExchangeArchive::encodeAround(message, kRecordData) : std::nullopt;
    if (!around) {
        systemLog(QStringLiteral("QFExchangeServer: the shared records hold a value that cannot be sent; "
                                 "connection from %1 closed")
                      .arg(it->peer));
        close(socket, CloseReason::EncodingFailed);
        return;
    }
    it->answered = true;
    const QString peer = it->peer;
    theConnections.removeConnection(socket);
    // The list goes out as the bytes kept for it, between a fresh head and tail.
    const qsizetype payload = around->before.size() + records->size() + around->after.size();
    socket->write(QFConnectionPool::frameHeader(payload, socket) + around->before);
    socket->write(*records);
    socket->write(around->after);
    touch(socket);
    emit q->connectionServed(peer, recordCount);
    // Closes once the reply is written; the idle timer still guards a client that stops reading.
    socket->disconnectFromHost();
}
