#include "clitools.h"

// zorbix-cli fetch writing CSV and vCard files from a share that zorbix-cli serve offers.
class TestCliExport : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void fetchWritesFiles_data();
    void fetchWritesFiles();

private:
    QTemporaryDir m_dir;
    QProcess m_serve; // killed with the test
    QString m_port;
};

void TestCliExport::initTestCase()
{
    const QString book = m_dir.filePath(u"book"_qs);
    QVERIFY(QDir().mkpath(book));
    QVERIFY(CliTools::writeCard(book + u"/p1.vcf"_qs, "UID:p1\r\nN:M\xc3\xbcller;Ann \"A\";;;\r\nFN:Ann M\xc3\xbcller\r\n"
                                                     "EMAIL;TYPE=work:ann@example.org\r\nCATEGORIES:Shared\r\n"));
    m_port = CliTools::startServe(m_serve, {u"--addressbook"_qs, book, u"--port"_qs, u"0"_qs, u"--name"_qs, u"Office"_qs,
                                            u"--group"_qs, u"Shared"_qs, u"--no-announce"_qs});
    QVERIFY(!m_port.isEmpty());
}

void TestCliExport::fetchWritesFiles_data()
{
    QTest::addColumn<QStringList>("options");
    QTest::addColumn<int>("exitCode");
    QTest::addColumn<QByteArray>("csv");
    QTest::newRow("default: spreadsheet") << QStringList() << 0
                                          << QByteArray("\"Email [Work]\",\"First\",\"Last\"\r\n"
                                                        "\"ann@example.org\",\"Ann \"\"A\"\"\",\"M\xc3\xbcller\"\r\n");
    QTest::newRow("preset 2, latin 1, header last")
        << QStringList{u"--preset"_qs, u"2"_qs, u"--encoding"_qs, u"ISO-8859-1"_qs, u"--header"_qs, u"last"_qs} << 0
        << QByteArray("ann@example.org\tAnn \"A\"\tM\xfcller\rEmail [Work]\tFirst\tLast\r");
    QTest::newRow("bad preset") << QStringList{u"--preset"_qs, u"5"_qs} << 2 << QByteArray();
    QTest::newRow("unwritable") << QStringList{u"--csv"_qs, u"/proc/version"_qs} << 1 << QByteArray();
}

void TestCliExport::fetchWritesFiles()
{
    QFETCH(QStringList, options);
    QFETCH(int, exitCode);
    QFETCH(QByteArray, csv);
    const QString csvFile = m_dir.filePath(u"out.csv"_qs);
    const QString vcfFile = m_dir.filePath(u"out.vcf"_qs);
    QFile::remove(csvFile);
    QFile::remove(vcfFile);
    QCOMPARE(CliTools::run(QStringList{u"fetch"_qs, u"127.0.0.1:"_qs + m_port, u"--csv"_qs, csvFile, u"--vcf"_qs, vcfFile} +
                           options),
             exitCode);
    if (exitCode != 0)
        return;
    QFile written(csvFile);
    QVERIFY(written.open(QIODevice::ReadOnly));
    QCOMPARE(written.readAll(), csv);
    QFile vcards(vcfFile);
    QVERIFY(vcards.open(QIODevice::ReadOnly));
    const QByteArray cards = vcards.readAll();
    QVERIFY2(cards.startsWith("BEGIN:VCARD\r\nVERSION:3.0\r\n") && cards.contains("EMAIL;TYPE=WORK:ann@example.org") &&
                 cards.count("BEGIN:VCARD") == 1,
             cards.constData());
}

QTEST_GUILESS_MAIN(TestCliExport)
#include "tst_cliexport.moc"
