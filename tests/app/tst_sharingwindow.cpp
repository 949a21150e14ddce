#include "abaddressbook.h"
#include "inprocessdnssd.h"
#include "qfexchangeclient.h"
#include "qfexchangeserver.h"
#include "ownercardfields.h"
#include "recordingplatform.h"
#include "shareservice.h"
#include "sharingpreferences.h"
#include "testmessages.h"
#include "trustcontroller.h"
#include "vcardsharingcontroller.h"
#include "viewerwindow.h"

#include <QComboBox>
#include <QLabel>
#include <QMessageBox>
#include <QLineEdit>
#include <QPushButton>
#include <QTcpSocket>
#include <QtTest>

class TestSharingWindow : public QObject
{
    Q_OBJECT

private slots:
    void init()
    {
        QSettings().clear();
        QSettings().setValue(u"sharingAccess"_qs, u"everyone"_qs);
        DnsSdBackend::install(&dnssd);
    }
    void cleanup() { DnsSdBackend::install(nullptr); }
    void toggleButtonsShareTheirTitle();
    void downloadServesTheSharedGroupsAsOnDisk();
    void shareNameIsCheckedBeforeAnnouncing_data();
    void shareNameIsCheckedBeforeAnnouncing();
    void shareNameSurvivesRestart();
    void ownerCardFieldsCarryTheirTags();
    void accessIsAskedAtTheFirstStart();

private:
    InProcessDnsSd dnssd;
};

void TestSharingWindow::toggleButtonsShareTheirTitle()
{
    vCardSharingController controller;
    QPushButton *status = controller.toggleSharingButtonInServerStatusView();
    QPushButton *share = controller.toggleSharingButton();
    status->click();
    QVERIFY(!controller.serviceNameField()->isEnabled());
    QTRY_COMPARE(share->text(), msg("SC_ButtonStop"));
    QCOMPARE(status->text(), msg("SC_ButtonStop"));
    QCOMPARE(controller.shortStatusText()->text(), msg("SC_SharingIsOn"));
    QCOMPARE(dnssd.publishedNames().last(), msg("SC_DefaultShareName"));

    QTcpSocket client;
    client.connectToHost(QHostAddress::LocalHost, controller.shareService().port());
    QTRY_COMPARE(controller.longerStatusText()->text(), msg("SC_DownloadInfo").arg(1));

    // The other page's button switches off.
    share->click();
    QTRY_COMPARE(status->text(), msg("SC_ButtonStart"));
    QCOMPARE(share->text(), msg("SC_ButtonStart"));
    QVERIFY(controller.serviceNameField()->isEnabled());
    QCOMPARE(controller.shortStatusText()->text(), msg("SC_SharingIsOff"));
}

namespace {
void writeCard(const QString &path, const QByteArray &lines)
{
    QFile file(path); // in place, as an editor or a shell redirect writes
    QVERIFY(file.open(QIODevice::WriteOnly | QIODevice::Truncate));
    file.write("BEGIN:VCARD\r\nVERSION:3.0\r\n" + lines + "END:VCARD\r\n");
}

QStringList download(quint16 port)
{
    QFExchangeClient client;
    QSignalSpy finished(&client, &QFExchangeClient::finished);
    client.loadServiceByAddress(u"127.0.0.1"_qs, port);
    if (!finished.wait(10000))
        return {u"no download"_qs};
    QStringList firstNames;
    for (const QVariant &person : finished.first().first().value<QFExchangeReply>().records->toList())
        firstNames.append(person.toMap().value(u"First"_qs).toString());
    return firstNames;
}
} // namespace

// The desktop's whole path: the store on disk, the group settings, the share service, a real
// connection. A person outside the shared groups never travels, and a group rewritten in place
// by another program counts at the very next download.
void TestSharingWindow::downloadServesTheSharedGroupsAsOnDisk()
{
    QTemporaryDir store;
    const QByteArray group = "UID:g1\r\nFN:Friends\r\nX-ADDRESSBOOKSERVER-KIND:group\r\n"
                             "X-ADDRESSBOOKSERVER-MEMBER:urn:uuid:p1\r\n";
    writeCard(store.filePath(u"g1.vcf"_qs), group);
    writeCard(store.filePath(u"p1.vcf"_qs), "UID:p1\r\nN:Lee;Ann;;;\r\n");
    writeCard(store.filePath(u"p2.vcf"_qs), "UID:p2\r\nN:Out;Otto;;;\r\n");
    ABAddressBook book(store.path());
    ABAddressBook::setSharedAddressBook(&book);
    QSettings().setValue(u"sharedGroups"_qs, QVariantList{QVariantMap{{u"UID"_qs, u"g1"_qs}, {u"GroupName"_qs, u"Friends"_qs}}});
    QSettings().setValue(u"nonSharedGroups"_qs, QVariantList{});
    {
        vCardSharingController controller;
        controller.toggleSharingButton()->click();
        QTRY_VERIFY(controller.shareService().isAnnounced());
        QCOMPARE(download(controller.shareService().port()), QStringList{u"Ann"_qs});
        writeCard(store.filePath(u"g1.vcf"_qs), QByteArray(group).replace("p1", "p2"));
        QCOMPARE(download(controller.shareService().port()), QStringList{u"Otto"_qs});
    }
    ABAddressBook::setSharedAddressBook(nullptr);
}

void TestSharingWindow::shareNameIsCheckedBeforeAnnouncing_data()
{
    QTest::addColumn<QString>("name");
    QTest::addColumn<QString>("problem");
    QTest::newRow("empty") << u""_qs << u"SC_ShareNameEmptyProblem"_qs;
    QTest::newRow("blanks only") << u"   "_qs << u"SC_ShareNameEmptyProblem"_qs;
    QTest::newRow("63 letters, 126 bytes") << QString(63, QChar(0x00e4)) << u"SC_ShareNameTooLongProblem"_qs;
    QTest::newRow("63 bytes") << QString(61, u'a') + QChar(0x00e4) << QString();
}

void TestSharingWindow::shareNameIsCheckedBeforeAnnouncing()
{
    QFETCH(QString, name);
    QFETCH(QString, problem);
    RecordingPlatform platform;
    vCardSharingController controller;
    controller.serviceNameField()->setText(name);
    controller.toggleSharingButton()->click();
    if (problem.isEmpty()) {
        QTRY_VERIFY(dnssd.publishedNames().contains(name));
        QVERIFY(platform.alerts.isEmpty());
    } else {
        QCOMPARE(platform.alerts.size(), 1);
        QCOMPARE(platform.alerts.first().first, vCardCommon::getLocMsg(problem));
        QCOMPARE(controller.shareService().port(), 0);
        QVERIFY(controller.serviceNameField()->isEnabled());
    }
}

void TestSharingWindow::shareNameSurvivesRestart()
{
    for (bool save : {false, true}) { // typing alone saves nothing
        vCardSharingController controller;
        QCOMPARE(controller.serviceNameField()->text(), msg("SC_DefaultShareName"));
        controller.serviceNameField()->setText(u"Ärzte & Co \"Süd\""_qs);
        controller.ownerCardEditor()->findChild<QLineEdit *>(u"privEmailFieldOL"_qs)->setText(u"me@example.org"_qs);
        if (save)
            controller.doSaveAsPreference();
    }
    {
        vCardSharingController third;
        QCOMPARE(third.serviceNameField()->text(), u"Ärzte & Co \"Süd\""_qs);
        QCOMPARE(third.ownerCard().value(PrivEmailTag), u"me@example.org"_qs);
    }
    // Values beyond the persisted controls are ignored; a null placeholder keeps the default.
    QSettings().setValue(u"sharingPrefsV2"_qs, QVariantList{u"Team Share"_qs, 1, u"extra"_qs});
    QCOMPARE(vCardSharingController().serviceNameField()->text(), u"Team Share"_qs);
    QSettings().setValue(u"sharingPrefsV2"_qs, QVariantList{QVariant()});
    QCOMPARE(vCardSharingController().serviceNameField()->text(), msg("SC_DefaultShareName"));
}

void TestSharingWindow::ownerCardFieldsCarryTheirTags()
{
    vCardSharingController controller;
    for (const OwnerCardField &field : kOwnerCardFields) {
        auto *edit = controller.ownerCardEditor()->findChild<QLineEdit *>(QLatin1String(field.objectName));
        QVERIFY2(edit && edit->property("tag").toInt() == field.tag, field.objectName);
        edit->setText(QString::fromLatin1(field.objectName));
    }
    const OwnerCard card = controller.ownerCard();
    QCOMPARE(card.size(), 11);
    for (const OwnerCardField &field : kOwnerCardFields)
        QCOMPARE(card.value(field.tag), QString::fromLatin1(field.objectName));
    // Empty fields travel as empty texts.
    controller.ownerCardEditor()->findChild<QLineEdit *>(u"firstNameFieldOL"_qs)->clear();
    QVERIFY(controller.ownerCard().contains(FirstNameTag));
    QCOMPARE(controller.ownerCard().value(FirstNameTag), QString());
}

// A new user chooses who may download when he first starts sharing; the choice holds.
void TestSharingWindow::accessIsAskedAtTheFirstStart()
{
    QSettings().remove(u"sharingAccess"_qs);
    vCardSharingController controller;
    QTimer answer;
    connect(&answer, &QTimer::timeout, this, [&controller] {
        if (auto *question = controller.window()->findChild<QMessageBox *>(u"sharingAccessQuestion"_qs)) {
            for (QAbstractButton *button : question->buttons()) {
                if (button->text() == TrustController::tr("Only Devices I Approve"))
                    button->click();
            }
        }
    });
    answer.start(20);
    controller.toggleSharingButton()->click();
    QTRY_VERIFY(controller.shareService().isAnnounced());
    QVERIFY(controller.shareService().server().isProtected());
    QCOMPARE(QSettings().value(u"sharingAccess"_qs).toString(), u"approved"_qs);
    const auto *choice = controller.serviceNameField()->parentWidget()->findChild<QComboBox *>(u"sharingAccessChoice"_qs);
    QCOMPARE(choice->currentIndex(), 1);
    QVERIFY(!choice->isEnabled());

    // A plain client is told the share is protected and takes nothing.
    RecordingPlatform platform;
    QFExchangeClient client;
    QSignalSpy failed(&client, &QFExchangeClient::failed);
    client.loadServiceByAddress(u"127.0.0.1"_qs, controller.shareService().port());
    QTRY_COMPARE(failed.size(), 1);
    QCOMPARE(failed.at(0).at(0).value<QFExchangeClient::Failure>(), QFExchangeClient::Failure::Protected);
}

QTEST_MAIN(TestSharingWindow)
#include "tst_sharingwindow.moc"
