#include "archivedrecords.h"

#include "cbormessagereader.h"
#include "zassert.h"

QVariant ArchivedRecords::at(qsizetype i) const
{
    ZPARAMETER_ASSERT(i >= 0 && i < m_offsets.size());
    CborMessageReader reader(m_payload, m_offsets.at(i));
    QVariant record;
    // Checked when the message was decoded; should the check and the full read ever disagree,
    // the entry reads as nothing, never as half a record.
    if (!reader.readItem(record, m_depth, kMaxItemsPerRecord))
        return QVariant();
    return record;
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
