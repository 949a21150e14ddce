// Opening a store again takes the records of unchanged cards from its cache: they must be the
// records the cards give, and any change to a card, or to the cache file, must show.
#include "abaddressbook.h"
#include "abglobals.h"
#include "abgroup.h"
#include "abperson.h"
#include "abstorecache.h"
#include "storetools.h"

#include <QtTest>

#include <fcntl.h>
#include <sys/stat.h>

using namespace StoreTools;

namespace {

const QString kFixtures = QStringLiteral(ZORBIX_TEST_DATA "/localab");

// What a reader of the store sees, one line per record.
QStringList recordsOf(const ABAddressBook &book)
{
    QStringList lines;
    for (const ABPerson *person : book.people()) {
        QString line;
        QDebug(&line) << person->fileName() << person->uniqueId() << person->travellingValues()
                      << person->categories() << sortedGroupsOf(person);
        lines.append(line);
    }
    for (const ABGroup *group : book.groups())
        lines.append(group->name() + u' ' + group->uniqueId() + u' ' + QString::number(group->members().size()));
    return lines;
}

} // namespace

class TestStoreCache : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void sameRecordsAsTheCards();
    void changesShow();

private:
    QTemporaryDir m_dir;
    QString path(const QString &name) const { return m_dir.filePath(name); }
};

void TestStoreCache::initTestCase()
{
    QVERIFY(m_dir.isValid());
    for (const char *name : {"android", "evolution", "google", "outlook", "thunderbird"})
        QVERIFY(QFile::copy(kFixtures + u'/' + QLatin1String(name) + u".vcf"_qs, path(QLatin1String(name) + u".vcf"_qs)));
    QFile group(path(u"group.vcf"_qs));
    QVERIFY(group.open(QIODevice::WriteOnly));
    group.write("BEGIN:VCARD\r\nVERSION:4.0\r\nUID:g1\r\nKIND:group\r\nFN:Chess club\r\nMEMBER:urn:uuid:z1\r\nEND:VCARD\r\n");
    group.close();
    QFile wide(path(u"z.vcf"_qs));
    QVERIFY(wide.open(QIODevice::WriteOnly));
    wide.write("BEGIN:VCARD\r\nVERSION:3.0\r\nUID:z1\r\nN:\xc5\xbb\xc3\xb3\xc5\x82w;J\xc3\xbcrgen;;;\r\nBDAY:1970-02-03\r\n"
               "CATEGORIES:Friends,\xe5\x8f\x8b\xe4\xba\xba\r\nREV:2024-05-06T07:08:09Z\r\nEND:VCARD\r\n");
    wide.close();
    // Cards are kept only once their last change lies a while back.
    QTest::qWait(3100);
}

void TestStoreCache::sameRecordsAsTheCards()
{
    QFile::remove(ABStoreCache(m_dir.path()).path());
    const QStringList only{kABFirstNameProperty, kABLastNameProperty, kABEmailProperty};
    const ABAddressBook read(m_dir.path());
    QCOMPARE(read.cardsFromCache(), 0);
    QVERIFY(QFile::exists(ABStoreCache(m_dir.path()).path()));
    const ABAddressBook listingRead(m_dir.path(), only);

    const ABAddressBook cached(m_dir.path());
    QCOMPARE(cached.cardsFromCache(), 7);
    QCOMPARE(recordsOf(cached), recordsOf(read));
    QCOMPARE(personNamed(cached, u"J\u00fcrgen"_qs, u"\u017b\u00f3\u0142w"_qs)->categories(), (QStringList{u"Friends"_qs, u"\u53cb\u4eba"_qs}));
    // A listing from the cache holds what a listing reads from the cards.
    const ABAddressBook listingCached(m_dir.path(), only);
    QCOMPARE(listingCached.cardsFromCache(), 7);
    QCOMPARE(recordsOf(listingCached), recordsOf(listingRead));
}

void TestStoreCache::changesShow()
{
    {
        const ABAddressBook warm(m_dir.path()); // the cache holds every card
        QCOMPARE(warm.cardsFromCache(), 7);
    }
    // Rewritten in place to the same size with its old modification time: only the status change
    // time tells.
    struct stat before;
    QVERIFY(::stat(QFile::encodeName(path(u"z.vcf"_qs)).constData(), &before) == 0);
    QByteArray bytes = readAll(path(u"z.vcf"_qs));
    bytes.replace("J\xc3\xbcrgen", "J\xc3\xbcrgan");
    QFile file(path(u"z.vcf"_qs));
    QVERIFY(file.open(QIODevice::ReadWrite));
    file.write(bytes);
    file.close();
    const timespec times[2] = {before.st_atim, before.st_mtim};
    QVERIFY(::utimensat(AT_FDCWD, QFile::encodeName(path(u"z.vcf"_qs)).constData(), times, 0) == 0);
    QVERIFY(QFile::remove(path(u"thunderbird.vcf"_qs)));
    {
        const ABAddressBook book(m_dir.path());
        QCOMPARE(book.cardsFromCache(), 5);
        QVERIFY(personNamed(book, u"J\u00fcrgan"_qs));
        QCOMPARE(book.people().size(), 5);
    }
    // A damaged cache is not used at all.
    QFile cache(ABStoreCache(m_dir.path()).path());
    QVERIFY(cache.open(QIODevice::ReadWrite));
    cache.seek(cache.size() / 2);
    const char byte = cache.read(1).at(0);
    cache.seek(cache.size() / 2);
    cache.write(QByteArray(1, char(byte ^ 0x20)));
    cache.close();
    const ABAddressBook book(m_dir.path());
    QCOMPARE(book.cardsFromCache(), 0);
    QVERIFY(personNamed(book, u"J\u00fcrgan"_qs));
    QCOMPARE(book.people().size(), 5);
}

QTEST_GUILESS_MAIN(TestStoreCache)
#include "tst_storecache.moc"
