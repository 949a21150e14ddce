#include "fetchimport.h"

#include "abaddressbook.h"
#include "abgroup.h"
#include "archivedrecords.h"
#include "cliaddressbook.h"
#include "commands.h"
#include "quicksync.h"

struct FetchImport::Private
{
    bool import = false;
    bool update = false;
    bool noAdd = false;
    bool skipPresent = false;
    QString directory;
    QuickSyncOptions options;
    std::unique_ptr<ABAddressBook> own;
    ABAddressBook *book = nullptr;
};

FetchImport::FetchImport() : d(std::make_unique<Private>()) {}

FetchImport::~FetchImport() = default;

void FetchImport::printHelp(QTextStream &out)
{
    out << "\nImport (what the quick sync window does):\n"
           "  --import             add the downloaded persons to the address book\n"
           "  --addressbook DIR    use this address book folder instead of the user's\n"
           "  --group NAME         put the added persons into the first existing group NAME\n"
           "  --new-group NAME     put the added persons into a new group NAME\n"
           "  --skip-present MATCH leave out persons already present, matching first-last or\n"
           "                       first-last-company\n"
           "  --update             instead of copying, give the persons already present what they\n"
           "                       lack (MATCH decides who is present; default first-last-company)\n"
           "                       and add the others\n"
           "  --no-add             with --update: leave out persons who match nobody\n";
}

bool FetchImport::takeOption(const QStringList &args, qsizetype &i, QTextStream &err, bool *usageError)
{
    const QString &arg = args.at(i);
    const auto value = [&](QString *out) {
        if (i + 1 >= args.size()) {
            err << "zorbix-cli fetch: " << arg << " needs a value\n";
            *usageError = true;
            return;
        }
        *out = args.at(++i);
    };
    *usageError = false;
    if (arg == QLatin1String("--import")) {
        d->import = true;
    } else if (arg == QLatin1String("--update")) {
        d->import = d->update = true;
    } else if (arg == QLatin1String("--no-add")) {
        d->noAdd = true;
    } else if (arg == QLatin1String("--addressbook")) {
        value(&d->directory);
    } else if (arg == QLatin1String("--group") || arg == QLatin1String("--new-group")) {
        if (d->options.group != QuickSyncOptions::Group::None) {
            err << "zorbix-cli fetch: give one of --group and --new-group, once\n";
            *usageError = true;
            return true;
        }
        value(&d->options.groupName);
        d->options.group = arg == QLatin1String("--group") ? QuickSyncOptions::Group::Existing
                                                           : QuickSyncOptions::Group::New;
    } else if (arg == QLatin1String("--skip-present")) {
        QString match;
        value(&match);
        if (match == QLatin1String("first-last")) {
            d->options.matchType = vCardFirstLast;
        } else if (match == QLatin1String("first-last-company")) {
            d->options.matchType = vCardFirstLastCompany;
        } else if (!*usageError) {
            err << "zorbix-cli fetch: --skip-present takes first-last or first-last-company\n";
            *usageError = true;
        }
        d->skipPresent = true;
    } else {
        return false;
    }
    return true;
}

bool FetchImport::requested() const
{
    return d->import;
}

int FetchImport::prepare(QTextStream &err)
{
    if (!d->import) {
        if (!d->directory.isEmpty() || d->skipPresent || d->noAdd ||
            d->options.group != QuickSyncOptions::Group::None) {
            err << "zorbix-cli fetch: --addressbook, --group, --new-group, --skip-present and --no-add go "
                   "with "
                   "--import or --update\n";
            return CliUsage;
        }
        return CliOk;
    }
    if (d->noAdd && !d->update) {
        err << "zorbix-cli fetch: --no-add goes with --update\n";
        return CliUsage;
    }
    d->book = openCliAddressBook(d->directory, "fetch", err, d->own);
    if (!d->book)
        return CliFailure;
    if (d->options.group == QuickSyncOptions::Group::Existing) {
        bool found = false;
        for (const ABGroup *group : d->book->groups())
            found = found || group->name() == d->options.groupName;
        if (!found) {
            err << "zorbix-cli fetch: the address book has no group named \"" << d->options.groupName
                << "\" (use --new-group to make one)\n";
            return CliUsage;
        }
    }
    if (d->update) {
        d->options.mode = QuickSyncOptions::Mode::UpdateOnly;
        d->options.addUnmatched = !d->noAdd;
    } else {
        d->options.matching = d->skipPresent;
        d->options.streamSlice = 4096; // a large share takes the memory of a slice, not of all its persons
    }
    return CliOk;
}

int FetchImport::run(const ArchivedRecords &records, QTextStream &out, QTextStream &err)
{
    // Another program may have written to the folder while we downloaded.
    d->book->refresh();
    QuickSync sync(
        d->book, [&records](qsizetype i) { return records.at(i); }, records.size(), d->options);
    if (!sync.run()) {
        err << "zorbix-cli fetch: the address book could not be saved: " << d->book->lastSaveError() << '\n';
        return CliFailure;
    }
    out << sync.summaryTitle() << '\n' << sync.summaryHint() << '\n';
    return CliOk;
}
