#include "stallprobe.h"

#include <QElapsedTimer>
#include <QTimer>

#include <ctime>

namespace {
// CPU time of the calling thread: tells a loop that was busy from one that waited for a core.
qint64 threadCpuNs()
{
    timespec t {};
    ::clock_gettime(CLOCK_THREAD_CPUTIME_ID, &t);
    return qint64(t.tv_sec) * 1000000000 + t.tv_nsec;
}
} // namespace

struct StallProbe::Private
{
    QTimer timer;
    QElapsedTimer clock;
    qint64 lastNs = 0;
    qint64 worstNs = 0;
    qint64 lastCpuNs = 0;
    qint64 worstBusyNs = 0; // the loop's own CPU time within one gap
    qint64 ticks = 0;
    int intervalMs = 0;
};

StallProbe::StallProbe(int intervalMs, QObject *parent) : QObject(parent), d(std::make_unique<Private>())
{
    d->intervalMs = qMax(1, intervalMs);
    d->timer.setTimerType(Qt::PreciseTimer);
    d->timer.setInterval(d->intervalMs);
    d->clock.start();
    connect(&d->timer, &QTimer::timeout, this, [this] {
        const qint64 now = d->clock.nsecsElapsed();
        const qint64 cpu = threadCpuNs();
        // Counted from the first tick: the time before the loop runs is not a stall.
        if (d->ticks > 0) {
            d->worstNs = qMax(d->worstNs, now - d->lastNs - qint64(d->intervalMs) * 1000000);
            d->worstBusyNs = qMax(d->worstBusyNs, cpu - d->lastCpuNs);
        }
        d->lastNs = now;
        d->lastCpuNs = cpu;
        ++d->ticks;
    });
    d->timer.start();
}

StallProbe::~StallProbe() = default;

double StallProbe::worstMs() const
{
    const qint64 current = d->ticks > 0 ? d->clock.nsecsElapsed() - d->lastNs - qint64(d->intervalMs) * 1000000 : 0;
    return double(qMax(d->worstNs, current)) / 1e6;
}

void StallProbe::reset()
{
    d->worstNs = 0;
    d->worstBusyNs = 0;
}

qint64 StallProbe::ticks() const
{
    return d->ticks;
}

QString StallProbe::report() const
{
    return QStringLiteral("stall probe: longest stall %1 ms in %2 ticks of %3 ms; longest busy %4 ms")
        .arg(worstMs(), 0, 'f', 1)
        .arg(d->ticks)
        .arg(d->intervalMs)
        .arg(double(d->worstBusyNs) / 1e6, 0, 'f', 1);
}
