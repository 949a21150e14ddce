#include "logtext.h"

namespace {
bool needsEscape(char32_t c)
{
    return c < 0x20 || (c >= 0x7f && c <= 0x9f) || c == 0x2028 || c == 0x2029 ||
           (c >= 0x202a && c <= 0x202e) || (c >= 0x2066 && c <= 0x2069) || c == 0xfeff;
}

void appendCodePoint(QString &out, char32_t c)
{
    switch (c) {
    case '\\':
        out += QLatin1String("\\\\");
        return;
    case '\n':
        out += QLatin1String("\\n");
        return;
    case '\r':
        out += QLatin1String("\\r");
        return;
    case '\t':
        out += QLatin1String("\\t");
        return;
    default:
        break;
    }
    if (!needsEscape(c)) {
        out += QString::fromUcs4(&c, 1);
    } else if (c < 0x100) {
        out += QStringLiteral("\\x%1").arg(uint(c), 2, 16, QLatin1Char('0'));
    } else {
        out += QStringLiteral("\\u{%1}").arg(uint(c), 4, 16, QLatin1Char('0'));
    }
}

// The length of a valid UTF-8 sequence at bytes[i] and its code point, or 0.
qsizetype decodeUtf8(QByteArrayView bytes, qsizetype i, char32_t &c)
{
    const auto b = [&](qsizetype k) { return uchar(bytes[i + k]); };
    const uchar lead = b(0);
    qsizetype length = 0;
    char32_t min = 0;
    if (lead < 0x80) {
        c = lead;
        return 1;
    } else if ((lead & 0xe0) == 0xc0) {
        length = 2, c = lead & 0x1f, min = 0x80;
    } else if ((lead & 0xf0) == 0xe0) {
        length = 3, c = lead & 0x0f, min = 0x800;
    } else if ((lead & 0xf8) == 0xf0) {
        length = 4, c = lead & 0x07, min = 0x10000;
    } else {
        return 0;
    }
    if (i + length > bytes.size())
        return 0;
    for (qsizetype k = 1; k < length; ++k) {
        if ((b(k) & 0xc0) != 0x80)
            return 0;
        c = (c << 6) | (b(k) & 0x3f);
    }
    if (c < min || c > 0x10ffff || (c >= 0xd800 && c <= 0xdfff))
        return 0;
    return length;
}
} // namespace

QString escapeForLog(QByteArrayView bytes)
{
    QString out;
    out.reserve(bytes.size());
    for (qsizetype i = 0; i < bytes.size();) {
        char32_t c = 0;
        const qsizetype length = decodeUtf8(bytes, i, c);
        if (length == 0) {
            out += QStringLiteral("\\x%1").arg(uint(uchar(bytes[i])), 2, 16, QLatin1Char('0'));
            ++i;
        } else {
            appendCodePoint(out, c);
            i += length;
        }
    }
    return out;
}

QString escapeForLog(QStringView text)
{
    return escapeForLog(QByteArrayView(text.toUtf8()));
}
