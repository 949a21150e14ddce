#include "mailaccount.h"
#include "mailaccountdialog.h"
#include "recordingplatform.h"
#include "reportcontroller.h"
#include "smtpmailer.h"
#include "testmessages.h"

#include <QCheckBox>
#include <QComboBox>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QSpinBox>
#include <QTcpServer>
#include <QTcpSocket>
#include <QtTest>

namespace {
// Enough of an SMTP server to take one message, or to fail in the ways real ones do.
class SmtpSink : public QTcpServer
{
public:
    enum Mode { Accept, RefuseSender, CloseInData, Silent };
    Mode mode = Accept;
    int connections = 0;
    QByteArray message, auth;

    SmtpSink()
    {
        connect(this, &QTcpServer::newConnection, this, [this] {
            while (QTcpSocket *socket = nextPendingConnection()) {
                ++connections;
                if (mode == Silent)
                    continue;
                socket->write("220 sink ESMTP\r\n");
                connect(socket, &QTcpSocket::readyRead, socket, [this, socket] { serve(socket); });
            }
        });
    }

private:
    void serve(QTcpSocket *socket)
    {
        while (socket->canReadLine()) {
            const QByteArray line = socket->readLine().chopped(2);
            if (inData) {
                if (line == ".") {
                    inData = false;
                    message = data;
                    socket->write("250 2.0.0 queued as 42\r\n");
                } else if (mode == CloseInData) {
                    socket->abort();
                    return;
                } else {
                    data += line + "\r\n";
                }
            } else if (line.startsWith("EHLO")) {
                socket->write("250-sink\r\n250-AUTH PLAIN\r\n250 8BITMIME\r\n");
            } else if (line == "AUTH PLAIN") {
                inAuth = true;
                socket->write("334 \r\n");
            } else if (inAuth || line.startsWith("AUTH PLAIN ")) {
                auth = QByteArray::fromBase64(line.mid(inAuth ? 0 : 11));
                inAuth = false;
                socket->write("235 2.7.0 ok\r\n");
            } else if (line.startsWith("MAIL FROM")) {
                socket->write(mode == RefuseSender ? "550 5.7.1 sender refused\r\n" : "250 ok\r\n");
            } else if (line.startsWith("RCPT TO")) {
                socket->write("250 ok\r\n");
            } else if (line == "DATA") {
                inData = true;
                data.clear();
                socket->write("354 go on\r\n");
            } else if (line == "QUIT") {
                socket->write("221 bye\r\n");
                socket->disconnectFromHost();
            } else {
                socket->write("502 no\r\n");
            }
        }
    }
    bool inData = false, inAuth = false;
    QByteArray data;
};

class FakePasswords : public MailPasswordStore
{
public:
    void readPassword(const QString &key, QObject *context, ReadDone done) override
    {
        QTimer::singleShot(0, context, [this, key, done] {
            if (entries.contains(key))
                done(entries.value(key), {});
            else
                done(std::nullopt, u"no keyring"_qs);
        });
    }
    void writePassword(const QString &key, const QString &password, QObject *context, WriteDone done) override
    {
        QTimer::singleShot(0, context, [this, key, password, done] {
            if (failWrites)
                return done(u"locked"_qs);
            if (password.isEmpty())
                entries.remove(key);
            else
                entries.insert(key, password);
            done({});
        });
    }
    QHash<QString, QString> entries;
    bool failWrites = false;
};

void setAccount(quint16 port, const QString &security = u"none"_qs, const QString &user = {})
{
    QSettings settings;
    settings.setValue(u"reportMailServer"_qs, u"127.0.0.1"_qs);
    settings.setValue(u"reportMailPort"_qs, port);
    settings.setValue(u"reportMailSecurity"_qs, security);
    settings.setValue(u"reportMailUser"_qs, user);
    settings.setValue(u"reportMailFrom"_qs, u"me@example.org"_qs);
}

void fill(ReportController &report, Qt::CheckState reply)
{
    report.senderNameFieldOL()->setText(u"Ann Example"_qs);
    report.senderEmailFieldOL()->setText(u"ann@example.org"_qs);
    report.sendReplySwitchOL()->setTristate(true);
    report.sendReplySwitchOL()->setCheckState(reply);
    report.reportTypeListOL()->setCurrentIndex(1);
    report.reportTextFieldOL()->setPlainText(u"It works.\n.\nReally: 100%1 ünïcode"_qs);
}

// The header value and the decoded text body of a message as the sink stored it.
QString header(const QByteArray &message, const QByteArray &name)
{
    for (const QByteArray &line : message.left(message.indexOf("\r\n\r\n")).split('\n')) {
        if (line.startsWith(name + ": "))
            return QString::fromUtf8(line.mid(name.size() + 2).trimmed());
    }
    return {};
}
QString bodyOf(const QByteArray &message)
{
    QByteArray encoded = message.mid(message.indexOf("\r\n\r\n") + 4);
    return QString::fromUtf8(QByteArray::fromBase64(encoded.replace("\r\n", "")))
        .replace(u"\r\n"_qs, u"\n"_qs);
}
} // namespace

class TestReportMail : public QObject
{
    Q_OBJECT

private slots:
    void init()
    {
        QSettings().clear();
        qputenv("ZORBIX_MAKER_SITE", "https://www.quenfold.test");
        MailPasswordStore::install(&passwords);
        passwords.entries.clear();
    }
    void reportArrives();
    void failureKeepsTheWindowOpen_data();
    void failureKeepsTheWindowOpen();
    void stoppingASendTellsNothing();
    void accountDialogKeepsThePasswordOutOfTheSettings();
    void desktopKeyringMissingFailsCleanly();

private:
    FakePasswords passwords;
};

void TestReportMail::reportArrives()
{
    SmtpSink sink;
    QVERIFY(sink.listen(QHostAddress::LocalHost));
    // A partly checked box asks for a reply in the body; only a checked one promises it.
    for (const Qt::CheckState reply : {Qt::Checked, Qt::PartiallyChecked, Qt::Unchecked}) {
        setAccount(sink.serverPort(), u"none"_qs, u"ann"_qs);
        passwords.entries.insert(MailAccount::load().passwordKey(), u"s3cret"_qs);
        RecordingPlatform platform;
        ReportController report;
        report.window()->show();
        fill(report, reply);
        QSignalSpy finished(&report, &ReportController::sendFinished);
        report.doSendEmailReport();
        QVERIFY(report.isSending());
        QVERIFY(!report.sendButtonOL()->isEnabled());
        report.doSendEmailReport(); // no second send while one runs
        QVERIFY(finished.wait(10000));
        QCOMPARE(finished.size(), 1);
        QCOMPARE(finished.first().first().toBool(), true);
        QCOMPARE(sink.auth, QByteArray("\0ann\0s3cret", 11));
        QCOMPARE(header(sink.message, "Subject"), u"zorbix 1.1.1 report"_qs);
        QCOMPARE(header(sink.message, "To"), u"<feedback@quenfold.test>"_qs);
        QCOMPARE(header(sink.message, "Reply-To"), u"<ann@example.org>"_qs);
        QCOMPARE(bodyOf(sink.message),
                 u"From\n  <Ann Example>\nEmail\n  <ann@example.org>\n\nReply \n  <"_qs +
                     (reply == Qt::Unchecked ? u"No, thanks"_qs : u"Yes, please"_qs) +
                     u">\n\nKind \n  <Suggestion>\n\n\nMessage\n\nIt works.\n.\nReally: 100%1 ünïcode"_qs);
        const QString thanks = msg(reply == Qt::Checked ? "RC_ThankReply" : "SC_EmptyString");
        QCOMPARE(platform.alerts, (QList<QPair<QString, QString>>{{msg("RC_Thanks"), thanks}}));
        QVERIFY(!report.window()->isVisible());
        QVERIFY(platform.logLines.join(u'\n').contains(u"250 2.0.0 queued as 42"_qs));
    }
    QCOMPARE(sink.connections, 3);
}

void TestReportMail::failureKeepsTheWindowOpen_data()
{
    QTest::addColumn<int>("mode");
    QTest::addColumn<QString>("security");
    QTest::addColumn<QString>("hintKey");
    const QString none = u"none"_qs, notSent = u"RC_NoMailSentHint"_qs;
    QTest::newRow("sender refused") << int(SmtpSink::RefuseSender) << none << notSent;
    QTest::newRow("closed mid-message") << int(SmtpSink::CloseInData) << none << notSent;
    QTest::newRow("never answers") << int(SmtpSink::Silent) << none << notSent;
    QTest::newRow("no server") << -1 << none << notSent;
    QTest::newRow("no STARTTLS offered") << int(SmtpSink::Accept) << u"starttls"_qs << notSent;
    QTest::newRow("no account") << int(SmtpSink::Accept) << QString() << u"RC_NoAccountHint"_qs;
    QTest::newRow("no password") << int(SmtpSink::Accept) << u"user"_qs << u"RC_KeyringHint"_qs;
}

void TestReportMail::failureKeepsTheWindowOpen()
{
    QFETCH(int, mode);
    QFETCH(QString, security);
    QFETCH(QString, hintKey);
    SmtpSink sink;
    sink.mode = SmtpSink::Mode(qMax(mode, 0));
    QVERIFY(sink.listen(QHostAddress::LocalHost));
    const quint16 port = sink.serverPort();
    if (mode < 0)
        sink.close();
    if (security == u"user"_qs)
        setAccount(port, u"none"_qs, u"nobody"_qs);
    else if (!security.isEmpty())
        setAccount(port, security);
    RecordingPlatform platform;
    ReportController report;
    report.mailer().setTimeout(std::chrono::milliseconds(1500));
    report.window()->show();
    fill(report, Qt::Checked);
    QSignalSpy finished(&report, &ReportController::sendFinished);
    report.doSendEmailReport();
    QVERIFY(finished.size() == 1 || finished.wait(10000));
    QCOMPARE(finished.first().first().toBool(), false);
    const QString hint = msg(hintKey.toLatin1().constData());
    QCOMPARE(platform.alerts, (QList<QPair<QString, QString>>{{msg("RC_NoMailSentProblem"), hint}}));
    QVERIFY(report.window()->isVisible());
    QVERIFY(report.sendButtonOL()->isEnabled());
    QCOMPARE(report.senderNameFieldOL()->text(), u"Ann Example"_qs);
    QVERIFY(sink.message.isEmpty());
    if (hintKey != u"RC_NoMailSentHint"_qs)
        QCOMPARE(sink.connections, 0);
}

void TestReportMail::stoppingASendTellsNothing()
{
    SmtpSink silent;
    silent.mode = SmtpSink::Silent;
    QVERIFY(silent.listen(QHostAddress::LocalHost));
    setAccount(silent.serverPort());
    RecordingPlatform platform;
    ReportController report;
    QSignalSpy finished(&report, &ReportController::sendFinished);
    report.doSendEmailReport();
    QTRY_COMPARE(silent.connections, 1);
    report.cancelSending();
    QVERIFY(finished.wait(5000)); // the send itself would wait a minute
    QVERIFY(platform.alerts.isEmpty());
    QVERIFY(report.sendButtonOL()->isEnabled());
}

void TestReportMail::accountDialogKeepsThePasswordOutOfTheSettings()
{
    RecordingPlatform platform;
    MailAccountDialog dialog;
    dialog.show();
    auto *server = dialog.findChild<QLineEdit *>(u"serverFieldOL"_qs);
    auto *security = dialog.findChild<QComboBox *>(u"securityListOL"_qs);
    dialog.findChild<QLineEdit *>(u"userFieldOL"_qs)->setText(u"ann"_qs);
    dialog.findChild<QLineEdit *>(u"fromFieldOL"_qs)->setText(u"ann@example.org"_qs);
    QTest::keyClicks(dialog.findChild<QLineEdit *>(u"passwordFieldOL"_qs), u"pw-4711"_qs);
    // Unencrypted only to this computer.
    server->setText(u"smtp.example.org"_qs);
    security->setCurrentIndex(2);
    dialog.accept();
    QCOMPARE(platform.alerts.size(), 1);
    QVERIFY(dialog.isVisible());
    security->setCurrentIndex(1);
    QCOMPARE(dialog.findChild<QSpinBox *>(u"portFieldOL"_qs)->value(), 465);
    dialog.accept();
    QTRY_VERIFY(!dialog.isVisible());
    const MailAccount account = MailAccount::load();
    QCOMPARE(account.server, u"smtp.example.org"_qs);
    QCOMPARE(account.security, MailAccount::Security::Tls);
    QCOMPARE(passwords.entries.value(account.passwordKey()), u"pw-4711"_qs);
    QFile file(QSettings().fileName());
    QVERIFY(file.open(QIODevice::ReadOnly));
    const QByteArray stored = file.readAll();
    QVERIFY(stored.contains("smtp.example.org"));
    QVERIFY(!stored.contains("pw-4711"));

    // Another server: the password moves with the account, the old entry goes.
    MailAccountDialog moved;
    moved.findChild<QLineEdit *>(u"serverFieldOL"_qs)->setText(u"mail.example.org"_qs);
    moved.show();
    moved.accept();
    QTRY_VERIFY(!moved.isVisible());
    QCOMPARE(passwords.entries, (QHash<QString, QString>{{u"smtp:ann@mail.example.org"_qs, u"pw-4711"_qs}}));
    // A keyring that fails: the settings stay those of the account whose password it holds.
    passwords.failWrites = true;
    MailAccountDialog failing;
    failing.findChild<QLineEdit *>(u"userFieldOL"_qs)->setText(u"bob"_qs);
    QTest::keyClicks(failing.findChild<QLineEdit *>(u"passwordFieldOL"_qs), u"pw-2"_qs);
    failing.show();
    platform.clear();
    failing.accept();
    QTRY_COMPARE(platform.alerts.size(), 1);
    QVERIFY(failing.isVisible());
    QCOMPARE(MailAccount::load().user, u"ann"_qs);
    QCOMPARE(MailAccount::load().server, u"mail.example.org"_qs);
    passwords.failWrites = false;

    // One plain address: no newline after it, no control character in it.
    for (const auto &[address, plain] : {std::pair{u"ann@example.org"_qs, true},
                                         {u"ann@example.org\n"_qs, false},
                                         {u"a\x01nn@example.org"_qs, false},
                                         {u"ann@exa\u0085mple.org"_qs, false},
                                         {u"ann@example\u009b.org"_qs, false},
                                         {u"ann\x7f@example.org"_qs, false}})
        QCOMPARE(MailAccount::isPlainAddress(address), plain);
}

void TestReportMail::desktopKeyringMissingFailsCleanly()
{
    // Tests have no Secret Service: the real keyring must say so instead of hanging or storing
    // the password somewhere else.
    MailPasswordStore::install(nullptr);
    QObject context;
    bool answered = false;
    std::optional<QString> password = u"x"_qs;
    MailPasswordStore::current().readPassword(u"smtp:ann@127.0.0.1"_qs, &context,
                                              [&](std::optional<QString> p, const QString &) {
                                                  answered = true;
                                                  password = p;
                                              });
    QTRY_VERIFY_WITH_TIMEOUT(answered, 20000);
    QVERIFY(!password);
}

QTEST_MAIN(TestReportMail)
#include "tst_reportmail.moc"
