// Sharing switched on and off against the real avahi-daemon in the private namespace, seen by
// avahi-browse and contested by avahi-publish.
#include "avahitools.h"
#include "recordingplatform.h"
#include "shareservice.h"
#include "vcardcommon.h"

#include <QTcpServer>
#include <QtTest>

using namespace AvahiTools;

namespace {
QString msg(const char *key)
{
    return vCardCommon::getLocMsg(QString::fromLatin1(key));
}
} // namespace

class TestShareServiceAvahi : public QObject
{
    Q_OBJECT

private slots:
    void announcedUnderItsNameAndPort();
    void heldPortIsSkippedInTheAnnouncement();
    void takenNameGivesTheCollisionPath();
};

void TestShareServiceAvahi::announcedUnderItsNameAndPort()
{
    const QString name = unique(u"Zoë's \"Adressen\""_qs);
    ShareService service;
    service.toggleSharing(msg("SC_ButtonStart"), name);
    QTRY_COMPARE_WITH_TIMEOUT(service.buttonTitle(), msg("SC_ButtonStop"), kWait);
    const int port = service.port();
    QTRY_VERIFY_WITH_TIMEOUT(listedBy(avahiBrowse(), name, port), kWait);

    service.toggleSharing(service.buttonTitle(), name);
    QTRY_COMPARE_WITH_TIMEOUT(service.buttonTitle(), msg("SC_ButtonStart"), kWait);
    QTRY_VERIFY_WITH_TIMEOUT(!namedIn(avahiBrowse(), name), kWait);
}

void TestShareServiceAvahi::heldPortIsSkippedInTheAnnouncement()
{
    // Inside the namespace nothing else listens on 9879 unless another test shares right now.
    QTcpServer holder;
    quint16 held = ShareService::FirstPort;
    while (!holder.listen(QHostAddress::AnyIPv4, held))
        ++held;
    quint16 next = held + 1;
    {
        QTcpServer probe;
        while (!probe.listen(QHostAddress::AnyIPv4, next))
            ++next;
    }
    const QString name = unique(u"Port moved"_qs);
    ShareService service;
    service.toggleSharing(msg("SC_ButtonStart"), name);
    QCOMPARE(service.port(), next);
    QTRY_VERIFY_WITH_TIMEOUT(listedBy(avahiBrowse(), name, next), kWait);
    if (held == ShareService::FirstPort && next == 9880)
        qInfo("9879 held: the share listens on and announces 9880");
    service.applicationShouldTerminate();
    QTRY_VERIFY_WITH_TIMEOUT(!namedIn(avahiBrowse(), name), kWait);
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
    QCOMPARE(service.buttonTitle(), msg("SC_ButtonStart"));
    QCOMPARE(service.shortStatusText(), msg("SC_SharingIsOff"));
    QVERIFY(service.serviceNameEditable());
    QCOMPARE(service.port(), quint16(0));
    // The other host keeps its name.
    QVERIFY(listedBy(avahiBrowse(), name, 21500));
}

QTEST_GUILESS_MAIN(TestShareServiceAvahi)
#include "tst_shareserviceavahi.moc"
