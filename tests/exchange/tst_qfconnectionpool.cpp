#include "qfconnectionpool.h"

#include <QTcpSocket>
#include <QtTest>

#include <climits>

// The pool's bookkeeping and frame arithmetic, driven with unconnected sockets as handles.
class TestQFConnectionPool : public QObject
{
    Q_OBJECT

private slots:
    void packBuildsPaddedHeader();
    void completenessAndUnpack_data();
    void completenessAndUnpack();
    void entriesAreFoundByIdentity();
};



void TestQFConnectionPool::packBuildsPaddedHeader()
{
    QTcpSocket handle;
    QCOMPARE(QFConnectionPool::packData(QByteArray(1000, 'a'), &handle), QByteArray("1011      +") + QByteArray(1000, 'a'));
    QCOMPARE(QFConnectionPool::packData(QByteArray("\0+", 2), &handle), QByteArray("13        +\0+", 13));
}

// What a buffer with the given bytes answers: complete?, declared length, and the payload (or
// nothing) with the bytes left behind.
void TestQFConnectionPool::completenessAndUnpack_data()
{
    QTest::addColumn<QByteArray>("buffer");
    QTest::addColumn<bool>("complete");
    QTest::addColumn<int>("headLength");
    QTest::addColumn<bool>("hasPayload");
    QTest::addColumn<QByteArray>("payload");
    QTest::addColumn<QByteArray>("left");

    QTest::newRow("whole frame") << QByteArray("14        +abc") << true << 14 << true << QByteArray("abc") << QByteArray();
    QTest::newRow("short frame") << QByteArray("14        +ab") << false << 14 << false << QByteArray() << QByteArray();
    QTest::newRow("empty payload alone") << QByteArray("11        +") << false << -1 << false << QByteArray() << QByteArray();
    QTest::newRow("no digits") << QByteArray("abcdefghij+x") << true << -1 << false << QByteArray() << QByteArray("abcdefghij+x");
    QTest::newRow("length 1") << QByteArray("1         +xyz") << true << 1 << false << QByteArray() << QByteArray("1         +xyz");
    QTest::newRow("length 11 with more") << QByteArray("11        +x") << true << 11 << false << QByteArray() << QByteArray("11        +x");
    QTest::newRow("negative") << QByteArray("-20       +xxxxxxxx") << false << -20 << false << QByteArray() << QByteArray();
    QTest::newRow("clamped max") << QByteArray("9999999999+x") << false << INT_MAX << false << QByteArray() << QByteArray();
    // The header rules: leading white space, a sign, the digits up to the first other byte.
    QTest::newRow("leading blanks") << QByteArray("\t\n 42     +x") << false << 42 << false << QByteArray() << QByteArray();
    QTest::newRow("plus sign") << QByteArray("+99       +x") << false << 99 << false << QByteArray() << QByteArray();
    QTest::newRow("sign only") << QByteArray("-         +x") << true << -1 << false << QByteArray() << QByteArray("-         +x");
    QTest::newRow("digits then junk") << QByteArray("12ab34    +x") << true << 12 << true << QByteArray("x") << QByteArray();
    QTest::newRow("max") << QByteArray("2147483647+x") << false << INT_MAX << false << QByteArray() << QByteArray();
    QTest::newRow("only ten bytes") << QByteArray("12345678901x") << false << 1234567890 << false << QByteArray() << QByteArray();
    QTest::newRow("eleventh byte ignored") << QByteArray("13        *ok") << true << 13 << true << QByteArray("ok") << QByteArray();
    QTest::newRow("with next frame") << QByteArray("12        +a13        +") << true << 12 << true << QByteArray("a") << QByteArray("13        +");
}

void TestQFConnectionPool::completenessAndUnpack()
{
    QFETCH(QByteArray, buffer);
    QFETCH(bool, complete);
    QFETCH(int, headLength);
    QFETCH(bool, hasPayload);
    QFETCH(QByteArray, payload);
    QFETCH(QByteArray, left);

    QTcpSocket handle;
    QFConnectionPool pool;
    pool.addConnection(&handle);
    pool.addData(buffer, &handle);
    QCOMPARE(pool.isConnectionComplete(&handle), complete);
    QCOMPARE(pool.getHeadLengthforConnection(&handle), headLength);
    if (!complete)
        return;
    const std::optional<QByteArray> out = pool.unpackDatafromConnection(&handle);
    QCOMPARE(out.has_value(), hasPayload);
    if (hasPayload)
        QCOMPARE(*out, payload);
    QCOMPARE(pool.getDataForConnection(&handle), left);
    QCOMPARE(pool.getDataForConnection(&handle).isNull(), left.isEmpty());
}



void TestQFConnectionPool::entriesAreFoundByIdentity()
{
    QTcpSocket a, b;
    QFConnectionPool pool;
    QVERIFY(!pool.isActiveConnection(&a));
    QVERIFY(!pool.isConnectionComplete(&a));
    QVERIFY(!pool.getDictForConnection(&a).has_value());
    pool.addConnection(&a);
    pool.addConnection(&b);
    pool.addData("for a", &a);
    pool.addData("for b", &b);
    pool.removeConnection(&a);
    QCOMPARE(pool.getDataForConnection(&b), QByteArray("for b"));
    // A new entry for the same handle never inherits the old buffer.
    pool.addConnection(&a);
    QVERIFY(pool.getDataForConnection(&a).isNull());
}

QTEST_GUILESS_MAIN(TestQFConnectionPool)
#include "tst_qfconnectionpool.moc"
