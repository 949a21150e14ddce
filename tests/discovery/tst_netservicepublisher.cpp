#include "inprocessdnssd.h"
#include "netserviceerror.h"
#include "netservicepublisher.h"

#include <QtTest>

// The publisher's callbacks against the in-process responder: what the share service relies on.
class TestNetServicePublisher : public QObject
{
    Q_OBJECT

private slots:
    void publishAnnouncesThenStopWithdraws();
    void failures_data();
    void failures();
    void stopBeforeTheAnswerSaysOnlyStopped();
};

namespace {
struct Spies
{
    explicit Spies(NetServicePublisher &p)
        : will(&p, &NetServicePublisher::netServiceWillPublish),
          did(&p, &NetServicePublisher::netServiceDidPublish),
          didNot(&p, &NetServicePublisher::netServiceDidNotPublish),
          stopped(&p, &NetServicePublisher::netServiceDidStop)
    {
    }
    QSignalSpy will;
    QSignalSpy did;
    QSignalSpy didNot;
    QSignalSpy stopped;
};
} // namespace

void TestNetServicePublisher::publishAnnouncesThenStopWithdraws()
{
    InProcessDnsSd dnssd;
    NetServicePublisher publisher(dnssd);
    Spies spies(publisher);
    publisher.publish(u"My Address Book"_qs, 9879);
    // Never from inside publish().
    QCOMPARE(spies.will.size(), 0);
    QVERIFY(publisher.isPublishing());
    QTRY_COMPARE(spies.will.size(), 1);
    QTRY_COMPARE(spies.did.size(), 1);
    QVERIFY(publisher.isPublished());
    QCOMPARE(dnssd.publishedNames(), QStringList{u"My Address Book"_qs});

    publisher.stop();
    QVERIFY(!publisher.isPublishing());
    QCOMPARE(spies.stopped.size(), 0);
    QTRY_COMPARE(spies.stopped.size(), 1);
    QCOMPARE(spies.didNot.size(), 0);
    // Withdrawn: the same name can be published again by someone else.
    NetServicePublisher other(dnssd);
    Spies otherSpies(other);
    other.publish(u"My Address Book"_qs, 9880);
    QTRY_COMPARE(otherSpies.did.size(), 1);
}

// Refused at once, or lost once published (the name claimed by another host, the daemon gone).
void TestNetServicePublisher::failures_data()
{
    QTest::addColumn<QString>("name");
    QTest::addColumn<bool>("taken");
    QTest::addColumn<bool>("daemon");
    QTest::addColumn<bool>("later");
    QTest::addColumn<int>("code");
    QTest::newRow("name taken") << u"Taken"_qs << true << true << false << NetServiceError::Collision;
    QTest::newRow("no daemon") << u"Fine"_qs << false << false << false << NetServiceError::DaemonNotRunning;
    QTest::newRow("empty name") << QString() << false << true << false << NetServiceError::BadArgument;
    QTest::newRow("64 bytes") << QString(64, u'x') << false << true << false << NetServiceError::BadArgument;
    QTest::newRow("32 two-byte letters") << QString(32, u'ü') << false << true << false << NetServiceError::BadArgument;
    QTest::newRow("name claimed later") << u"Mine"_qs << true << true << true << NetServiceError::Collision;
    QTest::newRow("daemon stops later") << u"Mine"_qs << false << false << true << NetServiceError::DaemonNotRunning;
}

void TestNetServicePublisher::failures()
{
    QFETCH(QString, name);
    QFETCH(bool, taken);
    QFETCH(bool, daemon);
    QFETCH(bool, later);
    QFETCH(int, code);
    InProcessDnsSd dnssd;
    const auto fail = [&] {
        if (taken)
            later ? dnssd.claimPublishedName(name) : dnssd.takeName(name);
        dnssd.setDaemonRunning(daemon);
    };
    if (!later)
        fail();
    NetServicePublisher publisher(dnssd);
    Spies spies(publisher);
    publisher.publish(name, 9879);
    if (later) {
        QTRY_COMPARE(spies.did.size(), 1);
        fail();
    }
    QTRY_COMPARE(spies.didNot.size(), 1);
    QCOMPARE(spies.didNot[0][0].toInt(), code);
    if (later)
        return;
    QCOMPARE(spies.will.size(), 0);
    QVERIFY(!publisher.isPublishing());
    QVERIFY(dnssd.publishedNames().isEmpty());
}

void TestNetServicePublisher::stopBeforeTheAnswerSaysOnlyStopped()
{
    InProcessDnsSd dnssd;
    NetServicePublisher publisher(dnssd);
    Spies spies(publisher);
    publisher.publish(u"Quick"_qs, 9879);
    publisher.stop();
    QTRY_COMPARE(spies.stopped.size(), 1);
    QTest::qWait(20);
    QCOMPARE(spies.will.size(), 0);
    QCOMPARE(spies.didNot.size(), 0);
    QVERIFY(dnssd.publishedNames().isEmpty());
}

QTEST_GUILESS_MAIN(TestNetServicePublisher)
#include "tst_netservicepublisher.moc"
