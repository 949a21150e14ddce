#include "cvsdict.h"

#include "abglobals.h"
#include "ablocalized.h"
#include "systemlog.h"

#include <QSet>
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

// Names the address book knows; everything else is a peer's own.
bool isKnownProperty(const QString &name)
{
    static const QSet<QString> names{
        kABFirstNameProperty, kABLastNameProperty, kABMiddleNameProperty, kABMiddleNamePhoneticProperty,
        kABTitleProperty, kABSuffixProperty, kABNicknameProperty, kABMaidenNameProperty,
        kABOrganizationProperty, kABDepartmentProperty, kABJobTitleProperty, kABEmailProperty,
        kABPhoneProperty, kABAddressProperty, kABHomePageProperty, kABURLsProperty,
        kABNoteProperty, kABBirthdayProperty};
    return names.contains(name);
}

bool isKnownLabel(const QString &name)
{
    static const QSet<QString> names{kABWorkLabel, kABHomeLabel, kABOtherLabel, kABPhoneMobileLabel,
                                     kABPhoneMainLabel, kABPhoneHomeFAXLabel, kABPhoneWorkFAXLabel,
                                     kABPhonePagerLabel};
    return names.contains(name);
}

bool isKnownAddressKey(const QString &name)
{
    static const QSet<QString> names{kABAddressStreetKey, kABAddressCityKey,    kABAddressStateKey,
                                     kABAddressZIPKey,    kABAddressCountryKey, kABAddressPOBoxKey,
                                     kABAddressExtendedKey};
    return names.contains(name);
}

} // namespace

CVSDict::CVSDict(const ArchivedRecords &records) : m_records(records)
{
    // Reading a record costs far more than looking at it, so the records are read in slices on
    // all cores; each slice finds its own columns, and the slices are merged in order.
    struct Column
    {
        qsizetype length = 0;
        qsizetype cells = 0; // persons with a cell in it
        bool known = false;
    };
    struct Slice
    {
        QHash<QString, Column> columns;
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
            insertPerson(records.at(row), [&slice, row](const QString &, const QString &name, bool known) {
                Column &column = slice.columns[name];
                if (column.length != row + 1)
                    ++column.cells;
                column.length = row + 1;
                column.known = column.known || known;
            }, &slice.dictionaries);
        }
        return slice;
    };
    const QList<Slice> results =
        slices == 1 ? QList<Slice>{scan(ranges.first())} : QtConcurrent::blockingMapped(ranges, scan);
    int dictionaries = 0;
    QHash<QString, Column> columns;
    for (const Slice &slice : results) {
        for (auto it = slice.columns.cbegin(); it != slice.columns.cend(); ++it) {
            Column &column = columns[it.key()];
            column.length = std::max(column.length, it->length);
            column.cells += it->cells;
            column.known = column.known || it->known;
        }
        dictionaries += slice.dictionaries;
    }
    for (int i = 0; i < dictionaries; ++i)
        systemLog(QStringLiteral("insertPerson: Dictionary??"));

    QList<QHash<QString, Column>::const_iterator> others;
    for (auto it = columns.cbegin(); it != columns.cend(); ++it) {
        if (it->known)
            m_lengths.insert(it.key(), it->length);
        else
            others.append(it);
    }
    const auto kept = others.begin() + std::min(others.size(), kMaxOtherColumns);
    std::partial_sort(others.begin(), kept, others.end(), [](const auto &a, const auto &b) {
        return a->cells != b->cells ? a->cells > b->cells : a.key() < b.key();
    });
    for (auto it = others.begin(); it != kept; ++it)
        m_lengths.insert(it->key(), it->value().length);
    m_omitted = others.end() - kept;
    if (m_omitted > 0)
        systemLog(QStringLiteral("CVSDict: %1 columns over the limit of %2 left out").arg(m_omitted).arg(kMaxOtherColumns));
    for (qsizetype length : std::as_const(m_lengths))
        m_rowCount = std::max(m_rowCount, length);
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
    insertPerson(m_records.at(r), [this, &cells](const QString &value, const QString &name, bool) {
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
        const bool knownProperty = isKnownProperty(property);
        QString text;
        if (cellText(value, &text)) {
            addValue(text, property, knownProperty);
        } else if (value.metaType() == QMetaType::fromType<QVariantList>()) {
            for (const QVariant &entry : value.toList()) {
                // A labeled value holds one pair; anything else from a peer is passed over.
                if (entry.metaType() != QMetaType::fromType<QVariantMap>())
                    continue;
                const QVariantMap pair = entry.toMap();
                if (pair.size() != 1)
                    continue;
                const QString label = ABLocalizedPropertyOrLabel(pair.firstKey());
                const bool knownLabel = knownProperty && isKnownLabel(pair.firstKey());
                const QVariant &inner = pair.first();
                if (inner.metaType() == QMetaType::fromType<QVariantMap>()) {
                    const QVariantMap parts = inner.toMap();
                    for (auto part = parts.cbegin(); part != parts.cend(); ++part) {
                        if (cellText(part.value(), &text))
                            addValue(text,
                                     property + u" ["_qs + label + u" :: "_qs +
                                         ABLocalizedPropertyOrLabel(part.key()) + u']',
                                     knownLabel && isKnownAddressKey(part.key()));
                    }
                } else if (cellText(inner, &text)) {
                    addValue(text, property + u" ["_qs + label + u']', knownLabel);
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
