#include "addressbookloader.h"

#include "abaddressbook.h"

#include <QLabel>
#include <QPointer>
#include <QThread>

#include <sys/resource.h>
#include <unistd.h>
#include <utility>
#include <vector>

namespace {
QPointer<AddressBookLoader> loading;
constexpr int kNiceness = 5;
} // namespace

struct AddressBookLoader::Private
{
    std::unique_ptr<QThread> worker;
    // Written by the worker; read here once it finished.
    std::unique_ptr<ABAddressBook> read;
    std::unique_ptr<ABAddressBook> book;
    bool ready = false;
    std::vector<std::pair<QPointer<QObject>, std::function<void()>>> waiting;
};

AddressBookLoader::AddressBookLoader(QObject *parent) : QObject(parent), d(std::make_unique<Private>())
{
}

AddressBookLoader::~AddressBookLoader()
{
    if (d->worker)
        d->worker->wait();
    if (loading == this)
        loading = nullptr;
}

void AddressBookLoader::start(const QString &directory)
{
    if (d->worker || d->ready)
        return;
    loading = this;
    d->worker.reset(QThread::create([this, directory] {
        // Behind the window: it gets the cores first. The threads the read starts inherit this.
        setpriority(PRIO_PROCESS, static_cast<id_t>(gettid()), kNiceness);
        d->read = std::make_unique<ABAddressBook>(directory);
        // A share's first download would otherwise build it on the window's thread.
        d->read->indexMembership();
    }));
    connect(d->worker.get(), &QThread::finished, this, &AddressBookLoader::finish);
    d->worker->start();
}

bool AddressBookLoader::isReady() const
{
    return d->ready;
}

bool AddressBookLoader::isLoading()
{
    return loading && !loading->d->ready;
}

void AddressBookLoader::whenReady(QObject *context, std::function<void()> action)
{
    if (!isLoading()) {
        action();
        return;
    }
    loading->d->waiting.emplace_back(context, std::move(action));
}

QLabel *AddressBookLoader::loadingLabel(QWidget *parent)
{
    auto *label = new QLabel(tr("Loading the address book…"), parent);
    label->setObjectName(QStringLiteral("addressBookLoadingLabel"));
    label->setAccessibleName(label->text());
    label->setVisible(isLoading());
    if (isLoading())
        connect(loading.data(), &AddressBookLoader::ready, label, &QWidget::hide);
    return label;
}

void AddressBookLoader::finish()
{
    d->worker.reset();
    d->book = std::move(d->read);
    // A store that cannot be opened is not handed on: sharedAddressBook() tries again, as ever.
    if (d->book && d->book->isOpen())
        ABAddressBook::setSharedAddressBook(d->book.get());
    d->ready = true;
    if (loading == this)
        loading = nullptr;
    emit ready();
    // What waited runs in order; what it asks for meanwhile runs at once.
    auto waiting = std::exchange(d->waiting, {});
    for (auto &[context, action] : waiting) {
        if (context)
            action();
    }
}
