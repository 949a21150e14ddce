#include "abbrowsertablemodel.h"

#include "abbrowsercontroller.h"

#include <QAbstractItemView>
#include <QTextDocument>

ABBrowserTableModel::ABBrowserTableModel(const ABBrowserController *controller, const QStringList &headers,
                                         QObject *parent)
    : QAbstractTableModel(parent), m_controller(controller), m_headers(headers)
{
}

void ABBrowserTableModel::attach(QAbstractItemView *table, QAbstractItemModel *shownThrough)
{
    beginResetModel();
    m_table = table;
    endResetModel();
    table->setModel(shownThrough ? shownThrough : this);
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
    if (!index.isValid() || !m_table)
        return QVariant();
    if (role == SearchRole)
        return m_controller->searchTextOfRow(index.row());
    if (role != Qt::DisplayRole && role != Qt::ToolTipRole)
        return QVariant();
    // The column's position is its identifier: 0 the property, 1 the value.
    const QString text = m_controller->tableViewObjectValue(m_table, index.column(), index.row());
    // A tooltip would take a peer's "<b>" as markup.
    return role == Qt::ToolTipRole ? Qt::convertFromPlainText(text) : text;
}

QVariant ABBrowserTableModel::headerData(int section, Qt::Orientation orientation, int role) const
{
    if (role != Qt::DisplayRole || orientation != Qt::Horizontal || section < 0 ||
        section >= m_headers.size())
        return QVariant();
    return m_headers.at(section);
}
