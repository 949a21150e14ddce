#include "exchangearchive.h"

#include "flatperson.h"

#include <QCborStreamReader>
#include <QtEndian>
#include <QDate>
#include <QDateTime>
#include <QTimeZone>

#include <climits>

namespace {

// CBOR written straight into one growing buffer, with definite lengths only; much cheaper per
// item than a stream writer on a QIODevice, which matters for an "AB" of 100,000 persons.
class Writer
{
public:
    explicit Writer(QByteArray &out) : m_out(out) {}

    void append(const QString &text)
    {
        const QByteArray utf8 = text.toUtf8();
        head(3, quint64(utf8.size()));
        m_out.append(utf8);
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
        writer.append(value.toString());
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
        if (!dateTime.isValid())
            return false;
        writer.append(QCborKnownTags::DateTimeString);
        writer.append(dateText(dateTime));
        return true;
    }
    case QMetaType::QDate: {
        const QDate date = value.toDate();
        if (!date.isValid())
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
        const QVariantList list = value.toList();
        writer.startArray(static_cast<quint64>(list.size()));
        for (const QVariant &element : list) {
            if (!writeValue(writer, element))
                return false;
        }
        return writer.endArray();
    }
    case QMetaType::QVariantMap:
        return writeTextMap(writer, value.toMap());
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

// Reads one item with QCborStreamReader, never deeper than the limit, so that a hostile nesting
// is refused before any recursion or tree building happens.
class Reader
{
public:
    explicit Reader(const QByteArray &payload) : m_reader(payload), m_size(payload.size()) {}

    std::optional<QVariantMap> readMessage()
    {
        if (m_reader.type() != QCborStreamReader::Map)
            return std::nullopt;
        QVariant top;
        if (!readValue(top, 1) || top.typeId() != QMetaType::QVariantMap)
            return std::nullopt;
        // Exactly one item: anything behind it is an error.
        if (!ok() || m_reader.currentOffset() != m_size)
            return std::nullopt;
        return top.toMap();
    }

private:
    bool ok() { return m_reader.lastError() == QCborError::NoError; }

    bool readText(QString &out)
    {
        out.clear();
        auto chunk = m_reader.readString();
        while (chunk.status == QCborStreamReader::Ok) {
            out += chunk.data;
            chunk = m_reader.readString();
        }
        return chunk.status == QCborStreamReader::EndOfString && ok();
    }

    // Property names and labels repeat in every person: keys are shared through a small table
    // indexed by length and end characters (cheaper than hashing whole texts), so a large
    // "ABData" holds about one copy of each name instead of one per person.
    bool readKey(QString &out)
    {
        if (!readText(out))
            return false;
        if (out.isEmpty())
            return true;
        const size_t slot = (size_t(out.size()) * 31u + out.front().unicode() * 7u + out.back().unicode()) % kKeySlots;
        QString &known = m_keys[slot];
        if (known == out)
            out = known;
        else
            known = out;
        return true;
    }

    bool readBytes(QByteArray &out)
    {
        out.clear();
        auto chunk = m_reader.readByteArray();
        while (chunk.status == QCborStreamReader::Ok) {
            out += chunk.data;
            chunk = m_reader.readByteArray();
        }
        return chunk.status == QCborStreamReader::EndOfString && ok();
    }

    bool readArray(QVariant &out, int depth)
    {
        if (!m_reader.enterContainer())
            return false;
        QVariantList list;
        while (m_reader.lastError() == QCborError::NoError && m_reader.hasNext()) {
            QVariant element;
            if (!readValue(element, depth + 1))
                return false;
            list.append(std::move(element));
        }
        if (!ok() || !m_reader.leaveContainer())
            return false;
        out = std::move(list);
        return true;
    }

    bool readMap(QVariant &out, int depth)
    {
        if (!m_reader.enterContainer())
            return false;
        QVariantMap textMap;
        OwnerCard numberMap;
        enum { Unknown, TextKeys, NumberKeys } keys = Unknown;
        while (m_reader.lastError() == QCborError::NoError && m_reader.hasNext()) {
            if (m_reader.isString() && keys != NumberKeys) {
                keys = TextKeys;
                QString key;
                if (!readKey(key))
                    return false;
                QVariant value;
                if (textMap.contains(key) || !readValue(value, depth + 1))
                    return false;
                textMap.insert(key, std::move(value));
            } else if (m_reader.isInteger() && keys != TextKeys) {
                keys = NumberKeys;
                // Number keys are field tags: signed 32-bit, each with a text.
                qint64 key = 0;
                if (m_reader.isUnsignedInteger()) {
                    const quint64 raw = m_reader.toUnsignedInteger();
                    if (raw > static_cast<quint64>(INT_MAX))
                        return false;
                    key = static_cast<qint64>(raw);
                } else {
                    // The magnitude of the negative number; 0 stands for -2^64.
                    const quint64 magnitude = quint64(m_reader.toNegativeInteger());
                    if (magnitude == 0 || magnitude > static_cast<quint64>(INT_MAX) + 1)
                        return false;
                    key = -static_cast<qint64>(magnitude);
                }
                if (!m_reader.next())
                    return false;
                if (numberMap.contains(static_cast<int>(key)) || !m_reader.isString())
                    return false;
                QString text;
                if (!readText(text))
                    return false;
                numberMap.insert(static_cast<int>(key), text);
            } else {
                return false;
            }
        }
        if (!ok() || !m_reader.leaveContainer())
            return false;
        if (keys == NumberKeys)
            out = QVariant::fromValue(numberMap);
        else
            out = std::move(textMap);
        return true;
    }

    bool readValue(QVariant &out, int depth)
    {
        if (!ok())
            return false;
        switch (m_reader.type()) {
        case QCborStreamReader::UnsignedInteger: {
            const quint64 raw = m_reader.toUnsignedInteger();
            if (raw > static_cast<quint64>(LLONG_MAX))
                return false;
            out = static_cast<qlonglong>(raw);
            return m_reader.next();
        }
        case QCborStreamReader::NegativeInteger: {
            // The magnitude of the negative number; 0 stands for -2^64.
            const quint64 magnitude = quint64(m_reader.toNegativeInteger());
            if (magnitude == 0 || magnitude - 1 > static_cast<quint64>(LLONG_MAX))
                return false;
            out = static_cast<qlonglong>(-1 - static_cast<qint64>(magnitude - 1));
            return m_reader.next();
        }
        case QCborStreamReader::ByteArray: {
            QByteArray bytes;
            if (!readBytes(bytes))
                return false;
            out = std::move(bytes);
            return true;
        }
        case QCborStreamReader::String: {
            QString text;
            if (!readText(text))
                return false;
            out = std::move(text);
            return true;
        }
        case QCborStreamReader::Array:
            return depth <= ExchangeArchive::kMaxNesting && readArray(out, depth);
        case QCborStreamReader::Map:
            return depth <= ExchangeArchive::kMaxNesting && readMap(out, depth);
        case QCborStreamReader::Tag: {
            if (m_reader.toTag() != QCborKnownTags::DateTimeString || !m_reader.next() || !m_reader.isString())
                return false;
            QString text;
            if (!readText(text))
                return false;
            QDateTime dateTime = QDateTime::fromString(text, Qt::ISODateWithMs);
            if (!dateTime.isValid())
                return false;
            out = std::move(dateTime);
            return true;
        }
        case QCborStreamReader::SimpleType: {
            const QCborSimpleType simple = m_reader.toSimpleType();
            if (simple != QCborSimpleType::False && simple != QCborSimpleType::True)
                return false;
            out = simple == QCborSimpleType::True;
            return m_reader.next();
        }
        case QCborStreamReader::Float16:
            out = double(float(m_reader.toFloat16()));
            return m_reader.next();
        case QCborStreamReader::Float:
            out = double(m_reader.toFloat());
            return m_reader.next();
        case QCborStreamReader::Double:
            out = m_reader.toDouble();
            return m_reader.next();
        case QCborStreamReader::Invalid:
            break;
        }
        return false;
    }

    static constexpr size_t kKeySlots = 251;

    QCborStreamReader m_reader;
    qint64 m_size;
    QString m_keys[kKeySlots];
};

} // namespace

std::optional<QByteArray> ExchangeArchive::encode(const QVariantMap &message)
{
    QByteArray out;
    Writer writer(out);
    if (!writeTextMap(writer, message))
        return std::nullopt;
    return out;
}

std::optional<QVariantMap> ExchangeArchive::decode(const QByteArray &payload)
{
    Reader reader(payload);
    return reader.readMessage();
}
