// Without avahi-daemon: a private bus on which nobody owns the Avahi name, and no bus at all.
// Publishing must fail with a code (so the user gets the alert that says to start the daemon),
// browsing must stay empty, and nothing may hang or crash.
#include "avahibackend.h"
#include "netserviceerror.h"
#include "netservicepublisher.h"
#include "qfrendezvousclient.h"

#include <QtTest>

#include <signal.h>

class TestAvahiNoDaemon : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void cleanupTestCase();
    void publishingFailsWithACode();
    void browsingStaysEmpty();
    void cliSaysWhy_data();
    void cliSaysWhy();

private:
    QByteArray m_busAddress;
    qint64 m_busPid = 0;
};

void TestAvahiNoDaemon::initTestCase()
{
    // The bus must be ours before libavahi-client looks for the system bus.
    QProcess bus;
    bus.start(u"dbus-daemon"_qs, {u"--session"_qs, u"--fork"_qs, u"--print-address=1"_qs, u"--print-pid=1"_qs,
                                  u"--nopidfile"_qs});
    QVERIFY(bus.waitForFinished(10000));
    const QList<QByteArray> lines = bus.readAllStandardOutput().trimmed().split('\n');
    QCOMPARE(lines.size(), 2);
    m_busAddress = lines[0].trimmed();
    m_busPid = lines[1].trimmed().toLongLong();
    QVERIFY(m_busPid > 0);
    qputenv("DBUS_SYSTEM_BUS_ADDRESS", m_busAddress);
}

void TestAvahiNoDaemon::cleanupTestCase()
{
    if (m_busPid > 0)
        ::kill(pid_t(m_busPid), SIGTERM);
}

void TestAvahiNoDaemon::publishingFailsWithACode()
{
    NetServicePublisher publisher(AvahiBackend::instance());
    QSignalSpy will(&publisher, &NetServicePublisher::netServiceWillPublish);
    QSignalSpy didNot(&publisher, &NetServicePublisher::netServiceDidNotPublish);
    publisher.publish(u"My Address Book"_qs, 9879);
    QCOMPARE(didNot.size(), 0); // from the event loop, not from inside publish()
    QTRY_COMPARE(didNot.size(), 1);
    QCOMPARE(didNot[0][0].toInt(), NetServiceError::DaemonNotRunning);
    QCOMPARE(will.size(), 0);
    QVERIFY(!publisher.isPublishing());
    publisher.stop();
}

void TestAvahiNoDaemon::browsingStaysEmpty()
{
    QFRendezvousClient client(AvahiBackend::instance());
    QTest::qWait(300);
    QVERIFY(!client.isBrowsing());
    QVERIFY(client.getServices().isEmpty());
    QVERIFY(!client.getFirstAddressForService(u"x"_qs));
}

void TestAvahiNoDaemon::cliSaysWhy_data()
{
    QTest::addColumn<bool>("busThere");
    QTest::newRow("bus without daemon") << true;
    QTest::newRow("no bus at all") << false;
}

void TestAvahiNoDaemon::cliSaysWhy()
{
    QFETCH(bool, busThere);
    QProcess cli;
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert(u"DBUS_SYSTEM_BUS_ADDRESS"_qs,
               busThere ? QString::fromUtf8(m_busAddress) : u"unix:path=/nonexistent/zorbix-bus"_qs);
    cli.setProcessEnvironment(env);
    cli.start(QStringLiteral(ZORBIX_CLI), {u"browse"_qs, u"--seconds"_qs, u"0"_qs});
    QVERIFY(cli.waitForFinished(20000));
    QCOMPARE(cli.exitStatus(), QProcess::NormalExit);
    QCOMPARE(cli.exitCode(), 1);
    QVERIFY(cli.readAllStandardOutput().isEmpty());
    QVERIFY(cli.readAllStandardError().contains("avahi-daemon is not running"));
}

QTEST_GUILESS_MAIN(TestAvahiNoDaemon)
#include "tst_avahinodaemon.moc"
