#include "abglobals.h"
#include "exchangearchive.h"
#include "exchangelistener.h"
#include "qfconnectionpool.h"
#include "qfexchangeclient.h"
#include "qfexchangeserver.h"
#include "recordingplatform.h"
#include "scriptedshare.h"
#include "vcardcommon.h"

#include <QCborArray>
#include <QCborValue>
#include <QElapsedTimer>
#include <QTcpServer>
#include <QTcpSocket>
#include <QtTest>

#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/resource.h>
#include <sys/socket.h>
#include <unistd.h>

// Both ends of the exchange over real sockets on 127.0.0.1: the sequence, and what each side does
// with malformed, split, merged, stalled and truncated input. Everything runs on the test's event
// loop; hand-written peers wait by spinning it.

namespace {

const QVariantMap kKeys{{u"type"_qs, u"keys"_qs}, {u"Keys1"_qs, 12345}};
const QVariantMap kSendAB{{u"type"_qs, u"sendAB"_qs}};
const OwnerCard kCard{{1, u"Ann"_qs}, {2, u"Lee"_qs}, {3, u""_qs}, {11, u"ann@example.org"_qs}};

QPair<QString, QString> alertOf(const char *problem, const char *hint)
{
    return {vCardCommon::getLocMsg(QString::fromLatin1(problem)), vCardCommon::getLocMsg(QString::fromLatin1(hint))};
}

RecordList sampleRecords(int count)
{
    RecordList records;
    for (int i = 0; i < count; ++i) {
        records.append(FlatPerson{
            {kABFirstNameProperty, QStringLiteral("First%1").arg(i)},
            {kABLastNameProperty, i % 3 == 0 ? QString(u""_qs) : QStringLiteral("Läst%1").arg(i)},
            {kABEmailProperty, QVariantList{LabeledValue{{kABWorkLabel, QStringLiteral("p%1@example.org").arg(i)}},
                                            LabeledValue{{kABWorkLabel, QStringLiteral("q%1@example.org").arg(i)}}}},
            {kABAddressProperty, QVariantList{LabeledValue{{kABHomeLabel, QVariantMap{{kABAddressCityKey, u"Graz"_qs}}}}}},
        });
    }
    return records;
}

// A peer written by hand on the test's loop: sends bytes, reads whole frames back.
class RawPeer
{
public:
    explicit RawPeer(quint16 port, const QHostAddress &from = QHostAddress())
    {
        if (!from.isNull())
            socket.bind(from);
        socket.connectToHost(QHostAddress::LocalHost, port);
        pool.addConnection(&socket);
    }
    ~RawPeer() { pool.removeConnection(&socket); }
    bool waitConnected()
    {
        return QTest::qWaitFor([this] { return socket.state() == QAbstractSocket::ConnectedState; }, 5000);
    }
    void send(const QByteArray &bytes) { socket.write(bytes); }
    // The next whole frame's message; nothing when none came in time.
    std::optional<QVariantMap> next(int timeout = 5000)
    {
        if (!QTest::qWaitFor([this] { return absorb(), pool.isConnectionComplete(&socket); }, timeout))
            return std::nullopt;
        const auto payload = pool.unpackDatafromConnection(&socket);
        return payload ? ExchangeArchive::decode(*payload) : std::nullopt;
    }
    bool closedWithin(int timeout = 5000)
    {
        return QTest::qWaitFor([this] { return absorb(), socket.state() == QAbstractSocket::UnconnectedState; },
                               timeout);
    }
    void absorb()
    {
        const QByteArray chunk = socket.readAll();
        if (!chunk.isEmpty())
            pool.addData(chunk, &socket);
    }

    QTcpSocket socket;
    QFConnectionPool pool;
};


// A plain socket to 127.0.0.1 whose kernel buffer takes little, so that a peer which never reads
// soon stops taking the server's writes. -1 when it cannot connect.
int connectWithSmallReceiveBuffer(quint16 port)
{
    const int fd = ::socket(AF_INET, SOCK_STREAM, 0);
    if (fd < 0)
        return -1;
    const int small = 4096;
    ::setsockopt(fd, SOL_SOCKET, SO_RCVBUF, &small, sizeof small);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_port = htons(port);
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    if (::connect(fd, reinterpret_cast<sockaddr *>(&address), sizeof address) != 0) {
        ::close(fd);
        return -1;
    }
    return fd;
}

// The sharing end on a real listening socket.
class Share
{
public:
    Share()
    {
        server.setRecordProvider([this] {
            ++provided;
            return records;
        });
        server.setOwnerCardProvider([] { return kCard; });
        listener.listen(0, QHostAddress::LocalHost);
    }
    quint16 port() const { return listener.serverPort(); }

    QFExchangeServer server;
    ExchangeListener listener{server};
    RecordList records = sampleRecords(3);
    int provided = 0;
};

} // namespace

class TestExchange : public QObject
{
    Q_OBJECT

private slots:
    void framesInAnyChunks_data();
    void framesInAnyChunks();
    void malformedInputAlertsOnceAndCloses_data();
    void malformedInputAlertsOnceAndCloses();
    void malformedConnectionsShareOneAlert();
    void peerLeavingWhileItsAnswerIsPreparedGetsNothing();
    void unencodableAnswerEndsThatConnectionOnly();
    void encodedListIsKeptPerStamp();
    void silentPeerIsClosedAfterTheIdleTime();
    void heldConnectionsWaitTheirTurn_data();
    void heldConnectionsWaitTheirTurn();
    void downloadsFromOneAddressWaitTheirTurn();
    void resetPeerIsNamed();
    void acceptBacksOffWhenDescriptorsRunOut();
    void peerThatNeverReadsDoesNotBlock();
    void peerThatKeepsAskingWithoutReading();
    void clientFailures_data();
    void clientFailures();
    void clientDownloadHasAnOverallBound();
    void clientReadsMergedAndSplitFrames();
};

// Every whole frame in a chunk is handled, whatever the chunks: other types are not answered,
// "keys" with a fresh key, "sendAB" (also as the first) with "AB" and its fields, and what
// follows it is ignored; then the server closes.
void TestExchange::framesInAnyChunks_data()
{
    QTest::addColumn<int>("chunkSize");
    QTest::addColumn<bool>("keysFirst");
    QTest::newRow("all in one") << 0 << true;
    QTest::newRow("one byte each") << 1 << true;
    QTest::newRow("sendAB first") << 0 << false;
}

void TestExchange::framesInAnyChunks()
{
    QFETCH(int, chunkSize);
    QFETCH(bool, keysFirst);
    RecordingPlatform platform;
    Share share;
    share.records.clear();
    RawPeer peer(share.port());
    QVERIFY(peer.waitConnected());
    QByteArray bytes;
    for (const char *type : {"AB", "Keys", "sendab", ""})
        bytes += framed({{u"type"_qs, QString::fromLatin1(type)}});
    bytes += (keysFirst ? framed(kKeys) + framed(kKeys) : QByteArray()) + framed(kSendAB) + framed(kKeys);
    const qsizetype step = chunkSize ? chunkSize : bytes.size();
    for (qsizetype i = 0; i < bytes.size() && peer.socket.state() == QAbstractSocket::ConnectedState; i += step) {
        peer.send(bytes.mid(i, step));
        peer.socket.flush();
        QTest::qWait(1);
    }
    for (int i = 0; i < (keysFirst ? 2 : 0); ++i) {
        const QVariantMap keys = peer.next().value();
        QCOMPARE(keys.value(u"type"_qs), QVariant(u"keys"_qs));
        QVERIFY(keys.value(u"Keys1"_qs).toLongLong() >= 0 && keys.value(u"Keys1"_qs).toLongLong() <= 2147483647);
    }
    const auto ab = peer.next().value();
    QCOMPARE(ab.value(u"type"_qs), QVariant(u"AB"_qs));
    QCOMPARE(ab.value(u"release"_qs), QVariant(u"1.1.1"_qs));
    QCOMPARE(ab.value(u"product"_qs), QVariant(u"zorbix Rendezvous"_qs));
    QCOMPARE(ab.value(u"ABData"_qs).typeId(), QMetaType::QVariantList);
    QVERIFY(ab.value(u"ABData"_qs).toList().isEmpty());
    QCOMPARE(ab.value(u"pData"_qs).value<OwnerCard>(), kCard);
    QVERIFY(peer.closedWithin());
    QVERIFY(!peer.pool.isConnectionComplete(&peer.socket));
    QCOMPARE(share.provided, 1);
    QVERIFY(platform.alerts.isEmpty());
}


void TestExchange::malformedInputAlertsOnceAndCloses_data()
{
    QTest::addColumn<QByteArray>("bytes");
    QByteArray deep("\xa1\x64type", 6);
    deep += QByteArray(10000, '\x81');
    deep += '\x00';
    QTest::newRow("header without digits") << QByteArray("GET / HTTP/1.0\r\n\r\n");
    QTest::newRow("negative length") << QByteArray("-50       +abcdef");
    QTest::newRow("length over the cap") << QByteArray("999999999 +abc");
    QTest::newRow("payload not cbor") << framed("not cbor at all");
    QTest::newRow("cbor list") << framed(QCborValue(QCborArray{u"type"_qs, u"keys"_qs}).toCbor());
    QTest::newRow("map without type") << framed({{u"Keys1"_qs, 1}});
    QTest::newRow("type not text") << framed({{u"type"_qs, 7}});
    QTest::newRow("trailing bytes") << framed(ExchangeArchive::encode(kKeys).value() + "x");
    QTest::newRow("10000 nested arrays") << framed(deep);
    QTest::newRow("after a good frame") << framed(kKeys) + framed("junk");
}

void TestExchange::malformedInputAlertsOnceAndCloses()
{
    QFETCH(QByteArray, bytes);
    RecordingPlatform platform;
    Share share;
    QSignalSpy closed(&share.server, &QFExchangeServer::connectionClosed);
    {
        RawPeer peer(share.port());
        QVERIFY(peer.waitConnected());
        peer.send(bytes);
        QVERIFY(peer.closedWithin());
        // More from the same peer cannot raise more alerts: the connection is gone.
        peer.send(bytes);
    }
    QTRY_COMPARE(closed.size(), 1);
    QCOMPARE(closed.at(0).at(1).value<QFExchangeServer::CloseReason>(), QFExchangeServer::CloseReason::ProtocolProblem);
    QCOMPARE(platform.alerts.size(), 1);
    QCOMPARE(platform.alerts.at(0), alertOf("SC_ServerProtocolProblem", "SC_ServerProtocolHint"));
    QCOMPARE(share.server.connections().connectionCount(), 0);
    QCOMPARE(share.provided, 0);

    // The server goes on serving others.
    QCOMPARE(downloadedFirstNames(share.port()).size(), 3);
    QCOMPARE(platform.alerts.size(), 1);
}

// A peer that reconnects in a loop with junk opens one alert; the rest are logged and counted.
void TestExchange::malformedConnectionsShareOneAlert()
{
    RecordingPlatform platform;
    platform.holdAlerts = true;
    Share share;
    const auto junk = [&share] {
        RawPeer peer(share.port());
        QVERIFY(peer.waitConnected());
        peer.send("GET / HTTP/1.0\r\n\r\n");
        QVERIFY(peer.closedWithin());
    };
    for (int i = 0; i < 4; ++i)
        junk();
    QCOMPARE(platform.alerts.size(), 1);
    QCOMPARE(platform.logLines.filter(u"connection closed"_qs).size(), 4);
    platform.dismissAlerts();
    QVERIFY(platform.logLines.last().contains(u"3 more malformed connections"_qs));
    junk();
    QCOMPARE(platform.alerts.size(), 2);
}

void TestExchange::peerLeavingWhileItsAnswerIsPreparedGetsNothing()
{
    Share share;
    share.records = sampleRecords(20000); // long enough to encode that the peer is gone first
    QSignalSpy closed(&share.server, &QFExchangeServer::connectionClosed);
    QSignalSpy served(&share.server, &QFExchangeServer::connectionServed);
    {
        RawPeer leaving(share.port());
        QVERIFY(leaving.waitConnected());
        leaving.send(framed(kSendAB));
        leaving.socket.flush();
        QDeadlineTimer deadline(10000);
        while (share.provided == 0 && !deadline.hasExpired())
            QTest::qWait(1);
        QCOMPARE(share.provided, 1);
        leaving.socket.abort();
    }
    QTRY_COMPARE(closed.size(), 1);
    QCOMPARE(closed.at(0).at(1).value<QFExchangeServer::CloseReason>(), QFExchangeServer::CloseReason::PeerClosed);
    // The next client gets its own answer; the abandoned one is dropped, not sent to it.
    share.records = sampleRecords(2);
    RawPeer next(share.port());
    QVERIFY(next.waitConnected());
    next.send(framed(kSendAB));
    const auto ab = next.next(20000);
    QVERIFY(ab.has_value());
    QCOMPARE(ab->value(u"ABData"_qs).toList().size(), 2);
    QVERIFY(next.closedWithin());
    QTRY_COMPARE(served.size(), 1);
    QCOMPARE(served.at(0).at(1).toInt(), 2);
}

void TestExchange::unencodableAnswerEndsThatConnectionOnly()
{
    Share share;
    share.records = {FlatPerson{{kABFirstNameProperty, QVariant()}}};
    QSignalSpy closed(&share.server, &QFExchangeServer::connectionClosed);
    RawPeer waiting(share.port());
    QVERIFY(waiting.waitConnected());
    waiting.send(framed(kKeys));
    QVERIFY(waiting.next().has_value());
    RawPeer asking(share.port());
    QVERIFY(asking.waitConnected());
    asking.send(framed(kSendAB));
    QVERIFY(asking.closedWithin());
    QCOMPARE(closed.size(), 1);
    QCOMPARE(closed.at(0).at(1).value<QFExchangeServer::CloseReason>(), QFExchangeServer::CloseReason::EncodingFailed);
    share.records = sampleRecords(1);
    waiting.send(framed(kSendAB));
    QCOMPARE(waiting.next().value().value(u"ABData"_qs).toList(), share.records);
}

// The list is encoded once per stamp, the card every time; after a change (a new stamp) each
// client gets the list of the moment its "sendAB" was answered, also while another's is encoded.
void TestExchange::encodedListIsKeptPerStamp()
{
    Share share;
    QByteArray stamp = "1";
    OwnerCard card = kCard;
    share.server.setRecordStamp([&stamp] { return stamp; });
    share.server.setOwnerCardProvider([&card] { return card; });
    const auto ask = [&share] {
        auto peer = std::make_unique<RawPeer>(share.port());
        peer->waitConnected();
        peer->send(framed(kSendAB));
        return peer;
    };
    QCOMPARE(ask()->next().value().value(u"ABData"_qs).toList(), sampleRecords(3));
    card[1] = u"Changed"_qs;
    const QVariantMap again = ask()->next().value();
    QCOMPARE(again.value(u"ABData"_qs).toList(), sampleRecords(3));
    QCOMPARE(again.value(u"pData"_qs).value<OwnerCard>(), card);
    QCOMPARE(share.provided, 1);

    share.records = sampleRecords(20000); // long enough to encode that the next client comes meanwhile
    stamp = "2";
    const auto first = ask();
    QTRY_COMPARE(share.provided, 2);
    share.records = sampleRecords(5);
    stamp = "3";
    const auto second = ask();
    QCOMPARE(first->next(20000).value().value(u"ABData"_qs).toList().size(), 20000);
    QCOMPARE(second->next(20000).value().value(u"ABData"_qs).toList(), sampleRecords(5));
    QCOMPARE(ask()->next().value().value(u"ABData"_qs).toList(), sampleRecords(5));
    QCOMPARE(share.provided, 3);
    // A list made ahead after a change is made once, and is the one the next client gets.
    share.records = sampleRecords(7);
    stamp = "4";
    share.server.prepareRecords();
    share.server.prepareRecords();
    QTRY_COMPARE(share.provided, 4);
    QCOMPARE(ask()->next().value().value(u"ABData"_qs).toList(), sampleRecords(7));
    share.server.prepareRecords();
    QCOMPARE(share.provided, 4);
}

void TestExchange::silentPeerIsClosedAfterTheIdleTime()
{
    RecordingPlatform platform;
    Share share;
    share.server.setIdleTimeout(150);
    QSignalSpy closed(&share.server, &QFExchangeServer::connectionClosed);
    RawPeer peer(share.port());
    QVERIFY(peer.waitConnected());
    peer.send("60000     +");
    QVERIFY(peer.closedWithin(3000));
    QTRY_COMPARE(closed.size(), 1);
    QCOMPARE(closed.at(0).at(1).value<QFExchangeServer::CloseReason>(), QFExchangeServer::CloseReason::IdleTimeout);
    QVERIFY(platform.alerts.isEmpty());
}

// One place per address and one more connection in all. Peers that drip a byte now and then take
// the place in turn, each closed at its request deadline counted from when it got the place; a
// peer that leaves while held frees its turn; the asker behind them, its request sent while held,
// is answered when its turn comes, unless that is later than the hold bound.
void TestExchange::heldConnectionsWaitTheirTurn_data()
{
    QTest::addColumn<int>("drippersAhead");
    QTest::addColumn<bool>("served");
    QTest::newRow("served at once") << 0 << true;
    QTest::newRow("held past the request deadline") << 2 << true;
    QTest::newRow("held past the hold bound") << 3 << false;
}

void TestExchange::heldConnectionsWaitTheirTurn()
{
    QFETCH(int, drippersAhead);
    QFETCH(bool, served);
    using Reason = QFExchangeServer::CloseReason;
    constexpr int request = 500;
    RecordingPlatform platform;
    Share share;
    share.server.setIdleTimeout(200);
    share.server.setDeadlines(request, 10000);
    share.server.setHoldBound(1250);
    share.server.setConnectionLimits(drippersAhead + 1, 1);
    QElapsedTimer clock;
    clock.start();
    QHash<QString, std::pair<Reason, qint64>> closes;
    QObject::connect(&share.server, &QFExchangeServer::connectionClosed, &share.server,
                     [&](const QString &peer, Reason reason) { closes.insert(peer, {reason, clock.elapsed()}); });
    std::vector<std::unique_ptr<RawPeer>> peers;
    QStringList names; // as the server names them; a closed socket forgets its port
    const auto connectOne = [&](int open) {
        peers.push_back(std::make_unique<RawPeer>(share.port()));
        QVERIFY(peers.back()->waitConnected());
        names << u"127.0.0.1:%1"_qs.arg(peers.back()->socket.localPort());
        QTRY_COMPARE(share.server.openConnectionCount(), open);
    };
    for (int i = 0; i <= drippersAhead; ++i) {
        connectOne(i + 1);
        peers.back()->send("60000     +");
    }
    peers.back()->socket.abort(); // the leaver
    QTRY_COMPARE(share.server.openConnectionCount(), drippersAhead);
    QTimer drip;
    QObject::connect(&drip, &QTimer::timeout, &share.server, [&] {
        for (int i = 0; i < drippersAhead; ++i)
            if (peers[i]->socket.state() == QAbstractSocket::ConnectedState)
                peers[i]->send("a");
    });
    drip.start(50);
    connectOne(drippersAhead + 1);
    RawPeer &asker = *peers.back();
    asker.send(framed(kKeys) + framed(kSendAB));
    RawPeer overTheTotal(share.port(), QHostAddress(u"127.0.0.3"_qs));
    QVERIFY(overTheTotal.closedWithin());
    QCOMPARE(share.server.refusedConnectionCount(), 1);

    if (served) {
        QCOMPARE(asker.next().value().value(u"type"_qs), QVariant(u"keys"_qs));
        QVERIFY(clock.elapsed() >= drippersAhead * request * 9 / 10); // timers may fire a little early
        QCOMPARE(asker.next().value().value(u"ABData"_qs).toList(), share.records);
    }
    QVERIFY(asker.closedWithin());
    QVERIFY(!asker.pool.isConnectionComplete(&asker.socket));
    QTRY_COMPARE_WITH_TIMEOUT(closes.size(), drippersAhead + 2, 5000);
    for (int i = 0; i < drippersAhead; ++i) {
        QCOMPARE(closes.value(names[i]).first, Reason::DeadlinePassed);
        QVERIFY(closes.value(names[i]).second >= (i + 1) * request * 9 / 10);
    }
    QCOMPARE(closes.value(names[drippersAhead]).first, Reason::PeerClosed);
    QCOMPARE(closes.value(names.last()).first, served ? Reason::Served : Reason::WaitedTooLong);
    QCOMPARE(platform.logLines.filter(u"waited too long for a place"_qs).size(), served ? 0 : 1);
    QCOMPARE(share.provided, served ? 1 : 0);
    QVERIFY(platform.alerts.isEmpty());
}

// Many users behind one router: twenty downloads at once from one address all succeed, each
// with the whole list and card, and every connection ends.
void TestExchange::downloadsFromOneAddressWaitTheirTurn()
{
    RecordingPlatform platform;
    Share share;
    int mostOpen = 0;
    QObject::connect(&share.listener, &ExchangeListener::connectionAccepted, &share.server,
                     [&] { mostOpen = std::max(mostOpen, share.server.openConnectionCount()); });
    std::vector<std::unique_ptr<QFExchangeClient>> clients;
    int finished = 0, failed = 0, whole = 0;
    for (int i = 0; i < 20; ++i) {
        clients.push_back(std::make_unique<QFExchangeClient>());
        QObject::connect(clients.back().get(), &QFExchangeClient::finished, &share.server, [&](const QFExchangeReply &r) {
            ++finished;
            whole += r.type == u"AB"_qs && r.records && r.records->toList() == share.records && r.ownerCard == kCard;
        });
        QObject::connect(clients.back().get(), &QFExchangeClient::failed, &share.server, [&] { ++failed; });
        clients.back()->loadServiceByAddress(u"127.0.0.1"_qs, share.port());
    }
    QTRY_COMPARE_WITH_TIMEOUT(finished + failed, 20, 30000);
    QCOMPARE(failed, 0);
    QCOMPARE(whole, 20);
    QVERIFY2(mostOpen > 8, qPrintable(QString::number(mostOpen))); // some were held
    QCOMPARE(share.provided, 20);
    QTRY_COMPARE(share.server.openConnectionCount(), 0);
    QVERIFY(platform.alerts.isEmpty());
}

void TestExchange::resetPeerIsNamed()
{
    Share share;
    QSignalSpy closed(&share.server, &QFExchangeServer::connectionClosed);
    // Connected and reset before the server's loop takes the connection on.
    const int fd = connectWithSmallReceiveBuffer(share.port());
    QVERIFY(fd >= 0);
    const linger reset{1, 0};
    ::setsockopt(fd, SOL_SOCKET, SO_LINGER, &reset, sizeof reset);
    ::close(fd);
    QTRY_COMPARE(closed.size(), 1);
    QVERIFY2(closed.at(0).at(0).toString().startsWith(u"127.0.0.1:"_qs), qPrintable(closed.at(0).at(0).toString()));
}

// With no descriptor left, the server tries again after a pause instead of at once, and takes
// the waiting connections on once descriptors are free.
void TestExchange::acceptBacksOffWhenDescriptorsRunOut()
{
    RecordingPlatform platform;
    Share share;
    int fds[3];
    for (int &fd : fds) {
        fd = connectWithSmallReceiveBuffer(share.port());
        QVERIFY(fd >= 0);
    }
    rlimit old{};
    QVERIFY(::getrlimit(RLIMIT_NOFILE, &old) == 0);
    const int lowestFree = ::dup(0);
    ::close(lowestFree);
    const rlimit none{rlim_t(lowestFree), old.rlim_max};
    QVERIFY(::setrlimit(RLIMIT_NOFILE, &none) == 0);
    QTest::qWait(600);
    ::setrlimit(RLIMIT_NOFILE, &old);
    const qsizetype failures = platform.logLines.filter(u"cannot accept"_qs).size();
    QVERIFY2(failures >= 1 && failures <= 8, qPrintable(QString::number(failures)));
    QTRY_COMPARE(share.server.openConnectionCount(), 3);
    for (int fd : fds)
        ::close(fd);
}

void TestExchange::peerThatNeverReadsDoesNotBlock()
{
    // A plain socket that asks for a large share and never reads the answer.
    Share share;
    share.records = sampleRecords(40000);
    share.server.setIdleTimeout(5000); // long enough for the other answer on a loaded machine
    QSignalSpy closed(&share.server, &QFExchangeServer::connectionClosed);
    const int fd = connectWithSmallReceiveBuffer(share.port());
    QVERIFY(fd >= 0);
    const QByteArray request = framed(kSendAB);
    QCOMPARE(::write(fd, request.constData(), size_t(request.size())), ssize_t(request.size()));
    QTRY_COMPARE(share.provided, 1);

    // Meanwhile another address is served at once.
    share.records = sampleRecords(2);
    RawPeer other(share.port(), QHostAddress(u"127.0.0.2"_qs));
    QVERIFY(other.waitConnected());
    other.send(framed(kSendAB));
    QCOMPARE(other.next(20000).value().value(u"ABData"_qs).toList().size(), 2);

    // The stalled connection is dropped after the idle time.
    QTRY_VERIFY_WITH_TIMEOUT(std::any_of(closed.begin(), closed.end(), [](const QList<QVariant> &args) {
        return args.at(1).value<QFExchangeServer::CloseReason>() == QFExchangeServer::CloseReason::IdleTimeout;
    }), 15000);
    QCOMPARE(share.server.openConnectionCount(), 0);
    ::close(fd);
}

void TestExchange::peerThatKeepsAskingWithoutReading()
{
    Share share;
    share.server.setDeadlines(120000, 120000); // a slow build may take long to fill the backlog
    QSignalSpy closed(&share.server, &QFExchangeServer::connectionClosed);
    const int fd = connectWithSmallReceiveBuffer(share.port());
    QVERIFY(fd >= 0);
    QByteArray burst;
    for (int i = 0; i < 2000; ++i)
        burst += framed(kKeys);
    // Keep sending "keys" (never reading) until the server gives up on us.
    for (int round = 0; round < 200 && closed.isEmpty(); ++round) {
        if (::send(fd, burst.constData(), size_t(burst.size()), MSG_DONTWAIT | MSG_NOSIGNAL) < 0 && errno != EAGAIN)
            break;
        QTest::qWait(5);
    }
    QTRY_COMPARE(closed.size(), 1);
    QCOMPARE(closed.at(0).at(1).value<QFExchangeServer::CloseReason>(), QFExchangeServer::CloseReason::WriteBacklog);
    ::close(fd);
}

// Whatever fails, and when (inside the connect call for some addresses), a download ends with
// exactly one failure and its alert, reported after loadServiceByAddress has returned. After a
// reply it cannot read, the client asks nothing more.
void TestExchange::clientFailures_data()
{
    using F = QFExchangeClient::Failure;
    QTest::addColumn<QString>("host");
    QTest::addColumn<QByteArray>("reply"); // "none": nothing listens
    QTest::addColumn<int>("failure");       // -1: any
    const QString local = u"127.0.0.1"_qs;
    QTest::newRow("refused") << local << QByteArray("none") << int(F::ConnectionRefused);
    QTest::newRow("closes before answering") << local << QByteArray("close") << int(F::ClosedEarly);
    QTest::newRow("half a frame, then silence") << local << framed(kKeys).left(20) << int(F::TimedOut);
    QTest::newRow("IPv6 literal") << u"::1"_qs << QByteArray() << int(F::ConnectFailed);
    QTest::newRow("empty host") << QString() << QByteArray() << int(F::ConnectFailed);
    QTest::newRow("broadcast address") << u"255.255.255.255"_qs << QByteArray() << -1;
    const int bad = int(F::Incompatible);
    QTest::newRow("no type") << local << framed({{u"Keys1"_qs, 3}}) << bad;
    QTest::newRow("not cbor") << local << framed("<html>") << bad;
    QTest::newRow("header without digits") << local << QByteArray("HTTP/1.1 400 Bad Request\r\n\r\n") << bad;
    QTest::newRow("negative length") << local << QByteArray("-1        +xx") << bad;
    QTest::newRow("length over the cap") << local << QByteArray("2000000000+xx") << bad;
    QTest::newRow("length 5") << local << QByteArray("5         +xxxxx") << bad;
    QTest::newRow("ABData not a list") << local << framed({{u"type"_qs, u"AB"_qs}, {u"ABData"_qs, u"x"_qs}}) << bad;
}

void TestExchange::clientFailures()
{
    QFETCH(QString, host);
    QFETCH(QByteArray, reply);
    QFETCH(int, failure);
    RecordingPlatform platform;
    ScriptedShare server({reply, reply});
    if (reply == "none")
        server.listener.close();
    QFExchangeClient client;
    client.setIdleTimeout(300);
    QSignalSpy failed(&client, &QFExchangeClient::failed);
    QSignalSpy finished(&client, &QFExchangeClient::finished);
    client.loadServiceByAddress(host, server.port);
    QCOMPARE(failed.size(), 0);
    QVERIFY(platform.alerts.isEmpty());
    QTRY_COMPARE(failed.size(), 1);
    const bool incompatible = failure == int(QFExchangeClient::Failure::Incompatible);
    if (failure >= 0) {
        QCOMPARE(failed.at(0).at(0).value<QFExchangeClient::Failure>(), QFExchangeClient::Failure(failure));
        QCOMPARE(platform.alerts.value(0), incompatible ? alertOf("SC_NonCompatibleProblem", "SC_NonCompatibleHint")
                                                        : alertOf("BR_NetworkProblem", "BR_NetworkHint"));
    }
    QTest::qWait(50);
    QCOMPARE(failed.size(), 1);
    QCOMPARE(finished.size(), 0);
    QCOMPARE(platform.alerts.size(), 1);
    QCOMPARE(client.state(), QFExchangeClient::State::Finished);
    QCOMPARE(client.connections().connectionCount(), 0);
    if (incompatible)
        QCOMPARE(server.requests, 1);

    // Abandoned before the report comes: no report at all.
    client.loadServiceByAddress(u"::1"_qs, server.port);
    client.abort();
    QTest::qWait(20);
    QCOMPARE(failed.size(), 1);
}

// A server that drips a byte now and then is never silent for the idle time.
void TestExchange::clientDownloadHasAnOverallBound()
{
    RecordingPlatform platform;
    QTcpServer dripper;
    QVERIFY(dripper.listen(QHostAddress::LocalHost, 0));
    QPointer<QTcpSocket> peer;
    QObject::connect(&dripper, &QTcpServer::newConnection, &dripper, [&] {
        peer = dripper.nextPendingConnection();
        peer->write("100       +");
    });
    QTimer drip;
    QObject::connect(&drip, &QTimer::timeout, &dripper, [&] {
        if (peer)
            peer->write("x");
    });
    drip.start(40);
    QFExchangeClient client;
    client.setConnectTimeout(200);
    client.setIdleTimeout(200);
    QSignalSpy failed(&client, &QFExchangeClient::failed);
    client.loadServiceByAddress(u"127.0.0.1"_qs, dripper.serverPort());
    QTRY_COMPARE_WITH_TIMEOUT(failed.size(), 1, 3000);
    QCOMPARE(failed.at(0).at(0).value<QFExchangeClient::Failure>(), QFExchangeClient::Failure::TimedOut);
    QVERIFY(platform.logLines.filter(u"overall bound"_qs).size() == 1);
}

void TestExchange::clientReadsMergedAndSplitFrames()
{
    // Feeding the client's chunk handler directly: keys and AB in one chunk, then byte by byte.
    ScriptedShare server;
    const QVariantMap ab{{u"type"_qs, u"AB"_qs}, {u"ABData"_qs, sampleRecords(4)}, {u"pData"_qs, QVariant::fromValue(kCard)}};
    const QByteArray bytes = framed(kKeys) + framed(ab);
    for (const int chunkSize : {int(bytes.size()), 1, 13}) {
        QFExchangeClient client;
        QSignalSpy finished(&client, &QFExchangeClient::finished);
        QSignalSpy activity(&client, &QFExchangeClient::activity);
        client.loadServiceByAddress(u"127.0.0.1"_qs, server.port);
        QTRY_COMPARE(client.state(), QFExchangeClient::State::WaitingForKeys);
        for (qsizetype i = 0; i < bytes.size() && finished.isEmpty(); i += chunkSize)
            client.readAllTheData(bytes.mid(i, chunkSize));
        QCOMPARE(finished.size(), 1);
        QCOMPARE(finished.at(0).at(0).value<QFExchangeReply>().records.value().toList(), ab.value(u"ABData"_qs).toList());
        QCOMPARE(activity.isEmpty(), chunkSize == bytes.size());
    }
}

QTEST_GUILESS_MAIN(TestExchange)
#include "tst_exchange.moc"
