#include "pageswap.h"
#include "recordingplatform.h"
#include "toolbar.h"
#include "vcardsharingcontroller.h"
#include "viewerwindow.h"

#include <QtTest>

namespace {
const QString kIllegal = QStringLiteral("ViewerWindow->adoptView: Illegal View ID!");
const QString kSep = Toolbar::SeparatorItemIdentifier;
} // namespace

class TestMainWindow : public QObject
{
    Q_OBJECT

private slots:
    void init() { QSettings().clear(); }
    void adoptViewKeepsTopEdge();
    void savedToolbarIsCleanedAtStart();
};

void TestMainWindow::adoptViewKeepsTopEdge()
{
    RecordingPlatform platform;
    vCardSharingController controller;
    ViewerWindow *window = controller.window();
    window->move(100, 120);
    window->show();
    QVERIFY(QTest::qWaitForWindowExposed(window));
    controller.adoptView(1);
    QTest::qWait(250);
    const QRect first = window->geometry();
    // Unknown pages are logged and change nothing.
    controller.adoptView(0);
    controller.adoptView(7); // the controller has six pages, the window seven
    window->adoptView(8);
    QCOMPARE(platform.logLines, (QStringList{kIllegal, kIllegal, kIllegal}));
    QCOMPARE(window->geometry(), first);
    QCOMPARE(window->centralWidget(), controller.view(1));

    // The window's own seventh page, in itself; then back to the first, whose page is alive.
    window->adoptView(7);
    QTRY_COMPARE(window->centralWidget(), window->page(7));
    QTRY_COMPARE(window->geometry().topLeft(), first.topLeft());
    window->adoptView(1);
    QTRY_COMPARE(window->geometry(), first);
    QCOMPARE(window->centralWidget(), controller.view(1));

    // In another window, which takes the page's size below its own top edge.
    QMainWindow other;
    other.setGeometry(300, 200, 200, 100);
    other.show();
    QVERIFY(QTest::qWaitForWindowExposed(&other));
    const QRect before = other.geometry();
    window->adoptView(6, &other);
    QTRY_COMPARE(other.centralWidget(), controller.view(6));
    QTRY_COMPARE(other.geometry(), QRect(before.topLeft(), designedPageSize(controller.view(6))));
    // Shown there, the page can come back home.
    window->adoptView(6);
    QTRY_COMPARE(window->centralWidget(), controller.view(6));
    QCOMPARE(platform.logLines.size(), 3);
}

// A saved arrangement of unknown, doubled or unreachable items is cleaned at start.
void TestMainWindow::savedToolbarIsCleanedAtStart()
{
    QSettings().setValue(u"toolbar-demo/items"_qs,
                         QStringList{u"userManager"_qs, u"macShare"_qs, u"bogus"_qs, u"macShare"_qs, kSep, kSep,
                                     Toolbar::SpaceItemIdentifier});
    vCardSharingController sanitized;
    QCOMPARE(sanitized.toolbar()->itemIdentifiers(),
             (QStringList{u"macShare"_qs, kSep, kSep, Toolbar::SpaceItemIdentifier}));
}

QTEST_MAIN(TestMainWindow)
#include "tst_mainwindow.moc"
