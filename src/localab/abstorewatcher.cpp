#include "abstorewatcher.h"

#include "abaddressbook.h"

#include <QFileSystemWatcher>
#include <QTimer>

struct ABStoreWatcher::Private
{
    ABAddressBook *book = nullptr;
    QFileSystemWatcher watcher;
    QTimer delay;
};

ABStoreWatcher::ABStoreWatcher(ABAddressBook *book, QObject *parent) : QObject(parent), d(std::make_unique<Private>())
{
    d->book = book;
    d->delay.setSingleShot(true);
    d->delay.setInterval(300);
    connect(&d->delay, &QTimer::timeout, this, &ABStoreWatcher::refreshNow);
    if (book && book->isOpen()) {
        // The directory's own entry changes with every file added, removed or replaced by
        // rename, which is how programs that care about their files write them (and how we do).
        d->watcher.addPath(book->directory());
        connect(&d->watcher, &QFileSystemWatcher::directoryChanged, &d->delay, qOverload<>(&QTimer::start));
    }
}

ABStoreWatcher::~ABStoreWatcher() = default;

void ABStoreWatcher::setDelay(int milliseconds)
{
    d->delay.setInterval(milliseconds);
}

void ABStoreWatcher::takeInPendingChanges()
{
    if (d->delay.isActive())
        refreshNow();
}

void ABStoreWatcher::refreshNow()
{
    d->delay.stop();
    if (d->book && d->book->refresh())
        emit refreshed();
}
