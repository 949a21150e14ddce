#pragma once

#include <QMetaType>
#include <QString>

// The identity of an announced service, as the responder reports it.
struct DnsSdService
{
    QString name;
    QString type;
    QString domain;

    friend bool operator==(const DnsSdService &a, const DnsSdService &b)
    {
        return a.name == b.name && a.type == b.type && a.domain == b.domain;
    }
};

Q_DECLARE_METATYPE(DnsSdService)
