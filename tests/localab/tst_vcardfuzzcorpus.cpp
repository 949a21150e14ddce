#include "abaddressbook.h"
#include "abglobals.h"
#include "abgroup.h"
#include "abperson.h"
#include "fuzzentries.h"
#include "quicksync.h"

#include <QtTest>

namespace {

const QString kCorpus = QStringLiteral(ZORBIX_FUZZ_CORPUS "/vcard");

QByteArray readAll(const QString &path)
{
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

// The physical lines that differ ("-old", "+new"; longest common subsequence), REV values as "*".
QStringList lineDiff(const QByteArray &before, const QByteArray &after)
{
    auto lines = [](const QByteArray &bytes) {
        QStringList out;
        for (QByteArray line : bytes.split('\n')) {
            if (line.endsWith('\r'))
                line.chop(1);
            if (line.toUpper().startsWith("REV"))
                line = line.left(line.indexOf(':') + 1) + '*';
            out.append(QString::fromLatin1(line));
        }
        return out;
    };
    const QStringList a = lines(before);
    const QStringList b = lines(after);
    std::vector<std::vector<int>> common(a.size() + 1, std::vector<int>(b.size() + 1, 0));
    for (qsizetype i = a.size() - 1; i >= 0; --i)
        for (qsizetype j = b.size() - 1; j >= 0; --j)
            common[i][j] = a[i] == b[j] ? common[i + 1][j + 1] + 1 : std::max(common[i + 1][j], common[i][j + 1]);
    QStringList diff;
    qsizetype i = 0, j = 0;
    while (i < a.size() || j < b.size()) {
        if (i < a.size() && j < b.size() && a[i] == b[j]) {
            ++i, ++j;
        } else if (i < a.size() && (j == b.size() || common[i + 1][j] >= common[i][j + 1])) {
            diff.append(u'-' + a[i++]);
        } else {
            diff.append(u'+' + b[j++]);
        }
    }
    return diff;
}

} // namespace

// The vCard fuzz corpus through the fuzz target's entry point, so that a finding once fixed
// stays fixed; and the cards of real exporters in it, changed through the store.
class TestVCardFuzzCorpus : public QObject
{
    Q_OBJECT

private slots:
    void corpus()
    {
        const QStringList files = QDir(kCorpus).entryList(QDir::Files, QDir::Name);
        QVERIFY2(files.size() >= 5, "the vCard fuzz corpus is missing");
        for (const QString &name : files) {
            const QByteArray bytes = readAll(kCorpus + u'/' + name);
            QCOMPARE(fuzzVCardOneInput(reinterpret_cast<const uint8_t *>(bytes.constData()), size_t(bytes.size())), 0);
        }
    }

    // Each card, saved with nothing changed, stays byte for byte; an update adding one mail
    // address (quick sync, update-only), a member (quick sync into the existing group) or a
    // category changes only the lines that carry it, and REV.
    void dialects_data()
    {
        QTest::addColumn<QString>("file");
        QTest::addColumn<QStringList>("diff");
        const QString mail = u"+EMAIL;TYPE=WORK:new@example.org"_qs;
        QTest::newRow("issue") << u"dialect_issue"_qs << QStringList{mail, u"+REV:*"_qs};
        QTest::newRow("khard") << u"dialect_khard"_qs << QStringList{mail};
        QTest::newRow("apple") << u"dialect_apple"_qs << QStringList{mail, u"+REV:*"_qs};
        QTest::newRow("google") << u"dialect_google"_qs << QStringList{mail, u"+REV:*"_qs};
        QTest::newRow("outlook 2.1") << u"dialect_outlook"_qs << QStringList{u"+EMAIL;WORK:new@example.org"_qs};
        QTest::newRow("evolution") << u"dialect_evolution"_qs << QStringList{mail};
        QTest::newRow("cardbook") << u"dialect_cardbook"_qs << QStringList{mail};
        QTest::newRow("thunderbird 4.0")
            << u"dialect_thunderbird"_qs << QStringList{u"+EMAIL;TYPE=work:new@example.org"_qs, u"+REV:*"_qs};
        QTest::newRow("nextcloud 4.0") << u"dialect_nextcloud"_qs
                                       << QStringList{u"+EMAIL;TYPE=work:new@example.org"_qs};
        QTest::newRow("apple group") << u"dialect_applegroup"_qs
                                     << QStringList{u"+X-ADDRESSBOOKSERVER-MEMBER:urn:uuid:<new>"_qs};
        QTest::newRow("kind group 4.0") << u"dialect_kindgroup"_qs
                                        << QStringList{u"+MEMBER:urn:uuid:<new>"_qs, u"+REV:*"_qs};
        QTest::newRow("category") << u"dialect_cardbook"_qs
                                  << QStringList{u"-CATEGORIES:Nachbarn"_qs, u"+CATEGORIES:Nachbarn,Freunde"_qs};
    }

    void dialects()
    {
        QFETCH(QString, file);
        QFETCH(QStringList, diff);
        QTemporaryDir dir;
        const QString path = dir.filePath(u"card.vcf"_qs);
        const QByteArray original = readAll(kCorpus + u'/' + file);
        QVERIFY(QFile::copy(kCorpus + u'/' + file, path));
        QString newUid;
        {
            ABAddressBook book(dir.path());
            QCOMPARE(book.people().size() + book.groups().size() - (book.people().isEmpty() ? 0 : book.people().first()->categories().size()), 1);
            ABRecord *record = book.people().isEmpty() ? static_cast<ABRecord *>(book.groups().first())
                                                       : book.people().first();
            for (const QString &property : ABRecord::propertiesOf(record->kind())) {
                if (property != kABUIDProperty)
                    QVERIFY(record->setValue(record->valueForProperty(property), property));
            }
            QVERIFY(book.save());
            QCOMPARE(readAll(path), original);

            const QString tag = QString::fromLatin1(QTest::currentDataTag());
            RecordList records;
            QuickSyncOptions options;
            if (tag == u"category"_qs) {
                QVERIFY(book.categoryGroup(u"Freunde"_qs, true)->addMember(book.people().first()));
                QVERIFY(book.save());
            } else if (record->isGroup()) {
                records.append(FlatPerson{{kABFirstNameProperty, u"New"_qs}, {kABLastNameProperty, u"Member"_qs}});
                options.group = QuickSyncOptions::Group::Existing;
                options.groupName = static_cast<ABGroup *>(record)->name();
            } else {
                FlatPerson update;
                for (const QString &key : {kABFirstNameProperty, kABLastNameProperty, kABOrganizationProperty}) {
                    if (record->valueForProperty(key).isValid())
                        update.insert(key, record->valueForProperty(key));
                }
                update.insert(kABEmailProperty, QVariantList{QVariantMap{{kABWorkLabel, u"new@example.org"_qs}}});
                records.append(update);
                options.mode = QuickSyncOptions::Mode::UpdateOnly;
            }
            if (!records.isEmpty()) {
                QuickSync sync(&book, [&records](qsizetype i) { return records.at(i); }, records.size(), options);
                QVERIFY(sync.run());
                QCOMPARE(sync.result().updated + sync.result().saved, 1);
            }
            for (const ABPerson *person : book.people()) {
                if (person != record && !person->fileName().isEmpty() && person->fileName() != u"card.vcf"_qs)
                    newUid = person->uniqueId();
            }
        }
        const QByteArray after = readAll(path);
        QStringList actual = lineDiff(original, after);
        if (!newUid.isEmpty())
            actual.replaceInStrings(newUid, u"<new>"_qs);
        QCOMPARE(actual, diff);
        // Line ends stay those of the file.
        QCOMPARE(after.count("\r\n") == after.count('\n'), original.count("\r\n") == original.count('\n'));
        // Opened again and saved: nothing to write.
        ABAddressBook again(dir.path());
        QVERIFY(again.unreadableFiles().isEmpty());
        QVERIFY(!again.hasUnsavedChanges() && again.save());
        QCOMPARE(readAll(path), after);
    }
};

QTEST_GUILESS_MAIN(TestVCardFuzzCorpus)
#include "tst_vcardfuzzcorpus.moc"
