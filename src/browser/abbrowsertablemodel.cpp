#include "abbrowsertablemodel.h"

#include "abbrowsercontroller.h"

#include <QAbstractItemView>

ABBrowserTableModel::ABBrowserTableModel(const ABBrowserController *controller, const QStringList &headers,
                                         QObject *parent)
    : QAbstractTableModel(parent), m_controller(controller), m_headers(headers)
{
}

void ABBrowserTableModel::attach(QAbstractItemView *table)
{
    beginResetModel();
    m_table = table;
    endResetModel();
    table->setModel(this);
}

void ABBrowserTableModel::reload()
{
    beginResetModel();
    endResetModel();
}

int ABBrowserTableModel::rowCount(const QModelIndex &parent) const
{
    if (parent.isValid() || !m_table)
        return 0;
    return m_controller->numberOfRowsInTableView(m_table);
}

int ABBrowserTableModel::columnCount(const QModelIndex &parent) const
{
    return parent.isValid() ? 0 : static_cast<int>(m_headers.size());
}

QVariant ABBrowserTableModel::data(const QModelIndex &index, int role) const
{
    if ((role != Qt::DisplayRole && role != Qt::ToolTipRole) || !index.isValid() || !m_table)
        return QVariant();
    // The column's position is its identifier: 0 the property, 1 the value.
    return m_controller->tableViewObjectValue(m_table, index.column(), index.row());
}

QVariant ABBrowserTableModel::headerData(int section, Qt::Orientation orientation, int role) const
{
    if (role != Qt::DisplayRole || orientation != Qt::Horizontal || section < 0 ||
        section >= m_headers.size())
        return QVariant();
    return m_headers.at(section);
}
