#include "stallprobe.h"

#include <QElapsedTimer>
#include <QTimer>

#include <algorithm>

struct StallProbe::Private
{
    QTimer timer;
    QElapsedTimer sinceLast;
    qint64 worst = 0;
};

StallProbe::StallProbe(QObject *parent) : QObject(parent), d(std::make_unique<Private>())
{
    d->timer.setTimerType(Qt::PreciseTimer);
    d->timer.setInterval(kIntervalMs);
    connect(&d->timer, &QTimer::timeout, this, [this] {
        d->worst = std::max(d->worst, d->sinceLast.restart() - kIntervalMs);
    });
    d->sinceLast.start();
    d->timer.start();
}

StallProbe::~StallProbe() = default;

qint64 StallProbe::worstMs() const
{
    // A stall still going on counts too.
    return std::max(d->worst, d->sinceLast.elapsed() - kIntervalMs);
}

void StallProbe::reset()
{
    d->worst = 0;
    d->sinceLast.restart();
}
