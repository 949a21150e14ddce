#include "staticservercontroller.h"

#include "settingssync.h"
#include "staticservertablemodel.h"
#include "systemlog.h"
#include "ui_addstaticwindow.h"
#include "ui_staticserverprefs.h"
#include "vcardcommon.h"
#include "zassert.h"

#include <QDialog>
#include <QHeaderView>
#include <QHostInfo>
#include <QItemSelectionModel>
#include <QLineEdit>
#include <QPushButton>
#include <QSettings>
#include <QTableView>

#include <limits>

const QString StaticServerController::kSiteListKey = QStringLiteral("zorbixSiteList");
const QString StaticServerController::kServerName = QStringLiteral("siteServerName");
const QString StaticServerController::kServerIP = QStringLiteral("siteServerIP");
const QString StaticServerController::kServerPort = QStringLiteral("siteServerPort");
const QString StaticServerController::kNoValue = QStringLiteral("- no value -");
const QString StaticServerController::kUnknownValue = QStringLiteral("???");

namespace {
StaticServerController *theSharedInstance = nullptr;

void watchSortClicks(StaticServerController *controller, QTableView *table)
{
    QHeaderView *header = table->horizontalHeader();
    header->setSectionsClickable(true);
    header->setSortIndicatorShown(true);
    header->setSortIndicator(-1, Qt::AscendingOrder);
    // The indicator moves; the rows never do (sorting stays off on the view).
    QObject::connect(header, &QHeaderView::sortIndicatorChanged, controller,
                     [controller, table] { controller->tableViewSortDescriptorsDidChange(table); });
}
} // namespace

StaticServerController::StaticServerController(QObject *parent) : QObject(parent)
{
    preferencesViewOL = new QWidget;
    Ui::StaticServerPrefs prefs;
    prefs.setupUi(preferencesViewOL);
    serversTableOL = prefs.serversTableOL;
    removeButtonOL = prefs.removeButtonOL;
    addButtonOL = prefs.addButtonOL;
    clearButtonOL = prefs.clearButtonOL;

    addStaticWindowOL = new QDialog;
    Ui::AddStaticWindow add;
    add.setupUi(addStaticWindowOL);
    serverNameOL = add.serverNameOL;
    serverIPOL = add.serverIPOL;
    serverPortOL = add.serverPortOL;
    assignServerButtonOL = add.assignServerButtonOL;

    staticServerShareBrowserTableOL = new QTableView;
    staticServerShareBrowserTableOL->setObjectName(QStringLiteral("staticServerShareBrowserTableOL"));
    staticServerShareBrowserTableOL->setSelectionMode(QAbstractItemView::SingleSelection);
    staticServerShareBrowserTableOL->setSelectionBehavior(QAbstractItemView::SelectRows);
    staticServerShareBrowserTableOL->setEditTriggers(QAbstractItemView::NoEditTriggers);
    staticServerShareBrowserTableOL->verticalHeader()->setVisible(false);
    staticServerShareBrowserTableOL->horizontalHeader()->setStretchLastSection(true);
    serversTableOL->setEditTriggers(QAbstractItemView::NoEditTriggers);

    // The models are ours, not the views': a window that holds a view may destroy it.
    serversModel = new StaticServerTableModel(this, {kServerName, kServerIP, kServerPort}, this);
    serversTableOL->setModel(serversModel);
    browserModel = new StaticServerTableModel(this, {kServerName}, this);
    staticServerShareBrowserTableOL->setModel(browserModel);
    watchSortClicks(this, serversTableOL);
    watchSortClicks(this, staticServerShareBrowserTableOL);

    connect(addButtonOL, &QPushButton::clicked, this, &StaticServerController::doOpenAddWindow);
    connect(removeButtonOL, &QPushButton::clicked, this, &StaticServerController::doRemoveServer);
    connect(clearButtonOL, &QPushButton::clicked, this, &StaticServerController::doClearServerList);
    connect(assignServerButtonOL, &QPushButton::clicked, this, &StaticServerController::doAssignServer);
    connect(add.cancelButtonOL, &QPushButton::clicked, addStaticWindowOL.data(), &QDialog::reject);
    for (QLineEdit *field : {serverNameOL, serverIPOL, serverPortOL})
        connect(field, &QLineEdit::textChanged, this, [this, field] { doUpdateControls(field); });
    connect(serversTableOL->selectionModel(), &QItemSelectionModel::selectionChanged, this,
            [this] { doUpdateControls(serversTableOL); });

    loadFromDefaults();
    doUpdateControls(serverNameOL);
    doUpdateControls(serversTableOL);
    theSharedInstance = this;
}

StaticServerController::~StaticServerController()
{
    if (theSharedInstance == this)
        theSharedInstance = nullptr;
    // Widgets nobody placed are still ours.
    if (preferencesViewOL && !preferencesViewOL->parent())
        delete preferencesViewOL.data();
    if (staticServerShareBrowserTableOL && !staticServerShareBrowserTableOL->parent())
        delete staticServerShareBrowserTableOL.data();
    delete addStaticWindowOL.data();
}

StaticServerController *StaticServerController::sharedInstance()
{
    ZASSERT(nullptr != theSharedInstance);
    return theSharedInstance;
}

void StaticServerController::loadFromDefaults()
{
    QSettings settings;
    const QVariant stored = settings.value(kSiteListKey);
    sitesList = stored.isValid() ? stored.toList() : QVariantList();
    reloadAllTables();
}

bool StaticServerController::saveToDefaults()
{
    QSettings settings;
    settings.setValue(kSiteListKey, sitesList);
    if (syncSettings(settings))
        return true;
    systemLog(QStringLiteral("StaticServerController: could not write the server list to %1")
                  .arg(settings.fileName()));
    vCardCommon::alert(vCardCommon::getLocMsg(QStringLiteral("SS_SaveFailedProblem")),
                       vCardCommon::getLocMsg(QStringLiteral("SS_SaveFailedHint")).arg(settings.fileName()));
    return false;
}

void StaticServerController::reloadAllTables()
{
    serversModel->reloadData();
    browserModel->reloadData();
}

QWidget *StaticServerController::preferencesView() const
{
    return preferencesViewOL;
}

QDialog *StaticServerController::addStaticWindow() const
{
    return addStaticWindowOL;
}

QTableView *StaticServerController::serversTable() const
{
    return serversTableOL;
}

QTableView *StaticServerController::getStaticServerBrowserTable() const
{
    return staticServerShareBrowserTableOL;
}

StaticServerTableModel *StaticServerController::serversTableModel() const
{
    return serversModel;
}

StaticServerTableModel *StaticServerController::browserTableModel() const
{
    return browserModel;
}

void StaticServerController::doOpenAddWindow()
{
    // Not parented to the Preferences window: the add window and its fields are ours and must
    // outlive any window that shows the server table.
    addStaticWindowOL->setWindowModality(Qt::ApplicationModal);
    doUpdateControls(serverNameOL);
    addStaticWindowOL->open();
}

void StaticServerController::doAssignServer()
{
    QVariantMap entry;
    entry.insert(kServerName, serverNameOL->text());
    entry.insert(kServerIP, serverIPOL->text());
    entry.insert(kServerPort, serverPortOL->text());
    sitesList.append(entry);
    saveToDefaults();
    reloadAllTables();
    addStaticWindowOL->close();
    doUpdateControls(serversTableOL);
    emit doFillSharesMenu(this);
}

void StaticServerController::doRemoveServer()
{
    const int row = selectedRow(serversTableOL);
    if (row < 0 || row >= sitesList.size()) {
        systemLog(QStringLiteral("StaticServerController: No rows selected!"));
        return;
    }
    sitesList.removeAt(row);
    changed();
}

void StaticServerController::doClearServerList()
{
    sitesList.clear();
    changed();
}

void StaticServerController::changed()
{
    saveToDefaults();
    reloadAllTables();
    doUpdateControls(serversTableOL);
    emit doFillSharesMenu(this);
}

void StaticServerController::doUpdateControls(QObject *control)
{
    if (control == serverNameOL || control == serverIPOL || control == serverPortOL) {
        assignServerButtonOL->setEnabled(!serverNameOL->text().isEmpty() && !serverIPOL->text().isEmpty() &&
                                         !serverPortOL->text().isEmpty());
    } else if (control == serversTableOL) {
        removeButtonOL->setEnabled(selectedRow(serversTableOL) >= 0);
    }
}

int StaticServerController::selectedRow(const QTableView *table) const
{
    if (!table || !table->selectionModel())
        return -1;
    const QModelIndexList rows = table->selectionModel()->selectedRows();
    return rows.isEmpty() ? -1 : rows.first().row();
}

void StaticServerController::tableViewSortDescriptorsDidChange(QTableView *)
{
    // Whichever table was clicked, the browse view's static table holds the descriptor read here.
    if (!staticServerShareBrowserTableOL)
        return;
    const QHeaderView *header = staticServerShareBrowserTableOL->horizontalHeader();
    const int section = header->sortIndicatorSection();
    if (!header->isSortIndicatorShown() || section < 0 || section >= header->count())
        return;
    const QString key =
        staticServerShareBrowserTableOL->model()
            ->headerData(section, Qt::Horizontal, StaticServerTableModel::ColumnIdentifierRole)
            .toString();
    if (key != kServerName)
        systemLog(QStringLiteral("[SSC] Internal inconsistency."));
    reloadAllTables();
}

int StaticServerController::numberOfRowsInTableView() const
{
    return int(sitesList.size());
}

QString StaticServerController::objectValueForTableColumn(const QString &columnIdentifier, int row) const
{
    if (row < 0 || row >= sitesList.size())
        return kNoValue;
    ZPARAMETER_ASSERT(!columnIdentifier.isEmpty());
    const QVariantMap entry = sitesList.at(row).toMap();
    const auto it = entry.constFind(columnIdentifier);
    if (it == entry.constEnd())
        return kUnknownValue;
    return it->toString();
}

QStringList StaticServerController::listOfSiteNames() const
{
    QStringList names;
    for (const QVariant &entry : sitesList)
        names.append(entry.toMap().value(kServerName).toString());
    return names;
}

quint16 StaticServerController::portFromText(const QString &text)
{
    qsizetype i = 0;
    while (i < text.size() && text.at(i).isSpace())
        ++i;
    bool negative = false;
    if (i < text.size() && (text.at(i) == u'-' || text.at(i) == u'+')) {
        negative = text.at(i) == u'-';
        ++i;
    }
    // Saturates at the 32-bit range, as the integer value of a text does.
    const qint64 limit =
        negative ? qint64(std::numeric_limits<qint32>::max()) + 1 : std::numeric_limits<qint32>::max();
    qint64 value = 0;
    for (; i < text.size() && text.at(i) >= u'0' && text.at(i) <= u'9'; ++i)
        value = qMin(limit, value * 10 + (text.at(i).unicode() - u'0'));
    const qint64 signedValue = negative ? -value : value;
    return quint16(quint64(signedValue) & 0xFFFFu);
}

std::optional<SocketAddress> StaticServerController::getAddressForName(const QString &name) const
{
    for (const QVariant &item : sitesList) {
        const QVariantMap entry = item.toMap();
        if (entry.value(kServerName).toString() != name)
            continue;
        const QString host = entry.value(kServerIP).toString().trimmed();
        if (host.isEmpty())
            continue;
        const QHostInfo info = QHostInfo::fromName(host);
        if (info.error() != QHostInfo::NoError)
            continue;
        // The exchange connects over IPv4.
        for (const QHostAddress &address : info.addresses()) {
            if (address.protocol() == QAbstractSocket::IPv4Protocol)
                return SocketAddress(address, portFromText(entry.value(kServerPort).toString()));
        }
    }
    vCardCommon::alertKeys("BR_DNSError", "BR_DNSErrorHint");
    return std::nullopt;
}

bool StaticServerController::isServerInShareBrowserSelected() const
{
    return selectedRow(staticServerShareBrowserTableOL) >= 0;
}

void StaticServerController::deselectStaticServerInBrowserTable()
{
    if (staticServerShareBrowserTableOL)
        staticServerShareBrowserTableOL->clearSelection();
}

QString StaticServerController::getServerNameUsingIndex(int row) const
{
    if (row < 0 || row >= sitesList.size())
        return {};
    return sitesList.at(row).toMap().value(kServerName).toString();
}

#include "moc_staticservercontroller.cpp"
