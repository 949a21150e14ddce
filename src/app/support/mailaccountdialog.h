#pragma once

#include <QDialog>

#include <memory>

// Sets up the account that report mails are sent through: the settings, and the password in the
// desktop's keyring. The dialog closes once both are stored; a failure is told and it stays open.
class MailAccountDialog : public QDialog
{
    Q_OBJECT

public:
    explicit MailAccountDialog(QWidget *parent = nullptr);
    ~MailAccountDialog() override;

public slots:
    void accept() override;

private:
    struct Private;
    std::unique_ptr<Private> d;
};
