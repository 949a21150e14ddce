#pragma once

#include <QObject>

#include <functional>
#include <memory>

class ABAddressBook;
class QLabel;
class QWidget;

// Reads the user's address book on a worker thread, so that the windows show at once, and hands
// it to the GUI thread, where it becomes ABAddressBook::sharedAddressBook(). While it reads,
// whatever would act on the store waits in whenReady(): a store read twice, or changed while
// half read, could lose what the user did.
class AddressBookLoader : public QObject
{
    Q_OBJECT

public:
    explicit AddressBookLoader(QObject *parent = nullptr);
    // Waits for a read still going on; the store read leaves with the loader.
    ~AddressBookLoader() override;

    // Starts reading the store in directory.
    void start(const QString &directory);
    bool isReady() const;

    // Whether a loader is reading the store now.
    static bool isLoading();
    // Runs action at once when no loader is reading, else when the store is there, in the order
    // asked; not at all when context is gone by then.
    static void whenReady(QObject *context, std::function<void()> action);

    // A line that says the store is being read, for a page or window that needs it: shown while
    // a loader reads, gone once the store is there.
    static QLabel *loadingLabel(QWidget *parent);

signals:
    // The store is sharedAddressBook() now (or, when it could not be opened, nullptr is).
    void ready();

private:
    void finish();

    struct Private;
    std::unique_ptr<Private> d;
};
