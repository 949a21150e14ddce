#include "dragtableview.h"

#include "printabletext.h"
#include "systemlog.h"

#include <QDropEvent>
#include <QMimeData>
#include <QUrl>

DragTableView::DragTableView(QWidget *parent) : QTableView(parent)
{
    setAcceptDrops(true);
    setDragEnabled(false);
    setDragDropMode(QAbstractItemView::DropOnly);
    setDropIndicatorShown(false);
}

QList<QByteArray> DragTableView::droppedPaths(const QMimeData *mime)
{
    QList<QByteArray> paths;
    if (!mime || !mime->hasUrls())
        return paths;
    const QList<QUrl> urls = mime->urls();
    for (const QUrl &url : urls) {
        if (!url.isLocalFile())
            continue;
        // From the encoded form: a name that is not UTF-8 keeps its bytes.
        paths.append(QByteArray::fromPercentEncoding(url.path(QUrl::FullyEncoded).toLatin1()));
    }
    return paths;
}

void DragTableView::logDrop(const QMimeData *mime)
{
    const QList<QByteArray> paths = droppedPaths(mime);
    for (const QByteArray &path : paths)
        systemLog(textFromBytes(path));
}

void DragTableView::dragEnterEvent(QDragEnterEvent *event)
{
    event->setDropAction(Qt::CopyAction);
    event->accept();
}

void DragTableView::dragMoveEvent(QDragMoveEvent *event)
{
    event->setDropAction(Qt::CopyAction);
    event->accept();
}

void DragTableView::dropEvent(QDropEvent *event)
{
    logDrop(event->mimeData());
    event->setDropAction(Qt::CopyAction);
    event->accept();
}
