#pragma once

#include <QMainWindow>
#include <QPointer>

#include <array>

// The main window. It knows its own seven pages (view IDs 1 to 7) and can show them in itself or
// in another window; the process keeps one current viewer window for the page switches.
class ViewerWindow : public QMainWindow
{
    Q_OBJECT

public:
    static constexpr int PageCount = 7;

    explicit ViewerWindow(QWidget *parent = nullptr);
    ~ViewerWindow() override;

    static void setCurrentViewerWindow(ViewerWindow *window);
    static ViewerWindow *getCurrentViewerWindow();

    // Connects one of the seven page outlets (view1OL ... view7OL).
    void setPage(int viewId, QWidget *page);
    QWidget *page(int viewId) const;

    void adoptView(int viewId);
    void adoptView(int viewId, QMainWindow *window);

private:
    std::array<QPointer<QWidget>, PageCount> m_pages;
};
