#include "mailaccountdialog.h"

#include "mailaccount.h"
#include "ui_mailaccountdialog.h"
#include "vcardcommon.h"

#include <QPushButton>

struct MailAccountDialog::Private
{
    Ui::MailAccountDialog ui;
    bool passwordEdited = false;
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
    if (!account.save()) {
        vCardCommon::alert(tr("The mail account could not be saved"),
                           tr("Check that your settings folder (~/.config) is writable."));
        return;
    }
    if (!d->passwordEdited || account.user.isEmpty()) {
        QDialog::accept();
        return;
    }
    d->ui.buttonBox->setEnabled(false);
    MailPasswordStore::current().writePassword(
        account.passwordKey(), d->ui.passwordFieldOL->text(), this, [this](const QString &error) {
            d->ui.buttonBox->setEnabled(true);
            if (error.isEmpty()) {
                QDialog::accept();
                return;
            }
            vCardCommon::alert(tr("The password could not be stored in your keyring"),
                               tr("Check that a keyring service such as GNOME Keyring or KWallet is running, "
                                  "then save again. (%1)")
                                   .arg(error));
        });
}
