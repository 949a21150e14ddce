#pragma once

#include "csvformat.h"
#include "exportfile.h"

#include <QByteArray>
#include <QString>

#include <functional>
#include <memory>

class CVSDict;
class QIODevice;

// Writes a column table as character-separated text. Each piece (cell, separator, line end) is
// converted and written as it is produced; the file is never assembled in memory.
//
// An enclosure character inside a value is doubled; a bare value has CR, LF and the separator's
// characters replaced by a blank. Unless the format asks for raw values, a cell that a
// spreadsheet would take for a formula starts with an apostrophe. A cell the encoding cannot hold
// is written as the text of "SE_NoConversion" within the enclosure. UTF-16 is written in the
// machine's byte order with one byte order mark at the start of the file.
class CSVWriter
{
public:
    // Told after each row; returning false stops the write.
    using Progress = std::function<bool(qsizetype rowsDone, qsizetype rowCount)>;

    explicit CSVWriter(const CSVFormat &format);
    ~CSVWriter();

    // False when a write to the device failed or progress stopped it.
    bool write(const CVSDict &table, QIODevice &device, const Progress &progress = {});
    // Replaces the file at path only when everything was written.
    ExportFileResult writeFile(const CVSDict &table, const QString &path, const Progress &progress = {});

    // Whether a text is present and converts to the format's encoding without loss.
    bool isStringEncodeable(const QString &text);
    // The bytes of a text: "SE_NullValue" for an absent one, "SE_NoConversion" for one the
    // encoding cannot hold, nothing when that cannot be converted either.
    QByteArray niceConvertString(const QString &text);

private:
    struct Private;
    std::unique_ptr<Private> d;
};
