#pragma once

#include <QByteArray>
#include <QString>

// The text of a fetched web page. The encoding is the one named by the Content-Type header,
// else the page's own declaration (a byte order mark or an HTML meta charset), else UTF-8.
// A name that no decoder knows counts as absent.
QString decodePageText(const QByteArray &body, const QByteArray &contentType);
// The charset parameter of a Content-Type header value, or an empty text.
QByteArray charsetOfContentType(const QByteArray &contentType);
