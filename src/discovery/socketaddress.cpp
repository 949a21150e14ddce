#include "socketaddress.h"

#include <netinet/in.h>

#include <cstring>

SocketAddress::SocketAddress(const QHostAddress &address, quint16 port) : m_address(address), m_port(port) {}

QString SocketAddress::toString() const
{
    return m_address.toString() + u':' + QString::number(m_port);
}

QByteArray SocketAddress::toSockaddrIn() const
{
    sockaddr_in sin;
    std::memset(&sin, 0, sizeof sin);
    sin.sin_family = AF_INET;
    sin.sin_port = htons(m_port);
    sin.sin_addr.s_addr = htonl(m_address.toIPv4Address());
    return QByteArray(reinterpret_cast<const char *>(&sin), sizeof sin);
}
