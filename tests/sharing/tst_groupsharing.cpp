#include "abaddressbook.h"
#include "abglobals.h"
#include "abgroup.h"
#include "abperson.h"
#include "absharingpropcontroller.h"
#include "clitools.h"
#include "recordingplatform.h"
#include "recordlistbuilder.h"
#include "testmessages.h"

#include <QtTest>
#include <QtWidgets>

namespace {

QVariantMap reference(const QVariant &uid, const QString &name)
{
    return QVariantMap{{kABUIDProperty, uid}, {kABGroupNameProperty, name}};
}

QSettings userDefaults()
{
    return QSettings(u"quenfold"_qs, u"zorbix"_qs);
}

QStringList names(const QVariantList &references)
{
    QStringList out;
    for (const QVariant &item : references)
        out.append(item.toMap().value(kABGroupNameProperty).toString());
    return out;
}

QStringList tableTexts(const QTableView *table)
{
    QStringList out;
    for (int row = 0; row < table->model()->rowCount(); ++row)
        out.append(table->model()->index(row, 0).data().toString());
    return out;
}

void select(QTableView *table, int row)
{
    table->selectionModel()->select(table->model()->index(row, 0),
                                    QItemSelectionModel::ClearAndSelect | QItemSelectionModel::Rows);
}

// How many records each download from one `zorbix-cli serve` run carries, with this test's
// settings; before each download after the first, `between` is called with its number.
QList<int> servedByCli(const QString &store, int downloads = 1, const std::function<void(int)> &between = {})
{
    QProcess serve;
    const QString port = CliTools::startServe(serve, {u"--addressbook"_qs, store, u"--port"_qs, u"0"_qs, u"--no-announce"_qs});
    static const QRegularExpression servedLine(u"served (\\d+) records"_qs);
    QByteArray out;
    QList<int> served;
    for (int i = 0; i < downloads; ++i) {
        if (i > 0 && between)
            between(i);
        CliTools::run({u"fetch"_qs, u"127.0.0.1:"_qs + port});
        QStringList counts;
        (void)QTest::qWaitFor([&] {
            out += serve.readAllStandardOutput();
            counts.clear();
            for (auto it = servedLine.globalMatch(QString::fromUtf8(out)); it.hasNext();)
                counts.append(it.next().captured(1));
            return counts.size() > i;
        }, 20000);
        served.append(counts.size() > i ? counts.at(i).toInt() : -1);
    }
    serve.terminate();
    serve.waitForFinished(10000);
    return served;
}

} // namespace

class TestGroupSharing : public QObject
{
    Q_OBJECT

private slots:
    void init();
    void cleanup();

    void reconcileAtLoad_data();
    void reconcileAtLoad();
    void unavailableStoreKeepsListsUnsaved();
    void movesKeepTheirOrder();
    void choiceStandsWhenSettingsCannotBeWritten();
    void serveFollowsGroupPage();

private:
    ABGroup *addGroup(const QString &name);

    std::unique_ptr<QTemporaryDir> m_dir;
    std::unique_ptr<ABAddressBook> m_book;
};

void TestGroupSharing::init()
{
    userDefaults().clear();
    userDefaults().sync();
    m_dir = std::make_unique<QTemporaryDir>();
    m_book = std::make_unique<ABAddressBook>(m_dir->path());
}

void TestGroupSharing::cleanup()
{
    m_book.reset();
    m_dir.reset();
}

ABGroup *TestGroupSharing::addGroup(const QString &name)
{
    ABGroup *group = m_book->addRecord(ABAddressBook::newGroup());
    group->setValue(name, kABGroupNameProperty);
    return group;
}

void TestGroupSharing::reconcileAtLoad_data()
{
    QTest::addColumn<bool>("writeShared");
    QTest::addColumn<bool>("writeNonShared");
    QTest::addColumn<QStringList>("shared"); // stored: names; "gone*" are groups that do not exist,
    QTest::addColumn<QStringList>("nonShared"); // "bytes:X" group X with a UID that is not text
    QTest::addColumn<QStringList>("expectShared");
    QTest::addColumn<QStringList>("expectNonShared");
    // Groups in the store, in order: A B C D, one person in each.
    const QStringList all{u"A"_qs, u"B"_qs, u"C"_qs, u"D"_qs};
    QTest::newRow("first run") << false << false << QStringList() << QStringList() << QStringList() << all;
    QTest::newRow("only shared stored") << true << false << QStringList{u"B"_qs} << QStringList() << QStringList()
                                        << all;
    QTest::newRow("kept, new groups appended in store order")
        << true << true << QStringList{u"C"_qs} << QStringList{u"D"_qs} << QStringList{u"C"_qs}
        << QStringList{u"D"_qs, u"A"_qs, u"B"_qs};
    QTest::newRow("adjacent stale references all go")
        << true << true << QStringList{u"gone1"_qs, u"gone2"_qs, u"B"_qs, u"gone3"_qs}
        << QStringList{u"gone4"_qs, u"gone5"_qs, u"A"_qs} << QStringList{u"B"_qs}
        << QStringList{u"A"_qs, u"C"_qs, u"D"_qs};
    QTest::newRow("entries that are not references dropped")
        << true << true << QStringList{u"bytes:A"_qs, u"C"_qs} << QStringList{u"bytes:B"_qs} << QStringList{u"C"_qs}
        << QStringList{u"A"_qs, u"B"_qs, u"D"_qs};
}

// The desktop's group settings and `zorbix-cli serve` share the same persons.
void TestGroupSharing::reconcileAtLoad()
{
    QFETCH(bool, writeShared);
    QFETCH(bool, writeNonShared);
    QFETCH(QStringList, shared);
    QFETCH(QStringList, nonShared);
    QFETCH(QStringList, expectShared);
    QFETCH(QStringList, expectNonShared);

    QHash<QString, QString> uids;
    for (const QString &name : {u"A"_qs, u"B"_qs, u"C"_qs, u"D"_qs}) {
        ABGroup *group = addGroup(name);
        group->addMember(m_book->addRecord(ABAddressBook::newPerson()));
        group->members().first()->setValue(name, kABFirstNameProperty);
        uids.insert(name, group->uniqueId());
    }
    QVERIFY(m_book->save());
    auto stored = [&uids](const QStringList &list) {
        QVariantList references{u"text"_qs, 5, QVariantMap{{kABGroupNameProperty, u"no uid"_qs}}};
        for (const QString &name : list) {
            if (name.startsWith(u"bytes:"_qs))
                references.append(reference(uids.value(name.mid(6)).toUtf8(), name.mid(6)));
            else
                references.append(reference(uids.value(name, u"uid-"_qs + name), name));
        }
        return references;
    };
    if (writeShared)
        userDefaults().setValue(u"sharedGroups"_qs, stored(shared));
    if (writeNonShared)
        userDefaults().setValue(u"nonSharedGroups"_qs, stored(nonShared));
    const int servedByServe = servedByCli(m_dir->path()).value(0);
    ABSharingPropController controller(m_book.get());
    QCOMPARE(names(controller.sharedGroups()), expectShared);
    QCOMPARE(names(controller.nonSharedGroups()), expectNonShared);
    for (const QVariant &item : controller.nonSharedGroups())
        QCOMPARE(item.toMap().value(kABUIDProperty).toString(),
                 uids.value(item.toMap().value(kABGroupNameProperty).toString()));
    QCOMPARE(servedByServe, int(expectShared.size()));
    QCOMPARE(RecordListBuilder::build(m_book.get(), controller).size(), expectShared.size());
    // Saved at once, whole.
    QSettings settings = userDefaults();
    QCOMPARE(names(settings.value(u"sharedGroups"_qs).toList()), expectShared);
    QCOMPARE(names(settings.value(u"nonSharedGroups"_qs).toList()), expectNonShared);
}

void TestGroupSharing::unavailableStoreKeepsListsUnsaved()
{
    userDefaults().setValue(u"sharedGroups"_qs, QVariantList{reference(u"u1"_qs, u"One"_qs)});
    userDefaults().setValue(u"nonSharedGroups"_qs, QVariantList{reference(u"u2"_qs, u"Two"_qs)});
    const QDateTime before = QFileInfo(userDefaults().fileName()).lastModified();
    QTest::qSleep(20);
    ABSharingPropController controller(static_cast<ABAddressBook *>(nullptr));
    QCOMPARE(names(controller.sharedGroups()) + names(controller.nonSharedGroups()),
             (QStringList{u"One"_qs, u"Two"_qs}));
    QVERIFY(!controller.isGroupWithUIDinAB(u"u1"_qs));
    QCOMPARE(QFileInfo(userDefaults().fileName()).lastModified(), before);
}

void TestGroupSharing::movesKeepTheirOrder()
{
    RecordingPlatform platform;
    for (const QString &name : {u"G1"_qs, u"G2"_qs, u"G3"_qs, u"G4"_qs, u"G5"_qs})
        addGroup(name);
    ABSharingPropController controller(m_book.get());
    controller.view();
    select(controller.nonSharedTableOL(), 2);
    QTest::mouseClick(controller.shareOneButtonOL(), Qt::LeftButton);
    QCOMPARE(tableTexts(controller.nonSharedTableOL()), (QStringList{u"G1"_qs, u"G2"_qs, u"G4"_qs, u"G5"_qs}));
    select(controller.nonSharedTableOL(), 0);
    QTest::mouseClick(controller.shareOneButtonOL(), Qt::LeftButton);
    QCOMPARE(tableTexts(controller.sharedTableOL()), (QStringList{u"G3"_qs, u"G1"_qs}));
    select(controller.sharedTableOL(), 0);
    QTest::mouseClick(controller.shareNonOneButtonOL(), Qt::LeftButton);
    const QStringList nonShared{u"G2"_qs, u"G4"_qs, u"G5"_qs, u"G3"_qs};
    QCOMPARE(tableTexts(controller.nonSharedTableOL()), nonShared);
    // Every change is in the settings before the action returns, and the next run reads it.
    QCOMPARE(names(userDefaults().value(u"sharedGroups"_qs).toList()), QStringList{u"G1"_qs});
    ABSharingPropController next(m_book.get());
    QCOMPARE(names(next.nonSharedGroups()), nonShared);
    // Nothing to move: a beep each, and no change.
    QTest::mouseClick(controller.shareNonButtonOL(), Qt::LeftButton);
    QCOMPARE(platform.beeps, 0);
    controller.doNonShareAll();
    controller.doUnshare();
    controller.nonSharedTableOL()->clearSelection();
    controller.doShare();
    QCOMPARE(platform.beeps, 3);
    QCOMPARE(names(controller.nonSharedGroups()), nonShared + QStringList{u"G1"_qs});
    QVERIFY(platform.alerts.isEmpty());
}

// After a failed write the alert promises the choice holds until quit: an import that brings
// new groups must not undo it from the stale settings.
void TestGroupSharing::choiceStandsWhenSettingsCannotBeWritten()
{
    RecordingPlatform platform;
    addGroup(u"A"_qs);
    addGroup(u"B"_qs);
    ABSharingPropController controller(m_book.get()); // writes the lists at once
    controller.view();
    const QString file = userDefaults().fileName();
    QVERIFY(QFile::remove(file) && QDir().mkpath(file)); // a folder where the settings file was
    select(controller.nonSharedTableOL(), 0);
    controller.doShare();
    QCOMPARE(platform.alerts.size(), 1);
    QCOMPARE(platform.alerts.first().first, msg("SC_GroupsNotSavedProblem"));
    addGroup(u"Imported"_qs);
    controller.takeInNewGroups();
    QCOMPARE(names(controller.sharedGroups()), QStringList{u"A"_qs});
    QCOMPARE(names(controller.nonSharedGroups()), (QStringList{u"B"_qs, u"Imported"_qs}));
    QVERIFY(QDir(file).removeRecursively());
}

// A running `zorbix-cli serve` follows the groups moved on the desktop's page: the next download
// serves the new choice, also where the store did not change (the encoded list is not reused).
void TestGroupSharing::serveFollowsGroupPage()
{
    RecordingPlatform platform;
    for (const QString &name : {u"A"_qs, u"B"_qs}) {
        ABGroup *group = addGroup(name);
        for (int i = 0; i < (name == u"A"_qs ? 1 : 2); ++i) {
            ABPerson *person = m_book->addRecord(ABAddressBook::newPerson());
            person->setValue(name + QString::number(i), kABFirstNameProperty);
            group->addMember(person);
        }
    }
    QVERIFY(m_book->save());
    ABSharingPropController controller(m_book.get());
    controller.view();
    select(controller.nonSharedTableOL(), 0);
    controller.doShare(); // A
    const QList<int> served = servedByCli(m_dir->path(), 3, [&controller](int download) {
        select(download == 1 ? controller.nonSharedTableOL() : controller.sharedTableOL(), 0);
        download == 1 ? controller.doShare() : controller.doUnshare(); // B joins, then A leaves
    });
    QCOMPARE(served, (QList<int>{1, 3, 2}));
    QVERIFY(platform.alerts.isEmpty());
}

QTEST_MAIN(TestGroupSharing)
#include "tst_groupsharing.moc"
