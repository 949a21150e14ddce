#include "abaddressbook.h"
#include "abglobals.h"
#include "abperson.h"
#include "absharingpropcontroller.h"
#include "clitools.h"
#include "recordingplatform.h"
#include "vcardcommon.h"
#include "vcardsharingcontroller.h"
#include "viewerwindow.h"

#include <QMimeData>
#include <QWindow>
#include <QtTest>

#include <csignal>

// vCard files reach the address book the ways a desktop offers: dropped on the window or on the
// address book page, and named on the command line (a file manager's "Open with").
class TestVCardIntake : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase()
    {
        QVERIFY(m_store.isValid() && m_files.isValid());
        qputenv("ZORBIX_ADDRESSBOOK", m_store.path().toUtf8());
    }
    void droppedFilesAreImported_data();
    void droppedFilesAreImported();
    void fileArgumentsAreImported();

private:
    QString writeCard(const QString &name, const QString &last, const QString &category);

    QTemporaryDir m_store;
    QTemporaryDir m_files;
};

QString TestVCardIntake::writeCard(const QString &name, const QString &last, const QString &category)
{
    const QString path = m_files.filePath(name);
    const QString lines = u"N:%1;Test;;;\r\nFN:Test %1\r\nCATEGORIES:%2\r\n"_qs.arg(last, category);
    return CliTools::writeCard(path, lines.toUtf8()) ? path : QString();
}

void TestVCardIntake::droppedFilesAreImported_data()
{
    QTest::addColumn<QString>("fileName");
    QTest::addColumn<int>("page");
    QTest::addColumn<bool>("taken");
    QTest::newRow("vcf on the status page") << u"ada.vcf"_qs << 1 << true;
    QTest::newRow("on the address book page") << u"grace.VCARD"_qs << 6 << true;
    QTest::newRow("vCard known by its content") << u"contact"_qs << 6 << true;
    QTest::newRow("not a vCard file") << u"notes.txt"_qs << 1 << false;
}

void TestVCardIntake::droppedFilesAreImported()
{
    QFETCH(QString, fileName);
    QFETCH(int, page);
    QFETCH(bool, taken);
    RecordingPlatform platform;
    vCardSharingController controller;
    ViewerWindow *window = controller.window();
    window->show();
    QVERIFY(QTest::qWaitForWindowExposed(window));
    controller.doLaunch(page);

    static int round = 0;
    const QString last = u"Dropped"_qs + QChar(u'A' + round++);
    const QString category = last + u"Group"_qs;
    QString path = writeCard(fileName, last, category);
    if (!taken) {
        QFile text(path);
        QVERIFY(text.open(QIODevice::WriteOnly));
        text.write("Shopping: milk, eggs\n");
    }
    QMimeData data;
    data.setUrls({QUrl::fromLocalFile(path), QUrl(u"https://example.org/remote.vcf"_qs)});

    // Through the window system's entry, so the drop lands where a user lets go of it.
    QWidget *target = controller.view(page);
    const QPoint at = target->mapTo(window, target->rect().center());
    const Qt::DropActions actions = Qt::CopyAction | Qt::MoveAction;
    QDragEnterEvent enter(at, actions, &data, Qt::LeftButton, Qt::NoModifier);
    QCoreApplication::sendEvent(window->windowHandle(), &enter);
    QCOMPARE(enter.isAccepted(), taken);
    if (!taken) {
        QDragLeaveEvent leave;
        QCoreApplication::sendEvent(window->windowHandle(), &leave);
        QTest::qWait(50);
        QVERIFY(platform.alerts.isEmpty());
        return;
    }
    QDropEvent drop(at, actions, &data, Qt::LeftButton, Qt::NoModifier);
    QCoreApplication::sendEvent(window->windowHandle(), &drop);
    QVERIFY(drop.isAccepted());
    QCOMPARE(drop.dropAction(), Qt::CopyAction); // never a move: the user's file stays

    QTRY_COMPARE(platform.alerts.size(), 1);
    QCOMPARE(platform.alerts.first().first, vCardCommon::getLocMsg(u"IM_ImportedFormat"_qs).arg(1).arg(1));
    QVERIFY(QFile::exists(path));
    ABAddressBook *book = ABAddressBook::sharedAddressBook();
    const QList<ABPerson *> people = book->people();
    QVERIFY(std::any_of(people.begin(), people.end(),
                        [&](const ABPerson *p) { return p->valueForProperty(kABLastNameProperty) == last; }));
    // The address book page lists the group the file brought.
    const QVariantList groups = controller.ABSharingControllerRef()->nonSharedGroups();
    QVERIFY(std::any_of(groups.begin(), groups.end(), [&](const QVariant &group) {
        return group.toMap().value(kABGroupNameProperty) == category;
    }));
}

void TestVCardIntake::fileArgumentsAreImported()
{
    QTemporaryDir store;
    const QStringList files = {
        writeCard(u"one.vcf"_qs, u"Argument"_qs, u"Args"_qs),
        QUrl::fromLocalFile(writeCard(u"two.vcf"_qs, u"Url"_qs, u"Args"_qs)).toString()};
    // A session bus of this test's own: one running copy per session.
    QProcess bus;
    bus.start(u"dbus-daemon"_qs, {u"--session"_qs, u"--nofork"_qs, u"--print-address"_qs});
    QVERIFY2(bus.waitForStarted() && bus.waitForReadyRead(10000), "dbus-daemon (package dbus) must run");
    QProcess app;
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert(u"ZORBIX_ADDRESSBOOK"_qs, store.path());
    env.insert(u"DBUS_SESSION_BUS_ADDRESS"_qs, QString::fromUtf8(bus.readLine()).trimmed());
    app.setProcessEnvironment(env);
    app.start(QStringLiteral(ZORBIX_APP_BINARY), files);
    QVERIFY(app.waitForStarted());
    const auto cards = [&store] { return QDir(store.path()).entryList({u"*.vcf"_qs}, QDir::Files).size(); };
    // Two persons in their category, one file each.
    QTRY_COMPARE_WITH_TIMEOUT(cards(), 2, 30000);
    // A second start hands its file (named relative to where it started) to the first, and ends.
    writeCard(u"three.vcf"_qs, u"Second"_qs, u"Args"_qs);
    QProcess second;
    second.setProcessEnvironment(env);
    second.setWorkingDirectory(m_files.path());
    second.start(QStringLiteral(ZORBIX_APP_BINARY), {u"three.vcf"_qs});
    QVERIFY(second.waitForFinished(20000));
    QCOMPARE(second.exitCode(), 0);
    QTRY_COMPARE_WITH_TIMEOUT(cards(), 3, 20000);
    QCOMPARE(app.state(), QProcess::Running);
    ::kill(pid_t(app.processId()), SIGTERM);
    QVERIFY(app.waitForFinished(10000));
    QCOMPARE(app.exitCode(), 0);
    bus.kill();
    bus.waitForFinished();
    ABAddressBook book(store.path());
    QCOMPARE(book.people().size(), 3);
    QCOMPARE(book.groups().size(), 1);

    // Answered without a display.
    for (const QString &name : {u"QT_QPA_PLATFORM"_qs, u"DISPLAY"_qs, u"WAYLAND_DISPLAY"_qs})
        env.remove(name);
    app.setProcessEnvironment(env);
    app.start(QStringLiteral(ZORBIX_APP_BINARY), {u"--version"_qs});
    QVERIFY(app.waitForFinished(10000));
    QCOMPARE(app.readAllStandardOutput().trimmed(), QByteArrayLiteral("zorbix " ZORBIX_VERSION));
}

QTEST_MAIN(TestVCardIntake)
#include "tst_vcardintake.moc"
