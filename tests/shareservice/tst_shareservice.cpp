#include "exchangearchive.h"
#include "exchangeprotocol.h"
#include "inprocessdnssd.h"
#include "qfconnectionpool.h"
#include "qfexchangeclient.h"
#include "recordingplatform.h"
#include "scriptedshare.h"
#include "shareservice.h"
#include "testmessages.h"

#include <QTcpServer>
#include <QTcpSocket>
#include <QtTest>

namespace {
RecordList someRecords(int count)
{
    RecordList records;
    for (int i = 0; i < count; ++i)
        records.append(FlatPerson{{u"First"_qs, u"Person %1"_qs.arg(i)}, {u"Last"_qs, u"Doe"_qs}});
    return records;
}

// What the sharing page shows: the button's title and the two status lines.
QStringList shown(const ShareService &service)
{
    return {service.buttonTitle(), service.shortStatusText(), service.longerStatusText()};
}
} // namespace

class TestShareService : public QObject
{
    Q_OBJECT

private slots:
    void switchOnAndOffFollowTheCallbacks();
    void servesOnALaterPortWhenTheFirstIsTaken();
    void switchingOffLetsAcceptedConnectionsFinish();
    void failedAnnouncementSwitchesOff_data();
    void failedAnnouncementSwitchesOff();
};

void TestShareService::switchOnAndOffFollowTheCallbacks()
{
    InProcessDnsSd dnssd;
    ShareService service(dnssd);
    const QStringList off{msg("SC_ButtonStart"), msg("SC_SharingIsOff"), msg("SC_ClickStart")};
    QCOMPARE(shown(service), off);

    service.toggleSharing(msg("SC_ButtonStart"), u"Anna's Contacts"_qs);
    QVERIFY(!service.serviceNameEditable());
    QVERIFY(service.port() >= ShareService::FirstPort);
    // The titles wait for the announcement to report.
    QCOMPARE(shown(service), off);
    QTRY_COMPARE(shown(service), (QStringList{msg("SC_ButtonStop"), msg("SC_SharingIsOn"), msg("SC_ClickStop")}));
    QCOMPARE(dnssd.publishedNames(), QStringList{u"Anna's Contacts"_qs});

    service.toggleSharing(service.buttonTitle(), u"ignored"_qs);
    QVERIFY(service.serviceNameEditable());
    QCOMPARE(service.port(), quint16(0));
    QTRY_COMPARE(shown(service), off);
    QVERIFY(!service.isAnnounced());

    // The name of the moment counts when sharing goes on again.
    service.toggleSharing(msg("SC_ButtonStart"), u"Renamed"_qs);
    QTRY_COMPARE(service.buttonTitle(), msg("SC_ButtonStop"));
    QCOMPARE(dnssd.publishedNames().last(), u"Renamed"_qs);
    // Quitting takes the announcement along.
    service.applicationShouldTerminate();
    QVERIFY(!service.isAnnounced());
}


void TestShareService::servesOnALaterPortWhenTheFirstIsTaken()
{
    // Hold the first free port from 9879 up: the service must take a later one.
    QTcpServer holder;
    quint16 held = ShareService::FirstPort;
    while (!holder.listen(QHostAddress::AnyIPv4, held))
        ++held;
    InProcessDnsSd dnssd;
    ShareService service(dnssd);
    service.setRecordProvider([] { return someRecords(3); });
    service.setOwnerCardProvider([] { return OwnerCard{{1, u"Anna"_qs}, {2, u""_qs}}; });
    service.toggleSharing(msg("SC_ButtonStart"), u"Share"_qs);
    QTRY_COMPARE(service.buttonTitle(), msg("SC_ButtonStop"));
    QVERIFY(service.port() > held);
    QFExchangeReply reply;
    QCOMPARE(downloadedFirstNames(service.port(), &reply).size(), 3);
    QCOMPARE(reply.ownerCard.value(), (OwnerCard{{1, u"Anna"_qs}, {2, u""_qs}}));
}

// An accepted connection counts as a download even before it asks for records, and lets
// sharing go off without being cut; the count starts again with each switch-on.
void TestShareService::switchingOffLetsAcceptedConnectionsFinish()
{
    InProcessDnsSd dnssd;
    ShareService service(dnssd);
    service.setRecordProvider([] { return someRecords(2); });
    service.toggleSharing(msg("SC_ButtonStart"), u"Share"_qs);
    QTRY_COMPARE(service.buttonTitle(), msg("SC_ButtonStop"));

    QTcpSocket client;
    client.connectToHost(QHostAddress::LocalHost, service.port());
    QVERIFY(client.waitForConnected(5000));
    client.write(framed(QVariantMap{{u"type"_qs, u"keys"_qs}}));
    QTRY_VERIFY(client.bytesAvailable() > 0);
    client.readAll();
    QCOMPARE(service.longerStatusText(), msg("SC_DownloadInfo").arg(1));

    service.toggleSharing(service.buttonTitle(), u"Share"_qs);
    QTRY_COMPARE(service.buttonTitle(), msg("SC_ButtonStart"));

    client.write(framed(QVariantMap{{u"type"_qs, u"sendAB"_qs}}));
    QByteArray received;
    QTRY_VERIFY((received += client.readAll(), client.state() != QAbstractSocket::ConnectedState));
    received += client.readAll();
    QVERIFY(received.size() > QFConnectionPool::kHeaderLength);
    const auto message = ExchangeArchive::decode(received.mid(QFConnectionPool::kHeaderLength));
    QVERIFY(message.has_value());
    QCOMPARE(message->value(u"type"_qs).toString(), u"AB"_qs);
    QCOMPARE(message->value(u"ABData"_qs).toList().size(), 2);
    service.toggleSharing(service.buttonTitle(), u"Share"_qs);
    QCOMPARE(service.numberOfDownloads(), 0);
    QTRY_COMPARE(service.buttonTitle(), msg("SC_ButtonStop"));
    downloadedFirstNames(service.port());
    QTRY_COMPARE(service.numberOfDownloads(), 1);
}

// A taken name or no daemon: the alert that fits, sharing off and the name editable again.
void TestShareService::failedAnnouncementSwitchesOff_data()
{
    QTest::addColumn<bool>("nameTaken");
    QTest::addColumn<QString>("problem");
    QTest::addColumn<QString>("hint");
    QTest::newRow("name taken") << true << msg("SH_NameCollisionProblem") << msg("SH_NameCollisionHint");
    QTest::newRow("no daemon") << false << msg("SC_UnspecificSharingProblem") << msg("SC_UnspecificSharingHint");
}

void TestShareService::failedAnnouncementSwitchesOff()
{
    QFETCH(bool, nameTaken);
    QFETCH(QString, problem);
    QFETCH(QString, hint);
    RecordingPlatform platform;
    InProcessDnsSd dnssd;
    if (nameTaken)
        dnssd.takeName(u"Office"_qs);
    else
        dnssd.setDaemonRunning(false);
    ShareService service(dnssd);
    service.toggleSharing(msg("SC_ButtonStart"), u"Office"_qs);
    QVERIFY(!service.serviceNameEditable());
    QTRY_COMPARE(platform.alerts.size(), 1);
    QCOMPARE(platform.alerts.first(), qMakePair(problem, hint));
    QCOMPARE(service.buttonTitle(), msg("SC_ButtonStart"));
    QCOMPARE(service.shortStatusText(), msg("SC_SharingIsOff"));
    QVERIFY(service.serviceNameEditable());
    QCOMPARE(service.port(), quint16(0));
    if (!nameTaken)
        return;
    // Another name goes through.
    service.toggleSharing(service.buttonTitle(), u"Office 2"_qs);
    QTRY_COMPARE(service.buttonTitle(), msg("SC_ButtonStop"));
    QCOMPARE(platform.alerts.size(), 1);
}


QTEST_GUILESS_MAIN(TestShareService)
#include "tst_shareservice.moc"
