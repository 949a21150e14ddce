#include "exportcontroller.h"
#include "exportformatcontroller.h"
#include "fakebrowser.h"
#include "recordingplatform.h"
#include "testmessages.h"

#include <QtTest>
#include <QCheckBox>
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
    void newUserGetsAPlainFileName();
    void exactBytes_data();
    void exactBytes();
    void formulas_data();
    void formulas();
    void libreOfficeRunsNoFormula();
    void tableRules();
    void columnsOfUnknownNamesAreBounded();
    void failuresLeaveThePreviousFile();
    void presetChooserAndShareLine();

private:
    // controls: radio buttons by the start of their names ("sepTab lineEndNewline").
    QByteArray exportWith(const QVariantList &records, const QString &controls, int preset, int encodingTag);
    QRadioButton *radio(const char *name) { return m_controller->window()->findChild<QRadioButton *>(QLatin1String(name)); }
    QLineEdit *field(const char *name) { return m_controller->window()->findChild<QLineEdit *>(QLatin1String(name)); }
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
    QSettings().clear();
    m_browser.records.reset();
    m_browser.share = u"Office"_qs;
    m_controller = std::make_unique<ExportController>(&m_browser);
    field("exportLocationFieldOL")->setText(location());
    QFile::remove(location());
}

void TestCsvExport::newUserGetsAPlainFileName()
{
    // A new user gets a file named after the share in the documents folder (and the spreadsheet
    // layout in UTF-8, which every row of the formulas table starts from).
    const QString documents = QStandardPaths::writableLocation(QStandardPaths::DocumentsLocation);
    QDir(documents).removeRecursively();
    m_browser.share = u"\u202E./-.-/../Team\x01 Müller\\x"_qs;
    m_controller = std::make_unique<ExportController>(&m_browser);
    QCOMPARE(field("exportLocationFieldOL")->text(), documents + u"/Team Müller-x.csv"_qs);
    QVERIFY(QFileInfo(documents).isDir());
}

QByteArray TestCsvExport::exportWith(const QVariantList &records, const QString &controls, int preset, int encodingTag)
{
    m_browser.setRecords(records);
    auto *encodings = m_controller->window()->findChild<QComboBox *>(u"encodingListOL"_qs);
    // Tag 2 is not listed; it stands for UTF-16 like tag 0.
    encodings->addItem(u"tag 2"_qs, 2);
    encodings->setCurrentIndex(encodings->findData(encodingTag));
    for (const QString &name : controls.split(u' ', Qt::SkipEmptyParts)) {
        if (name == u"raw")
            m_controller->window()->findChild<QCheckBox *>(u"rawValuesButtonOL"_qs)->setChecked(true);
        else
            radio((name + (name.startsWith(u"lineEnd") ? u"OL"_qs : u"ButtonOL"_qs)).toLatin1().constData())->setChecked(true);
    }
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
    const QVariantList jose{person({{u"First"_qs, u"José"_qs}})};
    const int utf8 = CSVFormat::TagUtf8, ascii = CSVFormat::TagAscii, latin1 = CSVFormat::TagLatin1;
    const QString classic = u"enclSingle sepComma lineEndReturn headNo "_qs;
    QTest::newRow("short column bare") << shortColumn << classic + u"enclNone"_qs << -1 << utf8 << QByteArray("a , b\rc , \r");
    QTest::newRow("ascii, accented name") << jose << classic << -1 << ascii
                                          << (u"'"_qs + msg("SE_NoConversion") + u"'\r"_qs).toLatin1();
    QTest::newRow("latin 1") << jose << classic << -1 << latin1 << QByteArray("'Jos\xe9'\r");
    QTest::newRow("empty table, header first") << QVariantList() << classic + u"headFirst"_qs << -1 << utf8 << QByteArray("\r");
    for (int tag : {0, 2})
        QTest::addRow("utf-16, tag %d", tag) << ab << classic << -1 << tag << utf16(u"\uFEFF'a' , 'b'\r"_qs);
    QTest::newRow("preset 4") << QVariantList{person({{u"First"_qs, u"a"_qs}, {u"Last"_qs, u"ü"_qs}})} << u"headLast"_qs
                              << 4 << latin1 << QByteArray("\"First\",\"Last\"\r\n\"a\",\"\xc3\xbc\"\r\n");
    // A value holding every character that ends a cell or a line in some layout, beside a plain one.
    const QVariantList hostile{person({{u"First"_qs, u"q\"s'c,t\tr\rn\nx\r\ny"_qs}, {u"Last"_qs, u"plain"_qs}})};
    QTest::newRow("0: double quotes doubled") << hostile << u"enclSingle sepTab headNo"_qs << 0 << utf8
        << QByteArray("\"q\"\"s'c,t\tr\rn\nx\r\ny\" , \"plain\"\n");
    QTest::newRow("1: single quotes kept and doubled") << hostile << u"enclSingle headFirst"_qs << 1 << utf8
        << QByteArray("'First'\t'Last'\r'q\"s''c,t\tr\rn\nx\r\ny'\t'plain'\r");
    QTest::newRow("2: tab and line ends become blanks") << hostile << u"headNo"_qs << 2 << utf8
        << QByteArray("q\"s'c,t r n x y\tplain\r");
    QTest::newRow("3: double quotes and header kept") << hostile << u"enclDouble headLast lineEndReturn"_qs << 3 << utf8
        << QByteArray("\"q\"\"s'c,t\tr\rn\nx\r\ny\" , \"plain\"\n\"First\" , \"Last\"\n");
    QTest::newRow("4: RFC 4180") << hostile << u"headNo"_qs << 4 << utf8
        << QByteArray("\"First\",\"Last\"\r\n\"q\"\"s'c,t\tr\rn\nx\r\ny\",\"plain\"\r\n");
    QTest::newRow("bare with commas") << hostile << u"enclNone sepComma lineEndNewline headNo"_qs << -1 << utf8
        << QByteArray("q\"s'c t\tr n x y , plain\n");
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

void TestCsvExport::formulas_data()
{
    QTest::addColumn<QString>("property");
    QTest::addColumn<QString>("value");
    QTest::addColumn<QString>("controls");
    QTest::addColumn<QByteArray>("expected");
    const auto sheet = [](const QByteArray &cell) { return "\"Note\"\r\n" + cell + "\r\n"; };
    const QString note = u"Note"_qs;
    QTest::newRow("hyperlink") << note << u"=HYPERLINK(\"http://x\",\"y\")"_qs << QString()
                               << sheet("\"'=HYPERLINK(\"\"http://x\"\",\"\"y\"\")\"");
    QTest::newRow("minus with call") << note << u"-2+3+cmd|' /C calc'!A0"_qs << QString()
                                     << sheet("\"'-2+3+cmd|' /C calc'!A0\"");
    QTest::newRow("tab first") << note << u"\t=1"_qs << QString() << sheet("\"'\t=1\"");
    QTest::newRow("blank first") << note << u" =1"_qs << QString() << sheet("\"' =1\"");
    QTest::newRow("full-width") << note << u"\uFF1D1"_qs << QString() << sheet("\"'\xef\xbc\x9d" "1\"");
    QTest::newRow("phone number") << note << u"+49 170 1234"_qs << QString() << sheet("\"+49 170 1234\"");
    QTest::newRow("raw values") << note << u"=1+1"_qs << u"raw"_qs << sheet("\"=1+1\"");
    QTest::newRow("property name") << u"=1+1"_qs << u"x"_qs << QString() << QByteArray("\"'=1+1\"\r\n\"x\"\r\n");
    QTest::newRow("bare") << note << u"=1+1"_qs << u"enclNone headNo"_qs << QByteArray("'=1+1\r\n");
    QTest::newRow("single quotes") << note << u"=1"_qs << u"enclSingle headNo"_qs << QByteArray("'''=1'\r\n");
}

void TestCsvExport::formulas()
{
    QFETCH(QString, property);
    QFETCH(QString, value);
    QFETCH(QString, controls);
    QFETCH(QByteArray, expected);
    QCOMPARE(exportWith({person({{property, value}})}, controls, -1, CSVFormat::TagUtf8), expected);
}

void TestCsvExport::libreOfficeRunsNoFormula()
{
    const QString soffice = QStandardPaths::findExecutable(u"soffice"_qs);
    if (soffice.isEmpty())
        QSKIP("LibreOffice (soffice, package libreoffice-calc-nogui) is not installed; it reads the file back");
    const QVariantList records{
        person({{u"=HYPERLINK(\"http://x\",\"y\")"_qs, u"=1+1"_qs},
                {u"Phone"_qs, QVariantList{QVariantMap{{u"=2+2"_qs, u"+49 170 1234"_qs}}}},
                {u"Note"_qs, u"a \"q\", b\r\nc"_qs}}),
        person({{u"Note"_qs, u"=cmd|' /C calc'!A0"_qs}, {u"Phone"_qs, QVariantList{QVariantMap{{u"work"_qs, u"@SUM(1)"_qs}}}}}),
    };
    QVERIFY(!exportWith(records, QString(), CSVFormat::PresetSpreadsheet, CSVFormat::TagUtf8).isEmpty());
    // Calc reads the file with formulas evaluated (the import option a user may tick) and writes
    // what its cells show: a formula would show its result (2, y) instead of its text.
    QTemporaryDir work;
    QProcess calc;
    calc.setProcessChannelMode(QProcess::MergedChannels);
    const QString options = u"44,34,76,1,,0,false,true,false,false,false"_qs;
    calc.start(u"timeout"_qs, {u"120"_qs, soffice, u"-env:UserInstallation=file://"_qs + work.filePath(u"profile"_qs),
                               u"--headless"_qs, u"--infilter=CSV:"_qs + options + u",-1,true"_qs, u"--convert-to"_qs,
                               u"csv:Text - txt - csv (StarCalc):"_qs + options, u"--outdir"_qs, work.path(), location()});
    QVERIFY(calc.waitForFinished(150000));
    QFile shown(work.filePath(u"out.csv"_qs));
    QVERIFY2(shown.open(QIODevice::ReadOnly), calc.readAll().constData());
    QCOMPARE(shown.readAll(), QByteArray("\"'=HYPERLINK(\"\"http://x\"\",\"\"y\"\")\",Note,Phone [=2+2],Phone [Work]\n"
                                         "'=1+1,\"a \"\"q\"\", b\nc\",+49 170 1234,\n"
                                         ",'=cmd|' /C calc'!A0,,'@SUM(1)\n"));
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

void TestCsvExport::columnsOfUnknownNamesAreBounded()
{
    // Each person brings names of its own; the most used ones and every known one keep a column.
    const qsizetype cap = CVSDict::kMaxOtherColumns, extra = 30;
    QVariantList records;
    for (qsizetype i = 0; i < cap + extra; ++i) {
        QVariantMap p{{u"First"_qs, u"p"_qs}, {u"Own%1"_qs.arg(i, 3, 10, QChar(u'0')), u"v"_qs},
                      {u"Email"_qs, QVariantList{QVariantMap{{u"label %1"_qs.arg(i), u"e"_qs}}, QVariantMap{{u"work"_qs, u"w"_qs}}}}};
        if (i < cap)
            p.insert(u"Common%1"_qs.arg(i % 10), u"c"_qs);
        records.append(p);
    }
    m_browser.setRecords(records);
    const std::optional<CVSDict> table = m_controller->getCSVDict();
    QVERIFY(table);
    const QStringList names = table->columnNames();
    QCOMPARE(names.size(), 2 + cap);
    QVERIFY(names.contains(u"First"_qs) && names.contains(u"Email [Work]"_qs) && names.contains(u"Common9"_qs));
    QCOMPARE(table->omittedColumns(), 10 + 2 * (cap + extra) - cap);
    QCOMPARE(m_platform->alerts.value(0).first, msg("SE_ColumnsLeftOut"));
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
    field("exportLocationFieldOL")->setText(m_dir.path());
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
    field("exportLocationFieldOL")->clear();
    m_controller->setLocationChooser([](auto &&...) { return QString(); });
    m_controller->doExportOnly();
    QCOMPARE(m_platform->beeps, 1);
    QVERIFY(m_platform->alerts.isEmpty());

    // The same records written in full: read in parallel, written in order.
    field("exportLocationFieldOL")->setText(location());
    QVERIFY(m_controller->getCSVDict());
    QFile complete(location());
    QVERIFY(complete.open(QIODevice::ReadOnly));
    const QList<QByteArray> lines = complete.readAll().split('\n');
    QCOMPARE(lines.size(), 2002);
    QCOMPARE(lines.at(1235), QByteArray("\"Person 1234\",\"Name\"\r"));
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

    QLineEdit *line = field("remoteUserFieldOL");
    QCOMPARE(line->text(), u"Office [0 records]"_qs);
    m_browser.setRecords({person({{u"First"_qs, u"a"_qs}})});
    m_browser.share = u"%2 Team"_qs;
    m_controller->doReloadData(&m_browser);
    QCOMPARE(line->text(), u"%2 Team [1 record]"_qs);
    m_browser.share = QString();
    m_controller->doReloadData(&m_browser);
    QCOMPARE(line->text(), msg("BR_NoRemoteSystem"));

    m_controller->doExportAndOpen();
    const QString written =
        QStandardPaths::writableLocation(QStandardPaths::DocumentsLocation) + u"/%2 Team.csv"_qs;
    QCOMPARE(m_platform->openedUrls, QList<QUrl>{QUrl::fromLocalFile(written)});
    QVERIFY(QFile::exists(written));
}

QTEST_MAIN(TestCsvExport)
#include "tst_csvexport.moc"
