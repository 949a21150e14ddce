#pragma once

#include "flatperson.h"

#include <QObject>
#include <QSslConfiguration>

#include <functional>
#include <memory>

class QFConnectionPool;
class QTcpSocket;

// The sharing end of the exchange. It takes on accepted connections and answers each one:
// "keys" with a fresh "keys", "sendAB" with one "AB" carrying the owner card and the record list
// (then the connection is closed), any other type with nothing. It knows no address book: the
// record list and the card come from providers, asked at the moment "sendAB" is answered (the
// encoded list is reused while its stamp says nothing changed).
//
// A malformed frame or message is logged and closes that connection; a declared length above the
// cap or below zero counts as malformed. The sharing user sees one alert for it, and no further
// one while that alert is on screen (those are counted and logged when it goes). Connections idle
// for idleTimeout() ms, or still open past their deadlines, are closed. Connections beyond the
// overall limit are closed as soon as they arrive; those beyond the limit of one peer address are
// held (counted in all, nothing read) and served in arrival order as places of that address free,
// unless their hold bound passes first; the request deadline starts with the place. Writes never
// block: replies are queued on the socket.
//
// A protected server (setProtection) speaks TLS 1.3 on the same port: it tells a ClientHello from
// a plain frame by the first byte. A plain peer gets one "protected" message and the close. An
// encrypted peer whose certificate is not known waits for the sharing user's answer to
// approvalRequested; nothing but "wait" and "denied" reaches it before that answer.
class QFExchangeServer : public QObject
{
    Q_OBJECT

public:
    using RecordProvider = std::function<RecordList()>;
    // Two steps: the source runs on this thread, next to the store, and takes what the list
    // needs; the job it gives back makes the list on a worker thread, with the encoding.
    using RecordJob = std::function<RecordList()>;
    using RecordSource = std::function<RecordJob()>;
    using OwnerCardProvider = std::function<OwnerCard()>;
    using RecordStamp = std::function<QByteArray()>;

    enum class Decision { AllowOnce, AlwaysAllow, Deny };
    Q_ENUM(Decision)

    enum class CloseReason {
        Served,          // "AB" was sent
        PeerClosed,      // the client closed first
        ProtocolProblem, // malformed frame or message (alerted)
        IdleTimeout,     // nothing moved for idleTimeout() ms
        WriteBacklog,    // the client sends but does not read our replies
        EncodingFailed,  // the record list holds a value that cannot travel (logged)
        DeadlinePassed,  // no "sendAB" in time, or the answer not taken in time
        WaitedTooLong,   // held past the hold bound without a place of its address
        PlainPeer,       // a protected share asked in the plain protocol
        TlsFailed,       // the TLS handshake failed, or the peer's certificate is not valid
        NotAdmitted,     // the sharing user denied the device, or did not answer in time
    };
    Q_ENUM(CloseReason)

    explicit QFExchangeServer(QObject *parent = nullptr);
    ~QFExchangeServer() override;

    void setRecordProvider(RecordProvider provider);
    // In place of a provider: most of the work off this thread.
    void setRecordSource(RecordSource source);
    void setOwnerCardProvider(OwnerCardProvider provider);
    // With a stamp, the record list is encoded once and sent again as long as the stamp stays the
    // same: it is asked before every answer and must change whenever the list would (the store's
    // revision, the shared groups). Without one, every answer builds and encodes the list anew.
    // The owner card and the message around the list are always made fresh.
    void setRecordStamp(RecordStamp stamp);
    // Makes the record list for the present stamp now, when one was made before and the stamp
    // changed since, so that the next download after a change of the store finds it made. For a
    // caller that learns of changes before anyone asks (a watcher of the store).
    void prepareRecords();

    void setIdleTimeout(int milliseconds);
    int idleTimeout() const;
    void setMaxFrameLength(int bytes);
    int maxFrameLength() const;
    // Milliseconds from getting a place to "sendAB", and from "sendAB" to the end of the answer.
    void setDeadlines(int request, int answer);
    // Milliseconds a held connection may wait for a place, from the accept.
    void setHoldBound(int milliseconds);
    void setConnectionLimits(int total, int perPeer);

    // From now on only TLS connections with a certificate that isKnown accepts, or that the
    // sharing user allows, are served. Connections already open are not affected.
    void setProtection(const QSslConfiguration &configuration, std::function<bool(const QByteArray &fingerprint)> isKnown);
    void clearProtection();
    bool isProtected() const;
    void setApprovalTimeout(int milliseconds);
    // The answer to approvalRequested; a request that no longer stands is ignored.
    void answerApproval(quint64 request, Decision decision);

    // Takes on an accepted connection; the server owns the socket from here on and deletes it
    // when the connection ends. peer is "address:port" as the accept saw it (the socket forgets
    // the address once the peer resets); empty means ask the socket. Returns false when the
    // connection was over the overall limit and has been closed.
    bool connectionReceived(QTcpSocket *socket, const QString &peer = QString());

    // One received chunk of a connection. An empty chunk means the peer has closed.
    void readDataFromRemote(QTcpSocket *socket, const QByteArray &chunk);
    // Sends "AB" with the providers' card and records, then ends the connection.
    void sendDataToRemote(QTcpSocket *socket);

    const QFConnectionPool &connections() const;
    int openConnectionCount() const;
    // Connections closed on arrival for being over the overall limit.
    int refusedConnectionCount() const;

signals:
    // peer is "address:port". recordCount is the number of records sent.
    void connectionServed(const QString &peer, int recordCount);
    void connectionClosed(const QString &peer, QFExchangeServer::CloseReason reason);
    // An unknown device asks a protected share; one request stands at a time (others are
    // refused as busy). device is the name it sent, cleaned for showing.
    void approvalRequested(quint64 request, const QString &peer, const QString &device, const QByteArray &fingerprint,
                           const QString &code);
    // The request no longer stands: answered, timed out, or the device went away.
    void approvalEnded(quint64 request);
    // A device passed the check (known, or allowed) and is about to be served.
    void deviceAdmitted(const QByteArray &fingerprint, const QString &device);

private:
    struct Private;
    std::unique_ptr<Private> d;
};
