#include <QtTest>

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
    QFile card(book + u"/p1.vcf"_qs);
    QVERIFY(card.open(QIODevice::WriteOnly));
    card.write("BEGIN:VCARD\r\nVERSION:3.0\r\nUID:p1\r\nN:M\xc3\xbcller;Ann \"A\";;;\r\nFN:Ann M\xc3\xbcller\r\n"
               "EMAIL;TYPE=work:ann@example.org\r\nCATEGORIES:Shared\r\nEND:VCARD\r\n");
    card.close();
    m_serve.start(QStringLiteral(ZORBIX_CLI), {u"serve"_qs, u"--addressbook"_qs, book, u"--port"_qs, u"0"_qs,
                                               u"--name"_qs, u"Office"_qs, u"--group"_qs, u"Shared"_qs, u"--no-announce"_qs});
    QVERIFY(m_serve.waitForStarted(5000));
    QByteArray banner;
    QTRY_VERIFY_WITH_TIMEOUT((banner += m_serve.readAllStandardOutput()).contains('\n'), 20000);
    m_port = QRegularExpression(u"on port (\\d+)"_qs).match(QString::fromUtf8(banner)).captured(1);
    QVERIFY2(!m_port.isEmpty(), banner.constData());
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
    QProcess fetch;
    fetch.start(QStringLiteral(ZORBIX_CLI), QStringList{u"fetch"_qs, u"127.0.0.1:"_qs + m_port, u"--csv"_qs, csvFile,
                                                        u"--vcf"_qs, vcfFile} + options);
    QVERIFY(fetch.waitForFinished(30000));
    QCOMPARE(fetch.exitCode(), exitCode);
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
