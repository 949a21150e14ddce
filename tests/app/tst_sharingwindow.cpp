#include "inprocessdnssd.h"
#include "ownercardfields.h"
#include "recordingplatform.h"
#include "shareservice.h"
#include "sharingpreferences.h"
#include "testmessages.h"
#include "vcardsharingcontroller.h"

#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QSettings>
#include <QTcpSocket>
#include <QtTest>

class TestSharingWindow : public QObject
{
    Q_OBJECT

private slots:
    void init()
    {
        QSettings().clear();
        DnsSdBackend::install(&dnssd);
    }
    void cleanup() { DnsSdBackend::install(nullptr); }
    void toggleButtonsShareTheirTitle();
    void shareNameSurvivesRestart();
    void extraSavedValuesAreIgnored();
    void ownerCardFieldsCarryTheirTags();
    void twoFieldsWithOneTagGiveOneEntry();

private:
    InProcessDnsSd dnssd;
};

void TestSharingWindow::toggleButtonsShareTheirTitle()
{
    vCardSharingController controller;
    QPushButton *status = controller.toggleSharingButtonInServerStatusView();
    QPushButton *share = controller.toggleSharingButton();
    QCOMPARE(status->text(), msg("SC_ButtonStart"));
    QCOMPARE(share->text(), msg("SC_ButtonStart"));
    QCOMPARE(controller.shortStatusText()->text(), msg("SC_SharingIsOff"));

    status->click();
    QVERIFY(!controller.serviceNameField()->isEnabled());
    QTRY_COMPARE(share->text(), msg("SC_ButtonStop"));
    QCOMPARE(status->text(), msg("SC_ButtonStop"));
    QCOMPARE(controller.shortStatusText()->text(), msg("SC_SharingIsOn"));
    QCOMPARE(controller.longerStatusText()->text(), msg("SC_ClickStop"));
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

void TestSharingWindow::shareNameSurvivesRestart()
{
    {
        vCardSharingController first;
        QCOMPARE(first.serviceNameField()->text(), msg("SC_DefaultShareName"));
        first.serviceNameField()->setText(u"Ärzte & Co \"Süd\""_qs);
        first.ownerCardEditor()->findChild<QLineEdit *>(u"privEmailFieldOL"_qs)->setText(u"me@example.org"_qs);
    }
    {
        // Typing alone saves nothing.
        vCardSharingController second;
        QCOMPARE(second.serviceNameField()->text(), msg("SC_DefaultShareName"));
        second.serviceNameField()->setText(u"Ärzte & Co \"Süd\""_qs);
        second.ownerCardEditor()->findChild<QLineEdit *>(u"privEmailFieldOL"_qs)->setText(u"me@example.org"_qs);
        second.doSaveAsPreference();
        QCOMPARE(QSettings().value(u"sharingPrefsV2"_qs).toList(), QVariantList{u"Ärzte & Co \"Süd\""_qs});
    }
    vCardSharingController third;
    QCOMPARE(third.serviceNameField()->text(), u"Ärzte & Co \"Süd\""_qs);
    QCOMPARE(third.ownerCard().value(PrivEmailTag), u"me@example.org"_qs);
}

void TestSharingWindow::extraSavedValuesAreIgnored()
{
    QSettings().setValue(u"sharingPrefsV2"_qs, QVariantList{u"Team Share"_qs, 1, u"extra"_qs});
    {
        vCardSharingController controller;
        QCOMPARE(controller.serviceNameField()->text(), u"Team Share"_qs);
    }
    // A null placeholder leaves the default in place.
    QSettings().setValue(u"sharingPrefsV2"_qs, QVariantList{QVariant()});
    vCardSharingController controller;
    QCOMPARE(controller.serviceNameField()->text(), msg("SC_DefaultShareName"));
}

void TestSharingWindow::ownerCardFieldsCarryTheirTags()
{
    vCardSharingController controller;
    QSet<int> tags;
    for (const OwnerCardField &field : kOwnerCardFields) {
        auto *edit = controller.ownerCardEditor()->findChild<QLineEdit *>(QLatin1String(field.objectName));
        QVERIFY2(edit, field.objectName);
        QCOMPARE(edit->property("tag").toInt(), field.tag);
        tags.insert(field.tag);
        edit->setText(QString::fromLatin1(field.objectName));
    }
    QCOMPARE(tags.size(), 11);
    const OwnerCard card = controller.ownerCard();
    QCOMPARE(card.size(), 11);
    for (const OwnerCardField &field : kOwnerCardFields)
        QCOMPARE(card.value(field.tag), QString::fromLatin1(field.objectName));
    // Empty fields travel as empty texts.
    controller.ownerCardEditor()->findChild<QLineEdit *>(u"firstNameFieldOL"_qs)->clear();
    QVERIFY(controller.ownerCard().contains(FirstNameTag));
    QCOMPARE(controller.ownerCard().value(FirstNameTag), QString());
}

void TestSharingWindow::twoFieldsWithOneTagGiveOneEntry()
{
    vCardSharingController controller;
    QWidget *editor = controller.ownerCardEditor();
    // The business e-mail is read last: given the first name's tag, it wins.
    auto *first = editor->findChild<QLineEdit *>(u"firstNameFieldOL"_qs);
    auto *mail = editor->findChild<QLineEdit *>(u"bussEmailFieldOL"_qs);
    mail->setProperty("tag", FirstNameTag);
    first->setText(u"Anna"_qs);
    mail->setText(u"anna@work.example"_qs);
    const OwnerCard card = SharingPreferences::ownerCardFrom(editor);
    QCOMPARE(card.size(), 10);
    QCOMPARE(card.value(FirstNameTag), u"anna@work.example"_qs);
}

QTEST_MAIN(TestSharingWindow)
#include "tst_sharingwindow.moc"
