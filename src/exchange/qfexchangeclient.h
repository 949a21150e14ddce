#pragma once

#include "archivedrecords.h"
#include "flatperson.h"

#include <QObject>
#include <QSslCertificate>
#include <QSslConfiguration>
#include <QString>

#include <memory>
#include <optional>

class QFConnectionPool;

// What a finished download brought: the type of the closing message ("AB" for a real answer),
// and for "AB" the record list and owner card when the message carried them. The records stay
// encoded until read (ArchivedRecords).
struct QFExchangeReply
{
    QString type;
    std::optional<ArchivedRecords> records;
    std::optional<OwnerCard> ownerCard;
    // Over TLS: the SHA-256 fingerprint of the share's certificate; empty otherwise.
    QByteArray serverFingerprint;
};
Q_DECLARE_METATYPE(QFExchangeReply)

// The browsing end of the exchange: one download from one share. loadServiceByAddress connects,
// sends "keys", answers the server's "keys" with "sendAB" and reports the "AB" through
// finished(). Every failure is alerted here with the problem and hint the user should see, then
// reported through failed(); each download ends with exactly one of the two signals.
//
// Unlike a blocking connect, the connect runs in the background with a timeout, and a download
// that receives nothing for idleTimeout() ms, that outlasts downloadDeadline() or whose server
// closes early ends as a failure.
class QFExchangeClient : public QObject
{
    Q_OBJECT

public:
    enum class Failure {
        NoSocket,          // no socket could be created           BR_NetworkProblem / BR_SystemHint
        NoStream,          // the socket could not be set up        BR_NetworkProblem / BR_FileHint
        ConnectionRefused, // nothing listens on that port          BR_NetworkProblem / BR_NetworkHint
        ConnectFailed,     // host not found, unreachable, ...      BR_NetworkProblem / BR_NetworkHint
        Incompatible,      // the peer's reply is not our protocol  SC_NonCompatibleProblem / SC_NonCompatibleHint
        ClosedEarly,       // the server closed before "AB"         BR_NetworkProblem / BR_NetworkHint
        TimedOut,          // connect or idle timeout                BR_NetworkProblem / BR_NetworkHint
        Protected,         // a protected share asked in plain        TR_ProtectedProblem / TR_ProtectedHint
        TlsFailed,         // TLS handshake failed, or a bad certificate TR_TlsProblem / TR_TlsHint
        Denied,            // the sharer denied this device           TR_DeniedProblem / TR_DeniedHint
        NotAnswered,       // the sharer did not answer in time       TR_NotAnsweredProblem / TR_NotAnsweredHint
        PinMismatch,       // another certificate than the one pinned  (alerted by the caller, who knows the pin)
    };
    Q_ENUM(Failure)

    enum class State { Idle, Connecting, WaitingForKeys, WaitingForAB, Finished };
    Q_ENUM(State)

    explicit QFExchangeClient(QObject *parent = nullptr);
    ~QFExchangeClient() override;

    void setConnectTimeout(int milliseconds);
    int connectTimeout() const;
    void setIdleTimeout(int milliseconds);
    int idleTimeout() const;
    void setMaxFrameLength(int bytes);
    int maxFrameLength() const;

    // Downloads from now on go over TLS with this configuration (our certificate and key), and
    // tell the share this device name. A share whose certificate is not expected (when set) ends
    // the download with PinMismatch before anything is asked of it.
    void setTls(const QSslConfiguration &configuration, const QString &deviceName);
    void setExpectedFingerprint(const QByteArray &fingerprint);
    // Downloads from now on speak the plain protocol.
    void clearTls();
    // The share's certificate of the running or last download over TLS.
    QSslCertificate serverCertificate() const;

    // Starts a download from host (an IPv4 address or a host name) and port. A download still
    // running is abandoned without a signal. Whatever fails, and when, the one signal that ends
    // the download comes after this call has returned.
    void loadServiceByAddress(const QString &host, quint16 port);
    // Whether host is a form a download can use: a host name or an IPv4 address, not IPv6.
    static bool isUsableHost(const QString &host);
    // The overall bound of a download in milliseconds, for a frame of the given total length.
    static qint64 downloadDeadline(int connectTimeout, int idleTimeout, qint64 frameLength);
    // Abandons the running download without a signal or an alert.
    void abort();

    // One received chunk; an empty chunk means the server has closed.
    void readAllTheData(const QByteArray &chunk);

    State state() const;
    const QFConnectionPool &connections() const;

signals:
    // The connection is made and the opening "keys" is on its way.
    void connected();
    // The protected share asks its user to approve this device; both show the same code.
    void waitingForApproval(const QString &code);
    void finished(const QFExchangeReply &reply);
    void failed(QFExchangeClient::Failure failure);
    // After a chunk that leaves a frame incomplete: the bytes received so far for that frame and
    // its declared total (0 while the header is incomplete).
    void activity(qint64 received, qint64 expected);

private:
    struct Private;
    std::unique_ptr<Private> d;
};
