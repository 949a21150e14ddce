// Does the browse window stay responsive while it downloads a large share, and how soon after a
// click does it show a downloaded share? A share of synthetic persons runs in a second process
// (this program with --serve N), as it would on another computer; the window downloads it over
// loopback. While 100,000 persons arrive, a 1 ms timer on the window's event loop records the
// longest gap between its ticks (aim: under 50 ms). For 10,000 persons, the time from the click
// to the labels naming the share with its record count (aim: under 200 ms).
// Usage: bench_browser [persons] [clickPersons] [runs]
#include "benchsupport.h"
#include "abglobals.h"
#include "inprocessdnssd.h"
#include "qfexchangeclient.h"
#include "qfexchangeserver.h"
#include "qfrendezvousclient.h"
#include "staticservercontroller.h"
#include "vcardbrowsercontroller.h"

#include <QApplication>
#include <QDateTime>
#include <QElapsedTimer>
#include <QLabel>
#include <QProcess>
#include <QTableView>
#include <QTcpServer>
#include <QTcpSocket>
#include <QTimer>

#include <algorithm>
#include <cstdio>

namespace {

// The sharing side: answers every download with the same persons and prints its port.
int serve(int argc, char **argv, int persons)
{
    QCoreApplication app(argc, argv);
    const RecordList list = BenchSupport::syntheticPersons(persons, true);
    QFExchangeServer server;
    server.setRecordProvider([&list] { return list; });
    server.setOwnerCardProvider([] { return OwnerCard{{1, QStringLiteral("Bench")}, {2, QStringLiteral("Share")}}; });
    QTcpServer listener;
    QObject::connect(&listener, &QTcpServer::newConnection, &server, [&] {
        while (QTcpSocket *socket = listener.nextPendingConnection())
            server.connectionReceived(socket);
    });
    if (!listener.listen(QHostAddress::LocalHost, 0))
        return 1;
    std::printf("%u\n", listener.serverPort());
    std::fflush(stdout);
    return app.exec();
}

struct Share
{
    QProcess process;
    quint16 port = 0;

    bool start(const QString &program, int persons)
    {
        process.start(program, {QStringLiteral("--serve"), QString::number(persons)});
        if (!process.waitForReadyRead(120000))
            return false;
        port = quint16(process.readLine().trimmed().toUInt());
        return port != 0;
    }
    ~Share()
    {
        process.kill();
        process.waitForFinished();
    }
};

double median(QList<double> values)
{
    std::sort(values.begin(), values.end());
    return values.isEmpty() ? 0 : values.at(values.size() / 2);
}

} // namespace

int main(int argc, char **argv)
{
    if (argc == 3 && qstrcmp(argv[1], "--serve") == 0)
        return serve(argc, argv, QByteArray(argv[2]).toInt());
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    const int persons = argc > 1 ? QByteArray(argv[1]).toInt() : 100000;
    const int clickPersons = argc > 2 ? QByteArray(argv[2]).toInt() : 10000;
    const int runs = argc > 3 ? QByteArray(argv[3]).toInt() : 5;

    Share large, small;
    if (!large.start(QCoreApplication::applicationFilePath(), persons) ||
        !small.start(QCoreApplication::applicationFilePath(), clickPersons)) {
        std::fprintf(stderr, "bench_browser: the share process did not start\n");
        return 1;
    }
    InProcessDnsSd dnssd;
    QFRendezvousClient rendezvous(dnssd);
    StaticServerController statics;
    vCardBrowserController browser(&rendezvous, &statics);
    for (const auto &[name, port] : {std::pair{QStringLiteral("Large"), large.port}, std::pair{QStringLiteral("Small"), small.port}}) {
        const DnsSdService service{name, QStringLiteral("_zorbix._tcp"), QStringLiteral("local")};
        dnssd.announce(service, false);
        dnssd.setAddresses(service, {SocketAddress(QHostAddress::LocalHost, port)});
    }
    browser.window()->show();
    QCoreApplication::processEvents(); // the resolutions arrive
    auto *table = browser.window()->findChild<QTableView *>(QStringLiteral("zorbixServerList"));
    auto *label = browser.window()->findChild<QLabel *>(QStringLiteral("loadedShareName1OL"));

    // Ticks of the window's event loop: the longest gap between two is the longest stall.
    QElapsedTimer sinceTick;
    qint64 longestStall = 0;
    QTimer ticker;
    ticker.setTimerType(Qt::PreciseTimer);
    ticker.setInterval(1);
    QObject::connect(&ticker, &QTimer::timeout, [&] {
        longestStall = std::max(longestStall, sinceTick.nsecsElapsed());
        sinceTick.restart();
    });

    QString breakdown;
    // One download: click, then wait for the labels. Returns the click-to-labels time in ms.
    const auto download = [&](const QString &name, qsizetype expected) -> double {
        bool ended = false, completed = false;
        QElapsedTimer clock;
        const QString before = label->text();
        const auto connection = QObject::connect(&browser, &vCardBrowserController::downloadEnded, [&](bool ok) {
            ended = true;
            completed = ok;
        });
        const int row = int(browser.filteredServices()->indexOf(name));
        table->selectRow(row);
        // Where the time goes: the connection, the first and the last piece of the record list.
        double firstPiece = 0, lastPiece = 0;
        const auto pieces = QObject::connect(&browser.exchangeClient(), &QFExchangeClient::activity, [&](qint64, qint64) {
            lastPiece = double(clock.nsecsElapsed()) / 1e6;
            if (firstPiece == 0)
                firstPiece = lastPiece;
        });
        clock.start();
        browser.serviceClicked();
        while (!ended)
            QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents);
        const double elapsed = double(clock.nsecsElapsed()) / 1e6;
        QObject::disconnect(connection);
        QObject::disconnect(pieces);
        breakdown = QStringLiteral("first piece of the list at %1 ms, last at %2 ms, labels at %3 ms")
                        .arg(firstPiece, 0, 'f', 0).arg(lastPiece, 0, 'f', 0).arg(elapsed, 0, 'f', 0);
        if (!completed || !browser.getRemoteAB() || browser.getRemoteAB()->size() != expected || label->text() == before) {
            std::fprintf(stderr, "bench_browser: the download of %s did not complete (%d, %lld records)\n", qPrintable(name), int(completed), browser.getRemoteAB() ? (long long)browser.getRemoteAB()->size() : -1LL);
            std::exit(1);
        }
        label->setText(QString());
        return elapsed;
    };

    download(QStringLiteral("Small"), clickPersons); // warm-up
    // What the machine itself costs: the longest gap while the window only waits.
    longestStall = 0;
    sinceTick.start();
    ticker.start();
    QElapsedTimer idle;
    idle.start();
    while (idle.elapsed() < 2000)
        QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents);
    ticker.stop();
    std::printf("longest event-loop stall while idle for 2 s: %.1f ms\n", double(longestStall) / 1e6);
    QList<double> stalls, largeTimes, clickTimes;
    for (int run = 0; run < runs; ++run) {
        longestStall = 0;
        sinceTick.start();
        ticker.start();
        largeTimes.append(download(QStringLiteral("Large"), persons));
        ticker.stop();
        stalls.append(double(longestStall) / 1e6);
        std::printf("run %d: %.0f ms, longest stall %.1f ms\n", run + 1, largeTimes.last(), stalls.last());
        clickTimes.append(download(QStringLiteral("Small"), clickPersons));
        std::printf("  click to labels, %d persons: %s\n", clickPersons, qPrintable(breakdown));
    }
    std::printf("download of %d persons: %.0f ms (median of %d)\n", persons, median(largeTimes), runs);
    std::printf("longest event-loop stall during it: median %.1f ms, worst %.1f ms (aim: < 50 ms)\n", median(stalls),
                *std::max_element(stalls.begin(), stalls.end()));
    std::printf("click to labels, %d persons: median %.1f ms, worst %.1f ms (aim: < 200 ms)\n", clickPersons,
                median(clickTimes), *std::max_element(clickTimes.begin(), clickTimes.end()));
    browser.window()->hide(); // leaves the user's settings alone
    return 0;
}
