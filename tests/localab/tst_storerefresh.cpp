// The store while other programs edit its directory: what they add, change and delete is taken
// in, what we have not saved yet is kept.
#include "abaddressbook.h"
#include "abglobals.h"
#include "abgroup.h"
#include "abmultivalue.h"
#include "abperson.h"
#include "abstorewatcher.h"
#include "storetools.h"

#include "systemlog.h"

#include <QtTest>

#include <fcntl.h>
#include <optional>
#include <sys/resource.h>
#include <unistd.h>


using namespace StoreTools;

namespace {

// As sync tools and contact programs write: a new file renamed into place.
void writeCard(const QString &path, const QByteArray &lines)
{
    QSaveFile file(path);
    QVERIFY(file.open(QIODevice::WriteOnly));
    file.write("BEGIN:VCARD\r\nVERSION:3.0\r\n" + lines + "END:VCARD\r\n");
    QVERIFY(file.commit());
}

QStringList firstNames(const ABAddressBook &book)
{
    QStringList names;
    for (const ABPerson *person : book.people())
        names.append(person->valueForProperty(kABFirstNameProperty).toString());
    return names;
}

// While it lives, the process can open no further descriptor: inotify_init1 then fails with
// EMFILE, as it does when the user's inotify instances have run out (without touching the
// machine's limits, which other processes share).
struct NoFreeDescriptor
{
    rlimit old{};
    NoFreeDescriptor()
    {
        ::getrlimit(RLIMIT_NOFILE, &old);
        const int next = ::open("/dev/null", O_RDONLY); // the lowest free descriptor
        ::close(next);
        rlimit low = old;
        low.rlim_cur = rlim_t(next);
        ::setrlimit(RLIMIT_NOFILE, &low);
    }
    ~NoFreeDescriptor() { ::setrlimit(RLIMIT_NOFILE, &old); }
};

// Every group's members and every person's groups by first name, each line sorted; a group whose members are
// not in the store's order says so.
QStringList membershipOf(const ABAddressBook &book)
{
    QStringList lines;
    const QList<ABPerson *> people = book.people();
    for (const ABGroup *group : book.groups()) {
        QStringList names;
        qsizetype last = -1;
        for (const ABPerson *person : group->members()) {
            const qsizetype at = people.indexOf(person);
            if (at <= last)
                names.append(u"(out of order)"_qs);
            last = at;
            names.append(person->valueForProperty(kABFirstNameProperty).toString());
        }
        names.sort();
        lines.append(group->name() + u" holds "_qs + names.join(u','));
    }
    for (const ABPerson *person : people)
        lines.append(person->valueForProperty(kABFirstNameProperty).toString() + u" is in "_qs +
                     sortedGroupsOf(person).join(u','));
    lines.sort();
    return lines;
}

QString nameKey(const QString &first, const QString &last)
{
    bool ok = false;
    return ABAddressBook::nameKey(first, last, nullptr, &ok);
}

} // namespace

class TestStoreRefresh : public QObject
{
    Q_OBJECT

private slots:
    void init();
    void takesInWhatOtherProgramsDid();
    void unsavedChangesOfOursStay();
    void namedFilesAndPartialReads();
    void membershipAfterAChange_data();
    void membershipAfterAChange();
    void watcherFollowsTheDirectory_data();
    void watcherFollowsTheDirectory();

private:
    std::unique_ptr<QTemporaryDir> m_dir;
    QString path(const QString &name) const { return m_dir->filePath(name); }
};

void TestStoreRefresh::init()
{
    m_dir = std::make_unique<QTemporaryDir>();
    QVERIFY(m_dir->isValid());
    writeCard(path(u"a.vcf"_qs), "UID:a\r\nN:Lee;Ann;;;\r\nFN:Ann Lee\r\n");
    writeCard(path(u"b.vcf"_qs), "UID:b\r\nN:Roe;Bob;;;\r\nFN:Bob Roe\r\n");
    writeCard(path(u"g.vcf"_qs), "UID:g\r\nFN:Friends\r\nN:Friends;;;;\r\nX-ADDRESSBOOKSERVER-KIND:group\r\n"
                                 "X-ADDRESSBOOKSERVER-MEMBER:urn:uuid:a\r\n");
}

void TestStoreRefresh::takesInWhatOtherProgramsDid()
{
    ABAddressBook book(m_dir->path());
    QCOMPARE(firstNames(book), (QStringList{u"Ann"_qs, u"Bob"_qs}));
    ABPerson *ann = personNamed(book, u"Ann"_qs);
    QVERIFY(!book.refresh()); // nothing happened yet

    writeCard(path(u"a.vcf"_qs), "UID:a\r\nN:Lee;Anna;;;\r\nFN:Anna Lee\r\nEMAIL:anna@example.org\r\n");
    QVERIFY(QFile::remove(path(u"b.vcf"_qs)));
    writeCard(path(u"c.vcf"_qs), "UID:c\r\nN:Doe;Cleo;;;\r\nFN:Cleo Doe\r\nCATEGORIES:Work\r\n");
    writeCard(path(u"g.vcf"_qs), "UID:g\r\nFN:Friends\r\nN:Friends;;;;\r\nX-ADDRESSBOOKSERVER-KIND:group\r\n"
                                 "X-ADDRESSBOOKSERVER-MEMBER:urn:uuid:a\r\nX-ADDRESSBOOKSERVER-MEMBER:urn:uuid:c\r\n");
    QFile bad(path(u"bad.vcf"_qs));
    const char binary[] = "\x00\x01\x02 not a card";
    QVERIFY(bad.open(QIODevice::WriteOnly) && bad.write(binary, sizeof binary - 1) > 0);
    bad.close();

    const quint64 revision = book.revision();
    QVERIFY(book.refresh());
    QVERIFY(book.revision() > revision);
    QCOMPARE(firstNames(book), (QStringList{u"Anna"_qs, u"Cleo"_qs}));
    // The changed person is the same object, so whoever holds it sees the change.
    QCOMPARE(personNamed(book, u"Anna"_qs), ann);
    QCOMPARE(ABMultiValue::fromVariant(ann->valueForProperty(kABEmailProperty)).count(), 1);
    // Matching sees the names as they are now.
    QVERIFY(!book.hasPersonWithNameKey(nameKey(u"Ann"_qs, u"Lee"_qs), false));
    QVERIFY(!book.hasPersonWithNameKey(nameKey(u"Bob"_qs, u"Roe"_qs), false) && !book.recordForUniqueId(u"b"_qs));
    QVERIFY(book.hasPersonWithNameKey(nameKey(u"Anna"_qs, u"Lee"_qs), false));
    QVERIFY(personNamed(book, u"Cleo"_qs));
    QVERIFY(book.unreadableFiles().size() == 1 && book.unreadableFiles().first().startsWith(u"bad.vcf: "_qs));
    QCOMPARE(bad.size(), qint64(sizeof binary - 1)); // left as it was

    // Taken in once: unchanged files, readable or not, are not read again.
    QVERIFY(!book.refresh());
    QCOMPARE(book.unreadableFiles().size(), 1);
    // A repaired file shows; a deleted one is no longer reported.
    writeCard(path(u"bad.vcf"_qs), "UID:d\r\nN:Fix;Dan;;;\r\nFN:Dan Fix\r\n");
    QVERIFY(book.refresh());
    QVERIFY(book.unreadableFiles().isEmpty());
    QCOMPARE(firstNames(book), (QStringList{u"Anna"_qs, u"Cleo"_qs, u"Dan"_qs}));

    // A file that now holds another record: the old one leaves, the new one comes.
    writeCard(path(u"c.vcf"_qs), "UID:other\r\nN:New;Eve;;;\r\nFN:Eve New\r\n");
    QVERIFY(book.refresh());
    QCOMPARE(firstNames(book), (QStringList{u"Anna"_qs, u"Dan"_qs, u"Eve"_qs}));
    QVERIFY(book.recordForUniqueId(u"c"_qs) == nullptr);

    // A UID freed by a deletion shows the other file that has it, in the same groups.
    writeCard(path(u"z.vcf"_qs), "UID:a\r\nN:Twin;Zed;;;\r\nFN:Zed Twin\r\n");
    book.refresh();
    QCOMPARE(firstNames(book), (QStringList{u"Anna"_qs, u"Dan"_qs, u"Eve"_qs}));
    QVERIFY(QFile::remove(path(u"a.vcf"_qs)));
    QVERIFY(book.refresh());
    QCOMPARE(firstNames(book), (QStringList{u"Dan"_qs, u"Eve"_qs, u"Zed"_qs}));
    QCOMPARE(sortedGroupsOf(personNamed(book, u"Zed"_qs)), QStringList{u"Friends"_qs});
}

void TestStoreRefresh::unsavedChangesOfOursStay()
{
    ABAddressBook book(m_dir->path());
    ABPerson *ann = personNamed(book, u"Ann"_qs);
    ABPerson *bob = personNamed(book, u"Bob"_qs);
    QVERIFY(ann->setValue(u"Chef"_qs, kABJobTitleProperty));
    QVERIFY(bob->setValue(u"Roe Inc."_qs, kABOrganizationProperty));
    std::unique_ptr<ABPerson> fresh = ABAddressBook::newPerson();
    fresh->setValue(u"Zoe"_qs, kABFirstNameProperty);
    ABPerson *zoe = book.addRecord(std::move(fresh));

    // Meanwhile another program renames Ann and deletes Bob.
    writeCard(path(u"a.vcf"_qs), "UID:a\r\nN:Lee;Anna;;;\r\nFN:Anna Lee\r\n");
    QVERIFY(QFile::remove(path(u"b.vcf"_qs)));
    book.refresh();
    QVERIFY(personNamed(book, u"Ann"_qs) == ann && personNamed(book, u"Bob"_qs) == bob);
    QCOMPARE(personNamed(book, u"Zoe"_qs), zoe);
    QCOMPARE(ann->valueForProperty(kABJobTitleProperty).toString(), u"Chef"_qs);

    // Saving puts our change on top of theirs and writes Bob again.
    QVERIFY(book.save());
    QCOMPARE(ann->valueForProperty(kABFirstNameProperty).toString(), u"Anna"_qs);
    QCOMPARE(ann->valueForProperty(kABJobTitleProperty).toString(), u"Chef"_qs);
    QVERIFY(QFile::exists(path(bob->fileName())));
    QVERIFY(!book.refresh()); // our own writes are not news

    ABAddressBook reopened(m_dir->path());
    QCOMPARE(personNamed(reopened, u"Bob"_qs)->valueForProperty(kABOrganizationProperty).toString(), u"Roe Inc."_qs);
}

void TestStoreRefresh::namedFilesAndPartialReads()
{
    writeCard(path(u"o.vcf"_qs), "UID:o\r\nFN:Acme\r\nORG:Acme\r\nEMAIL:info@acme.example\r\n");
    {
        // A refresh of named files looks at those only: another file's change waits.
        ABAddressBook book(m_dir->path());
        writeCard(path(u"a.vcf"_qs), "UID:a\r\nN:Lee;Anna;;;\r\n");
        writeCard(path(u"c.vcf"_qs), "UID:c\r\nN:Doe;Cleo;;;\r\n");
        QVERIFY(QFile::remove(path(u"b.vcf"_qs)));
        QVERIFY(book.refreshFiles({u"c.vcf"_qs, u"b.vcf"_qs}));
        QCOMPARE(firstNames(book), (QStringList{u"Ann"_qs, QString(), u"Cleo"_qs}));
        QVERIFY(book.refresh());
        QCOMPARE(firstNames(book), (QStringList{u"Anna"_qs, QString(), u"Cleo"_qs}));
    }
    // A listing reads only what it shows, membership in full; such a store is never written.
    ABAddressBook listing(m_dir->path(), {kABFirstNameProperty, kABLastNameProperty, kABEmailProperty});
    ABPerson *anna = personNamed(listing, u"Anna"_qs);
    QVERIFY(anna);
    QCOMPARE(anna->travellingValues().keys(), (QStringList{kABFirstNameProperty, kABLastNameProperty}));
    QCOMPARE(sortedGroupsOf(anna), QStringList{u"Friends"_qs});
    // A display name that is the organization is no name, though the organization is not kept.
    const ABPerson *acme = static_cast<ABPerson *>(listing.recordForUniqueId(u"o"_qs));
    QCOMPARE(acme->travellingValues().keys(), QStringList{kABEmailProperty});
    QVERIFY(anna->setValue(u"Changed"_qs, kABFirstNameProperty));
    QVERIFY(!listing.save());
    QCOMPARE(ABAddressBook(m_dir->path()).people().first()->valueForProperty(kABFirstNameProperty).toString(), u"Anna"_qs);
}

void TestStoreRefresh::membershipAfterAChange_data()
{
    QTest::addColumn<QString>("file");
    QTest::addColumn<QByteArray>("lines"); // empty: the file is deleted
    QTest::newRow("edited, same groups") << u"a.vcf"_qs << QByteArray("UID:a\r\nN:Lee;Anna;;;\r\n");
    QTest::newRow("added, listed by a group") << u"m.vcf"_qs << QByteArray("UID:urn:uuid:M\r\nN:Mo;Max;;;\r\n");
    QTest::newRow("added, in a category") << u"c.vcf"_qs << QByteArray("UID:c\r\nN:Doe;Cleo;;;\r\nCATEGORIES:Work\r\n");
    QTest::newRow("added, new category") << u"c.vcf"_qs << QByteArray("UID:c\r\nN:Doe;Cleo;;;\r\nCATEGORIES:New\r\n");
    QTest::newRow("deleted, in a group") << u"a.vcf"_qs << QByteArray();
    QTest::newRow("deleted, last of its category") << u"w.vcf"_qs << QByteArray();
    QTest::newRow("categories changed") << u"w.vcf"_qs << QByteArray("UID:w\r\nN:Wu;Wen;;;\r\nCATEGORIES:Home\r\n");
    QTest::newRow("another UID now") << u"a.vcf"_qs << QByteArray("UID:m\r\nN:Mo;Max;;;\r\n");
    QTest::newRow("group changed") << u"g.vcf"_qs
                                   << QByteArray("UID:g\r\nFN:Friends\r\nX-ADDRESSBOOKSERVER-KIND:group\r\n"
                                                 "X-ADDRESSBOOKSERVER-MEMBER:urn:uuid:b\r\n");
}

// After the membership was asked for, a change by another program leaves it as a store opened
// afresh sees it, in the store's order.
void TestStoreRefresh::membershipAfterAChange()
{
    QFETCH(QString, file);
    QFETCH(QByteArray, lines);
    writeCard(path(u"w.vcf"_qs), "UID:w\r\nN:Wu;Wen;;;\r\nCATEGORIES:Work\r\n");
    writeCard(path(u"g.vcf"_qs), "UID:g\r\nFN:Friends\r\nX-ADDRESSBOOKSERVER-KIND:group\r\n"
                                 "X-ADDRESSBOOKSERVER-MEMBER:urn:uuid:a\r\nX-ADDRESSBOOKSERVER-MEMBER:urn:uuid:m\r\n");
    ABAddressBook book(m_dir->path());
    const QStringList before = membershipOf(book);
    if (lines.isEmpty())
        QVERIFY(QFile::remove(path(file)));
    else
        writeCard(path(file), lines);
    QVERIFY(book.refreshFiles({file}));
    const QStringList after = membershipOf(book);
    QVERIFY(after != before);
    QCOMPARE(after, membershipOf(ABAddressBook(m_dir->path())));
}

void TestStoreRefresh::watcherFollowsTheDirectory_data()
{
    QTest::addColumn<bool>("polling");
    QTest::newRow("inotify") << false;
    QTest::newRow("no inotify instance left: polls") << true;
}

void TestStoreRefresh::watcherFollowsTheDirectory()
{
    QFETCH(bool, polling);
    ABAddressBook book(m_dir->path());
    QStringList log;
    const SystemLogSink oldSink = setSystemLogSink([&log](const QString &line) { log.append(line); });
    std::optional<NoFreeDescriptor> exhausted;
    if (polling)
        exhausted.emplace();
    ABStoreWatcher watcher(&book);
    exhausted.reset();
    setSystemLogSink(oldSink);
    QCOMPARE(watcher.isPolling(), polling);
    QCOMPARE(log.filter(u"ABStoreWatcher: cannot watch"_qs).size(), polling ? 1 : 0);
    watcher.setDelay(50);
    watcher.setPollInterval(50);
    QSignalSpy refreshed(&watcher, &ABStoreWatcher::refreshed);
    writeCard(path(u"c.vcf"_qs), "UID:c\r\nN:Doe;Cleo;;;\r\nFN:Cleo Doe\r\n");
    QTRY_COMPARE(refreshed.size(), 1);
    QVERIFY(personNamed(book, u"Cleo"_qs));

    // A burst of writes, as a sync makes them, is taken in as a whole.
    for (int i = 0; i < 30; ++i)
        writeCard(path(u"n%1.vcf"_qs.arg(i)), "UID:n" + QByteArray::number(i) + "\r\nN:;N" + QByteArray::number(i) + ";;;\r\n");
    QTRY_COMPARE(book.people().size(), 33);
    QVERIFY(refreshed.size() >= 2);

    QVERIFY(QFile::remove(path(u"a.vcf"_qs)));
    QTRY_VERIFY(!personNamed(book, u"Ann"_qs));

    // A download does not wait for the delay: a change made before the records are asked for
    // is taken in then, also one written in place (no directory entry changes) at once, with
    // the file's size unchanged; nothing is looked at when nothing changed.
    watcher.setDelay(60000);
    const qsizetype refreshes = refreshed.size();
    watcher.takeInPendingChanges();
    QCOMPARE(refreshed.size(), refreshes);
    const QByteArray group = "BEGIN:VCARD\r\nVERSION:3.0\r\nUID:g\r\nFN:Friends\r\nN:Friends;;;;\r\n"
                             "X-ADDRESSBOOKSERVER-KIND:group\r\nX-ADDRESSBOOKSERVER-MEMBER:urn:uuid:%\r\nEND:VCARD\r\n";
    // Polling sees a write in place by its stamp: the second one differs in size too.
    for (const char *member : {"c", polling ? "xx" : "x"}) {
        QFile inPlace(path(u"g.vcf"_qs));
        QVERIFY(inPlace.open(QIODevice::WriteOnly | QIODevice::Truncate));
        inPlace.write(QByteArray(group).replace('%', member));
        inPlace.close();
        watcher.takeInPendingChanges();
        QCOMPARE(sortedGroupsOf(personNamed(book, u"Cleo"_qs)).isEmpty(), *member == 'x');
    }
    QCOMPARE(refreshed.size(), refreshes + 2);
}

QTEST_GUILESS_MAIN(TestStoreRefresh)
#include "tst_storerefresh.moc"
