// Against the real avahi-daemon in the private network namespace (scripts/testenv.sh), with
// avahi-publish and avahi-browse as the other side. Other tests may use the same daemon at the
// same time: every name here carries this process's id.
#include "avahibackend.h"
#include "avahitools.h"
#include "netserviceerror.h"
#include "netservicepublisher.h"
#include "qfrendezvousclient.h"
#include "recordingdelegate.h"

#include <QtTest>

#include <memory>

using namespace AvahiTools;

class TestAvahi : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void announcedShareIsFoundResolvedAndRemoved_data();
    void announcedShareIsFoundResolvedAndRemoved();
    void threeSharesAtOnce();
    void nameTakenByAvahiPublishCollides();
    void hostRenameKeepsTheShareFindable();
    void cliBrowseEscapesShareNames();
    void protectedShareIsListedAsProtected();
};

void TestAvahi::initTestCase()
{
    AvahiBackend &backend = AvahiBackend::instance();
    QVERIFY2(backend.usableClient(), "avahi-daemon does not answer on the system bus");
}

void TestAvahi::announcedShareIsFoundResolvedAndRemoved_data()
{
    QTest::addColumn<QString>("name");
    QTest::newRow("spaces, accents, quotes") << unique(u"Zoë's \"Bücher\" – Ærø"_qs);
    QTest::newRow("dots and backslash") << unique(u"v1.2 a\\b"_qs);
}

void TestAvahi::announcedShareIsFoundResolvedAndRemoved()
{
    QFETCH(QString, name);
    QFRendezvousClient client(AvahiBackend::instance());
    QTRY_VERIFY_WITH_TIMEOUT(client.isBrowsing(), kWait);
    const int port = 20000 + QTest::currentDataTag()[0];
    auto announcer = std::make_unique<Announcer>(name, port);
    QVERIFY2(announcer->waitEstablished(), announcer->output().constData());

    QTRY_VERIFY_WITH_TIMEOUT(client.getServiceNames().contains(name), kWait);
    QCOMPARE(client.getServiceNameContainingSubString(name), QStringList{name});
    QTRY_VERIFY_WITH_TIMEOUT(client.getFirstAddressForService(name).has_value(), kWait);
    QCOMPARE(*client.getFirstAddressForService(name), SocketAddress(kNamespaceAddress, quint16(port)));

    announcer.reset();
    QTRY_VERIFY_WITH_TIMEOUT(!client.getServiceNames().contains(name), kWait);
    QVERIFY(!client.getFirstAddressForService(name));
}

void TestAvahi::threeSharesAtOnce()
{
    QFRendezvousClient client(AvahiBackend::instance());
    QTRY_VERIFY_WITH_TIMEOUT(client.isBrowsing(), kWait);
    const QStringList names{unique(u"Batch A"_qs), unique(u"Batch B"_qs), unique(u"Batch C"_qs)};
    Announcer a(names[0], 21001);
    Announcer b(names[1], 21002);
    Announcer c(names[2], 21003);
    QVERIFY(a.waitEstablished() && b.waitEstablished() && c.waitEstablished());
    auto allIn = [&names](const QStringList &seen) {
        return std::all_of(names.begin(), names.end(), [&seen](const QString &n) { return seen.contains(n); });
    };
    QTRY_VERIFY_WITH_TIMEOUT(allIn(client.getServiceNames()), kWait);

    // A browser that starts while the three are out gets them in its first batch.
    QFRendezvousClient late(AvahiBackend::instance());
    RecordingDelegate first;
    late.addDelegate(&first);
    QTRY_VERIFY_WITH_TIMEOUT(!first.calls.isEmpty() && allIn(late.getServiceNames()), kWait);
    const auto withOurs = std::find_if(first.calls.begin(), first.calls.end(), [&](const QStringList &call) {
        return std::any_of(names.begin(), names.end(), [&](const QString &n) { return call.contains(n); });
    });
    QVERIFY(withOurs != first.calls.end());
    QVERIFY2(allIn(*withOurs), qPrintable(withOurs->join(u", ")));
    late.removeDelegate(&first);
}

void TestAvahi::hostRenameKeepsTheShareFindable()
{
    // The share's address record names the host: when the host is renamed (by the user, or
    // because another host has its name), the share must follow, or nobody can resolve it.
    const QString name = unique(u"Zoë's \"Bücher\" renamed"_qs);
    NetServicePublisher publisher(AvahiBackend::instance());
    QSignalSpy did(&publisher, &NetServicePublisher::netServiceDidPublish);
    QSignalSpy didNot(&publisher, &NetServicePublisher::netServiceDidNotPublish);
    publisher.publish(name, 9891);
    QTRY_COMPARE_WITH_TIMEOUT(did.size(), 1, kWait);
    QTRY_VERIFY2_WITH_TIMEOUT(listedOnHost(avahiBrowse(), name, 9891, u"zbxtest.local"_qs),
                              qPrintable(lastBrowseOutput()), kWait);

    struct HostName
    {
        bool set(const QString &host)
        {
            current = host;
            return QProcess::execute(u"avahi-set-host-name"_qs, {host}) == 0;
        }
        ~HostName()
        {
            if (current != u"zbxtest"_qs)
                set(u"zbxtest"_qs); // scripts/testenv.sh's name, whatever happened
        }
        QString current = u"zbxtest"_qs;
    } hostName;
    QVERIFY(hostName.set(u"zbxrenamed"_qs));
    QTRY_VERIFY2_WITH_TIMEOUT(listedOnHost(avahiBrowse(), name, 9891, u"zbxrenamed.local"_qs),
                              qPrintable(lastBrowseOutput()), kWait);
    QVERIFY(hostName.set(u"zbxtest"_qs));
    QTRY_VERIFY2_WITH_TIMEOUT(listedOnHost(avahiBrowse(), name, 9891, u"zbxtest.local"_qs),
                              qPrintable(lastBrowseOutput()), kWait);
    QCOMPARE(didNot.size(), 0);
    publisher.stop();
    QTRY_VERIFY2_WITH_TIMEOUT(goneFromBrowse(name), qPrintable(lastBrowseOutput()), kWait);
}

void TestAvahi::nameTakenByAvahiPublishCollides()
{
    const QString name = unique(u"Taken name"_qs);
    Announcer announcer(name, 21100);
    QVERIFY2(announcer.waitEstablished(), announcer.output().constData());
    NetServicePublisher publisher(AvahiBackend::instance());
    QSignalSpy did(&publisher, &NetServicePublisher::netServiceDidPublish);
    QSignalSpy didNot(&publisher, &NetServicePublisher::netServiceDidNotPublish);
    publisher.publish(name, 21101);
    QTRY_COMPARE_WITH_TIMEOUT(didNot.size(), 1, kWait);
    QCOMPARE(didNot[0][0].toInt(), NetServiceError::Collision);
    QCOMPARE(did.size(), 0);
    QVERIFY(!publisher.isPublishing());
    // Still the announcer's, with its port.
    QTRY_VERIFY2_WITH_TIMEOUT(listedBy(avahiBrowse(), name, 21100), qPrintable(lastBrowseOutput()), kWait);
}

// A hostile name's terminal sequences print as visible text; letters as they are.
void TestAvahi::cliBrowseEscapesShareNames()
{
    const QString name = unique(u"Zoë tab\there"_qs + QChar(0x1b) + u"]0;x"_qs + QChar(0x07) + u"\\"_qs);
    QString printed = name;
    printed.replace(u"\\"_qs, u"\\\\"_qs).replace(u'\t', u"\\t"_qs).replace(QChar(0x1b), u"\\x1b"_qs).replace(QChar(0x07), u"\\x07"_qs);
    Announcer announcer(name, 21300);
    QVERIFY(announcer.waitEstablished());
    QProcess cli;
    cli.start(QStringLiteral(ZORBIX_CLI), {u"browse"_qs, u"--seconds"_qs, u"2"_qs});
    QVERIFY(cli.waitForFinished(kWait));
    QCOMPARE(cli.exitCode(), 0);
    const QStringList lines = QString::fromUtf8(cli.readAllStandardOutput()).split(u'\n');
    QVERIFY2(lines.contains(printed + u"\t10.99.0.1:21300"_qs), qPrintable(lines.join(u'|')));
}

// The TXT key travels through the daemon; the CLI marks the share, and fetching it needs --tls.
void TestAvahi::protectedShareIsListedAsProtected()
{
    const QString name = unique(u"Protected"_qs);
    NetServicePublisher publisher(AvahiBackend::instance());
    QSignalSpy did(&publisher, &NetServicePublisher::netServiceDidPublish);
    publisher.setProtected(true);
    publisher.publish(name, 21301);
    QTRY_COMPARE_WITH_TIMEOUT(did.size(), 1, kWait);
    QProcess cli;
    cli.start(QStringLiteral(ZORBIX_CLI), {u"browse"_qs, u"--seconds"_qs, u"2"_qs});
    QVERIFY(cli.waitForFinished(kWait));
    const QStringList lines = QString::fromUtf8(cli.readAllStandardOutput()).split(u'\n');
    QVERIFY2(lines.contains(name + u"\t10.99.0.1:21301\tprotected"_qs), qPrintable(lines.join(u'|')));
}

QTEST_GUILESS_MAIN(TestAvahi)
#include "tst_avahi.moc"
