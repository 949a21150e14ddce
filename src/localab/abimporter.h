#pragma once

#include <QList>
#include <QString>
#include <QStringList>

class ABAddressBook;

// One card (or whole file) that could not be taken in, and why.
struct ABImportFailure
{
    enum Kind { CannotRead, NoEnd, NoCard, EmptyCard, UidTaken };

    QString file;
    int card = 0; // 1-based position of the card in the file; 0 for the file as a whole
    QString reason; // in English, for the log and the command line
    Kind kind = CannotRead;
    QString detail; // the system's reason (CannotRead) or the UID (UidTaken)
};

struct ABImportResult
{
    int personsAdded = 0;
    int groupsAdded = 0; // card groups and new category names
    QList<ABImportFailure> failures;
    bool saved = true; // false when writing to the store failed (already reported to the user)
};

// Adds the contacts and groups of vCard files exported by other programs to a store and saves it.
// Cards keep their UID (group cards refer to it) unless the store has it already; a card with a
// UID that the store already holds is reported, not imported twice. Properties the store does
// not model (photos, X- properties) stay in the written files.
class ABImporter
{
public:
    // A file to import may hold a whole address book; a larger one is refused unread.
    static constexpr qint64 kMaxFileSize = 256 * 1024 * 1024;

    explicit ABImporter(ABAddressBook *book);
    // Saves after every `persons` persons and lets go of them (ABAddressBook::release), so that a
    // large file takes the memory of a slice; the import stops at the first save that fails. For a
    // one-shot importer (zorbix-cli import), not for a store that a window shows. 0 (the default):
    // one save at the end, and the persons stay.
    void setStreamSlice(qsizetype persons);
    ABImportResult importFiles(const QStringList &paths);

private:
    ABAddressBook *m_book;
    qsizetype m_streamSlice = 0;
};
