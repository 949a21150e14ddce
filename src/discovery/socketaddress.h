#pragma once

#include <QByteArray>
#include <QHostAddress>
#include <QList>
#include <QString>

// Where to connect to a share: one IPv4 address and one TCP port.
class SocketAddress
{
public:
    SocketAddress() = default;
    SocketAddress(const QHostAddress &address, quint16 port);

    QHostAddress address() const { return m_address; }
    quint16 port() const { return m_port; }
    bool isNull() const { return m_address.isNull(); }

    // "10.0.0.5:9879"
    QString toString() const;
    // The 16-byte struct sockaddr_in (network byte order), for code that talks to BSD sockets.
    QByteArray toSockaddrIn() const;

    friend bool operator==(const SocketAddress &a, const SocketAddress &b)
    {
        return a.m_address == b.m_address && a.m_port == b.m_port;
    }

private:
    QHostAddress m_address;
    quint16 m_port = 0;
};

Q_DECLARE_METATYPE(SocketAddress)
