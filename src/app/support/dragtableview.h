#pragma once

#include <QTableView>

class QMimeData;

// The table of the web sharing page: takes files dropped from the desktop and writes each path
// to the system log, one escaped line per file. Drops are accepted as copies, also those that
// carry no paths (they log nothing); the table itself is not changed.
class DragTableView : public QTableView
{
    Q_OBJECT

public:
    explicit DragTableView(QWidget *parent = nullptr);

    // The local paths a drop carries, as the bytes the file system uses.
    static QList<QByteArray> droppedPaths(const QMimeData *mime);
    static void logDrop(const QMimeData *mime);

protected:
    void dragEnterEvent(QDragEnterEvent *event) override;
    void dragMoveEvent(QDragMoveEvent *event) override;
    void dropEvent(QDropEvent *event) override;
};
