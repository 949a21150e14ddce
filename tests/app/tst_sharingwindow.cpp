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
    void shareNameIsCheckedBeforeAnnouncing_data();
    void shareNameIsCheckedBeforeAnnouncing();
    void shareNameSurvivesRestart();
    void ownerCardFieldsCarryTheirTags();
    void accessIsAskedAtTheFirstStart();

private:
    InProcessDnsSd dnssd;
};

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
    {
        vCardSharingController controller;
        QCOMPARE(controller.serviceNameField()->text(), msg("SC_DefaultShareName"));
        controller.serviceNameField()->setText(u"Ärzte & Co \"Süd\""_qs);
        controller.ownerCardEditor()->findChild<QLineEdit *>(u"privEmailFieldOL"_qs)->setText(u"me@example.org"_qs);
        controller.doSaveAsPreference();
    }
    {
        vCardSharingController restarted;
        QCOMPARE(restarted.serviceNameField()->text(), u"Ärzte & Co \"Süd\""_qs);
        QCOMPARE(restarted.ownerCard().value(PrivEmailTag), u"me@example.org"_qs);
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
