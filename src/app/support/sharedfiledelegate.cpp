#include "sharedfiledelegate.h"

#include "dragtableview.h"
#include "sharefilesmodel.h"
#include "ui_sharedfiledelegate.h"

#include <QDropEvent>
#include <QHeaderView>

struct sharedFileDelegate::Private
{
    Ui::SharedFileDelegate ui;
    ShareFilesModel *model = nullptr;
};

sharedFileDelegate::sharedFileDelegate(QWidget *parent) : QWidget(parent), d(std::make_unique<Private>())
{
    d->ui.setupUi(this);
    d->model = new ShareFilesModel(this);
    d->ui.fileTableOL->setModel(d->model);
    d->ui.fileTableOL->horizontalHeader()->setStretchLastSection(true);
    setAcceptDrops(true);
}

sharedFileDelegate::~sharedFileDelegate() = default;

DragTableView *sharedFileDelegate::fileTableOL() const
{
    return d->ui.fileTableOL;
}
QTableView *sharedFileDelegate::detailTableOL() const
{
    return d->ui.detailTableOL;
}
ShareFilesModel *sharedFileDelegate::model() const
{
    return d->model;
}

void sharedFileDelegate::dragEnterEvent(QDragEnterEvent *event)
{
    event->setDropAction(Qt::CopyAction);
    event->accept();
}

void sharedFileDelegate::dropEvent(QDropEvent *event)
{
    event->setDropAction(Qt::CopyAction);
    event->accept();
}
