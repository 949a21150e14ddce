#include "exchangearchive.h"

#include "archivedrecords.h"
#include "cbormessagereader.h"
#include "cborwalker.h"
#include "flatperson.h"
#include "zassert.h"

#include <QtEndian>
#include <QDate>
#include <QHash>
#include <QMutex>
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

public:
    // The top-level key whose value is left out (encodeAround), and where it would have gone.
    QString spliceKey;
    qsizetype spliceAt = -1;
    qsizetype size() const { return m_out.size(); }
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

bool writeTextMap(Writer &writer, const QVariantMap &map, bool top = false)
{
    writer.startMap(static_cast<quint64>(map.size()));
    for (auto it = map.constBegin(); it != map.constEnd(); ++it) {
        writer.append(it.key());
        if (top && !writer.spliceKey.isNull() && it.key() == writer.spliceKey) {
            writer.spliceAt = writer.size();
            continue;
        }
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

std::optional<ExchangeArchive::Spliced> ExchangeArchive::encodeAround(const QVariantMap &message, const QString &key)
{
    ZASSERT(message.contains(key));
    QByteArray out;
    Writer writer(out);
    writer.spliceKey = key;
    if (!writeTextMap(writer, message, true) || writer.spliceAt < 0)
        return std::nullopt;
    return Spliced{out.left(writer.spliceAt), out.mid(writer.spliceAt)};
}

namespace {

// The last record list's maps with their encoding. A map that is shared with one of them (a
// record the store did not change) has the same content, so its bytes are reused: after one card
// changed, a list of 10,000 is mostly copied, not encoded again. The copies kept here keep each
// map's data alive, so an address seen here is never that of another map.
struct RecordCache
{
    struct Entry
    {
        QVariantMap map;
        qsizetype begin = 0;
        qsizetype end = 0;
    };
    QByteArray bytes;
    QHash<const void *, Entry> byData;
};

// A map's identity while it is alive: where its first value lives (nullptr when it is empty).
const void *identityOf(const QVariantMap &map)
{
    return map.isEmpty() ? nullptr : static_cast<const void *>(&*map.constBegin());
}

} // namespace

std::optional<QByteArray> ExchangeArchive::encodeRecordList(const QVariantList &records)
{
    static QMutex mutex;
    static RecordCache cache;
    const QMutexLocker lock(&mutex);
    RecordCache next;
    next.byData.reserve(records.size());
    QByteArray &out = next.bytes;
    out.reserve(cache.bytes.size() + 1024);
    Writer writer(out);
    writer.startArray(static_cast<quint64>(records.size()));
    for (const QVariant &record : records) {
        const qsizetype begin = out.size();
        if (record.metaType() != QMetaType::fromType<QVariantMap>()) {
            if (!writeValue(writer, record))
                return std::nullopt;
            continue;
        }
        const QVariantMap &map = *static_cast<const QVariantMap *>(record.constData());
        const void *id = identityOf(map);
        const auto cached = id ? cache.byData.constFind(id) : cache.byData.cend();
        if (cached != cache.byData.cend() && cached->map.isSharedWith(map))
            out.append(cache.bytes.constData() + cached->begin, cached->end - cached->begin);
        else if (!writeTextMap(writer, map))
            return std::nullopt;
        if (id)
            next.byData.insert(id, {map, begin, out.size()});
    }
    cache = std::move(next);
    return cache.bytes;
}

std::optional<QByteArray> ExchangeArchive::encodeItem(const QVariant &value)
{
    QByteArray out;
    Writer writer(out);
    if (!writeValue(writer, value))
        return std::nullopt;
    return out;
}

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
    if (listKey.isEmpty()) {
        CborMessageReader reader(payload);
        return reader.readMessage(listKey);
    }
    // One pass checks everything, the list's entries included; then only the few other values of
    // the message are built, each from where the pass found it.
    std::optional<CborWalker::Result> walked = CborWalker::walk(payload, listKey);
    if (!walked)
        return std::nullopt;
    QVariantMap message;
    for (const CborWalker::TopEntry &entry : std::as_const(walked->entries)) {
        QVariant value;
        if (entry.isList) {
            ArchivedRecords records;
            records.m_payload = payload;
            records.m_offsets = std::move(walked->listOffsets);
            records.m_depth = 3;
            value = QVariant::fromValue(std::move(records));
        } else {
            CborMessageReader reader(payload, entry.valueOffset);
            if (!reader.readItem(value, 2, kMaxItems))
                return std::nullopt; // the pass and the build disagree: refuse rather than guess
        }
        message.insert(entry.key, std::move(value));
    }
    return message;
}

namespace {
// The fields of an RFC 3339 date-time, read from ASCII text of either character width.
struct DateFields
{
    int year = 0, month = 0, day = 0, hour = 0, minute = 0, second = 0, msec = 0, offset = 0; // offset in seconds
    bool leap = false;
};

template<typename Char>
int digits(const Char *text, qsizetype size, qsizetype at, int count)
{
    if (at + count > size)
        return -1;
    int value = 0;
    for (int i = 0; i < count; ++i) {
        const auto c = text[at + i];
        if (c < '0' || c > '9')
            return -1;
        value = value * 10 + int(c - '0');
    }
    return value;
}

template<typename Char>
bool isChar(const Char *text, qsizetype size, qsizetype at, char c)
{
    return at < size && text[at] == Char(c);
}

bool isLeapYear(int year)
{
    return (year % 4 == 0 && year % 100 != 0) || year % 400 == 0;
}

int daysInMonth(int year, int month)
{
    static constexpr int kDays[] = {31, 28, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
    return month == 2 && isLeapYear(year) ? 29 : kDays[month - 1];
}

// A date without a zone offset would be a different instant on each receiver, so only the full
// form is read: yyyy-mm-ddThh:mm:ss[.fraction](Z|+hh:mm|-hh:mm); T and Z in either case. The
// checks need no calendar object, so that a check of many dates stays cheap.
template<typename Char>
bool readDateFields(const Char *t, qsizetype n, DateFields &f)
{
    f.year = digits(t, n, 0, 4);
    f.month = digits(t, n, 5, 2);
    f.day = digits(t, n, 8, 2);
    f.hour = digits(t, n, 11, 2);
    f.minute = digits(t, n, 14, 2);
    f.second = digits(t, n, 17, 2);
    if (f.year < 1 || f.month < 1 || f.month > 12 || f.day < 1 || f.hour < 0 || f.hour > 23 || f.minute < 0 ||
        f.minute > 59 || f.second < 0 || f.second > 60 || !isChar(t, n, 4, '-') || !isChar(t, n, 7, '-') ||
        !(isChar(t, n, 10, 'T') || isChar(t, n, 10, 't')) || !isChar(t, n, 13, ':') || !isChar(t, n, 16, ':') ||
        f.day > daysInMonth(f.year, f.month))
        return false;
    qsizetype at = 19;
    f.msec = 0;
    if (isChar(t, n, at, '.')) {
        const qsizetype first = ++at;
        for (; at < n && t[at] >= Char('0') && t[at] <= Char('9'); ++at) {
            if (at - first < 3)
                f.msec = f.msec * 10 + int(t[at] - '0');
        }
        if (at == first)
            return false;
        for (qsizetype k = at - first; k < 3; ++k)
            f.msec *= 10;
    }
    f.offset = 0;
    if (isChar(t, n, at, 'Z') || isChar(t, n, at, 'z')) {
        ++at;
    } else if (isChar(t, n, at, '+') || isChar(t, n, at, '-')) {
        const int sign = isChar(t, n, at, '-') ? -1 : 1;
        const int hours = digits(t, n, at + 1, 2), minutes = digits(t, n, at + 4, 2);
        if (hours < 0 || hours > 23 || minutes < 0 || minutes > 59 || !isChar(t, n, at + 3, ':'))
            return false;
        f.offset = sign * (hours * 3600 + minutes * 60);
        at += 6;
    } else {
        return false;
    }
    if (at != n)
        return false;
    // The same instant in UTC: minutes into the local day less the offset, and the day it falls on.
    const int utcMinutes = f.hour * 60 + f.minute - f.offset / 60;
    if ((utcMinutes < 0 && f.year == 1 && f.month == 1 && f.day == 1) ||
        (utcMinutes >= 24 * 60 && f.year == 9999 && f.month == 12 && f.day == 31))
        return false; // outside the years 1 to 9999 in UTC
    // A leap second is inserted only after 23:59:59 UTC.
    f.leap = f.second == 60;
    if (f.leap && ((utcMinutes % 1440) + 1440) % 1440 != 23 * 60 + 59)
        return false;
    return true;
}
} // namespace

std::optional<QDateTime> ExchangeArchive::parseDateTime(QStringView text)
{
    DateFields f;
    if (!readDateFields(text.utf16(), text.size(), f))
        return std::nullopt;
    const QDate date(f.year, f.month, f.day);
    const QTime time(f.hour, f.minute, f.leap ? 59 : f.second, f.leap ? 999 : f.msec);
    QDateTime dateTime = f.offset == 0 ? QDateTime(date, time, Qt::UTC) : QDateTime(date, time, Qt::OffsetFromUTC, f.offset);
    if (!dateTime.isValid())
        return std::nullopt;
    return dateTime;
}

bool ExchangeArchive::isDateTime(const char *text, qsizetype size)
{
    DateFields f;
    return readDateFields(text, size, f);
}
