// zorbix-cli list as a user runs it, on stores of up to more persons than the listing makes at once.
#include "clitools.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QTemporaryDir>

using namespace CliTools;

class TestList : public QObject
{
    Q_OBJECT

private slots:
    void keepsOrderAndMembership_data();
    void keepsOrderAndMembership();
};

void TestList::keepsOrderAndMembership_data()
{
    QTest::addColumn<int>("persons");
    QTest::newRow("none") << 0;
    QTest::newRow("one") << 1;
    QTest::newRow("one past the text held at once") << 8193;
}

void TestList::keepsOrderAndMembership()
{
    QFETCH(int, persons);
    QTemporaryDir dir;
    QVERIFY(dir.isValid());
    QByteArray members;
    QString expected = QStringLiteral("Persons (%1):\n").arg(persons);
    for (int i = 0; i < persons; ++i) {
        const QByteArray n = QByteArray::number(i).rightJustified(5, '0');
        QVERIFY(writeCard(dir.filePath(u"p"_qs + QString::fromLatin1(n) + u".vcf"_qs),
                          "UID:p" + n + "\r\nN:Läst" + n + ";First;;;\r\nEMAIL:m" + n + "@x.example\r\n"));
        expected += u"  First Läst"_qs + QString::fromLatin1(n + " <m" + n + "@x.example>\n");
        if (i % 2 == 0)
            members += "X-ADDRESSBOOKSERVER-MEMBER:urn:uuid:p" + n + "\r\n";
        if (i % 4 == 0) // named twice, in other letters: still one membership
            members += "X-ADDRESSBOOKSERVER-MEMBER:URN:UUID:P" + n + "\r\n";
    }
    QVERIFY(writeCard(dir.filePath(u"team.vcf"_qs), "UID:team\r\nFN:Even\r\nX-ADDRESSBOOKSERVER-KIND:group\r\n" + members));
    expected += QStringLiteral("Groups (1):\n  Even (%1)\n").arg((persons + 1) / 2);

    QByteArray out;
    QCOMPARE(run({u"list"_qs, u"--addressbook"_qs, dir.path()}, &out), 0);
    QCOMPARE(QString::fromUtf8(out), expected);
    QCOMPARE(run({u"list"_qs, u"--json"_qs, u"--addressbook"_qs, dir.path()}, &out), 0);
    QJsonParseError error;
    const QJsonArray listed = QJsonDocument::fromJson(out, &error).object().value(u"persons"_qs).toArray();
    QCOMPARE(error.error, QJsonParseError::NoError);
    QCOMPARE(listed.size(), persons);
    for (int i = 0; i < persons; ++i) {
        const QJsonObject person = listed.at(i).toObject();
        QCOMPARE(person.value(u"uid"_qs).toString(), u"p"_qs + QString::number(i).rightJustified(5, u'0'));
        QCOMPARE(person.value(u"groups"_qs).toArray().size(), i % 2 == 0 ? 1 : 0);
    }
}

QTEST_GUILESS_MAIN(TestList)
#include "tst_list.moc"
