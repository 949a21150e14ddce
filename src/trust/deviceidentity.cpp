#include "deviceidentity.h"

#include "systemlog.h"

#include <QCryptographicHash>
#include <QDir>
#include <QFile>
#include <QSettings>
#include <QStandardPaths>
#include <QSysInfo>

#include <openssl/bio.h>
#include <openssl/bn.h>
#include <openssl/evp.h>
#include <openssl/pem.h>
#include <openssl/x509.h>

#include <fcntl.h>
#include <memory>
#include <sys/stat.h>
#include <unistd.h>

namespace {

template <auto Free>
struct Deleter
{
    template <typename T>
    void operator()(T *p) const { Free(p); }
};
using PKey = std::unique_ptr<EVP_PKEY, Deleter<EVP_PKEY_free>>;
using Cert = std::unique_ptr<X509, Deleter<X509_free>>;
using Bio = std::unique_ptr<BIO, Deleter<BIO_free>>;
using Bignum = std::unique_ptr<BIGNUM, Deleter<BN_free>>;

QByteArray bioBytes(BIO *bio)
{
    char *data = nullptr;
    const long size = BIO_get_mem_data(bio, &data);
    return QByteArray(data, size);
}

// Key and certificate as PEM, or nothing when OpenSSL fails.
std::optional<std::pair<QByteArray, QByteArray>> makePem(const QDateTime &notBefore, const QDateTime &notAfter)
{
    PKey key(EVP_EC_gen("P-256"));
    Cert cert(X509_new());
    if (!key || !cert)
        return std::nullopt;
    Bignum serial(BN_new());
    if (!serial || !BN_rand(serial.get(), 127, BN_RAND_TOP_ANY, BN_RAND_BOTTOM_ANY) ||
        !BN_to_ASN1_INTEGER(serial.get(), X509_get_serialNumber(cert.get())))
        return std::nullopt;
    X509_NAME *name = X509_get_subject_name(cert.get());
    const bool ok =
        X509_set_version(cert.get(), 2) &&
        X509_time_adj_ex(X509_getm_notBefore(cert.get()), 0, long(notBefore.toSecsSinceEpoch() - QDateTime::currentSecsSinceEpoch()), nullptr) &&
        X509_time_adj_ex(X509_getm_notAfter(cert.get()), 0, long(notAfter.toSecsSinceEpoch() - QDateTime::currentSecsSinceEpoch()), nullptr) &&
        X509_NAME_add_entry_by_txt(name, "CN", MBSTRING_UTF8, reinterpret_cast<const unsigned char *>("zorbix device"), -1, -1, 0) &&
        X509_set_issuer_name(cert.get(), name) && X509_set_pubkey(cert.get(), key.get()) &&
        X509_sign(cert.get(), key.get(), EVP_sha256()) > 0;
    if (!ok)
        return std::nullopt;
    Bio keyBio(BIO_new(BIO_s_mem()));
    Bio certBio(BIO_new(BIO_s_mem()));
    if (!keyBio || !certBio || !PEM_write_bio_PrivateKey(keyBio.get(), key.get(), nullptr, nullptr, 0, nullptr, nullptr) ||
        !PEM_write_bio_X509(certBio.get(), cert.get()))
        return std::nullopt;
    return std::pair{bioBytes(keyBio.get()), bioBytes(certBio.get())};
}

// Written beside the target and renamed into place, created with the given mode (never wider
// for a moment).
bool writeFile(const QString &path, const QByteArray &bytes, mode_t mode)
{
    const QByteArray temporary = QFile::encodeName(path + QStringLiteral(".tmp"));
    ::unlink(temporary.constData());
    const int fd = ::open(temporary.constData(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, mode);
    if (fd < 0)
        return false;
    bool ok = ::write(fd, bytes.constData(), size_t(bytes.size())) == bytes.size() && ::fsync(fd) == 0;
    ok = ::close(fd) == 0 && ok;
    ok = ok && ::rename(temporary.constData(), QFile::encodeName(path).constData()) == 0;
    if (!ok)
        ::unlink(temporary.constData());
    return ok;
}

QByteArray readFile(const QString &path)
{
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

} // namespace

std::optional<DeviceIdentity> DeviceIdentity::generate(const QDateTime &notBefore, const QDateTime &notAfter)
{
    const auto pem = makePem(notBefore, notAfter);
    if (!pem)
        return std::nullopt;
    DeviceIdentity identity;
    identity.m_key = QSslKey(pem->first, QSsl::Ec, QSsl::Pem, QSsl::PrivateKey);
    identity.m_certificate = QSslCertificate(pem->second, QSsl::Pem);
    if (identity.m_key.isNull() || identity.m_certificate.isNull())
        return std::nullopt;
    return identity;
}

std::optional<DeviceIdentity> DeviceIdentity::loadOrCreate(const QString &dir, QString *error)
{
    const QString keyPath = dir + QStringLiteral("/key.pem");
    const QString certPath = dir + QStringLiteral("/cert.pem");
    const auto failed = [error](const QString &why) -> std::optional<DeviceIdentity> {
        systemLog(QStringLiteral("DeviceIdentity: %1").arg(why));
        if (error)
            *error = why;
        return std::nullopt;
    };
    if (!QFile::exists(certPath)) {
        if (!QDir().mkpath(dir) || ::chmod(QFile::encodeName(dir).constData(), 0700) != 0)
            return failed(QStringLiteral("cannot make the folder %1").arg(dir));
        const auto pem = makePem(QDateTime::currentDateTimeUtc().addDays(-1),
                                 QDateTime::currentDateTimeUtc().addYears(20));
        if (!pem)
            return failed(QStringLiteral("cannot make a key pair"));
        // The certificate last: a key without a certificate is made again, never half used.
        if (!writeFile(keyPath, pem->first, 0600) || !writeFile(certPath, pem->second, 0644))
            return failed(QStringLiteral("cannot write the identity to %1").arg(dir));
        systemLog(QStringLiteral("DeviceIdentity: made a new identity in %1").arg(dir));
    }
    // A key readable by others is no longer only ours to trust; it is still this device's, so it
    // is tightened and used.
    struct stat info {};
    if (::stat(QFile::encodeName(keyPath).constData(), &info) == 0 && (info.st_mode & 077) != 0) {
        systemLog(QStringLiteral("DeviceIdentity: %1 was readable by others; now only by its owner").arg(keyPath));
        ::chmod(QFile::encodeName(keyPath).constData(), 0600);
    }
    DeviceIdentity identity;
    identity.m_key = QSslKey(readFile(keyPath), QSsl::Ec, QSsl::Pem, QSsl::PrivateKey);
    identity.m_certificate = QSslCertificate(readFile(certPath), QSsl::Pem);
    if (identity.m_key.isNull() || identity.m_certificate.isNull())
        return failed(QStringLiteral("the identity in %1 cannot be read; move the folder away to make a new one").arg(dir));
    return identity;
}

QString DeviceIdentity::defaultDirectory()
{
    return QStandardPaths::writableLocation(QStandardPaths::GenericDataLocation) + QStringLiteral("/zorbix/identity");
}

std::optional<DeviceIdentity> DeviceIdentity::standard(QString *error)
{
    return loadOrCreate(defaultDirectory(), error);
}

QByteArray DeviceIdentity::fingerprint() const
{
    return m_certificate.digest(QCryptographicHash::Sha256);
}

QString DeviceIdentity::deviceName()
{
    const QString set = QSettings().value(QStringLiteral("deviceName")).toString().trimmed();
    return set.isEmpty() ? QSysInfo::machineHostName() : set;
}

QString DeviceIdentity::fingerprintText(const QByteArray &fingerprint)
{
    const QString hex = QString::fromLatin1(fingerprint.toHex().toUpper());
    QString text;
    for (qsizetype i = 0; i < hex.size(); i += 4)
        text += (i ? QStringLiteral(" ") : QString()) + hex.mid(i, 4);
    return text;
}

QByteArray DeviceIdentity::parseFingerprint(const QString &text)
{
    QByteArray hex;
    for (const QChar c : text) {
        if (c == u' ' || c == u':')
            continue;
        if (!isxdigit(c.toLatin1()) || c.unicode() > 127)
            return {};
        hex += char(c.toLatin1());
    }
    const QByteArray bytes = QByteArray::fromHex(hex);
    return hex.size() == 64 && bytes.size() == 32 ? bytes : QByteArray();
}
