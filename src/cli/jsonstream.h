#pragma once

#include <QByteArray>
#include <QByteArrayView>
#include <QStringView>
#include <QVariant>

#include <cstring>

class QIODevice;

// JSON written as it is made, through a small buffer: a listing of any size, or a record with a
// huge text, never exists as a whole document in memory. Texts are escaped in pieces.
//
// Values: maps become objects (keys in map order), lists arrays, dates RFC 3339 texts, bytes
// base64 texts, numbers and booleans themselves, anything else its text.
class JsonStream
{
public:
    enum class Dates { WithMilliseconds, Seconds };

    explicit JsonStream(QIODevice *device, Dates dates = Dates::WithMilliseconds);
    ~JsonStream();
    JsonStream(const JsonStream &) = delete;
    JsonStream &operator=(const JsonStream &) = delete;

    // Text that is JSON already (brackets, commas, white space).
    void raw(QByteArrayView json) { put(json); }
    void string(QStringView text);
    void value(const QVariant &value);
    // Writes what is buffered; false once any write has failed.
    bool flush();

private:
    // Room for n more bytes at the end of the text (written out first when the buffer is full).
    char *room(qsizetype n)
    {
        return m_used + n <= m_capacity ? m_data + m_used : makeRoom(n);
    }
    char *makeRoom(qsizetype n);
    // Inline: a listing puts half a million small pieces.
    void put(QByteArrayView bytes)
    {
        memcpy(room(bytes.size()), bytes.data(), size_t(bytes.size()));
        m_used += bytes.size();
    }

    QIODevice *m_device;
    Dates m_dates;
    QByteArray m_buffer; // its first m_used bytes are text not yet written
    char *m_data = nullptr; // m_buffer's bytes
    qsizetype m_capacity = 0;
    qsizetype m_used = 0;
    bool m_ok = true;
};
