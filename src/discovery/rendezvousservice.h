#pragma once

#include "socketaddress.h"

#include <QList>
#include <QString>

// A share that was found: its name, type and domain, and its IPv4 addresses once resolved
// (empty until then).
struct RendezvousService
{
    QString name;
    QString type;
    QString domain;
    QList<SocketAddress> addresses;
    // The announcement says "tls=1": the share lets in only approved devices, over TLS.
    bool isProtected = false;
};
