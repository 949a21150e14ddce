#include "contactcontroller.h"
#include "dragtableview.h"
#include "makersite.h"
#include "recordingplatform.h"
#include "reviewwindow.h"
#include "sharedfiledelegate.h"
#include "sharefilesmodel.h"
#include "vcardcommon.h"
#include "vcardsharingcontroller.h"
#include "viewerwindow.h"

#include <QApplication>
#include <QComboBox>
#include <QMenu>
#include <QMimeData>
#include <QPushButton>
#include <QtTest>

class TestSupportWindows : public QObject
{
    Q_OBJECT

private slots:
    void init()
    {
        QSettings().clear();
        qputenv("ZORBIX_MAKER_SITE", "https://www.quenfold.test/");
    }
    void makerSiteFromEnvironmentOrSetting();
    void fixedLinksAndContactButtons();
    void reviewMail();
    void droppedFilesAreLoggedOneLineEach();
    void mainWindowReachesTheSupportWindows();
};

void TestSupportWindows::makerSiteFromEnvironmentOrSetting()
{
    RecordingPlatform platform;
    QCOMPARE(MakerSite::page(u"/zorbix.htm"_qs), u"https://www.quenfold.test/zorbix.htm"_qs);
    qunsetenv("ZORBIX_MAKER_SITE");
    QCOMPARE(MakerSite::site(), u"https://www.quenfold.com"_qs);
    QSettings().setValue(MakerSite::settingsKey(), u"http://example.net:8080"_qs);
    QCOMPARE(MakerSite::page(u"/"_qs), u"http://example.net:8080/"_qs);
    QCOMPARE(MakerSite::salesAddress(), u"sales@example.net"_qs);
    // Every link would hand this to the desktop: not taken.
    qputenv("ZORBIX_MAKER_SITE", "file:///etc/passwd");
    QCOMPARE(MakerSite::site(), u"https://www.quenfold.com"_qs);
    QCOMPARE(platform.logLines.size(), 1);
}

void TestSupportWindows::fixedLinksAndContactButtons()
{
    RecordingPlatform platform;
    vCardCommon::openZorbixHomepage();
    vCardCommon::openQuenfoldHomepage();
    vCardCommon::emailQuenfold();
    ContactController contact;
    contact.window()->show();
    for (QPushButton *button : contact.buttons())
        button->click();
    const QStringList expected = {
        u"https://www.quenfold.test/zorbix.htm"_qs,
        u"https://www.quenfold.test/"_qs,
        u"mailto:feedback@quenfold.test?subject=Feeback%20zorbix%201.1.1"_qs,
        u"mailto:feedback@quenfold.test?subject=zorbix-1-1-1"_qs,
        u"https://www.quenfold.test/"_qs,
        u"mailto:sales@quenfold.test?subject=zorbix-1-1-1"_qs,
        u"https://www.quenfold.test/orders.htm"_qs,
        u"mailto:support@quenfold.test?subject=zorbix-1-1-1"_qs,
        u"https://www.quenfold.test/support.htm"_qs,
    };
    QCOMPARE(platform.openedUrls.size(), expected.size());
    for (qsizetype i = 0; i < expected.size(); ++i)
        QCOMPARE(platform.openedUrls[i].toString(QUrl::FullyEncoded), expected[i]);
    QCOMPARE(platform.beeps, 0);
    contact.doHandleButton(&contact); // not one of the six
    QCOMPARE(platform.beeps, 1);
}

void TestSupportWindows::reviewMail()
{
    RecordingPlatform platform;
    ReviewWindow review;
    review.revWindowOL()->show();
    review.revGUIListOL()->setCurrentIndex(1);
    review.revStabListOL()->setCurrentIndex(2);
    review.sendEmailReview();
    QCOMPARE(platform.openedUrls.size(), 1);
    QCOMPARE(platform.openedUrls.first(), QUrl(u"mailto:feedback@quenfold.test?subject='REVIEW:zorbix=1.1.1,"
                                               u"GUI=Good,Funt=Excellent,Ease=Excellent,"
                                               "Stab=Average'&body=Please%20comment%20here!"_qs,
                                               QUrl::StrictMode));
    QVERIFY(!review.revWindowOL()->isVisible());
    QCOMPARE(platform.beeps, 0);

    // A title with a blank makes no URL: a beep, and the window closes all the same.
    review.revWindowOL()->show();
    review.revEaseListOL()->addItem(u"Very easy"_qs);
    review.revEaseListOL()->setCurrentIndex(review.revEaseListOL()->count() - 1);
    review.sendEmailReview();
    QCOMPARE(platform.openedUrls.size(), 1);
    QCOMPARE(platform.beeps, 1);
    QVERIFY(!review.revWindowOL()->isVisible());
}

void TestSupportWindows::droppedFilesAreLoggedOneLineEach()
{
    RecordingPlatform platform;
    sharedFileDelegate page;
    page.show();
    QWidget *target = page.fileTableOL()->viewport();
    const auto drop = [target](const QMimeData &mime) {
        QDragEnterEvent enter(QPoint(5, 5), Qt::CopyAction | Qt::MoveAction, &mime, Qt::LeftButton,
                              Qt::NoModifier);
        QCoreApplication::sendEvent(target, &enter);
        QDropEvent event(QPointF(5, 5), Qt::CopyAction | Qt::MoveAction, &mime, Qt::LeftButton,
                         Qt::NoModifier);
        QCoreApplication::sendEvent(target, &event);
        return enter.isAccepted() && enter.dropAction() == Qt::CopyAction && event.isAccepted() &&
               event.dropAction() == Qt::CopyAction;
    };
    QMimeData files;
    files.setUrls({QUrl::fromLocalFile(u"/home/ann/a b\\c.txt"_qs),
                   QUrl::fromLocalFile(u"/home/ann/two\nlines"_qs),
                   QUrl::fromEncoded("file:///home/ann/caf%E9.txt")});
    QVERIFY(drop(files));
    QCOMPARE(platform.logLines, QStringList({u"/home/ann/a b\\\\c.txt"_qs, u"/home/ann/two\\nlines"_qs,
                                             u"/home/ann/caf\\xe9.txt"_qs}));
    QCOMPARE(page.model()->rowCount(), 1);

    platform.clear();
    QMimeData text;
    text.setText(u"no paths here"_qs);
    QVERIFY(drop(text));
    QVERIFY(platform.logLines.isEmpty());
}

void TestSupportWindows::mainWindowReachesTheSupportWindows()
{
    QTemporaryDir store;
    qputenv("ZORBIX_ADDRESSBOOK", store.path().toUtf8());
    RecordingPlatform platform;
    vCardSharingController controller;
    QVERIFY(qobject_cast<sharedFileDelegate *>(controller.view(3)));
    auto *help = controller.window()->findChild<QMenu *>(u"helpMenu"_qs);
    QVERIFY(help);
    for (QAction *action : help->actions())
        action->trigger();
    QStringList shown;
    for (QWidget *window : QApplication::topLevelWidgets())
        shown << (window->isVisible() ? window->windowTitle() : QString());
    for (const QString &title : {u"zorbix Updates"_qs, u"Send a Report to quenfold"_qs, u"Review zorbix"_qs,
                                 u"Contact quenfold"_qs, u"Mail Account for Reports"_qs})
        QVERIFY2(shown.contains(title), qPrintable(shown.join(u", "_qs)));
    QCOMPARE(platform.openedUrls.size(), 3);
}

QTEST_MAIN(TestSupportWindows)
#include "tst_supportwindows.moc"
