#include "smtpmailer.h"

#include "printabletext.h"
#include "systemlog.h"

#include <QFutureWatcher>
#include <QUrl>
#include <QtConcurrent>

#include <atomic>
#include <curl/curl.h>
#include <mutex>

namespace {
struct Transfer
{
    QByteArray message;
    qsizetype sentBytes = 0;
    QByteArray lastReply;
    // The first refusal tells more than the goodbye after it.
    QByteArray firstRefusal;
    std::atomic_bool cancelled = false;
};

size_t readMessage(char *buffer, size_t size, size_t count, void *user)
{
    auto *transfer = static_cast<Transfer *>(user);
    const qsizetype room = qsizetype(size * count);
    const qsizetype chunk = qMin(room, transfer->message.size() - transfer->sentBytes);
    std::memcpy(buffer, transfer->message.constData() + transfer->sentBytes, size_t(chunk));
    transfer->sentBytes += chunk;
    return size_t(chunk);
}

// Keeps the server's answers only: what we send includes the login.
int recordReply(CURL *, curl_infotype type, char *data, size_t size, void *user)
{
    if (type == CURLINFO_HEADER_IN) {
        QByteArray line(data, qsizetype(qMin<size_t>(size, 1024)));
        auto *transfer = static_cast<Transfer *>(user);
        transfer->lastReply = line.trimmed();
        if (transfer->firstRefusal.isEmpty() && (line.startsWith('4') || line.startsWith('5')))
            transfer->firstRefusal = transfer->lastReply;
    }
    return 0;
}

int checkCancelled(void *user, curl_off_t, curl_off_t, curl_off_t, curl_off_t)
{
    return static_cast<Transfer *>(user)->cancelled ? 1 : 0;
}

struct Curl
{
    CURL *handle = curl_easy_init();
    curl_slist *recipients = nullptr;
    ~Curl()
    {
        curl_slist_free_all(recipients);
        curl_easy_cleanup(handle);
    }
};

SmtpMailer::Result perform(const MailAccount &account, const QString &password, const QString &to,
                           std::shared_ptr<Transfer> transfer, long timeoutMs)
{
    SmtpMailer::Result result;
    Curl curl;
    if (!curl.handle) {
        result.error = QStringLiteral("libcurl could not start");
        return result;
    }
    QUrl url;
    url.setScheme(account.security == MailAccount::Security::Tls ? QStringLiteral("smtps")
                                                                 : QStringLiteral("smtp"));
    url.setHost(account.server);
    url.setPort(account.port);
    const QByteArray urlText = url.toString(QUrl::FullyEncoded).toUtf8();
    const QByteArray from = '<' + account.from.toUtf8() + '>';
    const QByteArray rcpt = '<' + to.toUtf8() + '>';
    const QByteArray user = account.user.toUtf8();
    const QByteArray secret = password.toUtf8();
    char errorText[CURL_ERROR_SIZE] = {};
    curl.recipients = curl_slist_append(nullptr, rcpt.constData());
    CURL *h = curl.handle;
    curl_easy_setopt(h, CURLOPT_URL, urlText.constData());
    curl_easy_setopt(h, CURLOPT_PROTOCOLS_STR, "smtp,smtps");
    curl_easy_setopt(
        h, CURLOPT_USE_SSL,
        long(account.security == MailAccount::Security::None ? CURLUSESSL_NONE : CURLUSESSL_ALL));
    curl_easy_setopt(h, CURLOPT_MAIL_FROM, from.constData());
    curl_easy_setopt(h, CURLOPT_MAIL_RCPT, curl.recipients);
    if (!user.isEmpty()) {
        curl_easy_setopt(h, CURLOPT_USERNAME, user.constData());
        curl_easy_setopt(h, CURLOPT_PASSWORD, secret.constData());
    }
    curl_easy_setopt(h, CURLOPT_UPLOAD, 1L);
    curl_easy_setopt(h, CURLOPT_INFILESIZE_LARGE, curl_off_t(transfer->message.size()));
    curl_easy_setopt(h, CURLOPT_READFUNCTION, readMessage);
    curl_easy_setopt(h, CURLOPT_READDATA, transfer.get());
    curl_easy_setopt(h, CURLOPT_VERBOSE, 1L);
    curl_easy_setopt(h, CURLOPT_DEBUGFUNCTION, recordReply);
    curl_easy_setopt(h, CURLOPT_DEBUGDATA, transfer.get());
    curl_easy_setopt(h, CURLOPT_NOPROGRESS, 0L);
    curl_easy_setopt(h, CURLOPT_XFERINFOFUNCTION, checkCancelled);
    curl_easy_setopt(h, CURLOPT_XFERINFODATA, transfer.get());
    curl_easy_setopt(h, CURLOPT_NOSIGNAL, 1L);
    curl_easy_setopt(h, CURLOPT_CONNECTTIMEOUT_MS, timeoutMs);
    curl_easy_setopt(h, CURLOPT_TIMEOUT_MS, timeoutMs);
    curl_easy_setopt(h, CURLOPT_ERRORBUFFER, errorText);
    const CURLcode code = curl_easy_perform(h);
    result.sent = code == CURLE_OK;
    result.serverReply = textFromBytes(
        QByteArrayView(transfer->firstRefusal.isEmpty() ? transfer->lastReply : transfer->firstRefusal));
    if (!result.sent) {
        result.cancelled = transfer->cancelled;
        result.error = transfer->cancelled
                           ? QStringLiteral("cancelled")
                           : QString::fromUtf8(errorText[0] ? errorText : curl_easy_strerror(code));
    }
    return result;
}
} // namespace

struct SmtpMailer::Private
{
    long timeoutMs = 60000;
    std::shared_ptr<Transfer> transfer;
    QFutureWatcher<SmtpMailer::Result> watcher;
    QString server;
};

SmtpMailer::SmtpMailer(QObject *parent) : QObject(parent), d(std::make_unique<Private>())
{
    static std::once_flag curlReady;
    std::call_once(curlReady, [] { curl_global_init(CURL_GLOBAL_DEFAULT); });
    connect(&d->watcher, &QFutureWatcherBase::finished, this, [this] {
        const Result result = d->watcher.result();
        d->transfer.reset();
        if (result.sent)
            systemLog(
                QStringLiteral("SmtpMailer: mail accepted by %1: %2").arg(d->server, result.serverReply));
        else
            systemLog(QStringLiteral("SmtpMailer: mail not sent through %1: %2; server's answer: %3")
                          .arg(d->server, result.error, result.serverReply));
        emit finished(result);
    });
}

SmtpMailer::~SmtpMailer()
{
    cancel();
}

void SmtpMailer::setTimeout(std::chrono::milliseconds timeout)
{
    d->timeoutMs = long(timeout.count());
}

bool SmtpMailer::isBusy() const
{
    return d->transfer != nullptr;
}

void SmtpMailer::cancel()
{
    if (d->transfer)
        d->transfer->cancelled = true;
}

bool SmtpMailer::send(const MailAccount &account, const QString &password, const QString &to,
                      const QByteArray &message)
{
    if (isBusy())
        return false;
    d->server = QStringLiteral("%1:%2").arg(account.server).arg(account.port);
    d->transfer = std::make_shared<Transfer>();
    d->transfer->message = message;
    if (!account.allowsSecurity()) {
        // Never reached from the settings dialog, which refuses such an account.
        d->watcher.setFuture(QtFuture::makeReadyFuture(Result{
            false, false, QStringLiteral("refusing to send without encryption to another computer"), {}}));
        return true;
    }
    d->watcher.setFuture(QtConcurrent::run(perform, account, password, to, d->transfer, d->timeoutMs));
    return true;
}
