#pragma once

#include <QByteArray>
#include <QCborStreamReader>
#include <QString>
#include <QStringDecoder>
#include <QVariant>
#include <QVariantMap>

#include <optional>
#include <string>

// The strict decoder behind ExchangeArchive and ArchivedRecords (internal to the exchange
// library). Reads with QCborStreamReader, never deeper than the nesting limit and never more
// items than its budget, so that hostile nesting or a flood of tiny items is refused before any
// recursion or large allocation happens.
class CborMessageReader
{
public:
    // Reads payload (shared, not copied) from offset on: 0 for a message, an entry's start for
    // one entry of an archived list.
    explicit CborMessageReader(const QByteArray &payload, qsizetype offset = 0);
    ~CborMessageReader();

    // The rest of the payload as one message map. With a listKey, a top-level array under that
    // key is checked entry by entry but kept encoded, as an ArchivedRecords.
    std::optional<QVariantMap> readMessage(const QString &listKey);
    // Moves to an item at that offset in the payload.
    void seek(qsizetype offset);
    // The item at the reader's position, decoded at the given depth with the given budget.
    bool readItem(QVariant &out, int depth, qint64 budget);

private:
    bool ok();
    bool readText(QString *out, std::string *key = nullptr);
    bool readKey(QString &out);
    bool readBytes(QByteArray &out);
    bool readArray(QVariant &out, int depth);
    bool readArchivedList(QVariant &out, int depth);
    bool readMap(QVariant &out, int depth);
    bool readValue(QVariant &out, int depth);

    static constexpr size_t kKeySlots = 251;

    QByteArray m_payload;
    std::optional<QCborStreamReader> m_reader;
    qsizetype m_start = 0; // where the reader started in m_payload
    qint64 m_budget;
    QByteArray m_chunk;   // a text's chunk being read
    QStringDecoder m_utf8{QStringDecoder::Utf8, QStringDecoder::Flag::Stateless | QStringDecoder::Flag::ConvertInitialBom};
    std::string m_keyText; // the last key read, in UTF-8
    bool m_checkOnly = false; // reading an archived entry: check everything, build nothing
    QString m_listKey;
    struct KnownKey
    {
        std::string bytes; // UTF-8
        QString text;
    };
    KnownKey m_keys[kKeySlots];
    int m_textChunks = 0; // chunks of the last text read
};
