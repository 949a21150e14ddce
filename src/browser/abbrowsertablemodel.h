#pragma once

#include <QAbstractTableModel>
#include <QPointer>
#include <QStringList>

class ABBrowserController;
class QAbstractItemView;

// One of the two tables of the contact detail window: asks the controller for the rows and cells
// of the table it is attached to, so the controller stays the one owner of what is shown.
class ABBrowserTableModel final : public QAbstractTableModel
{
    Q_OBJECT

public:
    // The text the find field looks in (name table only).
    static constexpr int SearchRole = Qt::UserRole + 1;

    ABBrowserTableModel(const ABBrowserController *controller, const QStringList &headers,
                        QObject *parent = nullptr);

    // The table shows this model, or a proxy over it (sorted, filtered).
    void attach(QAbstractItemView *table, QAbstractItemModel *shownThrough = nullptr);
    void reload();

    int rowCount(const QModelIndex &parent = QModelIndex()) const override;
    int columnCount(const QModelIndex &parent = QModelIndex()) const override;
    QVariant data(const QModelIndex &index, int role = Qt::DisplayRole) const override;
    QVariant headerData(int section, Qt::Orientation orientation, int role = Qt::DisplayRole) const override;

private:
    const ABBrowserController *m_controller;
    QStringList m_headers; // one per column
    QPointer<QAbstractItemView> m_table;
};
