// Exchange benchmarks: whole downloads over loopback (record list built from a store, encoded,
// framed, sent, reassembled, decoded), the client's peak memory against the payload size, and a
// server answering 50 clients at once.
//
//   bench_exchange [PERSONS...]          all figures for 1000, 10000 and 100000 persons or the
//                                        sizes given (starts itself as a child for the clients)
//   bench_exchange --client PORT         one download, prints payload size and memory figures
//   bench_exchange --clients N PORT      N downloads at once, prints the time until all are done

#include "benchsupport.h"
#include "abaddressbook.h"
#include "qfexchangeclient.h"
#include "qfexchangeserver.h"
#include "recordlistbuilder.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QFile>
#include <QProcess>
#include <QTcpServer>
#include <QTcpSocket>
#include <QTemporaryDir>
#include <QTextStream>

#include <cstdio>
#include <malloc.h>

namespace {

QTextStream out(stdout);

// A store of n persons with the usual fields, written as vCard files.
void writeStore(const QString &dir, int n)
{
    for (int i = 0; i < n; ++i) {
        QFile file(QStringLiteral("%1/p%2.vcf").arg(dir).arg(i));
        file.open(QIODevice::WriteOnly);
        const QByteArray id = QByteArray::number(i);
        file.write("BEGIN:VCARD\r\nVERSION:3.0\r\nUID:p" + id + "\r\nN:Lastname" + id + ";Firstname" + id +
                   ";;;\r\nFN:Firstname" + id + " Lastname" + id + "\r\nORG:Company " + id +
                   " GmbH;Sales\r\nTITLE:Account manager\r\nEMAIL;TYPE=work:first.last" + id +
                   "@company.example\r\nEMAIL;TYPE=home:someone" + id +
                   "@mail.example\r\nTEL;TYPE=work:+43 1 234 56" + id + "\r\nTEL;TYPE=cell:+43 660 12 34" + id +
                   "\r\nADR;TYPE=work:;;Hauptstraße " + id + ";Graz;;8010;Austria\r\nBDAY:1980-02-1" +
                   QByteArray::number(i % 10) + "\r\nNOTE:met at the fair in spring\r\nEND:VCARD\r\n");
    }
}

struct Share
{
    explicit Share(const ABAddressBook *book)
    {
        server.setRecordProvider([this, book] {
            QElapsedTimer clock;
            clock.start();
            RecordList list = RecordListBuilder::build(book, [](const ABPerson *) { return true; });
            buildMs = clock.elapsed();
            return list;
        });
        server.setOwnerCardProvider([] { return OwnerCard{{1, QStringLiteral("Ann")}, {2, QStringLiteral("Lee")}}; });
        server.setConnectionLimits(1000, 1000); // all clients come from one address here
        // Round 0 is the first download after a change; later rounds reuse the encoded list.
        server.setRecordStamp([book] { return QByteArray::number(book->revision()); });
        QObject::connect(&listener, &QTcpServer::newConnection, &server, [this] {
            while (QTcpSocket *socket = listener.nextPendingConnection())
                server.connectionReceived(socket);
        });
        listener.listen(QHostAddress::LocalHost, 0);
    }
    QTcpServer listener;
    QFExchangeServer server;
    qint64 buildMs = 0;
};

// One download in this process; returns milliseconds and the number of records.
qint64 firstByteMs = 0;
qint64 downloadOnce(quint16 port, qsizetype *records, qint64 *payload)
{
    firstByteMs = -1;
    QFExchangeClient client;
    QEventLoop loop;
    QObject::connect(&client, &QFExchangeClient::finished, &loop, [&](const QFExchangeReply &reply) {
        *records = reply.records ? reply.records->size() : -1;
        loop.quit();
    });
    QObject::connect(&client, &QFExchangeClient::failed, &loop, [&] {
        *records = -1;
        loop.quit();
    });
    QElapsedTimer clock;
    QObject::connect(&client, &QFExchangeClient::activity, &loop, [&](qint64 received, qint64 expected) {
        *payload = expected;
        if (firstByteMs < 0 && received > 100)
            firstByteMs = clock.elapsed();
    });
    clock.start();
    client.loadServiceByAddress(QStringLiteral("127.0.0.1"), port);
    loop.exec();
    return clock.elapsed();
}

int runClient(quint16 port)
{
    QTcpSocket warmUp; // load the network code before measuring
    BenchSupport::resetPeak();
    const qint64 before = BenchSupport::statusKiB("VmRSS:");
    // Live heap, small blocks and mmapped ones (a large payload is one mmapped block).
    const auto liveHeap = [] {
        const struct mallinfo2 info = mallinfo2();
        return info.uordblks + info.hblkhd;
    };
    const size_t heapBefore = liveHeap();
    qsizetype records = 0;
    qint64 payload = 0;
    {
        QFExchangeClient client;
        QEventLoop loop;
        std::optional<QFExchangeReply> reply;
        QObject::connect(&client, &QFExchangeClient::finished, &loop, [&](const QFExchangeReply &r) {
            reply = r;
            loop.quit();
        });
        QObject::connect(&client, &QFExchangeClient::failed, &loop, &QEventLoop::quit);
        QObject::connect(&client, &QFExchangeClient::activity, &loop, [&](qint64, qint64 expected) { payload = expected; });
        client.loadServiceByAddress(QStringLiteral("127.0.0.1"), port);
        loop.exec();
        records = reply && reply->records ? reply->records->size() : -1;
        const qint64 held = qint64(liveHeap() - heapBefore);
        // Records stay encoded until read; reading each one once is what a viewer or a copy does.
        QElapsedTimer clock;
        clock.start();
        qsizetype persons = 0;
        for (qsizetype i = 0; i < records; ++i)
            persons += reply->records->at(i).typeId() == QMetaType::QVariantMap ? 1 : 0;
        const qint64 readMs = clock.elapsed();
        const qint64 peak = BenchSupport::statusKiB("VmHWM:");
        out << records << ' ' << payload << ' ' << (peak - before) * 1024 << ' ' << held << ' ' << readMs << ' '
            << persons << '\n';
    }
    return records > 0 ? 0 : 1;
}

int runClients(int count, quint16 port)
{
    std::vector<std::unique_ptr<QFExchangeClient>> clients;
    int done = 0, failed = 0;
    QEventLoop loop;
    QElapsedTimer clock;
    clock.start();
    for (int i = 0; i < count; ++i) {
        clients.push_back(std::make_unique<QFExchangeClient>());
        QObject::connect(clients.back().get(), &QFExchangeClient::finished, &loop, [&](const QFExchangeReply &reply) {
            failed += reply.records && reply.records->size() == 1000 ? 0 : 1;
            if (++done == count)
                loop.quit();
        });
        QObject::connect(clients.back().get(), &QFExchangeClient::failed, &loop, [&] {
            ++failed;
            if (++done == count)
                loop.quit();
        });
        clients.back()->loadServiceByAddress(QStringLiteral("127.0.0.1"), port);
    }
    loop.exec();
    out << clock.elapsed() << ' ' << failed << '\n';
    return failed == 0 ? 0 : 1;
}

QByteArray runChild(const QStringList &args)
{
    QProcess child;
    child.start(QCoreApplication::applicationFilePath(), args);
    child.waitForStarted();
    QEventLoop loop;
    QObject::connect(&child, &QProcess::finished, &loop, &QEventLoop::quit);
    loop.exec(); // the server runs on this loop meanwhile
    return child.readAllStandardOutput().trimmed();
}

} // namespace

int main(int argc, char *argv[])
{
    QCoreApplication app(argc, argv);
    const QStringList args = app.arguments();
    if (args.size() == 3 && args[1] == QLatin1String("--client"))
        return runClient(quint16(args[2].toUInt()));
    if (args.size() == 4 && args[1] == QLatin1String("--clients"))
        return runClients(args[2].toInt(), quint16(args[3].toUInt()));

    QList<int> sizes{1000, 10000, 100000};
    if (args.size() > 1) {
        sizes.clear();
        for (const QString &arg : args.mid(1))
            sizes.append(arg.toInt());
    }
    for (const int n : std::as_const(sizes)) {
        QTemporaryDir dir;
        writeStore(dir.path(), n);
        QElapsedTimer clock;
        clock.start();
        ABAddressBook book(dir.path());
        const qint64 openMs = clock.elapsed();
        clock.restart();
        const RecordList list = RecordListBuilder::build(&book, [](const ABPerson *) { return true; });
        const qint64 buildMs = clock.elapsed();
        Share share(&book);
        out << n << " persons: store opened in " << openMs << " ms, record list built in " << buildMs << " ms\n";
        out.flush();

        qint64 best = -1;
        qsizetype records = 0;
        qint64 payload = 0;
        for (int round = 0; round < 3; ++round) {
            const qint64 ms = downloadOnce(share.listener.serverPort(), &records, &payload);
            out << "    round " << round << ": " << ms << " ms (record list built in " << share.buildMs
                << " ms, first bytes of \"AB\" after " << firstByteMs << " ms)\n";
            best = best < 0 ? ms : qMin(best, ms);
        }
        out << "  whole download, best of 3: " << best << " ms (" << records << " records, frame " << payload
            << " bytes, " << (n ? payload / n : 0) << " bytes per person)\n";
        out.flush();

        const QList<QByteArray> memory = runChild({QStringLiteral("--client"), QString::number(share.listener.serverPort())}).split(' ');
        if (memory.size() == 6) {
            const double frame = memory[1].toDouble();
            out << "  client in its own process: peak " << memory[2].toLongLong() / 1024 << " KiB above start ("
                << QString::number(memory[2].toDouble() / frame, 'f', 2) << "x the frame), holding "
                << memory[3].toLongLong() / 1024 << " KiB of live heap for the records ("
                << QString::number(memory[3].toDouble() / frame, 'f', 2) << "x); reading each of its "
                << memory[5].toLongLong() << " persons once afterwards: " << memory[4].toLongLong() << " ms\n";
        }
        out.flush();

        if (n == 1000) {
            const QList<QByteArray> fifty =
                runChild({QStringLiteral("--clients"), QStringLiteral("50"), QString::number(share.listener.serverPort())}).split(' ');
            out << "  50 clients x 1000 persons at once: all done in " << fifty.value(0).constData() << " ms, "
                << fifty.value(1).constData() << " failed\n";
            out.flush();
        }
    }
    return 0;
}
