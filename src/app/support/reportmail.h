#pragma once

#include <QByteArray>
#include <QDateTime>
#include <QString>

// The report mail: its fixed subject, its body from the report window's fields, and the message
// as it goes over SMTP.
namespace ReportMail {
QString subject();
QString replyText(bool replyWanted);
QString body(const QString &name, const QString &email, bool replyWanted, const QString &kind,
             const QString &message);
// An RFC 5322 message with a UTF-8 text body in base64, so that no line of the user's text can
// end the data or break a header. Reply-To is set only to a plain address.
QByteArray compose(const QString &from, const QString &to, const QString &replyTo, const QString &subject,
                   const QString &body, const QDateTime &date);
} // namespace ReportMail
