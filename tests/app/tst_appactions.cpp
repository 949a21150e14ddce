#include "abaddressbook.h"
#include "preferenceswindow.h"
#include "recordingplatform.h"
#include "testmessages.h"
#include "trustedpeers.h"
#include "vcardimport.h"
#include "vcardsharingcontroller.h"
#include "viewerwindow.h"

#include <QLineEdit>
#include <QPushButton>
#include <QTabWidget>
#include <QTableView>
#include <QTreeWidget>
#include <QtTest>

class TestAppActions : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase()
    {
        QVERIFY(store.isValid());
        qputenv("ZORBIX_ADDRESSBOOK", store.path().toUtf8());
    }
    void importReportsWhatCameInAndWhatNot();
    void preferencesShowTheServerTable();

private:
    QTemporaryDir store;
};

void TestAppActions::importReportsWhatCameInAndWhatNot()
{
    RecordingPlatform platform;
    vCardSharingController controller;
    QTemporaryDir scratch;
    const QString broken = scratch.filePath(u"broken.vcf"_qs);
    QFile file(broken);
    QVERIFY(file.open(QIODevice::WriteOnly) && file.write("BEGIN:VCARD\r\nVERSION:3.0\r\nFN:No End\r\n") > 0);
    file.close();

    QVERIFY(importVCardFiles(controller.window(), {QStringLiteral(ZORBIX_TEST_DATA "/localab/evolution.vcf"), broken}));
    ABAddressBook *book = ABAddressBook::sharedAddressBook();
    QVERIFY(book);
    QVERIFY(book->people().size() > 0);
    QCOMPARE(platform.alerts.size(), 1);
    const auto [title, hint] = platform.alerts.first();
    // In the user's language, from the message table.
    QCOMPARE(title, msg("IM_ImportedFormat").arg(book->people().size()).arg(2));
    QVERIFY2(hint.contains(u"broken.vcf: "_qs + msg("IM_ReasonNoEnd")), qPrintable(hint));

    // Nothing chosen, nothing said.
    platform.clear();
    QVERIFY(importVCardFiles(controller.window(), {}));
    QVERIFY(platform.alerts.isEmpty());
}

void TestAppActions::preferencesShowTheServerTable()
{
    vCardSharingController controller;
    const QByteArray device(32, '\x5a');
    QVERIFY(TrustedPeers::approve(device, u"Laptop"_qs));
    for (int round = 0; round < 2; ++round) {
        controller.showPreferences();
        PreferencesWindow *window = controller.preferencesWindow();
        QVERIFY(window && window->tabs()->count() == 2);
        QVERIFY(window->tabs()->widget(0)->findChild<QTableView *>());
        // Security: this device's fingerprint, and the approved devices, removable.
        QWidget *security = window->tabs()->widget(1);
        QCOMPARE(security->findChild<QLineEdit *>(u"fingerprintField"_qs)->text().size(), 79);
        auto *devices = security->findChild<QTreeWidget *>(u"approvedDevicesTable"_qs);
        QCOMPARE(devices->topLevelItemCount(), round == 0 ? 1 : 0);
        if (round == 0) {
            QCOMPARE(devices->topLevelItem(0)->text(0), u"Laptop"_qs);
            devices->setCurrentItem(devices->topLevelItem(0));
            security->findChild<QPushButton *>(u"removeDeviceButton"_qs)->click();
            QCOMPARE(devices->topLevelItemCount(), 0);
            QVERIFY(!TrustedPeers::isApproved(device));
        }
        window->close();
        QTRY_VERIFY(!controller.preferencesWindow());
    }
}

QTEST_MAIN(TestAppActions)
#include "tst_appactions.moc"
