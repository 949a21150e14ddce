#include "sharefilesmodel.h"

ShareFilesModel::ShareFilesModel(QObject *parent) : QAbstractTableModel(parent)
{
    fileNames.append({QStringLiteral("yes!"), QStringLiteral("fileName")});
}

int ShareFilesModel::rowCount(const QModelIndex &parent) const
{
    return parent.isValid() ? 0 : int(fileNames.size());
}

int ShareFilesModel::columnCount(const QModelIndex &parent) const
{
    return parent.isValid() ? 0 : 2;
}

QVariant ShareFilesModel::objectValue(int column, int row, int role) const
{
    if (row < 0 || row >= fileNames.size())
        return {};
    if (column == 0) {
        if (role == Qt::CheckStateRole)
            return Qt::Unchecked;
        return role == Qt::DisplayRole ? QVariant(QStringLiteral("qq")) : QVariant();
    }
    if (role != Qt::DisplayRole)
        return {};
    if (column == 1)
        return fileNames[row].value(1);
    return QStringLiteral("OutOfRange");
}

QVariant ShareFilesModel::data(const QModelIndex &index, int role) const
{
    return index.isValid() ? objectValue(index.column(), index.row(), role) : QVariant();
}

QVariant ShareFilesModel::headerData(int section, Qt::Orientation orientation, int role) const
{
    if (orientation != Qt::Horizontal || role != Qt::DisplayRole)
        return QAbstractTableModel::headerData(section, orientation, role);
    return section == 0 ? tr("Shared") : tr("File");
}

Qt::ItemFlags ShareFilesModel::flags(const QModelIndex &index) const
{
    if (!index.isValid())
        return Qt::ItemIsDropEnabled;
    const Qt::ItemFlags base = Qt::ItemIsEnabled | Qt::ItemIsSelectable;
    return index.column() == 0 ? base | Qt::ItemIsUserCheckable : base | Qt::ItemIsEditable;
}

bool ShareFilesModel::setData(const QModelIndex &, const QVariant &, int)
{
    return false;
}

Qt::DropActions ShareFilesModel::supportedDragActions() const
{
    return Qt::IgnoreAction;
}
