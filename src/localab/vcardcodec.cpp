#include "vcardcodec.h"


#include <QStringDecoder>

#include <algorithm>
#include <cstring>
#include <vector>

namespace {

bool isAscii(QByteArrayView bytes)
{
    for (char c : bytes) {
        if (static_cast<unsigned char>(c) >= 0x80)
            return false;
    }
    return true;
}

// Text in a declared charset; UTF-8 when none is declared. Bytes that are not valid UTF-8 are old
// Windows exports more often than anything else, so they are read as Windows-1252.
QString decodeText(QByteArrayView bytes, const QString &charset)
{
    if (isAscii(bytes))
        return QString::fromLatin1(bytes);
    if (!charset.isEmpty() && charset.compare(QLatin1String("utf-8"), Qt::CaseInsensitive) != 0) {
        QStringDecoder decoder(charset.toLatin1().constData(), QStringDecoder::Flag::ConvertInitialBom);
        if (decoder.isValid()) {
            QString text = decoder(bytes);
            if (!decoder.hasError())
                return text;
        }
    }
    // A U+FEFF inside a line is text like any other; only the file's own BOM is not.
    QStringDecoder utf8(QStringDecoder::Utf8, QStringDecoder::Flag::ConvertInitialBom);
    QString text = utf8(bytes);
    if (!utf8.hasError())
        return text;
    QStringDecoder cp1252("windows-1252");
    if (cp1252.isValid()) {
        text = cp1252(bytes);
        if (!cp1252.hasError())
            return text;
    }
    return QString::fromLatin1(bytes);
}

int hexDigit(char c)
{
    if (c >= '0' && c <= '9')
        return c - '0';
    if (c >= 'A' && c <= 'F')
        return c - 'A' + 10;
    if (c >= 'a' && c <= 'f')
        return c - 'a' + 10;
    return -1;
}

QByteArray decodeQuotedPrintable(const QByteArray &in)
{
    QByteArray out;
    out.reserve(in.size());
    for (qsizetype i = 0; i < in.size(); ++i) {
        const char c = in.at(i);
        if (c == '=' && i + 2 < in.size()) {
            const int hi = hexDigit(in.at(i + 1));
            const int lo = hexDigit(in.at(i + 2));
            if (hi >= 0 && lo >= 0) {
                out.append(static_cast<char>(hi * 16 + lo));
                i += 2;
                continue;
            }
        }
        out.append(c);
    }
    return out;
}

// RFC 6868: ^n newline, ^^ caret, ^' double quote.
QString decodeParamValue(QString value)
{
    if (value.size() >= 2 && value.startsWith(u'"') && value.endsWith(u'"'))
        value = value.mid(1, value.size() - 2);
    if (!value.contains(u'^'))
        return value;
    QString out;
    out.reserve(value.size());
    for (qsizetype i = 0; i < value.size(); ++i) {
        if (value.at(i) == u'^' && i + 1 < value.size()) {
            const QChar next = value.at(i + 1);
            if (next == u'n' || next == u'N') {
                out.append(u'\n');
                ++i;
                continue;
            }
            if (next == u'^') {
                out.append(u'^');
                ++i;
                continue;
            }
            if (next == u'\'') {
                out.append(u'"');
                ++i;
                continue;
            }
        }
        out.append(value.at(i));
    }
    return out;
}

QString encodeParamValue(const QString &name, const QString &value)
{
    const bool listParam = name == QLatin1String("TYPE");
    // Most values (a TYPE word, say) need neither encoding nor quotes: shared as they are.
    if (!value.isNull() && std::none_of(value.cbegin(), value.cend(), [listParam](QChar c) {
            return c == u'^' || c == u'\n' || c == u'"' || c == u'\r' || c == u':' || c == u';' || (!listParam && c == u',');
        }))
        return value;
    QString out;
    out.reserve(value.size());
    for (QChar c : value) {
        if (c == u'^')
            out.append(QLatin1String("^^"));
        else if (c == u'\n')
            out.append(QLatin1String("^n"));
        else if (c == u'"')
            out.append(QLatin1String("^'"));
        else if (c != u'\r')
            out.append(c);
    }
    if (out.contains(u':') || out.contains(u';') || (!listParam && out.contains(u',')))
        return u'"' + out + u'"';
    return out;
}

// Splits at separators outside double quotes.
QList<QStringView> splitOutsideQuotes(QStringView text, QChar separator)
{
    QList<QStringView> parts;
    bool quoted = false;
    qsizetype start = 0;
    for (qsizetype i = 0; i < text.size(); ++i) {
        const QChar c = text.at(i);
        if (c == u'"')
            quoted = !quoted;
        else if (c == separator && !quoted) {
            parts.append(text.mid(start, i - start));
            start = i + 1;
        }
    }
    parts.append(text.mid(start));
    return parts;
}

qsizetype colonOutsideQuotes(const QByteArray &line)
{
    bool quoted = false;
    for (qsizetype i = 0; i < line.size(); ++i) {
        const char c = line.at(i);
        if (c == '"')
            quoted = !quoted;
        else if (c == ':' && !quoted)
            return i;
    }
    // Some writers quote carelessly; fall back to the first colon.
    return line.indexOf(':');
}

// Whether a line's parameters make its value quoted-printable (";QUOTED-PRINTABLE" or
// "ENCODING=QUOTED-PRINTABLE", as a whole parameter value): then "=" at a line end is a soft break.
bool headIsQuotedPrintable(const QByteArray &line)
{
    const qsizetype colon = line.indexOf(':');
    const qsizetype size = colon < 0 ? line.size() : colon;
    constexpr qsizetype needle = 16; // QUOTED-PRINTABLE
    for (qsizetype i = 1; i + needle <= size; ++i) {
        const char before = line.at(i - 1);
        const char after = i + needle < line.size() ? line.at(i + needle) : ':';
        if ((before == ';' || before == '=' || before == ',') && (after == ';' || after == ':' || after == ',') &&
            qstrnicmp(line.constData() + i, "QUOTED-PRINTABLE", needle) == 0)
            return true;
    }
    return false;
}

struct LogicalLine
{
    QByteArray bytes;
    bool quotedPrintable = false;
    qsizetype begin = 0; // in the parsed data, line end of the last physical line included
    qsizetype end = 0;
};

// Unfolds on bytes, so that a fold inside a multibyte character joins it again before decoding.
QList<LogicalLine> logicalLines(const QByteArray &data, qsizetype pos)
{
    QList<LogicalLine> lines;
    lines.reserve(data.size() / 32 + 4); // a guess: counting the line ends costs as much as the lines
    const qsizetype size = data.size();
    while (pos < size) {
        const qsizetype start = pos;
        qsizetype end = data.indexOf('\n', pos);
        if (end < 0)
            end = size;
        qsizetype stop = end;
        if (stop > pos && data.at(stop - 1) == '\r')
            --stop;
        const QByteArrayView physical(data.constData() + pos, stop - pos);
        pos = std::min(end + 1, size);
        if (!lines.isEmpty()) {
            LogicalLine &last = lines.last();
            if (last.quotedPrintable && last.bytes.endsWith('=')) {
                last.bytes.chop(1); // soft line break
                last.bytes.append(physical);
                last.end = pos;
                continue;
            }
            if (!physical.isEmpty() && (physical.at(0) == ' ' || physical.at(0) == '\t')) {
                last.bytes.append(physical.sliced(1));
                last.end = pos;
                continue;
            }
        }
        if (physical.trimmed().isEmpty())
            continue;
        LogicalLine line;
        // A view into the file's bytes; it is copied only when a folded line is appended to it.
        line.bytes = QByteArray::fromRawData(physical.data(), physical.size());
        line.quotedPrintable = headIsQuotedPrintable(line.bytes);
        line.begin = start;
        line.end = pos;
        lines.append(line);
    }
    return lines;
}

// The head of a line with non-ASCII text in it (decoded as a whole first).
bool parseHead(const QString &head, VCardProperty &prop, QString *charsetOut, bool *quotedPrintableOut)
{
    const QList<QStringView> parts = splitOutsideQuotes(head, u';');
    QStringView nameView = parts.first().trimmed();
    const qsizetype dot = nameView.lastIndexOf(u'.');
    if (dot >= 0) {
        prop.group = nameView.left(dot).toString();
        nameView = nameView.mid(dot + 1);
    }
    prop.name = nameView.toString().toUpper();
    if (prop.name.isEmpty())
        return false;
    QString &charset = *charsetOut;
    bool &quotedPrintable = *quotedPrintableOut;
    for (qsizetype i = 1; i < parts.size(); ++i) {
        const QStringView part = parts.at(i).trimmed();
        if (part.isEmpty())
            continue;
        const qsizetype eq = part.indexOf(u'=');
        QString pname;
        QString pvalue;
        if (eq < 0) {
            // vCard 2.1 bare parameters: TEL;WORK;VOICE, or an encoding named alone.
            pvalue = part.toString();
            const QString upper = pvalue.toUpper();
            if (upper == QLatin1String("QUOTED-PRINTABLE") || upper == QLatin1String("BASE64") ||
                upper == QLatin1String("8BIT") || upper == QLatin1String("7BIT") ||
                upper == QLatin1String("B"))
                pname = QStringLiteral("ENCODING");
            else
                pname = QStringLiteral("TYPE");
        } else {
            pname = part.left(eq).trimmed().toString().toUpper();
            pvalue = decodeParamValue(part.mid(eq + 1).trimmed().toString());
        }
        if (pname == QLatin1String("CHARSET"))
            charset = pvalue;
        if (pname == QLatin1String("ENCODING") &&
            pvalue.compare(QLatin1String("QUOTED-PRINTABLE"), Qt::CaseInsensitive) == 0)
            quotedPrintable = true;
        prop.params.append({pname, pvalue});
    }
    return true;
}

// Names and parameter values that nearly every card repeats, as shared texts: a store of many
// cards then holds one copy of each instead of one per line.
QString commonText(QByteArrayView bytes)
{
    struct Known
    {
        QByteArrayView bytes;
        QString text;
    };
    // By length, so that a piece is compared with the few words of its length only.
    constexpr qsizetype kLongest = 26;
    static const std::vector<std::vector<Known>> known = [] {
        std::vector<std::vector<Known>> all(kLongest + 1);
        for (const char *word :
             {"N", "FN", "UID", "TEL", "EMAIL", "ADR", "ORG", "URL", "REV", "BDAY", "NOTE", "TITLE", "BEGIN", "END",
              "VERSION", "PRODID", "NICKNAME", "CATEGORIES", "PHOTO", "KIND", "MEMBER", "ROLE", "X-ABLABEL",
              "X-ADDRESSBOOKSERVER-KIND", "X-ADDRESSBOOKSERVER-MEMBER", "TYPE", "PREF", "VALUE", "ENCODING",
              "CHARSET", "work", "home", "cell", "voice", "pref", "internet", "fax", "WORK", "HOME", "CELL", "VOICE",
              "INTERNET", "FAX", "uri", "1", "item1", "item2", "item3", "item4"}) {
            const QByteArrayView bytes(word);
            all[size_t(bytes.size())].push_back({bytes, QString::fromLatin1(bytes)});
        }
        return all;
    }();
    if (!bytes.isEmpty() && bytes.size() <= kLongest) {
        // The first byte tells most words of a length apart without a call.
        for (const Known &word : known[size_t(bytes.size())]) {
            if (word.bytes.front() == bytes.front() &&
                memcmp(word.bytes.data(), bytes.data(), size_t(bytes.size())) == 0)
                return word.text;
        }
    }
    return QString::fromLatin1(bytes);
}

QByteArrayView trimmedBytes(QByteArrayView bytes)
{
    return bytes.trimmed();
}

QString upperText(QByteArrayView bytes)
{
    for (char c : bytes) {
        if (c >= 'a' && c <= 'z')
            return commonText(bytes.toByteArray().toUpper());
    }
    return commonText(bytes);
}

// The head (group, name, parameters) of a line whose head is ASCII, read on bytes: the same
// result as the general path below, without a text per piece.
void parseAsciiHead(QByteArrayView head, VCardProperty &prop, QString *charset, bool *quotedPrintable)
{
    qsizetype start = 0;
    bool quoted = false;
    bool first = true;
    for (qsizetype i = 0; i <= head.size(); ++i) {
        if (i < head.size()) {
            const char c = head.at(i);
            if (c == '"')
                quoted = !quoted;
            if (c != ';' || quoted)
                continue;
        }
        const QByteArrayView part = trimmedBytes(head.sliced(start, i - start));
        start = i + 1;
        if (first) {
            first = false;
            QByteArrayView name = part;
            // memrchr and memchr for one byte: QByteArrayView's search takes it as a text of any length.
            if (const char *dot = static_cast<const char *>(memrchr(name.data(), '.', size_t(name.size())))) {
                prop.group = commonText(name.first(dot - name.data()));
                name = name.sliced(dot - name.data() + 1);
            }
            prop.name = upperText(name);
            continue;
        }
        if (part.isEmpty())
            continue;
        const char *const equals = static_cast<const char *>(memchr(part.data(), '=', size_t(part.size())));
        const qsizetype eq = equals ? equals - part.data() : -1;
        QString pname;
        QString pvalue;
        if (eq < 0) {
            pvalue = commonText(part);
            const QByteArray upper = part.toByteArray().toUpper();
            pname = upper == "QUOTED-PRINTABLE" || upper == "BASE64" || upper == "8BIT" || upper == "7BIT" || upper == "B"
                        ? QStringLiteral("ENCODING")
                        : QStringLiteral("TYPE");
        } else {
            pname = upperText(trimmedBytes(part.first(eq)));
            const QByteArrayView value = trimmedBytes(part.sliced(eq + 1));
            const bool quotedOrCaret = memchr(value.data(), '"', size_t(value.size())) ||
                                       memchr(value.data(), '^', size_t(value.size()));
            pvalue = quotedOrCaret ? decodeParamValue(QString::fromLatin1(value)) : commonText(value);
        }
        if (pname == QLatin1String("CHARSET"))
            *charset = pvalue;
        if (pname == QLatin1String("ENCODING") &&
            pvalue.compare(QLatin1String("QUOTED-PRINTABLE"), Qt::CaseInsensitive) == 0)
            *quotedPrintable = true;
        prop.params.append({pname, pvalue});
    }
}

// colon: where colonOutsideQuotes() found it, when that is known already.
bool parseLine(const LogicalLine &logical, VCardProperty &prop, qsizetype colon = -2)
{
    const QByteArray &line = logical.bytes;
    prop.begin = logical.begin;
    prop.end = logical.end;
    if (colon == -2)
        colon = colonOutsideQuotes(line);
    if (colon <= 0)
        return false;
    QString charset;
    bool quotedPrintable = false;
    const QByteArrayView headBytes(line.constData(), colon);
    if (isAscii(headBytes)) {
        parseAsciiHead(headBytes, prop, &charset, &quotedPrintable);
        if (prop.name.isEmpty())
            return false;
    } else if (!parseHead(decodeText(headBytes, QString()), prop, &charset, &quotedPrintable)) {
        return false;
    }
    QByteArrayView raw(line.constData() + colon + 1, line.size() - colon - 1);
    QByteArray decoded;
    if (quotedPrintable || logical.quotedPrintable) {
        decoded = decodeQuotedPrintable(raw.toByteArray());
        raw = decoded;
        // The value is plain text from here on; the write side must not claim otherwise.
        prop.params.removeIf([](const QPair<QString, QString> &p) {
            return p.first == QLatin1String("ENCODING") &&
                   p.second.compare(QLatin1String("QUOTED-PRINTABLE"), Qt::CaseInsensitive) == 0;
        });
    }
    prop.value = decodeText(raw, charset);
    if (!charset.isEmpty())
        prop.params.removeIf(
            [](const QPair<QString, QString> &p) { return p.first == QLatin1String("CHARSET"); });
    return true;
}

} // namespace

QStringList VCardProperty::paramValues(const QString &paramName) const
{
    QStringList values;
    const bool lower = paramName == QLatin1String("TYPE");
    for (const auto &param : params) {
        if (param.first != paramName)
            continue;
        const QString &text = param.second;
        if (!text.isEmpty() && !text.contains(u',') && !text.contains(u'"') && !text.front().isSpace() &&
            !text.back().isSpace() && !(lower && text != text.toLower())) {
            values.append(text); // the usual single value, shared
            continue;
        }
        for (QStringView piece : splitOutsideQuotes(param.second, u',')) {
            QString value = piece.trimmed().toString();
            if (value.size() >= 2 && value.startsWith(u'"') && value.endsWith(u'"'))
                value = value.mid(1, value.size() - 2);
            if (value.isEmpty())
                continue;
            values.append(lower ? value.toLower() : value);
        }
    }
    return values;
}

bool VCardProperty::hasParam(const QString &paramName) const
{
    for (const auto &param : params) {
        if (param.first == paramName)
            return true;
    }
    return false;
}

QList<const VCardProperty *> VCard::all(const QString &name) const
{
    QList<const VCardProperty *> found;
    for (const VCardProperty &prop : properties) {
        if (prop.name == name)
            found.append(&prop);
    }
    return found;
}

const VCardProperty *VCard::first(const QString &name) const
{
    for (const VCardProperty &prop : properties) {
        if (prop.name == name)
            return &prop;
    }
    return nullptr;
}

namespace {

enum class LineUse { Read, Passed, Unreadable };

// Whether a line is read into the card: its name is one of names or makes up a card (Read), it is
// a line of another name (Passed), or it has no name or colon (Unreadable, as parseLine finds).
// A head that is not ASCII is read in full.
LineUse lineUse(const QByteArray &line, const QList<QByteArrayView> &names, qsizetype *colonOut)
{
    const qsizetype colon = colonOutsideQuotes(line);
    *colonOut = colon;
    if (colon <= 0)
        return LineUse::Unreadable;
    const QByteArrayView head(line.constData(), colon);
    if (!isAscii(head))
        return LineUse::Read;
    // The first part of the head, as parseAsciiHead splits it, without its item group.
    qsizetype end = 0;
    for (bool quoted = false; end < head.size(); ++end) {
        const char c = head.at(end);
        if (c == '"')
            quoted = !quoted;
        else if (c == ';' && !quoted)
            break;
    }
    QByteArrayView name = head.first(end).trimmed();
    for (qsizetype dot = name.size() - 1; dot >= 0; --dot) {
        if (name.at(dot) == '.') {
            name = name.sliced(dot + 1);
            break;
        }
    }
    if (name.isEmpty())
        return LineUse::Unreadable;
    char upper[32];
    if (name.size() > qsizetype(sizeof upper))
        return LineUse::Read; // a rare long name: read in full, to be safe
    for (qsizetype i = 0; i < name.size(); ++i)
        upper[i] = name.at(i) >= 'a' && name.at(i) <= 'z' ? char(name.at(i) - 'a' + 'A') : name.at(i);
    static const QByteArrayView structure[] = {"BEGIN", "END", "VERSION", "AGENT"};
    const auto same = [&upper, size = name.size()](QByteArrayView word) {
        return word.size() == size && memcmp(word.data(), upper, size_t(size)) == 0;
    };
    return std::any_of(std::begin(structure), std::end(structure), same) || std::any_of(names.begin(), names.end(), same)
               ? LineUse::Read
               : LineUse::Passed;
}

} // namespace

namespace VCardCodec {

ParseResult parse(const QByteArray &input)
{
    return parse(input, {});
}

ParseResult parse(const QByteArray &input, const QList<QByteArrayView> &names)
{
    ParseResult result;
    result.data = input;
    QByteArray &data = result.data;
    qsizetype start = 0;
    if (data.startsWith("\xEF\xBB\xBF")) {
        start = 3; // kept in data, so that positions are those of the file
    } else if (data.startsWith("\xFF\xFE") || data.startsWith("\xFE\xFF")) {
        QStringDecoder utf16(data.startsWith("\xFF\xFE") ? QStringDecoder::Utf16LE : QStringDecoder::Utf16BE);
        data = QString(utf16(data.mid(2))).toUtf8();
    }
    const QList<LogicalLine> lines = logicalLines(data, start);

    bool inCard = false;
    int nested = 0;
    bool sawAnyCard = false;
    bool passedLast = false; // the card's last line was not read: it is no AGENT
    VCard card;
    for (const LogicalLine &logical : lines) {
        qsizetype colon = -2;
        if (!names.isEmpty()) {
            const LineUse use = lineUse(logical.bytes, names, &colon);
            if (use == LineUse::Unreadable)
                continue;
            if (use == LineUse::Passed) {
                passedLast = passedLast || (inCard && nested == 0);
                continue;
            }
        }
        VCardProperty prop;
        if (!parseLine(logical, prop, colon))
            continue; // a line without a name or colon carries nothing we could use
        const bool isBegin = (prop.name.size() == 5 && prop.name == QLatin1String("BEGIN")) &&
                             prop.value.trimmed().compare(QLatin1String("VCARD"), Qt::CaseInsensitive) == 0;
        const bool isEnd = (prop.name.size() == 3 && prop.name == QLatin1String("END")) &&
                           prop.value.trimmed().compare(QLatin1String("VCARD"), Qt::CaseInsensitive) == 0;
        if (!inCard) {
            if (isBegin) {
                inCard = true;
                sawAnyCard = true;
                card = VCard();
                card.properties.reserve(24);
                passedLast = false;
            }
            continue;
        }
        if (nested > 0) {
            // A card embedded in a 2.1 AGENT property: not ours to model.
            if (isBegin)
                ++nested;
            else if (isEnd)
                --nested;
            continue;
        }
        if (isBegin) {
            if (!passedLast && !card.properties.isEmpty() && card.properties.last().name == QLatin1String("AGENT")) {
                ++nested;
                continue;
            }
            // The card before lacks its END: it is not trusted, the new one starts clean.
            result.errors.append(QStringLiteral("a card has no END:VCARD"));
            card = VCard();
            passedLast = false;
            continue;
        }
        if (isEnd) {
            card.endLine = logical.begin;
            if (card.version.isEmpty())
                card.version = QStringLiteral("3.0");
            result.cards.append(card);
            inCard = false;
            continue;
        }
        if ((prop.name.size() == 7 && prop.name == QLatin1String("VERSION"))) {
            card.version = prop.value.trimmed();
            continue;
        }
        card.properties.append(std::move(prop));
        passedLast = false;
    }
    if (inCard)
        result.errors.append(QStringLiteral("a card has no END:VCARD"));
    if (!sawAnyCard)
        result.errors.append(QStringLiteral("no BEGIN:VCARD found"));
    return result;
}

namespace {

// Letters, digits and "-" only: asked of every name written, so no pattern engine.
bool isToken(QStringView text)
{
    return !text.isEmpty() && std::all_of(text.cbegin(), text.cend(), [](QChar c) {
               const char16_t u = c.unicode();
               return (u >= u'A' && u <= u'Z') || (u >= u'a' && u <= u'z') || (u >= u'0' && u <= u'9') || u == u'-';
           });
}

} // namespace

bool isWritable(const VCardProperty &prop)
{
    // A name outside the grammar (a stray quote or "=", say) would be read back as something else.
    return isToken(prop.name) && (prop.group.isEmpty() || isToken(prop.group));
}

namespace {

void appendFolded(QByteArray &out, const QByteArray &bytes, QByteArrayView lineEnd)
{
    qsizetype pos = 0;
    qsizetype limit = 75;
    while (bytes.size() - pos > limit) {
        qsizetype cut = pos + limit;
        // Never split a multibyte character.
        while (cut > pos && (static_cast<unsigned char>(bytes.at(cut)) & 0xC0) == 0x80)
            --cut;
        out.append(bytes.constData() + pos, cut - pos);
        out.append(lineEnd);
        out.append(' ');
        pos = cut;
        limit = 74;
    }
    out.append(bytes.constData() + pos, bytes.size() - pos);
    out.append(lineEnd);
}

// Quoted-printable with soft line breaks, lines of at most 76 octets, never inside an "=XX".
void appendQuotedPrintable(QByteArray &out, QByteArray head, const QByteArray &value, QByteArrayView lineEnd)
{
    QByteArray line = std::move(head);
    for (qsizetype i = 0; i < value.size(); ++i) {
        const auto c = static_cast<unsigned char>(value.at(i));
        const bool last = i + 1 == value.size();
        QByteArray piece;
        if ((c >= 33 && c <= 126 && c != '=') || (c == ' ' && !last))
            piece = QByteArray(1, char(c));
        else
            piece = '=' + QByteArray::number(c, 16).toUpper().rightJustified(2, '0');
        if (line.size() + piece.size() > 75) {
            out.append(line);
            out.append('=');
            out.append(lineEnd);
            line.clear();
        }
        line.append(piece);
    }
    out.append(line);
    out.append(lineEnd);
}

} // namespace

namespace {

void appendLine(QByteArray &out, const VCardProperty &prop, QStringView version, QByteArrayView lineEnd)
{
    const bool v21 = version.startsWith(u'2');
    QString value = prop.value;
    bool quotedPrintable = false;
    bool utf8 = false;
    if (v21) {
        utf8 = !isAscii(value.toUtf8());
        quotedPrintable = utf8 || value.contains(u'\n') || value.contains(u'\r') || value.endsWith(u' ');
        if (quotedPrintable) {
            value.replace(QLatin1String("\r\n"), QLatin1String("\n"));
            value.replace(u'\r', u'\n');
            value.replace(QLatin1String("\n"), QLatin1String("\r\n"));
        }
    } else if (std::any_of(value.cbegin(), value.cend(), [](QChar c) { return c == u'\n' || c == u'\r'; })) {
        // Line breaks inside a value, a bare CR among them, never end the line.
        value.replace(QLatin1String("\r\n"), QLatin1String("\\n"));
        value.replace(u'\n', QLatin1String("\\n"));
        value.replace(u'\r', QLatin1String("\\n"));
    }
    // Put together piece by piece: every card written has a dozen lines or more.
    QString head;
    head.reserve(prop.group.size() + prop.name.size() + 32);
    if (!prop.group.isEmpty()) {
        head += prop.group;
        head += u'.';
    }
    head += prop.name;
    static const QLatin1String qp("QUOTED-PRINTABLE");
    for (const auto &param : prop.params) {
        // Values are written decoded: a stray QUOTED-PRINTABLE would make "=" at a fold a soft break.
        if (!isToken(param.first) || (param.second.size() >= qp.size() && param.second.contains(qp, Qt::CaseInsensitive)) ||
            (quotedPrintable && param.first == QLatin1String("CHARSET")))
            continue;
        QString paramValue = param.second;
        if (param.first == QLatin1String("ENCODING") &&
            paramValue.compare(QLatin1String("BASE64"), Qt::CaseInsensitive) == 0 && !v21)
            paramValue = QStringLiteral("b");
        if (v21 && param.first == QLatin1String("TYPE")) {
            for (QStringView type : splitOutsideQuotes(paramValue, u','))
                head += u';' + type.trimmed().toString();
        } else {
            head += u';';
            head += param.first;
            head += u'=';
            head += encodeParamValue(param.first, paramValue);
        }
    }
    if (quotedPrintable) {
        if (utf8)
            head += QLatin1String(";CHARSET=UTF-8");
        head += QLatin1String(";ENCODING=QUOTED-PRINTABLE:");
        appendQuotedPrintable(out, head.toUtf8(), value.toUtf8(), lineEnd);
        return;
    }
    head += u':';
    head += value;
    appendFolded(out, head.toUtf8(), lineEnd);
}

} // namespace

QByteArray formatLine(const VCardProperty &prop, QStringView version, QByteArrayView lineEnd)
{
    QByteArray out;
    appendLine(out, prop, version, lineEnd);
    return out;
}

QByteArray fold(const QByteArray &line, QByteArrayView lineEnd)
{
    QByteArray out;
    appendFolded(out, line, lineEnd);
    return out;
}

QByteArray serialize(const VCard &card)
{
    QByteArray out;
    out.reserve(512);
    out += "BEGIN:VCARD\r\nVERSION:3.0\r\n";
    for (const VCardProperty &prop : card.properties) {
        if (isWritable(prop))
            appendLine(out, prop, u"3.0", "\r\n");
    }
    out += "END:VCARD\r\n";
    return out;
}

QString unescape(const QString &text)
{
    return text.contains(u'\\') ? unescape(QStringView(text)) : text;
}

QString unescape(QStringView text)
{
    if (!text.contains(u'\\'))
        return text.toString();
    QString out;
    out.reserve(text.size());
    for (qsizetype i = 0; i < text.size(); ++i) {
        const QChar c = text.at(i);
        if (c == u'\\' && i + 1 < text.size()) {
            const QChar next = text.at(++i);
            out.append(next == u'n' || next == u'N' ? QChar(u'\n') : next);
        } else {
            out.append(c);
        }
    }
    return out;
}

QString escape(const QString &text)
{
    // A line break is a line break whatever its form: a bare CR written as it is would end the
    // line for some readers.
    if (text.contains(u'\r')) {
        QString unified = text;
        unified.replace(QLatin1String("\r\n"), QLatin1String("\n"));
        unified.replace(u'\r', u'\n');
        return escape(unified);
    }
    const auto special = [](QChar c) {
        const char16_t u = c.unicode();
        return u == u'\\' || u == u',' || u == u';' || u == u'\n';
    };
    // Most values need nothing escaped: shared, not copied a character at a time.
    const auto first = std::find_if(text.cbegin(), text.cend(), special);
    if (first == text.cend() && !text.isNull())
        return text;
    QString out;
    out.reserve(text.size() + 8);
    out.append(text.constData(), first - text.cbegin());
    for (QChar c : QStringView(first, text.cend())) {
        switch (c.unicode()) {
        case '\\':
            out.append(QLatin1String("\\\\"));
            break;
        case ',':
            out.append(QLatin1String("\\,"));
            break;
        case ';':
            out.append(QLatin1String("\\;"));
            break;
        case '\n':
            out.append(QLatin1String("\\n"));
            break;
        case '\r':
            break;
        default:
            out.append(c);
        }
    }
    return out;
}

QString escape21(const QString &text, bool compound)
{
    QString out;
    out.reserve(text.size() + 4);
    for (QChar c : text) {
        if (c == u'\\' || (compound && c == u';'))
            out.append(u'\\');
        out.append(c);
    }
    return out;
}

QStringList splitRaw(QStringView text, QChar separator)
{
    QStringList parts;
    parts.reserve(text.count(separator) + 1);
    qsizetype start = 0;
    for (qsizetype i = 0; i < text.size(); ++i) {
        const QChar c = text.at(i);
        if (c == u'\\') {
            ++i;
            continue;
        }
        if (c == separator) {
            parts.append(text.mid(start, i - start).toString());
            start = i + 1;
        }
    }
    parts.append(text.mid(start).toString());
    return parts;
}

QStringList splitUnescape(QStringView text, QChar separator)
{
    QStringList parts = splitRaw(text, separator);
    for (QString &part : parts) {
        if (part.contains(u'\\'))
            part = unescape(part);
    }
    return parts;
}

} // namespace VCardCodec
