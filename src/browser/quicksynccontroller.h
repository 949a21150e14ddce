#pragma once

#include "remoteaddressbook.h"

#include <QObject>

#include <memory>

class ABAddressBook;
class QWidget;

// The quick sync window: copies all downloaded persons into the local address book (copy-all
// page), or brings the persons it holds up to date (update-only page). A run shows its progress
// in the window and can be cancelled until it saves; the window stays usable meanwhile. Nothing
// reaches the store before the run is complete, so quitting or cancelling mid-run changes nothing.
//
// The window (window()) is owned by the controller until someone gives it a parent.
class QuickSyncController : public QObject, public RemoteABConsumer
{
    Q_OBJECT

public:
    // Works on ABAddressBook::sharedAddressBook().
    explicit QuickSyncController(QObject *parent = nullptr);
    // Works on book; nullptr stands for a store that cannot be opened.
    explicit QuickSyncController(ABAddressBook *book, QObject *parent = nullptr);
    ~QuickSyncController() override;

    QWidget *window() const;
    // The share browser the records come from (theVCardBrowserOL).
    void setBrowserController(RemoteABSource *browser);

    // Refreshes the share label, the suggested group name, the group list and the enabled states.
    void doReloadData(RemoteABSource *sender) override;

    bool isRunning() const;
    // Records prepared per pass of the event loop.
    void setSliceSize(int records);

public slots:
    void doCopyAll();
    void doUpdateOnly();
    // Drops a run that has not begun to save; the address book stays as it was.
    void cancel();

signals:
    // A run ended: saved (and reported), failed to save (reported by the store) or cancelled.
    void finished();

private:
    void awakeFromNib();
    void updateControls();
    void start(bool updateOnly);
    void step();
    void finish();
    ABAddressBook *addressBook() const;
    RemoteABSource *source() const;

    struct Private;
    std::unique_ptr<Private> d;
};
