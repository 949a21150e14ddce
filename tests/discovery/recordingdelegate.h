#pragma once

#include "qfrendezvousclient.h"

#include <QStringList>

#include <functional>

// Remembers the names it was shown at each notification.
class RecordingDelegate : public QFRendezvousClientProtocol
{
public:
    void doHandleRendezvousServicesChange(const QList<RendezvousService> &services) override
    {
        QStringList names;
        for (const RendezvousService &service : services)
            names.append(service.name);
        calls.append(names);
        if (onCall)
            onCall();
    }
    QList<QStringList> calls;
    std::function<void()> onCall;
};
