#pragma once

#include <QAbstractTableModel>
#include <QPointer>
#include <QStringList>

class StaticServerController;

// A table of the static server list. Each column shows the entries' values under its identifier
// ("siteServerName", "siteServerIP", "siteServerPort"); the controller answers every cell.
class StaticServerTableModel : public QAbstractTableModel
{
    Q_OBJECT

public:
    // headerData with this role gives the column's identifier.
    static constexpr int ColumnIdentifierRole = Qt::UserRole + 1;

    StaticServerTableModel(StaticServerController *controller, const QStringList &columnIdentifiers,
                           QObject *parent = nullptr);

    QString columnIdentifier(int column) const { return m_columns.value(column); }
    void reloadData();

    int rowCount(const QModelIndex &parent = QModelIndex()) const override;
    int columnCount(const QModelIndex &parent = QModelIndex()) const override;
    QVariant data(const QModelIndex &index, int role = Qt::DisplayRole) const override;
    QVariant headerData(int section, Qt::Orientation orientation, int role = Qt::DisplayRole) const override;

private:
    QPointer<StaticServerController> m_controller;
    QStringList m_columns;
};
