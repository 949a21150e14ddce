#include "dragtableview.h"
#include "makersite.h"
#include "recordingplatform.h"
#include "reviewwindow.h"
#include "sharedfiledelegate.h"
#include "sharefilesmodel.h"

#include <QComboBox>
#include <QMimeData>
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
    void reviewMail();
    void droppedFilesAreLoggedOneLineEach();
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

QTEST_MAIN(TestSupportWindows)
#include "tst_supportwindows.moc"
