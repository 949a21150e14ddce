#include "clitools.h"

#include <QCborArray>
#include <QCborMap>
#include <QCborValue>
#include <QTcpServer>
#include <QTcpSocket>
#include <QtTest>

#include <csignal>

using namespace CliTools;

namespace {
QJsonDocument readJson(const QString &path)
{
    QFile file(path);
    return QJsonDocument::fromJson(file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray());
}
} // namespace

// zorbix-cli serve and fetch as a user runs them: a store on disk, two processes, a real port;
// fetch also writing CSV and vCard files.
class TestCliExchange : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void serveThenFetch();
    void fetchFailuresHaveTheirExitCodes_data();
    void fetchFailuresHaveTheirExitCodes();
    void peerAndFileTextIsEscaped();
    void fetchWritesFiles_data();
    void fetchWritesFiles();
    void protectedShareAdmitsAndPins();

private:
    int runFetch(const QStringList &args, QByteArray *out = nullptr) { return run(QStringList{u"fetch"_qs} + args, out); }

    QTemporaryDir m_dir;
    QProcess m_exportServe; // killed with the test
    QString m_exportPort;
};

void TestCliExchange::initTestCase()
{
    QVERIFY(m_dir.isValid());
    const QString book = m_dir.filePath(u"book"_qs);
    QVERIFY(QDir().mkpath(book));
    QVERIFY(writeCard(book + u"/p1.vcf"_qs, "UID:p1\r\nN:Lee;Ann;;;\r\nFN:Ann Lee\r\nEMAIL;TYPE=work:ann@example.org\r\n"
                                     "EMAIL;TYPE=work:lee@example.org\r\n"));
    QVERIFY(writeCard(book + u"/p2.vcf"_qs, "UID:p2\r\nN:Roe;Bob;;;\r\nFN:Bob Roe\r\nTEL;TYPE=cell:+43 1 234\r\n"));
    QVERIFY(writeCard(book + u"/p3.vcf"_qs, "UID:p3\r\nN:Out;Carl;;;\r\nFN:Carl Out\r\n"));
    QVERIFY(writeCard(book + u"/g1.vcf"_qs, "UID:g1\r\nFN:Friends\r\nN:Friends;;;;\r\nX-ADDRESSBOOKSERVER-KIND:group\r\n"
                                     "X-ADDRESSBOOKSERVER-MEMBER:urn:uuid:p1\r\nX-ADDRESSBOOKSERVER-MEMBER:urn:uuid:p2\r\n"));
}

void TestCliExchange::serveThenFetch()
{
    QProcess serve;
    QByteArray banner;
    const QString port = startServe(serve, {u"--addressbook"_qs, m_dir.filePath(u"book"_qs), u"--group"_qs, u"Friends"_qs,
                                            u"--port"_qs, u"0"_qs, u"--name"_qs, u"Office"_qs, u"--card"_qs, u"1=Ann"_qs,
                                            u"--card"_qs, u"9=https://ann.example"_qs, u"--no-announce"_qs},
                                    "\n", &banner);
    QVERIFY2(banner.startsWith("sharing \"Office\" on port " + port.toLatin1() + '\n'), banner.constData());

    const QString json = m_dir.filePath(u"out.json"_qs);
    QByteArray out;
    QCOMPARE(runFetch({u"127.0.0.1:"_qs + port, u"--json"_qs, json}, &out), 0);
    QVERIFY2(out.contains("First name: Ann\n"), out.constData());
    QVERIFY2(out.contains("Web site: https://ann.example\n"), out.constData());
    QVERIFY2(out.contains("2 records\n"), out.constData());

    const QJsonArray records = readJson(json).array();
    QCOMPARE(records.size(), 2);
    QCOMPARE(records.at(0).toObject().value(u"Email"_qs).toArray().at(1).toObject().value(u"work"_qs).toString(),
             u"lee@example.org"_qs);

    // Another program changes the directory while it is shared: Bob deleted, Carl put into the
    // group. The next download has it without a restart.
    QVERIFY(QFile::remove(m_dir.filePath(u"book/p2.vcf"_qs)));
    QVERIFY(writeCard(m_dir.filePath(u"book/g1.vcf"_qs), "UID:g1\r\nFN:Friends\r\nN:Friends;;;;\r\nX-ADDRESSBOOKSERVER-KIND:group\r\n"
                                                 "X-ADDRESSBOOKSERVER-MEMBER:urn:uuid:p1\r\nX-ADDRESSBOOKSERVER-MEMBER:urn:uuid:p3\r\n"));
    QCOMPARE(runFetch({u"127.0.0.1:"_qs + port, u"--json"_qs, json}, &out), 0);
    const QJsonArray changed = readJson(json).array();
    QCOMPARE(changed.size(), 2);
    QCOMPARE(changed.at(0).toObject().value(u"First"_qs).toString(), u"Ann"_qs);
    QCOMPARE(changed.at(1).toObject().value(u"First"_qs).toString(), u"Carl"_qs);

    // The serve side reports the connection, and stops cleanly on SIGINT.
    QTRY_VERIFY_WITH_TIMEOUT((banner += serve.readAllStandardOutput()).contains("served 2 records to 127.0.0.1:"), 10000);
    ::kill(pid_t(serve.processId()), SIGINT);
    QVERIFY(serve.waitForFinished(10000));
    QCOMPARE(serve.exitStatus(), QProcess::NormalExit);
    QCOMPARE(serve.exitCode(), 0);
}

void TestCliExchange::fetchFailuresHaveTheirExitCodes_data()
{
    QTest::addColumn<QByteArray>("reply"); // what a fake share answers ("refused": nothing listens)
    QTest::addColumn<int>("exitCode");
    QTest::newRow("connection refused") << QByteArray("refused") << 3;
    QTest::newRow("not a share") << QByteArray("SSH-2.0-OpenSSH_9.2\r\n") << 4;
    QTest::newRow("silent") << QByteArray() << 5;
    QTest::newRow("closes at once") << QByteArray("close") << 6;
    QTest::newRow("bad target") << QByteArray("usage") << 2;
    QTest::newRow("IPv6 literal") << QByteArray("::1") << 2;
}

void TestCliExchange::fetchFailuresHaveTheirExitCodes()
{
    QFETCH(QByteArray, reply);
    QFETCH(int, exitCode);
    QTcpServer fake;
    QVERIFY(fake.listen(QHostAddress::LocalHost, 0));
    const quint16 port = fake.serverPort();
    if (reply == "refused")
        fake.close();
    connect(&fake, &QTcpServer::newConnection, &fake, [&fake, reply] {
        QTcpSocket *socket = fake.nextPendingConnection();
        if (reply == "close")
            socket->close();
        else if (!reply.isEmpty())
            socket->write(reply);
    });
    const QString target = reply == "usage" ? u"127.0.0.1"_qs
                           : reply == "::1" ? QStringLiteral("::1:%1").arg(port)
                                            : QStringLiteral("127.0.0.1:%1").arg(port);
    QCOMPARE(runFetch({target, u"--timeout"_qs, u"1"_qs}), exitCode);
}

// A sharer's card, an unknown reply type and a card file's names print as visible escapes.
void TestCliExchange::peerAndFileTextIsEscaped()
{
    const QString hostile = QChar(0x1b) + u"]0;owned"_qs + QChar(0x07) + u"\r\\"_qs + QChar(0x9b) + QChar(0x7f);
    const QByteArray shown = "\\x1b]0;owned\\x07\\r\\\\\\x9b\\x7f";
    const auto frame = [](const QCborMap &message) {
        const QByteArray payload = QCborValue(message).toCbor();
        return QByteArray::number(payload.size() + 11).leftJustified(10, ' ') + '+' + payload;
    };
    QTcpServer fake;
    QVERIFY(fake.listen(QHostAddress::LocalHost, 0));
    const QCborArray records{QCborMap{{u"Note"_qs, hostile + QString(70000, QChar(0x01))}}};
    QByteArray reply = frame({{u"type"_qs, u"keys"_qs}, {u"Keys1"_qs, 1}}) +
                       frame({{u"type"_qs, u"AB"_qs}, {u"pData"_qs, QCborMap{{1, hostile}}}, {u"ABData"_qs, records}});
    connect(&fake, &QTcpServer::newConnection, &fake, [&] { fake.nextPendingConnection()->write(reply); });
    const QString target = QStringLiteral("127.0.0.1:%1").arg(fake.serverPort());
    QByteArray out, err;
    const QString json = m_dir.filePath(u"hostile.json"_qs);
    QCOMPARE(run({u"fetch"_qs, target, u"--json"_qs, json}, &out), 0);
    QVERIFY2(out.contains("First name: " + shown + '\n'), out.constData());
    // JSON keeps the text exactly, escaped its own way, however long.
    QCOMPARE(readJson(json).array().at(0)[u"Note"_qs].toString(), records[0][u"Note"_qs].toString());
    reply = frame({{u"type"_qs, hostile}});
    QCOMPARE(run({u"fetch"_qs, target}, &out, &err), 4);
    QVERIFY2(err.contains('"' + shown + '"'), err.constData());

    const QString book = m_dir.filePath(u"hostile"_qs);
    QVERIFY(QDir().mkpath(book));
    QVERIFY(writeCard(book + u"/h.vcf"_qs, "UID:h\r\nN:Roe\x1b[2J\x07\x7f;Eve;;;\r\nFN:Eve\r\n"));
    QCOMPARE(run({u"list"_qs, u"--addressbook"_qs, book}, &out), 0);
    QVERIFY2(out.contains("  Eve Roe\\x1b[2J\\x07\\x7f\n"), out.constData());
    QVERIFY(!out.contains('\x1b') && !out.contains('\x07') && !out.contains('\r'));
    QCOMPARE(run({u"list"_qs, u"--json"_qs, u"--addressbook"_qs, book}, &out), 0);
    const QJsonObject listed = QJsonDocument::fromJson(out).object();
    QCOMPARE(listed[u"persons"_qs][0][u"name"_qs].toString(), u"Eve Roe"_qs + QChar(0x1b) + u"[2J"_qs + QChar(0x07) + QChar(0x7f));
    QVERIFY(listed[u"groups"_qs].toArray().isEmpty());
}

void TestCliExchange::fetchWritesFiles_data()
{
    QTest::addColumn<QStringList>("options");
    QTest::addColumn<int>("exitCode");
    QTest::addColumn<QByteArray>("csv");
    QTest::newRow("default: spreadsheet") << QStringList() << 0
                                          << QByteArray("\"Email [Work]\",\"First\",\"Last\",\"Note\"\r\n"
                                                        "\"ann@example.org\",\"Ann \"\"A\"\"\",\"M\xc3\xbcller\",\"'=1+1\"\r\n");
    QTest::newRow("preset 2, latin 1, header last")
        << QStringList{u"--preset"_qs, u"2"_qs, u"--encoding"_qs, u"ISO-8859-1"_qs, u"--header"_qs, u"last"_qs} << 0
        << QByteArray("ann@example.org\tAnn \"A\"\tM\xfcller\t'=1+1\rEmail [Work]\tFirst\tLast\tNote\r");
    QTest::newRow("bad preset") << QStringList{u"--preset"_qs, u"5"_qs} << 2 << QByteArray();
    QTest::newRow("unwritable") << QStringList{u"--csv"_qs, u"/proc/version"_qs} << 1 << QByteArray();
}

void TestCliExchange::fetchWritesFiles()
{
    QFETCH(QStringList, options);
    QFETCH(int, exitCode);
    QFETCH(QByteArray, csv);
    if (m_exportPort.isEmpty()) {
        const QString book = m_dir.filePath(u"export"_qs);
        QVERIFY(QDir().mkpath(book));
        QVERIFY(writeCard(book + u"/p1.vcf"_qs, "UID:p1\r\nN:M\xc3\xbcller;Ann \"A\";;;\r\nFN:Ann M\xc3\xbcller\r\n"
                                                "EMAIL;TYPE=work:ann@example.org\r\nNOTE:=1+1\r\nCATEGORIES:Shared\r\n"));
        m_exportPort = startServe(m_exportServe, {u"--addressbook"_qs, book, u"--port"_qs, u"0"_qs, u"--name"_qs,
                                                  u"Office"_qs, u"--group"_qs, u"Shared"_qs, u"--no-announce"_qs});
        QVERIFY(!m_exportPort.isEmpty());
    }
    const QString csvFile = m_dir.filePath(u"out.csv"_qs), vcfFile = m_dir.filePath(u"out.vcf"_qs);
    QFile::remove(csvFile);
    QFile::remove(vcfFile);
    QCOMPARE(runFetch(QStringList{u"127.0.0.1:"_qs + m_exportPort, u"--csv"_qs, csvFile, u"--vcf"_qs, vcfFile} + options),
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

// Another device's data and settings for the children started meanwhile.
struct OtherDevice
{
    explicit OtherDevice(const QString &home) : data(qgetenv("XDG_DATA_HOME")), config(qgetenv("XDG_CONFIG_HOME"))
    {
        qputenv("XDG_DATA_HOME", (home + u"/data"_qs).toLocal8Bit());
        qputenv("XDG_CONFIG_HOME", (home + u"/config"_qs).toLocal8Bit());
    }
    ~OtherDevice()
    {
        qputenv("XDG_DATA_HOME", data);
        qputenv("XDG_CONFIG_HOME", config);
    }
    QByteArray data, config;
};

// serve --protected lets in the device given with --allow over TLS; a plain fetch and an unknown
// device (no terminal to ask on) get nothing; the first download pins the share's certificate,
// and a share with another one at the same address is refused with a warning.
void TestCliExchange::protectedShareAdmitsAndPins()
{
    QByteArray out, err;
    QCOMPARE(run({u"identity"_qs}, &out), 0);
    const QString fingerprint = QRegularExpression(u"Fingerprint: ([0-9A-F ]{79})\n"_qs).match(QString::fromLatin1(out)).captured(1);
    QVERIFY2(!fingerprint.isEmpty(), out.constData());
    const QStringList options{u"--addressbook"_qs, m_dir.filePath(u"book"_qs), u"--group"_qs, u"Friends"_qs,
                              u"--no-announce"_qs, u"--protected"_qs, u"--allow"_qs, fingerprint};
    QString port;
    QProcess serve;
    {
        OtherDevice sharer(m_dir.filePath(u"sharer"_qs));
        port = startServe(serve, options + QStringList{u"--port"_qs, u"0"_qs}, "fingerprint is");
    }
    const QString target = u"127.0.0.1:"_qs + port;
    QCOMPARE(run({u"fetch"_qs, target}, &out, &err), 4);
    QVERIFY2(err.contains("protected share; fetch it with --tls"), err.constData());
    QCOMPARE(run({u"fetch"_qs, target, u"--tls"_qs}, &out, &err), 0);
    QVERIFY2(out.contains("2 records\n") && err.contains("pinned the certificate of " + target.toLatin1()), err.constData());
    {
        OtherDevice stranger(m_dir.filePath(u"stranger"_qs));
        QCOMPARE(run({u"fetch"_qs, target, u"--tls"_qs}, &out, &err), 8);
        QVERIFY2(err.contains("waiting for approval") && err.contains("did not allow"), err.constData());
    }
    QByteArray served;
    QTRY_VERIFY2_WITH_TIMEOUT((served += serve.readAllStandardOutput()).contains("refused: no terminal to ask on"),
                              served.constData(), 5000);
    serve.kill();
    QVERIFY(serve.waitForFinished(5000));

    // Another identity at the same address.
    QProcess other;
    {
        OtherDevice impostor(m_dir.filePath(u"impostor"_qs));
        QCOMPARE(startServe(other, options + QStringList{u"--port"_qs, port}, "fingerprint is"), port);
    }
    QCOMPARE(run({u"fetch"_qs, target, u"--tls"_qs}, &out, &err), 7);
    QVERIFY2(err.contains("WARNING: " + target.toLatin1() + " presented the certificate") && !out.contains("records"),
             err.constData());
    other.kill();
    QVERIFY(other.waitForFinished(5000));
    // Forgotten, the address takes the next certificate it meets.
    QCOMPARE(run({u"identity"_qs, u"--forget"_qs, target}, &out), 0);
    QCOMPARE(run({u"identity"_qs, u"--forget"_qs, target}, &out), 1);
}

QTEST_GUILESS_MAIN(TestCliExchange)
#include "tst_cliexchange.moc"
