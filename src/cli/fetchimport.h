#pragma once

#include <QStringList>
#include <QTextStream>

#include <memory>

class ArchivedRecords;

// zorbix-cli fetch ... --import: puts the downloaded persons into an address book the way the
// quick sync window does (copy-all, or with --update the update-only rules) and prints the same
// summary.
class FetchImport
{
public:
    FetchImport();
    ~FetchImport();

    // Takes the option at args[i] (and its value, advancing i) when it is one of ours. False when
    // it is not ours; *usageError when it is ours but malformed (already told on err).
    bool takeOption(const QStringList &args, qsizetype &i, QTextStream &err, bool *usageError);
    bool requested() const;
    // Before the download: checks the options together and opens the address book, so that a
    // mistake costs no download. Returns an exit code; CliOk to go on.
    int prepare(QTextStream &err);
    // After the download: imports, saves and prints the summary. Returns the exit code.
    int run(const ArchivedRecords &records, QTextStream &out, QTextStream &err);

    static void printHelp(QTextStream &out);

private:
    struct Private;
    std::unique_ptr<Private> d;
};
