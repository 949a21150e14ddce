#pragma once

#include <QAbstractTableModel>
#include <QStringList>

// The list of files of the web sharing page. It holds one sample row until sharing files on the
// web exists; edits are not kept and rows cannot be dragged out.
class ShareFilesModel : public QAbstractTableModel
{
    Q_OBJECT

public:
    explicit ShareFilesModel(QObject *parent = nullptr);

    int rowCount(const QModelIndex &parent = {}) const override;
    int columnCount(const QModelIndex &parent = {}) const override;
    QVariant data(const QModelIndex &index, int role = Qt::DisplayRole) const override;
    QVariant headerData(int section, Qt::Orientation orientation, int role = Qt::DisplayRole) const override;
    Qt::ItemFlags flags(const QModelIndex &index) const override;
    bool setData(const QModelIndex &index, const QVariant &value, int role = Qt::EditRole) override;
    Qt::DropActions supportedDragActions() const override;

    // What a cell shows by column number: 0 the unchecked box "qq", 1 the file name, any other
    // column "OutOfRange".
    QVariant objectValue(int column, int row, int role) const;

private:
    QList<QStringList> fileNames;
};
