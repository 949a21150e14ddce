#include "pageswap.h"
#include "recordingplatform.h"
#include "toolbar.h"
#include "toolbarcustomizedialog.h"
#include "toolbaritem.h"
#include "vcardsharingcontroller.h"
#include "viewerwindow.h"

#include <QAction>
#include <QListWidget>
#include <QMenu>
#include <QPushButton>
#include <QToolBar>
#include <QtTest>

namespace {
const QString kIllegal = QStringLiteral("ViewerWindow->adoptView: Illegal View ID!");
const QString kSep = Toolbar::SeparatorItemIdentifier;
const QStringList kDefaultItems = {u"statusView"_qs, kSep, u"macShare"_qs, u"webShare"_qs, u"ABProperties"_qs,
                                   u"serverManager"_qs};

QStringList listIdentifiers(const QListWidget *list)
{
    QStringList ids;
    for (int row = 0; row < list->count(); ++row)
        ids << list->item(row)->data(Qt::UserRole + 1).toString();
    return ids;
}
} // namespace

class TestMainWindow : public QObject
{
    Q_OBJECT

private slots:
    void init() { QSettings().clear(); }
    void startPageToolbarItemsAndTheToolbarAsLeft();
    void adoptViewKeepsTopEdge();
    void customizeDialogPersistsAcrossRestart();
};

void TestMainWindow::startPageToolbarItemsAndTheToolbarAsLeft()
{
    {
        vCardSharingController controller;
        QCOMPARE(ViewerWindow::getCurrentViewerWindow(), controller.window());
        QCOMPARE(vCardSharingController::getSharedSharingController(), &controller);
        QCOMPARE(controller.window()->centralWidget(), controller.view(1));
        const QStringList pages = {u"statusView"_qs,    u"macShare"_qs,      u"webShare"_qs,
                                   u"userManager"_qs, u"serverManager"_qs, u"ABProperties"_qs};
        for (int i = 0; i < pages.size(); ++i) {
            std::unique_ptr<ToolbarItem> item(
                controller.toolbarItemForItemIdentifier(controller.toolbar(), pages[i], true));
            QVERIFY(!item->label().isEmpty() && !item->image().isNull() && item->isEnabled());
            item->trigger();
            QCOMPARE(controller.window()->centralWidget(), controller.view(i + 1));
        }
        // The toolbar's own button switches too.
        controller.toolbar()->widget()->findChild<QAction *>(u"statusView"_qs)->trigger();
        QCOMPARE(controller.window()->centralWidget(), controller.view(1));
        QVERIFY(controller.toolbar()->widget()->isVisibleTo(controller.window()));
        // View > Show or Hide Toolbar: the choice outlives the run.
        controller.window()->findChild<QMenu *>(u"viewMenu"_qs)->actions().first()->trigger();
        QVERIFY(!controller.toolbar()->widget()->isVisibleTo(controller.window()));
    }
    for (bool shown : {false, true}) {
        vCardSharingController restarted;
        QCOMPARE(restarted.toolbar()->widget()->isVisibleTo(restarted.window()), shown);
        restarted.toolbar()->toggleShown();
    }
}

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

    // Page 6 is taller: the window grows downward and takes the page's width.
    const QSize statusPage = designedPageSize(controller.view(1));
    const QSize foldersPage = designedPageSize(controller.view(6));
    QVERIFY(foldersPage.height() > statusPage.height());
    controller.adoptView(6);
    QTRY_COMPARE(window->geometry().height(), first.height() + foldersPage.height() - statusPage.height());
    QCOMPARE(window->geometry().topLeft(), first.topLeft());
    QCOMPARE(window->geometry().width(), foldersPage.width());
    QCOMPARE(window->centralWidget(), controller.view(6));

    // Back to the shorter page: it shrinks upward toward the same top edge; the page replaced
    // before is alive and shows again.
    controller.adoptView(1);
    QTRY_COMPARE(window->geometry(), first);
    QCOMPARE(window->centralWidget(), controller.view(1));

    // The window's own seven pages, the seventh among them, in itself.
    window->adoptView(7);
    QTRY_COMPARE(window->centralWidget(), window->page(7));
    QTRY_COMPARE(window->geometry().topLeft(), first.topLeft());
    window->adoptView(1);
    QTRY_COMPARE(window->geometry(), first);
    QCOMPARE(platform.logLines.size(), 3);

    // And in another window, which takes the page's size below its own top edge.
    QMainWindow other;
    other.setGeometry(300, 200, 200, 100);
    other.show();
    QVERIFY(QTest::qWaitForWindowExposed(&other));
    const QRect before = other.geometry();
    window->adoptView(6, &other);
    QTRY_COMPARE(other.centralWidget(), controller.view(6));
    QTRY_COMPARE(other.geometry(), QRect(before.topLeft(), foldersPage));
    // Shown there, the page can come back home.
    window->adoptView(6);
    QTRY_COMPARE(window->centralWidget(), controller.view(6));
}

void TestMainWindow::customizeDialogPersistsAcrossRestart()
{
    const QStringList arranged = {u"statusView"_qs, kSep, u"macShare"_qs, u"serverManager"_qs,
                                  u"ABProperties"_qs, Toolbar::FlexibleSpaceItemIdentifier};
    {
        vCardSharingController controller;
        controller.toolbar()->runCustomizationPalette();
        auto *dialog = controller.window()->findChild<ToolbarCustomizeDialog *>();
        QVERIFY(dialog);
        auto *available = dialog->findChild<QListWidget *>(u"availableListOL"_qs);
        auto *current = dialog->findChild<QListWidget *>(u"currentListOL"_qs);
        // Five pages (no "User Mngmt.", page 4 is never reachable) and the four standard items.
        QCOMPARE(available->count(), 9);
        QVERIFY(!listIdentifiers(available).contains(u"userManager"_qs));
        QCOMPARE(listIdentifiers(current), kDefaultItems);

        auto click = [dialog](const char *name) {
            dialog->findChild<QPushButton *>(QString::fromLatin1(name))->click();
        };
        current->setCurrentRow(3); // webShare
        click("removeButtonOL");
        current->setCurrentRow(4); // serverManager
        click("upButtonOL");
        // A page item already on the toolbar cannot be added twice.
        available->setCurrentRow(0);
        QVERIFY(!dialog->findChild<QPushButton *>(u"addButtonOL"_qs)->isEnabled());
        current->setCurrentRow(current->count() - 1);
        available->setCurrentRow(available->count() - 3); // flexible space
        click("addButtonOL");
        QCOMPARE(dialog->arrangement(), arranged);
        // The toolbar changes only when the dialog is accepted.
        QCOMPARE(controller.toolbar()->itemIdentifiers(), kDefaultItems);
        dialog->accept();
        QCOMPARE(controller.toolbar()->itemIdentifiers(), arranged);
        QVERIFY(!controller.toolbar()->widget()->findChild<QAction *>(u"webShare"_qs));
    }
    {
        vCardSharingController restarted;
        QCOMPARE(restarted.toolbar()->itemIdentifiers(), arranged);
        restarted.toolbar()->runCustomizationPalette();
        auto *dialog = restarted.window()->findChild<ToolbarCustomizeDialog *>();
        dialog->findChild<QPushButton *>(u"defaultsButtonOL"_qs)->click();
        dialog->accept();
        QCOMPARE(restarted.toolbar()->itemIdentifiers(), kDefaultItems);
    }
    // A saved arrangement of unknown, doubled or unreachable items is cleaned at start.
    QSettings().setValue(u"toolbar-demo/items"_qs,
                         QStringList{u"userManager"_qs, u"macShare"_qs, u"bogus"_qs, u"macShare"_qs, kSep, kSep,
                                     Toolbar::SpaceItemIdentifier});
    vCardSharingController sanitized;
    QCOMPARE(sanitized.toolbar()->itemIdentifiers(),
             (QStringList{u"macShare"_qs, kSep, kSep, Toolbar::SpaceItemIdentifier}));
}

QTEST_MAIN(TestMainWindow)
#include "tst_mainwindow.moc"
