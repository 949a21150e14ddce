#pragma once

#include "flatperson.h"

#include <QByteArray>
#include <QList>
#include <QMetaType>
#include <QVariant>

#include <memory>

// The records of a received "ABData", kept in their encoded form and built one at a time when
// read. A decoded list of nested maps takes about ten times its wire size; this takes about one,
// and a peer that sends millions of tiny entries costs four bytes per entry instead of a
// QVariant each. Every entry was checked when the message was decoded. Copies share the bytes.
class ArchivedRecords
{
public:
    // At most this many entries in one list, and this many values in one entry; a message over
    // either limit does not decode.
    static constexpr qsizetype kMaxRecords = 1'000'000;
    static constexpr qint64 kMaxItemsPerRecord = 100'000;

    ArchivedRecords();

    qsizetype size() const { return m_offsets.size(); }
    bool isEmpty() const { return m_offsets.isEmpty(); }
    // Entry i as the peer sent it: normally a FlatPerson map, but a peer may send anything.
    QVariant at(qsizetype i) const;
    // All entries at once, with repeated property names shared.
    RecordList toList() const;

private:
    friend class CborMessageReader;
    friend class ExchangeArchive;

    struct Readers;

    QByteArray m_payload;
    QList<quint32> m_offsets; // where each entry starts in m_payload
    std::shared_ptr<Readers> m_readers; // shared by copies
    int m_depth = 0;          // the entries' nesting depth in the message
};
Q_DECLARE_METATYPE(ArchivedRecords)
