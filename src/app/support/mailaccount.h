#pragma once

#include <QObject>
#include <QString>

#include <functional>
#include <optional>

// The account that report mails are sent through. Server, port, connection security, user and
// sender address are settings; the password is kept in the desktop's keyring, never in them.
struct MailAccount
{
    enum class Security { StartTls, Tls, None };

    QString server;
    int port = 587;
    Security security = Security::StartTls;
    QString user;
    QString from;

    // A server and a sender address are needed to send at all.
    bool isConfigured() const;
    // A mail and its password go over the network unencrypted only to this computer.
    bool allowsSecurity() const;
    static bool isLoopbackHost(const QString &host);
    static bool isPlainAddress(const QString &address);
    static int defaultPort(Security security);
    // The keyring entry of the password.
    QString passwordKey() const;

    static MailAccount load();
    // Writes the settings; false when they could not be stored.
    bool save() const;
};

// Where the password of the mail account is kept. The desktop keyring is the default; tests and
// other front ends install their own.
class MailPasswordStore
{
public:
    // The password, or no value with the reason why it could not be read.
    using ReadDone = std::function<void(std::optional<QString> password, QString error)>;
    // An empty error on success.
    using WriteDone = std::function<void(QString error)>;

    virtual ~MailPasswordStore() = default;
    // The callbacks run later on the main thread, and not at all once context is gone.
    virtual void readPassword(const QString &key, QObject *context, ReadDone done) = 0;
    virtual void writePassword(const QString &key, const QString &password, QObject *context,
                               WriteDone done) = 0;

    static MailPasswordStore &current();
    // Installs a store (not owned); nullptr restores the keyring. Returns the previous one.
    static MailPasswordStore *install(MailPasswordStore *store);
};
