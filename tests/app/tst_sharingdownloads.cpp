#include "absharingpropcontroller.h"
#include "inprocessdnssd.h"
#include "qfexchangeclient.h"
#include "recordingplatform.h"
#include "shareservice.h"
#include "testmessages.h"
#include "vcardsharingcontroller.h"

#include <QLineEdit>
#include <QTableView>
#include <QtTest>

// Downloads from the desktop's share: only persons of shared groups travel, and every change to
// what a download carries (groups shared or unshared, a card file replaced by another program,
// the owner card) reaches the next download, although the encoded list is reused in between.
class TestSharingDownloads : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void everyChangeReachesTheNextDownload();

private:
    void writeCard(const QString &name, const QByteArray &lines);
    QFExchangeReply download();

    QTemporaryDir m_store;
    InProcessDnsSd m_dnssd;
    quint16 m_port = 0;
};

void TestSharingDownloads::writeCard(const QString &name, const QByteArray &lines)
{
    // Written beside and renamed over, as editors and sync tools do.
    QFile file(m_store.filePath(name + u".tmp"_qs));
    QVERIFY(file.open(QIODevice::WriteOnly));
    file.write("BEGIN:VCARD\r\nVERSION:3.0\r\n" + lines + "END:VCARD\r\n");
    file.close();
    QFile::remove(m_store.filePath(name));
    QVERIFY(QFile::rename(file.fileName(), m_store.filePath(name)));
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

QFExchangeReply TestSharingDownloads::download()
{
    QFExchangeClient client;
    QSignalSpy finished(&client, &QFExchangeClient::finished);
    client.loadServiceByAddress(u"127.0.0.1"_qs, m_port);
    if (!finished.wait(10000))
        return {};
    return finished.at(0).at(0).value<QFExchangeReply>();
}

namespace {
QStringList firstNames(const QFExchangeReply &reply)
{
    QStringList names;
    for (const QVariant &record : reply.records.value_or(ArchivedRecords()).toList())
        names.append(record.toMap().value(u"First"_qs).toString());
    names.sort();
    return names;
}
} // namespace

void TestSharingDownloads::everyChangeReachesTheNextDownload()
{
    RecordingPlatform platform;
    vCardSharingController controller;
    ABSharingPropController *groups = controller.ABSharingControllerRef();
    QVERIFY(groups);
    controller.shareService().toggleSharing(msg("SC_ButtonStart"), u"Office"_qs);
    m_port = controller.shareService().port();
    QVERIFY(m_port != 0);

    QCOMPARE(firstNames(download()), QStringList());
    groups->doShareAll();
    // Carl is in no group: never shared.
    QCOMPARE(firstNames(download()), (QStringList{u"Ann"_qs, u"Bob"_qs}));
    QCOMPARE(firstNames(download()), (QStringList{u"Ann"_qs, u"Bob"_qs}));

    const int work = groups->tableViewObjectValue(groups->sharedTableOL(), 0, 0) == u"Work"_qs ? 0 : 1;
    groups->sharedTableOL()->selectRow(work);
    groups->doUnshare();
    QCOMPARE(firstNames(download()), QStringList{u"Ann"_qs});

    writeCard(u"ann.vcf"_qs, "UID:ann\r\nN:Lee;Anna;;;\r\nFN:Anna Lee\r\n");
    QCOMPARE(firstNames(download()), QStringList{u"Anna"_qs});

    for (QLineEdit *field : controller.ownerCardEditor()->findChildren<QLineEdit *>()) {
        if (field->property("tag").toInt() == 1)
            field->setText(u"Changed"_qs);
    }
    const QFExchangeReply reply = download();
    QCOMPARE(reply.ownerCard.value_or(OwnerCard()).value(1), u"Changed"_qs);
    QCOMPARE(firstNames(reply), QStringList{u"Anna"_qs});
}

QTEST_MAIN(TestSharingDownloads)
#include "tst_sharingdownloads.moc"
