// Texts and dates as the listing writes them: whatever a card holds reads back the same.
#include "jsonstream.h"

#include <QBuffer>
#include <QJsonArray>
#include <QJsonDocument>
#include <QtTest>

class TestJsonStream : public QObject
{
    Q_OBJECT

private slots:
    void textsReadBack_data();
    void textsReadBack();
};

void TestJsonStream::textsReadBack_data()
{
    QTest::addColumn<QString>("text");
    QTest::addColumn<QString>("expected");
    const QString pair = QString::fromUcs4(U"\U0001F600");
    QTest::newRow("escapes") << u"a\"b\\c\n\r\t\b\f\x01\x1f/"_qs << QString();
    QTest::newRow("two and three bytes") << u"Köln €"_qs << QString();
    QTest::newRow("surrogate pair") << u"x"_qs + pair + u"y"_qs << QString();
    QTest::newRow("lone half") << u"a"_qs + QChar(0xd800) + u"b"_qs << u"a\uFFFDb"_qs;
    // Texts are written in pieces of 4096 characters: a pair across the edge stays whole.
    QTest::newRow("pair across a piece") << QString(4095, u'a') + pair + QString(9000, u'\n') << QString();
    QTest::newRow("more than the buffer holds") << QString(70000, QChar(0xe9)) + pair << QString();
}

void TestJsonStream::textsReadBack()
{
    QFETCH(QString, text);
    QFETCH(QString, expected);
    QBuffer buffer;
    buffer.open(QIODevice::WriteOnly);
    {
        JsonStream json(&buffer, JsonStream::Dates::Seconds);
        json.raw("[");
        json.string(text);
        json.raw(",");
        json.value(QDateTime(QDate(1980, 2, 11), QTime(12, 0), Qt::UTC));
        json.raw(",");
        json.value(QDateTime(QDate(1604, 5, 1), QTime(12, 0, 7), QTimeZone(3600)));
        json.raw("]");
        QVERIFY(json.flush());
    }
    QJsonParseError error;
    const QJsonArray read = QJsonDocument::fromJson(buffer.data(), &error).array();
    QCOMPARE(error.error, QJsonParseError::NoError);
    QCOMPARE(read.at(0).toString(), expected.isNull() ? text : expected);
    QCOMPARE(read.at(1).toString(), u"1980-02-11T12:00:00Z"_qs);
    QCOMPARE(read.at(2).toString(), u"1604-05-01T12:00:07+01:00"_qs);
}

QTEST_GUILESS_MAIN(TestJsonStream)
#include "tst_jsonstream.moc"
