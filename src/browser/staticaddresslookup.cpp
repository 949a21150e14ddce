#include "staticaddresslookup.h"

#include "staticservercontroller.h"
#include "vcardcommon.h"

#include <QHostInfo>
#include <QPointer>

struct StaticAddressLookup::Private
{
    StaticAddressLookup *q;
    QString name;
    // The entries of that name still to try: host and port.
    QList<QPair<QString, quint16>> candidates;
    int lookupId = -1;   // the host look-up under way
    int generation = 0;  // counts starts and aborts: a queued first step of an older start is stale
    bool running = false;

    void next();
    void finish(const std::optional<SocketAddress> &address);
};

void StaticAddressLookup::Private::next()
{
    if (candidates.isEmpty()) {
        vCardCommon::alertKeys("BR_DNSError", "BR_DNSErrorHint");
        finish(std::nullopt);
        return;
    }
    const auto [host, port] = candidates.takeFirst();
    lookupId = QHostInfo::lookupHost(host, q, [this, port](const QHostInfo &info) {
        // An abandoned look-up (Esc, or a click on another server) may still answer, for instance
        // from the host cache: only the current one counts.
        if (info.lookupId() != lookupId)
            return;
        lookupId = -1;
        if (info.error() == QHostInfo::NoError) {
            // The exchange connects over IPv4.
            for (const QHostAddress &address : info.addresses()) {
                if (address.protocol() == QAbstractSocket::IPv4Protocol) {
                    finish(SocketAddress(address, port));
                    return;
                }
            }
        }
        next();
    });
}

void StaticAddressLookup::Private::finish(const std::optional<SocketAddress> &address)
{
    candidates.clear();
    running = false;
    emit q->done(name, address);
}

StaticAddressLookup::StaticAddressLookup(QObject *parent) : QObject(parent), d(std::make_unique<Private>())
{
    d->q = this;
}

StaticAddressLookup::~StaticAddressLookup()
{
    abort();
}

void StaticAddressLookup::start(const StaticServerController &controller, const QString &name)
{
    abort();
    d->name = name;
    for (const QVariant &item : controller.sites()) {
        const QVariantMap entry = item.toMap();
        if (entry.value(StaticServerController::kServerName).toString() != name)
            continue;
        const QString host = entry.value(StaticServerController::kServerIP).toString().trimmed();
        if (!host.isEmpty())
            d->candidates.append(
                {host, StaticServerController::portFromText(entry.value(StaticServerController::kServerPort).toString())});
    }
    // Always answer from the event loop, also when there is nothing to look up.
    d->running = true;
    QMetaObject::invokeMethod(this, [this, generation = d->generation] {
        if (generation == d->generation)
            d->next();
    }, Qt::QueuedConnection);
}

void StaticAddressLookup::abort()
{
    if (d->lookupId >= 0)
        QHostInfo::abortHostLookup(d->lookupId);
    d->lookupId = -1;
    d->candidates.clear();
    d->running = false;
    ++d->generation;
}

bool StaticAddressLookup::isRunning() const
{
    return d->running;
}
