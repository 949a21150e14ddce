#pragma once

#include <QObject>

#include <memory>

class QCheckBox;
class QComboBox;
class QLineEdit;
class QPlainTextEdit;
class QPushButton;
class QWidget;
class SmtpMailer;

// The report window: sends what the user typed to the maker's feedback address through the mail
// account of the settings. The window closes only when the mail was handed on; on failure it
// stays open with everything typed.
class ReportController : public QObject
{
    Q_OBJECT

public:
    explicit ReportController(QObject *parent = nullptr);
    ~ReportController() override;

    QWidget *window() const;
    QLineEdit *senderNameFieldOL() const;
    QLineEdit *senderEmailFieldOL() const;
    QCheckBox *sendReplySwitchOL() const;
    QComboBox *reportTypeListOL() const;
    QPlainTextEdit *reportTextFieldOL() const;
    QPushButton *sendButtonOL() const;
    SmtpMailer &mailer() const;
    bool isSending() const;

    // The body of the mail as the window's fields read now.
    QString reportBody() const;

public slots:
    void doSendEmailReport();
    void cancelSending();
    void showAccountSettings();

signals:
    // After the outcome was told to the user.
    void sendFinished(bool sent);

private:
    void failed(const char *hintKey);
    void setSending(bool sending);

    struct Private;
    std::unique_ptr<Private> d;
};
