#pragma once

#include "rendezvousservice.h"

#include <QList>

// What a delegate of QFRendezvousClient implements. It is told after every batch of changes, on
// the main thread, with the client's live service list. A delegate that is destroyed leaves every
// client it is registered with, so it is never told anything afterwards.
class QFRendezvousClientProtocol
{
public:
    virtual ~QFRendezvousClientProtocol();
    virtual void doHandleRendezvousServicesChange(const QList<RendezvousService> &services) = 0;
};
