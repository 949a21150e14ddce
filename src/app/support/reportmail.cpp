#include "reportmail.h"

#include <QLocale>
#include <QRegularExpression>
#include <QUuid>

namespace ReportMail {

QString subject()
{
    return QStringLiteral("zorbix 1.1.1 report");
}

QString replyText(bool replyWanted)
{
    return replyWanted ? QStringLiteral("Yes, please") : QStringLiteral("No, thanks");
}

QString body(const QString &name, const QString &email, bool replyWanted, const QString &kind,
             const QString &message)
{
    // Concatenated, not formatted: a "%1" typed by the user stays as typed.
    return QStringLiteral("From\n  <") + name + QStringLiteral(">\nEmail\n  <") + email +
           QStringLiteral(">\n\nReply \n  <") + replyText(replyWanted) + QStringLiteral(">\n\nKind \n  <") +
           kind + QStringLiteral(">\n\n\nMessage\n\n") + message;
}

QByteArray compose(const QString &from, const QString &to, const QString &replyTo, const QString &subject,
                   const QString &body, const QDateTime &date)
{
    static const QRegularExpression plainAddress(QStringLiteral("^[^\\s<>()\",;:@]+@[^\\s<>()\",;:@]+$"));
    QByteArray message;
    const auto header = [&message](const char *name, const QByteArray &value) {
        message += name;
        message += ": ";
        message += value;
        message += "\r\n";
    };
    header("Date",
           QLocale::c().toString(date.toUTC(), QStringLiteral("ddd, dd MMM yyyy hh:mm:ss")).toLatin1() +
               " +0000");
    header("From", '<' + from.toUtf8() + '>');
    header("To", '<' + to.toUtf8() + '>');
    if (plainAddress.match(replyTo).hasMatch())
        header("Reply-To", '<' + replyTo.toUtf8() + '>');
    QByteArray encodedSubject = subject.toUtf8();
    if (encodedSubject != subject.toLatin1() || encodedSubject.contains('\n'))
        encodedSubject = "=?UTF-8?B?" + encodedSubject.toBase64() + "?=";
    header("Subject", encodedSubject);
    header("Message-ID", '<' + QUuid::createUuid().toByteArray(QUuid::WithoutBraces) + '@' +
                             from.section(u'@', -1).toUtf8() + '>');
    header("MIME-Version", "1.0");
    header("Content-Type", "text/plain; charset=UTF-8");
    header("Content-Transfer-Encoding", "base64");
    message += "\r\n";
    QString canonical = body;
    canonical.replace(QLatin1String("\r\n"), QLatin1String("\n")).replace(u'\n', QLatin1String("\r\n"));
    const QByteArray encoded = canonical.toUtf8().toBase64();
    for (qsizetype i = 0; i < encoded.size(); i += 76) {
        message += encoded.mid(i, 76);
        message += "\r\n";
    }
    return message;
}

} // namespace ReportMail
