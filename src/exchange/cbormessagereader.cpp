#include "cbormessagereader.h"

#include "archivedrecords.h"
#include "exchangearchive.h"
#include "flatperson.h"
#include "utf8check.h"

#include <QDateTime>
#include <QVarLengthArray>

#include <climits>
#include <cstring>
#include <optional>
#include <string>
#include <string_view>
#include <unordered_set>

namespace {

// The keys of one map as UTF-8 bytes (equal texts have equal bytes), to refuse a duplicate. Maps
// are small: the keys sit in one flat buffer and are searched in turn until a hostile map grows
// long.
class KeySet
{
public:
    bool insert(std::string_view key)
    {
        if (m_many)
            return m_many->emplace(key).second;
        for (const auto &[offset, length] : m_spans) {
            if (length == qsizetype(key.size()) && std::memcmp(m_bytes.constData() + offset, key.data(), key.size()) == 0)
                return false;
        }
        if (m_spans.size() == kFew) {
            m_many.emplace();
            for (const auto &[offset, length] : m_spans)
                m_many->emplace(m_bytes.constData() + offset, size_t(length));
            return m_many->emplace(key).second;
        }
        m_spans.append({m_bytes.size(), qsizetype(key.size())});
        m_bytes.append(key.data(), qsizetype(key.size()));
        return true;
    }

private:
    static constexpr qsizetype kFew = 32;
    QVarLengthArray<char, 512> m_bytes;
    QVarLengthArray<std::pair<qsizetype, qsizetype>, kFew> m_spans;
    std::optional<std::unordered_set<std::string>> m_many;
};


} // namespace

CborMessageReader::CborMessageReader(const QByteArray &payload, qsizetype offset)
    : m_payload(payload), m_budget(ExchangeArchive::kMaxItems)
{
    seek(offset);
}

void CborMessageReader::seek(qsizetype offset)
{
    // A stream reader stops after one top-level item; a new one over the rest costs no copy.
    m_start = offset;
    m_reader.emplace(m_payload.constData() + offset, m_payload.size() - offset);
}

CborMessageReader::~CborMessageReader() = default;

std::optional<QVariantMap> CborMessageReader::readMessage(const QString &listKey)
{
    if (m_reader->type() != QCborStreamReader::Map)
        return std::nullopt;
    m_listKey = listKey;
    QVariant top;
    if (!readValue(top, 1) || top.typeId() != QMetaType::QVariantMap)
        return std::nullopt;
    // Exactly one item: anything behind it is an error.
    if (!ok() || m_reader->currentOffset() != m_payload.size() - m_start)
        return std::nullopt;
    return top.toMap();
}

bool CborMessageReader::readItem(QVariant &out, int depth, qint64 budget)
{
    m_budget = budget;
    return readValue(out, depth);
}

bool CborMessageReader::ok()
{
    return m_reader->lastError() == QCborError::NoError;
}

// Texts are read chunk by chunk into one reused buffer and checked here rather than by
// QCborStreamReader::readString(), which drops a byte order mark at the start of each chunk:
// a text that starts with U+FEFF arrives as it was sent. A check-only read (out null) builds
// nothing; with key, the text's UTF-8 bytes are collected there.
bool CborMessageReader::readText(QString *out, std::string *key)
{
    if (out)
        out->clear();
    if (key)
        key->clear();
    m_textChunks = 0;
    for (;;) {
        const qsizetype size = m_reader->currentStringChunkSize();
        if (size > m_payload.size())
            return false; // longer than everything there is
        if (size > m_chunk.size())
            m_chunk.resize(size);
        const auto chunk = m_reader->readStringChunk(m_chunk.data(), m_chunk.size());
        if (chunk.status == QCborStreamReader::EndOfString)
            return ok();
        if (chunk.status != QCborStreamReader::Ok || !isWellFormedUtf8(m_chunk.constData(), chunk.data))
            return false;
        ++m_textChunks;
        if (out)
            *out += m_utf8(QByteArrayView(m_chunk.constData(), chunk.data));
        if (key)
            key->append(m_chunk.constData(), size_t(chunk.data));
    }
}

// Property names and labels repeat in every person: keys are shared through a small table
// indexed by length and end bytes (cheaper than hashing whole texts), so a large "ABData" holds
// about one copy of each name instead of one per person. A key is compared as UTF-8 before it is
// decoded: a known one costs no new text. Decoding the whole key at once gives what decoding its
// chunks one by one gives, as each chunk is well-formed on its own.
bool CborMessageReader::readKey(QString &out)
{
    if (!readText(nullptr, &m_keyText))
        return false;
    out.clear();
    if (m_keyText.empty()) {
        if (m_textChunks > 0)
            out += m_utf8(QByteArrayView("", 0)); // as readText builds it: empty, not null
        return true;
    }
    const auto front = static_cast<unsigned char>(m_keyText.front());
    const auto back = static_cast<unsigned char>(m_keyText.back());
    KnownKey &known = m_keys[(m_keyText.size() * 31u + front * 7u + back) % kKeySlots];
    if (known.bytes != m_keyText) {
        known.bytes = m_keyText;
        known.text = m_utf8(QByteArrayView(m_keyText.data(), qsizetype(m_keyText.size())));
    }
    out = known.text;
    return true;
}

bool CborMessageReader::readBytes(QByteArray &out)
{
    out.clear();
    auto chunk = m_reader->readByteArray();
    while (chunk.status == QCborStreamReader::Ok) {
        out += chunk.data;
        chunk = m_reader->readByteArray();
    }
    return chunk.status == QCborStreamReader::EndOfString && ok();
}

bool CborMessageReader::readArray(QVariant &out, int depth)
{
    if (!m_reader->enterContainer())
        return false;
    QVariantList list;
    while (ok() && m_reader->hasNext()) {
        QVariant element;
        if (!readValue(element, depth + 1))
            return false;
        if (!m_checkOnly)
            list.append(std::move(element));
    }
    if (!ok() || !m_reader->leaveContainer())
        return false;
    out = std::move(list);
    return true;
}

// Each entry is read once to check it, with a budget of its own and without building it; only
// where it starts is kept.
bool CborMessageReader::readArchivedList(QVariant &out, int depth)
{
    if (!m_reader->enterContainer())
        return false;
    ArchivedRecords records;
    records.m_payload = m_payload;
    records.m_depth = depth + 1;
    const qint64 outerBudget = m_budget;
    while (ok() && m_reader->hasNext()) {
        const qint64 offset = m_reader->currentOffset();
        if (records.m_offsets.size() >= ArchivedRecords::kMaxRecords || offset > qint64(UINT32_MAX))
            return false;
        m_budget = ArchivedRecords::kMaxItemsPerRecord;
        m_checkOnly = true;
        QVariant entry;
        const bool read = readValue(entry, depth + 1);
        m_checkOnly = false;
        if (!read)
            return false;
        records.m_offsets.append(quint32(offset));
    }
    m_budget = outerBudget;
    if (!ok() || !m_reader->leaveContainer())
        return false;
    out = QVariant::fromValue(records);
    return true;
}

bool CborMessageReader::readMap(QVariant &out, int depth)
{
    if (!m_reader->enterContainer())
        return false;
    QVariantMap textMap;
    KeySet keySet;
    OwnerCard numberMap;
    enum { Unknown, TextKeys, NumberKeys } keys = Unknown;
    while (ok() && m_reader->hasNext()) {
        if (m_reader->isString() && keys != NumberKeys) {
            keys = TextKeys;
            QString key;
            // Either way the key's bytes are in m_keyText.
            if ((m_checkOnly ? !readText(nullptr, &m_keyText) : !readKey(key)) || !keySet.insert(m_keyText))
                return false;
            QVariant value;
            const bool archived = depth == 1 && !m_listKey.isEmpty() && key == m_listKey && m_reader->isArray();
            if (archived ? !readArchivedList(value, depth + 1) : !readValue(value, depth + 1))
                return false;
            if (!m_checkOnly)
                textMap.insert(key, std::move(value));
        } else if (m_reader->isInteger() && keys != TextKeys) {
            keys = NumberKeys;
            // Number keys are field tags: signed 32-bit, each with a text.
            qint64 key = 0;
            if (m_reader->isUnsignedInteger()) {
                const quint64 raw = m_reader->toUnsignedInteger();
                if (raw > static_cast<quint64>(INT_MAX))
                    return false;
                key = static_cast<qint64>(raw);
            } else {
                // The magnitude of the negative number; 0 stands for -2^64.
                const quint64 magnitude = quint64(m_reader->toNegativeInteger());
                if (magnitude == 0 || magnitude > static_cast<quint64>(INT_MAX) + 1)
                    return false;
                key = -static_cast<qint64>(magnitude);
            }
            if (!m_reader->next())
                return false;
            if (numberMap.contains(static_cast<int>(key)) || !m_reader->isString() || --m_budget < 0)
                return false;
            QString text;
            if (!readText(&text))
                return false;
            numberMap.insert(static_cast<int>(key), text);
        } else {
            return false;
        }
    }
    if (!ok() || !m_reader->leaveContainer())
        return false;
    if (keys == NumberKeys)
        out = QVariant::fromValue(numberMap);
    else
        out = std::move(textMap);
    return true;
}

bool CborMessageReader::readValue(QVariant &out, int depth)
{
    if (!ok() || --m_budget < 0)
        return false;
    switch (m_reader->type()) {
    case QCborStreamReader::UnsignedInteger: {
        const quint64 raw = m_reader->toUnsignedInteger();
        if (raw > static_cast<quint64>(LLONG_MAX))
            return false;
        out = static_cast<qlonglong>(raw);
        return m_reader->next();
    }
    case QCborStreamReader::NegativeInteger: {
        // The magnitude of the negative number; 0 stands for -2^64.
        const quint64 magnitude = quint64(m_reader->toNegativeInteger());
        if (magnitude == 0 || magnitude - 1 > static_cast<quint64>(LLONG_MAX))
            return false;
        out = static_cast<qlonglong>(-1 - static_cast<qint64>(magnitude - 1));
        return m_reader->next();
    }
    case QCborStreamReader::ByteArray: {
        QByteArray bytes;
        if (!readBytes(bytes))
            return false;
        out = std::move(bytes);
        return true;
    }
    case QCborStreamReader::String: {
        if (m_checkOnly)
            return readText(nullptr);
        QString text;
        if (!readText(&text))
            return false;
        out = std::move(text);
        return true;
    }
    case QCborStreamReader::Array:
        return depth <= ExchangeArchive::kMaxNesting && readArray(out, depth);
    case QCborStreamReader::Map:
        return depth <= ExchangeArchive::kMaxNesting && readMap(out, depth);
    case QCborStreamReader::Tag: {
        if (m_reader->toTag() != QCborKnownTags::DateTimeString || !m_reader->next() || !m_reader->isString())
            return false;
        QString text;
        if (!readText(&text))
            return false;
        std::optional<QDateTime> dateTime = ExchangeArchive::parseDateTime(text);
        if (!dateTime)
            return false;
        out = std::move(*dateTime);
        return true;
    }
    case QCborStreamReader::SimpleType: {
        const QCborSimpleType simple = m_reader->toSimpleType();
        if (simple != QCborSimpleType::False && simple != QCborSimpleType::True)
            return false;
        out = simple == QCborSimpleType::True;
        return m_reader->next();
    }
    case QCborStreamReader::Float16:
        out = double(float(m_reader->toFloat16()));
        return m_reader->next();
    case QCborStreamReader::Float:
        out = double(m_reader->toFloat());
        return m_reader->next();
    case QCborStreamReader::Double:
        out = m_reader->toDouble();
        return m_reader->next();
    case QCborStreamReader::Invalid:
        break;
    }
    return false;
}
