#pragma once

#include <QRect>
#include <QSize>

class QMainWindow;
class QWidget;

// Swapping a window's page: the window takes the page's size while its left and top edges stay
// where they are, so a taller page grows the window downward and a shorter one shrinks it upward.

// The window geometry (Qt coordinates, y growing downward) for a page whose frame is pageFrame.
QRect adoptedGeometry(const QRect &windowGeometry, const QSize &pageFrame);

// The size a page was laid out with; the window's frame around it adds the menu and toolbars.
QSize designedPageSize(const QWidget *page);
void setDesignedPageSize(QWidget *page, const QSize &size);
bool hasDesignedPageSize(const QWidget *page);

// Makes the page the window's content, resizing the window (animated when it is on screen). The
// page that was shown before is kept alive, hidden and without a parent, so that its owner can
// show it again.
void showPageInWindow(QMainWindow *window, QWidget *page);
