#include "printabletext.h"

namespace {
bool needsEscape(char16_t c)
{
    return c < 0x20 || (c >= 0x7f && c <= 0x9f) || c == u'\\';
}
} // namespace

QString printableText(QStringView text)
{
    qsizetype first = 0;
    while (first < text.size() && !needsEscape(text[first].unicode()))
        ++first;
    if (first == text.size())
        return text.toString();
    QString out;
    out.reserve(text.size() + 16);
    out.append(text.left(first));
    static constexpr char16_t kHex[] = u"0123456789abcdef";
    for (qsizetype i = first; i < text.size(); ++i) {
        const char16_t c = text[i].unicode();
        if (!needsEscape(c)) {
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
            out.append(u'x');
            out.append(QChar(kHex[c >> 4]));
            out.append(QChar(kHex[c & 0xf]));
            break;
        }
    }
    return out;
}
