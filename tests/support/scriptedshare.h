#pragma once

#include "exchangearchive.h"
#include "qfconnectionpool.h"
#include "qfexchangeclient.h"

#include <QSignalSpy>
#include <QTcpServer>
#include <QTcpSocket>

// Frames as a peer sends them: the eleven-byte header, then the payload.
inline QByteArray framed(const QByteArray &payload)
{
    return QByteArray::number(payload.size() + 11).leftJustified(10, ' ') + '+' + payload;
}

inline QByteArray framed(const QVariantMap &message)
{
    return framed(ExchangeArchive::encode(message).value());
}

// A share written by hand on 127.0.0.1: answers each whole frame with the next reply ("close"
// closes at once; "then close" closes once the reply before it is out); then says nothing.
struct ScriptedShare
{
    explicit ScriptedShare(QList<QByteArray> replies = {}) : replies(std::move(replies))
    {
        QObject::connect(&listener, &QTcpServer::newConnection, &listener, [this] {
            peer = listener.nextPendingConnection();
            pool.addConnection(peer);
            QObject::connect(peer, &QTcpSocket::readyRead, peer, [this, socket = peer] {
                for (pool.addData(socket->readAll(), socket); pool.isConnectionComplete(socket); ++requests) {
                    pool.unpackDatafromConnection(socket);
                    const QByteArray reply = this->replies.isEmpty() ? QByteArray() : this->replies.takeFirst();
                    reply == "close" ? socket->disconnectFromHost() : void(socket->write(reply));
                    if (this->replies.value(0) == "then close")
                        socket->disconnectFromHost();
                }
            });
        });
        listener.listen(QHostAddress::LocalHost, 0);
        port = listener.serverPort();
    }
    QTcpServer listener;
    quint16 port = 0;
    QFConnectionPool pool;
    QList<QByteArray> replies;
    QTcpSocket *peer = nullptr;
    int requests = 0;
};

// One download from 127.0.0.1 with our own client: the first names of its records, sorted, or
// "no download" when it failed or took over 10 s.
inline QStringList downloadedFirstNames(quint16 port, QFExchangeReply *reply = nullptr)
{
    QFExchangeClient client;
    QSignalSpy finished(&client, &QFExchangeClient::finished);
    client.loadServiceByAddress(QStringLiteral("127.0.0.1"), port);
    if (!finished.wait(10000))
        return {QStringLiteral("no download")};
    const auto got = finished.at(0).at(0).value<QFExchangeReply>();
    QStringList names;
    for (const QVariant &record : got.records.value_or(ArchivedRecords()).toList())
        names.append(record.toMap().value(QStringLiteral("First")).toString());
    if (reply)
        *reply = got;
    names.sort();
    return names;
}
