#include "abaddressbook.h"
#include "abimporter.h"
#include "cliaddressbook.h"
#include "commands.h"

#include <QTextStream>

#include <memory>

namespace {

void printImportHelp(QTextStream &out)
{
    out << "Usage: zorbix-cli import [--addressbook DIR] FILE.vcf...\n"
           "Adds the contacts and groups of vCard files (from Evolution, GNOME Contacts, Thunderbird,\n"
           "Google, Apple, Outlook, Android and others) to the address book.\n\n"
           "  --addressbook DIR  use this address book folder instead of the user's\n";
}

} // namespace

int cmdImport(const QStringList &args)
{
    QTextStream out(stdout);
    QTextStream err(stderr);
    QString directory;
    QStringList files;
    for (qsizetype i = 0; i < args.size(); ++i) {
        const QString &arg = args.at(i);
        if (arg == QLatin1String("--help") || arg == QLatin1String("-h")) {
            printImportHelp(out);
            return CliOk;
        }
        if (arg == QLatin1String("--addressbook")) {
            if (i + 1 >= args.size()) {
                err << "zorbix-cli import: --addressbook needs a folder\n";
                return CliUsage;
            }
            directory = args.at(++i);
        } else if (arg.startsWith(QLatin1String("--"))) {
            err << "zorbix-cli import: unknown option " << arg << "\n";
            printImportHelp(err);
            return CliUsage;
        } else {
            files.append(arg);
        }
    }
    if (files.isEmpty()) {
        printImportHelp(err);
        return CliUsage;
    }
    std::unique_ptr<ABAddressBook> own;
    ABAddressBook *book = openCliAddressBook(directory, "import", err, own);
    if (!book)
        return CliFailure;
    ABImporter importer(book);
    importer.setStreamSlice(4096); // a large file takes the memory of a slice, not of all its persons
    const ABImportResult result = importer.importFiles(files);
    out << "Added " << result.personsAdded << (result.personsAdded == 1 ? " contact" : " contacts") << " and "
        << result.groupsAdded << (result.groupsAdded == 1 ? " group" : " groups") << " to "
        << book->directory() << ".\n";
    if (!result.failures.isEmpty()) {
        err << result.failures.size() << (result.failures.size() == 1 ? " card" : " cards")
            << " could not be imported:\n";
        for (const ABImportFailure &failure : result.failures) {
            err << "  " << failure.file;
            if (failure.card > 0)
                err << " (card " << failure.card << ")";
            err << ": " << failure.reason << "\n";
        }
    }
    if (!result.saved) {
        err << "zorbix-cli import: the address book could not be saved: " << book->lastSaveError() << "\n";
        return CliFailure;
    }
    return result.failures.isEmpty() ? CliOk : CliFailure;
}
