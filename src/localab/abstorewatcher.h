#pragma once

#include <QObject>

class ABAddressBook;

// Keeps a store in step with its directory while the program runs: other programs (a sync tool,
// a contacts application, khard, an editor or a shell redirect writing in place) add, change and
// delete files; shortly after the directory or a card file in it changes, the store takes those
// changes in (ABAddressBook::refresh) and refreshed() is emitted. A share then serves what is on
// disk, not what was there at start.
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

    // Whether the directory is polled instead: the kernel gave no inotify instance or watch (the
    // per-user limits ran out). Then the directory's stamp is looked at every interval (2 s unless
    // set), every file's stamp every 15th time and before each download.
    bool isPolling() const;
    void setPollInterval(int milliseconds);

    // Before the store is read for a download: takes in every change made before this call, also
    // one whose notice the event loop has not delivered yet. When nothing changed it costs one
    // system call and no look at the files.
    void takeInPendingChanges();

signals:
    void refreshed();

private:
    void readNotices();
    void poll();
    void refreshNow();

    struct Private;
    std::unique_ptr<Private> d;
};
