#include "abaddressbook.h"
#include "abglobals.h"
#include "abgroup.h"
#include "abmultivalue.h"
#include "abperson.h"
#include "contactdetail.h"
#include "quicksync.h"
#include "recordingplatform.h"
#include "storetools.h"
#include "testmessages.h"

#include <QtTest>

#include <cstdlib>
#include <ctime>

// The contact detail rows and quick sync (copy-all and update-only) on a real store on disk.
class TestQuickSync : public QObject
{
    Q_OBJECT

private slots:
    void init();
    void names_data();
    void names();
    void rows();
    void copyAll_data();
    void copyAll();
    void groups_data();
    void groups();
    void copyRules();
    void updateOnly();
    void secondRunChangesNothing_data();
    void secondRunChangesNothing();
    void summaries_data();
    void summaries();
    void cardSizeCap();
    void streamedRunHoldsOneSlice();
    void streamedSlicesAreEven_data();
    void streamedSlicesAreEven();

private:
    std::unique_ptr<QTemporaryDir> m_dir;
};

using namespace StoreTools;

namespace {

QVariantList labelled(std::initializer_list<std::pair<QString, QVariant>> entries)
{
    QVariantList list;
    for (const auto &[label, value] : entries)
        list.append(QVariantMap{{label, value}});
    return list;
}

FlatPerson named(const QString &first, const QString &last, const QVariantMap &more = {})
{
    FlatPerson person = more;
    person.insert(kABFirstNameProperty, first);
    person.insert(kABLastNameProperty, last);
    return person;
}

// Three persons with a mail address only and two with a company only.
RecordList withoutNames()
{
    RecordList list;
    for (const QString &mail : {u"a@x.example"_qs, u"b@x.example"_qs, u"c@x.example"_qs})
        list.append(FlatPerson{{kABEmailProperty, labelled({{u"work"_qs, mail}})}});
    for (const QString &company : {u"Acme"_qs, u"Bolt"_qs})
        list.append(FlatPerson{{kABOrganizationProperty, company}});
    return list;
}

QuickSyncResult runSync(ABAddressBook &book, const RecordList &records, const QuickSyncOptions &options,
                        QString *hint = nullptr)
{
    QuickSync sync(&book, [&records](qsizetype i) { return records.at(i); }, records.size(), options);
    sync.run();
    if (hint)
        *hint = sync.summaryHint();
    return sync.result();
}

} // namespace

void TestQuickSync::init()
{
    m_dir = std::make_unique<QTemporaryDir>();
    QVERIFY(m_dir->isValid());
}

void TestQuickSync::names_data()
{
    QTest::addColumn<QVariantMap>("person");
    QTest::addColumn<QString>("name");
    const QVariantList mails = labelled({{u"home"_qs, u"h@x.example"_qs}, {u"work"_qs, u"w@x.example"_qs}});
    QTest::newRow("first and organization")
        << QVariantMap{{kABFirstNameProperty, u"Ann"_qs}, {kABOrganizationProperty, u"Acme"_qs}}
        << u"Ann  [Acme]"_qs;
    QTest::newRow("work before home") << QVariantMap{{kABEmailProperty, mails}} << u"w@x.example"_qs;
    // Peer input that breaks the format is passed over; of two work mails the first counts.
    const QVariantList broken{u"loose"_qs, QVariantMap{{u"work"_qs, u"a"_qs}, {u"home"_qs, u"b"_qs}}, QVariantMap{},
                              42, QVariantList{u"work"_qs}, mails.at(1), QVariantMap{{u"work"_qs, u"2nd"_qs}}};
    QTest::newRow("broken mail entries") << QVariantMap{{kABEmailProperty, broken}} << u"w@x.example"_qs;
    QTest::newRow("mail not a list") << QVariantMap{{kABEmailProperty, u"w@x.example"_qs}} << QString();
    QTest::newRow("not a person") << QVariantMap() << QString();
}

void TestQuickSync::names()
{
    QFETCH(QVariantMap, person);
    QFETCH(QString, name);
    QCOMPARE(ContactDetail::nameOf(person), name);
}

void TestQuickSync::rows()
{
    RecordingPlatform platform;
    const QVariantMap address{
        {kABAddressZIPKey, u"1010"_qs}, {kABAddressStreetKey, u"Ring 1"_qs}, {kABAddressCityKey, u"Wien"_qs}};
    const FlatPerson person{
        {kABPhoneProperty,
         labelled({{u"work"_qs, u"+43 1"_qs}, {u"mobile"_qs, u"+43 2"_qs}, {u"Boat"_qs, u"+43 3"_qs}})},
        {kABAddressProperty, labelled({{u"home"_qs, address}})},
        {kABLastNameProperty, u"Lee"_qs},
        {kABFirstNameProperty, u"Ann"_qs},
        {kABUIDProperty, u"u1"_qs},
        {kABCreationDateProperty, QDateTime::currentDateTimeUtc()},
        {kABModificationDateProperty, QDateTime::currentDateTimeUtc()},
        {kABBirthdayProperty, QDateTime(QDate(2020, 4, 15), QTime(12, 0), Qt::UTC)},
        {kABEmailProperty, u"not@a.list"_qs},
        // Broken entries: no pair, several pairs (joined in key order), a number, data.
        {kABURLsProperty, QVariantList{u"bare"_qs, QVariantMap{{u"b"_qs, u"2"_qs}, {u"A"_qs, u""_qs}, {u"a"_qs, QVariantList{1}}},
                                       QVariantMap{{u"work"_qs, qint64(7)}}, QByteArray("\x01\x02")}},
        {kABNoteProperty, QByteArray("photo")},
        {u"Age"_qs, qint64(42)},
    };
    const ContactDetail::Rows rows = ContactDetail::rowsOf(person);
    QCOMPARE(rows.keys, (QStringList{kABAddressProperty, u"Age"_qs, kABBirthdayProperty, kABEmailProperty,
                                     kABFirstNameProperty, kABLastNameProperty, kABPhoneProperty, u""_qs,
                                     u""_qs, kABURLsProperty, u""_qs, u""_qs}));
    QCOMPARE(rows.values,
             (QStringList{u"Wien, Ring 1, 1010 [Home] "_qs, u"42"_qs, u"4/15/2020"_qs,
                          u"not@a.list"_qs, u"Ann"_qs, u"Lee"_qs, u"+43 1 [Work] "_qs, u"+43 2 [Mobile] "_qs,
                          u"+43 3 [Boat] "_qs, u"bare"_qs, u", , 2"_qs, u"7 [Work] "_qs}));
    // The data in the note and in the URLs are logged, not shown.
    QCOMPARE(platform.logLines.filter(u"skipped"_qs).size(), 2);
    QVERIFY(platform.logLines.contains(u"<01 02>"_qs));
}

void TestQuickSync::copyAll_data()
{
    QTest::addColumn<RecordList>("remote");
    QTest::addColumn<bool>("matching");
    QTest::addColumn<int>("matchType");
    QTest::addColumn<QList<int>>("savedSkipped"); // first run, then second run
    QTest::addColumn<int>("slice");                 // QuickSyncOptions::streamSlice

    const FlatPerson annNoOrg = named(u"Ann"_qs, u"Lee"_qs);
    const FlatPerson annAcme = named(u"Ann"_qs, u"Lee"_qs, {{kABOrganizationProperty, u"Acme"_qs}});
    const FlatPerson bob = named(u"Bob"_qs, u"Roe"_qs);
    const FlatPerson annCase = named(u"ann"_qs, u"Lee"_qs);
    QTest::newRow("matching off adds everything twice")
        << RecordList{annAcme, bob} << false << 0 << QList<int>{2, 0, 2, 0} << 0;
    QTest::newRow("first-last-company") << RecordList{annNoOrg, annAcme, bob, annCase} << true
                                        << int(vCardFirstLastCompany) << QList<int>{3, 1, 0, 4} << 0;
    // Saved and let go of a slice at a time: matching still sees the persons of earlier slices.
    QTest::newRow("first-last, a slice each") << RecordList{annNoOrg, bob, annAcme, bob} << true
                                              << int(vCardFirstLast) << QList<int>{1, 3, 0, 4} << 1;
    // One slice: its records are decoded together, and the second Bob is still found present.
    QTest::newRow("first-last, one slice") << RecordList{annNoOrg, bob, annAcme, bob} << true
                                           << int(vCardFirstLast) << QList<int>{1, 3, 0, 4} << 4;
    QTest::newRow("unknown match type") << RecordList{annAcme} << true << 7 << QList<int>{1, 0, 1, 0} << 0;
    // Under first-last a company is no name: persons with neither mail nor phone are copied again.
    QTest::newRow("without names, first-last")
        << withoutNames() << true << int(vCardFirstLast) << QList<int>{5, 0, 2, 3} << 2;
    // Nothing to store: left out and counted, however often.
    const QDateTime now = QDateTime::currentDateTimeUtc();
    QTest::newRow("nothing to store")
        << RecordList{FlatPerson{}, FlatPerson{{kABUIDProperty, u"x"_qs}, {kABCreationDateProperty, now}},
                      FlatPerson{{kABBirthdayProperty, now}, {kABNoteProperty, u" \r\n"_qs}},
                      FlatPerson{{kABEmailProperty, labelled({{u"work"_qs, u" "_qs}})}, {u"Age"_qs, 3}}}
        << false << 0 << QList<int>{0, 4, 0, 4} << 0;
    QTest::newRow("nothing to store, streamed")
        << RecordList{FlatPerson{}, FlatPerson{{kABBirthdayProperty, now}}, FlatPerson{{kABNoteProperty, u" "_qs}}}
        << false << 0 << QList<int>{0, 3, 0, 3} << 2;
}

void TestQuickSync::copyAll()
{
    QFETCH(RecordList, remote);
    QFETCH(bool, matching);
    QFETCH(int, matchType);
    QFETCH(QList<int>, savedSkipped);
    QFETCH(int, slice);
    ABAddressBook book(m_dir->path());
    addPerson(book, u"Ann"_qs, u"Lee"_qs, {{kABOrganizationProperty, u"Acme"_qs}});
    QVERIFY(book.save());
    QuickSyncOptions options;
    options.matching = matching;
    options.matchType = matchType;
    options.streamSlice = slice;
    for (int run = 0; run < 2; ++run) {
        book.refresh(); // takes in the persons a streamed run let go of
        const QuickSyncResult result = runSync(book, remote, options);
        QCOMPARE((QList<int>{result.saved, result.skipped}), savedSkipped.mid(run * 2, 2));
        QVERIFY(result.saveOk);
    }
    // What was counted is on disk.
    ABAddressBook reread(m_dir->path());
    QCOMPARE(reread.people().size(), 1 + savedSkipped.at(0) + savedSkipped.at(2));
}

void TestQuickSync::groups_data()
{
    QTest::addColumn<QStringList>("groups");
    QTest::addColumn<int>("option");
    QTest::addColumn<QString>("title");
    QTest::addColumn<QString>("label");
    QTest::addColumn<int>("holder"); // -1 none, 0 the first group named title, 1 a new group
    QTest::addColumn<int>("slice");

    using G = QuickSyncOptions::Group;
    QTest::newRow("two groups of one name")
        << QStringList{u"Club"_qs, u"Club"_qs} << int(G::Existing) << u"Club"_qs << u"Club"_qs << 0 << 0;
    QTest::newRow("existing group, streamed")
        << QStringList{u"Club"_qs} << int(G::Existing) << u"Club"_qs << u"Club"_qs << 0 << 1;
    // Renamed or removed by another program since it was chosen: no group, and the report says so.
    QTest::newRow("group gone") << QStringList{u"Club"_qs} << int(G::Existing) << u"Gone"_qs << u"All"_qs << -1
                                << 1;
    QTest::newRow("new group, name taken, streamed")
        << QStringList{u"Club"_qs} << int(G::New) << u"Club"_qs << u"Club"_qs << 1 << 1;
}

void TestQuickSync::groups()
{
    QFETCH(QStringList, groups);
    QFETCH(int, option);
    QFETCH(QString, title);
    QFETCH(QString, label);
    QFETCH(int, holder);
    QFETCH(int, slice);
    {
        ABAddressBook book(m_dir->path());
        for (const QString &name : groups) {
            ABGroup *group = book.addRecord(ABAddressBook::newGroup());
            group->setValue(name, kABGroupNameProperty);
        }
        QVERIFY(book.save());
    }
    ABAddressBook book(m_dir->path());
    const auto groupList = book.groups();
    const auto first = std::find_if(groupList.begin(), groupList.end(),
                                    [&title](const ABGroup *group) { return group->name() == title; });
    const QString firstNamed = first == groupList.end() ? QString() : (*first)->uniqueId();
    QuickSyncOptions options;
    options.group = QuickSyncOptions::Group(option);
    options.groupName = title;
    options.matching = true;
    options.matchType = vCardFirstLast;
    options.streamSlice = slice;
    const QuickSyncResult result = runSync(book, {named(u"Bob"_qs, u"Roe"_qs)}, options);
    QCOMPARE(result.groupLabel, label);
    QCOMPARE(result.saved, 1);
    QCOMPARE(result.groupGone, option == int(QuickSyncOptions::Group::Existing) && holder < 0);
    // A second run finds Bob present and makes no group.
    book.refresh();
    const QuickSyncResult again = runSync(book, {named(u"Bob"_qs, u"Roe"_qs)}, options);
    QCOMPARE(again.saved, 0);
    const int made = option == int(QuickSyncOptions::Group::New) ? 1 : 0;
    ABAddressBook reread(m_dir->path());
    QCOMPARE(reread.groups().size(), groups.size() + made);
    const ABPerson *bob = reread.people().value(0);
    QVERIFY(bob);
    QCOMPARE(bob->parentGroups().size(), holder < 0 ? 0 : 1);
    if (holder >= 0) // the first group of that name, or a new one beside it
        QCOMPARE(bob->parentGroups().first()->uniqueId() == firstNamed, holder == 0);
    if (holder == 1)
        QCOMPARE(bob->parentGroups().first()->name(), title);
}

void TestQuickSync::copyRules()
{
    RecordingPlatform platform;
    ABAddressBook book(m_dir->path());
    const QDateTime old(QDate(2001, 2, 3), QTime(4, 5), Qt::UTC);
    const FlatPerson full =
        named(u"Ann"_qs, u"Lee"_qs,
              {{kABUIDProperty, u"peer-uid"_qs},
               {kABBirthdayProperty, QDateTime(QDate(1980, 1, 2), QTime(12, 0), Qt::UTC)},
               {kABPhoneProperty, QVariantList{QVariantMap{{u"work"_qs, u"+1"_qs}}, u"loose"_qs,
                                               QVariantMap{{u"Boat"_qs, u"+2"_qs}}}},
               {kABNoteProperty, QVariantMap{{u"a"_qs, u"b"_qs}}},
               {u"Age"_qs, qint64(3)},
               {kABCreationDateProperty, old}});
    const QuickSyncResult result = runSync(book, {full, u"not a person"_qs}, {});
    QCOMPARE((QList<int>{result.saved, result.skipped, result.empty}), (QList<int>{1, 1, 1}));
    QCOMPARE(platform.logLines.count(u"QuickSyncController: NSDictionary found!"_qs), 1);

    ABAddressBook reread(m_dir->path());
    QCOMPARE(reread.people().size(), 1);
    const ABPerson *ann = reread.people().at(0);
    QVERIFY(ann->uniqueId() != u"peer-uid"_qs);
    QVERIFY(ann->valueForProperty(kABCreationDateProperty).toDateTime() != old);
    QCOMPARE(ann->valueForProperty(kABBirthdayProperty).toDateTime().date(), QDate(1980, 1, 2));
    QCOMPARE(ABMultiValue::fromVariant(ann->valueForProperty(kABPhoneProperty)).toLabeledValues(),
             labelled({{u"work"_qs, u"+1"_qs}, {u"Boat"_qs, u"+2"_qs}}));
    QVERIFY(ann->valueForProperty(kABNoteProperty).isNull());
}

void TestQuickSync::updateOnly()
{
    RecordingPlatform platform;
    ABAddressBook book(m_dir->path());
    addPerson(book, u"Ann"_qs, u"Lee"_qs,
             {{kABOrganizationProperty, u"Acme"_qs},
              {kABPhoneProperty, labelled({{u"work"_qs, u"+43 1 234"_qs}})},
              {kABEmailProperty, labelled({{u"home"_qs, u"ann@x.example"_qs}})},
              {kABNoteProperty, u"met 2020"_qs},
              {kABJobTitleProperty, u"Chef"_qs}});
    addPerson(book, u"Ann"_qs, u"Lee"_qs, {{kABOrganizationProperty, u"Other"_qs}});
    QVERIFY(book.save());
    const FlatPerson ann =
        named(u"Ann"_qs, u"Lee"_qs,
              {{kABOrganizationProperty, u"Acme"_qs},
               {kABPhoneProperty, labelled({{u"mobile"_qs, u"+43-1-234"_qs}, {u"mobile"_qs, u"0664 1"_qs}})},
               {kABEmailProperty,
                labelled({{u"work"_qs, u"ANN@x.example"_qs}, {u"work"_qs, u"ann@acme.example"_qs}})},
               {kABAddressProperty, labelled({{u"work"_qs, QVariantMap{{kABAddressCityKey, u"Wien"_qs}}}})},
               {kABNoteProperty, u"likes tea"_qs},
               {kABJobTitleProperty, u"CEO"_qs},
               {kABTitleProperty, u"Dr."_qs}});
    const RecordList remote{ann, named(u"Bob"_qs, u"Roe"_qs), ann};
    QuickSyncOptions options;
    options.mode = QuickSyncOptions::Mode::UpdateOnly;
    options.matchType = vCardFirstLastCompany;
    options.group = QuickSyncOptions::Group::New;
    options.groupName = u"Office"_qs;
    {
        QuickSync sync(&book, [&remote](qsizetype i) { return remote.at(i); }, remote.size(), options);
        QVERIFY(!sync.prepare(2));
        // Another program adds Bob meanwhile: the run starts again and updates him instead.
        addPerson(book, u"Bob"_qs, u"Roe"_qs);
        QVERIFY(book.save());
        QVERIFY(sync.run());
        QCOMPARE((QList<int>{sync.result().updated, sync.result().unchanged, sync.result().added}),
                 (QList<int>{1, 2, 0}));
        QCOMPARE(sync.summaryTitle(), u"1 person updated, 2 unchanged, 0 added"_qs);
    }
    ABAddressBook reread(m_dir->path());
    const ABPerson *updated = nullptr;
    for (const ABPerson *person : reread.people()) {
        if (person->valueForProperty(kABOrganizationProperty) == QVariant(u"Acme"_qs))
            updated = person;
        else if (person->valueForProperty(kABOrganizationProperty) == QVariant(u"Other"_qs))
            QVERIFY(person->valueForProperty(kABPhoneProperty).isNull());
    }
    QVERIFY(updated);
    QCOMPARE(ABMultiValue::fromVariant(updated->valueForProperty(kABPhoneProperty)).toLabeledValues(),
             labelled({{u"work"_qs, u"+43 1 234"_qs}, {u"mobile"_qs, u"0664 1"_qs}}));
    QCOMPARE(ABMultiValue::fromVariant(updated->valueForProperty(kABEmailProperty)).toLabeledValues(),
             labelled({{u"home"_qs, u"ann@x.example"_qs}, {u"work"_qs, u"ann@acme.example"_qs}}));
    QCOMPARE(ABMultiValue::fromVariant(updated->valueForProperty(kABAddressProperty)).count(), 1);
    QCOMPARE(updated->valueForProperty(kABNoteProperty).toString(), u"met 2020\n\nlikes tea"_qs);
    QCOMPARE(updated->valueForProperty(kABJobTitleProperty).toString(), u"Chef"_qs);
    QCOMPARE(updated->valueForProperty(kABTitleProperty).toString(), u"Dr."_qs);
}

void TestQuickSync::secondRunChangesNothing_data()
{
    QTest::addColumn<RecordList>("remote");
    QTest::addColumn<int>("mode");
    QTest::addColumn<int>("persons"); // after the first run into an empty store

    const QVariantMap address{{kABAddressStreetKey, u"Ring 1"_qs}, {u"Strasse"_qs, u"X"_qs}};
    RecordList sameName;
    for (int i = 0; i < 50; ++i)
        sameName.append(named(u"Ann"_qs, u"Lee"_qs, {{kABEmailProperty, labelled({{u"work"_qs, u"a%1@x"_qs.arg(i % 7)}})},
                                                     {kABNoteProperty, u"met\r\nat %1"_qs.arg(i % 3)}}));
    const QList<std::tuple<const char *, RecordList, int>> rows{
        {"without names", withoutNames(), 5},
        {"names with blanks", {named(u"Ann "_qs, u" Lee"_qs), named(u"Bob\t"_qs, u"Roe"_qs)}, 2},
        {"names not text", {FlatPerson{{kABFirstNameProperty, 42}, {kABLastNameProperty, u"Lee"_qs}},
                            FlatPerson{{kABFirstNameProperty, u"Cleo"_qs}, {kABLastNameProperty, QVariantList{u"Day"_qs}}}}, 2},
        {"unknown address parts", {named(u"Ann"_qs, u"Lee"_qs, {{kABAddressProperty, labelled({{u"home"_qs, address}})}}),
                                   named(u"Ann"_qs, u"Lee"_qs, {{kABAddressProperty, labelled({{u"work"_qs, QVariantMap{{u"Gasse"_qs, u"Y"_qs}}}})}})}, 1},
        {"one name, line ends in notes", sameName, 1},
    };
    for (const auto &[name, remote, persons] : rows) {
        QTest::addRow("%s, copy-all", name) << remote << int(QuickSyncOptions::Mode::CopyAll) << persons;
        QTest::addRow("%s, update", name) << remote << int(QuickSyncOptions::Mode::UpdateOnly) << persons;
    }
}

// A second run of the same download adds, changes and writes nothing, not even a group.
void TestQuickSync::secondRunChangesNothing()
{
    QFETCH(RecordList, remote);
    QFETCH(int, mode);
    QFETCH(int, persons);
    QuickSyncOptions options;
    options.mode = QuickSyncOptions::Mode(mode);
    options.matching = true;
    options.group = QuickSyncOptions::Group::New;
    options.groupName = u"From Office"_qs;
    {
        ABAddressBook book(m_dir->path());
        QVERIFY(runSync(book, remote, options).saveOk);
    }
    const QMap<QString, QByteArray> before = filesOf(m_dir->path());
    ABAddressBook book(m_dir->path());
    QCOMPARE(book.people().size(), persons);
    QuickSync sync(&book, [&remote](qsizetype i) { return remote.at(i); }, remote.size(), options);
    QVERIFY(sync.run());
    QCOMPARE(sync.result().saved + sync.result().added + sync.result().updated, 0);
    QVERIFY(filesOf(m_dir->path()) == before);
}

void TestQuickSync::summaries_data()
{
    QTest::addColumn<RecordList>("remote");
    QTest::addColumn<int>("mode");
    QTest::addColumn<QString>("title");
    QTest::addColumn<QString>("hint");

    const int copy = int(QuickSyncOptions::Mode::CopyAll), update = int(QuickSyncOptions::Mode::UpdateOnly);
    QTest::newRow("no records") << RecordList{} << update << u"0 persons updated, 0 unchanged, 0 added"_qs
                                << u"The share holds no records; nothing was imported."_qs;
    QTest::newRow("update, nobody matches") << RecordList{named(u"Bob"_qs, u"Roe"_qs)} << update
                                            << u"0 persons updated, 0 unchanged, 0 added"_qs
                                            << u"1 person who matches nobody in your address book was left out."_qs;
    QTest::newRow("nothing to store")
        << RecordList{FlatPerson{}} << copy << u"0 persons saved, 1 skipped"_qs
        << u"1 record held nothing to store (no name, company, address, phone number, e-mail address or note) "
           "and was left out."_qs;
}

// The report in the plural forms of its counts; a run that adds nobody makes no group.
void TestQuickSync::summaries()
{
    QFETCH(RecordList, remote);
    QFETCH(int, mode);
    QFETCH(QString, title);
    QFETCH(QString, hint);
    ABAddressBook book(m_dir->path());
    QuickSyncOptions options;
    options.mode = QuickSyncOptions::Mode(mode);
    options.group = QuickSyncOptions::Group::New;
    options.groupName = u"New"_qs;
    options.addUnmatched = false;
    QuickSync sync(&book, [&remote](qsizetype i) { return remote.at(i); }, remote.size(), options);
    QVERIFY(sync.run());
    QCOMPARE(sync.summaryTitle(), title);
    QCOMPARE(sync.summaryHint(), hint);
    QCOMPARE(book.groups().size(), book.people().size());
}

// A value that would make a card larger than the store reads is left out and reported; the
// person stays readable.
void TestQuickSync::cardSizeCap()
{
    const QString huge(ABAddressBook::kMaxCardFileSize + 1024, u'x');
    ABAddressBook book(m_dir->path());
    addPerson(book, u"Ann"_qs, u"Lee"_qs, {{kABNoteProperty, u"old"_qs}});
    QVERIFY(book.save());
    const RecordList remote{
        named(u"Ann"_qs, u"Lee"_qs, {{kABNoteProperty, huge}, {kABEmailProperty, labelled({{u"work"_qs, u"a@x"_qs}})}}),
        named(u"Bob"_qs, u"Roe"_qs, {{kABJobTitleProperty, huge}})};
    for (const auto mode : {QuickSyncOptions::Mode::UpdateOnly, QuickSyncOptions::Mode::CopyAll}) {
        QuickSyncOptions options;
        options.mode = mode;
        QuickSync sync(&book, [&remote](qsizetype i) { return remote.at(i); }, remote.size(), options);
        QVERIFY(sync.run());
        QCOMPARE(sync.result().tooLarge, 2);
        QVERIFY(sync.summaryHint().endsWith(u"2 values were left out: with them a card would grow past 16 MB, more "
                                            "than the address book reads."_qs));
    }
    ABAddressBook reread(m_dir->path());
    QCOMPARE(reread.people().size(), 4);
    QVERIFY(reread.unreadableFiles().isEmpty());
}

// A streamed copy-all saves each slice and lets the store go of it: the store then holds only its
// own persons, the files hold everybody, and a refresh takes the copied persons back in.
void TestQuickSync::streamedRunHoldsOneSlice()
{
    ABAddressBook book(m_dir->path());
    ABPerson *local = addPerson(book, u"Ann"_qs, u"Lee"_qs);
    QVERIFY(book.save());
    local->setValue(u"changed"_qs, kABNoteProperty);
    RecordList remote;
    for (int i = 0; i < 5; ++i)
        remote.append(named(QStringLiteral("First%1").arg(i), u"Roe"_qs));
    QuickSyncOptions options;
    options.streamSlice = 2;
    options.group = QuickSyncOptions::Group::New;
    options.groupName = u"Copied"_qs;
    const QuickSyncResult result = runSync(book, remote, options);
    QVERIFY(result.saveOk);
    QCOMPARE(result.saved, 5);
    QCOMPARE(book.people(), QList<ABPerson *>{local});
    QVERIFY(!book.hasUnsavedChanges());
    QCOMPARE(filesOf(m_dir->path()).size(), 1 + 5 + 1);
    QVERIFY(book.refresh());
    QCOMPARE(book.people().size(), 6);
    const QList<ABGroup *> groups = book.groups();
    QCOMPARE(groups.size(), 1);
    QCOMPARE(groups.first()->members().size(), 5);
}

void TestQuickSync::streamedSlicesAreEven_data()
{
    QTest::addColumn<int>("persons");
    QTest::addColumn<int>("slice");
    QTest::addColumn<QList<qsizetype>>("saves"); // persons each save writes
    QTest::newRow("uneven rest spread") << 9 << 4 << QList<qsizetype>{3, 3, 3};
    QTest::newRow("even already") << 8 << 4 << QList<qsizetype>{4, 4};
    QTest::newRow("one slice") << 5 << 20 << QList<qsizetype>{5};
}

// As few slices as the slice size allows, of even size: the store holds no more at once than needed.
void TestQuickSync::streamedSlicesAreEven()
{
    QFETCH(int, persons);
    QFETCH(int, slice);
    QFETCH(QList<qsizetype>, saves);
    ABAddressBook book(m_dir->path());
    RecordList remote;
    for (int i = 0; i < persons; ++i)
        remote.append(named(QStringLiteral("First%1").arg(i), u"Roe"_qs));
    QuickSyncOptions options;
    options.streamSlice = slice;
    QuickSync sync(&book, [&remote](qsizetype i) { return remote.at(i); }, remote.size(), options);
    QList<qsizetype> seen;
    qsizetype last = -1;
    QVERIFY(sync.run([&](qsizetype done, qsizetype total) {
        if (done < last || seen.isEmpty())
            seen.append(total); // a new save begins
        last = done;
    }));
    QCOMPARE(seen, saves);
    QCOMPARE(filesOf(m_dir->path()).size(), persons);
}

int main(int argc, char **argv)
{
    // Dates are shown in local time: a fixed zone with an offset.
    setenv("TZ", "Europe/Berlin", 1);
    tzset();
    QLocale::setDefault(QLocale(QLocale::English));
    QCoreApplication app(argc, argv);
    TestQuickSync test;
    return QTest::qExec(&test, argc, argv);
}

#include "tst_quicksync.moc"
