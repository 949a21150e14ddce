#pragma once

#include <QByteArray>
#include <QList>
#include <QString>
#include <QVariant>

#include <memory>
#include <optional>
#include <vector>

class QTcpSocket;

// Per-connection bookkeeping for the exchange: one entry per open connection, keyed by the
// identity of its socket, with the receive buffer and a few named properties. It also builds and
// takes apart frames. The pool does no input or output itself.
//
// Frame: ten bytes of decimal ASCII (the total length, header included, padded with blanks on the
// right), the byte '+', then the payload.
//
// The pool does not own the sockets: the caller removes a socket's entry before the socket goes
// away, so that a later socket at the same address never inherits a stale entry.
class QFConnectionPool
{
public:
    static constexpr int kHeaderLength = 11;
    static constexpr int kLengthDigits = 10;

    // Property names of a connection entry.
    static const QString kHandleProperty; // "NSFileHandle"
    static const QString kDataProperty;   // "data"
    static const QString kStateProperty;  // "state"
    static const QString kServerKeyProperty;
    static const QString kClientKeyProperty;
    // The value stored under "serverKey" and "clientKey"; nothing depends on it.
    static constexpr int kFixedKey = 4711;

    QFConnectionPool();
    ~QFConnectionPool();
    QFConnectionPool(const QFConnectionPool &) = delete;
    QFConnectionPool &operator=(const QFConnectionPool &) = delete;

    QString description() const;

    void addConnection(QTcpSocket *aHandle);
    bool isActiveConnection(const QTcpSocket *aHandle) const;
    // The entry as a property map ("NSFileHandle" holds the socket as a QObject pointer);
    // nothing when the handle has no entry.
    std::optional<QVariantMap> getDictForConnection(const QTcpSocket *aHandle) const;
    QVariant getValueForProperty(const QString &propName, const QTcpSocket *aHandle) const;
    void setValue(const QVariant &propValue, const QString &propName, const QTcpSocket *aHandle);
    void removeProperty(const QString &propName, const QTcpSocket *aHandle);
    void removeConnection(const QTcpSocket *aHandle);
    void removeAllConnections(const QTcpSocket *aHandle);
    int connectionCount() const;

    // The receive buffer; a null QByteArray when there is no buffer or no entry.
    QByteArray getDataForConnection(const QTcpSocket *aHandle) const;
    void addData(const QByteArray &someData, const QTcpSocket *aHandle);
    // Makes room for a frame of the given total length up front, so that a large frame is
    // received without repeated reallocation. Only for lengths the caller has checked.
    void reserveDataForConnection(qsizetype totalLength, const QTcpSocket *aHandle);
    bool isConnectionComplete(const QTcpSocket *aHandle) const;
    int getHeadLengthforConnection(const QTcpSocket *aHandle) const;

    static QByteArray packData(const QByteArray &payload, const QTcpSocket *aHandle);
    // The eleven bytes that go before a payload of that size (what packData puts in front).
    static QByteArray frameHeader(qsizetype payloadSize, const QTcpSocket *aHandle);
    // Takes the first frame out of the buffer. Nothing when the declared length gives no payload
    // (no digits, 1 to 11, or a value clamped to the 32-bit range); the buffer is then unchanged.
    std::optional<QByteArray> unpackDatafromConnection(const QTcpSocket *aHandle);

    // The header rules on their own: leading white space, an optional sign, decimal digits up to
    // the first other byte, clamped to the 32-bit range; no digits give 0.
    static int parseDeclaredLength(const char *header, qsizetype size);

private:
    struct Entry;
    Entry *entryFor(const QTcpSocket *aHandle) const;

    // In the order of addConnection; entries are found by a linear scan (a pool holds few).
    std::vector<std::unique_ptr<Entry>> m_activeConnections;
};
