#pragma once

#include <QByteArray>
#include <QDateTime>
#include <QSslCertificate>
#include <QSslKey>
#include <QString>

#include <optional>

// This installation's identity on the network: an ECDSA P-256 key pair and a self-signed
// certificate, made at first use and kept in the data directory ("identity/key.pem", mode 0600,
// and "identity/cert.pem"). Peers know the device by the SHA-256 of its DER certificate.
class DeviceIdentity
{
public:
    // The identity in dir, made there first when there is none. Nothing when it can neither be
    // read nor made (*error says why).
    static std::optional<DeviceIdentity> loadOrCreate(const QString &dir, QString *error = nullptr);
    // The default place: <data directory>/zorbix/identity.
    static QString defaultDirectory();
    static std::optional<DeviceIdentity> standard(QString *error = nullptr);
    // A fresh identity in memory, valid between the two times (tests make expired ones).
    static std::optional<DeviceIdentity> generate(const QDateTime &notBefore, const QDateTime &notAfter);

    const QSslCertificate &certificate() const { return m_certificate; }
    const QSslKey &privateKey() const { return m_key; }
    // SHA-256 of the DER certificate, 32 bytes.
    QByteArray fingerprint() const;

    // The name shown to peers: the one set in the settings ("deviceName"), else the host name.
    static QString deviceName();

    // "AB12 CD34 ..." : upper-case hex in groups of four.
    static QString fingerprintText(const QByteArray &fingerprint);
    // Reads what fingerprintText writes, also without blanks or with colons; empty when it is
    // not 32 bytes of hex.
    static QByteArray parseFingerprint(const QString &text);

private:
    QSslCertificate m_certificate;
    QSslKey m_key;
};
