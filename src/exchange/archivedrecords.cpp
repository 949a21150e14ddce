#include "archivedrecords.h"

#include "cbormessagereader.h"
#include "zassert.h"

#include <mutex>
#include <vector>

// Decoders left by earlier calls of at(), taken by the next: a decoder's buffers and its table
// of property names outlive one entry, so that entries read one by one share their names as
// toList() does. Entries may be read from several threads at once.
struct ArchivedRecords::Readers
{
    std::mutex mutex;
    std::vector<std::unique_ptr<CborMessageReader>> idle;
};

ArchivedRecords::ArchivedRecords() : m_readers(std::make_shared<Readers>()) {}

QVariant ArchivedRecords::at(qsizetype i) const
{
    ZPARAMETER_ASSERT(i >= 0 && i < m_offsets.size());
    std::unique_ptr<CborMessageReader> reader;
    {
        const std::lock_guard lock(m_readers->mutex);
        if (!m_readers->idle.empty()) {
            reader = std::move(m_readers->idle.back());
            m_readers->idle.pop_back();
        }
    }
    if (reader)
        reader->seek(m_offsets.at(i));
    else
        reader = std::make_unique<CborMessageReader>(m_payload, m_offsets.at(i));
    QVariant record;
    // Checked when the message was decoded; should the check and the full read ever disagree,
    // the entry reads as nothing, never as half a record.
    const bool read = reader->readItem(record, m_depth, kMaxItemsPerRecord);
    {
        const std::lock_guard lock(m_readers->mutex);
        m_readers->idle.push_back(std::move(reader));
    }
    return read ? record : QVariant();
}

RecordList ArchivedRecords::toList() const
{
    RecordList list;
    if (m_offsets.isEmpty())
        return list;
    list.reserve(m_offsets.size());
    // One reader over the whole run of entries, so that property names are shared among them.
    CborMessageReader reader(m_payload, m_offsets.first());
    for (qsizetype i = 0; i < m_offsets.size(); ++i) {
        if (i > 0)
            reader.seek(m_offsets.at(i));
        QVariant record;
        if (!reader.readItem(record, m_depth, kMaxItemsPerRecord))
            record = QVariant();
        list.append(std::move(record));
    }
    return list;
}
