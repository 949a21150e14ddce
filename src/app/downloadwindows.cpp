#include "downloadwindows.h"

#include "abbrowsercontroller.h"
#include "exportcontroller.h"
#include "quicksynccontroller.h"
#include "vcardbrowsercontroller.h"

#include <QAction>
#include <QMenu>
#include <QWidget>

namespace {
void bringUp(QWidget *window)
{
    window->show();
    window->raise();
    window->activateWindow();
}
} // namespace

struct DownloadWindows::Private
{
    vCardBrowserController *browser = nullptr;
    ABBrowserController detail;
    QuickSyncController quickSync;
    ExportController exporter;
};

DownloadWindows::DownloadWindows(vCardBrowserController *browser, QObject *parent)
    : QObject(parent), d(std::make_unique<Private>())
{
    d->browser = browser;
    d->detail.setBrowserController(browser);
    d->quickSync.setBrowserController(browser);
    d->exporter.setBrowser(browser);
    browser->setABBrowserController(&d->detail);
    browser->setQuickSyncController(&d->quickSync);
    browser->setExportController(&d->exporter);
    connect(browser, &vCardBrowserController::showABBrowserRequested, this, &DownloadWindows::showContactDetail);
    connect(&d->detail, &ABBrowserController::exportRequested, this, &DownloadWindows::showExport);
}

DownloadWindows::~DownloadWindows()
{
    // The browse window outlives us: it must not refresh windows that are gone.
    d->browser->setABBrowserController(nullptr);
    d->browser->setQuickSyncController(nullptr);
    d->browser->setExportController(nullptr);
}

void DownloadWindows::addMenuItems(QMenu *fileMenu, QMenu *viewMenu)
{
    // The exports go with Import, above the separator that sets Quit apart.
    QAction *before = nullptr;
    for (QAction *action : fileMenu->actions()) {
        if (action->isSeparator()) {
            before = action;
            break;
        }
    }
    QAction *csv = new QAction(tr("&Export as CSV…"), fileMenu);
    csv->setObjectName(QStringLiteral("exportCSVAction"));
    csv->setShortcut(QKeySequence(tr("Ctrl+E")));
    connect(csv, &QAction::triggered, this, &DownloadWindows::showExport);
    QAction *vcf = new QAction(tr("Export &vCards…"), fileMenu);
    vcf->setObjectName(QStringLiteral("exportVCardsAction"));
    connect(vcf, &QAction::triggered, this, &DownloadWindows::exportVCards);
    fileMenu->insertActions(before, {csv, vcf});
    QAction *detail = viewMenu->addAction(tr("&Downloaded Persons…"), this, &DownloadWindows::showContactDetail);
    detail->setObjectName(QStringLiteral("contactDetailAction"));
    detail->setShortcut(QKeySequence(tr("Ctrl+D")));
    QAction *sync = viewMenu->addAction(tr("&Quick Sync…"), this, &DownloadWindows::showQuickSync);
    sync->setObjectName(QStringLiteral("quickSyncAction"));
    sync->setShortcut(QKeySequence(tr("Ctrl+Shift+S")));
}

void DownloadWindows::showContactDetail()
{
    bringUp(d->detail.window());
}

void DownloadWindows::showQuickSync()
{
    bringUp(d->quickSync.window());
}

void DownloadWindows::showExport()
{
    d->exporter.showWindow();
}

void DownloadWindows::exportVCards()
{
    d->exporter.doExportVCards();
}
