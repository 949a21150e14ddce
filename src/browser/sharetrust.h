#pragma once

#include <QString>

class QFExchangeClient;
struct QFExchangeReply;

// The browser's side of protected shares: a download goes over TLS when the share announced
// itself as protected or when its certificate was pinned before (so an impostor that drops TLS
// gets nothing from us); the first successful download pins the certificate; a download that
// meets another certificate is reported with what changed.
namespace ShareTrust {

// Sets the client up for a download from the share of that name (may be empty) and address
// ("host:port"). False when this device has no identity (already alerted).
bool prepare(QFExchangeClient &client, const QString &name, const QString &address, bool announcedProtected);
// After a completed download: pins the share's certificate when none is pinned yet.
void completed(const QFExchangeReply &reply, const QString &name, const QString &address);
// After PinMismatch: the alert that says which certificate came and which was expected.
void alertPinMismatch(const QFExchangeClient &client, const QString &name, const QString &address);

} // namespace ShareTrust
