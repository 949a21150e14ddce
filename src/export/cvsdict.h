#pragma once

#include "archivedrecords.h"

#include <QDateTime>
#include <QHash>
#include <QString>
#include <QStringList>

#include <functional>

// The column table of an export: one column for every distinct property, label and address part
// that occurs in the downloaded records, one row per person in list order.
//
// Columns of the properties, labels and address parts the address book knows are always kept.
// Any other name a peer sends (its own properties, typed labels) takes a column only while there
// are fewer than kMaxOtherColumns of them, the ones with most cells first: every column is a cell
// in every line, so without that bound a file would grow with the square of the share.
//
// Only the column names and lengths are kept. The cells of a row are built from that person's
// record when the row is read, so the table of a large download costs its column names, not a
// second copy of every value; the records themselves stay in their encoded form.
class CVSDict
{
public:
    static constexpr qsizetype kMaxOtherColumns = 100;

    // Adds one cell: its text, its column name, and whether property, label and address part
    // are all ones the address book knows.
    using CellSink = std::function<void(const QString &value, const QString &name, bool known)>;

    // An empty table: no columns, no rows.
    CVSDict() = default;
    // Reads every record once for the columns and their lengths (and logs each property whose
    // value is a dictionary).
    explicit CVSDict(const ArchivedRecords &records);

    // Sorted by name; every line of a file uses this one order.
    const QStringList &columnNames() const { return m_names; }
    // The length of the longest column: persons after the last one with a cell give no row.
    qsizetype rowCount() const { return m_rowCount; }
    // The columns left out over kMaxOtherColumns.
    qsizetype omittedColumns() const { return m_omitted; }
    // A column is as long as its last filled row plus one; 0 for a name that is not a column.
    qsizetype columnLength(const QString &name) const { return m_lengths.value(name); }
    // The cells of row r in columnNames() order; a null QString where the person has no value.
    QStringList row(qsizetype r) const;

    // The cells one person gives, in order (a later cell for the same column replaces an earlier
    // one). A person that is not a dictionary gives none. Properties whose value is a dictionary
    // give no cell; they are counted in dictionaries when it is given.
    static void insertPerson(const QVariant &person, const CellSink &addValue, int *dictionaries = nullptr);
    // A date as a single cell shows it: "1996-04-15 12:00:00 +0000".
    static QString dateText(const QDateTime &date);

private:
    ArchivedRecords m_records;
    QStringList m_names;
    QHash<QString, qsizetype> m_lengths;
    QHash<QString, qsizetype> m_index; // column name -> position in m_names
    qsizetype m_rowCount = 0;
    qsizetype m_omitted = 0;
};
