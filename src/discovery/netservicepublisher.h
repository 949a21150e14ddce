#pragma once

#include "dnssdpublication.h"

#include <QObject>
#include <QPointer>
#include <QString>

class DnsSdBackend;

// Announces the share: a service of type "_zorbix._tcp" in the domain "local" under a name and a
// port, and reports back through three signals:
//   netServiceWillPublish      the announcement is going out
//   netServiceDidNotPublish    it failed; the code is a NetServiceError (-72001: the name is taken)
//   netServiceDidStop          stop() withdrew it
// Every signal arrives from the event loop, never from inside publish() or stop().
class NetServicePublisher : public QObject
{
    Q_OBJECT

public:
    explicit NetServicePublisher(QObject *parent = nullptr);
    // Uses the given backend instead of DnsSdBackend::current().
    explicit NetServicePublisher(DnsSdBackend &backend, QObject *parent = nullptr);
    ~NetServicePublisher() override;

    static const QString &serviceType();
    static const QString &serviceDomain();

    // The TXT key "tls=1" in the announcements from now on: the share speaks only TLS.
    void setProtected(bool isProtected) { m_protected = isProtected; }
    // Announces under name and port; an announcement still out is withdrawn first (silently).
    void publish(const QString &name, quint16 port);
    // Withdraws the announcement at once; netServiceDidStop follows.
    void stop();

    QString name() const { return m_name; }
    quint16 port() const { return m_port; }
    // Between publish() and the failure or stop().
    bool isPublishing() const { return m_publication != nullptr; }
    // The name is established on the network.
    bool isPublished() const { return m_published; }

signals:
    void netServiceWillPublish();
    void netServiceDidPublish();
    void netServiceDidNotPublish(int errorCode);
    void netServiceDidStop();

private:
    void withdraw();

    DnsSdBackend &m_backend;
    QPointer<DnsSdPublication> m_publication;
    QString m_name;
    quint16 m_port = 0;
    bool m_published = false;
    bool m_protected = false;
};
