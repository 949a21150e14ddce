#pragma once

#include <QObject>

class ABAddressBook;

// Keeps a store in step with its directory while the program runs: other programs (a sync tool,
// a contacts application, khard) add, change and delete files; shortly after the directory
// changes, the store takes those changes in (ABAddressBook::refresh) and refreshed() is emitted.
// A share then serves what is in the directory, not what was there at start.
class ABStoreWatcher : public QObject
{
    Q_OBJECT

public:
    // Does not own the store, which must outlive the watcher.
    explicit ABStoreWatcher(ABAddressBook *book, QObject *parent = nullptr);
    ~ABStoreWatcher() override;

    // Time from the last change seen to the refresh, so that a burst of writes (a sync) is taken
    // in once.
    void setDelay(int milliseconds);

    // Before the store is read for a download: takes in a change seen but not yet taken in, so
    // that the download has it. Costs nothing when the directory has not changed.
    void takeInPendingChanges();

signals:
    void refreshed();

private:
    void refreshNow();

    struct Private;
    std::unique_ptr<Private> d;
};
