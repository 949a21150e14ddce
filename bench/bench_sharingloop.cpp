// Does the sharing side keep answering its event loop while many clients download at once?
// 50 clients fetch 1,000 persons each over loopback from a switched-on share; one more client
// asks for the records and then reads nothing. The clients run in a second thread, the share in
// the main thread, where a 5 ms timer records the longest gap between its ticks. The clients run
// in a second process, as they would on other computers.
// Usage: bench_sharingloop [clients] [persons]
#include "benchsupport.h"
#include "abglobals.h"
#include "exchangearchive.h"
#include "inprocessdnssd.h"
#include "qfconnectionpool.h"
#include "qfexchangeclient.h"
#include "qfexchangeserver.h"
#include "shareservice.h"
#include "vcardcommon.h"

#include <QCoreApplication>
#include <QDateTime>
#include <QElapsedTimer>
#include <QTcpSocket>
#include <QProcess>
#include <QTimer>

#include <cstdio>

namespace {

// The downloading side, in its own process.
class Clients : public QObject
{
public:
    Clients(quint16 port, int count) : m_port(port), m_count(count) {}

    void start()
    {
        m_timer.start();
        // One client asks for everything and never reads a byte of the answer.
        m_stalled = new QTcpSocket(this);
        m_stalled->setReadBufferSize(1);
        connect(m_stalled, &QTcpSocket::connected, this, [this] {
            for (const char *type : {"keys", "sendAB"}) {
                const auto payload = ExchangeArchive::encode(QVariantMap{{QStringLiteral("type"), QString::fromLatin1(type)},
                                                                         {QStringLiteral("Keys1"), 1}});
                m_stalled->write(QFConnectionPool::packData(*payload, m_stalled));
            }
        });
        m_stalled->connectToHost(QHostAddress::LocalHost, m_port);

        for (int i = 0; i < m_count; ++i) {
            auto *client = new QFExchangeClient(this);
            connect(client, &QFExchangeClient::finished, this, [this](const QFExchangeReply &reply) {
                m_records += reply.records ? reply.records->size() : 0;
                done();
            });
            connect(client, &QFExchangeClient::failed, this, [this](QFExchangeClient::Failure) {
                ++m_failed;
                done();
            });
            client->loadServiceByAddress(QStringLiteral("127.0.0.1"), m_port);
        }
    }

    qint64 elapsed = 0;
    int m_finished = 0;
    int m_failed = 0;
    qint64 m_records = 0;

private:
    void done()
    {
        if (++m_finished == m_count) {
            elapsed = m_timer.elapsed();
            QCoreApplication::quit();
        }
    }

    quint16 m_port;
    int m_count;
    QTcpSocket *m_stalled = nullptr;
    QElapsedTimer m_timer;
};

} // namespace

int runClients(quint16 port, int count)
{
    Clients clients(port, count);
    QTimer::singleShot(0, &clients, [&clients] { clients.start(); });
    QTimer::singleShot(120000, [] { QCoreApplication::exit(2); });
    const int rc = QCoreApplication::exec();
    std::printf("finished: %d (failed %d), records received: %lld\n", clients.m_finished, clients.m_failed,
                static_cast<long long>(clients.m_records));
    std::printf("all downloads done in %lld ms\n", static_cast<long long>(clients.elapsed));
    return rc == 0 && clients.m_failed == 0 ? 0 : 1;
}

int main(int argc, char *argv[])
{
    QCoreApplication app(argc, argv);
    if (argc == 4 && QByteArray(argv[1]) == "--clients")
        return runClients(quint16(QByteArray(argv[2]).toInt()), QByteArray(argv[3]).toInt());
    const int clientCount = argc > 1 ? QByteArray(argv[1]).toInt() : 50;
    const int personCount = argc > 2 ? QByteArray(argv[2]).toInt() : 1000;

    InProcessDnsSd dnssd;
    ShareService service(dnssd);
    int served = 0;
    service.setRecordProvider([&] { ++served; return BenchSupport::syntheticPersons(personCount, false); });
    service.setOwnerCardProvider([] { return OwnerCard{{1, QStringLiteral("Bench")}}; });
    service.toggleSharing(vCardCommon::getLocMsg(QStringLiteral("SC_ButtonStart")), QStringLiteral("Bench"));

    // The main loop's heartbeat.
    QElapsedTimer beat;
    qint64 last = 0, worst = 0;
    int ticks = 0;
    QTimer heartbeat;
    heartbeat.setTimerType(Qt::PreciseTimer);
    QObject::connect(&heartbeat, &QTimer::timeout, [&] {
        const qint64 now = beat.elapsed();
        worst = std::max(worst, now - last);
        last = now;
        ++ticks;
    });
    beat.start();
    heartbeat.start(5);

    QProcess clients;
    clients.setProcessChannelMode(QProcess::ForwardedOutputChannel);
    QObject::connect(&clients, &QProcess::finished, &app, &QCoreApplication::quit);
    clients.start(QCoreApplication::applicationFilePath(),
                  {QStringLiteral("--clients"), QString::number(service.port()), QString::number(clientCount)});
    app.exec();

    std::printf("clients: %d downloading %d persons each, plus 1 that reads nothing\n", clientCount, personCount);
    std::printf("answers built: %d\n", served);
    std::printf("main loop: %d ticks of 5 ms, longest gap %lld ms\n", ticks, static_cast<long long>(worst));
    std::printf("connections still open on the share: %d\n", service.server().openConnectionCount());
    return clients.exitCode();
}
