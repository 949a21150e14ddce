#pragma once

#include <QString>

// Names and limits of the exchange that both ends share. docs/protocol.md explains each.
namespace ExchangeProtocol {

inline const QString kType = QStringLiteral("type");
inline const QString kKeys1 = QStringLiteral("Keys1");
inline const QString kRelease = QStringLiteral("release");
inline const QString kProduct = QStringLiteral("product");
inline const QString kOwnerData = QStringLiteral("pData");
inline const QString kRecordData = QStringLiteral("ABData");

inline const QString kTypeKeys = QStringLiteral("keys");
inline const QString kTypeSendAB = QStringLiteral("sendAB");
inline const QString kTypeAB = QStringLiteral("AB");

inline const QString kReleaseValue = QStringLiteral("1.1.1");
inline const QString kProductValue = QStringLiteral("zorbix Rendezvous");

// Largest frame (header included) a server accepts: clients only send "keys" and "sendAB".
constexpr int kServerMaxFrameLength = 64 * 1024;
// Largest frame a client accepts: an "AB" with some 600,000 ordinary persons.
constexpr int kClientMaxFrameLength = 256 * 1024 * 1024;
// Replies not yet taken by the peer beyond which a server stops answering "keys" and closes.
constexpr qint64 kServerMaxPendingWrite = 1024 * 1024;

// Milliseconds.
constexpr int kServerIdleTimeout = 30000;
constexpr int kClientConnectTimeout = 15000;
constexpr int kClientIdleTimeout = 30000;
// A download may take the connect time, twice the idle time, and one second per this many bytes
// of the frame the server announces (a network slower than 1 MiB/s on average is not expected).
constexpr qint64 kClientSlowestRate = 1024 * 1024;

// The server: connections served at once, in all and from one peer address; more are closed
// as soon as they are accepted.
constexpr int kServerMaxConnections = 64;
constexpr int kServerMaxConnectionsPerPeer = 8;
// From accept to "sendAB", and from then on to the end of the answer (milliseconds).
constexpr int kServerRequestDeadline = 10000;
constexpr int kServerAnswerDeadline = 300000;
// How long a connection over the limit of its address may wait for a place (from the accept);
// its request deadline starts when it gets one. Below the client's idle time, so that a waiting
// client hears of the close instead of giving up on its own.
constexpr int kServerHoldBound = 20000;
// When accepting fails (descriptors used up), accepting pauses this long, doubling to the most.
constexpr int kServerAcceptBackoff = 50;
constexpr int kServerAcceptBackoffMax = 2000;

// A fresh "Keys1": the next value of the process's never-seeded random() sequence.
qint32 nextKey();

} // namespace ExchangeProtocol
