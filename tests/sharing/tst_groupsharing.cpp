#include "abaddressbook.h"
#include "abglobals.h"
#include "abgroup.h"
#include "abperson.h"
#include "absharingpropcontroller.h"
#include "recordingplatform.h"

#include <QtTest>
#include <QtWidgets>

namespace {

QVariantMap reference(const QString &uid, const QString &name)
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
    void garbageInSettingsIsDropped();
    void selectionTest();
    void shareOneKeepsOrder();
    void moveAllBothWays();
    void nothingToMoveBeeps();
    void tablesShowStoredNames();

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
    QTest::addColumn<QStringList>("shared"); // stored: names; "gone*" are groups that do not exist
    QTest::addColumn<QStringList>("nonShared");
    QTest::addColumn<QStringList>("expectShared");
    QTest::addColumn<QStringList>("expectNonShared");
    // Groups in the store, in order: A B C D.
    QTest::newRow("first run") << false << false << QStringList() << QStringList() << QStringList()
                               << QStringList{u"A"_qs, u"B"_qs, u"C"_qs, u"D"_qs};
    QTest::newRow("only shared stored") << true << false << QStringList{u"B"_qs} << QStringList()
                                        << QStringList() << QStringList{u"A"_qs, u"B"_qs, u"C"_qs, u"D"_qs};
    QTest::newRow("only non-shared stored")
        << false << true << QStringList() << QStringList{u"C"_qs} << QStringList()
        << QStringList{u"A"_qs, u"B"_qs, u"C"_qs, u"D"_qs};
    QTest::newRow("kept, new groups appended in store order")
        << true << true << QStringList{u"C"_qs} << QStringList{u"D"_qs} << QStringList{u"C"_qs}
        << QStringList{u"D"_qs, u"A"_qs, u"B"_qs};
    QTest::newRow("adjacent stale references all go")
        << true << true << QStringList{u"gone1"_qs, u"gone2"_qs, u"B"_qs, u"gone3"_qs}
        << QStringList{u"gone4"_qs, u"gone5"_qs, u"A"_qs} << QStringList{u"B"_qs}
        << QStringList{u"A"_qs, u"C"_qs, u"D"_qs};
}

void TestGroupSharing::reconcileAtLoad()
{
    QFETCH(bool, writeShared);
    QFETCH(bool, writeNonShared);
    QFETCH(QStringList, shared);
    QFETCH(QStringList, nonShared);
    QFETCH(QStringList, expectShared);
    QFETCH(QStringList, expectNonShared);

    QHash<QString, QString> uids;
    for (const QString &name : {u"A"_qs, u"B"_qs, u"C"_qs, u"D"_qs})
        uids.insert(name, addGroup(name)->uniqueId());
    auto stored = [&uids](const QStringList &list) {
        QVariantList references;
        for (const QString &name : list)
            references.append(reference(uids.value(name, u"uid-"_qs + name), name));
        return references;
    };
    {
        QSettings settings = userDefaults();
        if (writeShared)
            settings.setValue(u"sharedGroups"_qs, stored(shared));
        if (writeNonShared)
            settings.setValue(u"nonSharedGroups"_qs, stored(nonShared));
    }
    ABSharingPropController controller(m_book.get());
    QCOMPARE(names(controller.sharedGroups()), expectShared);
    QCOMPARE(names(controller.nonSharedGroups()), expectNonShared);
    for (const QVariant &item : controller.nonSharedGroups())
        QCOMPARE(item.toMap().value(kABUIDProperty).toString(),
                 uids.value(item.toMap().value(kABGroupNameProperty).toString()));
    // Saved at once, whole.
    QSettings settings = userDefaults();
    QCOMPARE(names(settings.value(u"sharedGroups"_qs).toList()), expectShared);
    QCOMPARE(names(settings.value(u"nonSharedGroups"_qs).toList()), expectNonShared);
}

void TestGroupSharing::unavailableStoreKeepsListsUnsaved()
{
    const QVariantList shared{reference(u"u1"_qs, u"One"_qs)};
    {
        QSettings settings = userDefaults();
        settings.setValue(u"sharedGroups"_qs, shared);
        settings.setValue(u"nonSharedGroups"_qs, QVariantList{reference(u"u2"_qs, u"Two"_qs)});
    }
    const QDateTime before = QFileInfo(userDefaults().fileName()).lastModified();
    QTest::qSleep(20);
    ABSharingPropController controller(static_cast<ABAddressBook *>(nullptr));
    QCOMPARE(names(controller.sharedGroups()), QStringList{u"One"_qs});
    QCOMPARE(names(controller.nonSharedGroups()), QStringList{u"Two"_qs});
    QVERIFY(!controller.isGroupWithUIDinAB(u"u1"_qs));
    QVERIFY(controller.groupInAnyTable(u"u2"_qs));
    QCOMPARE(QFileInfo(userDefaults().fileName()).lastModified(), before);
}

void TestGroupSharing::garbageInSettingsIsDropped()
{
    const QString uid = addGroup(u"Real"_qs)->uniqueId();
    {
        QSettings settings = userDefaults();
        settings.setValue(u"sharedGroups"_qs,
                          QVariantList{u"text"_qs, 5, QVariantMap{{kABGroupNameProperty, u"no uid"_qs}},
                                       reference(uid, u"Real"_qs)});
        settings.setValue(u"nonSharedGroups"_qs, u"not a list"_qs);
    }
    ABSharingPropController controller(m_book.get());
    QCOMPARE(names(controller.sharedGroups()), QStringList{u"Real"_qs});
    QVERIFY(controller.nonSharedGroups().isEmpty());
}

void TestGroupSharing::selectionTest()
{
    ABGroup *a = addGroup(u"A"_qs);
    ABGroup *b = addGroup(u"B"_qs);
    ABPerson *inBoth = m_book->addRecord(ABAddressBook::newPerson());
    ABPerson *inA = m_book->addRecord(ABAddressBook::newPerson());
    ABPerson *loner = m_book->addRecord(ABAddressBook::newPerson());
    ABPerson *categorised = m_book->addRecord(ABAddressBook::newPerson());
    a->addMember(inBoth);
    b->addMember(inBoth);
    a->addMember(inA);
    QVERIFY(m_book->save());
    // A category group from another program's card.
    QFile file(m_dir->filePath(u"cat.vcf"_qs));
    QVERIFY(file.open(QIODevice::WriteOnly));
    file.write(
        "BEGIN:VCARD\r\nVERSION:3.0\r\nUID:cat-person\r\nN:Cat;C;;;\r\nCATEGORIES:Club\r\nEND:VCARD\r\n");
    file.close();
    Q_UNUSED(categorised);
    const QString bothUid = inBoth->uniqueId();
    const QString aUid = inA->uniqueId();
    const QString lonerUid = loner->uniqueId();
    m_book = std::make_unique<ABAddressBook>(m_dir->path());
    auto person = [this](const QString &uid) {
        return static_cast<ABPerson *>(m_book->recordForUniqueId(uid));
    };

    ABSharingPropController controller(m_book.get());
    QVERIFY(!controller.isPeopleInGroups(person(bothUid)));
    controller.view();
    // Share B only: the person in A and B is shared, the one in A only is not.
    const int rowOfB = names(controller.nonSharedGroups()).indexOf(u"B"_qs);
    select(controller.nonSharedTableOL(), rowOfB);
    controller.doShare();
    QVERIFY(controller.isPeopleInGroups(person(bothUid)));
    QVERIFY(!controller.isPeopleInGroups(person(aUid)));
    controller.doShareAll();
    QVERIFY(controller.isPeopleInGroups(person(aUid)));
    QVERIFY(controller.isPeopleInGroups(person(u"cat-person"_qs)));
    // A person in no group is never shared, even with every group shared.
    QVERIFY(!controller.isPeopleInGroups(person(lonerUid)));
    QVERIFY(!controller.isPeopleInGroups(nullptr));
}

void TestGroupSharing::shareOneKeepsOrder()
{
    RecordingPlatform platform;
    for (const QString &name : {u"G1"_qs, u"G2"_qs, u"G3"_qs, u"G4"_qs, u"G5"_qs})
        addGroup(name);
    ABSharingPropController controller(m_book.get());
    QWidget *page = controller.view();
    QVERIFY(page);
    QCOMPARE(page->findChild<QTableView *>(u"nonSharedTableOL"_qs), controller.nonSharedTableOL());
    select(controller.nonSharedTableOL(), 2);
    QTest::mouseClick(controller.shareOneButtonOL(), Qt::LeftButton);
    QCOMPARE(tableTexts(controller.nonSharedTableOL()),
             (QStringList{u"G1"_qs, u"G2"_qs, u"G4"_qs, u"G5"_qs}));
    QCOMPARE(tableTexts(controller.sharedTableOL()), QStringList{u"G3"_qs});
    select(controller.nonSharedTableOL(), 0);
    QTest::mouseClick(controller.shareOneButtonOL(), Qt::LeftButton);
    QCOMPARE(tableTexts(controller.sharedTableOL()), (QStringList{u"G3"_qs, u"G1"_qs}));
    select(controller.sharedTableOL(), 0);
    QTest::mouseClick(controller.shareNonOneButtonOL(), Qt::LeftButton);
    QCOMPARE(tableTexts(controller.nonSharedTableOL()),
             (QStringList{u"G2"_qs, u"G4"_qs, u"G5"_qs, u"G3"_qs}));
    QCOMPARE(platform.beeps, 0);
    // Every change is in the settings before the action returns.
    QSettings settings = userDefaults();
    QCOMPARE(names(settings.value(u"sharedGroups"_qs).toList()), QStringList{u"G1"_qs});
    QCOMPARE(names(settings.value(u"nonSharedGroups"_qs).toList()),
             (QStringList{u"G2"_qs, u"G4"_qs, u"G5"_qs, u"G3"_qs}));
    // The next controller (next run) reads them back as they were.
    ABSharingPropController next(m_book.get());
    QCOMPARE(names(next.sharedGroups()), QStringList{u"G1"_qs});
    QCOMPARE(names(next.nonSharedGroups()), (QStringList{u"G2"_qs, u"G4"_qs, u"G5"_qs, u"G3"_qs}));
}

void TestGroupSharing::moveAllBothWays()
{
    RecordingPlatform platform;
    for (const QString &name : {u"S1"_qs, u"S2"_qs, u"N1"_qs, u"N2"_qs})
        addGroup(name);
    ABSharingPropController controller(m_book.get());
    controller.view();
    select(controller.nonSharedTableOL(), 0);
    controller.doShare();
    select(controller.nonSharedTableOL(), 0);
    controller.doShare();
    QCOMPARE(names(controller.sharedGroups()), (QStringList{u"S1"_qs, u"S2"_qs}));
    QTest::mouseClick(controller.shareAllButtonOL(), Qt::LeftButton);
    QCOMPARE(names(controller.sharedGroups()), (QStringList{u"S1"_qs, u"S2"_qs, u"N1"_qs, u"N2"_qs}));
    QVERIFY(controller.nonSharedGroups().isEmpty());
    QTest::mouseClick(controller.shareNonButtonOL(), Qt::LeftButton);
    QCOMPARE(names(controller.nonSharedGroups()), (QStringList{u"S1"_qs, u"S2"_qs, u"N1"_qs, u"N2"_qs}));
    QCOMPARE(tableTexts(controller.nonSharedTableOL()),
             (QStringList{u"S1"_qs, u"S2"_qs, u"N1"_qs, u"N2"_qs}));
    QVERIFY(tableTexts(controller.sharedTableOL()).isEmpty());
    QCOMPARE(platform.beeps, 0);
}

void TestGroupSharing::nothingToMoveBeeps()
{
    RecordingPlatform platform;
    addGroup(u"Only"_qs);
    ABSharingPropController controller(m_book.get());
    controller.view();
    controller.doShareAll();
    QCOMPARE(platform.beeps, 0);
    controller.doShareAll(); // not-shared table empty
    QCOMPARE(platform.beeps, 1);
    QCOMPARE(names(controller.sharedGroups()), QStringList{u"Only"_qs});
    controller.nonSharedTableOL()->clearSelection();
    controller.doShare(); // no selection
    QCOMPARE(platform.beeps, 2);
    controller.sharedTableOL()->clearSelection();
    controller.doUnshare();
    QCOMPARE(platform.beeps, 3);
    controller.doNonShareAll();
    controller.doNonShareAll();
    QCOMPARE(platform.beeps, 4);
    QCOMPARE(names(controller.nonSharedGroups()), QStringList{u"Only"_qs});
    QVERIFY(platform.alerts.isEmpty());
    // The data source answers only for its own two tables.
    QTableView stranger;
    QCOMPARE(controller.numberOfRowsInTableView(&stranger), 0);
    QCOMPARE(controller.tableViewObjectValue(&stranger, 0, 0), QString());
    QCOMPARE(controller.tableViewObjectValue(controller.nonSharedTableOL(), 0, 7), QString());
}

void TestGroupSharing::tablesShowStoredNames()
{
    ABGroup *group = addGroup(u"Old name"_qs);
    {
        ABSharingPropController first(m_book.get());
        first.view();
        select(first.nonSharedTableOL(), 0);
        first.doShare();
    }
    group->setValue(u"New name"_qs, kABGroupNameProperty);
    QVERIFY(m_book->save());
    ABAddressBook reopened(m_dir->path());
    ABSharingPropController controller(&reopened);
    controller.view();
    QCOMPARE(tableTexts(controller.sharedTableOL()), QStringList{u"Old name"_qs});
    ABPerson *member = reopened.addRecord(ABAddressBook::newPerson());
    static_cast<ABGroup *>(reopened.recordForUniqueId(group->uniqueId()))->addMember(member);
    QVERIFY(controller.isPeopleInGroups(member));
}

QTEST_MAIN(TestGroupSharing)
#include "tst_groupsharing.moc"
