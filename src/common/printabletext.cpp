#include "printabletext.h"

namespace {
// Lone low surrogates U+DC80..U+DCFF stand for bytes that were not UTF-8.
constexpr char16_t kByteStandIn = 0xdc00;

bool isByteStandIn(char16_t c)
{
    return c >= 0xdc80 && c <= 0xdcff;
}

bool needsEscape(char16_t c)
{
    return c < 0x20 || (c >= 0x7f && c <= 0x9f) || c == u'\\' || c == 0x2028 || c == 0x2029 ||
           (c >= 0x202a && c <= 0x202e) || (c >= 0x2066 && c <= 0x2069) || c == 0xfeff;
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

QString printableText(QStringView text)
{
    qsizetype first = 0;
    while (first < text.size() && !needsEscape(text[first].unicode()) && !isByteStandIn(text[first].unicode()))
        ++first;
    if (first == text.size())
        return text.toString();
    QString out;
    out.reserve(text.size() + 16);
    out.append(text.left(first));
    static constexpr char16_t kHex[] = u"0123456789abcdef";
    for (qsizetype i = first; i < text.size(); ++i) {
        char16_t c = text[i].unicode();
        if (isByteStandIn(c)) {
            c -= kByteStandIn;
        } else if (!needsEscape(c)) {
            out.append(QChar(c));
            continue;
        }
        out.append(u'\\');
        switch (c) {
        case u'\\':
            out.append(u'\\');
            break;
        case u'\t':
            out.append(u't');
            break;
        case u'\n':
            out.append(u'n');
            break;
        case u'\r':
            out.append(u'r');
            break;
        default:
            if (c < 0x100) {
                out.append(u'x');
            } else {
                out.append(QLatin1String("u{"));
                for (int shift = 12; shift >= 8; shift -= 4)
                    out.append(QChar(kHex[(c >> shift) & 0xf]));
            }
            out.append(QChar(kHex[(c >> 4) & 0xf]));
            out.append(QChar(kHex[c & 0xf]));
            if (c >= 0x100)
                out.append(u'}');
            break;
        }
    }
    return out;
}

QString textFromBytes(QByteArrayView bytes)
{
    QString out;
    out.reserve(bytes.size());
    for (qsizetype i = 0; i < bytes.size();) {
        char32_t c = 0;
        const qsizetype length = decodeUtf8(bytes, i, c);
        if (length == 0) {
            out.append(QChar(char16_t(kByteStandIn + uchar(bytes[i]))));
            ++i;
        } else {
            out.append(QString::fromUcs4(&c, 1));
            i += length;
        }
    }
    return out;
}
