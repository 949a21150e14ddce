#pragma once

#include <QByteArray>
#include <QSslCertificate>
#include <QSslConfiguration>
#include <QSslKey>
#include <QString>

// The encrypted form of the exchange that protected shares speak: TLS 1.3, both ends present a
// self-signed certificate, and each end checks the other's by its SHA-256 fingerprint, not by a
// certificate authority. Inside the TLS channel the messages are the plain protocol's frames,
// with "hello" first from the client (docs/protocol.md, section 7).
namespace ExchangeTls {

inline const QString kTypeHello = QStringLiteral("hello");
inline const QString kTypeWait = QStringLiteral("wait");
inline const QString kTypeDenied = QStringLiteral("denied");
// The one message a protected share sends a peer that speaks the plain protocol.
inline const QString kTypeProtected = QStringLiteral("protected");
inline const QString kDevice = QStringLiteral("device");
inline const QString kReason = QStringLiteral("reason");
inline const QString kReasonDenied = QStringLiteral("denied");
inline const QString kReasonTimeout = QStringLiteral("timeout");
inline const QString kReasonBusy = QStringLiteral("busy");

// The first byte of a TLS record carrying a handshake (a ClientHello).
constexpr char kHandshakeByte = 0x16;
// Milliseconds the sharer has to answer an approval request.
constexpr int kApprovalTimeout = 60000;
// Longest device name taken from a peer, in characters.
constexpr int kMaxDeviceName = 64;

// TLS 1.3 only, our certificate and key, and the peer's certificate asked for but checked by us.
QSslConfiguration configuration(const QSslCertificate &certificate, const QSslKey &key);
QByteArray fingerprint(const QSslCertificate &certificate);
// Why a peer's certificate is not taken (missing, not yet or no longer valid); empty when it is.
QString certificateProblem(const QSslCertificate &certificate);
// Six digits both ends show: from SHA-256 over the server's and then the client's fingerprint.
QString verificationCode(const QSslCertificate &server, const QSslCertificate &client);
// A device name from a peer as it may be shown: control characters out, trimmed, bounded.
QString cleanDeviceName(const QString &name);

} // namespace ExchangeTls
