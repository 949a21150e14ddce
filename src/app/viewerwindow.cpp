#include "viewerwindow.h"

#include "pageswap.h"
#include "systemlog.h"
#include "zassert.h"

namespace {
// A plain reference: the window is owned by its controller.
QPointer<ViewerWindow> currentViewerWindow;
} // namespace

ViewerWindow::ViewerWindow(QWidget *parent) : QMainWindow(parent)
{
    setObjectName(QStringLiteral("myWindow"));
}

ViewerWindow::~ViewerWindow() = default;

void ViewerWindow::setCurrentViewerWindow(ViewerWindow *window)
{
    currentViewerWindow = window;
}

ViewerWindow *ViewerWindow::getCurrentViewerWindow()
{
    return currentViewerWindow;
}

void ViewerWindow::setPage(int viewId, QWidget *page)
{
    ZASSERT(viewId >= 1 && viewId <= PageCount);
    m_pages[std::size_t(viewId - 1)] = page;
}

QWidget *ViewerWindow::page(int viewId) const
{
    if (viewId < 1 || viewId > PageCount)
        return nullptr;
    return m_pages[std::size_t(viewId - 1)];
}

void ViewerWindow::adoptView(int viewId)
{
    adoptView(viewId, this);
}

void ViewerWindow::adoptView(int viewId, QMainWindow *window)
{
    QWidget *container = page(viewId);
    if (!container) {
        systemLog(QStringLiteral("ViewerWindow->adoptView: Illegal View ID!"));
        return;
    }
    showPageInWindow(window, container);
}
