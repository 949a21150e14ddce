#include "abaddressbook.h"
#include "abcardmapper.h"
#include "abglobals.h"
#include "abgroup.h"
#include "abimporter.h"
#include "abmultivalue.h"
#include "abperson.h"
#include "durablefile.h"
#include "quicksync.h"
#include "recordingplatform.h"
#include "settingssync.h"
#include "storetools.h"
#include "vcardcodec.h"

#include <QtTest>

#include <csignal>
#include <random>
#include <sys/resource.h>
#include <sys/stat.h>
#include <utime.h>

using namespace StoreTools;

namespace {

const QString kFixtures = QStringLiteral(ZORBIX_TEST_DATA "/localab");

void writeFile(const QString &path, const QByteArray &bytes)
{
    QFile file(path);
    QVERIFY(file.open(QIODevice::WriteOnly));
    QCOMPARE(file.write(bytes), bytes.size());
}

// "label=value" per entry; addresses as "label=Key:value|Key:value".
QStringList entries(const ABRecord *record, const QString &property)
{
    QStringList out;
    const ABMultiValue multi = ABMultiValue::fromVariant(record->valueForProperty(property));
    for (int i = 0; i < multi.count(); ++i) {
        const QVariant value = multi.valueAtIndex(i);
        QString text = value.toString();
        if (value.metaType() == QMetaType::fromType<QVariantMap>()) {
            QStringList parts;
            const QVariantMap map = value.toMap();
            for (auto it = map.cbegin(); it != map.cend(); ++it)
                parts.append(it.key() + u':' + it.value().toString());
            text = parts.join(u'|');
        }
        out.append(multi.labelAtIndex(i) + u'=' + text);
    }
    return out;
}

QByteArray card(const QByteArray &lines)
{
    return "BEGIN:VCARD\r\nVERSION:3.0\r\n" + lines + "END:VCARD\r\n";
}

QString storeFileOf(const ABRecord *record)
{
    return record->addressBook()->directory() + u'/' + record->fileName();
}

const char *kChildDirVariable = "ZORBIX_TEST_SAVE_CHILD_DIR";
const char *kChildAddsVariable = "ZORBIX_TEST_SAVE_CHILD_ADDS";

// The writing process of killWhileSaving: rewrites every card over and over, or adds new ones
// (enough at a time to be written as one batch of unnamed files).
int saveForever(const QString &directory, bool adding)
{
    ABAddressBook book(directory);
    const QString padding(4000, u'x');
    const QList<ABPerson *> old = book.people();
    for (int round = 1;; ++round) {
        const QString note = QStringLiteral("round %1 ").arg(round) + padding;
        for (ABPerson *person : adding ? QList<ABPerson *>() : old)
            person->setValue(note, kABNoteProperty);
        for (int i = 0; adding && i < 64; ++i)
            addPerson(book, QStringLiteral("R%1").arg(round), {}, {{kABNoteProperty, note}});
        if (!book.save())
            return 3;
    }
}

const char *kFullDiskVariable = "ZORBIX_TEST_FULL_DISK";

// Fills the file system of directory to the last byte.
void fillDisk(const QString &directory)
{
    QFile filler(directory + u"/filler"_qs);
    if (!filler.open(QIODevice::WriteOnly | QIODevice::Unbuffered))
        return;
    const QByteArray block(4096, 'f');
    while (filler.write(block) == block.size()) {
    }
    for (int i = 0; i < 4096 && filler.write("f", 1) == 1; ++i) {
    }
}

// The child of fullDiskKeepsEverything, in a private mount namespace on a 2 MB tmpfs at directory:
// a desktop quick sync (store save with its alert), a settings write and a file write, each on a
// full disk. Prints what went wrong; exit 0 when everything held.
int onFullDisk(const QString &directory)
{
    RecordingPlatform platform;
    QTextStream err(stderr);
    const QString bookPath = directory + u"/book"_qs;
    RecordList records;
    {
        ABAddressBook book(bookPath);
        for (int i = 0; i < 200; ++i) {
            addPerson(book, QStringLiteral("First%1").arg(i), QStringLiteral("Last%1").arg(i));
            FlatPerson record{{kABFirstNameProperty, QStringLiteral("First%1").arg(i)},
                              {kABLastNameProperty, QStringLiteral("Last%1").arg(i)},
                              {kABNoteProperty, QString(2000, u'n')}};
            records.append(record);
        }
        if (!book.save())
            return err << "could not make the store\n", 1;
    }
    QSettings settings(directory + u"/settings.conf"_qs, QSettings::IniFormat);
    settings.setValue(u"kept"_qs, u"old"_qs);
    if (!syncSettings(settings))
        return err << "could not write the settings\n", 1;
    QString error;
    if (!DurableFile::writeFile(directory + u"/export.csv"_qs, "old export\n", &error))
        return err << "could not write the export: " << error << '\n', 1;
    const QMap<QString, QByteArray> before = cardFiles(bookPath);
    const QByteArray settingsBefore = readAll(settings.fileName());
    fillDisk(directory);

    ABAddressBook book(bookPath);
    QuickSyncOptions options;
    options.mode = QuickSyncOptions::Mode::UpdateOnly;
    QuickSync sync(&book, [&records](qsizetype i) { return QVariant(records.at(i)); }, records.size(), options);
    int failures = 0;
    const auto check = [&](bool ok, const char *what) {
        if (!ok)
            err << "FAILED: " << what << '\n';
        failures += ok ? 0 : 1;
    };
    check(!sync.run() && !sync.result().saveOk, "quick sync reports the failed save");
    check(platform.alerts.size() == 1, "one alert");
    check(cardFiles(bookPath) == before, "every card as it was");
    check(book.people().first()->hasUnsavedChanges(), "the changes stay unsaved");
    settings.setValue(u"kept"_qs, QString(8000, u'n'));
    check(!syncSettings(settings), "the settings write reports the full disk");
    check(readAll(settings.fileName()) == settingsBefore, "the settings file as it was");
    check(!DurableFile::writeFile(directory + u"/export.csv"_qs, QByteArray(8000, 'x'), &error) &&
              error.contains(u"space"_qs),
          "the export reports the full disk");
    check(readAll(directory + u"/export.csv"_qs) == "old export\n", "the export file as it was");
    check(QDir(directory).entryList(QDir::Hidden | QDir::Files).filter(u".tmp"_qs).isEmpty() &&
              QDir(bookPath).entryList(QDir::Hidden | QDir::Files).filter(u".tmp"_qs).isEmpty(),
          "no temporary file left");
    return failures;
}

} // namespace

class TestVCardStore : public QObject
{
    Q_OBJECT

private slots:
    void init();

    void parsesEscapesFoldsAndParameters();
    void partialReadsMatchFullReads_data();
    void partialReadsMatchFullReads();
    void importsWhatRealProgramsWrite_data();
    void importsWhatRealProgramsWrite();
    void importReportsCountsAndFailures();
    void groupsKeepTheirForm();
    void roundTripKeepsKindsAndLabels();
    void rewriteKeepsWhatWeDoNotModel();
    void setValueChecksKinds();
    void badFilesAreSkippedAndLeftAlone();
    void concurrentChangeOnDiskIsMerged();
    void failedWriteIsReported();
    void fileNamesNeverComeFromUnsafeUids();
    void killWhileSaving_data();
    void killWhileSaving();
    void leftoversOfAKilledSaveGo();
    void cardsThatCannotBeWrittenWholeStayOld_data();
    void cardsThatCannotBeWrittenWholeStayOld();
    void fullDiskKeepsEverything();
    void anotherWriterDuringSaveKeepsItsEdits();
    void newCardsNeverTakeAnotherProgramsFile_data();
    void newCardsNeverTakeAnotherProgramsFile();

private:
    QTemporaryDir m_dir;
};

void TestVCardStore::init()
{
    QVERIFY(m_dir.isValid());
    QDir(m_dir.path()).removeRecursively();
    QDir().mkpath(m_dir.path());
}

void TestVCardStore::parsesEscapesFoldsAndParameters()
{
    QByteArray data = "BEGIN:VCARD\nVERSION:3.0\n"
                      "NOTE:a\\,b\\;c\\nd\\\\e\\qf\n"
                      "X-ONE;X-P=\"a:b;c\";X-Q=caret^^ quote^' nl^n:v\n"
                      "TEL;TYPE=work;TYPE=voice,home:1\n"
                      "EMAIL;TYPE=\"work,pref\":x@y\n"
                      "END:VCARD\n";
    VCardCodec::ParseResult result = VCardCodec::parse(data);
    QVERIFY(result.errors.isEmpty());
    QCOMPARE(result.cards.size(), 1);
    const VCard &card = result.cards.first();
    QCOMPARE(VCardCodec::unescape(card.first(u"NOTE"_qs)->value), u"a,b;c\nd\\eqf"_qs);
    const VCardProperty *one = card.first(u"X-ONE"_qs);
    QCOMPARE(one->paramValues(u"X-P"_qs), QStringList{u"a:b;c"_qs});
    QCOMPARE(one->params.value(1).second, u"caret^ quote\" nl\n"_qs);
    QCOMPARE(card.first(u"TEL"_qs)->paramValues(u"TYPE"_qs),
             (QStringList{u"work"_qs, u"voice"_qs, u"home"_qs}));
    QCOMPARE(card.first(u"EMAIL"_qs)->paramValues(u"TYPE"_qs), (QStringList{u"work"_qs, u"pref"_qs}));

    // Written lines are folded at 75 octets and never inside a character; reading joins them.
    VCard written;
    const QString longText = QString(30, QChar(0x00e9)) + QString(40, u'a') + QString(30, QChar(0x20ac));
    written.properties.append({QString(), u"NOTE"_qs, {}, VCardCodec::escape(longText + u"\n;,"_qs)});
    const QByteArray bytes = VCardCodec::serialize(written);
    for (const QByteArray &line : bytes.split('\n'))
        QVERIFY2(line.size() <= 76 && QString::fromUtf8(line).toUtf8() == line, line.constData());
    result = VCardCodec::parse(bytes);
    QCOMPARE(VCardCodec::unescape(result.cards.first().first(u"NOTE"_qs)->value), longText + u"\n;,"_qs);
}

void TestVCardStore::partialReadsMatchFullReads_data()
{
    QTest::addColumn<QByteArray>("bytes");
    QTest::newRow("apple labels, folds, escapes, categories")
        << card("item1.EMAIL;type=INTERNET:a@x\r\nitem1.X-ABLabel:Büro\\, alt\r\nN:Lee;An\r\n na;;;\r\n"
                "x-a;P=\"a:b;c\":v\r\nemail ;TYPE=work:b@x\r\nCATEGORIES:Friends,Work\\,Mates\r\nUID:p\r\n");
    QTest::newRow("4.0, display name only")
        << QByteArray("BEGIN:VCARD\nVERSION:4.0\nFN:Only Name\nTEL;VALUE=uri:tel:+1\nUID:urn:uuid:P\nEND:VCARD\n");
    QTest::newRow("2.1 quoted-printable, agent")
        << QByteArray("BEGIN:VCARD\r\nVERSION:2.1\r\nN;ENCODING=QUOTED-PRINTABLE:M=C3=BCller;J=\r\n=C3=B6rg;;;\r\n"
                      "NOTE;QUOTED-PRINTABLE:a=\r\nBEGIN:VCARD\r\nAGENT:\r\nBEGIN:VCARD\r\nN:Inner;;;;\r\nEND:VCARD\r\n"
                      "ORG:Outer\r\nEND:VCARD\r\n");
    // The line before the embedded card is not read: the card is no agent's, so the outer one
    // lacks its end, as a full read finds.
    QTest::newRow("card after a line not read") << card("AGENT:\r\nTEL:1\r\nBEGIN:VCARD\r\nN:Inner;;;;\r\nEND:VCARD\r\n");
    QTest::newRow("odd lines") << card(":novalue\r\nnocolon\r\nitem1.:x\r\nX-ÜBER:1\r\ngrüp.EMAIL:g@x\r\nUID:q\r\n");
    QTest::newRow("kind group") << card("KIND:group\r\nFN:Team\r\nMEMBER:urn:uuid:p\r\nREV:20240101T120000Z\r\n");
}

// Reading only the lines of some properties gives the same records as reading everything.
void TestVCardStore::partialReadsMatchFullReads()
{
    QFETCH(QByteArray, bytes);
    const QStringList shown{kABFirstNameProperty, kABLastNameProperty, kABOrganizationProperty, kABEmailProperty};
    const QList<QByteArrayView> names = ABCardMapper::cardNamesRead(shown);
    const VCardCodec::ParseResult full = VCardCodec::parse(bytes);
    const VCardCodec::ParseResult partial = VCardCodec::parse(bytes, names);
    QCOMPARE(partial.errors, full.errors);
    QCOMPARE(partial.cards.size(), full.cards.size());
    for (qsizetype i = 0; i < full.cards.size(); ++i) {
        const auto lines = [&names](const VCard &card) {
            QStringList out{card.version, QString::number(card.endLine)};
            for (const VCardProperty &p : card.properties) {
                if (p.name == u"AGENT"_qs || names.contains(p.name.toLatin1()))
                    out << p.group + u'.' + p.name + u':' + p.value + u'@' + QString::number(p.begin);
            }
            return out;
        };
        QCOMPARE(lines(partial.cards.at(i)), lines(full.cards.at(i)));
    }

    writeFile(m_dir.filePath(u"card.vcf"_qs), bytes);
    writeFile(m_dir.filePath(u"team.vcf"_qs), card("X-ADDRESSBOOKSERVER-KIND:group\r\nFN:All\r\n"
                                                   "X-ADDRESSBOOKSERVER-MEMBER:urn:uuid:p\r\nX-ADDRESSBOOKSERVER-MEMBER:q\r\n"));
    const auto records = [](const ABAddressBook &book, const QStringList &keys) {
        QStringList out = book.unreadableFiles();
        for (const ABPerson *person : book.people()) {
            QStringList groups;
            for (const ABGroup *group : person->parentGroups())
                groups << group->uniqueId();
            out << person->uniqueId() + u'>' + groups.join(u',');
            for (const QString &key : keys)
                out << key + u'=' + person->valueForProperty(key).toString() + entries(person, key).join(u';');
        }
        for (const ABGroup *group : book.groups())
            out << group->name() + u':' + QString::number(group->members().size());
        return out;
    };
    QCOMPARE(records(ABAddressBook(m_dir.path(), shown), shown), records(ABAddressBook(m_dir.path()), shown));
}

void TestVCardStore::importsWhatRealProgramsWrite_data()
{
    QTest::addColumn<QString>("file");
    QTest::addColumn<QString>("name"); // first|last|organization
    QTest::addColumn<QStringList>("values"); // e-mails, phones, addresses, then groups
    QTest::newRow("evolution")
        << u"evolution.vcf"_qs << u"Anna|Schmidt|Beispiel GmbH"_qs
        << QStringList{u"work=anna.schmidt@beispiel.de"_qs, u"home=anna@privat.example"_qs,
                       u"work=+49 30 1234567"_qs, u"mobile=+49 170 7654321"_qs,
                       u"work=City:Berlin|Country:Deutschland|Street:Hauptstraße 5|ZIP:10115"_qs,
                       u"Freunde"_qs, u"Kollegen"_qs};
    QTest::newRow("gnome 4.0") << u"gnome.vcf"_qs << u"Ben|Keller|"_qs
                               << QStringList{u"home=ben@keller.example"_qs, u"home=+41 44 000 00 00"_qs,
                                              u"home=City:Zürich|Country:Schweiz|Street:Seestrasse 1|ZIP:8000"_qs,
                                              u"Nachbarn"_qs};
    QTest::newRow("apple")
        << u"apple.vcf"_qs << u"John|Doe|Acme Inc."_qs
        << QStringList{u"Büro=john@acme.example"_qs, u"mobile=+1 (555) 123-4567"_qs, u"main=+1 555 999"_qs,
                       u"home=City:Cupertino|Country:USA|State:CA|Street:1 Infinite Loop|ZIP:95014"_qs,
                       u"Team"_qs};
    QTest::newRow("outlook 2.1")
        << u"outlook.vcf"_qs << u"Jürgen|Müller|Müller & Söhne"_qs
        << QStringList{u"other=juergen@mueller.example"_qs, u"work=+49 89 111"_qs, u"mobile=+49 171 222"_qs,
                       u"workfax=+49 89 112"_qs,
                       u"work=City:München|Country:Deutschland|Street:Lindenstraße 3\nHinterhaus|ZIP:80331"_qs};
    QTest::newRow("android 2.1") << u"android.vcf"_qs << u"Иван|Иванов|"_qs
                                 << QStringList{u"home=ivan@example.ru"_qs, u"mobile=+7 900 000-00-00"_qs,
                                                u"home=+7 495 000-00-00"_qs, u"x-datscha=+7 495 111-11-11"_qs};
}

void TestVCardStore::importsWhatRealProgramsWrite()
{
    QFETCH(QString, file);
    QFETCH(QString, name);
    QFETCH(QStringList, values);
    RecordingPlatform platform;
    for (int pass = 0; pass < 2; ++pass) {
        // Pass 0 reads the import as it is in memory, pass 1 the files the store wrote for it.
        std::unique_ptr<ABAddressBook> book = std::make_unique<ABAddressBook>(m_dir.path());
        if (pass == 0) {
            const ABImportResult result = ABImporter(book.get()).importFiles({kFixtures + u'/' + file});
            QVERIFY2(result.failures.isEmpty(), qPrintable(result.failures.value(0).reason));
            QCOMPARE(result.personsAdded, 1);
            QVERIFY(result.saved);
        }
        QCOMPARE(book->people().size(), 1);
        const ABPerson *person = book->people().first();
        QCOMPARE(QStringList({person->valueForProperty(kABFirstNameProperty).toString(),
                              person->valueForProperty(kABLastNameProperty).toString(),
                              person->valueForProperty(kABOrganizationProperty).toString()})
                     .join(u'|'),
                 name);
        QCOMPARE(entries(person, kABEmailProperty) + entries(person, kABPhoneProperty) +
                     entries(person, kABAddressProperty) + sortedGroupsOf(person),
                 values);
    }
    QVERIFY(platform.alerts.isEmpty());
}

void TestVCardStore::importReportsCountsAndFailures()
{
    const QString broken = m_dir.filePath(u"broken.vcf"_qs);
    writeFile(broken, card("FN:Good One\r\nN:One;Good;;;\r\n") + card({}) +
                          "BEGIN:VCARD\r\nVERSION:3.0\r\nFN:Cut Off\r\n");
    QTemporaryDir storeDir;
    ABAddressBook book(storeDir.path());
    // A device, a FIFO and a folder are refused without reading or waiting.
    QVERIFY(::mkfifo(qPrintable(m_dir.filePath(u"fifo.vcf"_qs)), 0600) == 0);
    const ABImportResult result =
        ABImporter(&book).importFiles({kFixtures + u"/apple.vcf"_qs, kFixtures + u"/evolution.vcf"_qs, broken,
                                       m_dir.filePath(u"missing.vcf"_qs), u"/dev/zero"_qs,
                                       m_dir.filePath(u"fifo.vcf"_qs), m_dir.path()});
    // Groups: the Apple group card, and the categories Freunde and Kollegen.
    QCOMPARE((QList<qsizetype>{result.personsAdded, result.groupsAdded, result.failures.size()}),
             (QList<qsizetype>{3, 3, 6}));
    QStringList reasons;
    for (const ABImportFailure &failure : result.failures)
        reasons.append(QFileInfo(failure.file).fileName() + u':' + QString::number(failure.card) + u':' +
                       failure.reason);
    reasons.sort();
    QVERIFY2(reasons.at(0).startsWith(u"broken.vcf:0:a card has no END"_qs), qPrintable(reasons.join(u'\n')));
    QVERIFY2(reasons.at(1).startsWith(u"broken.vcf:2:"_qs), qPrintable(reasons.join(u'\n')));
    QVERIFY2(reasons.at(3).startsWith(u"missing.vcf:0:"_qs), qPrintable(reasons.join(u'\n')));
    for (int i : {2, 4, 5}) // fifo.vcf, the folder (tst_vcardstore-...), zero
        QVERIFY2(reasons.at(i).endsWith(u":0:not a regular file"_qs), qPrintable(reasons.at(i)));

    // The same file again: its cards are reported, not doubled.
    const ABImportResult again = ABImporter(&book).importFiles({kFixtures + u"/apple.vcf"_qs});
    QCOMPARE((QList<qsizetype>{again.personsAdded, again.groupsAdded, again.failures.size(), book.people().size()}),
             (QList<qsizetype>{0, 0, 2, 3}));
    QCOMPARE(QDir(storeDir.path()).entryList({u"*.vcf"_qs}, QDir::Files).size(), 4);

    // Saved and let go of a person at a time: a UID of an earlier slice is still taken.
    const QString twice = m_dir.filePath(u"twice.vcf"_qs);
    writeFile(twice, card("UID:t1\r\nFN:T One\r\n") + card("UID:t2\r\nFN:T Two\r\n") +
                         card("UID:T1\r\nFN:T Again\r\n"));
    ABImporter streamed(&book);
    streamed.setStreamSlice(1);
    const ABImportResult once = streamed.importFiles({twice});
    QCOMPARE((QList<qsizetype>{once.personsAdded, once.failures.size(), book.people().size()}),
             (QList<qsizetype>{2, 1, 3}));
    QCOMPARE(once.failures.first().kind, ABImportFailure::UidTaken);
    QCOMPARE(QDir(storeDir.path()).entryList({u"*.vcf"_qs}, QDir::Files).size(), 6);
}

void TestVCardStore::groupsKeepTheirForm()
{
    ABAddressBook book(m_dir.path());
    ABImporter(&book).importFiles(
        {kFixtures + u"/apple.vcf"_qs, kFixtures + u"/gnome.vcf"_qs, kFixtures + u"/evolution.vcf"_qs});
    // A new group is an Apple group card (each old one keeps its form: tst_vcardfuzzcorpus).
    ABPerson *anna = personNamed(book, u"Anna"_qs, u"Schmidt"_qs);
    ABPerson *ben = personNamed(book, u"Ben"_qs, u"Keller"_qs);
    QVERIFY(groupNamed(book, u"Nachbarn"_qs)->addMember(anna));
    QVERIFY(!groupNamed(book, u"Nachbarn"_qs)->addMember(anna));
    QVERIFY(groupNamed(book, u"Kollegen"_qs)->addMember(ben));
    ABGroup *fresh = book.addRecord(ABAddressBook::newGroup());
    QVERIFY(fresh->setValue(u"Neu, mit Komma"_qs, kABGroupNameProperty));
    QVERIFY(fresh->addMember(ben));
    QVERIFY(book.save());
    const QByteArray freshFile = readAll(storeFileOf(fresh));
    QVERIFY(freshFile.contains("X-ADDRESSBOOKSERVER-KIND:group") && freshFile.contains("FN:Neu\\, mit Komma"));

    ABAddressBook reopened(m_dir.path());
    QCOMPARE(sortedGroupsOf(personNamed(reopened, u"Ben"_qs, u"Keller"_qs)),
             (QStringList{u"Kollegen"_qs, u"Nachbarn"_qs, u"Neu, mit Komma"_qs}));
    QCOMPARE(groupNamed(reopened, u"Nachbarn"_qs)->members().size(), 2);
    // Card groups in file-name order, then category groups by name, their UID from the exact name.
    QStringList names;
    for (const ABGroup *group : reopened.groups())
        names.append(group->name() + u'/' + QString::number(group->form()));
    QVERIFY(names.contains(u"Team/0"_qs) && names.contains(u"Nachbarn/1"_qs));
    QCOMPARE(names.mid(3), (QStringList{u"Freunde/2"_qs, u"Kollegen/2"_qs}));
    QCOMPARE(groupNamed(reopened, u"Freunde"_qs)->uniqueId(), ABGroup::categoryUid(u"Freunde"_qs));
    QVERIFY(ABGroup::categoryUid(u"Freunde"_qs) != ABGroup::categoryUid(u"freunde"_qs));
}

void TestVCardStore::roundTripKeepsKindsAndLabels()
{
    ABAddressBook book(m_dir.path());
    ABPerson *person = book.addRecord(ABAddressBook::newPerson());
    // An empty text stays an empty text, never absent (matching tells them apart).
    const QList<std::pair<QVariant, QString>> values{
        {u"Ada"_qs, kABFirstNameProperty}, {u""_qs, kABMiddleNameProperty}, {u""_qs, kABDepartmentProperty},
        {u"Lovelace; née Byron"_qs, kABLastNameProperty}, {u"Countess"_qs, kABTitleProperty},
        {u"Analytical, Engines\\Ltd"_qs, kABOrganizationProperty}, {u"Byron"_qs, kABMaidenNameProperty},
        {u"First line\nsecond line"_qs, kABNoteProperty}, {QDate(1815, 12, 10), kABBirthdayProperty},
        {u"https://ada.example"_qs, kABHomePageProperty}};
    for (const auto &[value, property] : values)
        QVERIFY2(person->setValue(value, property), qPrintable(property));
    ABMultiValue phones;
    for (const QString &label : {kABPhoneMobileLabel, kABPhoneMainLabel, kABPhoneHomeFAXLabel,
                                 kABPhoneWorkFAXLabel, kABPhonePagerLabel, kABWorkLabel, kABHomeLabel,
                                 kABOtherLabel, u"Werkstatt"_qs, u"mobile "_qs, u"Work"_qs})
        phones.addValue(u"+44 "_qs + label, label);
    QVERIFY(person->setValue(QVariant::fromValue(phones), kABPhoneProperty));
    QVERIFY(person->setValue(QVariantList{QVariantMap{{kABWorkLabel, u"ada@a.example"_qs}},
                                          QVariantMap{{kABWorkLabel, u"ada@b.example"_qs}},
                                          QVariantMap{{u"mobile"_qs, u"ada@c.example"_qs}}},
                             kABEmailProperty));
    const QVariantMap address{{kABAddressStreetKey, u"12 St James's Square\nFlat 2"_qs},
                              {kABAddressCityKey, u"London"_qs}, {kABAddressPOBoxKey, u"PO 7"_qs}};
    QVERIFY(person->setValue(QVariantList{QVariantMap{{kABHomeLabel, address}}}, kABAddressProperty));
    QVERIFY(person->setValue(QVariantList{QVariantMap{{kABWorkLabel, u"https://example.org/ada"_qs}}},
                             kABURLsProperty));
    const QString uid = person->uniqueId();
    QVERIFY(book.save());

    ABAddressBook reopened(m_dir.path());
    const ABRecord *back = reopened.recordForUniqueId(uid);
    QVERIFY(back);
    for (const QString &property : ABAddressBook::properties()) {
        if (property == kABModificationDateProperty || property == kABCreationDateProperty)
            continue;
        const QVariant expected = person->valueForProperty(property);
        const QVariant actual = back->valueForProperty(property);
        if (ABMultiValue::isMultiValue(expected))
            QCOMPARE(entries(back, property), entries(person, property));
        else
            QCOMPARE(actual, expected);
    }
    const QDateTime birthday = back->valueForProperty(kABBirthdayProperty).toDateTime();
    QCOMPARE(birthday.date(), QDate(1815, 12, 10));
    QCOMPARE(birthday.timeSpec(), Qt::UTC);
    QVERIFY(back->valueForProperty(kABModificationDateProperty).toDateTime().isValid());
    QCOMPARE(back->valueForProperty(kABCreationDateProperty).toDateTime().toSecsSinceEpoch(),
             person->valueForProperty(kABCreationDateProperty).toDateTime().toSecsSinceEpoch());
    const QByteArray file = readAll(storeFileOf(person));
    QVERIFY(file.startsWith("BEGIN:VCARD\r\nVERSION:3.0\r\n"));
    QVERIFY(file.contains("TEL;TYPE=CELL:+44 mobile\r\n"));
    QVERIFY(file.contains(".X-ABLabel:Werkstatt\r\n"));
    QVERIFY(!file.contains("\n\n"));
}

void TestVCardStore::rewriteKeepsWhatWeDoNotModel()
{
    // An imported card is a new card of ours (vCard 3.0), with what we do not model kept.
    ABAddressBook book(m_dir.path());
    ABImporter(&book).importFiles({kFixtures + u"/apple.vcf"_qs});
    const QByteArray imported = readAll(storeFileOf(personNamed(book, u"John"_qs, u"Doe"_qs)));
    for (const char *kept : {"PRODID:-//Apple Inc.//macOS 13.0//EN", "X-ABADR:us", "X-ABDATE;TYPE=pref:2010-06-01",
                             "X-ABLabel:_$!<Anniversary>!$_", "PHOTO;ENCODING=b;TYPE=JPEG:"})
        QVERIFY2(imported.toUpper().contains(QByteArray(kept).toUpper()), kept);
    // The photo survives byte for byte once unfolded.
    auto photo = [](QByteArray bytes) {
        bytes.replace("\r\n ", "");
        bytes.replace("\n ", "");
        const qsizetype at = bytes.indexOf("PHOTO");
        return bytes.mid(bytes.indexOf(':', at), bytes.indexOf('\n', at) - bytes.indexOf(':', at)).trimmed();
    };
    QCOMPARE(photo(imported), photo(readAll(kFixtures + u"/apple.vcf"_qs)));
}

void TestVCardStore::setValueChecksKinds()
{
    ABAddressBook book(m_dir.path());
    ABPerson *person = book.addRecord(ABAddressBook::newPerson());
    QVERIFY(!person->setValue(42, kABFirstNameProperty) && !person->setValue(u"x"_qs, u"NoSuchProperty"_qs));
    QVERIFY(!person->setValue(u"1999-01-01"_qs, kABBirthdayProperty) && !person->setValue(u"id"_qs, kABUIDProperty));
    // The travelling form is taken too; entries of the wrong kind are dropped, an empty list is no value.
    const QVariantList travelling{QVariantMap{{u"work"_qs, u"a@b"_qs}}, QVariantMap{{u"x"_qs, 1}, {u"y"_qs, 2}},
                                  u"loose"_qs, QVariantMap{{u"home"_qs, QVariantList{}}}};
    QVERIFY(person->setValue(travelling, kABEmailProperty));
    QCOMPARE(entries(person, kABEmailProperty), QStringList{u"work=a@b"_qs});
    QVERIFY(person->setValue(QVariantList{}, kABEmailProperty));
    QVERIFY(!person->valueForProperty(kABEmailProperty).isValid());
    // A second record with a UID in use (letter case aside) gets a fresh one.
    std::unique_ptr<ABPerson> loose = ABAddressBook::newPerson();
    QVERIFY(loose->setValue(u"chosen-uid"_qs, kABUIDProperty));
    QCOMPARE(book.addRecord(std::move(loose))->uniqueId(), u"chosen-uid"_qs);
    std::unique_ptr<ABPerson> clash = ABAddressBook::newPerson();
    QVERIFY(clash->setValue(u"CHOSEN-UID"_qs, kABUIDProperty));
    QVERIFY(book.addRecord(std::move(clash))->uniqueId() != u"CHOSEN-UID"_qs);
}

void TestVCardStore::badFilesAreSkippedAndLeftAlone()
{
    RecordingPlatform platform;
    const QDir dir(m_dir.path());
    QByteArray binary(1 << 16, '\0');
    std::mt19937 random(7);
    for (char &c : binary)
        c = static_cast<char>(random());
    const QByteArray noEnd = "BEGIN:VCARD\r\nVERSION:3.0\r\nUID:noend\r\nN:End;No;;;\r\n";
    const QByteArray two = card("N:A;A;;;\r\n") + card("N:B;B;;;\r\n");
    // A second file with a UID in use (letter case aside): the first file shows, the second is kept.
    const QByteArray twin = card("UID:GOOD\r\nN:Twin;T;;;\r\n");
    QVERIFY(dir.mkpath(u".hidden"_qs));
    for (const auto &[name, bytes] : QList<std::pair<QString, QByteArray>>{
             {u"good.vcf"_qs, card("UID:good\r\nN:Good;Gary;;;\r\n")},
             {u"latin.vcf"_qs, card("UID:latin\r\nN:M\xfcller;Hans;;;\r\n")}, // not UTF-8: Windows-1252
             {u"noend.vcf"_qs, noEnd}, {u"binary.vcf"_qs, binary}, {u"two.vcf"_qs, two},
             {u"twin.vcf"_qs, twin}, {u"empty.vcf"_qs, {}}, {u"pending.vcf.tmp"_qs, card("N:Tmp;T;;;\r\n")},
             {u"noextension"_qs, card("N:Ext;No;;;\r\n")}, {u".hidden/inside.vcf"_qs, card("N:Hidden;H;;;\r\n")},
             {u".hidden/target"_qs, card("UID:linked\r\nN:Linked;Lu;;;\r\n")}})
        writeFile(dir.filePath(name), bytes);
    // Entries that would eat the memory or hang every reader: endless devices, a FIFO without a
    // writer, and a (sparse) 3 GB file.
    QVERIFY(QFile::link(u"/dev/zero"_qs, dir.filePath(u"zero.vcf"_qs)));
    QVERIFY(QFile::link(u"/dev/urandom"_qs, dir.filePath(u"random.vcf"_qs)));
    QVERIFY(::mkfifo(qPrintable(dir.filePath(u"fifo.vcf"_qs)), 0600) == 0);
    QFile huge(dir.filePath(u"huge.vcf"_qs));
    QVERIFY(huge.open(QIODevice::WriteOnly) && huge.resize(3LL << 30));
    huge.close();
    // A link to a card is followed.
    QVERIFY(QFile::link(dir.filePath(u".hidden/target"_qs), dir.filePath(u"link.vcf"_qs)));

    {
        ABAddressBook book(m_dir.path());
        QVERIFY(book.isOpen());
        QStringList names;
        for (const ABPerson *person : book.people())
            names.append(person->valueForProperty(kABLastNameProperty).toString());
        QCOMPARE(names, (QStringList{u"Good"_qs, u"Müller"_qs, u"Linked"_qs}));
        QCOMPARE(book.unreadableFiles().size(), 8);
        for (const char *name : {"binary.vcf", "noend.vcf", "two.vcf", "empty.vcf", "zero.vcf", "random.vcf",
                                 "fifo.vcf", "huge.vcf"}) {
            const QString line = platform.logLines.filter(u"skipped unreadable file"_qs).filter(QLatin1String(name)).value(0);
            QVERIFY2(!line.isEmpty(), name);
        }
        QVERIFY(platform.logLines.filter(u"huge.vcf (larger than 16 MB)"_qs).size() == 1);
        QVERIFY(platform.logLines.filter(u"fifo.vcf (not a regular file)"_qs).size() == 1);
        for (ABPerson *person : book.people())
            QVERIFY(person->setValue(u"touched"_qs, kABNicknameProperty));
        // A link is never written through: it stays, and the user is told.
        QVERIFY(!book.save());
        QCOMPARE(platform.alerts.size(), 1);
        QVERIFY(book.lastSaveError().contains(u"link.vcf is a symbolic link"_qs));
        QVERIFY(!book.refresh()); // still nothing to read in them
    }
    QVERIFY(QFileInfo(dir.filePath(u"link.vcf"_qs)).isSymLink());
    QCOMPARE(readAll(dir.filePath(u".hidden/target"_qs)), card("UID:linked\r\nN:Linked;Lu;;;\r\n"));
    QCOMPARE(readAll(dir.filePath(u"noend.vcf"_qs)), noEnd);
    QCOMPARE(readAll(dir.filePath(u"binary.vcf"_qs)), binary);
    QCOMPARE(readAll(dir.filePath(u"two.vcf"_qs)), two);
    QCOMPARE(readAll(dir.filePath(u"twin.vcf"_qs)), twin);
    QVERIFY(readAll(dir.filePath(u"good.vcf"_qs)).contains("NICKNAME:touched"));
}

void TestVCardStore::concurrentChangeOnDiskIsMerged()
{
    const QDir dir(m_dir.path());
    writeFile(dir.filePath(u"p.vcf"_qs),
              card("UID:p\r\nN:Person;Pat;;;\r\nORG:Old Org\r\nNOTE:old note\r\nEMAIL:pat@old.example\r\n"));
    ABAddressBook book(m_dir.path());
    ABPerson *pat = book.people().first();
    QVERIFY(pat->setValue(u"our note"_qs, kABNoteProperty));
    ABMultiValue emails = ABMultiValue::fromVariant(pat->valueForProperty(kABEmailProperty));
    emails.addValue(u"ours@x.example"_qs, kABWorkLabel);
    QVERIFY(pat->setValue(QVariant::fromValue(emails), kABEmailProperty));
    // Another program changes the organization and the note, and adds an address and a property
    // meanwhile: ours go on top of its version, entry by entry.
    writeFile(dir.filePath(u"p.vcf"_qs),
              card("UID:p\r\nN:Person;Pat;;;\r\nORG:New Org\r\nNOTE:their note\r\nEMAIL:pat@old.example\r\n"
                   "EMAIL;TYPE=HOME:theirs@x.example\r\nX-THEIRS:kept\r\n"));
    QVERIFY(book.save());
    QByteArray merged = readAll(dir.filePath(u"p.vcf"_qs));
    merged.remove(merged.indexOf("REV:"), merged.indexOf("END:") - merged.indexOf("REV:"));
    QCOMPARE(merged, card("UID:p\r\nN:Person;Pat;;;\r\nORG:New Org\r\nNOTE:our note\r\nEMAIL:pat@old.example\r\n"
                          "EMAIL;TYPE=HOME:theirs@x.example\r\nEMAIL;TYPE=WORK:ours@x.example\r\nX-THEIRS:kept\r\n"));
    QCOMPARE(pat->valueForProperty(kABOrganizationProperty).toString(), u"New Org"_qs);
    QCOMPARE(entries(pat, kABEmailProperty),
             (QStringList{u"other=pat@old.example"_qs, u"home=theirs@x.example"_qs, u"work=ours@x.example"_qs}));
    // A file that can no longer be read is not overwritten; the failure is reported.
    RecordingPlatform platform;
    QVERIFY(pat->setValue(u"again"_qs, kABNoteProperty));
    writeFile(dir.filePath(u"p.vcf"_qs), "BEGIN:VCARD\r\nhalf written by someone");
    QVERIFY(!book.save());
    QCOMPARE(readAll(dir.filePath(u"p.vcf"_qs)), QByteArray("BEGIN:VCARD\r\nhalf written by someone"));
    QCOMPARE(platform.alerts.size(), 1);
    QVERIFY(pat->hasUnsavedChanges());
}

void TestVCardStore::failedWriteIsReported()
{
    RecordingPlatform platform;
    const QString path = m_dir.filePath(u"book"_qs);
    ABAddressBook book(path);
    ABPerson *person = book.addRecord(ABAddressBook::newPerson());
    person->setValue(u"Kept"_qs, kABFirstNameProperty);
    QVERIFY(book.save());
    // The file's place is taken by a folder (as root, permissions would not stop us).
    QVERIFY(QFile::remove(storeFileOf(person)));
    QVERIFY(QDir().mkpath(storeFileOf(person)));
    person->setValue(u"Lost?"_qs, kABFirstNameProperty);
    QVERIFY(!book.save());
    QCOMPARE(platform.alerts.size(), 1);
    QVERIFY(platform.alerts.first().second.contains(path));
    QVERIFY(person->hasUnsavedChanges());
    QVERIFY(QFileInfo(storeFileOf(person)).isDir());
    // The folder itself gone: new records cannot be written either.
    platform.clear();
    QVERIFY(QDir(path).removeRecursively());
    book.addRecord(ABAddressBook::newPerson())->setValue(u"New"_qs, kABFirstNameProperty);
    QVERIFY(!book.save());
    QCOMPARE(platform.alerts.size(), 1);
    QVERIFY(platform.logLines.join(u'\n').contains(u"could not save"_qs));
}

void TestVCardStore::fileNamesNeverComeFromUnsafeUids()
{
    ABAddressBook book(m_dir.path());
    for (const QString &uid : {u"../escape"_qs, u"a/b"_qs, u".hidden"_qs, u"urn:uuid:x"_qs, u"-rf"_qs, u"ok_Name-1.2+3"_qs}) {
        std::unique_ptr<ABPerson> person = ABAddressBook::newPerson();
        QVERIFY(person->setValue(uid, kABUIDProperty));
        book.addRecord(std::move(person));
    }
    QVERIFY(book.save());
    const QStringList files = QDir(m_dir.path()).entryList(QDir::Files | QDir::Hidden);
    QCOMPARE(files.size(), 6);
    QVERIFY(files.contains(u"ok_Name-1.2+3.vcf"_qs));
    for (const QString &file : files) // hidden, or an option to shell tools
        QVERIFY2(!file.startsWith(u'.') && !file.startsWith(u'-'), qPrintable(file));
    ABAddressBook reopened(m_dir.path());
    QVERIFY(reopened.recordForUniqueId(u"../escape"_qs) && reopened.recordForUniqueId(u"-rf"_qs));
}

void TestVCardStore::killWhileSaving_data()
{
    QTest::addColumn<bool>("adding");
    QTest::newRow("rewriting cards") << false;
    QTest::newRow("adding cards") << true;
}

void TestVCardStore::killWhileSaving()
{
    QFETCH(bool, adding);
    const int cards = 40;
    {
        ABAddressBook book(m_dir.path());
        for (int i = 0; i < cards; ++i)
            addPerson(book, QString(), QStringLiteral("P%1").arg(i));
        QVERIFY(book.save());
    }
    std::mt19937 random(QRandomGenerator::global()->generate());
    const QString padding(4000, u'x');
    for (int attempt = 0; attempt < 12; ++attempt) {
        QProcess child;
        QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
        environment.insert(QString::fromLatin1(kChildDirVariable), m_dir.path());
        if (adding)
            environment.insert(QString::fromLatin1(kChildAddsVariable), u"1"_qs);
        child.setProcessEnvironment(environment);
        child.start(QCoreApplication::applicationFilePath(), {});
        QVERIFY(child.waitForStarted());
        QTest::qSleep(150 + static_cast<int>(random() % 400));
        QCOMPARE(child.state(), QProcess::Running); // still writing when killed
        ::kill(static_cast<pid_t>(child.processId()), SIGKILL);
        QVERIFY(child.waitForFinished());

        // Every file whole, old or new: a note is absent (before the first round) or complete.
        ABAddressBook check(m_dir.path());
        QVERIFY(adding ? check.people().size() >= cards : check.people().size() == cards);
        QVERIFY(check.unreadableFiles().isEmpty());
        // Added cards go into unnamed files: a kill leaves none of them behind.
        if (adding)
            QCOMPARE(QDir(m_dir.path()).entryList(QDir::Files | QDir::Hidden).filter(u".tmp"_qs),
                     QStringList());
        for (const ABPerson *person : check.people()) {
            const QString note = person->valueForProperty(kABNoteProperty).toString();
            QVERIFY(note.isEmpty() || (note.startsWith(u"round "_qs) && note.endsWith(padding)));
        }
    }
}

void TestVCardStore::leftoversOfAKilledSaveGo()
{
    const QDir dir(m_dir.path());
    const QByteArray vcard = card("UID:x\r\nN:X;X;;;\r\n");
    const QStringList old{u".x.vcf.zorbix-Ab12Cd.tmp"_qs, u"x.vcf.aB3dEf"_qs, u"y.vcf.QWERTY"_qs};
    const QStringList kept{u".x.vcf.zorbix-Zz99Zz.tmp"_qs /* too young */, u"x.vcf.backup"_qs /* not a card */,
                           u".x.vcf.other.tmp"_qs /* not ours */};
    for (const QString &name : old + kept)
        writeFile(dir.filePath(name), name == u"x.vcf.backup"_qs ? QByteArray("my notes") : vcard);
    writeFile(dir.filePath(u"y.vcf.QWERTY"_qs), {}); // cut at its start
    const struct utimbuf longAgo{::time(nullptr) - 120, ::time(nullptr) - 120};
    for (const QString &name : old + kept.mid(1))
        QCOMPARE(::utime(QFile::encodeName(dir.filePath(name)).constData(), &longAgo), 0);
    ABAddressBook book(m_dir.path());
    QVERIFY(book.people().isEmpty());
    const QStringList left = dir.entryList(QDir::Files | QDir::Hidden);
    QCOMPARE(QSet<QString>(left.cbegin(), left.cend()), QSet<QString>(kept.cbegin(), kept.cend()));
}

void TestVCardStore::cardsThatCannotBeWrittenWholeStayOld_data()
{
    QTest::addColumn<qint64>("fileSizeLimit"); // RLIMIT_FSIZE, 0 for none
    QTest::addColumn<int>("noteSize");
    QTest::addColumn<QString>("reason");
    QTest::newRow("file size limit") << qint64(6000) << 8000 << u"File too large"_qs;
    QTest::newRow("larger than the store reads") << qint64(0) << (17 << 20) << u"larger than 16 MB"_qs;
}

// A write that cannot finish (a size limit; a card the store could not read back) never replaces
// the old card: the save fails with the reason, and the records stay unsaved for a later try.
void TestVCardStore::cardsThatCannotBeWrittenWholeStayOld()
{
    QFETCH(qint64, fileSizeLimit);
    QFETCH(int, noteSize);
    QFETCH(QString, reason);
    ABAddressBook book(m_dir.path());
    for (int i = 0; i < 20; ++i)
        addPerson(book, QString(), QStringLiteral("P%1").arg(i));
    QVERIFY(book.save());
    const QMap<QString, QByteArray> before = cardFiles(m_dir.path());
    ABPerson *fits = book.people().first();
    ABPerson *large = book.people().last();
    fits->setValue(u"short"_qs, kABNoteProperty);
    large->setValue(QString(noteSize, u'n'), kABNoteProperty);
    RecordingPlatform platform;
    std::signal(SIGXFSZ, SIG_IGN);
    struct rlimit original;
    QCOMPARE(::getrlimit(RLIMIT_FSIZE, &original), 0);
    struct rlimit limit = original;
    if (fileSizeLimit > 0)
        limit.rlim_cur = rlim_t(fileSizeLimit);
    QCOMPARE(::setrlimit(RLIMIT_FSIZE, &limit), 0);
    const bool saved = book.save();
    QCOMPARE(::setrlimit(RLIMIT_FSIZE, &original), 0);
    QVERIFY(!saved);
    QCOMPARE(platform.alerts.size(), 1);
    QVERIFY2(book.lastSaveError().contains(reason), qPrintable(book.lastSaveError()));
    QMap<QString, QByteArray> after = cardFiles(m_dir.path());
    QVERIFY(after.value(fits->fileName()).contains("NOTE:short")); // the one that fits is written
    QVERIFY(!fits->hasUnsavedChanges() && large->hasUnsavedChanges());
    after.remove(fits->fileName());
    QMap<QString, QByteArray> rest = before;
    rest.remove(fits->fileName());
    QCOMPARE(after, rest);
    QCOMPARE(QDir(m_dir.path()).entryList(QDir::Files | QDir::Hidden).size(), before.size());
}

void TestVCardStore::fullDiskKeepsEverything()
{
    QProcess child;
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    environment.insert(QString::fromLatin1(kFullDiskVariable), m_dir.path());
    child.setProcessEnvironment(environment);
    child.start(u"unshare"_qs, {u"-m"_qs, u"sh"_qs, u"-c"_qs,
                                u"mount -t tmpfs -o size=2m zorbix-full \"$1\" || exit 77; exec \"$2\""_qs, u"sh"_qs,
                                m_dir.path(), QCoreApplication::applicationFilePath()});
    if (!child.waitForStarted())
        QSKIP("unshare is not available");
    QVERIFY(child.waitForFinished(120000));
    const QByteArray output = child.readAllStandardError();
    if (child.exitCode() == 77 || output.contains("unshare failed"))
        QSKIP("a private mount namespace with a tmpfs is not allowed here");
    QVERIFY2(child.exitCode() == 0, output.right(3000).constData());
}

// Another program rewrites cards (temporary file and rename, as vCard tools do) while a save runs:
// none of its versions is overwritten; each is read and merged with ours.
void TestVCardStore::anotherWriterDuringSaveKeepsItsEdits()
{
    const int cards = 300;
    ABAddressBook book(m_dir.path());
    for (int i = 0; i < cards; ++i)
        addPerson(book, QString(), QStringLiteral("P%1").arg(i), {{kABOrganizationProperty, u"Ours"_qs}});
    QVERIFY(book.save());
    const QList<ABPerson *> people = book.people();
    for (ABPerson *person : people)
        person->setValue(u"our note"_qs, kABNoteProperty);
    QHash<QString, int> theirs; // file -> their last version
    int edit = 0;
    QVERIFY(book.save([&](qsizetype, qsizetype) {
        // A few cards each time, all over the store: some before our read, most in between.
        for (int n = 0; n < 7; ++n, ++edit) {
            const ABPerson *person = people.at((edit * 37) % cards);
            const QString path = storeFileOf(person);
            QByteArray bytes = readAll(path);
            bytes.replace(QByteArray("ORG:"), "ORG:Theirs " + QByteArray::number(edit) + " ");
            QFile temp(path + u".theirs.tmp"_qs);
            QVERIFY(temp.open(QIODevice::WriteOnly) && temp.write(bytes) == bytes.size());
            temp.close();
            QVERIFY(::rename(QFile::encodeName(temp.fileName()).constData(), QFile::encodeName(path).constData()) == 0);
            theirs.insert(person->fileName(), edit);
        }
    }));
    QVERIFY(!theirs.isEmpty());
    for (const ABPerson *person : people) {
        const QByteArray bytes = readAll(storeFileOf(person));
        if (theirs.contains(person->fileName()))
            QVERIFY2(bytes.contains("ORG:Theirs " + QByteArray::number(theirs.value(person->fileName())) + " "),
                     bytes.constData());
        else
            QVERIFY(bytes.contains("NOTE:our note"));
    }
}

void TestVCardStore::newCardsNeverTakeAnotherProgramsFile_data()
{
    QTest::addColumn<bool>("unnamed"); // false: the named temporary files where O_TMPFILE is missing
    QTest::addColumn<int>("cards");
    QTest::newRow("a few, each synced") << true << 20;
    QTest::newRow("unnamed files") << true << 300;
    QTest::newRow("named temporary files, several runs") << false << 3 * 512 + 7;
    QTest::newRow("unnamed files, more than one slice") << true << 4096 + 60;
}

// Another program makes files under the names a save of new cards is about to take, slice after
// slice: each of its files stays as it made it, and our card goes under another name. Nothing
// is left behind, and every card reads back.
void TestVCardStore::newCardsNeverTakeAnotherProgramsFile()
{
    QFETCH(bool, unnamed);
    QFETCH(int, cards);
    DurableFile::setUnnamedAllowed(unnamed);
    const auto allowAgain = qScopeGuard([] { DurableFile::setUnnamedAllowed(true); });
    ABAddressBook book(m_dir.path());
    for (int i = 0; i < cards; ++i) {
        std::unique_ptr<ABPerson> person = ABAddressBook::newPerson();
        person->setValue(QStringLiteral("n%1").arg(i), kABUIDProperty);
        person->setValue(QStringLiteral("Card%1").arg(i), kABLastNameProperty);
        book.addRecord(std::move(person));
    }
    QHash<QString, QByteArray> theirs;
    QSet<qsizetype> slicesSeen;
    QVERIFY(book.save([&](qsizetype done, qsizetype total) {
        // Heard of first in each slice before its files are written: the slice's last names.
        QVERIFY(done <= total);
        const qsizetype slice = done / 4096;
        if (slicesSeen.contains(slice))
            return;
        slicesSeen.insert(slice);
        const qsizetype last = std::min(total, (slice + 1) * 4096) - 1;
        for (qsizetype i = last; i >= done && theirs.size() < 5 * (slice + 1); i -= 3) {
            const QString name = QStringLiteral("n%1.vcf").arg(i);
            const QByteArray bytes = card("UID:theirs" + QByteArray::number(i) + "\r\nFN:Theirs\r\n");
            QFile file(m_dir.filePath(name));
            if (file.open(QIODevice::WriteOnly | QIODevice::NewOnly) && file.write(bytes) == bytes.size())
                theirs.insert(name, bytes);
        }
    }));
    QCOMPARE(theirs.size(), cards > 4096 ? 10 : 5);
    for (auto it = theirs.cbegin(); it != theirs.cend(); ++it)
        QCOMPARE(readAll(m_dir.filePath(it.key())), it.value());
    QCOMPARE(QDir(m_dir.path()).entryList(QDir::Files | QDir::Hidden).size(), cards + theirs.size());
    ABAddressBook reopened(m_dir.path());
    QCOMPARE(reopened.people().size(), cards + theirs.size());
    for (int i = 0; i < cards; ++i) {
        const ABRecord *ours = reopened.recordForUniqueId(QStringLiteral("n%1").arg(i));
        QVERIFY(ours && ours->valueForProperty(kABLastNameProperty) == QStringLiteral("Card%1").arg(i));
        QVERIFY(!theirs.contains(ours->fileName()));
    }
}

int main(int argc, char **argv)
{
    QCoreApplication app(argc, argv);
    const QString childDir = qEnvironmentVariable(kChildDirVariable);
    if (!childDir.isEmpty())
        return saveForever(childDir, qEnvironmentVariableIsSet(kChildAddsVariable));
    const QString fullDisk = qEnvironmentVariable(kFullDiskVariable);
    if (!fullDisk.isEmpty())
        return onFullDisk(fullDisk);
    TestVCardStore test;
    return QTest::qExec(&test, argc, argv);
}

#include "tst_vcardstore.moc"
