#include "abaddressbook.h"
#include "abglobals.h"
#include "abgroup.h"
#include "abmultivalue.h"
#include "abperson.h"
#include "fuzzentries.h"
#include "quicksync.h"
#include "storetools.h"

#include <QtTest>

using StoreTools::readAll;

namespace {

const QString kCorpus = QStringLiteral(ZORBIX_FUZZ_CORPUS "/vcard");

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
            out.append(QString::fromUtf8(line));
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


    // A change touches the lines (and components) that carry it, in the card's own form.
    void edits_data()
    {
        QTest::addColumn<QByteArray>("card");
        QTest::addColumn<QString>("property");
        QTest::addColumn<QVariant>("value");
        QTest::addColumn<QStringList>("diff");
        const QByteArray person = "BEGIN:VCARD\r\nVERSION:3.0\r\nFN:Johnny Lee\r\nN:Lee;John;;;\r\nORG:Acme;R&D;Lab 3\r\n"
                                  "item1.EMAIL;type=INTERNET:a@x.example\r\nitem1.X-ABLabel:Büro\r\n"
                                  "EMAIL;TYPE=HOME:b@x.example\r\nTEL;TYPE=cell,pref:+1 555\r\nNOTE:First\r\n"
                                  "NOTE:Second\r\nREV:2020-01-01T00:00:00Z\r\nEND:VCARD\r\n";
        QTest::newRow("organization") << person << kABOrganizationProperty << QVariant(u"Acme Inc"_qs)
                                      << QStringList{u"-ORG:Acme;R&D;Lab 3"_qs, u"+ORG:Acme Inc;R&D;Lab 3"_qs};
        QTest::newRow("name") << person << kABFirstNameProperty << QVariant(u"Jon"_qs)
                              << QStringList{u"-FN:Johnny Lee"_qs, u"-N:Lee;John;;;"_qs, u"+FN:Jon Lee"_qs,
                                             u"+N:Lee;Jon;;;"_qs};
        QTest::newRow("note") << person << kABNoteProperty << QVariant(u"First\nmore"_qs)
                              << QStringList{u"-NOTE:First"_qs, u"+NOTE:First\\nmore"_qs};
        QTest::newRow("entry removed with its label")
            << person << kABEmailProperty << QVariant(QVariantList{QVariantMap{{kABHomeLabel, u"b@x.example"_qs}}})
            << QStringList{u"-item1.EMAIL;type=INTERNET:a@x.example"_qs, u"-item1.X-ABLabel:Büro"_qs};
        QTest::newRow("label changed in place")
            << person << kABPhoneProperty << QVariant(QVariantList{QVariantMap{{kABWorkLabel, u"+1 555"_qs}}})
            << QStringList{u"-TEL;TYPE=cell,pref:+1 555"_qs, u"+TEL;TYPE=WORK:+1 555"_qs};
        QTest::newRow("custom label") << person << kABPhoneProperty
                                      << QVariant(QVariantList{QVariantMap{{u"mobile"_qs, u"+1 555"_qs}},
                                                               QVariantMap{{u"Boot"_qs, u"+1 666"_qs}}})
                                      << QStringList{u"+item2.TEL:+1 666"_qs, u"+item2.X-ABLabel:Boot"_qs};
        const QByteArray v4 = "BEGIN:VCARD\nVERSION:4.0\nFN:Zoe\nN:;Zoe;;;\nTEL;VALUE=uri;TYPE=cell:tel:+1-555\n"
                              "REV:20200101T000000Z\nEND:VCARD\n";
        QTest::newRow("4.0 birthday") << v4 << kABBirthdayProperty << QVariant(QDate(1604, 7, 4))
                                      << QStringList{u"+BDAY:--0704"_qs};
        QTest::newRow("4.0 number") << v4 << kABPhoneProperty
                                    << QVariant(QVariantList{QVariantMap{{u"mobile"_qs, u"+1-555"_qs}},
                                                             QVariantMap{{kABHomeLabel, u"+1-777"_qs}}})
                                    << QStringList{u"+TEL;VALUE=uri;TYPE=home:tel:+1-777"_qs};
        const QByteArray v21 = "BEGIN:VCARD\r\nVERSION:2.1\r\nN:Gross;Hans\r\nTEL;WORK;VOICE:+49 1\r\n"
                               "REV:20200101T000000Z\r\nEND:VCARD\r\n";
        QTest::newRow("2.1 note") << v21 << kABNoteProperty << QVariant(u"Größe\nzwei"_qs)
                                  << QStringList{u"+NOTE;CHARSET=UTF-8;ENCODING=QUOTED-PRINTABLE:Gr=C3=B6=C3=9Fe=0D=0Azwei"_qs};
        QTest::newRow("2.1 number") << v21 << kABPhoneProperty
                                    << QVariant(QVariantList{QVariantMap{{kABWorkLabel, u"+49 1"_qs}},
                                                             QVariantMap{{u"mobile"_qs, u"+49 2"_qs}}})
                                    << QStringList{u"+TEL;CELL:+49 2"_qs};
    }

    void edits()
    {
        QFETCH(QByteArray, card);
        QFETCH(QString, property);
        QFETCH(QVariant, value);
        QFETCH(QStringList, diff);
        QTemporaryDir dir;
        QFile file(dir.filePath(u"card.vcf"_qs));
        QVERIFY(file.open(QIODevice::WriteOnly) && file.write(card) == card.size());
        file.close();
        {
            ABAddressBook book(dir.path());
            ABPerson *person = book.people().value(0);
            QVERIFY(person && person->setValue(value, property));
            QVERIFY(book.save());
        }
        QCOMPARE(lineDiff(card, readAll(file.fileName())), diff);
        const QVariant back = ABAddressBook(dir.path()).people().value(0)->valueForProperty(property);
        QCOMPARE(ABMultiValue::isMultiValue(back) ? QVariant(ABMultiValue::fromVariant(back).toLabeledValues()) : back,
                 value.metaType() == QMetaType::fromType<QDate>() ? QVariant(QDateTime(value.toDate(), QTime(12, 0), Qt::UTC))
                                                                   : value);
    }
};

QTEST_GUILESS_MAIN(TestVCardFuzzCorpus)
#include "tst_vcardfuzzcorpus.moc"
