#include "netservicepublisher.h"

#include "dnssdbackend.h"
#include "dnssdpublication.h"

NetServicePublisher::NetServicePublisher(QObject *parent)
    : NetServicePublisher(DnsSdBackend::current(), parent)
{
}

NetServicePublisher::NetServicePublisher(DnsSdBackend &backend, QObject *parent)
    : QObject(parent), m_backend(backend)
{
}

NetServicePublisher::~NetServicePublisher()
{
    withdraw();
}

const QString &NetServicePublisher::serviceType()
{
    static const QString type = QStringLiteral("_zorbix._tcp.");
    return type;
}

const QString &NetServicePublisher::serviceDomain()
{
    static const QString domain = QStringLiteral("local");
    return domain;
}

void NetServicePublisher::publish(const QString &name, quint16 port)
{
    withdraw();
    m_name = name;
    m_port = port;
    DnsSdPublication *publication =
        m_backend.createPublication(name, serviceType(), serviceDomain(), port, this);
    m_publication = publication;
    if (m_protected)
        publication->setTextRecords({QByteArrayLiteral("tls=1")});
    connect(publication, &DnsSdPublication::registering, this, &NetServicePublisher::netServiceWillPublish);
    connect(publication, &DnsSdPublication::established, this, [this] {
        m_published = true;
        emit netServiceDidPublish();
    });
    connect(publication, &DnsSdPublication::failed, this, [this, publication](int code) {
        if (publication != m_publication)
            return;
        m_published = false;
        m_publication = nullptr;
        publication->deleteLater();
        emit netServiceDidNotPublish(code);
    });
    publication->start();
}

void NetServicePublisher::stop()
{
    withdraw();
    QMetaObject::invokeMethod(this, &NetServicePublisher::netServiceDidStop, Qt::QueuedConnection);
}

void NetServicePublisher::withdraw()
{
    m_published = false;
    if (!m_publication)
        return;
    // Off the network now; the object goes later, since this may run inside one of its signals.
    m_publication->withdraw();
    m_publication->disconnect(this);
    m_publication->deleteLater();
    m_publication = nullptr;
}
