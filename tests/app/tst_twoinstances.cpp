// Two copies of the application in the DNS-SD namespace, each with its own settings and store.
// The first (sharinginstance, a process of its own) shares one group of a store of 500 persons;
// this process is the second: it lists the share in the browse window, downloads it, copies it
// with matching into a new group, exports a CSV, and copies it once more.
#include "abaddressbook.h"
#include "abglobals.h"
#include "abgroup.h"
#include "abperson.h"
#include "avahitools.h"
#include "csvformat.h"
#include "exportcontroller.h"
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
QString firstName(int i)
{
    static const QStringList names = {u"Ada"_qs,  u"Ben"_qs,   u"Cleo"_qs, u"Dan"_qs,  u"Eva"_qs,
                                      u"Finn"_qs, u"Gia"_qs,   u"Hugo"_qs, u"Ida"_qs,  u"Jon"_qs,
                                      u"Kim"_qs,  u"Lea"_qs,   u"Max"_qs,  u"Nora"_qs, u"Otto"_qs,
                                      u"Pia"_qs,  u"Quinn"_qs, u"Rosa"_qs, u"Sven"_qs, u"Tara"_qs};
    return names.at(i % 20);
}
QString lastName(int i)
{
    return u"Müller-%1"_qs.arg(QChar(u'A' + i / 20));
}
QString fullName(int i)
{
    return firstName(i) + u' ' + lastName(i);
}
bool isShared(int i)
{
    return i < 480 && i % 4 == 0;
}

bool writeCard(const QString &path, const QString &lines)
{
    QFile file(path);
    return file.open(QIODevice::WriteOnly) &&
           file.write((u"BEGIN:VCARD\r\nVERSION:3.0\r\n"_qs + lines + u"END:VCARD\r\n"_qs).toUtf8()) > 0;
}

bool writeGroup(const QString &dir, const QString &name, const QStringList &memberUids)
{
    QString lines = u"UID:group-%1\r\nFN:%1\r\nN:%1;;;;\r\nX-ADDRESSBOOKSERVER-KIND:group\r\n"_qs.arg(name);
    for (const QString &uid : memberUids)
        lines += u"X-ADDRESSBOOKSERVER-MEMBER:urn:uuid:%1\r\n"_qs.arg(uid);
    return writeCard(dir + u"/group-"_qs + name + u".vcf"_qs, lines);
}

// RFC 4180 records: line ends inside quotes belong to the field.
int csvRecords(const QString &text)
{
    int records = 0;
    bool quoted = false;
    for (qsizetype i = 0; i < text.size(); ++i) {
        if (text.at(i) == u'"')
            quoted = !quoted;
        else if (!quoted && text.at(i) == u'\n')
            ++records;
    }
    return records;
}

// Starts the sharing copy with settings and data of its own under home; what it showed its user
// (alerts, beeps) collects in errors.
void startFirst(QProcess &first, const QString &home, const QString &store, const QStringList &args, QByteArray &errors)
{
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert(u"XDG_CONFIG_HOME"_qs, home + u"/config"_qs);
    env.insert(u"XDG_DATA_HOME"_qs, home + u"/data"_qs);
    env.insert(u"ZORBIX_ADDRESSBOOK"_qs, store);
    first.setProcessEnvironment(env);
    QObject::connect(&first, &QProcess::readyReadStandardError, &first, [&] { errors += first.readAllStandardError(); });
    first.start(QStringLiteral(ZORBIX_SHARING_INSTANCE), args);
}

QStringList sorted(QStringList list)
{
    list.sort();
    return list;
}
} // namespace

void TestTwoInstances::sharedGroupArrivesOnceAndOnlyIt()
{
    const QString khard = QStandardPaths::findExecutable(u"khard"_qs);
    if (khard.isEmpty())
        QSKIP("khard is not installed (scripts/deps.sh test installs it)");
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
                uid, lastName(i), firstName(i), fullName(i))));
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
    // What the first showed its user: alerts and beeps, which none of this should cause.
    QByteArray firstErrors;
    QProcess first;
    startFirst(first, root.filePath(u"first"_qs), firstStore, {name, kSharedGroup}, firstErrors);
    QVERIFY(first.waitForStarted(5000));
    auto stopFirst = qScopeGuard([&first] {
        first.terminate();
        if (!first.waitForFinished(10000))
            first.kill();
    });
    QByteArray announced;
    QTRY_VERIFY2_WITH_TIMEOUT((announced += first.readAllStandardOutput()).contains("announced"),
                              firstErrors.constData(), 30000);

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
    ExportController exporter(&browser);
    quickSync.setBrowserController(&browser);
    browser.setQuickSyncController(&quickSync);
    browser.setExportController(&exporter);
    browser.window()->show();

    QTRY_VERIFY_WITH_TIMEOUT(browser.filteredServices().value_or(QStringList()).contains(name), kWait);
    QTRY_VERIFY_WITH_TIMEOUT(QFRendezvousClient::sharedInstance()->getFirstAddressForService(name), kWait);
    auto *table = browser.window()->findChild<QTableView *>(u"zorbixServerList"_qs);
    const int row = int(browser.filteredServices()->indexOf(name));
    QSignalSpy downloaded(&browser, &vCardBrowserController::downloadEnded);
    QTest::mouseClick(table->viewport(), Qt::LeftButton, {},
                      table->visualRect(table->model()->index(row, 0)).center());
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
    QLineEdit *groupField = sync->findChild<QLineEdit *>(u"caNewGroupsNameFieldOL"_qs);
    groupField->setText(kNewGroup);
    QTest::mouseClick(sync->findChild<QPushButton *>(u"runCAButtonOL"_qs), Qt::LeftButton);
    QVERIFY(synced.wait(30000));
    QCOMPARE(platform.alerts.value(0).first, msg("QS_FormatSavedAndSkipped").arg(expected.size()).arg(0));

    // Export: the spreadsheet layout (RFC 4180, header first) into a file the user picks.
    const QString csvPath = root.filePath(u"second/friends.csv"_qs);
    exporter.setLocationChooser([&csvPath](auto &&...) { return csvPath; });
    exporter.setWindowForFormat(CSVFormat::PresetSpreadsheet);
    QTest::mouseClick(exporter.window()->findChild<QPushButton *>(u"chooseLocationButtonOL"_qs),
                      Qt::LeftButton);
    QTest::mouseClick(exporter.window()->findChild<QPushButton *>(u"exportOnlyButtonOL"_qs), Qt::LeftButton);
    QFile csv(csvPath);
    QVERIFY(csv.open(QIODevice::ReadOnly));
    const QString csvText = QString::fromUtf8(csv.readAll());
    QCOMPARE(csvRecords(csvText), expected.size() + 1);
    QStringList mails;
    for (const QRegularExpressionMatch &m :
         QRegularExpression(u"p(\\d{3})@example\\.org"_qs).globalMatch(csvText))
        mails.append(fullName(m.captured(1).toInt()));
    QCOMPARE(sorted(mails), sorted(expected));

    // khard reads the second store: the shared persons, the local one and the two groups.
    QFile config(root.filePath(u"khard.conf"_qs));
    QVERIFY(config.open(QIODevice::WriteOnly));
    config.write(
        u"[addressbooks]\n[[second]]\npath = %1\n[general]\neditor = /bin/true\nmerge_editor = /bin/true\n"
        "[contact table]\ndisplay = formatted_name\n"_qs.arg(secondStore)
            .toUtf8());
    config.close();
    QProcess list;
    list.start(khard, {u"-c"_qs, config.fileName(), u"list"_qs, u"--parsable"_qs});
    QVERIFY(list.waitForFinished(60000) && list.exitCode() == 0);
    QStringList listed;
    for (const QString &line :
         QString::fromUtf8(list.readAllStandardOutput()).split(u'\n', Qt::SkipEmptyParts))
        listed.append(line.section(u'\t', 1, 1));
    QCOMPARE(sorted(listed), sorted(expected + QStringList{u"Local Only"_qs, u"Team"_qs, kNewGroup}));

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
    }

    // A second copy skips every one of them.
    platform.clear();
    QTest::mouseClick(sync->findChild<QPushButton *>(u"runCAButtonOL"_qs), Qt::LeftButton);
    QVERIFY(synced.wait(30000));
    QCOMPARE(platform.alerts.value(0),
             qMakePair(msg("QS_FormatSavedAndSkipped").arg(0).arg(expected.size()), msg("QS_ABInSynch")));
    QCOMPARE(ABAddressBook(secondStore).people().size(), expected.size() + 1);

    stopFirst.dismiss();
    first.terminate();
    QVERIFY(first.waitForFinished(10000));
    firstErrors += first.readAllStandardError();
    QVERIFY2(!firstErrors.contains("alert:") && !firstErrors.contains("beep"), firstErrors.constData());
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
        QVERIFY(writeCard(store + u"/p%1.vcf"_qs.arg(i), u"UID:p%1\r\nN:%2;%3;;;\r\nFN:x\r\n"_qs.arg(i).arg(lastName(i), firstName(i))));
    QVERIFY(writeGroup(store, kSharedGroup, {u"p0"_qs, u"p1"_qs, u"p2"_qs}));
    const QString name = unique(u"Protected office"_qs);
    QProcess first;
    QByteArray firstErrors;
    startFirst(first, root.filePath(u"first"_qs), store, {name, kSharedGroup, u"protected"_qs}, firstErrors);
    auto stopFirst = qScopeGuard([&first] {
        first.terminate();
        if (!first.waitForFinished(10000))
            first.kill();
    });
    QByteArray printed;
    QTRY_VERIFY2_WITH_TIMEOUT((printed += first.readAllStandardOutput()).contains("announced"), firstErrors.constData(), 30000);

    StaticServerController statics;
    vCardBrowserController browser(nullptr, &statics);
    browser.window()->show();
    QFRendezvousClient *rendezvous = QFRendezvousClient::sharedInstance();
    QTRY_VERIFY_WITH_TIMEOUT(browser.filteredServices().value_or(QStringList()).contains(name), kWait);
    QTRY_VERIFY_WITH_TIMEOUT(rendezvous->getFirstAddressForService(name) && rendezvous->isServiceProtected(name), kWait);
    auto *table = browser.window()->findChild<QTableView *>(u"zorbixServerList"_qs);
    QSignalSpy downloaded(&browser, &vCardBrowserController::downloadEnded);
    QTest::mouseClick(table->viewport(), Qt::LeftButton, {},
                      table->visualRect(table->model()->index(int(browser.filteredServices()->indexOf(name)), 0)).center());
    auto *status = browser.window()->findChild<QLabel *>(u"generalStatusMessageOL"_qs);
    QTRY_VERIFY2_WITH_TIMEOUT((printed += first.readAllStandardOutput()).contains("asked "), firstErrors.constData(), kWait);
    const QString code = QString::fromLatin1(printed.mid(printed.indexOf("asked ") + 6, 6));
    QTRY_COMPARE_WITH_TIMEOUT(status->text(), msg("TR_WaitingForApproval").arg(code), kWait);
    QVERIFY(downloaded.wait(30000));
    QCOMPARE(downloaded.at(0).at(0).toBool(), true);
    QCOMPARE(browser.getRemoteAB()->size(), 3);
    QVERIFY(TrustedPeers::pinFor(name, QString()));
    QVERIFY2(platform.alerts.isEmpty(), qPrintable(platform.alerts.value(0).first));
    QVERIFY2(!firstErrors.contains("alert:"), firstErrors.constData());
}

QTEST_MAIN(TestTwoInstances)
#include "tst_twoinstances.moc"
