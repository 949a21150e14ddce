#include "vcarddroptarget.h"

#include <QDropEvent>
#include <QMimeData>
#include <QMimeDatabase>
#include <QTimer>
#include <QUrl>
#include <QWidget>

namespace {
bool isVCardFile(const QString &path)
{
    if (path.endsWith(QLatin1String(".vcf"), Qt::CaseInsensitive) ||
        path.endsWith(QLatin1String(".vcard"), Qt::CaseInsensitive))
        return true;
    static const QMimeDatabase mimeTypes;
    return mimeTypes.mimeTypeForFile(path).inherits(QStringLiteral("text/vcard"));
}
} // namespace

struct VCardDropTarget::Private
{
    // The answer for the drag in progress: files are looked at once when it enters, not at every
    // move of the mouse.
    const QMimeData *dragged = nullptr;
    bool taken = false;
};

VCardDropTarget::VCardDropTarget(QWidget *widget) : QObject(widget), d(std::make_unique<Private>())
{
    widget->setAcceptDrops(true);
    widget->installEventFilter(this);
}

VCardDropTarget::~VCardDropTarget() = default;

QStringList VCardDropTarget::vCardFiles(const QMimeData *data)
{
    QStringList paths;
    if (!data || !data->hasUrls())
        return paths;
    for (const QUrl &url : data->urls()) {
        if (url.isLocalFile() && isVCardFile(url.toLocalFile()))
            paths.append(url.toLocalFile());
    }
    return paths;
}

bool VCardDropTarget::eventFilter(QObject *watched, QEvent *event)
{
    switch (event->type()) {
    case QEvent::DragEnter:
    case QEvent::DragMove: {
        auto *drag = static_cast<QDragMoveEvent *>(event);
        if (event->type() == QEvent::DragEnter || drag->mimeData() != d->dragged) {
            d->dragged = drag->mimeData();
            d->taken = !vCardFiles(d->dragged).isEmpty();
        }
        if (!d->taken)
            return false;
        // Whatever the source offers, the files are read, never moved away.
        drag->setDropAction(Qt::CopyAction);
        drag->accept();
        return true;
    }
    case QEvent::DragLeave:
        d->dragged = nullptr;
        return false;
    case QEvent::Drop: {
        auto *drop = static_cast<QDropEvent *>(event);
        d->dragged = nullptr;
        const QStringList paths = vCardFiles(drop->mimeData());
        if (paths.isEmpty())
            return false;
        drop->setDropAction(Qt::CopyAction);
        drop->accept();
        QTimer::singleShot(0, this, [this, paths] { emit filesDropped(paths); });
        return true;
    }
    default:
        return QObject::eventFilter(watched, event);
    }
}
