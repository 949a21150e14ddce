#include "mailaccountdialog.h"

#include "mailaccount.h"
#include "systemlog.h"
#include "ui_mailaccountdialog.h"
#include "vcardcommon.h"

#include <QPushButton>

struct MailAccountDialog::Private
{
    Ui::MailAccountDialog ui;
    bool passwordEdited = false;

    // Writes the password of the account, then finishes; on failure the old settings stay.
    void store(MailAccountDialog *dialog, const MailAccount &account, const QString &password,
               const QString &obsolete);
    // Saves the settings and removes the entry of a renamed account (or, when the settings could
    // not be saved, the entry just written).
    void finish(MailAccountDialog *dialog, const MailAccount &account, const QString &obsolete,
                const QString &written);
};

namespace {
MailAccount::Security securityAt(int index)
{
    return index == 1   ? MailAccount::Security::Tls
           : index == 2 ? MailAccount::Security::None
                        : MailAccount::Security::StartTls;
}
} // namespace

MailAccountDialog::MailAccountDialog(QWidget *parent) : QDialog(parent), d(std::make_unique<Private>())
{
    d->ui.setupUi(this);
    const MailAccount account = MailAccount::load();
    d->ui.serverFieldOL->setText(account.server);
    d->ui.portFieldOL->setValue(account.port);
    d->ui.securityListOL->setCurrentIndex(account.security == MailAccount::Security::Tls    ? 1
                                          : account.security == MailAccount::Security::None ? 2
                                                                                            : 0);
    d->ui.userFieldOL->setText(account.user);
    d->ui.fromFieldOL->setText(account.from);
    // The stored password is never read back into the window; typing replaces it.
    d->ui.passwordFieldOL->setPlaceholderText(account.user.isEmpty() ? QString() : tr("(unchanged)"));
    connect(d->ui.passwordFieldOL, &QLineEdit::textEdited, this, [this] { d->passwordEdited = true; });
    connect(d->ui.securityListOL, &QComboBox::currentIndexChanged, this, [this](int index) {
        const int port = d->ui.portFieldOL->value();
        for (const auto security :
             {MailAccount::Security::StartTls, MailAccount::Security::Tls, MailAccount::Security::None}) {
            if (port == MailAccount::defaultPort(security)) {
                d->ui.portFieldOL->setValue(MailAccount::defaultPort(securityAt(index)));
                break;
            }
        }
    });
}

MailAccountDialog::~MailAccountDialog() = default;

void MailAccountDialog::accept()
{
    MailAccount account;
    account.server = d->ui.serverFieldOL->text().trimmed();
    account.port = d->ui.portFieldOL->value();
    account.security = securityAt(d->ui.securityListOL->currentIndex());
    account.user = d->ui.userFieldOL->text().trimmed();
    account.from = d->ui.fromFieldOL->text().trimmed();
    if (!account.isConfigured()) {
        vCardCommon::alert(tr("The mail account is incomplete"),
                           tr("Enter the mail server and your mail address as the sender, for example "
                              "smtp.example.org and you@example.org."));
        return;
    }
    if (!account.allowsSecurity()) {
        vCardCommon::alert(tr("The connection to the mail server must be encrypted"),
                           tr("Choose STARTTLS or TLS; only a mail server on this computer may be used "
                              "without encryption."));
        return;
    }
    // The new settings are saved only once their password is in the keyring; the entry of an
    // account renamed (another server or user) moves with it, and the old one goes.
    const MailAccount previous = MailAccount::load();
    const QString oldKey = previous.user.isEmpty() ? QString() : previous.passwordKey();
    const QString newKey = account.user.isEmpty() ? QString() : account.passwordKey();
    const QString obsolete = oldKey != newKey ? oldKey : QString();
    if (newKey.isEmpty() || (!d->passwordEdited && (oldKey.isEmpty() || oldKey == newKey))) {
        d->finish(this, account, obsolete, QString());
        return;
    }
    d->ui.buttonBox->setEnabled(false);
    if (d->passwordEdited) {
        d->store(this, account, d->ui.passwordFieldOL->text(), obsolete);
        return;
    }
    MailPasswordStore::current().readPassword(
        oldKey, this, [this, account, obsolete](std::optional<QString> password, const QString &error) {
            if (password) {
                d->store(this, account, *password, obsolete);
                return;
            }
            d->ui.buttonBox->setEnabled(true);
            vCardCommon::alert(
                tr("The password could not be read from your keyring"),
                tr("Your previous mail settings are kept. Type the password again, or check that "
                   "a keyring service such as GNOME Keyring or KWallet is running. (%1)")
                    .arg(error));
        });
}

void MailAccountDialog::Private::store(MailAccountDialog *dialog, const MailAccount &account,
                                       const QString &password, const QString &obsolete)
{
    MailPasswordStore::current().writePassword(
        account.passwordKey(), password, dialog, [this, dialog, account, obsolete](const QString &error) {
            ui.buttonBox->setEnabled(true);
            if (error.isEmpty()) {
                finish(dialog, account, obsolete, obsolete.isEmpty() ? QString() : account.passwordKey());
                return;
            }
            vCardCommon::alert(
                MailAccountDialog::tr("The password could not be stored in your keyring"),
                MailAccountDialog::tr(
                    "Your previous mail settings are kept. Check that a keyring service such as "
                    "GNOME Keyring or KWallet is running, then save again. (%1)")
                    .arg(error));
        });
}

void MailAccountDialog::Private::finish(MailAccountDialog *dialog, const MailAccount &account,
                                        const QString &obsolete, const QString &written)
{
    // An entry is removed by writing no password; a failure to remove only leaves it behind.
    const auto remove = [dialog](const QString &key) {
        MailPasswordStore::current().writePassword(key, QString(), dialog, [key](const QString &error) {
            if (!error.isEmpty())
                systemLog(QStringLiteral("MailAccountDialog: could not remove %1 from the keyring: %2")
                              .arg(key, error));
        });
    };
    if (!account.save()) {
        if (!written.isEmpty())
            remove(written);
        vCardCommon::alert(MailAccountDialog::tr("The mail account could not be saved"),
                           MailAccountDialog::tr("Check that your settings folder (~/.config) is writable."));
        return;
    }
    if (!obsolete.isEmpty())
        remove(obsolete);
    dialog->QDialog::accept();
}
