#include "fuzzentries.h"

#include <QtTest>

// The vCard fuzz corpus through the fuzz target's entry point, so that a finding once fixed
// stays fixed; the entry point aborts on a broken invariant.
class TestVCardFuzzCorpus : public QObject
{
    Q_OBJECT

private slots:
    void corpus()
    {
        const QDir dir(QStringLiteral(ZORBIX_FUZZ_CORPUS "/vcard"));
        const QStringList files = dir.entryList(QDir::Files, QDir::Name);
        QVERIFY2(files.size() >= 5, "the vCard fuzz corpus is missing");
        for (const QString &name : files) {
            QFile input(dir.filePath(name));
            QVERIFY(input.open(QIODevice::ReadOnly));
            const QByteArray bytes = input.readAll();
            QCOMPARE(fuzzVCardOneInput(reinterpret_cast<const uint8_t *>(bytes.constData()), size_t(bytes.size())), 0);
        }
    }
};

QTEST_GUILESS_MAIN(TestVCardFuzzCorpus)
#include "tst_vcardfuzzcorpus.moc"
