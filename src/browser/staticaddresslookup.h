#pragma once

#include "socketaddress.h"

#include <QObject>
#include <QString>

#include <memory>
#include <optional>

class StaticServerController;

// Turns the name of a hand-entered server into an address to connect to, like
// StaticServerController::getAddressForName (the entries of that name in order, the first whose
// host resolves to IPv4, the port as the list reads it), but without blocking the window: each
// host is looked up in the background. When none resolves, the user hears about it once
// ("BR_DNSError") and done() carries nothing. abort() ends a look-up without a signal.
class StaticAddressLookup : public QObject
{
    Q_OBJECT

public:
    explicit StaticAddressLookup(QObject *parent = nullptr);
    ~StaticAddressLookup() override;

    // Starts looking up name among the servers of controller; a look-up still running is abandoned.
    void start(const StaticServerController &controller, const QString &name);
    void abort();
    bool isRunning() const;

signals:
    void done(const QString &name, const std::optional<SocketAddress> &address);

private:
    struct Private;
    std::unique_ptr<Private> d;
};
