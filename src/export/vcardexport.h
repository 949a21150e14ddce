#pragma once

#include "exportfile.h"

#include <functional>

class ArchivedRecords;
class QIODevice;

// Writes downloaded persons as one vCard 3.0 file, the way the store writes its own cards, so
// that other address book programs import them. Records that hold no person value (or are not
// dictionaries) are left out; each person gets a fresh UID.
class VCardExport
{
public:
    // Told after each record; returning false stops the write.
    using Progress = std::function<bool(qsizetype done, qsizetype count)>;

    // The number of cards written, or -1 when a write failed or progress stopped it.
    static qsizetype write(const ArchivedRecords &records, QIODevice &device, const Progress &progress = {});
    // Replaces the file at path only when everything was written; cards counts what was written.
    static ExportFileResult writeFile(const ArchivedRecords &records, const QString &path,
                                      qsizetype *cards = nullptr, const Progress &progress = {});
};
