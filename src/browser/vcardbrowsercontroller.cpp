#include "vcardbrowsercontroller.h"

#include "abaddressbook.h"
#include "addressbookloader.h"
#include "abperson.h"
#include "exchangeprotocol.h"
#include "ownercardfields.h"
#include "platformhooks.h"
#include "qfexchangeclient.h"
#include "qfrendezvousclient.h"
#include "settingssync.h"
#include "sharercard.h"
#include "sharetrust.h"
#include "staticaddresslookup.h"
#include "staticservercontroller.h"
#include "systemlog.h"
#include "ui_browsewindow.h"
#include "vcardcommon.h"
#include "zassert.h"

#include <QApplication>
#include <QHeaderView>
#include <QIconEngine>
#include <QKeyEvent>
#include <QLocale>
#include <QPointer>
#include <QSettings>
#include <QShortcut>
#include <QStringListModel>

#include <array>

const QString vCardBrowserController::kWindowOpenKey = QStringLiteral("browseWindow/open");
const QString vCardBrowserController::kWindowGeometryKey = QStringLiteral("browseWindow/geometry");

namespace {

// A consumer window and, when it is a QObject, the watch that forgets it when it goes.
struct ConsumerSlot
{
    RemoteABConsumer *consumer = nullptr;
    QMetaObject::Connection watch;
};

void writeSetting(const QString &key, const QVariant &value)
{
    QSettings settings;
    settings.setValue(key, value);
    if (!syncSettings(settings))
        systemLog(QStringLiteral("vCardBrowserController: could not write %1 to %2").arg(key, settings.fileName()));
}

// Draws a picture alike in every mode: the state button is disabled while a download runs, and
// its pictures must keep their colours (the failure picture red) all the same.
class SameInEveryMode final : public QIconEngine
{
public:
    explicit SameInEveryMode(const QIcon &icon) : m_icon(icon) {}
    void paint(QPainter *painter, const QRect &rect, QIcon::Mode, QIcon::State state) override
    {
        m_icon.paint(painter, rect, Qt::AlignCenter, QIcon::Normal, state);
    }
    QPixmap pixmap(const QSize &size, QIcon::Mode, QIcon::State state) override
    {
        return m_icon.pixmap(size, QIcon::Normal, state);
    }
    QPixmap scaledPixmap(const QSize &size, QIcon::Mode, QIcon::State state, qreal scale) override
    {
        return m_icon.pixmap(size / scale, scale, QIcon::Normal, state);
    }
    QSize actualSize(const QSize &size, QIcon::Mode, QIcon::State state) override
    {
        return m_icon.actualSize(size, QIcon::Normal, state);
    }
    QIconEngine *clone() const override { return new SameInEveryMode(m_icon); }

private:
    QIcon m_icon;
};

void inColourWhenDisabled(QAbstractButton *button)
{
    button->setIcon(QIcon(new SameInEveryMode(button->icon())));
}

void keepSpaceWhenHidden(QWidget *widget)
{
    QSizePolicy policy = widget->sizePolicy();
    policy.setRetainSizeWhenHidden(true);
    widget->setSizePolicy(policy);
}

} // namespace

struct vCardBrowserController::Private
{
    vCardBrowserController *q;
    QPointer<QFRendezvousClient> rendezvous;
    QPointer<StaticServerController> staticServers;
    QStringListModel serviceModel; // outlives the window's table
    std::unique_ptr<QWidget> myWindow;
    Ui::BrowseWindow ui;
    QPointer<QTableView> staticTable;
    std::optional<QStringList> filteredServices;
    QFExchangeClient client;
    StaticAddressLookup staticLookup;
    std::optional<ArchivedRecords> remoteAB;
    QString remoteName;  // the share of the current or last download attempt
    QString recordsName; // the share remoteAB came from
    // What the share's certificate is pinned under: an announced share by its name (its address
    // may belong to another computer tomorrow), a hand-entered server by its "host:port".
    QString pinName;
    QString pinAddress;
    bool remoteAnnounced = false;
    bool remoteProtected = false; // announced with "tls=1"

    bool isRunningAsyncComm = false;
    QIcon initialPicture;
    QHash<int, QLineEdit *> cardFields; // by tag
    std::array<ConsumerSlot, 3> consumers;
    bool geometryRestored = false;
    bool quitting = false; // the application closes every window as it quits

    void setRunning(bool running);
    void showPicture(const QIcon &picture, const QString &description);
    void flipPicture();
    void startSpinner();
    void stopSpinner();
    void setStatus(const QString &text);
    void failed();
    void completed(const QFExchangeReply &reply);
    void fillCard(const std::optional<OwnerCard> &card);
    void updateCardButtons();
    void setConsumer(std::size_t index, RemoteABConsumer *consumer);
    void beginStaticLookup(const QString &name);
    void showProgress(qint64 received, qint64 expected);
    void sendMail(const QLineEdit *field);
    QLineEdit *field(int tag) const;
};

void vCardBrowserController::Private::setRunning(bool running)
{
    isRunningAsyncComm = running;
    // The tables refuse selection changes while a download runs, so the selection always names
    // the share being loaded and the two lists stay exclusive.
    const auto mode = running ? QAbstractItemView::NoSelection : QAbstractItemView::SingleSelection;
    ui.zorbixServerList->setSelectionMode(mode);
    if (staticTable)
        staticTable->setSelectionMode(mode);
    ui.cancelDownloadButtonOL->setEnabled(running);
    if (!running)
        ui.downloadProgressOL->hide();
}

void vCardBrowserController::Private::showPicture(const QIcon &picture, const QString &description)
{
    ui.commStateButtonOL->setIcon(picture);
    ui.commStateButtonOL->setToolTip(description);
    ui.commStateButtonOL->setAccessibleDescription(description);
}

void vCardBrowserController::Private::flipPicture()
{
    const bool showsFirst = ui.commStateButtonOL->icon().cacheKey() == ui.commGBButtonOL->icon().cacheKey();
    const QIcon next = showsFirst ? ui.commGGButtonOL->icon() : ui.commGBButtonOL->icon();
    ui.commStateButtonOL->setIcon(next);
}

void vCardBrowserController::Private::startSpinner()
{
    ui.mainChasingArrowsOL->show();
}

void vCardBrowserController::Private::stopSpinner()
{
    ui.mainChasingArrowsOL->hide();
}

void vCardBrowserController::Private::setStatus(const QString &text)
{
    ui.generalStatusMessageOL->setText(text);
}

void vCardBrowserController::Private::showProgress(qint64 received, qint64 expected)
{
    if (expected <= 0)
        return;
    QProgressBar *bar = ui.downloadProgressOL;
    bar->setMaximum(int(qMin<qint64>(expected, INT_MAX)));
    bar->setValue(int(qMin(received, expected)));
    const QLocale locale;
    bar->setFormat(vCardBrowserController::tr("%1 of %2")
                       .arg(locale.formattedDataSize(received), locale.formattedDataSize(expected)));
    bar->show();
}

// The failure sequence: the connection already told the user what went wrong.
void vCardBrowserController::Private::failed()
{
    stopSpinner();
    showPicture(ui.commGRButtonOL->icon(), vCardBrowserController::tr("The last download failed"));
    setStatus(QString());
    setRunning(false);
    emit q->downloadEnded(false);
}

void vCardBrowserController::Private::completed(const QFExchangeReply &reply)
{
    stopSpinner();
    if (reply.type == ExchangeProtocol::kTypeAB) {
        remoteAB = reply.records;
        recordsName = remoteName;
        fillCard(reply.ownerCard);
    }
    updateCardButtons();
    ui.showABBrowserButtonOL->setEnabled(remoteAB.has_value());
    for (const ConsumerSlot &slot : consumers) {
        if (slot.consumer)
            slot.consumer->doReloadData(q);
    }
    const qsizetype count = remoteAB ? remoteAB->size() : 0;
    const QString loaded =
        q->getSelectedShareName() + vCardCommon::getLocMsg(QStringLiteral("AB_Records")).arg(count);
    ui.loadedShareName1OL->setText(loaded);
    ui.loadedShareName2OL->setText(loaded);
    ui.commStateButtonOL->setEnabled(true);
    ui.commStateButtonOL->setToolTip(vCardBrowserController::tr("Downloaded"));
    ui.commStateButtonOL->setAccessibleDescription(ui.commStateButtonOL->toolTip());
    setStatus(QString());
    setRunning(false);
    emit q->downloadEnded(true);
}

QLineEdit *vCardBrowserController::Private::field(int tag) const
{
    return cardFields.value(tag);
}

void vCardBrowserController::Private::fillCard(const std::optional<OwnerCard> &card)
{
    if (!card)
        return;
    // Fields whose tag the card lacks keep what they show; tags of no field are skipped.
    for (auto it = card->cbegin(); it != card->cend(); ++it) {
        if (QLineEdit *target = field(it.key())) {
            target->setText(it.value());
            target->setCursorPosition(0);
        }
    }
}

void vCardBrowserController::Private::updateCardButtons()
{
    ui.privWebsiteButtonOL->setEnabled(!field(PrivWebsiteTag)->text().isEmpty());
    ui.privEmailButtonOL->setEnabled(!field(PrivEmailTag)->text().isEmpty());
    ui.bussEmailButtonOL->setEnabled(!field(BussEmailTag)->text().isEmpty());
}

void vCardBrowserController::Private::setConsumer(std::size_t index, RemoteABConsumer *consumer)
{
    ConsumerSlot &slot = consumers[index];
    QObject::disconnect(slot.watch);
    slot.consumer = consumer;
    if (auto *object = dynamic_cast<QObject *>(consumer))
        slot.watch = QObject::connect(object, &QObject::destroyed, q, [this, index] { consumers[index].consumer = nullptr; });
}

void vCardBrowserController::Private::beginStaticLookup(const QString &name)
{
    if (!staticServers)
        return;
    // The host may take a while to resolve: it is looked up in the background, as part of connecting.
    ui.zorbixServerList->clearSelection();
    setRunning(true);
    startSpinner();
    setStatus(vCardBrowserController::tr("Trying to connect..."));
    staticLookup.start(*staticServers, name);
}

void vCardBrowserController::Private::sendMail(const QLineEdit *source)
{
    const QString value = source->text();
    if (value.isEmpty())
        return;
    const QString address = SharerCard::mailAddressOnly(value);
    if (address.isEmpty()) {
        // The value is somebody else's text and stays out of the log.
        systemLog(QStringLiteral("vCardBrowserController: the sharer's mail field holds no plain mail address"));
        PlatformHooks::current().beep();
        return;
    }
    vCardCommon::openURL(address, QStringLiteral("mailto:"));
}

vCardBrowserController::vCardBrowserController(QFRendezvousClient *rendezvous, StaticServerController *staticServers,
                                               QObject *parent)
    : QObject(parent), d(std::make_unique<Private>())
{
    d->q = this;
    d->myWindow = std::make_unique<QWidget>();
    d->ui.setupUi(d->myWindow.get());
    d->staticLookup.setParent(this);
    // Closing the main window ends the application even while this one is open.
    d->myWindow->setAttribute(Qt::WA_QuitOnClose, false);
    d->myWindow->installEventFilter(this);
    qApp->installEventFilter(this);
    for (QAbstractButton *button :
         {d->ui.commStateButtonOL, d->ui.commGBButtonOL, d->ui.commGGButtonOL, d->ui.commGRButtonOL})
        inColourWhenDisabled(button);
    d->initialPicture = d->ui.commStateButtonOL->icon();
    keepSpaceWhenHidden(d->ui.mainChasingArrowsOL);
    keepSpaceWhenHidden(d->ui.downloadProgressOL);

    for (QLineEdit *edit : d->myWindow->findChildren<QLineEdit *>()) {
        const QVariant tag = edit->property("tag");
        if (tag.isValid())
            d->cardFields.insert(tag.toInt(), edit);
    }
    for (const OwnerCardField &entry : kOwnerCardFields)
        ZASSERT(d->field(entry.tag) && d->field(entry.tag)->objectName() == QLatin1String(entry.objectName));

    d->ui.zorbixServerList->setModel(&d->serviceModel);
    d->ui.zorbixServerList->horizontalHeader()->hide();
    d->ui.zorbixServerList->installEventFilter(this);
    connect(d->ui.zorbixServerList, &QTableView::clicked, this, &vCardBrowserController::serviceClicked);

    d->staticServers = staticServers ? staticServers : StaticServerController::sharedInstance();
    d->staticTable = d->staticServers->getStaticServerBrowserTable();
    if (d->staticTable) {
        d->ui.staticTableLayout->addWidget(d->staticTable);
        d->ui.staticServerListLabel->setBuddy(d->staticTable);
        d->staticTable->setAccessibleName(tr("Servers entered by hand"));
        d->staticTable->installEventFilter(this);
        connect(d->staticTable, &QTableView::clicked, this, &vCardBrowserController::doSelectNewStaticShare);
    }

    connect(d->ui.filterFieldOL, &QLineEdit::textChanged, this, &vCardBrowserController::toggleFilterChange);
    connect(d->ui.bussEmailButtonOL, &QPushButton::clicked, this, &vCardBrowserController::doSendBussEmail);
    connect(d->ui.privEmailButtonOL, &QPushButton::clicked, this, &vCardBrowserController::doSendPrivEmail);
    connect(d->ui.privWebsiteButtonOL, &QPushButton::clicked, this, &vCardBrowserController::doOpenWebpage);
    connect(d->ui.copyCardButtonOL, &QPushButton::clicked, this, &vCardBrowserController::saveToAddressBook);
    connect(d->ui.showABBrowserButtonOL, &QPushButton::clicked, this, &vCardBrowserController::showABBrowserRequested);
    connect(d->ui.cancelDownloadButtonOL, &QPushButton::clicked, this, &vCardBrowserController::doCancelDownload);
    auto *escape = new QShortcut(QKeySequence(Qt::Key_Escape), d->myWindow.get());
    escape->setContext(Qt::WindowShortcut);
    connect(escape, &QShortcut::activated, this, &vCardBrowserController::doCancelDownload);

    connect(&d->client, &QFExchangeClient::connected, this, [this] {
        d->stopSpinner();
        d->setStatus(tr("Connected. Receiving..."));
        d->showPicture(d->ui.commStateButtonOL->icon(), tr("Receiving"));
    });
    connect(&d->client, &QFExchangeClient::activity, this, [this](qint64 received, qint64 expected) {
        d->flipPicture();
        d->showProgress(received, expected);
    });
    connect(&d->client, &QFExchangeClient::finished, this, [this](const QFExchangeReply &reply) {
        ShareTrust::completed(reply, d->pinName, d->pinAddress);
        d->completed(reply);
    });
    connect(&d->client, &QFExchangeClient::failed, this, [this](QFExchangeClient::Failure failure) {
        if (failure == QFExchangeClient::Failure::PinMismatch)
            ShareTrust::alertPinMismatch(d->client, d->pinName, d->pinAddress);
        d->failed();
    });
    connect(&d->client, &QFExchangeClient::waitingForApproval, this, [this](const QString &code) {
        d->setStatus(vCardCommon::getLocMsg(QStringLiteral("TR_WaitingForApproval")).arg(code));
    });
    connect(&d->staticLookup, &StaticAddressLookup::done, this,
            [this](const QString &name, const std::optional<SocketAddress> &address) {
                d->setRunning(false);
                if (!address) {
                    // Told by the look-up; no download starts.
                    d->stopSpinner();
                    d->setStatus(QString());
                    emit downloadEnded(false);
                    return;
                }
                doLoadStaticShare(name, address);
            });

    d->setRunning(false);
    d->rendezvous = rendezvous ? rendezvous : QFRendezvousClient::sharedInstance();
    d->rendezvous->addDelegate(this);
}

vCardBrowserController::~vCardBrowserController()
{
    // The application ends with the window open: it opens there again at the next start.
    if (d->myWindow->isVisible() && !d->quitting)
        writeSetting(kWindowGeometryKey, d->myWindow->saveGeometry());
    d->client.abort();
    d->staticLookup.abort();
    if (d->rendezvous)
        d->rendezvous->removeDelegate(this);
    for (ConsumerSlot &slot : d->consumers)
        disconnect(slot.watch);
    // The static table belongs to its controller: hand it back rather than destroy it with the window.
    if (d->staticTable && d->staticServers) {
        d->staticTable->removeEventFilter(this);
        disconnect(d->staticTable, nullptr, this, nullptr);
        d->staticTable->setParent(nullptr);
    }
    d->myWindow->removeEventFilter(this);
    qApp->removeEventFilter(this);
}

QWidget *vCardBrowserController::window() const
{
    return d->myWindow.get();
}

void vCardBrowserController::showWindow()
{
    if (!d->geometryRestored) {
        d->geometryRestored = true;
        const QByteArray geometry = QSettings().value(kWindowGeometryKey).toByteArray();
        if (!geometry.isEmpty())
            d->myWindow->restoreGeometry(geometry);
    }
    d->myWindow->show();
    d->myWindow->raise();
    d->myWindow->activateWindow();
    writeSetting(kWindowOpenKey, true);
}

void vCardBrowserController::restoreWindow()
{
    if (QSettings().value(kWindowOpenKey).toBool())
        showWindow();
}

bool vCardBrowserController::eventFilter(QObject *watched, QEvent *event)
{
    if (watched == qApp && event->type() == QEvent::Quit) {
        d->quitting = true;
    } else if (watched == d->myWindow.get() && event->type() == QEvent::Close) {
        writeSetting(kWindowGeometryKey, d->myWindow->saveGeometry());
        // Closed by the user it stays closed; closed by quitting it opens again at the next start.
        if (!d->quitting)
            writeSetting(kWindowOpenKey, false);
    } else if (event->type() == QEvent::KeyPress) {
        // Return in either table loads the current row, as a click does.
        const int key = static_cast<QKeyEvent *>(event)->key();
        if (key == Qt::Key_Return || key == Qt::Key_Enter) {
            if (watched == d->ui.zorbixServerList) {
                serviceClicked();
                return true;
            }
            if (d->staticTable && watched == d->staticTable) {
                doSelectNewStaticShare(d->staticTable->currentIndex());
                return true;
            }
        }
    }
    return QObject::eventFilter(watched, event);
}

void vCardBrowserController::setABBrowserController(RemoteABConsumer *consumer)
{
    d->setConsumer(0, consumer);
}

void vCardBrowserController::setQuickSyncController(RemoteABConsumer *consumer)
{
    d->setConsumer(1, consumer);
}

void vCardBrowserController::setExportController(RemoteABConsumer *consumer)
{
    d->setConsumer(2, consumer);
}

const std::optional<ArchivedRecords> &vCardBrowserController::getRemoteAB() const
{
    return d->remoteAB;
}

QString vCardBrowserController::getSelectedShareName() const
{
    // The records' share, not the one being tried: a failed or cancelled download of another
    // share leaves the records and their name as they were.
    return d->recordsName;
}

bool vCardBrowserController::isRunningAsyncComm() const
{
    return d->isRunningAsyncComm;
}

std::optional<QStringList> vCardBrowserController::filteredServices() const
{
    return d->filteredServices;
}

QFExchangeClient &vCardBrowserController::exchangeClient() const
{
    return d->client;
}

void vCardBrowserController::doHandleRendezvousServicesChange(const QList<RendezvousService> &)
{
    toggleFilterChange();
}

void vCardBrowserController::toggleFilterChange()
{
    const QString filter = d->ui.filterFieldOL->text();
    d->filteredServices = d->rendezvous ? d->rendezvous->getServiceNameContainingSubString(filter) : QStringList();
    // The model is rebuilt, so the selection is carried over by name: it must keep naming the
    // share the user picked (a reload loads it again), not whatever now stands at its row.
    QString selected;
    const QModelIndexList rows = d->ui.zorbixServerList->selectionModel()->selectedRows();
    if (!rows.isEmpty())
        selected = rows.first().data().toString();
    d->serviceModel.setStringList(*d->filteredServices);
    const qsizetype row = selected.isNull() ? -1 : d->filteredServices->indexOf(selected);
    if (row >= 0)
        d->ui.zorbixServerList->selectionModel()->select(
            d->serviceModel.index(int(row)), QItemSelectionModel::ClearAndSelect | QItemSelectionModel::Rows);
}

void vCardBrowserController::serviceClicked()
{
    if (d->isRunningAsyncComm)
        return;
    const QModelIndexList rows = d->ui.zorbixServerList->selectionModel()->selectedRows();
    if (rows.isEmpty() || !d->filteredServices || rows.first().row() >= d->filteredServices->size())
        return;
    d->setRunning(true);
    if (d->staticServers)
        d->staticServers->deselectStaticServerInBrowserTable();
    d->ui.commStateButtonOL->setEnabled(false);
    d->remoteName = d->filteredServices->at(rows.first().row());
    d->remoteProtected = d->rendezvous && d->rendezvous->isServiceProtected(d->remoteName);
    d->remoteAnnounced = true;
    d->showPicture(d->ui.commGBButtonOL->icon(), tr("Connecting"));
    const std::optional<SocketAddress> address =
        d->rendezvous ? d->rendezvous->getFirstAddressForService(d->remoteName) : std::nullopt;
    if (address) {
        loadServiceByAddress(address);
        return;
    }
    // Not resolved yet (or gone meanwhile): nothing to connect to, and nothing to tell.
    d->showPicture(d->ui.commGRButtonOL->icon(), tr("The share has no address yet"));
    d->setRunning(false);
    emit downloadEnded(false);
}

void vCardBrowserController::doSelectNewStaticShare(const QModelIndex &clicked)
{
    // A click while a download runs is ignored, as on the other table.
    if (d->isRunningAsyncComm || !clicked.isValid())
        return;
    const QVariant value = clicked.data();
    if (value.isNull() || value.toString().isEmpty()) {
        systemLog(QStringLiteral("vCardBrowserController: doSelectNewStaticShare No selected data"));
        return;
    }
    d->beginStaticLookup(value.toString());
}

void vCardBrowserController::doLoadStaticShare(const QString &name, const std::optional<SocketAddress> &address)
{
    if (d->isRunningAsyncComm || !address)
        return;
    d->ui.zorbixServerList->clearSelection();
    d->setRunning(true);
    d->remoteName = name;
    d->remoteProtected = false;
    d->remoteAnnounced = false;
    d->showPicture(d->ui.commGBButtonOL->icon(), tr("Connecting"));
    d->ui.commStateButtonOL->setEnabled(false);
    loadServiceByAddress(address);
}

void vCardBrowserController::doReloadCurrentStaticShare()
{
    ZASSERT(d->staticServers && d->staticServers->getStaticServerBrowserTable());
    const QModelIndexList rows = d->staticServers->getStaticServerBrowserTable()->selectionModel()->selectedRows();
    if (rows.isEmpty() || d->isRunningAsyncComm)
        return;
    const QString name = d->staticServers->getServerNameUsingIndex(rows.first().row());
    if (name.isEmpty())
        return;
    d->beginStaticLookup(name);
}

void vCardBrowserController::reloadCurrentService()
{
    if (d->staticServers && d->staticServers->isServerInShareBrowserSelected())
        doReloadCurrentStaticShare();
    else
        serviceClicked();
}

void vCardBrowserController::loadServiceByAddress(const std::optional<SocketAddress> &address)
{
    d->startSpinner();
    d->setStatus(tr("Trying to connect..."));
    if (!address || address->address().protocol() != QAbstractSocket::IPv4Protocol) {
        // Only IPv4 shares can be reached.
        if (address)
            vCardCommon::alertKeys("BR_NetworkProblem", "BR_NetworkHint");
        d->failed();
        return;
    }
    d->pinName = d->remoteAnnounced ? d->remoteName : QString();
    d->pinAddress = d->remoteAnnounced ? QString() : address->toString();
    if (!ShareTrust::prepare(d->client, d->pinName, d->pinAddress, d->remoteProtected)) {
        d->failed();
        return;
    }
    d->client.loadServiceByAddress(address->address().toString(), address->port());
}

void vCardBrowserController::doCancelDownload()
{
    if (!d->isRunningAsyncComm)
        return;
    d->client.abort();
    d->staticLookup.abort();
    d->stopSpinner();
    d->setStatus(QString());
    d->showPicture(d->initialPicture, tr("Download cancelled"));
    d->ui.commStateButtonOL->setEnabled(true);
    d->setRunning(false);
    emit downloadEnded(false);
}

void vCardBrowserController::doSendBussEmail()
{
    d->sendMail(d->field(BussEmailTag));
}

void vCardBrowserController::doSendPrivEmail()
{
    d->sendMail(d->field(PrivEmailTag));
}

void vCardBrowserController::doOpenWebpage()
{
    const QString value = d->field(PrivWebsiteTag)->text();
    if (value.isEmpty())
        return;
    // A web page and nothing else: a value holding "http:" anywhere is taken as it stands, and
    // could otherwise be a mailto: with attach=, bcc= or body= from the sharer.
    const QUrl url(vCardCommon::urlTextFor(value, QStringLiteral("http://")), QUrl::StrictMode);
    if (!url.isValid() || url.host().isEmpty() ||
        (url.scheme() != QLatin1String("http") && url.scheme() != QLatin1String("https"))) {
        systemLog(QStringLiteral("vCardBrowserController: the sharer's web site is no http or https address"));
        PlatformHooks::current().beep();
        return;
    }
    PlatformHooks::current().openUrl(url);
}

void vCardBrowserController::saveToAddressBook()
{
    // The card as shown now; it goes into the store once that has been read.
    OwnerCard card;
    for (auto it = d->cardFields.cbegin(); it != d->cardFields.cend(); ++it)
        card.insert(it.key(), it.value()->text());
    AddressBookLoader::whenReady(this, [card] {
        ABAddressBook *book = ABAddressBook::sharedAddressBook();
        if (!book || !book->addRecord(SharerCard::newPerson(card))) {
            vCardCommon::alertKeys("BR_CopyCardProblem", "BR_CopyCardHint");
            return;
        }
        // A failed write is reported to the user by the store itself.
        book->save();
    });
}
