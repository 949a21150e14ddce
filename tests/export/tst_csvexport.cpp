#include "exportcontroller.h"
#include "exportformatcontroller.h"
#include "fakebrowser.h"
#include "recordingplatform.h"
#include "testmessages.h"

#include <QtTest>
#include <QComboBox>
#include <QDialog>
#include <QLineEdit>
#include <QRadioButton>

#include <csignal>
#include <sys/resource.h>

// The export window driven as the user would: controls, presets, the file it writes.
class TestCsvExport : public QObject
{
    Q_OBJECT

private slots:
    void init();
    void defaultLocationOnFirstStart();
    void exactBytes_data();
    void exactBytes();
    void tableRules();
    void spreadsheetPresetReadByPythonCsv();
    void failuresLeaveThePreviousFile();
    void presetChooserAndShareLine();

private:
    // controls: radio buttons by the start of their names ("sepTab lineEndNewline").
    QByteArray exportWith(const QVariantList &records, const QString &controls, int preset, int encodingTag);
    QRadioButton *radio(const char *name) { return m_controller->window()->findChild<QRadioButton *>(QLatin1String(name)); }
    QString location() { return m_dir.filePath(u"out.csv"_qs); }

    QTemporaryDir m_dir;
    FakeBrowser m_browser;
    std::unique_ptr<ExportController> m_controller;
    std::unique_ptr<RecordingPlatform> m_platform;
};

namespace {
QVariantMap person(std::initializer_list<std::pair<QString, QVariant>> values)
{
    QVariantMap map;
    for (const auto &[key, value] : values)
        map.insert(key, value);
    return map;
}

QByteArray utf16(const QString &text)
{
    return QByteArray(reinterpret_cast<const char *>(text.utf16()), text.size() * 2);
}
} // namespace

void TestCsvExport::init()
{
    m_controller.reset();
    m_platform.reset(); // one recorder at a time: each restores the hooks it found
    m_platform = std::make_unique<RecordingPlatform>();
    m_browser.records.reset();
    m_browser.share = u"Office"_qs;
    m_controller = std::make_unique<ExportController>(&m_browser);
    m_controller->window()->findChild<QLineEdit *>(u"exportLocationFieldOL"_qs)->setText(location());
    QFile::remove(location());
}

void TestCsvExport::defaultLocationOnFirstStart()
{
    QSettings().remove(ExportController::exportPathName);
    ExportController fresh(&m_browser);
    const QString expected = QDir::currentPath() + u"/export-csv.txt"_qs;
    QCOMPARE(fresh.window()->findChild<QLineEdit *>(u"exportLocationFieldOL"_qs)->text(), expected);
    QCOMPARE(QSettings().value(ExportController::exportPathName).toString(), expected);
    // A new user's encoding is UTF-8.
    QCOMPARE(fresh.currentFormat().encodingTag, int(CSVFormat::TagUtf8));
}

QByteArray TestCsvExport::exportWith(const QVariantList &records, const QString &controls, int preset, int encodingTag)
{
    m_browser.setRecords(records);
    auto *encodings = m_controller->window()->findChild<QComboBox *>(u"encodingListOL"_qs);
    // Tag 2 is not listed; it stands for UTF-16 like tag 0.
    encodings->addItem(u"tag 2"_qs, 2);
    encodings->setCurrentIndex(encodings->findData(encodingTag));
    for (const QString &name : controls.split(u' ', Qt::SkipEmptyParts))
        radio((name + (name.startsWith(u"lineEnd") ? u"OL"_qs : u"ButtonOL"_qs)).toLatin1().constData())->setChecked(true);
    if (preset >= 0)
        m_controller->setWindowForFormat(preset);
    if (!m_controller->getCSVDict())
        return QByteArray();
    QFile file(location());
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

void TestCsvExport::exactBytes_data()
{
    QTest::addColumn<QVariantList>("records");
    QTest::addColumn<QString>("controls");
    QTest::addColumn<int>("preset");
    QTest::addColumn<int>("encoding");
    QTest::addColumn<QByteArray>("expected");

    const QVariantList ab{person({{u"First"_qs, u"a"_qs}, {u"Last"_qs, u"b"_qs}})};
    const QVariantList shortColumn{ab.first(), person({{u"First"_qs, u"c"_qs}})};
    const QVariantList quote{person({{u"First"_qs, u"x\"y"_qs}})}, jose{person({{u"First"_qs, u"José"_qs}})};
    const int utf8 = CSVFormat::TagUtf8, ascii = CSVFormat::TagAscii, latin1 = CSVFormat::TagLatin1;
    QTest::newRow("defaults") << ab << QString() << -1 << utf8 << QByteArray("'a' , 'b'\r");
    QTest::newRow("comma, double quotes") << ab << u"sepComma enclDouble"_qs << -1 << utf8 << QByteArray("\"a\" , \"b\"\r");
    QTest::newRow("quote kept") << quote << u"enclDouble"_qs << -1 << utf8 << QByteArray("\"x\"y\"\r");
    QTest::newRow("short column bare") << shortColumn << u"enclNone"_qs << -1 << utf8 << QByteArray("a , b\rc , \r");
    QTest::newRow("ascii, accented name") << jose << QString() << -1 << ascii
                                          << (u"'"_qs + msg("SE_NoConversion") + u"'\r"_qs).toLatin1();
    QTest::newRow("latin 1") << jose << QString() << -1 << latin1 << QByteArray("'Jos\xe9'\r");
    QTest::newRow("empty table, header first") << QVariantList() << u"headFirst"_qs << -1 << utf8 << QByteArray("\r");
    for (int tag : {0, 2})
        QTest::addRow("utf-16, tag %d", tag) << ab << QString() << -1 << tag << utf16(u"\uFEFF'a' , 'b'\r"_qs);
    QTest::newRow("preset 1 keeps single quotes")
        << ab << u"enclSingle headFirst"_qs << 1 << utf8 << QByteArray("'First'\t'Last'\r'a'\t'b'\r");
    QTest::newRow("preset 3 keeps double quotes and header") << ab << u"enclDouble headLast lineEndReturn"_qs << 3 << utf8
                                                             << QByteArray("\"a\" , \"b\"\n\"First\" , \"Last\"\n");
    QTest::newRow("preset 2") << ab << u"enclDouble"_qs << 2 << utf8 << QByteArray("a\tb\r");
    QTest::newRow("preset 0") << ab << u"enclSingle sepTab"_qs << 0 << utf8 << QByteArray("\"a\" , \"b\"\n");
    QTest::newRow("preset 4") << QVariantList{person({{u"First"_qs, u"x\"y"_qs}, {u"Last"_qs, u"ü"_qs}})} << u"headLast"_qs
                              << 4 << latin1 << QByteArray("\"First\",\"Last\"\r\n\"x\"\"y\",\"\xc3\xbc\"\r\n");
}

void TestCsvExport::exactBytes()
{
    QFETCH(QVariantList, records);
    QFETCH(QString, controls);
    QFETCH(int, preset);
    QFETCH(int, encoding);
    QFETCH(QByteArray, expected);
    QCOMPARE(exportWith(records, controls, preset, encoding), expected);
    QCOMPARE(m_platform->alerts, (QList<QPair<QString, QString>>()));
}

void TestCsvExport::tableRules()
{
    const QDateTime birthday(QDate(1996, 4, 15), QTime(12, 0), Qt::UTC);
    const QVariantList records{
        person({{u"First"_qs, u"Ann"_qs},
                {u"Email"_qs, QVariantList{QVariantMap{{u"work"_qs, u"a@x"_qs}}, QVariantMap{{u"work"_qs, u"b@x"_qs}},
                                           QVariantMap{{u"Urlaub"_qs, u"c@x"_qs}}, u"junk"_qs, QVariantMap()}},
                {u"Address"_qs, QVariantList{QVariantMap{{u"home"_qs, QVariantMap{{u"Street"_qs, u"S 1"_qs},
                                                                                  {u"City"_qs, u"C"_qs}}}}}},
                {u"Birthday"_qs, birthday}, {u"UID"_qs, u"u-1"_qs}, {u"Creation"_qs, birthday},
                {u"Modification"_qs, birthday}, {u"Phone"_qs, QVariantList()},
                {u"Extra"_qs, QVariantMap{{u"k"_qs, u"v"_qs}}}, {u"Flags"_qs, 5}}),
        u"not a person"_qs,
        person({{u"First"_qs, u"Bo"_qs}}),
        person({{u"Flags"_qs, 7}}),
    };
    const QByteArray written = exportWith(records, u"enclNone sepTab lineEndNewline headFirst"_qs, -1, CSVFormat::TagUtf8);
    const QString expected = u"Address [Home :: City]\tAddress [Home :: Street]\tBirthday\tEmail [Urlaub]\t"
                             "Email [Work]\tFirst\n"
                             "C\tS 1\t1996-04-15 12:00:00 +0000\tc@x\tb@x\tAnn\n"
                             "\t\t\t\t\t\n"
                             "\t\t\t\t\tBo\n"_qs;
    QCOMPARE(QString::fromUtf8(written), expected);
    QCOMPARE(m_platform->logLines.count(u"insertPerson: Dictionary??"_qs), 1);
    QCOMPARE(CVSDict::dateText(QDateTime(QDate(2001, 2, 3), QTime(4, 5, 6), Qt::OffsetFromUTC, -(5 * 3600 + 1800))),
             u"2001-02-03 04:05:06 -0530"_qs);
}

void TestCsvExport::spreadsheetPresetReadByPythonCsv()
{
    const QString python = QStandardPaths::findExecutable(u"python3"_qs);
    if (python.isEmpty())
        QSKIP("python3 is not installed; it reads the file back with its csv module");
    const QStringList hostile{u"q\"uote"_qs, u"\"\""_qs, u"com,ma , x"_qs, u"tab\there"_qs, u"cr\rx"_qs,
                              u"lf\nx\r\n"_qs, u"  leading"_qs, u"Ελληνικά 日本語 😀"_qs, u""_qs, u"'single'"_qs};
    QVariantList records;
    for (const QString &value : hostile)
        records.append(person({{u"First"_qs, value}, {u"Note"_qs, value + u"!"_qs}}));
    QVERIFY(!exportWith(records, u"enclSingle"_qs, CSVFormat::PresetSpreadsheet, CSVFormat::TagAscii).isEmpty());

    QProcess reader;
    reader.start(python, {u"-c"_qs, u"import csv, json, sys\n"
                                    "with open(sys.argv[1], newline='', encoding='utf-8') as f:\n"
                                    "    json.dump(list(csv.reader(f)), sys.stdout)\n"_qs,
                          location()});
    QVERIFY(reader.waitForFinished(30000));
    QCOMPARE(reader.exitCode(), 0);
    QList<QStringList> expected{{u"First"_qs, u"Note"_qs}};
    for (const QString &value : hostile)
        expected.append({value, value + u"!"_qs});
    QList<QStringList> rows;
    for (const QVariant &row : QJsonDocument::fromJson(reader.readAllStandardOutput()).toVariant().toList())
        rows.append(row.toStringList());
    QCOMPARE(rows, expected);
}

void TestCsvExport::failuresLeaveThePreviousFile()
{
    QVariantList many;
    for (int i = 0; i < 2000; ++i)
        many.append(person({{u"First"_qs, u"Person %1"_qs.arg(i)}, {u"Last"_qs, u"Name"_qs}}));
    m_browser.setRecords(many);
    {
        QFile previous(location());
        QVERIFY(previous.open(QIODevice::WriteOnly));
        previous.write("previous export\n");
    }
    // A write that runs out of room midway (the file size limit stands in for a full disk).
    std::signal(SIGXFSZ, SIG_IGN);
    rlimit saved{};
    getrlimit(RLIMIT_FSIZE, &saved);
    rlimit small = saved;
    small.rlim_cur = 4096;
    QCOMPARE(setrlimit(RLIMIT_FSIZE, &small), 0);
    const bool written = m_controller->getCSVDict().has_value();
    setrlimit(RLIMIT_FSIZE, &saved);
    QVERIFY(!written);
    QCOMPARE(m_platform->alerts.size(), 1);
    QCOMPARE(m_platform->alerts.first().first, msg("SE_NoFile"));
    const QString hint = m_platform->alerts.first().second;
    QVERIFY2(hint.startsWith(location()) && hint != location(), qPrintable(hint));
    QFile previous(location());
    QVERIFY(previous.open(QIODevice::ReadOnly));
    QCOMPARE(previous.readAll(), QByteArray("previous export\n"));
    QCOMPARE(QDir(m_dir.path()).entryList(QDir::Files), QStringList{u"out.csv"_qs});

    // A location that is a folder, and nothing downloaded.
    m_platform->clear();
    auto *field = m_controller->window()->findChild<QLineEdit *>(u"exportLocationFieldOL"_qs);
    field->setText(m_dir.path());
    m_controller->doExportOnly();
    QCOMPARE(m_platform->alerts, (QList<QPair<QString, QString>>{{msg("SE_NoFile"), m_dir.path()}}));
    m_platform->clear();
    m_browser.records.reset();
    m_controller->doExportAndOpen();
    QCOMPARE(m_platform->alerts, (QList<QPair<QString, QString>>{{msg("SE_NoABAvailProblem"), msg("SE_NoABAvailHInt")}}));
    QVERIFY(m_platform->openedUrls.isEmpty());

    // No location, chooser cancelled: a beep and no file.
    m_platform->clear();
    m_browser.setRecords(many);
    field->clear();
    m_controller->setLocationChooser([](auto &&...) { return QString(); });
    m_controller->doExportOnly();
    QCOMPARE(m_platform->beeps, 1);
    QVERIFY(m_platform->alerts.isEmpty());

    // The same records written in full: read in parallel, written in order.
    field->setText(location());
    QVERIFY(m_controller->getCSVDict());
    QFile complete(location());
    QVERIFY(complete.open(QIODevice::ReadOnly));
    const QList<QByteArray> lines = complete.readAll().split('\r');
    QCOMPARE(lines.size(), 2001);
    QCOMPARE(lines.at(1234), QByteArray("'Person 1234' , 'Name'"));
}

void TestCsvExport::presetChooserAndShareLine()
{
    ExportFormatController *chooser = m_controller->formatController();
    // No known button selected: preset 0 when confirmed.
    for (QRadioButton *button : chooser->window()->findChildren<QRadioButton *>()) {
        button->setAutoExclusive(false);
        button->setChecked(false);
    }
    QCOMPARE(chooser->getFormatSelectorForFormat(), 0);
    chooser->window()->show();
    chooser->doUseFormat();
    QVERIFY(!chooser->window()->isVisible());
    QVERIFY(radio("enclDoubleButtonOL")->isChecked());
    QVERIFY(radio("lineEndNewlineOL")->isChecked());

    auto *line = m_controller->window()->findChild<QLineEdit *>(u"remoteUserFieldOL"_qs);
    QCOMPARE(line->text(), u"Office [0 records]"_qs);
    m_browser.setRecords({person({{u"First"_qs, u"a"_qs}}), person({{u"First"_qs, u"b"_qs}})});
    m_controller->doReloadData(&m_browser);
    QCOMPARE(line->text(), u"Office [2 records]"_qs);
    m_browser.share = QString();
    m_controller->doReloadData(&m_browser);
    QCOMPARE(line->text(), msg("BR_NoRemoteSystem"));

    m_controller->doExportAndOpen();
    QCOMPARE(m_platform->openedUrls, QList<QUrl>{QUrl::fromLocalFile(location())});
    QVERIFY(QFile::exists(location()));
}

QTEST_MAIN(TestCsvExport)
#include "tst_csvexport.moc"
