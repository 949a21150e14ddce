#pragma once

// zorbix-cli as a user runs it, for tests that define ZORBIX_CLI; and the card files it reads.
#include <QDeadlineTimer>
#include <QtTest>

namespace CliTools {

// A vCard 3.0 file with these lines between its first and last.
inline bool writeCard(const QString &path, const QByteArray &lines)
{
    QFile file(path);
    return file.open(QIODevice::WriteOnly) && file.write("BEGIN:VCARD\r\nVERSION:3.0\r\n" + lines + "END:VCARD\r\n") > 0;
}

#ifdef ZORBIX_CLI
// Runs a program to its end, spinning the event loop (some peers live in this process): its exit
// code, -1 when it crashed or did not end.
inline int run(const QStringList &args, QByteArray *out = nullptr, QByteArray *err = nullptr,
               const QString &program = QStringLiteral(ZORBIX_CLI))
{
    QProcess process;
    process.start(program, args);
    if (!process.waitForStarted(5000))
        return -1;
    QDeadlineTimer deadline(60000);
    while (process.state() != QProcess::NotRunning && !deadline.hasExpired())
        QTest::qWait(10);
    if (out)
        *out = process.readAllStandardOutput();
    if (err)
        *err = process.readAllStandardError();
    return process.exitStatus() == QProcess::NormalExit && !deadline.hasExpired() ? process.exitCode() : -1;
}

// Starts `zorbix-cli serve` and waits until its output holds `until`: the port it serves on, empty
// when it did not say.
inline QString startServe(QProcess &serve, const QStringList &args, const QByteArray &until = "\n",
                          QByteArray *output = nullptr)
{
    serve.start(QStringLiteral(ZORBIX_CLI), QStringList{QStringLiteral("serve")} + args);
    QByteArray printed;
    QDeadlineTimer deadline(20000);
    while (serve.waitForStarted(5000) && !printed.contains(until) && !deadline.hasExpired()) {
        QTest::qWait(10);
        printed += serve.readAllStandardOutput();
    }
    if (output)
        *output = printed;
    return QRegularExpression(QStringLiteral("on port (\\d+)")).match(QString::fromUtf8(printed)).captured(1);
}
#endif

} // namespace CliTools
