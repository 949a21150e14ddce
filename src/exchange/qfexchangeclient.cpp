#include "qfexchangeclient.h"

#include "exchangearchive.h"
#include "exchangeprotocol.h"
#include "exchangetls.h"
#include "qfconnectionpool.h"
#include "printabletext.h"
#include "systemlog.h"
#include "vcardcommon.h"
#include "zassert.h"

#include <QElapsedTimer>
#include <QFutureWatcher>
#include <QHostAddress>
#include <algorithm>
#include <climits>
#include <QSslSocket>
#include <QTcpSocket>
#include <QTimer>
#include <QtConcurrent/QtConcurrentRun>

using namespace ExchangeProtocol;

namespace {
// Payloads from this size on are decoded on a worker thread (some 160 ordinary persons).
constexpr qsizetype kBackgroundDecodeSize = 64 * 1024;
} // namespace

struct QFExchangeClient::Private
{
    QFExchangeClient *q;
    QFConnectionPool theConnections;
    QTcpSocket *socket = nullptr;
    QTimer timer; // connect timeout while connecting, idle timeout afterwards
    QTimer deadline; // the whole download, from the connect on
    QElapsedTimer started;
    qint64 deadlineFrameLength = -1; // the frame length the deadline was last set for
    quint64 download = 0; // tells a download's queued failure from a later download's
    State state = State::Idle;
    int connectTimeout = kClientConnectTimeout;
    int idleTimeout = kClientIdleTimeout;
    int maxFrameLength = kClientMaxFrameLength;
    QString peer;
    // A large frame is being decoded on a worker thread; results of an older ticket are dropped.
    bool decoding = false;
    bool closedWhileDecoding = false;
    quint64 decodeTicket = 0;
    std::optional<QSslConfiguration> tls;
    QString deviceName;
    QByteArray expectedFingerprint;
    QSslCertificate serverCertificate;
    bool tcpConnected = false;

    void release();
    void takeFrames();
    void decodeInBackground(const QByteArray &payload);
    void takeMessage(const std::optional<QVariantMap> &message);
    void fail(Failure failure, const QString &why);
    void extendDeadline(qint64 frameLength);
    void send(const QVariantMap &message);
    void handleMessage(const QVariantMap &message);
    void encrypted();
};

// TLS is up: the share's certificate is checked before anything is sent, then "hello" names this
// device and "keys" follows at once (the share holds it while its user decides).
void QFExchangeClient::Private::encrypted()
{
    serverCertificate = static_cast<QSslSocket *>(socket)->peerCertificate();
    const QString problem = ExchangeTls::certificateProblem(serverCertificate);
    if (!problem.isEmpty()) {
        fail(Failure::TlsFailed, QStringLiteral("the share presented %1").arg(problem));
        return;
    }
    const QByteArray fingerprint = ExchangeTls::fingerprint(serverCertificate);
    if (!expectedFingerprint.isEmpty() && fingerprint != expectedFingerprint) {
        fail(Failure::PinMismatch, QStringLiteral("the share presented the certificate %1, not the one expected (%2)")
                                       .arg(QString::fromLatin1(fingerprint.toHex()),
                                            QString::fromLatin1(expectedFingerprint.toHex())));
        return;
    }
    timer.start(idleTimeout);
    state = State::WaitingForKeys;
    if (!theConnections.isActiveConnection(socket))
        theConnections.addConnection(socket);
    send({{kType, ExchangeTls::kTypeHello}, {ExchangeTls::kDevice, deviceName}});
    send({{kType, kTypeKeys}, {kKeys1, nextKey()}});
    emit q->connected();
}

void QFExchangeClient::Private::release()
{
    timer.stop();
    deadline.stop();
    decoding = false;
    closedWhileDecoding = false;
    ++decodeTicket;
    if (!socket)
        return;
    theConnections.removeConnection(socket);
    QObject::disconnect(socket, nullptr, q, nullptr);
    socket->abort();
    socket->deleteLater();
    socket = nullptr;
}

// A failure may be found inside loadServiceByAddress itself (the connect call reports some errors
// at once): the alert and the signal always come from the event loop, so the caller has returned
// and connected to them, and each download ends with exactly one signal.
void QFExchangeClient::Private::fail(Failure failure, const QString &why)
{
    systemLog(QStringLiteral("QFExchangeClient: download from %1 failed: %2").arg(peer, why));
    release();
    state = State::Finished;
    QTimer::singleShot(0, q, [this, failure, current = download] {
        if (download != current)
            return; // abandoned or replaced meanwhile
        ++download;
        switch (failure) {
        case Failure::NoSocket:
            vCardCommon::alertKeys("BR_NetworkProblem", "BR_SystemHint");
            break;
        case Failure::NoStream:
            vCardCommon::alertKeys("BR_NetworkProblem", "BR_FileHint");
            break;
        case Failure::Incompatible:
            vCardCommon::alertKeys("SC_NonCompatibleProblem", "SC_NonCompatibleHint");
            break;
        case Failure::Protected:
            vCardCommon::alertKeys("TR_ProtectedProblem", "TR_ProtectedHint");
            break;
        case Failure::TlsFailed:
            vCardCommon::alertKeys("TR_TlsProblem", "TR_TlsHint");
            break;
        case Failure::Denied:
            vCardCommon::alertKeys("TR_DeniedProblem", "TR_DeniedHint");
            break;
        case Failure::NotAnswered:
            vCardCommon::alertKeys("TR_NotAnsweredProblem", "TR_NotAnsweredHint");
            break;
        case Failure::PinMismatch:
            break;
        case Failure::ConnectionRefused:
        case Failure::ConnectFailed:
        case Failure::ClosedEarly:
        case Failure::TimedOut:
            vCardCommon::alertKeys("BR_NetworkProblem", "BR_NetworkHint");
            break;
        }
        emit q->failed(failure);
    });
}

// Silence is timed by the idle timer; this bounds the whole download, so that a server dripping a
// byte now and then cannot hold it for good. The bound grows with the frame the server announces.
void QFExchangeClient::Private::extendDeadline(qint64 frameLength)
{
    if (frameLength <= deadlineFrameLength)
        return;
    deadlineFrameLength = frameLength;
    const qint64 total = downloadDeadline(connectTimeout, idleTimeout, frameLength);
    deadline.start(int(std::clamp<qint64>(total - started.elapsed(), 0, INT_MAX)));
}

void QFExchangeClient::Private::send(const QVariantMap &message)
{
    const std::optional<QByteArray> payload = ExchangeArchive::encode(message);
    ZASSERT(payload.has_value()); // our own requests hold only texts and numbers
    socket->write(QFConnectionPool::packData(*payload, socket));
}

QFExchangeClient::QFExchangeClient(QObject *parent) : QObject(parent), d(std::make_unique<Private>())
{
    d->q = this;
    d->timer.setSingleShot(true);
    d->deadline.setSingleShot(true);
    connect(&d->deadline, &QTimer::timeout, this, [this] {
        d->fail(Failure::TimedOut, QStringLiteral("the download took longer than its overall bound"));
    });
    connect(&d->timer, &QTimer::timeout, this, [this] {
        d->fail(Failure::TimedOut, d->state == State::Connecting ? QStringLiteral("connect timed out")
                                                                 : QStringLiteral("no data within the idle time"));
    });
}

QFExchangeClient::~QFExchangeClient()
{
    d->release();
}

void QFExchangeClient::setConnectTimeout(int milliseconds)
{
    ZASSERT(milliseconds > 0);
    d->connectTimeout = milliseconds;
}

int QFExchangeClient::connectTimeout() const
{
    return d->connectTimeout;
}

void QFExchangeClient::setIdleTimeout(int milliseconds)
{
    ZASSERT(milliseconds > 0);
    d->idleTimeout = milliseconds;
}

int QFExchangeClient::idleTimeout() const
{
    return d->idleTimeout;
}

void QFExchangeClient::setMaxFrameLength(int bytes)
{
    ZASSERT(bytes > QFConnectionPool::kHeaderLength);
    d->maxFrameLength = bytes;
}

int QFExchangeClient::maxFrameLength() const
{
    return d->maxFrameLength;
}

bool QFExchangeClient::isUsableHost(const QString &host)
{
    if (host.isEmpty())
        return false;
    // Shares listen on IPv4 only; a text with a colon or brackets is an IPv6 form.
    if (host.contains(u':') || host.startsWith(u'['))
        return false;
    QHostAddress address;
    return !address.setAddress(host) || address.protocol() == QAbstractSocket::IPv4Protocol;
}

qint64 QFExchangeClient::downloadDeadline(int connectTimeout, int idleTimeout, qint64 frameLength)
{
    return qint64(connectTimeout) + 2 * qint64(idleTimeout) + frameLength * 1000 / kClientSlowestRate;
}

void QFExchangeClient::setTls(const QSslConfiguration &configuration, const QString &deviceName)
{
    d->tls = configuration;
    d->deviceName = deviceName;
}

void QFExchangeClient::clearTls()
{
    d->tls.reset();
    d->expectedFingerprint.clear();
}

void QFExchangeClient::setExpectedFingerprint(const QByteArray &fingerprint)
{
    d->expectedFingerprint = fingerprint;
}

QSslCertificate QFExchangeClient::serverCertificate() const
{
    return d->serverCertificate;
}

QFExchangeClient::State QFExchangeClient::state() const
{
    return d->state;
}

const QFConnectionPool &QFExchangeClient::connections() const
{
    return d->theConnections;
}

void QFExchangeClient::abort()
{
    d->release();
    ++d->download;
    d->state = State::Idle;
}

void QFExchangeClient::loadServiceByAddress(const QString &host, quint16 port)
{
    abort();
    d->peer = QStringLiteral("%1:%2").arg(host).arg(port);
    d->state = State::Connecting;
    d->started.start();
    d->deadlineFrameLength = -1;
    d->extendDeadline(0);
    if (!isUsableHost(host)) {
        d->fail(Failure::ConnectFailed, QStringLiteral("only IPv4 addresses and host names can be used"));
        return;
    }
    d->serverCertificate = QSslCertificate();
    d->tcpConnected = false;
    d->socket = d->tls ? new QSslSocket(this) : new QTcpSocket(this);
    QTcpSocket *socket = d->socket;

    connect(socket, &QTcpSocket::connected, this, [this, socket] {
        d->tcpConnected = true;
        if (d->tls)
            return; // the connect time also covers the TLS handshake
        d->timer.start(d->idleTimeout);
        d->state = State::WaitingForKeys;
        if (!d->theConnections.isActiveConnection(socket))
            d->theConnections.addConnection(socket);
        d->send({{kType, kTypeKeys}, {kKeys1, nextKey()}});
        emit connected();
    });
    connect(socket, &QTcpSocket::readyRead, this, [this, socket] {
        const QByteArray chunk = socket->readAll();
        if (!chunk.isEmpty())
            readAllTheData(chunk);
    });
    connect(socket, &QTcpSocket::bytesWritten, this, [this] {
        if (d->state != State::Connecting)
            d->timer.start(d->idleTimeout);
    });
    connect(socket, &QTcpSocket::errorOccurred, this, [this, socket](QAbstractSocket::SocketError error) {
        if (d->state != State::Connecting)
            return; // once connected, the end of the stream is handled as an empty chunk
        const QString why = socket->errorString();
        if (d->tls && d->tcpConnected) {
            d->fail(Failure::TlsFailed, why);
            return;
        }
        switch (error) {
        case QAbstractSocket::ConnectionRefusedError:
            d->fail(Failure::ConnectionRefused, why);
            break;
        case QAbstractSocket::SocketResourceError:
        case QAbstractSocket::UnsupportedSocketOperationError:
            d->fail(Failure::NoSocket, why);
            break;
        case QAbstractSocket::SocketAccessError:
        case QAbstractSocket::UnknownSocketError:
            d->fail(Failure::NoStream, why);
            break;
        case QAbstractSocket::SocketTimeoutError:
            d->fail(Failure::TimedOut, why);
            break;
        default:
            d->fail(Failure::ConnectFailed, why);
            break;
        }
    });
    connect(socket, &QTcpSocket::disconnected, this, [this, socket] {
        // Whatever arrived with the close is still handled before the close itself.
        if (socket->bytesAvailable() > 0) {
            const QByteArray rest = socket->readAll();
            readAllTheData(rest);
        }
        if (d->socket == socket)
            readAllTheData(QByteArray());
    });

    d->timer.start(d->connectTimeout);
    if (d->tls) {
        auto *ssl = static_cast<QSslSocket *>(socket);
        connect(ssl, &QSslSocket::encrypted, this, [this] { d->encrypted(); });
        ssl->setSslConfiguration(*d->tls);
        ssl->connectToHostEncrypted(host, port, QIODevice::ReadWrite, QAbstractSocket::IPv4Protocol);
        return;
    }
    socket->connectToHost(host, port, QIODevice::ReadWrite, QAbstractSocket::IPv4Protocol);
}

void QFExchangeClient::readAllTheData(const QByteArray &chunk)
{
    QTcpSocket *socket = d->socket;
    if (!socket || d->state == State::Finished || d->state == State::Idle)
        return;
    if (chunk.isEmpty()) {
        // The server closes right after its answer: while that answer is being decoded, the
        // close only counts if the answer turns out not to end the download.
        if (d->decoding)
            d->closedWhileDecoding = true;
        else
            d->fail(Failure::ClosedEarly, QStringLiteral("the server closed the connection before answering"));
        return;
    }
    QFConnectionPool &pool = d->theConnections;
    if (!pool.isActiveConnection(socket))
        pool.addConnection(socket);
    pool.addData(chunk, socket);
    if (d->decoding)
        return; // taken up once the frame before is decoded
    d->timer.start(d->idleTimeout);
    d->takeFrames();
}

void QFExchangeClient::Private::takeFrames()
{
    QTcpSocket *const current = socket;
    QFConnectionPool &pool = theConnections;
    while (socket == current && state != State::Finished) {
        if (!pool.isConnectionComplete(current)) {
            // A header that is whole but declares a negative length or more than we accept will
            // never give a frame we want: end here rather than buffer without bound.
            const QByteArray buffered = pool.getDataForConnection(current);
            const int declared = buffered.size() > QFConnectionPool::kHeaderLength
                                     ? QFConnectionPool::parseDeclaredLength(buffered.constData(), QFConnectionPool::kLengthDigits)
                                     : 0;
            if (declared < 0 || declared > maxFrameLength) {
                fail(Failure::Incompatible, QStringLiteral("declared frame length %1 out of range").arg(declared));
                return;
            }
            if (declared > 0) {
                pool.reserveDataForConnection(declared, current);
                extendDeadline(declared);
            }
            // A chunk that ended exactly with a frame leaves nothing in progress.
            if (!buffered.isEmpty())
                emit q->activity(buffered.size(), declared);
            return;
        }
        const std::optional<QByteArray> payload = pool.unpackDatafromConnection(current);
        if (!payload) {
            fail(Failure::Incompatible, QStringLiteral("frame without a payload"));
            return;
        }
        if (payload->size() >= kBackgroundDecodeSize) {
            decodeInBackground(*payload);
            return;
        }
        takeMessage(ExchangeArchive::decode(*payload, kRecordData));
    }
}

// A large record list takes a second or more to check: that happens on a worker thread, so the
// window keeps answering meanwhile. Frames that arrive in the meantime wait in the buffer.
void QFExchangeClient::Private::decodeInBackground(const QByteArray &payload)
{
    decoding = true;
    timer.stop();
    const quint64 ticket = ++decodeTicket;
    auto *watcher = new QFutureWatcher<std::optional<QVariantMap>>(q);
    QObject::connect(watcher, &QFutureWatcherBase::finished, q, [this, watcher, ticket] {
        watcher->deleteLater();
        if (ticket != decodeTicket)
            return; // the download was abandoned meanwhile
        decoding = false;
        takeMessage(watcher->result());
        if (!socket || state == State::Finished || decoding)
            return;
        timer.start(idleTimeout);
        takeFrames();
        if (closedWhileDecoding && socket && state != State::Finished && !decoding)
            fail(Failure::ClosedEarly, QStringLiteral("the server closed the connection before answering"));
    });
    watcher->setFuture(QtConcurrent::run([payload] { return ExchangeArchive::decode(payload, kRecordData); }));
}

void QFExchangeClient::Private::takeMessage(const std::optional<QVariantMap> &message)
{
    if (!message || message->value(kType).typeId() != QMetaType::QString) {
        fail(Failure::Incompatible, QStringLiteral("reply that is not a message"));
        return;
    }
    handleMessage(*message);
}

void QFExchangeClient::Private::handleMessage(const QVariantMap &message)
{
    const QString type = message.value(kType).toString();
    if (type == ExchangeTls::kTypeProtected) {
        fail(Failure::Protected, QStringLiteral("the share lets in only devices its user approves; it speaks TLS"));
        return;
    }
    if (tls && type == ExchangeTls::kTypeWait) {
        // The sharer decides now: silence is expected for up to the approval time.
        timer.start(ExchangeTls::kApprovalTimeout + idleTimeout);
        deadline.start(int(std::min<qint64>(deadline.remainingTime() + ExchangeTls::kApprovalTimeout, INT_MAX)));
        emit q->waitingForApproval(ExchangeTls::verificationCode(serverCertificate, tls->localCertificate()));
        return;
    }
    if (tls && type == ExchangeTls::kTypeDenied) {
        const bool denied = message.value(ExchangeTls::kReason).toString() == ExchangeTls::kReasonDenied;
        fail(denied ? Failure::Denied : Failure::NotAnswered,
             QStringLiteral("the share did not admit this device (%1)").arg(printableText(message.value(ExchangeTls::kReason).toString())));
        return;
    }
    if (type == kTypeKeys) {
        state = State::WaitingForAB;
        send({{kType, kTypeSendAB}});
        return;
    }
    QFExchangeReply reply;
    reply.type = type;
    reply.serverFingerprint = ExchangeTls::fingerprint(serverCertificate);
    if (type == kTypeAB) {
        const auto records = message.constFind(kRecordData);
        if (records != message.constEnd()) {
            if (records->typeId() != QMetaType::fromType<ArchivedRecords>().id()) {
                fail(Failure::Incompatible, QStringLiteral("\"ABData\" is not a list"));
                return;
            }
            reply.records = records->value<ArchivedRecords>();
        }
        const auto card = message.constFind(kOwnerData);
        if (card != message.constEnd()) {
            if (card->typeId() == QMetaType::fromType<OwnerCard>().id())
                reply.ownerCard = card->value<OwnerCard>();
            else if (card->typeId() == QMetaType::QVariantMap && card->toMap().isEmpty())
                reply.ownerCard = OwnerCard(); // an empty map has no key kind
            else // the records are worth keeping without the card (text keys, other values)
                systemLog(QStringLiteral("QFExchangeClient: the sharer's card (\"pData\") is not a map of "
                                         "integer to text; the records are kept without it"));
        }
    }
    // "AB" or any other type ends the exchange; the browser decides what each means.
    release();
    state = State::Finished;
    emit q->finished(reply);
}
