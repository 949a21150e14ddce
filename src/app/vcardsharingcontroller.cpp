#include "vcardsharingcontroller.h"

#include "abaddressbook.h"
#include "addressbookloader.h"
#include "abglobals.h"
#include "absharingpropcontroller.h"
#include "qfexchangeserver.h"
#include "abstorewatcher.h"
#include "downloadwindows.h"
#include "images.h"
#include "pageswap.h"
#include "placeholderpage.h"
#include "preferenceswindow.h"
#include "recordlistbuilder.h"
#include "sharedfiledelegate.h"
#include "shareservice.h"
#include "sharingpreferences.h"
#include "staticservercontroller.h"
#include "supportmenu.h"
#include "systemlog.h"
#include "toolbar.h"
#include "trustcontroller.h"
#include "toolbaritem.h"
#include "ui_macsharepage.h"
#include "ui_statuspage.h"
#include "vcardbrowsercontroller.h"
#include "vcardcommon.h"
#include "vcarddroptarget.h"
#include "vcardimport.h"
#include "viewerwindow.h"

#include <QApplication>
#include <QBoxLayout>
#include <QPushButton>
#include <QTableView>
#include <QMenuBar>

const QString vCardSharingController::ToolbarIdentifier = QStringLiteral("demo");

namespace {
QPointer<vCardSharingController> sharedSharingController;

struct PageEntry
{
    int viewId;
    const char *identifier;
    const char *label;
    const char *image;
    void (vCardSharingController::*action)();
};

// The pages and their toolbar items, by view ID.
const std::array<PageEntry, vCardSharingController::PageCount> kPages = {{
    {1, "statusView", QT_TRANSLATE_NOOP("vCardSharingController", "Server Status"), "about_32",
     &vCardSharingController::doStatusView},
    {2, "macShare", QT_TRANSLATE_NOOP("vCardSharingController", "Mac Sharing"), "NSApplicationIcon",
     &vCardSharingController::doMacShare},
    {3, "webShare", QT_TRANSLATE_NOOP("vCardSharingController", "Web Sharing"), "ntwrk_32",
     &vCardSharingController::doWebShare},
    {4, "userManager", QT_TRANSLATE_NOOP("vCardSharingController", "User Mngmt."), "group_32",
     &vCardSharingController::doUserManager},
    {5, "serverManager", QT_TRANSLATE_NOOP("vCardSharingController", "Manager Details"), "user_32",
     &vCardSharingController::doServerManager},
    {6, "ABProperties", QT_TRANSLATE_NOOP("vCardSharingController", "AB Folders"), "foldr_32",
     &vCardSharingController::doABProperties},
}};

const PageEntry *pageForIdentifier(const QString &identifier)
{
    for (const PageEntry &entry : kPages) {
        if (identifier == QLatin1String(entry.identifier))
            return &entry;
    }
    return nullptr;
}
} // namespace

struct vCardSharingController::Private
{
    // First in, last out: whatever uses the store goes before it.
    std::unique_ptr<AddressBookLoader> loader;
    bool storeReady = false;
    bool startWaiting = false; // sharing switched on while the store is read
    QAction *importAction = nullptr;
    std::unique_ptr<ViewerWindow> myWindow;
    std::array<QPointer<QWidget>, PageCount> views;
    QPointer<QWidget> aboutView;
    Toolbar *toolbar = nullptr;
    Ui::StatusPage statusPage;
    Ui::MacSharePage macSharePage;
    std::unique_ptr<ShareService> theConnections;
    std::unique_ptr<TrustController> trust;
    std::unique_ptr<ABSharingPropController> ABSharingControllerRef;
    std::unique_ptr<ABStoreWatcher> storeWatcher;
    std::unique_ptr<StaticServerController> staticServers;
    std::unique_ptr<vCardBrowserController> browser;
    std::unique_ptr<DownloadWindows> downloadWindows;
    QPointer<PreferencesWindow> preferences;
    // The controls whose values "sharingPrefsV2" keeps, in order.
    QList<QPointer<QWidget>> persistedControls;
};

vCardSharingController::vCardSharingController(QObject *parent)
    : vCardSharingController(StoreLoading::Now, parent)
{
}

vCardSharingController::vCardSharingController(StoreLoading loading, QObject *parent)
    : QObject(parent), d(std::make_unique<Private>())
{
    if (loading == StoreLoading::Behind) {
        // Read while the window is built and shown.
        d->loader = std::make_unique<AddressBookLoader>();
        connect(d->loader.get(), &AddressBookLoader::ready, this, &vCardSharingController::addressBookArrived);
        d->loader->start(ABAddressBook::defaultDirectory());
    }
    loadInterface();
    awakeFromNib();
    if (!d->loader)
        addressBookArrived();
    else
        showAddressBookLoading(true);
}

vCardSharingController::~vCardSharingController()
{
    if (sharedSharingController == this)
        sharedSharingController = nullptr;
    // The window deletes the page it shows; the others are parked and ours to delete.
    delete d->preferences.data();
    d->downloadWindows.reset();
    d->browser.reset();
    d->myWindow.reset();
    d->ABSharingControllerRef.reset();
    for (QPointer<QWidget> &view : d->views)
        delete view.data();
    delete d->aboutView.data();
}

void vCardSharingController::loadInterface()
{
    d->myWindow = std::make_unique<ViewerWindow>();
    d->myWindow->setWindowTitle(QStringLiteral("zorbix"));
    d->myWindow->setWindowIcon(imageNamed(QStringLiteral("NSApplicationIcon")));

    const std::array<QString, PageCount> placeholders = {
        tr("Switch sharing of your address book on and off, and see how many downloads it served."),
        tr("The name under which your address book is shared, and your own card that every download carries."),
        tr("Files to share on the web. Drop files here to add them."),
        tr("Users who may download your address book."),
        tr("Details of the servers that manage your shares."),
        tr("Choose the groups of your address book that are shared."),
    };
    const std::array<QSize, PageCount> sizes = {QSize(520, 300), QSize(560, 420), QSize(520, 340),
                                                QSize(480, 300), QSize(520, 320), QSize(600, 400)};
    // Until the store is there the group lists are the ones saved, and the page waits.
    d->ABSharingControllerRef = d->loader ? std::make_unique<ABSharingPropController>(static_cast<ABAddressBook *>(nullptr))
                                          : std::make_unique<ABSharingPropController>();
    d->staticServers = std::make_unique<StaticServerController>();
    for (const PageEntry &entry : kPages) {
        const std::size_t i = std::size_t(entry.viewId - 1);
        QWidget *page = nullptr;
        if (entry.viewId == 1) {
            page = new QWidget;
            d->statusPage.setupUi(page);
        } else if (entry.viewId == 2) {
            page = new QWidget;
            d->macSharePage.setupUi(page);
        } else if (entry.viewId == 3) {
            page = new sharedFileDelegate;
        } else if (entry.viewId == 6) {
            page = d->ABSharingControllerRef->view();
        } else {
            page = new PlaceholderPage(tr(entry.label), placeholders[i], sizes[i]);
        }
        // Pages from interface files keep the size they were laid out with.
        if (!hasDesignedPageSize(page))
            setDesignedPageSize(page, page->size().expandedTo(page->minimumSizeHint()));
        page->setObjectName(QStringLiteral("view%1").arg(entry.viewId));
        d->views[i] = page;
        d->myWindow->setPage(entry.viewId, page);
    }
    d->persistedControls = {d->macSharePage.serviceNameField};
    connect(d->statusPage.toggleSharingButtonInServerStatusView, &QPushButton::clicked, this,
            [this] { toggleSharing(d->statusPage.toggleSharingButtonInServerStatusView); });
    connect(d->macSharePage.toggleSharingButton, &QPushButton::clicked, this,
            [this] { toggleSharing(d->macSharePage.toggleSharingButton); });
    connect(d->macSharePage.saveButtonOL, &QPushButton::clicked, this, &vCardSharingController::doSaveAsPreference);
    d->aboutView = new PlaceholderPage(
        tr("About zorbix %1").arg(QStringLiteral(ZORBIX_VERSION)),
        tr("zorbix shares address books between computers on a local network: switch sharing on to "
           "publish the groups you chose with your own card, or pick a share from the list to download, "
           "browse, copy and export its records."),
        QSize(460, 260));
    d->aboutView->setObjectName(QStringLiteral("view7"));
    d->myWindow->setPage(7, d->aboutView);

    QMenu *file = d->myWindow->menuBar()->addMenu(tr("&File"));
    file->setObjectName(QStringLiteral("fileMenu"));
    QAction *import = file->addAction(tr("&Import Contacts…"), this, [this] {
        chooseAndImportVCardFiles(d->myWindow.get());
        d->ABSharingControllerRef->takeInNewGroups();
    });
    import->setObjectName(QStringLiteral("importAction"));
    d->importAction = import;
    import->setShortcut(QKeySequence(tr("Ctrl+I")));
    QAction *preferences = file->addAction(tr("&Preferences…"), this, &vCardSharingController::showPreferences);
    preferences->setShortcut(QKeySequence::Preferences);
    preferences->setMenuRole(QAction::PreferencesRole);
    file->addSeparator();
    QAction *quit = file->addAction(tr("&Quit"), qApp, &QCoreApplication::quit);
    quit->setObjectName(QStringLiteral("quitAction"));
    quit->setShortcut(QKeySequence::Quit);
    QMenu *viewMenu = d->myWindow->menuBar()->addMenu(tr("&View"));
    viewMenu->setObjectName(QStringLiteral("viewMenu"));
    viewMenu->addAction(tr("Show or Hide &Toolbar"), this, [this] { d->toolbar->toggleShown(); });
    viewMenu->addAction(tr("&Customize Toolbar…"), this, [this] { d->toolbar->runCustomizationPalette(); });
    QAction *browse = viewMenu->addAction(tr("&Browse Shares…"), this, &vCardSharingController::doShowShareBrowser);
    browse->setObjectName(QStringLiteral("browseSharesAction"));
    browse->setShortcut(QKeySequence(tr("Ctrl+B")));
    connect(d->statusPage.showShareBrowserButton, &QPushButton::clicked, this,
            &vCardSharingController::doShowShareBrowser);
    QMenu *help = d->myWindow->menuBar()->addMenu(tr("&Help"));
    help->setObjectName(QStringLiteral("helpMenu"));
    help->addAction(tr("&About zorbix"), this, [this] { d->myWindow->adoptView(7); });
    addSupportMenuItems(help);
}

void vCardSharingController::awakeFromNib()
{
    d->macSharePage.serviceNameField->setText(vCardCommon::getLocMsg(QStringLiteral("SC_DefaultShareName")));
    // The application's quit request: withdraw the announcement, never delay the quit.
    connect(qApp, &QCoreApplication::aboutToQuit, this, &vCardSharingController::applicationShouldTerminate);
    d->theConnections = std::make_unique<ShareService>();
    d->theConnections->setRecordProvider([this] { return mapABToArchivable(0); });
    // For a download: the shared persons are picked here, their list is made on a worker thread.
    d->theConnections->server().setRecordSource([this] {
        const ABAddressBook *book = d->storeReady ? ABAddressBook::sharedAddressBook() : nullptr;
        const ABSharingPropController &selection = *d->ABSharingControllerRef;
        QList<QVariantMap> values;
        if (book && book == selection.addressBook()) {
            values = RecordListBuilder::sharedValues(book, selection.sharedGroupsOfStore());
        } else {
            values = RecordListBuilder::sharedValues(book, [&selection](const ABPerson *p) { return selection.isPeopleInGroups(p); });
        }
        return [values = std::move(values)] { return RecordListBuilder::fromValues(values, ABAddressBook::properties()); };
    });
    d->theConnections->setOwnerCardProvider([this] { return ownerCard(); });
    // What the record list depends on: the store's state and the shared groups.
    d->theConnections->server().setRecordStamp([this] {
        const ABAddressBook *book = d->storeReady ? ABAddressBook::sharedAddressBook() : nullptr;
        if (d->storeWatcher)
            d->storeWatcher->takeInPendingChanges();
        QByteArray stamp = QByteArray::number(quintptr(book)) + ':' + QByteArray::number(book ? book->revision() : 0);
        for (const QVariant &group : d->ABSharingControllerRef->sharedGroups())
            stamp += '\0' + group.toMap().value(kABUIDProperty).toString().toUtf8();
        return stamp;
    });
    d->trust = std::make_unique<TrustController>(*d->theConnections, d->macSharePage.pageLayout, 1, d->myWindow.get());
    connect(d->theConnections.get(), &ShareService::displayChanged, this,
            &vCardSharingController::updateSharingDisplay);
    updateSharingDisplay();
    SharingPreferences::loadSharingPrefs(d->persistedControls);
    SharingPreferences::loadOwnerCard(ownerCardEditor());

    d->toolbar = new Toolbar(ToolbarIdentifier, this);
    d->toolbar->setAllowsUserCustomization(true);
    d->toolbar->setAutosavesConfiguration(true);
    d->toolbar->setDisplayMode(Toolbar::DisplayModeIconAndLabel);
    d->toolbar->setDelegate(this);
    d->toolbar->setVisible(true);
    // Installing applies the saved arrangement and the user's last show-or-hide choice.
    d->toolbar->install(d->myWindow.get());

    // vCard files dropped anywhere on the window, or on the address book page wherever it is shown.
    for (QWidget *target : {static_cast<QWidget *>(d->myWindow.get()), d->views[5].data()}) {
        connect(new VCardDropTarget(target), &VCardDropTarget::filesDropped, this,
                &vCardSharingController::importFiles);
    }

    ViewerWindow::setCurrentViewerWindow(d->myWindow.get());
    setSharedSharingController(this);
    doStatusView();

    // Browsing for shares starts now, so the list is filled when the window opens.
    d->browser = std::make_unique<vCardBrowserController>(nullptr, d->staticServers.get());
    d->downloadWindows = std::make_unique<DownloadWindows>(d->browser.get());
    d->downloadWindows->addMenuItems(d->myWindow->findChild<QMenu *>(QStringLiteral("fileMenu")),
                                     d->myWindow->findChild<QMenu *>(QStringLiteral("viewMenu")));
    d->browser->restoreWindow();
}

vCardSharingController *vCardSharingController::getSharedSharingController()
{
    return sharedSharingController;
}

void vCardSharingController::setSharedSharingController(vCardSharingController *controller)
{
    sharedSharingController = controller;
}

ViewerWindow *vCardSharingController::window() const
{
    return d->myWindow.get();
}

Toolbar *vCardSharingController::toolbar() const
{
    return d->toolbar;
}

QWidget *vCardSharingController::view(int viewId) const
{
    if (viewId < 1 || viewId > PageCount)
        return nullptr;
    return d->views[std::size_t(viewId - 1)];
}

QStringList vCardSharingController::toolbarAllowedItemIdentifiers(Toolbar *)
{
    // "userManager" is left out on purpose: that page is not offered yet.
    return {QStringLiteral("statusView"),   QStringLiteral("macShare"),
            QStringLiteral("webShare"),     QStringLiteral("ABProperties"),
            QStringLiteral("serverManager"), Toolbar::CustomizeItemIdentifier,
            Toolbar::FlexibleSpaceItemIdentifier, Toolbar::SpaceItemIdentifier,
            Toolbar::SeparatorItemIdentifier};
}

QStringList vCardSharingController::toolbarDefaultItemIdentifiers(Toolbar *)
{
    return {QStringLiteral("statusView"), Toolbar::SeparatorItemIdentifier, QStringLiteral("macShare"),
            QStringLiteral("webShare"),   QStringLiteral("ABProperties"),   QStringLiteral("serverManager")};
}

ToolbarItem *vCardSharingController::toolbarItemForItemIdentifier(Toolbar *, const QString &identifier, bool)
{
    auto *item = new ToolbarItem(identifier);
    item->setEnabled(true);
    if (const PageEntry *entry = pageForIdentifier(identifier)) {
        item->setLabel(tr(entry->label));
        item->setImage(imageNamed(QLatin1String(entry->image)));
        const auto action = entry->action;
        item->setAction([this, action] { (this->*action)(); });
    }
    return item;
}

void vCardSharingController::toolbarWillAddItem(ToolbarItem *)
{
}

void vCardSharingController::doStatusView()
{
    doLaunch(1);
}

void vCardSharingController::doMacShare()
{
    doLaunch(2);
}

void vCardSharingController::doWebShare()
{
    doLaunch(3);
}

void vCardSharingController::doUserManager()
{
    doLaunch(4);
}

void vCardSharingController::doServerManager()
{
    doLaunch(5);
}

void vCardSharingController::doABProperties()
{
    doLaunch(6);
}

void vCardSharingController::doLaunch(int viewId)
{
    if (ViewerWindow::getCurrentViewerWindow())
        adoptView(viewId);
}

void vCardSharingController::adoptView(int viewId)
{
    QWidget *container = view(viewId);
    if (!container) {
        systemLog(QStringLiteral("ViewerWindow->adoptView: Illegal View ID!"));
        return;
    }
    showPageInWindow(d->myWindow.get(), container);
}

bool vCardSharingController::isAddressBookReady() const
{
    return d->storeReady;
}

void vCardSharingController::addressBookArrived()
{
    ABAddressBook *book = ABAddressBook::sharedAddressBook();
    // Other programs edit the same directory; a download serves what is there now.
    if (book) {
        d->storeWatcher = std::make_unique<ABStoreWatcher>(book);
        // The next download after another program's change finds its list made (queued: the
        // stamp takes in pending changes, which must not run inside the watcher's refresh).
        connect(d->storeWatcher.get(), &ABStoreWatcher::refreshed, this, [this] {
            if (d->theConnections)
                d->theConnections->server().prepareRecords();
        }, Qt::QueuedConnection);
    }
    if (d->loader)
        d->ABSharingControllerRef->setAddressBook(book);
    d->storeReady = true;
    showAddressBookLoading(false);
    emit addressBookReady();
}

// What needs the store says that it is being read, and takes no orders meanwhile.
void vCardSharingController::showAddressBookLoading(bool loading)
{
    if (loading) {
        d->statusPage.pageLayout->insertWidget(1, AddressBookLoader::loadingLabel(d->views[0]));
        if (auto *layout = qobject_cast<QBoxLayout *>(d->views[5]->layout()))
            layout->insertWidget(1, AddressBookLoader::loadingLabel(d->views[5]));
    }
    ABSharingPropController *groups = d->ABSharingControllerRef.get();
    const std::array<QWidget *, 6> controls = {
        groups->nonSharedTableOL(), groups->sharedTableOL(),    groups->shareOneButtonOL(),
        groups->shareNonOneButtonOL(), groups->shareAllButtonOL(), groups->shareNonButtonOL()};
    for (QWidget *control : controls)
        control->setEnabled(!loading);
    d->importAction->setEnabled(!loading);
}

ShareService &vCardSharingController::shareService() const
{
    return *d->theConnections;
}

ABSharingPropController *vCardSharingController::ABSharingControllerRef() const
{
    return d->ABSharingControllerRef.get();
}

RecordList vCardSharingController::mapABToArchivable(int) const
{
    const ABAddressBook *book = d->storeReady ? ABAddressBook::sharedAddressBook() : nullptr;
    if (!book)
        return {};
    if (d->storeWatcher)
        d->storeWatcher->takeInPendingChanges();
    return RecordListBuilder::build(book, *d->ABSharingControllerRef);
}

OwnerCard vCardSharingController::ownerCard() const
{
    return SharingPreferences::ownerCardFrom(ownerCardEditor());
}

QLineEdit *vCardSharingController::serviceNameField() const
{
    return d->macSharePage.serviceNameField;
}

QPushButton *vCardSharingController::toggleSharingButton() const
{
    return d->macSharePage.toggleSharingButton;
}

QPushButton *vCardSharingController::toggleSharingButtonInServerStatusView() const
{
    return d->statusPage.toggleSharingButtonInServerStatusView;
}

QLabel *vCardSharingController::shortStatusText() const
{
    return d->statusPage.shortStatusText;
}

QLabel *vCardSharingController::longerStatusText() const
{
    return d->statusPage.longerStatusText;
}

QWidget *vCardSharingController::ownerCardEditor() const
{
    return d->views[1];
}

void vCardSharingController::toggleSharing(QAbstractButton *sender)
{
    const QString name = d->macSharePage.serviceNameField->text();
    if (sender->text() == vCardCommon::getLocMsg(QStringLiteral("SC_ButtonStart"))) {
        // Said before announcing: the announcement's own failure could only say that it failed.
        const auto [problem, hint] = SharingPreferences::shareNameProblem(name);
        if (problem) {
            vCardCommon::alertKeys(problem, hint);
            return;
        }
        if (!d->trust->chooseAccessBeforeStart())
            return;
        if (!d->storeReady) {
            // Announced once there is something to serve; the status page says it is loading.
            if (!d->startWaiting) {
                d->startWaiting = true;
                AddressBookLoader::whenReady(this, [this, sender] {
                    d->startWaiting = false;
                    if (sender->text() == vCardCommon::getLocMsg(QStringLiteral("SC_ButtonStart")))
                        d->theConnections->toggleSharing(sender->text(), d->macSharePage.serviceNameField->text());
                });
            }
            return;
        }
    }
    d->theConnections->toggleSharing(sender->text(), name);
}

void vCardSharingController::updateSharingDisplay()
{
    const ShareService &service = *d->theConnections;
    d->macSharePage.toggleSharingButton->setText(service.buttonTitle());
    d->statusPage.toggleSharingButtonInServerStatusView->setText(service.buttonTitle());
    d->statusPage.shortStatusText->setText(service.shortStatusText());
    d->statusPage.longerStatusText->setText(service.longerStatusText());
    d->macSharePage.serviceNameField->setEnabled(service.serviceNameEditable());
    if (d->trust)
        d->trust->setChoiceEnabled(service.serviceNameEditable());
}

void vCardSharingController::doSaveAsPreference()
{
    const bool saved = SharingPreferences::saveSharingPrefs(d->persistedControls) &&
                       SharingPreferences::saveOwnerCard(ownerCardEditor());
    d->ABSharingControllerRef->doSaveDefault();
    if (!saved)
        vCardCommon::alertKeys("SC_SaveFailedProblem", "SC_SaveFailedHint");
}

void vCardSharingController::applicationShouldTerminate()
{
    d->theConnections->applicationShouldTerminate();
}

void vCardSharingController::showPreferences()
{
    if (!d->preferences) {
        d->preferences = new PreferencesWindow(d->myWindow.get());
        d->preferences->setAttribute(Qt::WA_DeleteOnClose);
    }
    d->preferences->show();
    d->preferences->raise();
    d->preferences->activateWindow();
}

void vCardSharingController::importFiles(const QStringList &paths)
{
    // Files dropped, named at the start or handed over by a second start wait for the store.
    AddressBookLoader::whenReady(this, [this, paths] {
        importVCardFiles(d->myWindow.get(), paths);
        d->ABSharingControllerRef->fillABProperties();
    });
}

PreferencesWindow *vCardSharingController::preferencesWindow() const
{
    return d->preferences;
}

TrustController *vCardSharingController::trustController() const
{
    return d->trust.get();
}

vCardBrowserController *vCardSharingController::browserController() const
{
    return d->browser.get();
}

void vCardSharingController::doShowShareBrowser()
{
    d->browser->showWindow();
}
