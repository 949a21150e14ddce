// The desktop's event loop while it opens a large store and while it shares it: a 10 ms timer
// notes its worst lateness (StallProbe). The store (PERSONS, default 100000, all in group "All")
// is made by make_store.py; the window reads it behind itself; then sharing is switched on and
// zorbix-cli downloads it ROUNDS times (PARALLEL at once), with one card changed between rounds so
// that each round's first answer builds the list again.
//
//   bench_desktopstall ZORBIX_CLI [PERSONS] [ROUNDS] [PARALLEL]
#include "absharingpropcontroller.h"
#include "dnssdbackend.h"
#include "inprocessdnssd.h"
#include "shareservice.h"
#include "stallprobe.h"
#include "trustedpeers.h"
#include "vcardsharingcontroller.h"
#include "viewerwindow.h"

#include <QApplication>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QFile>
#include <QProcess>
#include <QPushButton>
#include <QTemporaryDir>
#include <QTimer>

#include <cstdio>

namespace {
void waitFor(int ms)
{
    QEventLoop loop;
    QTimer::singleShot(ms, &loop, &QEventLoop::quit);
    loop.exec();
}

// Runs count downloads, parallel at once; returns how many succeeded.
int download(const QString &cli, quint16 port, int count, int parallel)
{
    int started = 0;
    int running = 0;
    int succeeded = 0;
    QEventLoop loop;
    std::function<void()> next = [&] {
        while (running < parallel && started < count) {
            ++started;
            ++running;
            auto *fetch = new QProcess(&loop);
            fetch->setStandardOutputFile(QProcess::nullDevice());
            QObject::connect(fetch, &QProcess::finished, &loop, [&, fetch](int code, QProcess::ExitStatus status) {
                succeeded += (status == QProcess::NormalExit && code == 0) ? 1 : 0;
                --running;
                fetch->deleteLater();
                if (running == 0 && started == count)
                    loop.quit();
                else
                    next();
            });
            fetch->start(cli, {QStringLiteral("fetch"), QStringLiteral("127.0.0.1:%1").arg(port)});
        }
    };
    next();
    loop.exec();
    return succeeded;
}
} // namespace

int main(int argc, char *argv[])
{
    qputenv("QT_QPA_PLATFORM", "offscreen");
    QTemporaryDir dir;
    qputenv("XDG_CONFIG_HOME", dir.filePath(QStringLiteral("config")).toUtf8());
    qputenv("XDG_DATA_HOME", dir.filePath(QStringLiteral("data")).toUtf8());
    QApplication app(argc, argv);
    QCoreApplication::setOrganizationName(QStringLiteral("quenfold"));
    QCoreApplication::setApplicationName(QStringLiteral("zorbix"));
    const QStringList args = app.arguments();
    if (args.size() < 2) {
        std::fprintf(stderr, "usage: bench_desktopstall ZORBIX_CLI [PERSONS] [ROUNDS] [PARALLEL]\n");
        return 2;
    }
    const QString cli = args.at(1);
    const int persons = args.value(2, QStringLiteral("100000")).toInt();
    const int rounds = args.value(3, QStringLiteral("3")).toInt();
    const int parallel = args.value(4, QStringLiteral("4")).toInt();
    const QString book = dir.filePath(QStringLiteral("book"));
    if (QProcess::execute(QStringLiteral("python3"), {QStringLiteral(ZORBIX_BENCH_DIR "/make_store.py"), book,
                                                      QString::number(persons)}) != 0)
        return 1;
    qputenv("ZORBIX_ADDRESSBOOK", book.toUtf8());
    InProcessDnsSd dnssd;
    DnsSdBackend::install(&dnssd);
    TrustedPeers::setSharingAccess(TrustedPeers::Access::Everyone);

    StallProbe probe;
    QElapsedTimer clock;
    clock.start();
    vCardSharingController controller(vCardSharingController::StoreLoading::Behind);
    controller.window()->show();
    QEventLoop arrival;
    QObject::connect(&controller, &vCardSharingController::addressBookReady, &arrival, &QEventLoop::quit);
    if (!controller.isAddressBookReady())
        arrival.exec();
    const qint64 readyMs = clock.elapsed();
    waitFor(500);
    std::printf("opening %d persons: ready after %lld ms; worst event-loop stall %lld ms (%s)\n", persons,
                static_cast<long long>(readyMs), static_cast<long long>(probe.worstMs()), qPrintable(probe.report()));

    controller.ABSharingControllerRef()->doShareAll();
    probe.reset();
    controller.toggleSharingButton()->click();
    const quint16 port = controller.shareService().port();
    if (port == 0) {
        std::fprintf(stderr, "sharing did not start\n");
        return 1;
    }
    double worst = probe.worstMs();
    for (int round = 0; round < rounds; ++round) {
        // Another program changes a card: the next answer reads the store again.
        QFile card(book + QStringLiteral("/p1.vcf"));
        if (round > 0 && card.open(QIODevice::ReadWrite)) {
            QByteArray text = card.readAll();
            text.replace("NOTE:", "NOTE:x");
            card.resize(0);
            card.write(text);
            card.close();
        }
        probe.reset();
        QElapsedTimer roundClock;
        roundClock.start();
        const int ok = download(cli, port, parallel * 2, parallel);
        // The probe's report adds the most CPU time the loop spent in one stall: on a loaded
        // machine the stall also counts the time the thread waited for a core.
        std::printf("sharing round %d: %d of %d downloads in %lld ms; worst event-loop stall %lld ms (%s)\n",
                    round + 1, ok, parallel * 2, static_cast<long long>(roundClock.elapsed()),
                    static_cast<long long>(probe.worstMs()), qPrintable(probe.report()));
        worst = std::max(worst, probe.worstMs());
    }
    std::printf("sharing %d persons: worst event-loop stall %lld ms\n", persons, static_cast<long long>(worst));
    return 0;
}
