#pragma once

#include "rendezvousservice.h"

#include <QList>

// What a delegate of QFRendezvousClient implements. It is told after every batch of changes, on
// the main thread, with the client's live service list.
class QFRendezvousClientProtocol
{
public:
    virtual ~QFRendezvousClientProtocol() = default;
    virtual void doHandleRendezvousServicesChange(const QList<RendezvousService> &services) = 0;
};
