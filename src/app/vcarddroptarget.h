#pragma once

#include <QObject>
#include <QStringList>

#include <memory>

class QMimeData;
class QWidget;

// Lets a widget take vCard files dragged from a file manager: while they are dragged over it the
// widget shows that it takes them, and a drop hands them on (filesDropped) once the drag has
// ended, so that a long import never holds up the program the files came from.
class VCardDropTarget : public QObject
{
    Q_OBJECT

public:
    // The widget accepts drops from now on; the target lives as long as the widget.
    explicit VCardDropTarget(QWidget *widget);
    ~VCardDropTarget() override;

    // The local vCard files among dragged data (by file name or by content), empty for none.
    static QStringList vCardFiles(const QMimeData *data);

signals:
    void filesDropped(const QStringList &paths);

protected:
    bool eventFilter(QObject *watched, QEvent *event) override;

private:
    struct Private;
    std::unique_ptr<Private> d;
};
