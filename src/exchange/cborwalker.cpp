#include "cborwalker.h"

#include "archivedrecords.h"
#include "exchangearchive.h"
#include "utf8check.h"

#include <QStringDecoder>
#include <QVarLengthArray>

#include <climits>
#include <memory>
#include <utility>
#include <vector>
#include <cstring>
#include <string>
#include <string_view>
#include <unordered_set>

namespace {


// The keys of one map, by their UTF-8 bytes: a short list searched in turn, a hash set once the
// map grows long.
class KeySet
{
public:
    bool insert(std::string_view key)
    {
        if (m_many)
            return m_many->emplace(key).second;
        for (const std::string_view &known : m_few) {
            if (known == key)
                return false;
        }
        if (m_few.size() == kFew) {
            m_many.emplace(m_few.begin(), m_few.end());
            return m_many->emplace(key).second;
        }
        m_few.append(key);
        return true;
    }

private:
    static constexpr qsizetype kFew = 32;
    QVarLengthArray<std::string_view, kFew> m_few; // views into the payload or into joined keys
    std::optional<std::unordered_set<std::string_view>> m_many;
};

enum : uchar { Unsigned, Negative, Bytes, Text, Array, Map, Tag, Simple };

class Walk
{
public:
    Walk(const QByteArray &payload, const QString &listKey)
        : m_begin(reinterpret_cast<const uchar *>(payload.constData())), m_p(m_begin), m_end(m_begin + payload.size()),
          m_listKey(listKey.toUtf8()), m_hasListKey(!listKey.isEmpty())
    {
    }

    std::optional<CborWalker::Result> run()
    {
        if (m_p == m_end || (*m_p >> 5) != Map)
            return std::nullopt;
        m_budget = ExchangeArchive::kMaxItems;
        m_top = true;
        if (!value(1) || m_p != m_end)
            return std::nullopt;
        return std::move(m_result);
    }

private:
    // An item's head: its major type, and its argument or a flag for an indefinite length.
    bool head(uchar &major, quint64 &argument, bool &indefinite)
    {
        if (m_p == m_end)
            return false;
        const uchar initial = *m_p++;
        major = initial >> 5;
        const uchar info = initial & 0x1f;
        m_info = info;
        indefinite = false;
        if (info < 24) {
            argument = info;
            return true;
        }
        if (info == 31) {
            indefinite = true;
            // Indefinite lengths exist for strings and containers; 0xff alone is a break.
            return major == Bytes || major == Text || major == Array || major == Map;
        }
        if (info > 27)
            return false;
        const int size = 1 << (info - 24);
        if (m_end - m_p < size)
            return false;
        argument = 0;
        for (int i = 0; i < size; ++i)
            argument = (argument << 8) | *m_p++;
        return true;
    }

    bool atBreak()
    {
        if (m_p != m_end && *m_p == 0xff) {
            ++m_p;
            return true;
        }
        return false;
    }

    // A definite chunk of a string of the given major type: checked, and its bytes in view.
    bool chunk(uchar major, quint64 length, std::string_view *bytes)
    {
        if (length > quint64(m_end - m_p))
            return false;
        const uchar *start = m_p;
        m_p += length;
        if (major == Text && !isWellFormedUtf8(reinterpret_cast<const char *>(start), qsizetype(length)))
            return false;
        if (bytes)
            *bytes = std::string_view(reinterpret_cast<const char *>(start), size_t(length));
        return true;
    }

    // A whole string after its head. With bytes, its bytes: a view into the payload for a definite
    // string, or the chunks joined in joined for an indefinite one.
    bool string(uchar major, quint64 length, bool indefinite, std::string_view *bytes, std::string *joined)
    {
        if (!indefinite)
            return chunk(major, length, bytes);
        if (joined)
            joined->clear();
        for (;;) {
            if (atBreak())
                break;
            uchar chunkMajor;
            quint64 chunkLength;
            bool chunkIndefinite;
            std::string_view part;
            if (!head(chunkMajor, chunkLength, chunkIndefinite) || chunkMajor != major || chunkIndefinite ||
                !chunk(major, chunkLength, &part))
                return false;
            if (joined)
                joined->append(part);
        }
        if (bytes)
            *bytes = joined ? std::string_view(*joined) : std::string_view();
        return true;
    }

    bool value(int depth)
    {
        if (--m_budget < 0)
            return false;
        uchar major;
        quint64 argument = 0;
        bool indefinite = false;
        if (!head(major, argument, indefinite))
            return false;
        switch (major) {
        case Unsigned:
        case Negative:
            return argument <= quint64(LLONG_MAX);
        case Bytes:
            return string(Bytes, argument, indefinite, nullptr, nullptr);
        case Text:
            return string(Text, argument, indefinite, nullptr, nullptr);
        case Array:
            return depth <= ExchangeArchive::kMaxNesting && array(argument, indefinite, depth);
        case Map:
            return depth <= ExchangeArchive::kMaxNesting && map(argument, indefinite, depth);
        case Tag: {
            if (argument != 0 || !head(major, argument, indefinite) || major != Text)
                return false;
            std::string_view text;
            std::string joined;
            return string(Text, argument, indefinite, &text, &joined) &&
                   ExchangeArchive::isDateTime(text.data(), qsizetype(text.size()));
        }
        case Simple:
            // false, true, and half, single and double precision numbers; nothing else.
            return m_info == 20 || m_info == 21 || (m_info >= 25 && m_info <= 27);
        }
        return false;
    }

    bool array(quint64 count, bool indefinite, int depth)
    {
        for (quint64 i = 0; indefinite || i < count; ++i) {
            if (indefinite && atBreak())
                return true;
            if (!value(depth + 1))
                return false;
        }
        return true;
    }

    // The list kept encoded: every entry with a budget of its own, its start recorded.
    bool archivedList(quint64 count, bool indefinite, int depth)
    {
        const qint64 outerBudget = m_budget;
        QList<quint32> &offsets = m_result.listOffsets;
        for (quint64 i = 0; indefinite || i < count; ++i) {
            if (indefinite && atBreak())
                break;
            if (m_p == m_end)
                return false;
            const qint64 offset = m_p - m_begin;
            if (offsets.size() >= ArchivedRecords::kMaxRecords || offset > qint64(UINT32_MAX))
                return false;
            m_budget = ArchivedRecords::kMaxItemsPerRecord;
            if (!value(depth + 1))
                return false;
            offsets.append(quint32(offset));
        }
        m_budget = outerBudget;
        return true;
    }

    bool map(quint64 count, bool indefinite, int depth)
    {
        const bool top = std::exchange(m_top, false);
        enum { Unknown, TextKeys, NumberKeys } keys = Unknown;
        KeySet textKeys;
        std::unordered_set<qint64> numberKeys;
        // Keys of indefinite length are joined here; the set keeps views into these.
        std::vector<std::unique_ptr<std::string>> joinedKeys;
        for (quint64 i = 0; indefinite || i < count; ++i) {
            if (indefinite && atBreak())
                return true;
            uchar major;
            quint64 argument = 0;
            bool keyIndefinite;
            if (!head(major, argument, keyIndefinite))
                return false;
            if (major == Text && keys != NumberKeys) {
                keys = TextKeys;
                std::string_view key;
                std::string *joined = nullptr;
                if (keyIndefinite) {
                    joinedKeys.push_back(std::make_unique<std::string>());
                    joined = joinedKeys.back().get();
                }
                if (!string(Text, argument, keyIndefinite, &key, joined) || !textKeys.insert(key))
                    return false;
                if (top && !entry(key, depth))
                    return false;
                if (!top && !value(depth + 1))
                    return false;
            } else if ((major == Unsigned || major == Negative) && keys != TextKeys && !top) {
                keys = NumberKeys;
                // Signed 32-bit field tags, each with a text.
                if ((major == Unsigned && argument > quint64(INT_MAX)) ||
                    (major == Negative && argument > quint64(INT_MAX)))
                    return false;
                const qint64 key = major == Unsigned ? qint64(argument) : -1 - qint64(argument);
                if (!numberKeys.insert(key).second || --m_budget < 0)
                    return false;
                bool textIndefinite;
                if (!head(major, argument, textIndefinite) || major != Text ||
                    !string(Text, argument, textIndefinite, nullptr, nullptr))
                    return false;
            } else {
                return false;
            }
        }
        return true;
    }

    // A value of the top-level map: recorded, and kept encoded when it is the list.
    bool entry(std::string_view key, int depth)
    {
        CborWalker::TopEntry top;
        top.key = m_utf8(QByteArrayView(key.data(), qsizetype(key.size())));
        top.valueOffset = m_p - m_begin;
        const bool listKey = m_hasListKey && key == std::string_view(m_listKey.constData(), size_t(m_listKey.size()));
        if (listKey && m_p != m_end && (*m_p >> 5) == Array) {
            top.isList = true;
            m_result.entries.append(std::move(top));
            uchar major;
            quint64 count = 0;
            bool indefinite = false;
            return head(major, count, indefinite) && archivedList(count, indefinite, depth + 1);
        }
        m_result.entries.append(std::move(top));
        return value(depth + 1);
    }

    const uchar *m_begin;
    const uchar *m_p;
    const uchar *m_end;
    QByteArray m_listKey;
    bool m_hasListKey;
    bool m_top = false;
    uchar m_info = 0; // the low five bits of the last head read
    qint64 m_budget = 0;
    CborWalker::Result m_result;
    QStringDecoder m_utf8{QStringDecoder::Utf8, QStringDecoder::Flag::Stateless | QStringDecoder::Flag::ConvertInitialBom};
};

} // namespace

std::optional<CborWalker::Result> CborWalker::walk(const QByteArray &payload, const QString &listKey)
{
    return Walk(payload, listKey).run();
}
