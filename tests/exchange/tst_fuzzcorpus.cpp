#include "fuzzentries.h"

#include <QtTest>

// Runs every committed fuzz corpus file through the fuzz targets' entry points, so that a
// finding once fixed stays fixed. An entry point aborts on a broken invariant.
class TestFuzzCorpus : public QObject
{
    Q_OBJECT

private slots:
    void corpus_data();
    void corpus();
};

void TestFuzzCorpus::corpus_data()
{
    QTest::addColumn<QString>("target");
    QTest::addColumn<QString>("file");
    int count = 0;
    for (const char *target : {"pool", "archive", "walker"}) {
        const QDir dir(QStringLiteral(ZORBIX_FUZZ_CORPUS "/") + QLatin1String(target));
        const QStringList files = dir.entryList(QDir::Files, QDir::Name);
        for (const QString &file : files) {
            QTest::addRow("%s/%s", target, qPrintable(file)) << QString::fromLatin1(target) << dir.filePath(file);
            ++count;
        }
    }
    QVERIFY2(count >= 10, "the fuzz corpus is missing");
}

void TestFuzzCorpus::corpus()
{
    QFETCH(QString, target);
    QFETCH(QString, file);
    QFile input(file);
    QVERIFY(input.open(QIODevice::ReadOnly));
    const QByteArray bytes = input.readAll();
    const auto *data = reinterpret_cast<const uint8_t *>(bytes.constData());
    if (target == QLatin1String("pool"))
        QCOMPARE(fuzzPoolOneInput(data, size_t(bytes.size())), 0);
    else if (target == QLatin1String("walker"))
        QCOMPARE(fuzzWalkerOneInput(data, size_t(bytes.size())), 0);
    else
        QCOMPARE(fuzzArchiveOneInput(data, size_t(bytes.size())), 0);
}

QTEST_GUILESS_MAIN(TestFuzzCorpus)
#include "tst_fuzzcorpus.moc"
