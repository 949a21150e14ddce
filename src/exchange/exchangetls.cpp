#include "exchangetls.h"

#include <QCryptographicHash>
#include <QDateTime>
#include <QSslSocket>

namespace ExchangeTls {

QSslConfiguration configuration(const QSslCertificate &certificate, const QSslKey &key)
{
    // Not the default configuration: that one loads the system's authorities, which we never use.
    QSslConfiguration config;
    config.setProtocol(QSsl::TlsV1_3OrLater);
    config.setLocalCertificate(certificate);
    config.setPrivateKey(key);
    // Self-signed on both ends: no authority to check against. QueryPeer still makes each end
    // present its certificate; the fingerprint check is ours.
    config.setPeerVerifyMode(QSslSocket::QueryPeer);
    config.setCaCertificates({});
    return config;
}

QByteArray fingerprint(const QSslCertificate &certificate)
{
    return certificate.isNull() ? QByteArray() : certificate.digest(QCryptographicHash::Sha256);
}

QString certificateProblem(const QSslCertificate &certificate)
{
    if (certificate.isNull())
        return QStringLiteral("no certificate");
    const QDateTime now = QDateTime::currentDateTimeUtc();
    if (certificate.effectiveDate() > now)
        return QStringLiteral("a certificate not valid before %1").arg(certificate.effectiveDate().toString(Qt::ISODate));
    if (certificate.expiryDate() < now)
        return QStringLiteral("a certificate that expired %1").arg(certificate.expiryDate().toString(Qt::ISODate));
    return {};
}

QString verificationCode(const QSslCertificate &server, const QSslCertificate &client)
{
    const QByteArray hash =
        QCryptographicHash::hash(fingerprint(server) + fingerprint(client), QCryptographicHash::Sha256);
    const quint32 value = (quint32(quint8(hash[0])) << 24) | (quint32(quint8(hash[1])) << 16) |
                          (quint32(quint8(hash[2])) << 8) | quint32(quint8(hash[3]));
    return QStringLiteral("%1").arg(value % 1000000, 6, 10, QLatin1Char('0'));
}

QString cleanDeviceName(const QString &name)
{
    QString clean;
    for (const QChar c : name) {
        if (!c.isNonCharacter() && c.category() != QChar::Other_Control && c.category() != QChar::Other_Format &&
            !c.isSurrogate())
            clean += c;
    }
    clean = clean.simplified().left(kMaxDeviceName);
    return clean.isEmpty() ? QStringLiteral("?") : clean;
}

} // namespace ExchangeTls
