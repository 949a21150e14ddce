// Sharing switched on and off against the real avahi-daemon in the private namespace, seen by
// avahi-browse and contested by avahi-publish.
#include "avahitools.h"
#include "recordingplatform.h"
#include "shareservice.h"
#include "testmessages.h"

#include <QProcess>
#include <QRegularExpression>
#include <QTcpServer>
#include <QTemporaryDir>
#include <QtTest>

using namespace AvahiTools;

class TestShareServiceAvahi : public QObject
{
    Q_OBJECT

private slots:
    void announcedUnderItsNameAndPort();
    void takenNameGivesTheCollisionPath();
    void cliServeAnnouncesItsShare();
};

void TestShareServiceAvahi::announcedUnderItsNameAndPort()
{
    const QString name = unique(u"Zoë's \"Adressen\""_qs);
    ShareService service;
    service.toggleSharing(msg("SC_ButtonStart"), name);
    QTRY_COMPARE_WITH_TIMEOUT(service.buttonTitle(), msg("SC_ButtonStop"), kWait);
    const int port = service.port();
    QTRY_VERIFY2_WITH_TIMEOUT(listedBy(avahiBrowse(), name, port), qPrintable(lastBrowseOutput()), kWait);

    service.toggleSharing(service.buttonTitle(), name);
    QTRY_COMPARE_WITH_TIMEOUT(service.buttonTitle(), msg("SC_ButtonStart"), kWait);
    QTRY_VERIFY2_WITH_TIMEOUT(goneFromBrowse(name), qPrintable(lastBrowseOutput()), kWait);
}

void TestShareServiceAvahi::takenNameGivesTheCollisionPath()
{
    RecordingPlatform platform;
    const QString name = unique(u"Taken share"_qs);
    Announcer other(name, 21500);
    QVERIFY2(other.waitEstablished(), other.output().constData());

    ShareService service;
    service.toggleSharing(msg("SC_ButtonStart"), name);
    QTRY_COMPARE_WITH_TIMEOUT(platform.alerts.size(), 1, kWait);
    QCOMPARE(platform.alerts.first(), qMakePair(msg("SH_NameCollisionProblem"), msg("SH_NameCollisionHint")));
    QVERIFY(service.serviceNameEditable());
    // The other host keeps its name.
    QTRY_VERIFY2_WITH_TIMEOUT(listedBy(avahiBrowse(), name, 21500), qPrintable(lastBrowseOutput()), kWait);
}

void TestShareServiceAvahi::cliServeAnnouncesItsShare()
{
    QTemporaryDir book;
    const QString name = unique(u"Served by the CLI é"_qs);
    QProcess serve;
    serve.start(QStringLiteral(ZORBIX_CLI),
                {u"serve"_qs, u"--addressbook"_qs, book.path(), u"--port"_qs, u"0"_qs, u"--name"_qs, name});
    QVERIFY(serve.waitForStarted(5000));
    QByteArray output;
    QTRY_VERIFY_WITH_TIMEOUT((output += serve.readAllStandardOutput()).contains("announced"), kWait);
    const QRegularExpressionMatch port = QRegularExpression(u"on port (\\d+)"_qs).match(QString::fromUtf8(output));
    QVERIFY2(port.hasMatch(), output.constData());
    QTRY_VERIFY2_WITH_TIMEOUT(listedBy(avahiBrowse(), name, port.captured(1).toInt()), qPrintable(lastBrowseOutput()), kWait);

    // Interrupted, it takes the announcement along.
    serve.terminate();
    QVERIFY(serve.waitForFinished(10000));
    QCOMPARE(serve.exitCode(), 0);
    QTRY_VERIFY2_WITH_TIMEOUT(goneFromBrowse(name), qPrintable(lastBrowseOutput()), kWait);

    // A name taken by another host ends the command with a reason.
    Announcer other(name, 21600);
    QVERIFY(other.waitEstablished());
    QProcess taken;
    taken.start(QStringLiteral(ZORBIX_CLI),
                {u"serve"_qs, u"--addressbook"_qs, book.path(), u"--port"_qs, u"0"_qs, u"--name"_qs, name});
    QVERIFY(taken.waitForFinished(kWait));
    QCOMPARE(taken.exitCode(), 1);
    QVERIFY(taken.readAllStandardError().contains("already taken"));
}

QTEST_GUILESS_MAIN(TestShareServiceAvahi)
#include "tst_shareserviceavahi.moc"
