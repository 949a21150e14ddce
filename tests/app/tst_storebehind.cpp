#include "abaddressbook.h"
#include "absharingpropcontroller.h"
#include "clitools.h"
#include "dnssdbackend.h"
#include "inprocessdnssd.h"
#include "recordingplatform.h"
#include "shareservice.h"
#include "trustedpeers.h"
#include "vcardsharingcontroller.h"
#include "viewerwindow.h"

#include <QAction>
#include <QLabel>
#include <QPushButton>
#include <QTableView>
#include <QtTest>

// The window shows before the address book is read: the pages that need it say that it is
// loading, and what would act on it waits until it is there.
class TestStoreBehind : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void actionsWaitForTheStore_data();
    void actionsWaitForTheStore();

private:
    QTemporaryDir m_store;
    QTemporaryDir m_files;
    InProcessDnsSd m_dnssd;
};

namespace {
constexpr int kPersons = 40;

int cardFiles(const QString &directory)
{
    return static_cast<int>(QDir(directory).entryList({u"*.vcf"_qs}, QDir::Files).size());
}
} // namespace

void TestStoreBehind::initTestCase()
{
    QVERIFY(m_store.isValid() && m_files.isValid());
    qputenv("ZORBIX_ADDRESSBOOK", m_store.path().toUtf8());
    DnsSdBackend::install(&m_dnssd);
    QVERIFY(TrustedPeers::setSharingAccess(TrustedPeers::Access::Everyone));
    QByteArray members;
    for (int i = 0; i < kPersons; ++i) {
        QVERIFY(CliTools::writeCard(m_store.filePath(u"p%1.vcf"_qs.arg(i)),
                                    u"UID:p%1\r\nN:Last%1;First;;;\r\nFN:First Last%1\r\n"_qs.arg(i).toUtf8()));
        members += "X-ADDRESSBOOKSERVER-MEMBER:urn:uuid:p" + QByteArray::number(i) + "\r\n";
    }
    QVERIFY(CliTools::writeCard(m_store.filePath(u"friends.vcf"_qs),
                                "UID:friends\r\nFN:Friends\r\nN:Friends;;;;\r\nX-ADDRESSBOOKSERVER-KIND:group\r\n" +
                                    members));
}

void TestStoreBehind::actionsWaitForTheStore_data()
{
    QTest::addColumn<QString>("action");
    QTest::newRow("nothing asked") << u"none"_qs;
    QTest::newRow("sharing switched on") << u"share"_qs;
    QTest::newRow("file dropped") << u"import"_qs; // last: its card stays in the store
}

void TestStoreBehind::actionsWaitForTheStore()
{
    QFETCH(QString, action);
    RecordingPlatform platform;
    const int filesBefore = cardFiles(m_store.path());
    vCardSharingController controller(vCardSharingController::StoreLoading::Behind);
    QSignalSpy ready(&controller, &vCardSharingController::addressBookReady);
    ViewerWindow *window = controller.window();
    window->show();

    // Until the event loop runs, the store cannot have arrived. Loading: said on the status and address book pages, and the group controls wait.
    const auto loadingLabels = [&] {
        QList<QLabel *> shown;
        for (int page : {1, 6}) {
            for (QLabel *label : controller.view(page)->findChildren<QLabel *>(u"addressBookLoadingLabel"_qs)) {
                if (label->isVisibleTo(controller.view(page)) && !label->accessibleName().isEmpty())
                    shown.append(label);
            }
        }
        return shown.size();
    };
    ABSharingPropController *groups = controller.ABSharingControllerRef();
    QVERIFY(ready.isEmpty() && !controller.isAddressBookReady());
    QCOMPARE(loadingLabels(), 2);
    QVERIFY(!groups->sharedTableOL()->isEnabled() && !groups->shareAllButtonOL()->isEnabled());
    QVERIFY(!window->findChild<QAction *>(u"importAction"_qs)->isEnabled());

    const QString dropped = m_files.filePath(action + u".vcf"_qs);
    if (action == u"import"_qs) {
        QVERIFY(CliTools::writeCard(dropped, "N:Dropped;Ann;;;\r\nFN:Ann Dropped\r\nCATEGORIES:Dropped\r\n"));
        controller.importFiles({dropped});
        QCOMPARE(cardFiles(m_store.path()), filesBefore);
        QVERIFY(platform.alerts.isEmpty());
    } else if (action == u"share"_qs) {
        controller.toggleSharingButton()->click();
        QCOMPARE(controller.shareService().port(), quint16(0));
    }

    QVERIFY(ready.wait(30000));
    QVERIFY(controller.isAddressBookReady());
    QCOMPARE(loadingLabels(), 0);
    QVERIFY(groups->sharedTableOL()->isEnabled() && groups->shareAllButtonOL()->isEnabled());
    QVERIFY(window->findChild<QAction *>(u"importAction"_qs)->isEnabled());
    const ABAddressBook *book = ABAddressBook::sharedAddressBook();
    QVERIFY(book);
    QCOMPARE(groups->tableViewObjectValue(groups->nonSharedTableOL(), 0, 0), u"Friends"_qs);

    // Every card once: the store was read once, by the loader.
    const int persons = filesBefore - 1 + (action == u"import"_qs ? 1 : 0);
    QTRY_COMPARE(cardFiles(m_store.path()), persons + 1);
    QCOMPARE(book->people().size(), persons);
    QStringList names;
    for (const QVariant &group : groups->nonSharedGroups())
        names.append(group.toMap().value(u"GroupName"_qs).toString());
    QCOMPARE(names.contains(u"Dropped"_qs), action == u"import"_qs);
    QCOMPARE(controller.shareService().port() != 0, action == u"share"_qs);
}

QTEST_MAIN(TestStoreBehind)
#include "tst_storebehind.moc"
