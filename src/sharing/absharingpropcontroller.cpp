#include "absharingpropcontroller.h"

#include "abaddressbook.h"
#include "abfoldersview.h"
#include "abglobals.h"
#include "abgroup.h"
#include "abperson.h"
#include "grouptablemodel.h"
#include "platformhooks.h"
#include "recordlistbuilder.h"
#include "systemlog.h"
#include "ui_abfoldersview.h"
#include "vcardcommon.h"

#include <QItemSelectionModel>
#include <QPushButton>
#include <QSettings>
#include <QTableView>

namespace {

QSettings userDefaults()
{
    return QSettings(QStringLiteral("quenfold"), QStringLiteral("zorbix"));
}

} // namespace

ABSharingPropController::ABSharingPropController(QObject *parent)
    : ABSharingPropController(ABAddressBook::sharedAddressBook(), parent)
{
}

ABSharingPropController::ABSharingPropController(ABAddressBook *book, QObject *parent)
    : QObject(parent), m_book(book)
{
    m_nonSharedModel = new GroupTableModel(this, this);
    m_sharedModel = new GroupTableModel(this, this);
    awakeFromNib();
}

ABSharingPropController::~ABSharingPropController()
{
    // The page is ours until the main window gives it a parent.
    if (m_view && !m_view->parent())
        delete m_view;
}

void ABSharingPropController::awakeFromNib()
{
    fillABProperties();
}

QWidget *ABSharingPropController::view() const
{
    if (!m_view) {
        auto *self = const_cast<ABSharingPropController *>(this);
        self->m_view = new ABFoldersView();
        Ui::ABFoldersView *ui = m_view->ui();
        ui->nonSharedTableOL->setModel(m_nonSharedModel);
        ui->sharedTableOL->setModel(m_sharedModel);
        m_nonSharedModel->attach(ui->nonSharedTableOL);
        m_sharedModel->attach(ui->sharedTableOL);
        connect(ui->shareOneButtonOL, &QPushButton::clicked, self, &ABSharingPropController::doShare);
        connect(ui->shareNonOneButtonOL, &QPushButton::clicked, self, &ABSharingPropController::doUnshare);
        connect(ui->shareAllButtonOL, &QPushButton::clicked, self, &ABSharingPropController::doShareAll);
        connect(ui->shareNonButtonOL, &QPushButton::clicked, self, &ABSharingPropController::doNonShareAll);
    }
    return m_view;
}

QTableView *ABSharingPropController::nonSharedTableOL() const
{
    return m_view ? m_view->ui()->nonSharedTableOL : nullptr;
}

QTableView *ABSharingPropController::sharedTableOL() const
{
    return m_view ? m_view->ui()->sharedTableOL : nullptr;
}

QPushButton *ABSharingPropController::shareOneButtonOL() const
{
    return m_view ? m_view->ui()->shareOneButtonOL : nullptr;
}

QPushButton *ABSharingPropController::shareNonOneButtonOL() const
{
    return m_view ? m_view->ui()->shareNonOneButtonOL : nullptr;
}

QPushButton *ABSharingPropController::shareAllButtonOL() const
{
    return m_view ? m_view->ui()->shareAllButtonOL : nullptr;
}

QPushButton *ABSharingPropController::shareNonButtonOL() const
{
    return m_view ? m_view->ui()->shareNonButtonOL : nullptr;
}

bool ABSharingPropController::isPeopleInGroups(const ABPerson *person) const
{
    return m_lists.isShared(person);
}

// Defined with the controller, so that programs using the builder alone (zorbix-cli) do not link
// the controller and its widgets.
RecordList RecordListBuilder::build(const ABAddressBook *book, const ABSharingPropController &selection)
{
    return build(book, [&selection](const ABPerson *person) { return selection.isPeopleInGroups(person); });
}

void ABSharingPropController::fillABProperties()
{
    m_lists.read(userDefaults());
    if (!m_lists.reconcile(m_book)) {
        listsChanged();
        return; // the lists stay as read and are not saved
    }
    doSaveDefault();
}

void ABSharingPropController::setAddressBook(ABAddressBook *book)
{
    m_book = book;
    takeInNewGroups();
    listsChanged();
}

void ABSharingPropController::takeInNewGroups()
{
    if (m_lists.reconcile(m_book))
        doSaveDefault();
}

bool ABSharingPropController::isGroupWithUIDinAB(const QString &uid) const
{
    return SharedGroupLists::storeHasGroup(m_book, uid);
}

bool ABSharingPropController::groupInAnyTable(const QString &uid) const
{
    return m_lists.contains(uid);
}

int ABSharingPropController::numberOfRowsInTableView(const QAbstractItemView *table) const
{
    if (!table)
        return 0;
    if (table == nonSharedTableOL())
        return static_cast<int>(nonSharedGroups().size());
    if (table == sharedTableOL())
        return static_cast<int>(sharedGroups().size());
    return 0;
}

QString ABSharingPropController::tableViewObjectValue(const QAbstractItemView *table, int column,
                                                      int row) const
{
    Q_UNUSED(column);
    const QVariantList *list = nullptr;
    if (table && table == nonSharedTableOL())
        list = &nonSharedGroups();
    else if (table && table == sharedTableOL())
        list = &sharedGroups();
    if (!list || row < 0 || row >= list->size())
        return QString();
    return list->at(row).toMap().value(kABGroupNameProperty).toString();
}

void ABSharingPropController::listsChanged()
{
    m_nonSharedModel->reload();
    m_sharedModel->reload();
}

void ABSharingPropController::doSaveDefault()
{
    listsChanged();
    QSettings settings = userDefaults();
    if (!m_lists.write(settings)) {
        systemLog(QStringLiteral("ABSharingPropController: could not write the group lists to %1")
                      .arg(settings.fileName()));
        vCardCommon::alert(vCardCommon::getLocMsg(QStringLiteral("SC_GroupsNotSavedProblem")),
                           vCardCommon::getLocMsg(QStringLiteral("SC_GroupsNotSavedHint")).arg(settings.fileName()));
    }
    emit groupListsChanged();
}

int ABSharingPropController::selectedRow(const QTableView *table)
{
    if (!table || !table->selectionModel())
        return -1;
    const QModelIndexList rows = table->selectionModel()->selectedRows();
    return rows.isEmpty() ? -1 : rows.first().row();
}

void ABSharingPropController::doShare()
{
    if (!m_lists.share(selectedRow(nonSharedTableOL())))
        PlatformHooks::current().beep();
    doSaveDefault();
}

void ABSharingPropController::doUnshare()
{
    if (!m_lists.unshare(selectedRow(sharedTableOL())))
        PlatformHooks::current().beep();
    doSaveDefault();
}

void ABSharingPropController::doShareAll()
{
    if (nonSharedGroups().isEmpty())
        PlatformHooks::current().beep();
    m_lists.shareAll();
    doSaveDefault();
}

void ABSharingPropController::doNonShareAll()
{
    if (sharedGroups().isEmpty())
        PlatformHooks::current().beep();
    m_lists.unshareAll();
    doSaveDefault();
}
