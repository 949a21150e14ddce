#include "absharingpropcontroller.h"
#include "clitools.h"
#include "inprocessdnssd.h"
#include "recordingplatform.h"
#include "scriptedshare.h"
#include "shareservice.h"
#include "testmessages.h"
#include "vcardsharingcontroller.h"

#include <QLineEdit>
#include <QTableView>
#include <QtTest>

// Downloads from the desktop's share: only persons of shared groups travel, and every change to
// what a download carries (groups shared or unshared, a card file replaced or rewritten in place by
// another program, the owner card) reaches the next download, although the encoded list is reused
// in between.
class TestSharingDownloads : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void everyChangeReachesTheNextDownload();

private:
    void writeCard(const QString &name, const QByteArray &lines);

    QTemporaryDir m_store;
    InProcessDnsSd m_dnssd;
};

void TestSharingDownloads::writeCard(const QString &name, const QByteArray &lines)
{
    // Written beside and renamed over, as editors and sync tools do.
    QSaveFile file(m_store.filePath(name));
    QVERIFY(file.open(QIODevice::WriteOnly));
    file.write("BEGIN:VCARD\r\nVERSION:3.0\r\n" + lines + "END:VCARD\r\n");
    QVERIFY(file.commit());
}

void TestSharingDownloads::initTestCase()
{
    QVERIFY(m_store.isValid());
    qputenv("ZORBIX_ADDRESSBOOK", m_store.path().toUtf8());
    QSettings().clear();
    DnsSdBackend::install(&m_dnssd);
    writeCard(u"ann.vcf"_qs, "UID:ann\r\nN:Lee;Ann;;;\r\nFN:Ann Lee\r\n");
    writeCard(u"bob.vcf"_qs, "UID:bob\r\nN:Roe;Bob;;;\r\nFN:Bob Roe\r\n");
    writeCard(u"carl.vcf"_qs, "UID:carl\r\nN:Out;Carl;;;\r\nFN:Carl Out\r\n");
    writeCard(u"friends.vcf"_qs, "UID:friends\r\nFN:Friends\r\nN:Friends;;;;\r\nX-ADDRESSBOOKSERVER-KIND:group\r\n"
                                 "X-ADDRESSBOOKSERVER-MEMBER:urn:uuid:ann\r\n");
    writeCard(u"work.vcf"_qs, "UID:work\r\nFN:Work\r\nN:Work;;;;\r\nX-ADDRESSBOOKSERVER-KIND:group\r\n"
                              "X-ADDRESSBOOKSERVER-MEMBER:urn:uuid:bob\r\n");
}

void TestSharingDownloads::everyChangeReachesTheNextDownload()
{
    RecordingPlatform platform;
    vCardSharingController controller;
    ABSharingPropController *groups = controller.ABSharingControllerRef();
    QVERIFY(groups);
    controller.shareService().toggleSharing(msg("SC_ButtonStart"), u"Office"_qs);
    const quint16 port = controller.shareService().port();
    QVERIFY(port != 0);

    QCOMPARE(downloadedFirstNames(port), QStringList());
    groups->doShareAll();
    // Carl is in no group: never shared.
    QCOMPARE(downloadedFirstNames(port), (QStringList{u"Ann"_qs, u"Bob"_qs}));
    QCOMPARE(downloadedFirstNames(port), (QStringList{u"Ann"_qs, u"Bob"_qs}));

    const int work = groups->tableViewObjectValue(groups->sharedTableOL(), 0, 0) == u"Work"_qs ? 0 : 1;
    groups->sharedTableOL()->selectRow(work);
    groups->doUnshare();
    QCOMPARE(downloadedFirstNames(port), QStringList{u"Ann"_qs});

    writeCard(u"ann.vcf"_qs, "UID:ann\r\nN:Lee;Anna;;;\r\nFN:Anna Lee\r\n");
    QCOMPARE(downloadedFirstNames(port), QStringList{u"Anna"_qs});
    // A group rewritten in place, as an editor or a shell redirect writes.
    QVERIFY(CliTools::writeCard(m_store.filePath(u"friends.vcf"_qs),
                                "UID:friends\r\nFN:Friends\r\nN:Friends;;;;\r\nX-ADDRESSBOOKSERVER-KIND:group\r\n"
                                "X-ADDRESSBOOKSERVER-MEMBER:urn:uuid:carl\r\nX-ADDRESSBOOKSERVER-MEMBER:urn:uuid:dora\r\n"));
    QCOMPARE(downloadedFirstNames(port), QStringList{u"Carl"_qs});
    // A person that the shared group lists appears, one deleted goes, one edited changes.
    writeCard(u"dora.vcf"_qs, "UID:dora\r\nN:New;Dora;;;\r\nFN:Dora New\r\n");
    QCOMPARE(downloadedFirstNames(port), (QStringList{u"Carl"_qs, u"Dora"_qs}));
    QVERIFY(QFile::remove(m_store.filePath(u"carl.vcf"_qs)));
    writeCard(u"dora.vcf"_qs, "UID:dora\r\nN:New;Dorothy;;;\r\nFN:Dorothy New\r\n");
    QCOMPARE(downloadedFirstNames(port), QStringList{u"Dorothy"_qs});

    for (QLineEdit *field : controller.ownerCardEditor()->findChildren<QLineEdit *>()) {
        if (field->property("tag").toInt() == 1)
            field->setText(u"Changed"_qs);
    }
    QFExchangeReply reply;
    QCOMPARE(downloadedFirstNames(port, &reply), QStringList{u"Dorothy"_qs});
    QCOMPARE(reply.ownerCard.value_or(OwnerCard()).value(1), u"Changed"_qs);
}

QTEST_MAIN(TestSharingDownloads)
#include "tst_sharingdownloads.moc"
