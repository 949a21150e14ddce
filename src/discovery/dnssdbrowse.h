#pragma once

#include "dnssdservice.h"
#include "socketaddress.h"

#include <QList>
#include <QObject>

// A continuing search for one service type in one domain. Reports arrive in batches: every report
// but the last of a batch carries moreComing = true.
class DnsSdBrowse : public QObject
{
    Q_OBJECT

public:
    using QObject::QObject;

    virtual void start() = 0;
    // Looks up the IPv4 addresses of a service that was found; the answer is serviceResolved.
    virtual void resolve(const DnsSdService &service) = 0;
    // Whether the responder can be reached at the moment.
    virtual bool isAvailable() const = 0;

signals:
    void serviceFound(const DnsSdService &service, bool moreComing);
    void serviceRemoved(const DnsSdService &service, bool moreComing);
    // The service's TXT strings; comes before its serviceResolved.
    void serviceTextResolved(const DnsSdService &service, const QList<QByteArray> &textRecords);
    void serviceResolved(const DnsSdService &service, const QList<SocketAddress> &addresses);
    void availabilityChanged(bool available);
};
