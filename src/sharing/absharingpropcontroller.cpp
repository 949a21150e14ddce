#include "absharingpropcontroller.h"

#include "abaddressbook.h"
#include "abfoldersview.h"
#include "abglobals.h"
#include "abgroup.h"
#include "abperson.h"
#include "grouptablemodel.h"
#include "platformhooks.h"
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

// Settings written by hand or by an older version may hold anything: only dictionaries with a
// text UID are group references.
QVariantList groupReferences(const QVariant &stored)
{
    QVariantList references;
    const QVariantList items = stored.toList();
    for (const QVariant &item : items) {
        if (item.metaType() != QMetaType::fromType<QVariantMap>())
            continue;
        const QVariantMap map = item.toMap();
        const QVariant uid = map.value(kABUIDProperty);
        if (uid.metaType() != QMetaType::fromType<QString>() || uid.toString().isEmpty())
            continue;
        references.append(QVariantMap{{kABUIDProperty, uid.toString()},
                                      {kABGroupNameProperty, map.value(kABGroupNameProperty).toString()}});
    }
    return references;
}

QString uidOf(const QVariant &reference)
{
    return reference.toMap().value(kABUIDProperty).toString();
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
    if (!person || m_sharedUids.isEmpty())
        return false;
    // Exact text equality of identifiers, as a set look-up per parent group.
    const QList<ABGroup *> parents = person->parentGroups();
    for (const ABGroup *group : parents) {
        if (m_sharedUids.contains(group->uniqueId()))
            return true;
    }
    return false;
}

void ABSharingPropController::fillABProperties()
{
    QSettings settings = userDefaults();
    const QString sharedKey = QString::fromLatin1(sharedGroupsKey());
    const QString nonSharedKey = QString::fromLatin1(nonSharedGroupsKey());
    if (settings.contains(sharedKey) && settings.contains(nonSharedKey)) {
        m_sharedGroups = groupReferences(settings.value(sharedKey));
        m_nonSharedGroups = groupReferences(settings.value(nonSharedKey));
    } else {
        m_sharedGroups.clear();
        m_nonSharedGroups.clear();
    }
    if (!m_book || !m_book->isOpen()) {
        listsChanged();
        return; // the lists stay as read and are not saved
    }
    m_sharedGroups.removeIf(
        [this](const QVariant &reference) { return !isGroupWithUIDinAB(uidOf(reference)); });
    m_nonSharedGroups.removeIf(
        [this](const QVariant &reference) { return !isGroupWithUIDinAB(uidOf(reference)); });
    for (const ABGroup *group : m_book->groups()) {
        const QString uid = group->uniqueId();
        if (!groupInAnyTable(uid))
            m_nonSharedGroups.append(
                QVariantMap{{kABUIDProperty, uid}, {kABGroupNameProperty, group->name()}});
    }
    doSaveDefault();
}

bool ABSharingPropController::isGroupWithUIDinAB(const QString &uid) const
{
    if (!m_book || !m_book->isOpen())
        return false;
    const QList<ABGroup *> groups = m_book->groups();
    for (const ABGroup *group : groups) {
        if (group->uniqueId() == uid)
            return true;
    }
    return false;
}

bool ABSharingPropController::groupInAnyTable(const QString &uid) const
{
    for (const QVariantList *list : {&m_sharedGroups, &m_nonSharedGroups}) {
        for (const QVariant &reference : *list) {
            if (uidOf(reference) == uid)
                return true;
        }
    }
    return false;
}

int ABSharingPropController::numberOfRowsInTableView(const QAbstractItemView *table) const
{
    if (!table)
        return 0;
    if (table == nonSharedTableOL())
        return static_cast<int>(m_nonSharedGroups.size());
    if (table == sharedTableOL())
        return static_cast<int>(m_sharedGroups.size());
    return 0;
}

QString ABSharingPropController::tableViewObjectValue(const QAbstractItemView *table, int column,
                                                      int row) const
{
    Q_UNUSED(column);
    const QVariantList *list = nullptr;
    if (table && table == nonSharedTableOL())
        list = &m_nonSharedGroups;
    else if (table && table == sharedTableOL())
        list = &m_sharedGroups;
    if (!list || row < 0 || row >= list->size())
        return QString();
    return list->at(row).toMap().value(kABGroupNameProperty).toString();
}

void ABSharingPropController::listsChanged()
{
    m_sharedUids.clear();
    for (const QVariant &reference : std::as_const(m_sharedGroups))
        m_sharedUids.insert(uidOf(reference));
    m_nonSharedModel->reload();
    m_sharedModel->reload();
}

void ABSharingPropController::doSaveDefault()
{
    listsChanged();
    QSettings settings = userDefaults();
    settings.setValue(QString::fromLatin1(sharedGroupsKey()), m_sharedGroups);
    settings.setValue(QString::fromLatin1(nonSharedGroupsKey()), m_nonSharedGroups);
    settings.sync();
    if (settings.status() != QSettings::NoError) {
        systemLog(QStringLiteral("ABSharingPropController: could not write the group lists to %1")
                      .arg(settings.fileName()));
        vCardCommon::alert(tr("Your choice of shared groups could not be saved"),
                           tr("It applies until zorbix quits. Check that %1 is writable and that the disk is "
                              "not full, then change the choice again.")
                               .arg(settings.fileName()));
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
    const int row = selectedRow(nonSharedTableOL());
    if (row < 0 || row >= m_nonSharedGroups.size()) {
        PlatformHooks::current().beep();
    } else {
        m_sharedGroups.append(m_nonSharedGroups.at(row));
        m_nonSharedGroups.removeAt(row);
    }
    doSaveDefault();
}

void ABSharingPropController::doUnshare()
{
    const int row = selectedRow(sharedTableOL());
    if (row < 0 || row >= m_sharedGroups.size()) {
        PlatformHooks::current().beep();
    } else {
        m_nonSharedGroups.append(m_sharedGroups.at(row));
        m_sharedGroups.removeAt(row);
    }
    doSaveDefault();
}

void ABSharingPropController::doShareAll()
{
    if (m_nonSharedGroups.isEmpty())
        PlatformHooks::current().beep();
    m_sharedGroups.append(m_nonSharedGroups);
    m_nonSharedGroups.clear();
    doSaveDefault();
}

void ABSharingPropController::doNonShareAll()
{
    if (m_sharedGroups.isEmpty())
        PlatformHooks::current().beep();
    m_nonSharedGroups.append(m_sharedGroups);
    m_sharedGroups.clear();
    doSaveDefault();
}
