#include "jsonstream.h"

#include <QDateTime>
#include <QIODevice>

#include <cmath>

namespace {
constexpr qsizetype kSpillAt = 64 * 1024;
}

JsonStream::JsonStream(QIODevice *device, Dates dates) : m_device(device), m_dates(dates)
{
    m_buffer.reserve(kSpillAt + 64);
}

JsonStream::~JsonStream()
{
    flush();
}

bool JsonStream::flush()
{
    if (m_ok && !m_buffer.isEmpty())
        m_ok = m_device->write(m_buffer) == m_buffer.size();
    m_buffer.clear();
    return m_ok;
}

void JsonStream::spill()
{
    if (m_buffer.size() >= kSpillAt)
        flush();
}

void JsonStream::raw(QByteArrayView json)
{
    m_buffer.append(json);
    spill();
}

void JsonStream::string(QStringView text)
{
    static constexpr char kHex[] = "0123456789abcdef";
    m_buffer.append('"');
    const qsizetype size = text.size();
    const char16_t *p = text.utf16();
    for (qsizetype i = 0; i < size; ++i) {
        const char16_t c = p[i];
        if (c < 0x80) {
            if (c >= 0x20 && c != u'"' && c != u'\\') {
                m_buffer.append(char(c));
            } else {
                m_buffer.append('\\');
                switch (c) {
                case u'"': m_buffer.append('"'); break;
                case u'\\': m_buffer.append('\\'); break;
                case u'\b': m_buffer.append('b'); break;
                case u'\f': m_buffer.append('f'); break;
                case u'\n': m_buffer.append('n'); break;
                case u'\r': m_buffer.append('r'); break;
                case u'\t': m_buffer.append('t'); break;
                default:
                    m_buffer.append("u00");
                    m_buffer.append(kHex[c >> 4]);
                    m_buffer.append(kHex[c & 0xf]);
                    break;
                }
            }
        } else if (c < 0x800) {
            m_buffer.append(char(0xc0 | (c >> 6)));
            m_buffer.append(char(0x80 | (c & 0x3f)));
        } else if (QChar::isHighSurrogate(c) && i + 1 < size && QChar::isLowSurrogate(p[i + 1])) {
            const char32_t u = QChar::surrogateToUcs4(c, p[++i]);
            m_buffer.append(char(0xf0 | (u >> 18)));
            m_buffer.append(char(0x80 | ((u >> 12) & 0x3f)));
            m_buffer.append(char(0x80 | ((u >> 6) & 0x3f)));
            m_buffer.append(char(0x80 | (u & 0x3f)));
        } else {
            const char16_t u = QChar::isSurrogate(c) ? char16_t(0xfffd) : c; // a lone half
            m_buffer.append(char(0xe0 | (u >> 12)));
            m_buffer.append(char(0x80 | ((u >> 6) & 0x3f)));
            m_buffer.append(char(0x80 | (u & 0x3f)));
        }
        if ((i & 0xfff) == 0)
            spill();
    }
    m_buffer.append('"');
    spill();
}

void JsonStream::value(const QVariant &value)
{
    switch (value.typeId()) {
    case QMetaType::QVariantList: {
        const QVariantList list = value.toList();
        m_buffer.append('[');
        for (qsizetype i = 0; i < list.size(); ++i) {
            if (i > 0)
                m_buffer.append(',');
            this->value(list.at(i));
        }
        m_buffer.append(']');
        break;
    }
    case QMetaType::QVariantMap: {
        const QVariantMap map = value.toMap();
        m_buffer.append('{');
        for (auto it = map.cbegin(); it != map.cend(); ++it) {
            if (it != map.cbegin())
                m_buffer.append(',');
            string(it.key());
            m_buffer.append(':');
            this->value(it.value());
        }
        m_buffer.append('}');
        break;
    }
    case QMetaType::QDateTime:
        string(value.toDateTime().toString(m_dates == Dates::Seconds ? Qt::ISODate : Qt::ISODateWithMs));
        break;
    case QMetaType::QByteArray:
        string(QString::fromLatin1(value.toByteArray().toBase64()));
        break;
    case QMetaType::LongLong:
    case QMetaType::Int:
    case QMetaType::UInt:
        m_buffer.append(QByteArray::number(value.toLongLong()));
        break;
    case QMetaType::Double: {
        // JSON has no NaN or infinity.
        const double d = value.toDouble();
        m_buffer.append(std::isfinite(d) ? QByteArray::number(d, 'g', QLocale::FloatingPointShortest) : QByteArray("null"));
        break;
    }
    case QMetaType::Bool:
        m_buffer.append(value.toBool() ? "true" : "false");
        break;
    default:
        string(value.toString());
        break;
    }
    spill();
}
