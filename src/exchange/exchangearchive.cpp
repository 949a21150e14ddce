#include "exchangearchive.h"

#include "cbormessagereader.h"
#include "flatperson.h"

#include <QtEndian>
#include <QDate>
#include <QDateTime>
#include <QTimeZone>

namespace {

// CBOR written straight into one growing buffer, with definite lengths only; much cheaper per
// item than a stream writer on a QIODevice, which matters for an "AB" of 100,000 persons.
class Writer
{
public:
    explicit Writer(QByteArray &out) : m_out(out) {}

    void append(const QString &text)
    {
        // Most texts are ASCII: written straight in, without a UTF-8 copy.
        const QChar *chars = text.constData();
        const qsizetype size = text.size();
        bool ascii = true;
        for (qsizetype i = 0; i < size && ascii; ++i)
            ascii = chars[i].unicode() < 0x80;
        if (!ascii) {
            const QByteArray utf8 = text.toUtf8();
            head(3, quint64(utf8.size()));
            m_out.append(utf8);
            return;
        }
        head(3, quint64(size));
        const qsizetype at = m_out.size();
        m_out.resize(at + size);
        char *out = m_out.data() + at;
        for (qsizetype i = 0; i < size; ++i)
            out[i] = char(chars[i].unicode());
    }
    void append(const QByteArray &bytes)
    {
        head(2, quint64(bytes.size()));
        m_out.append(bytes);
    }
    void append(bool value) { m_out.append(char(value ? 0xf5 : 0xf4)); }
    void append(qint64 value)
    {
        if (value >= 0)
            head(0, quint64(value));
        else
            head(1, quint64(-1 - value));
    }
    void append(quint64 value) { head(0, value); }
    void append(double value)
    {
        char bytes[9];
        bytes[0] = char(0xfb);
        qToBigEndian(value, bytes + 1);
        m_out.append(bytes, 9);
    }
    void append(QCborKnownTags tag) { head(6, quint64(tag)); }
    void startArray(quint64 count) { head(4, count); }
    void startMap(quint64 count) { head(5, count); }
    bool endArray() { return true; }
    bool endMap() { return true; }

private:
    void head(int major, quint64 value)
    {
        char bytes[9];
        const char type = char(major << 5);
        if (value < 24) {
            m_out.append(char(type | char(value)));
            return;
        }
        qsizetype size;
        if (value <= 0xff) {
            bytes[0] = char(type | 24);
            bytes[1] = char(value);
            size = 2;
        } else if (value <= 0xffff) {
            bytes[0] = char(type | 25);
            qToBigEndian(quint16(value), bytes + 1);
            size = 3;
        } else if (value <= 0xffffffffu) {
            bytes[0] = char(type | 26);
            qToBigEndian(quint32(value), bytes + 1);
            size = 5;
        } else {
            bytes[0] = char(type | 27);
            qToBigEndian(value, bytes + 1);
            size = 9;
        }
        m_out.append(bytes, size);
    }

    QByteArray &m_out;
};

QString dateText(const QDateTime &dateTime)
{
    // RFC 3339, always with the zone offset; milliseconds only when there are any.
    const int offset = dateTime.offsetFromUtc();
    const QDateTime wall = dateTime.toOffsetFromUtc(offset);
    QString text = wall.toString(wall.time().msec() != 0 ? u"yyyy-MM-ddTHH:mm:ss.zzz"_qs : u"yyyy-MM-ddTHH:mm:ss"_qs);
    if (offset == 0)
        return text + u'Z';
    const int minutes = qAbs(offset) / 60;
    return text + (offset < 0 ? u'-' : u'+') + QStringLiteral("%1:%2").arg(minutes / 60, 2, 10, QChar(u'0')).arg(minutes % 60, 2, 10, QChar(u'0'));
}

bool inYearRange(const QDateTime &dateTime)
{
    const int utcYear = dateTime.toUTC().date().year();
    const int wallYear = dateTime.date().year();
    return utcYear >= 1 && utcYear <= 9999 && wallYear >= 1 && wallYear <= 9999;
}

bool writeValue(Writer &writer, const QVariant &value);

bool writeTextMap(Writer &writer, const QVariantMap &map)
{
    writer.startMap(static_cast<quint64>(map.size()));
    for (auto it = map.constBegin(); it != map.constEnd(); ++it) {
        writer.append(it.key());
        if (!writeValue(writer, it.value()))
            return false;
    }
    return writer.endMap();
}

bool writeValue(Writer &writer, const QVariant &value)
{
    const int type = value.typeId();
    switch (type) {
    case QMetaType::QString:
        writer.append(*static_cast<const QString *>(value.constData()));
        return true;
    case QMetaType::Bool:
        writer.append(value.toBool());
        return true;
    case QMetaType::Int:
    case QMetaType::Short:
    case QMetaType::Long:
    case QMetaType::LongLong:
    case QMetaType::SChar:
        writer.append(static_cast<qint64>(value.toLongLong()));
        return true;
    case QMetaType::UInt:
    case QMetaType::UShort:
    case QMetaType::ULong:
    case QMetaType::ULongLong:
    case QMetaType::UChar:
        writer.append(static_cast<quint64>(value.toULongLong()));
        return true;
    case QMetaType::Double:
    case QMetaType::Float:
        writer.append(value.toDouble());
        return true;
    case QMetaType::QByteArray:
        writer.append(value.toByteArray());
        return true;
    case QMetaType::QDateTime: {
        const QDateTime dateTime = value.toDateTime();
        if (!dateTime.isValid() || !inYearRange(dateTime))
            return false;
        writer.append(QCborKnownTags::DateTimeString);
        writer.append(dateText(dateTime));
        return true;
    }
    case QMetaType::QDate: {
        const QDate date = value.toDate();
        if (!date.isValid() || date.year() < 1 || date.year() > 9999)
            return false;
        writer.append(QCborKnownTags::DateTimeString);
        writer.append(dateText(date.startOfDay(QTimeZone::utc())));
        return true;
    }
    case QMetaType::QStringList: {
        const QStringList list = value.toStringList();
        writer.startArray(static_cast<quint64>(list.size()));
        for (const QString &text : list)
            writer.append(text);
        return writer.endArray();
    }
    case QMetaType::QVariantList: {
        const QVariantList &list = *static_cast<const QVariantList *>(value.constData());
        writer.startArray(static_cast<quint64>(list.size()));
        for (const QVariant &element : list) {
            if (!writeValue(writer, element))
                return false;
        }
        return writer.endArray();
    }
    case QMetaType::QVariantMap:
        return writeTextMap(writer, *static_cast<const QVariantMap *>(value.constData()));
    case QMetaType::QVariantHash: {
        const QVariantHash hash = value.toHash();
        QVariantMap map;
        for (auto it = hash.constBegin(); it != hash.constEnd(); ++it)
            map.insert(it.key(), it.value());
        return writeTextMap(writer, map);
    }
    default:
        break;
    }
    if (type == QMetaType::fromType<OwnerCard>().id()) {
        const OwnerCard card = value.value<OwnerCard>();
        writer.startMap(static_cast<quint64>(card.size()));
        for (auto it = card.constBegin(); it != card.constEnd(); ++it) {
            writer.append(static_cast<qint64>(it.key()));
            writer.append(it.value());
        }
        return writer.endMap();
    }
    return false;
}

} // namespace

std::optional<QByteArray> ExchangeArchive::encode(const QVariantMap &message)
{
    QByteArray out;
    Writer writer(out);
    if (!writeTextMap(writer, message))
        return std::nullopt;
    return out;
}

std::optional<QVariantMap> ExchangeArchive::decode(const QByteArray &payload, const QString &listKey)
{
    CborMessageReader reader(payload);
    return reader.readMessage(listKey);
}

namespace {
// Digits at text[at, at + count) as a number, or -1.
int digits(QStringView text, qsizetype at, int count)
{
    if (at + count > text.size())
        return -1;
    int value = 0;
    for (int i = 0; i < count; ++i) {
        const char16_t c = text[at + i].unicode();
        if (c < u'0' || c > u'9')
            return -1;
        value = value * 10 + (c - u'0');
    }
    return value;
}

bool isChar(QStringView text, qsizetype at, char16_t c)
{
    return at < text.size() && text[at].unicode() == c;
}
} // namespace

// A date without a zone offset would be a different instant on each receiver, so only the full
// form is read: yyyy-mm-ddThh:mm:ss[.fraction](Z|+hh:mm|-hh:mm); T and Z in either case.
std::optional<QDateTime> ExchangeArchive::parseDateTime(QStringView text)
{
    const int year = digits(text, 0, 4), month = digits(text, 5, 2), day = digits(text, 8, 2);
    const int hour = digits(text, 11, 2), minute = digits(text, 14, 2), second = digits(text, 17, 2);
    if (year < 0 || month < 0 || day < 0 || hour < 0 || minute < 0 || second < 0 || !isChar(text, 4, u'-') ||
        !isChar(text, 7, u'-') || !(isChar(text, 10, u'T') || isChar(text, 10, u't')) || !isChar(text, 13, u':') ||
        !isChar(text, 16, u':'))
        return std::nullopt;
    qsizetype at = 19;
    int msec = 0;
    if (isChar(text, at, u'.')) {
        const qsizetype first = ++at;
        for (; at < text.size() && text[at] >= u'0' && text[at] <= u'9'; ++at) {
            if (at - first < 3)
                msec = msec * 10 + (text[at].unicode() - u'0');
        }
        if (at == first)
            return std::nullopt;
        for (qsizetype n = at - first; n < 3; ++n)
            msec *= 10;
    }
    int offset = 0;
    if (isChar(text, at, u'Z') || isChar(text, at, u'z')) {
        ++at;
    } else if (isChar(text, at, u'+') || isChar(text, at, u'-')) {
        const int sign = isChar(text, at, u'-') ? -1 : 1;
        const int offsetHours = digits(text, at + 1, 2), offsetMinutes = digits(text, at + 4, 2);
        if (offsetHours < 0 || offsetHours > 23 || offsetMinutes < 0 || offsetMinutes > 59 || !isChar(text, at + 3, u':'))
            return std::nullopt;
        offset = sign * (offsetHours * 3600 + offsetMinutes * 60);
        at += 6;
    } else {
        return std::nullopt;
    }
    if (at != text.size() || year < 1 || hour > 23 || minute > 59 || second > 60)
        return std::nullopt;
    const QDate date(year, month, day);
    if (!date.isValid())
        return std::nullopt;
    const bool leap = second == 60;
    const QTime time(hour, minute, leap ? 59 : second, leap ? 999 : msec);
    QDateTime dateTime = offset == 0 ? QDateTime(date, time, Qt::UTC) : QDateTime(date, time, Qt::OffsetFromUTC, offset);
    if (!dateTime.isValid() || !inYearRange(dateTime))
        return std::nullopt;
    if (leap) {
        // A leap second is inserted only after 23:59:59 UTC.
        const QTime utc = dateTime.toUTC().time();
        if (utc.hour() != 23 || utc.minute() != 59)
            return std::nullopt;
    }
    return dateTime;
}
