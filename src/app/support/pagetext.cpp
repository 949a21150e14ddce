#include "pagetext.h"

#include <QList>
#include <QStringDecoder>

QByteArray charsetOfContentType(const QByteArray &contentType)
{
    const QList<QByteArray> parts = contentType.split(';');
    for (qsizetype i = 1; i < parts.size(); ++i) {
        const QByteArray part = parts[i].trimmed();
        const qsizetype equals = part.indexOf('=');
        if (equals < 0 || part.left(equals).trimmed().toLower() != "charset")
            continue;
        QByteArray value = part.mid(equals + 1).trimmed();
        if (value.size() >= 2 && value.startsWith('"') && value.endsWith('"'))
            value = value.mid(1, value.size() - 2);
        return value;
    }
    return {};
}

QString decodePageText(const QByteArray &body, const QByteArray &contentType)
{
    const QByteArray declared = charsetOfContentType(contentType);
    if (!declared.isEmpty()) {
        QStringDecoder decoder(declared.constData());
        if (decoder.isValid())
            return decoder.decode(body);
    }
    // Without a usable declaration Qt answers UTF-8, which is our last resort as well.
    QStringDecoder fromPage = QStringDecoder::decoderForHtml(body);
    if (fromPage.isValid())
        return fromPage.decode(body);
    QStringDecoder utf8(QStringDecoder::Utf8);
    return utf8.decode(body);
}
