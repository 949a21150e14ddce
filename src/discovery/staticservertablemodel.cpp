#include "staticservertablemodel.h"

#include "staticservercontroller.h"

StaticServerTableModel::StaticServerTableModel(StaticServerController *controller,
                                               const QStringList &columnIdentifiers, QObject *parent)
    : QAbstractTableModel(parent), m_controller(controller), m_columns(columnIdentifiers)
{
}

void StaticServerTableModel::reloadData()
{
    beginResetModel();
    endResetModel();
}

int StaticServerTableModel::rowCount(const QModelIndex &parent) const
{
    if (parent.isValid() || !m_controller)
        return 0;
    return m_controller->numberOfRowsInTableView();
}

int StaticServerTableModel::columnCount(const QModelIndex &parent) const
{
    return parent.isValid() ? 0 : int(m_columns.size());
}

QVariant StaticServerTableModel::data(const QModelIndex &index, int role) const
{
    if (!m_controller || !index.isValid() || (role != Qt::DisplayRole && role != Qt::ToolTipRole))
        return {};
    return m_controller->objectValueForTableColumn(m_columns.value(index.column()), index.row());
}

QVariant StaticServerTableModel::headerData(int section, Qt::Orientation orientation, int role) const
{
    if (orientation != Qt::Horizontal || section < 0 || section >= m_columns.size())
        return QAbstractTableModel::headerData(section, orientation, role);
    const QString &identifier = m_columns[section];
    if (role == ColumnIdentifierRole)
        return identifier;
    if (role != Qt::DisplayRole)
        return {};
    if (identifier == StaticServerController::kServerName)
        return tr("Name");
    if (identifier == StaticServerController::kServerIP)
        return tr("Host");
    if (identifier == StaticServerController::kServerPort)
        return tr("Port");
    return identifier;
}

#include "moc_staticservertablemodel.cpp"
