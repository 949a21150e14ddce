#include "jsonstream.h"

#include <QDateTime>
#include <QIODevice>
#include <QtAlgorithms>

#include <algorithm>
#include <cmath>
#include <cstring>

#ifdef __SSE2__
#include <emmintrin.h>
#endif

namespace {
constexpr qsizetype kBufferSize = 64 * 1024;
}

JsonStream::JsonStream(QIODevice *device, Dates dates) : m_device(device), m_dates(dates)
{
    m_buffer.resize(kBufferSize);
    m_data = m_buffer.data();
    m_capacity = m_buffer.size();
}

JsonStream::~JsonStream()
{
    flush();
}

bool JsonStream::flush()
{
    if (m_ok && m_used > 0)
        m_ok = m_device->write(m_buffer.constData(), m_used) == m_used;
    m_used = 0;
    return m_ok;
}

char *JsonStream::makeRoom(qsizetype n)
{
    flush();
    if (n > m_buffer.size())
        m_buffer.resize(n);
    m_data = m_buffer.data();
    m_capacity = m_buffer.size();
    return m_data + m_used;
}

void JsonStream::string(QStringView text)
{
    static constexpr char kHex[] = "0123456789abcdef";
    const qsizetype size = text.size();
    const char16_t *p = text.utf16();
    // Written through a pointer in pieces of 4096 characters (at most 6 bytes each, for \u00XX,
    // and the quotes): an append per byte costs more than the rest of a listing.
    constexpr qsizetype kPiece = 4096;
    qsizetype i = 0;
    do {
        const qsizetype until = std::min(size, i + kPiece);
        char *const start = room((until - i + 1) * 6 + 2);
        char *out = start;
        if (i == 0)
            *out++ = '"';
        for (; i < until; ++i) {
#ifdef __SSE2__
            // Eight characters at a time up to the first that is not plain ASCII (most of a
            // listing is): all eight are stored, and the output moves on by the plain ones.
            while (i + 8 <= until) {
                const __m128i chars = _mm_loadu_si128(reinterpret_cast<const __m128i *>(p + i));
                // Compared as signed: a character from U+8000 on counts as below U+0020.
                const __m128i special =
                    _mm_or_si128(_mm_or_si128(_mm_cmplt_epi16(chars, _mm_set1_epi16(0x20)),
                                              _mm_cmpgt_epi16(chars, _mm_set1_epi16(0x7f))),
                                 _mm_or_si128(_mm_cmpeq_epi16(chars, _mm_set1_epi16('"')),
                                              _mm_cmpeq_epi16(chars, _mm_set1_epi16('\\'))));
                _mm_storel_epi64(reinterpret_cast<__m128i *>(out), _mm_packus_epi16(chars, chars));
                const uint mask = uint(_mm_movemask_epi8(special));
                const qsizetype plain = mask == 0 ? 8 : qCountTrailingZeroBits(mask) / 2;
                i += plain;
                out += plain;
                if (plain < 8)
                    break;
            }
            if (i >= until)
                break;
#endif
            const char16_t c = p[i];
            if (c < 0x80) {
                if (c >= 0x20 && c != u'"' && c != u'\\') {
                    *out++ = char(c);
                    continue;
                }
                *out++ = '\\';
                switch (c) {
                case u'"': *out++ = '"'; break;
                case u'\\': *out++ = '\\'; break;
                case u'\b': *out++ = 'b'; break;
                case u'\f': *out++ = 'f'; break;
                case u'\n': *out++ = 'n'; break;
                case u'\r': *out++ = 'r'; break;
                case u'\t': *out++ = 't'; break;
                default:
                    *out++ = 'u';
                    *out++ = '0';
                    *out++ = '0';
                    *out++ = kHex[c >> 4];
                    *out++ = kHex[c & 0xf];
                    break;
                }
            } else if (c < 0x800) {
                *out++ = char(0xc0 | (c >> 6));
                *out++ = char(0x80 | (c & 0x3f));
            } else if (QChar::isHighSurrogate(c) && i + 1 < size && QChar::isLowSurrogate(p[i + 1])) {
                // The pair may reach one past the piece: room for it was made above.
                const char32_t u = QChar::surrogateToUcs4(c, p[++i]);
                *out++ = char(0xf0 | (u >> 18));
                *out++ = char(0x80 | ((u >> 12) & 0x3f));
                *out++ = char(0x80 | ((u >> 6) & 0x3f));
                *out++ = char(0x80 | (u & 0x3f));
            } else {
                const char16_t u = QChar::isSurrogate(c) ? char16_t(0xfffd) : c; // a lone half
                *out++ = char(0xe0 | (u >> 12));
                *out++ = char(0x80 | ((u >> 6) & 0x3f));
                *out++ = char(0x80 | (u & 0x3f));
            }
        }
        if (i >= size)
            *out++ = '"';
        m_used += out - start;
    } while (i < size);
}

void JsonStream::value(const QVariant &value)
{
    switch (value.typeId()) {
    // Containers, dates and texts are read in place, not copied: a copy counts a reference.
    case QMetaType::QVariantList: {
        const QVariantList &list = *static_cast<const QVariantList *>(value.constData());
        put("[");
        for (qsizetype i = 0; i < list.size(); ++i) {
            if (i > 0)
                put(",");
            this->value(list.at(i));
        }
        put("]");
        break;
    }
    case QMetaType::QVariantMap: {
        const QVariantMap &map = *static_cast<const QVariantMap *>(value.constData());
        put("{");
        for (auto it = map.cbegin(); it != map.cend(); ++it) {
            if (it != map.cbegin())
                put(",");
            string(it.key());
            put(":");
            this->value(it.value());
        }
        put("}");
        break;
    }
    case QMetaType::QDateTime: {
        const QDateTime &dateTime = *static_cast<const QDateTime *>(value.constData());
        const QDate date = dateTime.date();
        const QTime time = dateTime.time();
        if (m_dates == Dates::Seconds && dateTime.timeSpec() == Qt::UTC && date.year() >= 1000 && date.year() <= 9999) {
            // What Qt::ISODate gives for UTC, without its general formatter (a birthday each).
            char text[] = "\"0000-00-00T00:00:00Z\"";
            const auto put = [&text](int at, int digits, int number) {
                for (int i = at + digits - 1; i >= at; --i, number /= 10)
                    text[i] = char('0' + number % 10);
            };
            put(1, 4, date.year());
            put(6, 2, date.month());
            put(9, 2, date.day());
            put(12, 2, time.hour());
            put(15, 2, time.minute());
            put(18, 2, time.second());
            this->put(QByteArrayView(text, sizeof text - 1));
        } else {
            string(dateTime.toString(m_dates == Dates::Seconds ? Qt::ISODate : Qt::ISODateWithMs));
        }
        break;
    }
    case QMetaType::QByteArray:
        string(QString::fromLatin1(value.toByteArray().toBase64()));
        break;
    case QMetaType::LongLong:
    case QMetaType::Int:
    case QMetaType::UInt:
        put(QByteArray::number(value.toLongLong()));
        break;
    case QMetaType::Double: {
        // JSON has no NaN or infinity.
        const double d = value.toDouble();
        put(std::isfinite(d) ? QByteArray::number(d, 'g', QLocale::FloatingPointShortest) : QByteArray("null"));
        break;
    }
    case QMetaType::Bool:
        put(value.toBool() ? "true" : "false");
        break;
    case QMetaType::QString:
        string(*static_cast<const QString *>(value.constData()));
        break;
    default:
        string(value.toString());
        break;
    }
}
