#include "quicksynccontroller.h"

#include "abaddressbook.h"
#include "addressbookloader.h"
#include "abgroup.h"
#include "abrecordhelpers.h"
#include "quicksync.h"
#include "systemlog.h"
#include "ui_quicksyncwindow.h"
#include "vcardcommon.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QPointer>
#include <QTimer>

struct QuickSyncController::Private
{
    ABAddressBook *book = nullptr;
    bool sharedBook = false;
    QPointer<QWidget> myWindow;
    Ui::QuickSyncWindow ui;
    RemoteABSource *theVCardBrowserOL = nullptr;
    RemoteABSource *lastSender = nullptr;

    std::unique_ptr<QuickSync> run;
    bool saving = false;
    bool startWaiting = false; // a run asked for while the store is read
    int sliceSize = 500;
    QTimer slices;
};

QuickSyncController::QuickSyncController(QObject *parent) : QuickSyncController(nullptr, parent)
{
    d->sharedBook = true;
    d->ui.windowLayout->insertWidget(1, AddressBookLoader::loadingLabel(d->myWindow));
}

QuickSyncController::QuickSyncController(ABAddressBook *book, QObject *parent)
    : QObject(parent), d(std::make_unique<Private>())
{
    d->book = book;
    d->myWindow = new QWidget();
    d->ui.setupUi(d->myWindow);
    awakeFromNib();
}

QuickSyncController::~QuickSyncController()
{
    if (d->run && !d->saving)
        systemLog(
            QStringLiteral("QuickSyncController: a run ended unfinished; the address book was not changed"));
    if (d->myWindow && !d->myWindow->parent())
        delete d->myWindow;
}

void QuickSyncController::awakeFromNib()
{
    // Each item's data is its match type.
    for (QComboBox *list : {d->ui.caMatchingPropertyListOL, d->ui.urMatchtypeSwitchOL}) {
        list->addItem(tr("First name, last name and company"), int(vCardFirstLastCompany));
        list->addItem(tr("First and last name"), int(vCardFirstLast));
    }
    d->ui.progressPanelOL->hide();
    d->slices.setInterval(0);
    connect(&d->slices, &QTimer::timeout, this, &QuickSyncController::step);
    connect(d->ui.runCAButtonOL, &QPushButton::clicked, this, &QuickSyncController::doCopyAll);
    connect(d->ui.runURButtonOL, &QPushButton::clicked, this, &QuickSyncController::doUpdateOnly);
    connect(d->ui.cancelButtonOL, &QPushButton::clicked, this, &QuickSyncController::cancel);
    for (QAbstractButton *button : {static_cast<QAbstractButton *>(d->ui.caUseNewGroupButtonOL),
                                    static_cast<QAbstractButton *>(d->ui.caMatchingButtonOL),
                                    static_cast<QAbstractButton *>(d->ui.caExistingGroupCellOL),
                                    static_cast<QAbstractButton *>(d->ui.caNewGroupCellOL),
                                    static_cast<QAbstractButton *>(d->ui.urUseNewGroupButtonOL)})
        connect(button, &QAbstractButton::toggled, this, &QuickSyncController::updateControls);
    d->ui.remoteShareNameOL->setText(vCardCommon::getLocMsg(QStringLiteral("BR_NoRemoteSystem")));
    updateControls();
}

QWidget *QuickSyncController::window() const
{
    return d->myWindow;
}

void QuickSyncController::setBrowserController(RemoteABSource *browser)
{
    d->theVCardBrowserOL = browser;
}

RemoteABSource *QuickSyncController::source() const
{
    return d->theVCardBrowserOL ? d->theVCardBrowserOL : d->lastSender;
}

ABAddressBook *QuickSyncController::addressBook() const
{
    return d->sharedBook ? ABAddressBook::sharedAddressBook() : d->book;
}

bool QuickSyncController::isRunning() const
{
    return d->run != nullptr;
}

void QuickSyncController::setSliceSize(int records)
{
    d->sliceSize = std::max(1, records);
}

void QuickSyncController::doReloadData(RemoteABSource *sender)
{
    d->lastSender = sender;
    const RemoteABSource *browser = source();
    if (!browser || !browser->getRemoteAB())
        return;
    const QString share = browser->getSelectedShareName();
    if (!share.isEmpty()) {
        d->ui.remoteShareNameOL->setText(
            share + vCardCommon::getLocMsg(QStringLiteral("QS_FormatRecords"), browser->getRemoteAB()->size())
                        .arg(browser->getRemoteAB()->size()));
        const QString suggested = vCardCommon::getLocMsg(QStringLiteral("QS_FormatFrom")).arg(share);
        d->ui.caNewGroupsNameFieldOL->setText(suggested);
        d->ui.urNewGroupsNameFieldOL->setText(suggested);
    } else {
        d->ui.remoteShareNameOL->setText(vCardCommon::getLocMsg(QStringLiteral("BR_NoRemoteSystem")));
    }
    d->ui.caGroupListOL->clear();
    const ABAddressBook *book = addressBook();
    if (ABRecordHelpers::ABHasGroups(book)) {
        // An item with data is a group; the "no groups" item has none.
        for (const ABGroup *group : book->groups())
            d->ui.caGroupListOL->addItem(group->name(), true);
    } else {
        d->ui.caGroupListOL->addItem(vCardCommon::getLocMsg(QStringLiteral("QS_NoGroups")));
    }
    updateControls();
}

// The enabled states; also run when a check box or the group option changes.
void QuickSyncController::updateControls()
{
    const RemoteABSource *browser = source();
    const bool haveRecords = browser && browser->getRemoteAB();
    const bool idle = !d->run;
    const bool hasGroups = ABRecordHelpers::ABHasGroups(addressBook());
    // Leaving out persons already present is a choice as soon as there are persons to leave out.
    const bool hasPersons = addressBook() && !addressBook()->people().isEmpty();
    Ui::QuickSyncWindow &ui = d->ui;
    ui.runCAButtonOL->setEnabled(haveRecords && idle);
    ui.runURButtonOL->setEnabled(haveRecords && idle);
    ui.caUseNewGroupButtonOL->setEnabled(true);
    ui.caNewGroupCellOL->setEnabled(hasGroups);
    ui.caMatchingButtonOL->setEnabled(hasPersons);
    ui.caMatchingPropertyListOL->setEnabled(ui.caMatchingButtonOL->isChecked() && hasPersons);
    ui.urNewGroupsNameFieldOL->setEnabled(ui.urUseNewGroupButtonOL->isChecked());
    if (!ui.caUseNewGroupButtonOL->isChecked()) {
        ui.caGroupListOL->setEnabled(false);
        ui.caNewGroupsNameFieldOL->setEnabled(false);
        ui.caGroupTypeMatrixOL->setEnabled(false);
        return;
    }
    ui.caGroupTypeMatrixOL->setEnabled(true);
    ui.caNewGroupsNameFieldOL->setEnabled(ui.caNewGroupCellOL->isChecked());
    if (hasGroups) {
        ui.caExistingGroupCellOL->setEnabled(true);
        ui.caGroupListOL->setEnabled(ui.caExistingGroupCellOL->isChecked());
    } else {
        ui.caExistingGroupCellOL->setEnabled(false);
        ui.caGroupListOL->setEnabled(false);
    }
}

void QuickSyncController::doCopyAll()
{
    start(false);
}

void QuickSyncController::doUpdateOnly()
{
    start(true);
}

void QuickSyncController::start(bool updateOnly)
{
    const RemoteABSource *browser = source();
    if (d->run || !browser || !browser->getRemoteAB())
        return;
    if (d->sharedBook && AddressBookLoader::isLoading()) {
        // The window says that the store is being read; the run starts when it is there.
        if (!d->startWaiting) {
            d->startWaiting = true;
            AddressBookLoader::whenReady(this, [this, updateOnly] {
                d->startWaiting = false;
                start(updateOnly);
            });
        }
        return;
    }
    ABAddressBook *book = addressBook();
    if (!book) {
        vCardCommon::alertKeys("AB_NoAddressBook", "AB_NoAddressBookHint");
        return;
    }
    const Ui::QuickSyncWindow &ui = d->ui;
    QuickSyncOptions options;
    if (updateOnly) {
        options.mode = QuickSyncOptions::Mode::UpdateOnly;
        options.matchType = ui.urMatchtypeSwitchOL->currentData().toInt();
        options.addUnmatched = ui.urAddUnmatchedButtonOL->isChecked();
        if (ui.urUseNewGroupButtonOL->isChecked()) {
            options.group = QuickSyncOptions::Group::New;
            options.groupName = ui.urNewGroupsNameFieldOL->text();
        }
    } else {
        options.matching = ui.caMatchingButtonOL->isChecked();
        options.matchType = ui.caMatchingPropertyListOL->currentData().toInt();
        // The check box means what it says: off, no group.
        if (ui.caUseNewGroupButtonOL->isChecked() && ui.caExistingGroupCellOL->isChecked() &&
            ui.caGroupListOL->currentData().isValid()) {
            options.group = QuickSyncOptions::Group::Existing;
            options.groupName = ui.caGroupListOL->currentText();
        } else if (ui.caUseNewGroupButtonOL->isChecked() && ui.caNewGroupCellOL->isChecked()) {
            options.group = QuickSyncOptions::Group::New;
            options.groupName = ui.caNewGroupsNameFieldOL->text();
        }
    }
    // The list as it is now; a download meanwhile does not change this run. Copies share the bytes.
    const ArchivedRecords records = *browser->getRemoteAB();
    d->run = std::make_unique<QuickSync>(
        book, [records](qsizetype i) { return records.at(i); }, records.size(), options);
    d->ui.progressLabelOL->setText(
        vCardCommon::getLocMsg(updateOnly ? QStringLiteral("QS_Updating") : QStringLiteral("QS_Copying")));
    d->ui.progressBarOL->setRange(0, static_cast<int>(std::min<qsizetype>(records.size(), INT_MAX)));
    d->ui.progressBarOL->setValue(0);
    d->ui.cancelButtonOL->setEnabled(true);
    d->ui.progressPanelOL->show();
    updateControls();
    d->slices.start();
}

void QuickSyncController::step()
{
    if (!d->run)
        return;
    const bool done = d->run->prepare(d->sliceSize);
    d->ui.progressBarOL->setValue(static_cast<int>(std::min<qsizetype>(d->run->preparedCount(), INT_MAX)));
    if (done)
        finish();
}

void QuickSyncController::finish()
{
    d->slices.stop();
    // From here on the run is not cancelled: it goes into the store and is saved whole. The
    // window is repainted while saving, but takes no input until the save is done.
    d->saving = true;
    d->ui.cancelButtonOL->setEnabled(false);
    d->ui.progressLabelOL->setText(vCardCommon::getLocMsg(QStringLiteral("QS_Saving")));
    d->run->commit();
    QElapsedTimer painted;
    painted.start();
    const bool saved = d->run->save([this, &painted](qsizetype done, qsizetype total) {
        if (painted.elapsed() < 50 && done < total)
            return;
        painted.restart();
        d->ui.progressBarOL->setRange(0, static_cast<int>(std::min<qsizetype>(total, INT_MAX)));
        d->ui.progressBarOL->setValue(static_cast<int>(std::min<qsizetype>(done, INT_MAX)));
        QCoreApplication::processEvents(QEventLoop::ExcludeUserInputEvents);
    });
    const std::unique_ptr<QuickSync> run = std::move(d->run);
    d->saving = false;
    d->ui.progressPanelOL->hide();
    updateControls();
    // A failed save has been reported by the store; no summary says otherwise.
    if (saved)
        vCardCommon::alert(run->summaryTitle(), run->summaryHint());
    emit finished();
}

void QuickSyncController::cancel()
{
    if (!d->run || d->saving)
        return;
    d->slices.stop();
    d->run.reset();
    systemLog(QStringLiteral("QuickSyncController: cancelled; the address book was not changed"));
    d->ui.progressPanelOL->hide();
    updateControls();
    emit finished();
}
