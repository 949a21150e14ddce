#include "grouptablemodel.h"

#include "absharingpropcontroller.h"

#include <QAbstractItemView>

GroupTableModel::GroupTableModel(const ABSharingPropController *controller, QObject *parent)
    : QAbstractTableModel(parent), m_controller(controller)
{
}

void GroupTableModel::attach(QAbstractItemView *table)
{
    beginResetModel();
    m_table = table;
    endResetModel();
}

void GroupTableModel::reload()
{
    beginResetModel();
    endResetModel();
}

int GroupTableModel::rowCount(const QModelIndex &parent) const
{
    if (parent.isValid() || !m_table)
        return 0;
    return m_controller->numberOfRowsInTableView(m_table);
}

int GroupTableModel::columnCount(const QModelIndex &parent) const
{
    return parent.isValid() ? 0 : 1;
}

QVariant GroupTableModel::data(const QModelIndex &index, int role) const
{
    if (role != Qt::DisplayRole || !index.isValid() || !m_table)
        return QVariant();
    return m_controller->tableViewObjectValue(m_table, index.column(), index.row());
}

QVariant GroupTableModel::headerData(int section, Qt::Orientation orientation, int role) const
{
    if (role != Qt::DisplayRole || orientation != Qt::Horizontal || section != 0)
        return QVariant();
    return tr("Group");
}
