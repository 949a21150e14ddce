#include "mailaccount.h"

#include "settingssync.h"

#include <QHostAddress>
#include <QRegularExpression>
#include <QSettings>

#include <qt6keychain/keychain.h>

namespace {
const QString kService = QStringLiteral("zorbix");

QString securityName(MailAccount::Security security)
{
    switch (security) {
    case MailAccount::Security::Tls:
        return QStringLiteral("tls");
    case MailAccount::Security::None:
        return QStringLiteral("none");
    case MailAccount::Security::StartTls:
        break;
    }
    return QStringLiteral("starttls");
}

// The desktop keyring through the Secret Service or KWallet; never a plain-text fallback.
class KeychainPasswordStore final : public MailPasswordStore
{
public:
    void readPassword(const QString &key, QObject *context, ReadDone done) override
    {
        auto *job = new QKeychain::ReadPasswordJob(kService);
        job->setInsecureFallback(false);
        job->setKey(key);
        QObject::connect(job, &QKeychain::Job::finished, context, [job, done = std::move(done)] {
            if (job->error() == QKeychain::NoError)
                done(job->textData(), {});
            else
                done(std::nullopt, job->errorString());
        });
        job->start();
    }
    void writePassword(const QString &key, const QString &password, QObject *context, WriteDone done) override
    {
        QKeychain::Job *job = nullptr;
        if (password.isEmpty()) {
            job = new QKeychain::DeletePasswordJob(kService);
        } else {
            auto *write = new QKeychain::WritePasswordJob(kService);
            write->setTextData(password);
            job = write;
        }
        job->setInsecureFallback(false);
        job->setKey(key);
        QObject::connect(job, &QKeychain::Job::finished, context, [job, done = std::move(done)] {
            const bool ok = job->error() == QKeychain::NoError || job->error() == QKeychain::EntryNotFound;
            done(ok ? QString() : job->errorString());
        });
        job->start();
    }
};

KeychainPasswordStore keychain;
MailPasswordStore *installed = nullptr;
} // namespace

MailPasswordStore &MailPasswordStore::current()
{
    return installed ? *installed : keychain;
}

MailPasswordStore *MailPasswordStore::install(MailPasswordStore *store)
{
    MailPasswordStore *old = installed;
    installed = store;
    return old;
}

bool MailAccount::isConfigured() const
{
    return !server.isEmpty() && isPlainAddress(from) && port > 0 && port < 65536;
}

bool MailAccount::isLoopbackHost(const QString &host)
{
    if (host == QLatin1String("localhost"))
        return true;
    const QHostAddress address(host);
    return !address.isNull() && address.isLoopback();
}

bool MailAccount::isPlainAddress(const QString &address)
{
    // The whole text (no newline after the end), without blanks or control characters (C0, DEL, C1).
    static const QRegularExpression plain(QRegularExpression::anchoredPattern(
        uR"re([^\s<>()",;:@\x{00}-\x{1F}\x{7F}-\x{9F}]+@[^\s<>()",;:@\x{00}-\x{1F}\x{7F}-\x{9F}]+)re"_qs));
    return plain.match(address).hasMatch();
}

bool MailAccount::allowsSecurity() const
{
    return security != Security::None || isLoopbackHost(server);
}

int MailAccount::defaultPort(Security security)
{
    switch (security) {
    case Security::Tls:
        return 465;
    case Security::None:
        return 25;
    case Security::StartTls:
        break;
    }
    return 587;
}

QString MailAccount::passwordKey() const
{
    // Not the port: moving the account to another port keeps its password.
    return QStringLiteral("smtp:%1@%2").arg(user, server);
}

MailAccount MailAccount::load()
{
    QSettings settings;
    MailAccount account;
    account.server = settings.value(QStringLiteral("reportMailServer")).toString().trimmed();
    const QString security = settings.value(QStringLiteral("reportMailSecurity")).toString();
    if (security == QLatin1String("tls"))
        account.security = Security::Tls;
    else if (security == QLatin1String("none"))
        account.security = Security::None;
    account.port = settings.value(QStringLiteral("reportMailPort"), defaultPort(account.security)).toInt();
    account.user = settings.value(QStringLiteral("reportMailUser")).toString();
    account.from = settings.value(QStringLiteral("reportMailFrom")).toString().trimmed();
    return account;
}

bool MailAccount::save() const
{
    QSettings settings;
    settings.setValue(QStringLiteral("reportMailServer"), server);
    settings.setValue(QStringLiteral("reportMailPort"), port);
    settings.setValue(QStringLiteral("reportMailSecurity"), securityName(security));
    settings.setValue(QStringLiteral("reportMailUser"), user);
    settings.setValue(QStringLiteral("reportMailFrom"), from);
    return syncSettings(settings);
}
