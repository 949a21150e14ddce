#include "abglobals.h"
#include "deviceidentity.h"
#include "exchangelistener.h"
#include "exchangetls.h"
#include "qfexchangeclient.h"
#include "qfexchangeserver.h"
#include "recordingplatform.h"

#include <QSslSocket>
#include <QTcpServer>
#include <QTcpSocket>
#include <QtTest>

// Protected shares over real sockets on 127.0.0.1: who is let in, what an unknown, denied, stale
// or plain peer gets (checked on the wire through a recording relay), and hostile handshakes.

namespace {

using Failure = QFExchangeClient::Failure;
using Reason = QFExchangeServer::CloseReason;
using Decision = QFExchangeServer::Decision;

// A marker that shows up in the wire bytes of every record sent in clear text.
const QString kMarker = QStringLiteral("Zyxwvutsrq");

RecordList records(int count)
{
    RecordList list;
    for (int i = 0; i < count; ++i)
        list.append(FlatPerson{{kABFirstNameProperty, kMarker + QString::number(i)},
                               {kABLastNameProperty, QStringLiteral("Lee")}});
    return list;
}

// Forwards one connection to the share and keeps every byte that went each way.
class Relay : public QObject
{
public:
    explicit Relay(quint16 target)
    {
        server.listen(QHostAddress::LocalHost);
        connect(&server, &QTcpServer::newConnection, this, [this, target] {
            in = server.nextPendingConnection();
            out.connectToHost(QHostAddress::LocalHost, target);
            connect(in, &QTcpSocket::readyRead, this, [this] { pump(in, &out, toServer); });
            connect(&out, &QTcpSocket::readyRead, this, [this] { pump(&out, in, toClient); });
            connect(&out, &QTcpSocket::connected, this, [this] { pump(in, &out, toServer); });
            connect(&out, &QTcpSocket::disconnected, in, &QTcpSocket::disconnectFromHost);
            connect(in, &QTcpSocket::disconnected, &out, &QTcpSocket::disconnectFromHost);
        });
    }
    void pump(QTcpSocket *from, QTcpSocket *to, QByteArray &log)
    {
        if (to->state() != QAbstractSocket::ConnectedState)
            return;
        const QByteArray bytes = from->readAll();
        log += bytes;
        to->write(bytes);
    }
    QTcpServer server;
    QTcpSocket *in = nullptr;
    QTcpSocket out;
    QByteArray toServer;
    QByteArray toClient;
};

// The bytes of TLS records of a type (0x17: application data) after the first n of that type.
qsizetype recordBytes(const QByteArray &stream, char type)
{
    qsizetype total = 0;
    for (qsizetype i = 0; i + 5 <= stream.size();) {
        const qsizetype length = (quint8(stream[i + 3]) << 8) | quint8(stream[i + 4]);
        if (stream[i] == type)
            total += length;
        i += 5 + length;
    }
    return total;
}

} // namespace

class TestTrust : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void init();
    void admission_data();
    void admission();
    void deniedDeviceSeesNoRecordOnTheWire();
    void hostileHandshakesAreRefused_data();
    void hostileHandshakesAreRefused();
    void manyHandshakesAtOnce();
    void identityIsKeptPrivateAndReadBack();

private:
    struct Result
    {
        std::optional<QFExchangeReply> reply;
        std::optional<Failure> failure;
        QString clientCode;
    };
    Result download(const DeviceIdentity &identity, quint16 port, const QByteArray &expected = {});
    QByteArray clientHello();

    RecordingPlatform m_platform;
    std::optional<DeviceIdentity> m_share, m_known, m_stranger, m_expired;
    std::unique_ptr<QFExchangeServer> m_server;
    std::unique_ptr<ExchangeListener> m_listener;
    QList<Reason> m_closed;
    QString m_serverCode;
    std::optional<Decision> m_decision; // what the sharer answers; nothing: no answer
    int m_asked = 0;
};

void TestTrust::initTestCase()
{
    const QDateTime now = QDateTime::currentDateTimeUtc();
    m_share = DeviceIdentity::generate(now.addDays(-1), now.addYears(1));
    m_known = DeviceIdentity::generate(now.addDays(-1), now.addYears(1));
    m_stranger = DeviceIdentity::generate(now.addDays(-1), now.addYears(1));
    m_expired = DeviceIdentity::generate(now.addDays(-10), now.addDays(-1));
    QVERIFY(m_share && m_known && m_stranger && m_expired);
}

void TestTrust::init()
{
    m_listener.reset();
    m_server = std::make_unique<QFExchangeServer>();
    m_server->setRecordProvider([] { return records(2000); });
    m_server->setProtection(ExchangeTls::configuration(m_share->certificate(), m_share->privateKey()),
                            [this](const QByteArray &fp) { return fp == m_known->fingerprint(); });
    m_server->setApprovalTimeout(500);
    m_server->setDeadlines(1500, 10000);
    m_listener = std::make_unique<ExchangeListener>(*m_server);
    QVERIFY(m_listener->listen(0, QHostAddress::LocalHost));
    m_closed.clear();
    m_serverCode.clear();
    m_decision.reset();
    m_asked = 0;
    connect(m_server.get(), &QFExchangeServer::connectionClosed, this, [this](const QString &, Reason r) { m_closed.append(r); });
    connect(m_server.get(), &QFExchangeServer::approvalRequested, this,
            [this](quint64 request, const QString &, const QString &device, const QByteArray &, const QString &code) {
                ++m_asked;
                m_serverCode = code;
                QCOMPARE(device, u"laptop"_qs);
                if (m_decision)
                    QTimer::singleShot(50, m_server.get(), [this, request] { m_server->answerApproval(request, *m_decision); });
            });
}

TestTrust::Result TestTrust::download(const DeviceIdentity &identity, quint16 port, const QByteArray &expected)
{
    QFExchangeClient client;
    client.setTls(ExchangeTls::configuration(identity.certificate(), identity.privateKey()), u"lap\ntop"_qs);
    client.setExpectedFingerprint(expected);
    Result result;
    connect(&client, &QFExchangeClient::finished, this, [&](const QFExchangeReply &r) { result.reply = r; });
    connect(&client, &QFExchangeClient::failed, this, [&](Failure f) { result.failure = f; });
    connect(&client, &QFExchangeClient::waitingForApproval, this, [&](const QString &code) { result.clientCode = code; });
    client.loadServiceByAddress(u"127.0.0.1"_qs, port);
    [&] { QTRY_VERIFY_WITH_TIMEOUT(result.reply || result.failure, 10000); }();
    return result;
}

void TestTrust::admission_data()
{
    QTest::addColumn<int>("who"); // 0 known, 1 stranger, 2 expired client certificate
    QTest::addColumn<int>("decision"); // -1 no answer, else a Decision
    QTest::addColumn<bool>("pinOther"); // the client expects another certificate
    QTest::addColumn<int>("failure"); // -1: served
    QTest::addColumn<int>("asked");
    QTest::addColumn<Reason>("closed");

    QTest::newRow("known device") << 0 << -1 << false << -1 << 0 << Reason::Served;
    QTest::newRow("allowed once") << 1 << int(Decision::AllowOnce) << false << -1 << 1 << Reason::Served;
    QTest::newRow("always allowed") << 1 << int(Decision::AlwaysAllow) << false << -1 << 1 << Reason::Served;
    QTest::newRow("denied") << 1 << int(Decision::Deny) << false << int(Failure::Denied) << 1 << Reason::NotAdmitted;
    QTest::newRow("no answer") << 1 << -1 << false << int(Failure::NotAnswered) << 1 << Reason::NotAdmitted;
    QTest::newRow("pinned to another") << 0 << -1 << true << int(Failure::PinMismatch) << 0 << Reason::PeerClosed;
    QTest::newRow("expired client certificate") << 2 << -1 << false << int(Failure::ClosedEarly) << 0 << Reason::TlsFailed;
}

void TestTrust::admission()
{
    QFETCH(int, who);
    QFETCH(int, decision);
    QFETCH(bool, pinOther);
    QFETCH(int, failure);
    QFETCH(int, asked);
    QFETCH(Reason, closed);
    if (decision >= 0)
        m_decision = Decision(decision);
    const DeviceIdentity &identity = who == 0 ? *m_known : who == 1 ? *m_stranger : *m_expired;
    const Result result = download(identity, m_listener->serverPort(), pinOther ? m_stranger->fingerprint() : QByteArray());
    if (failure < 0) {
        QVERIFY(result.reply);
        QCOMPARE(result.reply->records->size(), 2000);
        QCOMPARE(result.reply->serverFingerprint, m_share->fingerprint());
    } else {
        QVERIFY(result.failure);
        QCOMPARE(int(*result.failure), failure);
    }
    QCOMPARE(m_asked, asked);
    // Both ends show the same code.
    QCOMPARE(result.clientCode, m_serverCode);
    // A client that leaves at once may do so before the server finished its side of the handshake.
    QTRY_COMPARE(m_closed.size(), 1);
    if (!(pinOther && m_closed.first() == Reason::TlsFailed))
        QCOMPARE(m_closed.first(), closed);
}

void TestTrust::deniedDeviceSeesNoRecordOnTheWire()
{
    // Allowed: the records travel (encrypted); denied: nothing past the notices; plain: one notice.
    qsizetype allowedBytes = 0;
    for (const std::optional<Decision> decision : {std::optional(Decision::AllowOnce), std::optional(Decision::Deny)}) {
        m_decision = decision;
        Relay relay(m_listener->serverPort());
        const Result result = download(*m_stranger, relay.server.serverPort());
        QVERIFY(!relay.toClient.contains(kMarker.toUtf8()));
        const qsizetype appData = recordBytes(relay.toClient, 0x17);
        if (decision == Decision::AllowOnce) {
            QVERIFY(result.reply);
            allowedBytes = appData;
        } else {
            QCOMPARE(result.failure, Failure::Denied);
            // Handshake, session tickets, "wait", "denied" and close_notify: a few kilobytes at most.
            QVERIFY2(appData < 6000 && allowedBytes > 40000, qPrintable(QStringLiteral("%1 %2").arg(appData).arg(allowedBytes)));
        }
    }

    Relay relay(m_listener->serverPort());
    QTcpSocket plain;
    plain.connectToHost(QHostAddress::LocalHost, relay.server.serverPort());
    QVERIFY(plain.waitForConnected(5000));
    plain.write("24        +\xa2" "dtypedkeyseKeys1\x01"); // "keys" in plain
    QTRY_COMPARE(plain.state(), QAbstractSocket::UnconnectedState);
    QVERIFY(relay.toClient.contains("protected"));
    QVERIFY(!relay.toClient.contains(kMarker.toUtf8()));
    QVERIFY(relay.toClient.size() < 40);
    QTRY_COMPARE(m_closed.last(), Reason::PlainPeer);
}

// A ClientHello as a real TLS client sends it, taken from the wire.
QByteArray TestTrust::clientHello()
{
    QTcpServer catcher;
    catcher.listen(QHostAddress::LocalHost);
    QSslSocket client;
    client.setSslConfiguration(ExchangeTls::configuration(m_known->certificate(), m_known->privateKey()));
    client.connectToHostEncrypted(u"127.0.0.1"_qs, catcher.serverPort());
    QByteArray hello;
    QTcpSocket *in = nullptr;
    (void)QTest::qWaitFor([&] {
        in = in ? in : catcher.nextPendingConnection();
        return (hello += in ? in->readAll() : QByteArray()).size() >= 100;
    }, 5000);
    return hello;
}

void TestTrust::hostileHandshakesAreRefused_data()
{
    QTest::addColumn<QByteArray>("bytes"); // sent raw; "tls1.2" for a client that stops at TLS 1.2
    QTest::addColumn<Reason>("closed");
    QTest::newRow("garbage handshake") << QByteArray("\x16\x03\x01\x00\x05garbagegarbage", 19) << Reason::TlsFailed;
    QTest::newRow("plain frame after ClientHello") << QByteArray("hello+keys") << Reason::TlsFailed;
    QTest::newRow("stops mid-handshake") << QByteArray("hello") << Reason::DeadlinePassed;
    QTest::newRow("TLS 1.2 only") << QByteArray("tls1.2") << Reason::TlsFailed;
}

void TestTrust::hostileHandshakesAreRefused()
{
    QFETCH(QByteArray, bytes);
    QFETCH(Reason, closed);
    QSslSocket peer;
    if (bytes == "tls1.2") {
        QSslConfiguration config = ExchangeTls::configuration(m_known->certificate(), m_known->privateKey());
        config.setProtocol(QSsl::TlsV1_2);
        peer.setSslConfiguration(config);
        peer.connectToHostEncrypted(u"127.0.0.1"_qs, m_listener->serverPort());
    } else {
        peer.connectToHost(QHostAddress::LocalHost, m_listener->serverPort());
        QVERIFY(peer.waitForConnected(5000));
        if (bytes.startsWith("hello")) {
            const QByteArray hello = clientHello();
            QVERIFY(hello.startsWith(ExchangeTls::kHandshakeByte));
            bytes = bytes == "hello" ? hello : hello + "24        +\xa2" "dtypedkeyseKeys1\x01";
        }
        peer.write(bytes);
    }
    QTRY_COMPARE_WITH_TIMEOUT(m_closed, QList<Reason>{closed}, 5000);
    QVERIFY(!peer.isEncrypted());
    QCOMPARE(m_server->openConnectionCount(), 0);
    // The share still serves.
    QVERIFY(download(*m_known, m_listener->serverPort()).reply);
}

void TestTrust::manyHandshakesAtOnce()
{
    m_server->setConnectionLimits(128, 128);
    m_server->setDeadlines(30000, 30000);
    m_server->setRecordProvider([] { return records(10); });
    std::vector<std::unique_ptr<QFExchangeClient>> clients;
    int served = 0;
    int failed = 0;
    for (int i = 0; i < 100; ++i) {
        clients.push_back(std::make_unique<QFExchangeClient>());
        clients.back()->setTls(ExchangeTls::configuration(m_known->certificate(), m_known->privateKey()), u"laptop"_qs);
        connect(clients.back().get(), &QFExchangeClient::finished, this, [&served] { ++served; });
        connect(clients.back().get(), &QFExchangeClient::failed, this, [&failed] { ++failed; });
        clients.back()->loadServiceByAddress(u"127.0.0.1"_qs, m_listener->serverPort());
    }
    QElapsedTimer took;
    took.start();
    QTRY_COMPARE_WITH_TIMEOUT(served + failed, 100, 60000);
    QCOMPARE(served, 100);
    qInfo("100 protected downloads at once took %lld ms", took.elapsed());
}

void TestTrust::identityIsKeptPrivateAndReadBack()
{
    QTemporaryDir dir;
    const QString path = dir.filePath(u"identity"_qs);
    const std::optional<DeviceIdentity> made = DeviceIdentity::loadOrCreate(path);
    QVERIFY(made);
    const auto others = QFile::ReadGroup | QFile::WriteGroup | QFile::ReadOther | QFile::WriteOther;
    QCOMPARE(QFile::permissions(path + u"/key.pem"_qs) & others, 0);
    QFile::setPermissions(path + u"/key.pem"_qs, QFile::ReadOwner | QFile::WriteOwner | QFile::ReadOther);
    const std::optional<DeviceIdentity> again = DeviceIdentity::loadOrCreate(path);
    QVERIFY(again);
    QCOMPARE(again->fingerprint(), made->fingerprint());
    QCOMPARE(QFile::permissions(path + u"/key.pem"_qs) & others, 0);
    QCOMPARE(made->privateKey().algorithm(), QSsl::Ec);
    const QString text = DeviceIdentity::fingerprintText(made->fingerprint());
    QCOMPARE(text.size(), 79);
    QCOMPARE(DeviceIdentity::parseFingerprint(text.toLower().replace(u' ', u':')), made->fingerprint());
}

QTEST_MAIN(TestTrust)
#include "tst_trust.moc"
