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
    void lostWhilePublished_data();
    void lostWhilePublished();
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
    QCOMPARE(publisher.port(), quint16(9879));

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

void TestNetServicePublisher::failures_data()
{
    QTest::addColumn<QString>("name");
    QTest::addColumn<bool>("taken");
    QTest::addColumn<bool>("daemon");
    QTest::addColumn<int>("code");
    QTest::newRow("name taken") << u"Taken"_qs << true << true << NetServiceError::Collision;
    QTest::newRow("no daemon") << u"Fine"_qs << false << false << NetServiceError::DaemonNotRunning;
    QTest::newRow("empty name") << QString() << false << true << NetServiceError::BadArgument;
    QTest::newRow("64 bytes") << QString(64, u'x') << false << true << NetServiceError::BadArgument;
    QTest::newRow("32 two-byte letters")
        << QString(32, u'ü') << false << true << NetServiceError::BadArgument;
}

void TestNetServicePublisher::failures()
{
    QFETCH(QString, name);
    QFETCH(bool, taken);
    QFETCH(bool, daemon);
    QFETCH(int, code);
    InProcessDnsSd dnssd;
    if (taken)
        dnssd.takeName(name);
    dnssd.setDaemonRunning(daemon);
    NetServicePublisher publisher(dnssd);
    Spies spies(publisher);
    publisher.publish(name, 9879);
    QTRY_COMPARE(spies.didNot.size(), 1);
    QCOMPARE(spies.didNot[0][0].toInt(), code);
    QCOMPARE(spies.will.size(), 0);
    QVERIFY(!publisher.isPublishing());
    QVERIFY(dnssd.publishedNames().isEmpty());
}

// Published, then the name is claimed by another host or the daemon stops: the failure's code.
void TestNetServicePublisher::lostWhilePublished_data()
{
    QTest::addColumn<bool>("nameClaimed");
    QTest::addColumn<int>("code");
    QTest::newRow("name claimed") << true << int(NetServiceError::Collision);
    QTest::newRow("daemon stops") << false << int(NetServiceError::DaemonNotRunning);
}

void TestNetServicePublisher::lostWhilePublished()
{
    QFETCH(bool, nameClaimed);
    QFETCH(int, code);
    InProcessDnsSd dnssd;
    NetServicePublisher publisher(dnssd);
    Spies spies(publisher);
    publisher.publish(u"Mine"_qs, 9879);
    QTRY_COMPARE(spies.did.size(), 1);
    if (nameClaimed)
        dnssd.claimPublishedName(u"Mine"_qs);
    else
        dnssd.setDaemonRunning(false);
    QTRY_COMPARE(spies.didNot.size(), 1);
    QCOMPARE(spies.didNot[0][0].toInt(), code);
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
