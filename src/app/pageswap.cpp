#include "pageswap.h"

#include <QMainWindow>
#include <QMenuBar>
#include <QPropertyAnimation>
#include <QStatusBar>
#include <QToolBar>

namespace {
const char kDesignedSize[] = "zorbixDesignedPageSize";
constexpr int kAnimationMs = 180;

// Height of what the window shows above and below its content.
int chromeHeight(const QMainWindow *window)
{
    int height = 0;
    // A native menu bar lives outside the window; any other menu widget takes its height.
    if (const QWidget *menu = window->menuWidget(); menu && !menu->isHidden()) {
        const auto *bar = qobject_cast<const QMenuBar *>(menu);
        if (!bar || !bar->isNativeMenuBar())
            height += menu->sizeHint().height();
    }
    for (const QToolBar *bar : window->findChildren<QToolBar *>(QString(), Qt::FindDirectChildrenOnly)) {
        if (!bar->isHidden() && window->toolBarArea(bar) == Qt::TopToolBarArea)
            height += bar->sizeHint().height();
    }
    if (const QStatusBar *status = window->findChild<QStatusBar *>(QString(), Qt::FindDirectChildrenOnly);
        status && !status->isHidden())
        height += status->sizeHint().height();
    return height;
}
} // namespace

QRect adoptedGeometry(const QRect &windowGeometry, const QSize &pageFrame)
{
    return QRect(windowGeometry.topLeft(), pageFrame);
}

QSize designedPageSize(const QWidget *page)
{
    const QSize size = page->property(kDesignedSize).toSize();
    return size.isValid() ? size : page->sizeHint();
}

bool hasDesignedPageSize(const QWidget *page)
{
    return page->property(kDesignedSize).isValid();
}

void setDesignedPageSize(QWidget *page, const QSize &size)
{
    page->setProperty(kDesignedSize, size);
}

void showPageInWindow(QMainWindow *window, QWidget *page)
{
    QWidget *previous = window->centralWidget();
    if (previous != page) {
        if (previous) {
            window->takeCentralWidget();
            previous->hide();
            previous->setParent(nullptr);
        }
        window->setCentralWidget(page);
        page->show();
    }

    const QSize content = designedPageSize(page);
    const QRect target = adoptedGeometry(window->geometry(), QSize(content.width(), content.height() + chromeHeight(window)));
    auto *running = window->findChild<QPropertyAnimation *>(QStringLiteral("zorbixPageAnimation"));
    delete running; // a new page wins over a resize still in progress
    if (!window->isVisible()) {
        window->setGeometry(target);
        return;
    }
    auto *animation = new QPropertyAnimation(window, "geometry", window);
    animation->setObjectName(QStringLiteral("zorbixPageAnimation"));
    animation->setDuration(kAnimationMs);
    animation->setEasingCurve(QEasingCurve::InOutQuad);
    animation->setEndValue(target);
    animation->start(QAbstractAnimation::DeleteWhenStopped);
}
