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

// Each window is made when first wanted, so that the start does not build them.
struct DownloadWindows::Private
{
    vCardBrowserController *browser = nullptr;
    DownloadWindows *q = nullptr;
    std::unique_ptr<ABBrowserController> detail;
    std::unique_ptr<QuickSyncController> quickSync;
    std::unique_ptr<ExportController> exporter;

    ABBrowserController &theDetail();
    QuickSyncController &theQuickSync();
    ExportController &theExporter();
};

// A window made after a download shows it at once; from then on the browse window refreshes it.
ABBrowserController &DownloadWindows::Private::theDetail()
{
    if (!detail) {
        detail = std::make_unique<ABBrowserController>();
        detail->setBrowserController(browser);
        browser->setABBrowserController(detail.get());
        connect(detail.get(), &ABBrowserController::exportRequested, q, &DownloadWindows::showExport);
        detail->doReloadData(browser);
    }
    return *detail;
}

QuickSyncController &DownloadWindows::Private::theQuickSync()
{
    if (!quickSync) {
        quickSync = std::make_unique<QuickSyncController>();
        quickSync->setBrowserController(browser);
        browser->setQuickSyncController(quickSync.get());
        quickSync->doReloadData(browser);
    }
    return *quickSync;
}

ExportController &DownloadWindows::Private::theExporter()
{
    if (!exporter) {
        exporter = std::make_unique<ExportController>(browser);
        browser->setExportController(exporter.get());
    }
    return *exporter;
}

DownloadWindows::DownloadWindows(vCardBrowserController *browser, QObject *parent)
    : QObject(parent), d(std::make_unique<Private>())
{
    d->browser = browser;
    d->q = this;
    connect(browser, &vCardBrowserController::showABBrowserRequested, this, &DownloadWindows::showContactDetail);
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
    bringUp(d->theDetail().window());
}

void DownloadWindows::showQuickSync()
{
    bringUp(d->theQuickSync().window());
}

void DownloadWindows::showExport()
{
    d->theExporter().showWindow();
}

void DownloadWindows::exportVCards()
{
    d->theExporter().doExportVCards();
}
