// Two copies of the application in the DNS-SD namespace, each with its own settings and store.
// The first (sharinginstance, a process of its own) shares one group of a store of 500 persons;
// this process is the second: it lists the share in the browse window, downloads it, copies it
// with matching into a new group, and copies it once more.
#include "abaddressbook.h"
#include "abglobals.h"
#include "abgroup.h"
#include "abperson.h"
#include "avahitools.h"
#include "clitools.h"
#include "qfrendezvousclient.h"
#include "quicksynccontroller.h"
#include "recordingplatform.h"
#include "staticservercontroller.h"
#include "testmessages.h"
#include "trustedpeers.h"
#include "vcardbrowsercontroller.h"

#include <QtTest>
#include <QtWidgets>

using namespace AvahiTools;

class TestTwoInstances : public QObject
{
    Q_OBJECT

private slots:
    void sharedGroupArrivesOnceAndOnlyIt();
    void protectedShareAfterApproval();
};

namespace {
constexpr int kPersons = 500;
const QString kSharedGroup = u"Friends"_qs;
const QString kNewGroup = u"From the office"_qs;

// Person i: a unique name and mail address. Groups by i % 4 (the shared one is 0), every
// eighth person also in Work, the last twenty in none.
const QString kLastName = u"Müller"_qs;
QString firstName(int i)
{
    return u"Zoë%1"_qs.arg(i);
}
QString fullName(int i)
{
    return firstName(i) + u' ' + kLastName;
}
bool isShared(int i)
{
    return i < 480 && i % 4 == 0;
}

bool writeCard(const QString &path, const QString &lines)
{
    return CliTools::writeCard(path, lines.toUtf8());
}

bool writeGroup(const QString &dir, const QString &name, const QStringList &memberUids)
{
    QString lines = u"UID:group-%1\r\nFN:%1\r\nN:%1;;;;\r\nX-ADDRESSBOOKSERVER-KIND:group\r\n"_qs.arg(name);
    for (const QString &uid : memberUids)
        lines += u"X-ADDRESSBOOKSERVER-MEMBER:urn:uuid:%1\r\n"_qs.arg(uid);
    return writeCard(dir + u"/group-"_qs + name + u".vcf"_qs, lines);
}

// The sharing copy, with settings and data of its own under home; what it showed its user
// (alerts, beeps) collects in errors, its standard output in printed. Stopped when destroyed.
struct FirstCopy
{
    // True once its share is announced.
    bool start(const QString &home, const QString &store, const QStringList &args)
    {
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        env.insert(u"XDG_CONFIG_HOME"_qs, home + u"/config"_qs);
        env.insert(u"XDG_DATA_HOME"_qs, home + u"/data"_qs);
        env.insert(u"ZORBIX_ADDRESSBOOK"_qs, store);
        process.setProcessEnvironment(env);
        QObject::connect(&process, &QProcess::readyReadStandardError, &process, [this] { errors += process.readAllStandardError(); });
        process.start(QStringLiteral(ZORBIX_SHARING_INSTANCE), args);
        return waitPrinted("announced", 30000);
    }
    bool waitPrinted(const QByteArray &text, int timeout)
    {
        return QTest::qWaitFor([&] { return (printed += process.readAllStandardOutput()).contains(text); }, timeout);
    }
    ~FirstCopy()
    {
        process.terminate();
        if (!process.waitForFinished(10000))
            process.kill();
    }
    QProcess process;
    QByteArray errors, printed;
};

// Waits until the browse window lists the share with an address, and clicks it.
void clickShare(vCardBrowserController &browser, const QString &name)
{
    QTRY_VERIFY_WITH_TIMEOUT(browser.filteredServices().value_or(QStringList()).contains(name), kWait);
    QTRY_VERIFY_WITH_TIMEOUT(QFRendezvousClient::sharedInstance()->getFirstAddressForService(name), kWait);
    auto *table = browser.window()->findChild<QTableView *>(u"zorbixServerList"_qs);
    const int row = int(browser.filteredServices()->indexOf(name));
    QTest::mouseClick(table->viewport(), Qt::LeftButton, {}, table->visualRect(table->model()->index(row, 0)).center());
}

QStringList sorted(QStringList list)
{
    list.sort();
    return list;
}
} // namespace

void TestTwoInstances::sharedGroupArrivesOnceAndOnlyIt()
{
    RecordingPlatform platform;
    QTemporaryDir root;
    QVERIFY(root.isValid());

    // The first store: 500 persons in four groups and none.
    const QString firstStore = root.filePath(u"first/addressbook"_qs);
    QVERIFY(QDir().mkpath(firstStore));
    QStringList expected;
    QMap<QString, QStringList> members;
    static const QStringList groupNames = {kSharedGroup, u"Family"_qs, u"Club"_qs, u"Neighbours"_qs};
    for (int i = 0; i < kPersons; ++i) {
        const QString uid = u"p%1"_qs.arg(i, 3, 10, QChar(u'0'));
        QVERIFY(writeCard(
            firstStore + u'/' + uid + u".vcf"_qs,
            u"UID:%1\r\nN:%2;%3;;;\r\nFN:%4\r\nEMAIL;TYPE=INTERNET:%1@example.org\r\nORG:Acme\r\n"_qs.arg(
                uid, kLastName, firstName(i), fullName(i))));
        if (i < 480)
            members[groupNames.at(i % 4)].append(uid);
        if (i % 8 == 0)
            members[u"Work"_qs].append(uid);
        if (isShared(i))
            expected.append(fullName(i));
    }
    for (auto it = members.cbegin(); it != members.cend(); ++it)
        QVERIFY(writeGroup(firstStore, it.key(), it.value()));

    const QString name = unique(u"Zoë's office"_qs);
    FirstCopy first;
    QVERIFY2(first.start(root.filePath(u"first"_qs), firstStore, {name, kSharedGroup}), first.errors.constData());

    // The second store already has a group of its own, so matching and new groups are offered.
    const QString secondStore = root.filePath(u"second/addressbook"_qs);
    QVERIFY(QDir().mkpath(secondStore));
    QVERIFY(
        writeCard(secondStore + u"/local.vcf"_qs, u"UID:local\r\nN:Only;Local;;;\r\nFN:Local Only\r\n"_qs));
    QVERIFY(writeGroup(secondStore, u"Team"_qs, {u"local"_qs}));
    ABAddressBook book(secondStore);
    StaticServerController statics;
    vCardBrowserController browser(nullptr, &statics);
    QuickSyncController quickSync(&book);
    quickSync.setBrowserController(&browser);
    browser.setQuickSyncController(&quickSync);
    browser.window()->show();
    QSignalSpy downloaded(&browser, &vCardBrowserController::downloadEnded);
    clickShare(browser, name);
    QVERIFY(downloaded.wait(30000));
    QCOMPARE(downloaded.at(0).at(0).toBool(), true);
    QCOMPARE(browser.getRemoteAB()->size(), expected.size());

    // Quick sync: leave out persons already present, file the new ones in a new group.
    QWidget *sync = quickSync.window();
    sync->show();
    QSignalSpy synced(&quickSync, &QuickSyncController::finished);
    sync->findChild<QCheckBox *>(u"caMatchingButtonOL"_qs)->setChecked(true);
    sync->findChild<QCheckBox *>(u"caUseNewGroupButtonOL"_qs)->setChecked(true);
    sync->findChild<QRadioButton *>(u"caNewGroupCellOL"_qs)->setChecked(true);
    sync->findChild<QLineEdit *>(u"caNewGroupsNameFieldOL"_qs)->setText(kNewGroup);
    QTest::mouseClick(sync->findChild<QPushButton *>(u"runCAButtonOL"_qs), Qt::LeftButton);
    QVERIFY(synced.wait(30000));
    QCOMPARE(platform.alerts.value(0).first, msg("QS_FormatSavedAndSkipped").arg(expected.size()).arg(0));

    // The new group holds exactly the shared persons.
    {
        ABAddressBook reread(secondStore);
        QStringList inGroup;
        for (ABGroup *group : reread.groups()) {
            if (group->name() != kNewGroup)
                continue;
            for (ABPerson *person : group->members())
                inGroup.append(person->valueForProperty(kABFirstNameProperty).toString() + u' ' +
                               person->valueForProperty(kABLastNameProperty).toString());
        }
        QCOMPARE(sorted(inGroup), sorted(expected));
        QCOMPARE(reread.people().size(), expected.size() + 1);
    }

    // What the first showed its user: alerts and beeps, which none of this should cause.
    first.process.terminate();
    QVERIFY(first.process.waitForFinished(10000));
    first.errors += first.process.readAllStandardError();
    QVERIFY2(!first.errors.contains("alert:") && !first.errors.contains("beep"), first.errors.constData());
}

// The first shares for approved devices only: the browse window shows the code while the
// first's user is asked, the first presses Allow Once in its question, the records arrive and
// the share's certificate is pinned.
void TestTwoInstances::protectedShareAfterApproval()
{
    RecordingPlatform platform;
    QTemporaryDir root;
    const QString store = root.filePath(u"first/addressbook"_qs);
    QVERIFY(QDir().mkpath(store));
    for (int i = 0; i < 3; ++i)
        QVERIFY(writeCard(store + u"/p%1.vcf"_qs.arg(i), u"UID:p%1\r\nN:%2;%3;;;\r\nFN:x\r\n"_qs.arg(i).arg(kLastName, firstName(i))));
    QVERIFY(writeGroup(store, kSharedGroup, {u"p0"_qs, u"p1"_qs, u"p2"_qs}));
    const QString name = unique(u"Protected office"_qs);
    FirstCopy first;
    QVERIFY2(first.start(root.filePath(u"first"_qs), store, {name, kSharedGroup, u"protected"_qs}), first.errors.constData());

    StaticServerController statics;
    vCardBrowserController browser(nullptr, &statics);
    browser.window()->show();
    QSignalSpy downloaded(&browser, &vCardBrowserController::downloadEnded);
    clickShare(browser, name);
    QVERIFY(QFRendezvousClient::sharedInstance()->isServiceProtected(name));
    QVERIFY2(first.waitPrinted("asked ", kWait), first.errors.constData());
    const QString code = QString::fromLatin1(first.printed.mid(first.printed.indexOf("asked ") + 6, 6));
    auto *status = browser.window()->findChild<QLabel *>(u"generalStatusMessageOL"_qs);
    QTRY_COMPARE_WITH_TIMEOUT(status->text(), msg("TR_WaitingForApproval").arg(code), kWait);
    QVERIFY(downloaded.wait(30000));
    QCOMPARE(downloaded.at(0).at(0).toBool(), true);
    QCOMPARE(browser.getRemoteAB()->size(), 3);
    QVERIFY(TrustedPeers::pinFor(name, QString()));
    QVERIFY2(platform.alerts.isEmpty(), qPrintable(platform.alerts.value(0).first));
    QVERIFY2(!first.errors.contains("alert:"), first.errors.constData());
}

QTEST_MAIN(TestTwoInstances)
#include "tst_twoinstances.moc"
