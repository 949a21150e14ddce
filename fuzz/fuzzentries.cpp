#include "fuzzentries.h"

#include "archivedrecords.h"
#include "cbormessagereader.h"
#include "cborwalker.h"
#include "exchangearchive.h"
#include "qfconnectionpool.h"
#include "zassert.h"

#include <QTcpSocket>

#include <climits>

namespace {

// Same value, compared through its encoding: a NaN is not equal to itself as a QVariant.
bool sameValue(const QVariant &a, const QVariant &b)
{
    const QString key = QStringLiteral("v");
    return ExchangeArchive::encode({{key, a}}) == ExchangeArchive::encode({{key, b}});
}

// Kept encoded, "ABData" must be refused and read exactly like the fully decoded list.
void checkArchivedList(const QByteArray &payload, const std::optional<QVariantMap> &message)
{
    const QString key = QStringLiteral("ABData");
    const std::optional<QVariantMap> lazy = ExchangeArchive::decode(payload, key);
    if (payload.size() < ArchivedRecords::kMaxItemsPerRecord) // below every budget both agree
        ZASSERT(lazy.has_value() == message.has_value());
    if (!lazy || !message)
        return;
    const QVariant list = lazy->value(key);
    if (list.typeId() != QMetaType::fromType<ArchivedRecords>().id()) {
        ZASSERT(sameValue(*lazy, *message));
        return;
    }
    const ArchivedRecords records = list.value<ArchivedRecords>();
    const QVariantList eager = message->value(key).toList();
    ZASSERT(records.size() == eager.size());
    for (qsizetype i = 0; i < records.size(); ++i)
        ZASSERT(sameValue(records.at(i), eager.at(i)));
    ZASSERT(sameValue(records.toList(), eager));
}

void checkArchive(const QByteArray &payload)
{
    const std::optional<QVariantMap> message = ExchangeArchive::decode(payload);
    checkArchivedList(payload, message);
    if (!message)
        return;
    // What decodes must encode, and encoding what came back must give the same bytes again.
    const std::optional<QByteArray> once = ExchangeArchive::encode(*message);
    ZASSERT(once.has_value());
    const std::optional<QVariantMap> again = ExchangeArchive::decode(*once);
    ZASSERT(again.has_value());
    const std::optional<QByteArray> twice = ExchangeArchive::encode(*again);
    ZASSERT(twice.has_value() && *twice == *once);
}

} // namespace

int fuzzArchiveOneInput(const uint8_t *data, size_t size)
{
    checkArchive(QByteArray(reinterpret_cast<const char *>(data), qsizetype(size)));
    return 0;
}

int fuzzWalkerOneInput(const uint8_t *data, size_t size)
{
    const QByteArray payload(reinterpret_cast<const char *>(data), qsizetype(size));
    for (const QString &key : {QStringLiteral("ABData"), QString()}) {
        CborMessageReader reader(payload);
        const std::optional<QVariantMap> reference = reader.readMessage(key);
        ZASSERT(CborWalker::walk(payload, key).has_value() == reference.has_value());
        if (!reference)
            continue;
        const std::optional<QVariantMap> fast = ExchangeArchive::decode(payload, key);
        ZASSERT(fast.has_value() && fast->keys() == reference->keys());
        for (auto it = reference->cbegin(); it != reference->cend(); ++it) {
            const QVariant other = fast->value(it.key());
            if (it->typeId() == QMetaType::fromType<ArchivedRecords>().id())
                ZASSERT(sameValue(it->value<ArchivedRecords>().toList(), other.value<ArchivedRecords>().toList()));
            else
                ZASSERT(sameValue(*it, other));
        }
    }
    return 0;
}

int fuzzPoolOneInput(const uint8_t *data, size_t size)
{
    if (size < 2)
        return 0;
    static QTcpSocket *handle = new QTcpSocket;
    // Chunk sizes from a small generator seeded by the first two bytes: 1 to 64 bytes each.
    quint32 state = (quint32(data[0]) << 8) | data[1];
    data += 2;
    size -= 2;

    QFConnectionPool pool;
    pool.addConnection(handle);
    qsizetype expectedBuffered = 0;
    size_t offset = 0;
    while (offset < size) {
        state = state * 1103515245u + 12345u;
        const size_t chunk = qMin<size_t>(size - offset, 1 + (state >> 16) % 64);
        pool.addData(QByteArray(reinterpret_cast<const char *>(data + offset), qsizetype(chunk)), handle);
        offset += chunk;
        expectedBuffered += qsizetype(chunk);
        ZASSERT(pool.getDataForConnection(handle).size() == expectedBuffered);

        while (pool.isConnectionComplete(handle)) {
            const int declared = pool.getHeadLengthforConnection(handle);
            const std::optional<QByteArray> payload = pool.unpackDatafromConnection(handle);
            if (!payload) {
                // No payload only for lengths that cannot carry one; the bytes stay.
                ZASSERT(declared <= QFConnectionPool::kHeaderLength || declared == INT_MAX);
                ZASSERT(pool.getDataForConnection(handle).size() == expectedBuffered);
                break;
            }
            ZASSERT(payload->size() == declared - QFConnectionPool::kHeaderLength);
            expectedBuffered -= declared;
            ZASSERT(pool.getDataForConnection(handle).size() == expectedBuffered);
            // What a peer would send back for it frames to the same bytes.
            ZASSERT(QFConnectionPool::packData(*payload, handle).size() == declared);
            checkArchive(*payload);
        }
    }
    pool.removeConnection(handle);
    ZASSERT(!pool.isActiveConnection(handle));
    return 0;
}
