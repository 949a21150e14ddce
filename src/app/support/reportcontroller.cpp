#include "reportcontroller.h"

#include "mailaccount.h"
#include "mailaccountdialog.h"
#include "makersite.h"
#include "reportmail.h"
#include "smtpmailer.h"
#include "systemlog.h"
#include "ui_reportwindow.h"
#include "vcardcommon.h"

#include <QPointer>

struct ReportController::Private
{
    std::unique_ptr<QWidget> window = std::make_unique<QWidget>();
    Ui::ReportWindow ui;
    SmtpMailer mailer;
    bool sending = false;
    QPointer<MailAccountDialog> accountDialog;
};

ReportController::ReportController(QObject *parent) : QObject(parent), d(std::make_unique<Private>())
{
    d->ui.setupUi(d->window.get());
    d->ui.sendProgressOL->hide();
    d->ui.cancelButtonOL->hide();
    connect(d->ui.sendButtonOL, &QPushButton::clicked, this, &ReportController::doSendEmailReport);
    connect(d->ui.cancelButtonOL, &QPushButton::clicked, this, &ReportController::cancelSending);
    connect(d->ui.accountButtonOL, &QPushButton::clicked, this, &ReportController::showAccountSettings);
    connect(&d->mailer, &SmtpMailer::finished, this, [this](const SmtpMailer::Result &result) {
        setSending(false);
        if (result.cancelled) {
            emit sendFinished(false);
            return;
        }
        if (!result.sent) {
            failed("RC_NoMailSentHint");
            return;
        }
        // The promise of an answer needs a plainly checked box; the body asks for one on any but off.
        vCardCommon::alertKeys("RC_Thanks", d->ui.sendReplySwitchOL->checkState() == Qt::Checked
                                                ? "RC_ThankReply"
                                                : "SC_EmptyString");
        // Name and address stay for the next report; the message was delivered.
        d->ui.reportTextFieldOL->clear();
        d->window->close();
        emit sendFinished(true);
    });
}

ReportController::~ReportController()
{
    delete d->accountDialog.data();
}

QWidget *ReportController::window() const
{
    return d->window.get();
}
QLineEdit *ReportController::senderNameFieldOL() const
{
    return d->ui.senderNameFieldOL;
}
QLineEdit *ReportController::senderEmailFieldOL() const
{
    return d->ui.senderEmailFieldOL;
}
QCheckBox *ReportController::sendReplySwitchOL() const
{
    return d->ui.sendReplySwitchOL;
}
QComboBox *ReportController::reportTypeListOL() const
{
    return d->ui.reportTypeListOL;
}
QPlainTextEdit *ReportController::reportTextFieldOL() const
{
    return d->ui.reportTextFieldOL;
}
QPushButton *ReportController::sendButtonOL() const
{
    return d->ui.sendButtonOL;
}
SmtpMailer &ReportController::mailer() const
{
    return d->mailer;
}
bool ReportController::isSending() const
{
    return d->sending;
}

QString ReportController::reportBody() const
{
    // A partly checked box is not off.
    return ReportMail::body(d->ui.senderNameFieldOL->text(), d->ui.senderEmailFieldOL->text(),
                            d->ui.sendReplySwitchOL->checkState() != Qt::Unchecked,
                            d->ui.reportTypeListOL->currentText(), d->ui.reportTextFieldOL->toPlainText());
}

void ReportController::setSending(bool sending)
{
    d->sending = sending;
    d->ui.sendButtonOL->setEnabled(!sending);
    d->ui.accountButtonOL->setEnabled(!sending);
    d->ui.sendProgressOL->setVisible(sending);
    d->ui.cancelButtonOL->setVisible(sending);
}

void ReportController::failed(const char *hintKey)
{
    setSending(false);
    vCardCommon::alertKeys("RC_NoMailSentProblem", hintKey);
    emit sendFinished(false);
}

void ReportController::doSendEmailReport()
{
    if (d->sending)
        return;
    const MailAccount account = MailAccount::load();
    if (!account.isConfigured()) {
        systemLog(QStringLiteral("ReportController: no mail account set up; report not sent"));
        failed("RC_NoAccountHint");
        return;
    }
    const QByteArray message = ReportMail::compose(
        account.from, MakerSite::feedbackAddress(), d->ui.senderEmailFieldOL->text().trimmed(),
        ReportMail::subject(), reportBody(), QDateTime::currentDateTimeUtc());
    setSending(true);
    if (account.user.isEmpty()) {
        d->mailer.send(account, {}, MakerSite::feedbackAddress(), message);
        return;
    }
    MailPasswordStore::current().readPassword(
        account.passwordKey(), this,
        [this, account, message](std::optional<QString> password, const QString &error) {
            if (!d->sending)
                return; // cancelled meanwhile
            if (!password) {
                systemLog(QStringLiteral(
                              "ReportController: the mail password could not be read from the keyring: %1")
                              .arg(error));
                failed("RC_KeyringHint");
                return;
            }
            d->mailer.send(account, *password, MakerSite::feedbackAddress(), message);
        });
}

void ReportController::cancelSending()
{
    if (!d->sending)
        return;
    if (d->mailer.isBusy())
        d->mailer.cancel(); // its end tells the failure
    else
        setSending(false);
}

void ReportController::showAccountSettings()
{
    if (!d->accountDialog)
        d->accountDialog = new MailAccountDialog(d->window.get());
    d->accountDialog->show();
    d->accountDialog->raise();
    d->accountDialog->activateWindow();
}
