#pragma once

#include "abrecordhelpers.h"
#include "flatperson.h"

#include <QString>
#include <QStringList>
#include <QVariant>

#include <functional>
#include <memory>

class ABAddressBook;
class ABPerson;

struct QuickSyncOptions
{
    enum class Mode {
        CopyAll,    // every downloaded person becomes a new person (unless present, with matching)
        UpdateOnly, // persons present get what they lack; the others are added or left out
    };
    enum class Group {
        None,     // no group
        Existing, // the first group whose name is groupName (when none has it: reported, no group)
        New,      // a new group named groupName, made only when a person is added
    };

    Mode mode = Mode::CopyAll;
    bool matching = false; // copy-all: leave out persons the store holds already
    qint32 matchType = vCardFirstLastCompany;
    Group group = Group::None;
    QString groupName;
    bool addUnmatched = true; // update-only: add persons that match nobody
    // Copy-all in run(): when above 0, the persons are put into the store and saved this many at a
    // time, and the store lets go of each slice once it is saved (ABAddressBook::release), so that
    // a share of any size takes the memory of one slice. The group (new, or an existing card
    // group) gets its members after the last slice. For a one-shot import such as the CLI's.
    qsizetype streamSlice = 0;
};

struct QuickSyncResult
{
    int saved = 0;     // copy-all: persons added
    int skipped = 0;   // copy-all: present already; update-only: matching nobody and left out
    int updated = 0;   // update-only: persons present that gained values
    int unchanged = 0; // update-only: persons present that had everything
    int added = 0;     // update-only: persons matching nobody, added
    int empty = 0;     // records that are no person or hold nothing to store (copy-all: in skipped too)
    int tooLarge = 0;  // values left out because the card would grow past what the store reads
    QString groupLabel = QStringLiteral("All");
    bool groupGone = false; // the existing group chosen was not there when the persons were added
    bool saveOk = false;
};

// One run of quick sync over a downloaded record list. The run is prepared in slices (prepare),
// so that a window can show progress and stay responsive, without touching the store; commit
// then puts everything into the store at once and save writes it. A run dropped before commit
// leaves the store as it was. When the store changes while a run is prepared (another program
// wrote to its folder), preparing starts again from the first record.
//
// The update rules are described in docs/quicksync.md.
class QuickSync
{
public:
    // Entry i of the record list, normally a FlatPerson; called once per entry and preparation.
    // A streamed run (streamSlice) calls it from several threads at once.
    using RecordAt = std::function<QVariant(qsizetype)>;
    using Progress = std::function<void(qsizetype done, qsizetype total)>;

    QuickSync(ABAddressBook *book, RecordAt recordAt, qsizetype count, const QuickSyncOptions &options);
    ~QuickSync();
    QuickSync(const QuickSync &) = delete;
    QuickSync &operator=(const QuickSync &) = delete;

    // Prepares up to n more records; true when every record is prepared.
    bool prepare(qsizetype n);
    qsizetype preparedCount() const;
    qsizetype count() const;

    // Prepares what is left, then adds the group, the new persons and the updates to the store.
    void commit();
    // One save of the store (its failure is alerted by the store); records the outcome.
    bool save(const Progress &progress = {});
    // Everything: prepare, commit, save.
    bool run(const Progress &saveProgress = {});

    const QuickSyncResult &result() const;
    // The texts of the final report.
    QString summaryTitle() const;
    QString summaryHint() const;

    // A new person (not in a store) with the values of a downloaded one: texts and dates as they
    // are, multi-values entry by entry; UID, creation and modification dates, dictionaries
    // (logged), numbers and data are left out, as is anything the store cannot hold. A value
    // that would make the card larger than the store reads (ABAddressBook::kMaxCardFileSize) is
    // left out and counted in *tooLarge.
    static std::unique_ptr<ABPerson> copyOf(const FlatPerson &person, int *tooLarge = nullptr);

private:
    struct Private;
    std::unique_ptr<Private> d;
};
