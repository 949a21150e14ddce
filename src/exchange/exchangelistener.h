#pragma once

#include <QAbstractSocket>
#include <QHostAddress>
#include <QObject>
#include <QString>

#include <memory>

class QFExchangeServer;

// The listening end of a share: listens on IPv4 (every interface unless told) and hands each accepted
// connection to a QFExchangeServer, with the peer's address as the accept reported it.
//
// Accepting is ours rather than QTcpServer's, for two reasons: the peer's address is known even
// when the peer resets the connection before it is taken on, and when accepting fails (the
// process has used up its descriptors) accepting pauses for a while, doubling up to a bound,
// instead of failing again at once in a loop or stopping for good.
class ExchangeListener : public QObject
{
    Q_OBJECT

public:
    explicit ExchangeListener(QFExchangeServer &server, QObject *parent = nullptr);
    ~ExchangeListener() override;

    bool listen(quint16 port, const QHostAddress &address = QHostAddress(QHostAddress::AnyIPv4));
    void close();
    bool isListening() const;
    // The port listened on, or 0.
    quint16 serverPort() const;
    QAbstractSocket::SocketError serverError() const;
    QString errorString() const;

signals:
    // A connection the server took on; peer is "address:port".
    void connectionAccepted(const QString &peer);

private:
    void acceptPending();

    struct Private;
    std::unique_ptr<Private> d;
};
