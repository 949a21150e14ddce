#include "abaddressbook.h"
#include "abbrowsercontroller.h"
#include "abglobals.h"
#include "abgroup.h"
#include "abperson.h"
#include "fakebrowser.h"
#include "quicksynccontroller.h"
#include "recordingplatform.h"
#include "testmessages.h"

#include <QtTest>
#include <QtWidgets>

// The contact detail and quick sync windows driven by a stand-in for the share browser.
class TestDownloadedPersons : public QObject
{
    Q_OBJECT

private slots:
    void init();
    void detailWindow();
    void quickSyncRuns();

private:
    std::unique_ptr<QTemporaryDir> m_dir;
    FakeBrowser m_browser;
};

namespace {

FlatPerson person(const QString &first, const QString &last, const QVariantMap &more = {})
{
    FlatPerson p = more;
    p.insert(kABFirstNameProperty, first);
    p.insert(kABLastNameProperty, last);
    return p;
}

QString cell(QTableView *table, int row, int column)
{
    return table->model()->index(row, column).data().toString();
}

} // namespace

void TestDownloadedPersons::init()
{
    m_dir = std::make_unique<QTemporaryDir>();
    QVERIFY(m_dir->isValid());
    m_browser = FakeBrowser();
}

void TestDownloadedPersons::detailWindow()
{
    RecordingPlatform platform;
    ABAddressBook book(m_dir->path());
    ABBrowserController controller(&book);
    controller.setBrowserController(&m_browser);
    QWidget *window = controller.window();
    auto *names = window->findChild<QTableView *>(u"nameTableOL"_qs);
    auto *values = window->findChild<QTableView *>(u"valuesTableOL"_qs);
    auto *label = window->findChild<QLabel *>(u"remoteUserFieldOL"_qs);
    QCOMPARE(names->model()->rowCount(), 0);

    const QVariantList phones{QVariantMap{{u"work"_qs, u"+43 1"_qs}},
                              QVariantMap{{u"mobile"_qs, u"+43 2"_qs}},
                              QVariantMap{{u"Boat"_qs, u"+43 3"_qs}}};
    // A birthday is noon UTC of its day: the same day here, at UTC+14.
    const QDateTime birthday(QDate(1996, 4, 15), QTime(12, 0), Qt::UTC);
    m_browser.setRecords(
        {person(u"Ann"_qs, u"Lee"_qs,
                {{kABPhoneProperty, phones}, {kABUIDProperty, u"u"_qs}, {kABBirthdayProperty, birthday}}),
         FlatPerson{{kABOrganizationProperty, u"Acme"_qs}},
         person(u"Bo"_qs, u"Ek"_qs,
                {{kABEmailProperty, QVariantList{QVariantMap{{u"home"_qs, u"bo@ACME.example"_qs}}}}})});
    controller.doReloadData(&m_browser);
    QCOMPARE(label->text(), u"Office"_qs + msg("AB_Records").arg(3));
    const auto column = [names] {
        QStringList shown;
        for (int row = 0; row < names->model()->rowCount(); ++row)
            shown.append(cell(names, row, 0));
        return shown;
    };
    QCOMPARE(column(), (QStringList{u"Ann Lee"_qs, u"Acme"_qs, u"Bo Ek"_qs})); // in download order
    // Nothing selected: saving has nothing to save.
    controller.doSaveOneRecord();
    QCOMPARE(platform.beeps, 1);

    names->selectRow(0);
    QCOMPARE(values->model()->rowCount(), 6);
    QCOMPARE(cell(values, 0, 1), u"4/15/1996"_qs); // the rows themselves: tst_quicksync

    QTest::mouseClick(window->findChild<QPushButton *>(u"saveOneButtonOL"_qs), Qt::LeftButton);
    QCOMPARE(platform.alerts.size(), 1);
    QCOMPARE(platform.alerts.first().first, msg("AB_SavedOne"));
    ABAddressBook reread(m_dir->path());
    QCOMPARE(reread.people().size(), 1);
    QCOMPARE(reread.people().first()->valueForProperty(kABFirstNameProperty).toString(), u"Ann"_qs);
    QVERIFY(reread.people().first()->uniqueId() != u"u"_qs);
}

void TestDownloadedPersons::quickSyncRuns()
{
    RecordingPlatform platform;
    ABAddressBook book(m_dir->path());
    QuickSyncController controller(&book);
    controller.setBrowserController(&m_browser);
    controller.setSliceSize(1);
    QWidget *window = controller.window();
    auto *run = window->findChild<QPushButton *>(u"runCAButtonOL"_qs);
    auto *groupName = window->findChild<QLineEdit *>(u"caNewGroupsNameFieldOL"_qs);
    QSignalSpy finished(&controller, &QuickSyncController::finished);
    controller.doReloadData(&m_browser); // no download yet: nothing to run
    QVERIFY(!run->isEnabled());
    auto *matching = window->findChild<QCheckBox *>(u"caMatchingButtonOL"_qs);
    book.addRecord(ABAddressBook::newPerson())->setValue(u"Zed"_qs, kABFirstNameProperty);
    QVERIFY(book.save());
    m_browser.setRecords({person(u"Ann"_qs, u"Lee"_qs), person(u"Bob"_qs, u"Roe"_qs),
                          person(u"Cleo"_qs, u"Day"_qs, {{kABNoteProperty, u"n"_qs}})});
    controller.doReloadData(&m_browser);
    QVERIFY(run->isEnabled() && matching->isEnabled());
    QCOMPARE(groupName->text(), msg("QS_FormatFrom").arg(u"Office"_qs));
    window->findChild<QCheckBox *>(u"caUseNewGroupButtonOL"_qs)->setChecked(true);

    // Cancelled: the store stays as it was.
    QTest::mouseClick(run, Qt::LeftButton);
    QVERIFY(controller.isRunning());
    QVERIFY(!run->isEnabled());
    QTest::mouseClick(window->findChild<QPushButton *>(u"cancelButtonOL"_qs), Qt::LeftButton);
    QCOMPARE(finished.size(), 1);
    QVERIFY(book.people().size() == 1 && book.groups().isEmpty() && !book.hasUnsavedChanges());

    // Copied in slices, one save, one report.
    QTest::mouseClick(run, Qt::LeftButton);
    QVERIFY(finished.wait(5000));
    QCOMPARE(platform.alerts,
             (QList<QPair<QString, QString>>{
                 {msg("QS_FormatSavedAndSkipped").arg(3).arg(0),
                  msg("QS_FormatSavedToGroup").arg(msg("QS_FormatFrom").arg(u"Office"_qs))}}));
    ABAddressBook reread(m_dir->path());
    QCOMPARE(reread.groups().size(), 1);
    QCOMPARE(reread.groups().first()->members().size(), 3);

    // A save that fails is reported by the store, and no summary says otherwise.
    platform.clear();
    matching->setChecked(false);
    QVERIFY(QDir(m_dir->path()).removeRecursively());
    QTest::mouseClick(run, Qt::LeftButton);
    QVERIFY(finished.wait(5000));
    QCOMPARE(platform.alerts.size(), 1);
    QVERIFY(platform.alerts.first().second.contains(m_dir->path()));
}

int main(int argc, char **argv)
{
    setenv("TZ", "Pacific/Kiritimati", 1);
    QLocale::setDefault(QLocale(QLocale::English));
    QApplication app(argc, argv);
    TestDownloadedPersons test;
    return QTest::qExec(&test, argc, argv);
}

#include "tst_downloadedpersons.moc"
