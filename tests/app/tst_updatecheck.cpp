#include "recordingplatform.h"
#include "updatecontroller.h"

#include <QPlainTextEdit>
#include <QPushButton>
#include <QTcpServer>
#include <QTcpSocket>
#include <QtTest>

namespace {
// Answers GET /<case>/zorbixRelease.htm by case; "slow" never answers.
class PageServer : public QTcpServer
{
public:
    PageServer()
    {
        connect(this, &QTcpServer::newConnection, this, [this] {
            while (QTcpSocket *socket = nextPendingConnection()) {
                ++connections;
                connect(socket, &QTcpSocket::readyRead, socket, [this, socket] {
                    const QByteArray request = socket->peek(8192);
                    if (!request.contains("\r\n\r\n"))
                        return;
                    socket->readAll();
                    answer(socket, request.split(' ').value(1).split('/').value(1));
                });
            }
        });
    }

    int connections = 0;

private:
    static void answer(QTcpSocket *socket, const QByteArray &which)
    {
        QByteArray status = "200 OK", type = "text/html", body;
        if (which == "page")
            body = "zorbix 2.0\nis out.\n";
        else if (which == "latin")
            type = "text/plain; charset=iso-8859-1", body = "Gr\xfc\xdf"
                                                            "e";
        else if (which == "binary")
            type = "application/octet-stream", body = QByteArray("PK\x03\x04\x00\x00\x14", 7);
        else if (which == "huge")
            body = QByteArray(2 * updateController::MaxPageBytes, 'x');
        else if (which == "slow")
            return;
        else if (which == "loop")
            status = "302 Found\r\nLocation: /loop/zorbixRelease.htm";
        else if (which != "empty")
            status = "404 Not Found", body = "no such page";
        socket->write("HTTP/1.1 " + status + "\r\nContent-Type: " + type + "\r\nContent-Length: " +
                      QByteArray::number(body.size()) + "\r\nConnection: close\r\n\r\n" + body);
        socket->disconnectFromHost();
    }
};
} // namespace

class TestUpdateCheck : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase() { QVERIFY(server.listen(QHostAddress::LocalHost)); }
    void pageShownOrProblem_data();
    void pageShownOrProblem();
    void oneCheckAtATimeAndATimeout();

private:
    void useSite(const QByteArray &which)
    {
        qputenv("ZORBIX_MAKER_SITE",
                "http://127.0.0.1:" + QByteArray::number(server.serverPort()) + '/' + which);
    }
    PageServer server;
};

void TestUpdateCheck::pageShownOrProblem_data()
{
    QTest::addColumn<QByteArray>("which");
    QTest::addColumn<QString>("shown"); // empty: the problem text
    QTest::newRow("page") << QByteArray("page") << u"zorbix 2.0\nis out.\n"_qs;
    QTest::newRow("charset from the header") << QByteArray("latin") << u"Grüße"_qs;
    QTest::newRow("empty") << QByteArray("empty") << QString();
    QTest::newRow("404") << QByteArray("missing") << QString();
    QTest::newRow("redirect loop") << QByteArray("loop") << QString();
    QTest::newRow("binary") << QByteArray("binary") << QString();
    QTest::newRow("nobody listening") << QByteArray() << QString();
}

void TestUpdateCheck::pageShownOrProblem()
{
    QFETCH(QByteArray, which);
    QFETCH(QString, shown);
    RecordingPlatform platform;
    useSite(which);
    QTcpServer closed;
    if (which.isEmpty()) {
        QVERIFY(closed.listen(QHostAddress::LocalHost));
        const quint16 port = closed.serverPort();
        closed.close();
        qputenv("ZORBIX_MAKER_SITE", "http://127.0.0.1:" + QByteArray::number(port));
    }
    updateController controller;
    // A second check replaces the text, it never appends.
    for (int round = 0; round < 2; ++round) {
        QSignalSpy finished(&controller, &updateController::checkFinished);
        controller.doCheckForUdate();
        QVERIFY(finished.wait(10000));
        const QString text = controller.newReleaseDetailFieldOL()->toPlainText();
        if (shown.isEmpty()) {
            QVERIFY(text.startsWith(u"Problem loading update data from internet.\n"_qs));
            QVERIFY(text.endsWith(u"/zorbix.htm \n\n by hand in your browser."_qs));
            QCOMPARE(platform.beeps, round + 1);
        } else {
            QCOMPARE(text, shown);
            QCOMPARE(platform.beeps, 0);
        }
    }
}

void TestUpdateCheck::oneCheckAtATimeAndATimeout()
{
    RecordingPlatform platform;
    updateController controller;
    controller.setTimeout(std::chrono::milliseconds(500));
    useSite("slow");
    server.connections = 0;
    QSignalSpy finished(&controller, &updateController::checkFinished);
    controller.doCheckForUdate();
    QVERIFY(controller.isChecking());
    QVERIFY(!controller.checkButtonOL()->isEnabled());
    QCOMPARE(controller.checkButtonOL()->text(), u"Checking…"_qs);
    controller.doCheckForUdate();
    QVERIFY(finished.wait(5000));
    QCOMPARE(server.connections, 1);
    QCOMPARE(finished.size(), 1);
    QVERIFY(
        controller.newReleaseDetailFieldOL()->toPlainText().startsWith(u"Problem loading update data"_qs));
    QCOMPARE(platform.beeps, 1);
    QVERIFY(controller.checkButtonOL()->isEnabled());

    // A huge page is cut, not read to its end.
    useSite("huge");
    controller.setTimeout(std::chrono::seconds(10));
    controller.doCheckForUdate();
    QVERIFY(finished.wait(10000));
    const QString text = controller.newReleaseDetailFieldOL()->toPlainText();
    QVERIFY(text.startsWith(QString(updateController::MaxPageBytes, u'x') + u'\n'));
    QVERIFY(text.size() < updateController::MaxPageBytes + 200);
}

QTEST_MAIN(TestUpdateCheck)
#include "tst_updatecheck.moc"
