#include "abbrowsercontroller.h"

#include "abaddressbook.h"
#include "addressbookloader.h"
#include "abbrowsertablemodel.h"
#include "ablocalized.h"
#include "abperson.h"
#include "contactdetail.h"
#include "platformhooks.h"
#include "quicksync.h"
#include "ui_abbrowserwindow.h"
#include "vcardcommon.h"

#include <QHeaderView>
#include <QItemSelectionModel>
#include <QKeyEvent>
#include <QLineEdit>
#include <QPushButton>
#include <QSortFilterProxyModel>
#include <QSplitter>
#include <QTableView>

struct ABBrowserController::Private
{
    ABAddressBook *book = nullptr;
    bool sharedBook = false;
    QPointer<QWidget> myWindow;
    Ui::ABBrowserWindow ui;
    RemoteABSource *vCardBrowserControllerOL = nullptr;
    RemoteABSource *lastSender = nullptr;
    ABBrowserTableModel *nameModel = nullptr;
    QSortFilterProxyModel *nameProxy = nullptr; // what the name table shows: sorted, found
    ABBrowserTableModel *valuesModel = nullptr;

    QVariant thePerson; // the FlatPerson shown, or none
    QStringList personKeys;
    QStringList personValues;
};

ABBrowserController::ABBrowserController(QObject *parent) : ABBrowserController(nullptr, parent)
{
    d->sharedBook = true;
}

ABBrowserController::ABBrowserController(ABAddressBook *book, QObject *parent)
    : QObject(parent), d(std::make_unique<Private>())
{
    d->book = book;
    d->myWindow = new QWidget();
    d->ui.setupUi(d->myWindow);
    awakeFromNib();
}

ABBrowserController::~ABBrowserController()
{
    if (d->myWindow && !d->myWindow->parent())
        delete d->myWindow;
}

void ABBrowserController::awakeFromNib()
{
    // Tables side by side.
    d->ui.mainSplitViewOL->setOrientation(Qt::Horizontal);
    d->nameModel = new ABBrowserTableModel(this, {tr("Name")}, this);
    d->valuesModel = new ABBrowserTableModel(this, {tr("Property"), tr("Value")}, this);
    // The names in download order until a click on the column header sorts them; the find field
    // keeps the persons whose name, company or e-mail holds its text.
    d->nameProxy = new QSortFilterProxyModel(this);
    d->nameProxy->setSourceModel(d->nameModel);
    d->nameProxy->setSortLocaleAware(true);
    d->nameProxy->setSortCaseSensitivity(Qt::CaseInsensitive);
    d->nameProxy->setFilterCaseSensitivity(Qt::CaseInsensitive);
    d->nameProxy->setFilterRole(ABBrowserTableModel::SearchRole);
    d->nameModel->attach(d->ui.nameTableOL, d->nameProxy);
    d->valuesModel->attach(d->ui.valuesTableOL);
    QHeaderView *header = d->ui.nameTableOL->horizontalHeader();
    header->setSortIndicatorClearable(true);
    header->setSortIndicator(-1, Qt::AscendingOrder);
    d->ui.nameTableOL->setSortingEnabled(true);
    connect(d->ui.findFieldOL, &QLineEdit::textChanged, d->nameProxy,
            &QSortFilterProxyModel::setFilterFixedString);
    connect(d->nameProxy, &QAbstractItemModel::modelReset, this, &ABBrowserController::showPersonCount);
    connect(d->nameProxy, &QAbstractItemModel::layoutChanged, this, &ABBrowserController::showPersonCount);
    connect(d->nameProxy, &QAbstractItemModel::rowsInserted, this, &ABBrowserController::showPersonCount);
    connect(d->nameProxy, &QAbstractItemModel::rowsRemoved, this, &ABBrowserController::showPersonCount);
    // Down or Return in the find field goes on to the persons found.
    d->ui.findFieldOL->installEventFilter(this);
    connect(d->ui.nameTableOL, &QTableView::clicked, this, &ABBrowserController::showContactDetail);
    connect(d->ui.nameTableOL, &QTableView::doubleClicked, this, &ABBrowserController::showContactDetail);
    // The keyboard moves the selection too.
    connect(d->ui.nameTableOL->selectionModel(), &QItemSelectionModel::selectionChanged, this, [this] {
        if (selectedNameRow() >= 0)
            showContactDetail();
    });
    connect(d->ui.readAgainButtonOL, &QPushButton::clicked, this,
            &ABBrowserController::doReadAgainAndReloadData);
    connect(d->ui.saveOneButtonOL, &QPushButton::clicked, this, &ABBrowserController::doSaveOneRecord);
    connect(d->ui.exportButtonOL, &QPushButton::clicked, this, &ABBrowserController::doExportToCSV);
    d->ui.remoteUserFieldOL->setText(vCardCommon::getLocMsg(QStringLiteral("BR_NoRemoteSystem")));
}

QWidget *ABBrowserController::window() const
{
    return d->myWindow;
}

void ABBrowserController::setBrowserController(RemoteABSource *browser)
{
    d->vCardBrowserControllerOL = browser;
}

RemoteABSource *ABBrowserController::source() const
{
    return d->vCardBrowserControllerOL ? d->vCardBrowserControllerOL : d->lastSender;
}

const QStringList &ABBrowserController::personKeys() const
{
    return d->personKeys;
}

const QStringList &ABBrowserController::personValues() const
{
    return d->personValues;
}

int ABBrowserController::selectedNameRow() const
{
    const QItemSelectionModel *selection = d->ui.nameTableOL->selectionModel();
    const QModelIndexList rows = selection ? selection->selectedRows() : QModelIndexList();
    return rows.isEmpty() ? -1 : d->nameProxy->mapToSource(rows.first()).row();
}

QString ABBrowserController::searchTextOfRow(int row) const
{
    const RemoteABSource *browser = source();
    if (!browser || !browser->getRemoteAB() || row < 0 || row >= browser->getRemoteAB()->size())
        return QString();
    return ContactDetail::searchText(browser->getRemoteAB()->at(row));
}

void ABBrowserController::showPersonCount()
{
    const int all = d->nameModel->rowCount();
    const int shown = d->nameProxy->rowCount();
    const RemoteABSource *browser = source();
    if (!browser || !browser->getRemoteAB())
        d->ui.personCountOL->clear();
    else if (shown == all)
        d->ui.personCountOL->setText(tr("Persons: %1").arg(all));
    else
        d->ui.personCountOL->setText(tr("Persons: %1 of %2").arg(shown).arg(all));
}

bool ABBrowserController::eventFilter(QObject *watched, QEvent *event)
{
    if (watched == d->ui.findFieldOL && event->type() == QEvent::KeyPress) {
        const int key = static_cast<QKeyEvent *>(event)->key();
        if ((key == Qt::Key_Down || key == Qt::Key_Return || key == Qt::Key_Enter) &&
            d->nameProxy->rowCount() > 0) {
            QTableView *names = d->ui.nameTableOL;
            names->setFocus(Qt::ShortcutFocusReason);
            if (!names->selectionModel()->hasSelection())
                names->selectRow(0);
            return true;
        }
    }
    return QObject::eventFilter(watched, event);
}

int ABBrowserController::numberOfRowsInTableView(const QAbstractItemView *table) const
{
    const RemoteABSource *browser = source();
    if (!browser || !browser->getRemoteAB())
        return 0;
    if (table == d->ui.valuesTableOL)
        return static_cast<int>(d->personKeys.size());
    if (table == d->ui.nameTableOL)
        return static_cast<int>(std::min<qsizetype>(browser->getRemoteAB()->size(), INT_MAX));
    return 0;
}

QString ABBrowserController::tableViewObjectValue(const QAbstractItemView *table, int column, int row) const
{
    const RemoteABSource *browser = source();
    if (!browser || !browser->getRemoteAB())
        return QString();
    const ArchivedRecords &records = *browser->getRemoteAB();
    if (table == d->ui.nameTableOL)
        return row >= 0 && row < records.size() ? ContactDetail::nameOf(records.at(row)) : QString();
    if (table == d->ui.valuesTableOL) {
        if (selectedNameRow() < 0 || row < 0 || row >= d->personKeys.size())
            return QString();
        if (column == 0)
            return ABLocalizedPropertyOrLabel(d->personKeys.at(row));
        if (column == 1)
            return d->personValues.at(row);
        return QStringLiteral("?");
    }
    return QStringLiteral("-");
}

void ABBrowserController::showContactDetail()
{
    const RemoteABSource *browser = source();
    if (!browser || !browser->getRemoteAB())
        return;
    const ArchivedRecords &records = *browser->getRemoteAB();
    const int row = selectedNameRow();
    if (row >= 0 && row < records.size())
        d->thePerson = records.at(row);
    const ContactDetail::Rows rows = ContactDetail::rowsOf(d->thePerson);
    d->personKeys = rows.keys;
    d->personValues = rows.values;
    d->valuesModel->reload();
}

void ABBrowserController::doReloadData(RemoteABSource *sender)
{
    d->lastSender = sender;
    const RemoteABSource *browser = source();
    const QString share = browser ? browser->getSelectedShareName() : QString();
    if (!share.isEmpty()) {
        const qsizetype count = browser->getRemoteAB() ? browser->getRemoteAB()->size() : 0;
        d->ui.remoteUserFieldOL->setText(share +
                                         vCardCommon::getLocMsg(QStringLiteral("AB_Records")).arg(count));
    } else {
        d->ui.remoteUserFieldOL->setText(vCardCommon::getLocMsg(QStringLiteral("BR_NoRemoteSystem")));
    }
    d->valuesModel->reload();
    d->nameModel->reload();
    d->ui.valuesTableOL->clearSelection();
    d->ui.nameTableOL->clearSelection();
    d->ui.nameTableOL->selectionModel()->clearCurrentIndex();
    d->ui.valuesTableOL->viewport()->update();
}

void ABBrowserController::doReadAgainAndReloadData()
{
    RemoteABSource *browser = source();
    if (!browser) {
        PlatformHooks::current().beep();
        return;
    }
    browser->reloadCurrentService();
    doReloadData(browser);
}

void ABBrowserController::doSaveOneRecord()
{
    // Only what the window shows: a person whose row is selected.
    if (selectedNameRow() < 0 || d->thePerson.metaType() != QMetaType::fromType<QVariantMap>()) {
        PlatformHooks::current().beep();
        return;
    }
    if (d->sharedBook) {
        // The person selected now, saved once the store has been read.
        AddressBookLoader::whenReady(this, [this, person = d->thePerson.toMap()] { saveOne(person); });
        return;
    }
    saveOne(d->thePerson.toMap());
}

void ABBrowserController::saveOne(const FlatPerson &person)
{
    ABAddressBook *book = d->sharedBook ? ABAddressBook::sharedAddressBook() : d->book;
    if (!book) {
        vCardCommon::alertKeys("AB_NoAddressBook", "AB_NoAddressBookHint");
        return;
    }
    book->addRecord(QuickSync::copyOf(person));
    if (!book->save())
        return; // the store has told the user
    const QString name = ContactDetail::nameOf(person).trimmed();
    vCardCommon::alert(vCardCommon::getLocMsg(QStringLiteral("AB_SavedOne")),
                       name.isEmpty()
                           ? vCardCommon::getLocMsg(QStringLiteral("AB_SavedOneHint"))
                           : vCardCommon::getLocMsg(QStringLiteral("AB_FormatSavedOneHint")).arg(name));
}

void ABBrowserController::doExportToCSV()
{
    emit exportRequested();
}
