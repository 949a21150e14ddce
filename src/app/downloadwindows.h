#pragma once

#include <QObject>

#include <memory>

class QMenu;
class vCardBrowserController;

// The windows that work on the records of the last download: contact detail, quick sync and
// export. They hang off the browse window, which refreshes them after every download, and are
// reached from the menus.
class DownloadWindows : public QObject
{
    Q_OBJECT

public:
    explicit DownloadWindows(vCardBrowserController *browser, QObject *parent = nullptr);
    ~DownloadWindows() override;

    // File: the two exports; View: the detail and quick sync windows.
    void addMenuItems(QMenu *fileMenu, QMenu *viewMenu);

public slots:
    void showContactDetail();
    void showQuickSync();
    void showExport();
    void exportVCards();

private:
    struct Private;
    std::unique_ptr<Private> d;
};
