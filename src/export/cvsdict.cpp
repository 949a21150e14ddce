#include "cvsdict.h"

#include "abglobals.h"
#include "ablocalized.h"
#include "systemlog.h"

#include <QThread>
#include <QtConcurrent/QtConcurrentMap>

#include <algorithm>

namespace {

bool isText(const QVariant &value)
{
    return value.metaType() == QMetaType::fromType<QString>();
}

bool isDate(const QVariant &value)
{
    return value.metaType() == QMetaType::fromType<QDateTime>();
}

// Texts as they are, dates in their single-value form; anything else has no cell.
bool cellText(const QVariant &value, QString *out)
{
    if (isText(value)) {
        *out = value.toString();
        return true;
    }
    if (isDate(value)) {
        *out = CVSDict::dateText(value.toDateTime());
        return true;
    }
    return false;
}

} // namespace

CVSDict::CVSDict(const ArchivedRecords &records) : m_records(records)
{
    // Reading a record costs far more than looking at it, so the records are read in slices on
    // all cores; each slice finds its own columns, and the slices are merged in order.
    struct Slice
    {
        QHash<QString, qsizetype> lengths;
        qsizetype rowCount = 0;
        int dictionaries = 0;
    };
    const qsizetype count = records.size();
    const qsizetype slices = count < 2000 ? 1 : std::clamp(QThread::idealThreadCount(), 1, 8);
    QList<std::pair<qsizetype, qsizetype>> ranges;
    for (qsizetype i = 0; i < slices; ++i)
        ranges.append({count * i / slices, count * (i + 1) / slices});
    const auto scan = [&records](const std::pair<qsizetype, qsizetype> &range) {
        Slice slice;
        for (qsizetype row = range.first; row < range.second; ++row) {
            insertPerson(records.at(row), [&slice, row](const QString &, const QString &name) {
                qsizetype &length = slice.lengths[name];
                length = std::max(length, row + 1);
                slice.rowCount = row + 1;
            }, &slice.dictionaries);
        }
        return slice;
    };
    const QList<Slice> results =
        slices == 1 ? QList<Slice>{scan(ranges.first())} : QtConcurrent::blockingMapped(ranges, scan);
    int dictionaries = 0;
    for (const Slice &slice : results) {
        for (auto it = slice.lengths.cbegin(); it != slice.lengths.cend(); ++it) {
            qsizetype &length = m_lengths[it.key()];
            length = std::max(length, it.value());
        }
        m_rowCount = std::max(m_rowCount, slice.rowCount);
        dictionaries += slice.dictionaries;
    }
    for (int i = 0; i < dictionaries; ++i)
        systemLog(QStringLiteral("insertPerson: Dictionary??"));
    m_names = m_lengths.keys();
    std::sort(m_names.begin(), m_names.end());
    m_index.reserve(m_names.size());
    for (qsizetype i = 0; i < m_names.size(); ++i)
        m_index.insert(m_names.at(i), i);
}

QStringList CVSDict::row(qsizetype r) const
{
    QStringList cells(m_names.size());
    if (r < 0 || r >= m_rowCount)
        return cells;
    insertPerson(m_records.at(r), [this, &cells](const QString &value, const QString &name) {
        const auto it = m_index.constFind(name);
        if (it != m_index.cend())
            cells[*it] = value;
    });
    return cells;
}

void CVSDict::insertPerson(const QVariant &person, const CellSink &addValue, int *dictionaries)
{
    if (person.metaType() != QMetaType::fromType<QVariantMap>())
        return;
    // QVariantMap visits its keys in ascending order.
    const QVariantMap values = person.toMap();
    for (auto it = values.cbegin(); it != values.cend(); ++it) {
        const QString &property = it.key();
        if (property == kABUIDProperty || property == kABCreationDateProperty ||
            property == kABModificationDateProperty)
            continue;
        const QVariant &value = it.value();
        QString text;
        if (cellText(value, &text)) {
            addValue(text, property);
        } else if (value.metaType() == QMetaType::fromType<QVariantList>()) {
            for (const QVariant &entry : value.toList()) {
                // A labeled value holds one pair; anything else from a peer is passed over.
                if (entry.metaType() != QMetaType::fromType<QVariantMap>())
                    continue;
                const QVariantMap pair = entry.toMap();
                if (pair.size() != 1)
                    continue;
                const QString label = ABLocalizedPropertyOrLabel(pair.firstKey());
                const QVariant &inner = pair.first();
                if (inner.metaType() == QMetaType::fromType<QVariantMap>()) {
                    const QVariantMap parts = inner.toMap();
                    for (auto part = parts.cbegin(); part != parts.cend(); ++part) {
                        if (cellText(part.value(), &text))
                            addValue(text, property + u" ["_qs + label + u" :: "_qs +
                                               ABLocalizedPropertyOrLabel(part.key()) + u']');
                    }
                } else if (cellText(inner, &text)) {
                    addValue(text, property + u" ["_qs + label + u']');
                }
            }
        } else if (value.metaType() == QMetaType::fromType<QVariantMap>()) {
            if (dictionaries)
                ++*dictionaries;
        }
        // Numbers, data and other kinds are not exported.
    }
}

QString CVSDict::dateText(const QDateTime &date)
{
    const int offset = date.offsetFromUtc();
    const int minutes = std::abs(offset) / 60;
    return date.toString(QStringLiteral("yyyy-MM-dd HH:mm:ss ")) + (offset < 0 ? u'-' : u'+') +
           QStringLiteral("%1%2").arg(minutes / 60, 2, 10, QChar(u'0')).arg(minutes % 60, 2, 10, QChar(u'0'));
}
