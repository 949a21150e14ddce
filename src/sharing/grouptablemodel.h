#pragma once

#include <QAbstractTableModel>
#include <QPointer>

class ABSharingPropController;
class QAbstractItemView;

// Shows one of the group lists of ABSharingPropController: it asks the controller for the rows
// of the table it is attached to, so the controller stays the one owner of the lists.
class GroupTableModel final : public QAbstractTableModel
{
    Q_OBJECT

public:
    GroupTableModel(const ABSharingPropController *controller, QObject *parent = nullptr);

    void attach(QAbstractItemView *table);
    void reload();

    int rowCount(const QModelIndex &parent = QModelIndex()) const override;
    int columnCount(const QModelIndex &parent = QModelIndex()) const override;
    QVariant data(const QModelIndex &index, int role = Qt::DisplayRole) const override;
    QVariant headerData(int section, Qt::Orientation orientation, int role = Qt::DisplayRole) const override;

private:
    const ABSharingPropController *m_controller;
    QPointer<QAbstractItemView> m_table;
};
