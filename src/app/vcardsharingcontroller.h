#pragma once

#include "flatperson.h"
#include "toolbardelegate.h"

#include <QObject>
#include <QPointer>

#include <array>
#include <memory>

class ABSharingPropController;
class PreferencesWindow;
class QAbstractButton;
class QLabel;
class QLineEdit;
class QPushButton;
class ShareService;
class Toolbar;
class TrustController;
class vCardBrowserController;
class ViewerWindow;
class QWidget;

// The controller of the sharing side: it owns the main window and its pages and switches between
// them from the toolbar, whose delegate it is.
class vCardSharingController : public QObject, public ToolbarDelegate
{
    Q_OBJECT

public:
    static constexpr int PageCount = 6;
    static const QString ToolbarIdentifier;

    // Now: the address book is read before the constructor returns. Behind: it is read on a
    // worker thread while the window shows; addressBookReady() tells when it is there.
    enum class StoreLoading { Now, Behind };

    // Builds the window and its pages, then runs the start-up.
    explicit vCardSharingController(QObject *parent = nullptr);
    explicit vCardSharingController(StoreLoading loading, QObject *parent = nullptr);
    ~vCardSharingController() override;

    static vCardSharingController *getSharedSharingController();
    static void setSharedSharingController(vCardSharingController *controller);

    ViewerWindow *window() const;
    Toolbar *toolbar() const;
    // The page container of a view ID (1 to 6), or nullptr.
    QWidget *view(int viewId) const;

    // Whether the address book has been read; until then the pages that need it say that it is
    // loading, and what would act on it waits.
    bool isAddressBookReady() const;

    ShareService &shareService() const;
    ABSharingPropController *ABSharingControllerRef() const;
    // The record list of a download: the shared persons of the address book as it is now.
    RecordList mapABToArchivable(int unused) const;
    // The card of every download, as its fields read now.
    OwnerCard ownerCard() const;

    // Outlets of the sharing pages.
    QLineEdit *serviceNameField() const;
    QPushButton *toggleSharingButton() const;
    QPushButton *toggleSharingButtonInServerStatusView() const;
    QLabel *shortStatusText() const;
    QLabel *longerStatusText() const;
    QWidget *ownerCardEditor() const;
    // The Preferences window while it is open.
    PreferencesWindow *preferencesWindow() const;
    // Who may download, and the approval of devices for a protected share.
    TrustController *trustController() const;
    // The browse window's controller (shares, downloads, the sharer's card).
    vCardBrowserController *browserController() const;

    QStringList toolbarAllowedItemIdentifiers(Toolbar *toolbar) override;
    QStringList toolbarDefaultItemIdentifiers(Toolbar *toolbar) override;
    ToolbarItem *toolbarItemForItemIdentifier(Toolbar *toolbar, const QString &identifier,
                                              bool willBeInsertedIntoToolbar) override;
    void toolbarWillAddItem(ToolbarItem *item) override;

signals:
    // The address book has been read and the pages show it.
    void addressBookReady();

public slots:
    void doStatusView();
    void doMacShare();
    void doWebShare();
    void doUserManager();
    void doServerManager();
    void doABProperties();
    void doLaunch(int viewId);
    void adoptView(int viewId);

    void toggleSharing(QAbstractButton *sender);
    void doSaveAsPreference();
    void applicationShouldTerminate();
    void showPreferences();
    // Imports vCard files dropped on the window or named on the command line, with progress
    // and summary, and shows the groups they brought.
    void importFiles(const QStringList &paths);
    void doShowShareBrowser();

private:
    void loadInterface();
    void awakeFromNib();
    void updateSharingDisplay();
    void addressBookArrived();
    void showAddressBookLoading(bool loading);

    struct Private;
    std::unique_ptr<Private> d;
};
