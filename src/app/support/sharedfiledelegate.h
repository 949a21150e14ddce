#pragma once

#include <QWidget>

#include <memory>

class DragTableView;
class QTableView;
class ShareFilesModel;

// The web sharing page: the file table, which takes dropped files, and the detail table. Drops
// on the page around the tables are accepted and change nothing.
class sharedFileDelegate : public QWidget
{
    Q_OBJECT

public:
    explicit sharedFileDelegate(QWidget *parent = nullptr);
    ~sharedFileDelegate() override;

    DragTableView *fileTableOL() const;
    QTableView *detailTableOL() const;
    ShareFilesModel *model() const;

protected:
    void dragEnterEvent(QDragEnterEvent *event) override;
    void dropEvent(QDropEvent *event) override;

private:
    struct Private;
    std::unique_ptr<Private> d;
};
