#include "abaddressbook.h"
#include "abglobals.h"
#include "abperson.h"
#include "abstorewatcher.h"
#include "storetools.h"

#include <QTcpServer>
#include <QTcpSocket>
#include <QtTest>

// The store is a vdir, so vdirsyncer keeps it in step with a CardDAV server (Radicale, Debian
// packages "radicale" and "vdirsyncer"; the server listens on 127.0.0.1 only). A person travels
// each way (the other end is a second folder synced with the same server), and a program that
// has the store open takes in what the sync brought.
class TestCardDav : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void cleanupTestCase();
    void personsTravelBothWays();

private:
    bool run(const QString &program, const QStringList &args, QByteArray *output = nullptr);
    bool sync(const QString &pair) { return run(m_vdirsyncer, {u"-c"_qs, m_syncConfig, u"sync"_qs, pair}); }

    QTemporaryDir m_dir;
    QString m_store;
    QString m_other;
    QString m_vdirsyncer;
    QString m_syncConfig;
    QProcess m_server;
    quint16 m_port = 0;
};

namespace {
QByteArray card(const char *uid, const char *first, const char *last)
{
    return QByteArrayLiteral("BEGIN:VCARD\r\nVERSION:3.0\r\nUID:") + uid + "\r\nN:" + last + ';' + first +
           ";;;\r\nFN:" + first + ' ' + last + "\r\nEND:VCARD\r\n";
}

bool writeFile(const QString &path, const QByteArray &data)
{
    QFile file(path);
    return file.open(QIODevice::WriteOnly) && file.write(data) == data.size();
}

} // namespace

void TestCardDav::initTestCase()
{
    const QString radicale = QStandardPaths::findExecutable(u"radicale"_qs);
    m_vdirsyncer = QStandardPaths::findExecutable(u"vdirsyncer"_qs);
    if (radicale.isEmpty() || m_vdirsyncer.isEmpty())
        QSKIP("radicale or vdirsyncer is not installed (scripts/deps.sh test installs them)");
    QVERIFY(m_dir.isValid());
    // Straight to 127.0.0.1, whatever proxy the environment names.
    for (const char *name : {"http_proxy", "HTTP_PROXY", "all_proxy", "ALL_PROXY"})
        qunsetenv(name);
    m_store = m_dir.filePath(u"addressbook"_qs);
    m_other = m_dir.filePath(u"other"_qs);
    QVERIFY(QDir().mkpath(m_store) && QDir().mkpath(m_other));

    // A free port on the loopback interface for the server.
    {
        QTcpServer probe;
        QVERIFY(probe.listen(QHostAddress::LocalHost));
        m_port = probe.serverPort();
    }
    // One address book, "contacts" of the user "zorbix", made where the server keeps its data.
    const QString collection = m_dir.filePath(u"server/collection-root/zorbix/contacts"_qs);
    QVERIFY(QDir().mkpath(collection));
    QVERIFY(writeFile(collection + u"/.Radicale.props"_qs, R"({"tag": "VADDRESSBOOK"})"));
    const QString serverConfig = m_dir.filePath(u"radicale.conf"_qs);
    QVERIFY(writeFile(
        serverConfig,
        QStringLiteral("[server]\nhosts = 127.0.0.1:%1\n[auth]\ntype = none\n"
                       "[rights]\ntype = owner_only\n[web]\ntype = none\n[logging]\nlevel = warning\n"
                       "[storage]\nfilesystem_folder = %2\n")
            .arg(m_port)
            .arg(m_dir.filePath(u"server"_qs))
            .toUtf8()));
    m_syncConfig = m_dir.filePath(u"vdirsyncer.conf"_qs);
    QByteArray syncConfig = QStringLiteral("[general]\nstatus_path = \"%1/status/\"\n").arg(m_dir.path()).toUtf8();
    for (const QString &pair : {u"zorbix"_qs, u"other"_qs})
        syncConfig += QStringLiteral("[pair %1]\na = \"%1_local\"\nb = \"%1_server\"\ncollections = null\n"
                                     "conflict_resolution = \"a wins\"\n"
                                     "[storage %1_local]\ntype = \"filesystem\"\npath = \"%2\"\nfileext = \".vcf\"\n"
                                     "[storage %1_server]\ntype = \"carddav\"\n"
                                     "url = \"http://127.0.0.1:%3/zorbix/contacts/\"\n"
                                     "username = \"zorbix\"\npassword = \"zorbix\"\n")
                          .arg(pair, pair == u"zorbix"_qs ? m_store : m_other)
                          .arg(m_port)
                          .toUtf8();
    QVERIFY(writeFile(m_syncConfig, syncConfig));

    m_server.setProcessChannelMode(QProcess::ForwardedChannels);
    m_server.start(radicale, {u"--config"_qs, serverConfig});
    QVERIFY(m_server.waitForStarted());
    const auto listening = [this] {
        QTcpSocket socket;
        socket.connectToHost(QHostAddress::LocalHost, m_port);
        return m_server.state() == QProcess::Running && socket.waitForConnected(200);
    };
    QTRY_VERIFY2_WITH_TIMEOUT(listening(), "radicale did not start listening", 20000);
    QVERIFY(run(m_vdirsyncer, {u"-c"_qs, m_syncConfig, u"discover"_qs}));
}

void TestCardDav::cleanupTestCase()
{
    if (m_server.state() == QProcess::NotRunning)
        return;
    m_server.terminate();
    if (!m_server.waitForFinished(10000))
        m_server.kill();
    m_server.waitForFinished();
}

bool TestCardDav::run(const QString &program, const QStringList &args, QByteArray *output)
{
    QProcess process;
    process.start(program, args);
    process.closeWriteChannel();
    if (!process.waitForFinished(120000) || process.exitStatus() != QProcess::NormalExit ||
        process.exitCode() != 0) {
        qWarning() << program << args << "failed:" << process.readAllStandardError();
        return false;
    }
    if (output)
        *output = process.readAllStandardOutput();
    return true;
}

void TestCardDav::personsTravelBothWays()
{
    ABAddressBook book(m_store);
    QVERIFY(book.isOpen());
    ABStoreWatcher watcher(&book);
    watcher.setDelay(50);
    const QString cli = QStringLiteral(ZORBIX_CLI_BINARY);

    // Added here, found at the other end after a sync each.
    const QString import = m_dir.filePath(u"ada.vcf"_qs);
    QVERIFY(writeFile(import, card("ada-lovelace", "Ada", "Lovelace")));
    QVERIFY(run(cli, {u"import"_qs, u"--addressbook"_qs, m_store, import}));
    QVERIFY(sync(u"zorbix"_qs) && sync(u"other"_qs));
    const QByteArray there = StoreTools::cardFiles(m_other).values().join();
    QVERIFY2(there.contains("UID:ada-lovelace") && there.contains("FN:Ada Lovelace"), there.constData());

    // Added at the other end, listed here and taken in by the program that has the store open.
    QVERIFY(writeFile(m_other + u"/grace-hopper.vcf"_qs, card("grace-hopper", "Grace", "Hopper")));
    QVERIFY(sync(u"other"_qs));
    QVERIFY(!StoreTools::personNamed(book, u"Grace"_qs, u"Hopper"_qs));
    QVERIFY(sync(u"zorbix"_qs));
    QByteArray listed;
    QVERIFY(run(cli, {u"list"_qs, u"--addressbook"_qs, m_store}, &listed));
    QVERIFY2(listed.contains("Grace Hopper") && listed.contains("Ada Lovelace"), listed.constData());
    QTRY_VERIFY(StoreTools::personNamed(book, u"Grace"_qs, u"Hopper"_qs));
    QVERIFY(StoreTools::personNamed(book, u"Ada"_qs, u"Lovelace"_qs));
}

int main(int argc, char **argv)
{
    QCoreApplication app(argc, argv);
    TestCardDav test;
    const int result = QTest::qExec(&test, argc, argv);
    // Reported to CTest as skipped, not as passed, where the server or the sync tool is missing.
    if (result == 0 && (QStandardPaths::findExecutable(u"radicale"_qs).isEmpty() ||
                        QStandardPaths::findExecutable(u"vdirsyncer"_qs).isEmpty()))
        return 77;
    return result;
}
#include "tst_carddav.moc"
