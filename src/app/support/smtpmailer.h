#pragma once

#include "mailaccount.h"

#include <QObject>

#include <chrono>
#include <memory>

// Hands one message at a time to an SMTP server through libcurl, on a worker thread, so that the
// window stays responsive. STARTTLS is required unless the account asks for implicit TLS, or for
// none on this computer. The server's last answer goes to the log either way.
class SmtpMailer : public QObject
{
    Q_OBJECT

public:
    struct Result
    {
        bool sent = false;
        bool cancelled = false;
        // What went wrong, for the log; empty when sent.
        QString error;
        // The server's last answer line, empty when it said nothing.
        QString serverReply;
    };

    explicit SmtpMailer(QObject *parent = nullptr);
    // A send still running is cancelled; its thread ends on its own.
    ~SmtpMailer() override;

    // How long one send may take in all, connecting included.
    void setTimeout(std::chrono::milliseconds timeout);
    bool isBusy() const;
    // Starts sending; false (and no signal) while another send runs.
    bool send(const MailAccount &account, const QString &password, const QString &to,
              const QByteArray &message);
    void cancel();

signals:
    void finished(const SmtpMailer::Result &result);

private:
    struct Private;
    std::unique_ptr<Private> d;
};
