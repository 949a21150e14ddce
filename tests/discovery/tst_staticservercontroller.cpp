#include "recordingplatform.h"
#include "staticservercontroller.h"
#include "staticservertablemodel.h"
#include "testmessages.h"

#include <QDialog>
#include <QLineEdit>
#include <QPushButton>
#include <QTableView>
#include <QVBoxLayout>
#include <QtTest>

class TestStaticServerController : public QObject
{
    Q_OBJECT

private slots:
    void init();
    void addedServersSurviveARestart_data();
    void addedServersSurviveARestart();
    void viewsOutliveTheWindowThatShowedThem();
    void addRemoveAndClear();
    void portIsTakenModulo65536_data();
    void portIsTakenModulo65536();
    void addressForName_data();
    void addressForName();
    void unwritableSettingsAreReported();

private:
    static void add(StaticServerController &c, const QString &name, const QString &host, const QString &port);
    static QVariantList stored();
};

void TestStaticServerController::init()
{
    QSettings settings;
    settings.remove(StaticServerController::kSiteListKey);
    settings.sync();
}

void TestStaticServerController::add(StaticServerController &c, const QString &name, const QString &host,
                                     const QString &port)
{
    QDialog *window = c.addStaticWindow();
    window->findChild<QLineEdit *>(u"serverNameOL"_qs)->setText(name);
    window->findChild<QLineEdit *>(u"serverIPOL"_qs)->setText(host);
    window->findChild<QLineEdit *>(u"serverPortOL"_qs)->setText(port);
    c.doAssignServer();
}

QVariantList TestStaticServerController::stored()
{
    // A fresh reader: what is on disk, not what one QSettings object remembers.
    QSettings settings;
    return settings.value(StaticServerController::kSiteListKey).toList();
}

void TestStaticServerController::addedServersSurviveARestart_data()
{
    QTest::addColumn<QString>("name");
    QTest::addColumn<QString>("host");
    QTest::addColumn<QString>("port");
    QTest::newRow("non-ASCII") << u"Zoë – Bücher 東京"_qs << u"bücher.example"_qs << u"٩٨٧٩"_qs;
    QTest::newRow("ini specials") << u"a=b;c,d/e\\f[g]#h"_qs << u"@Variant(x)"_qs << u"%1"_qs;
    QTest::newRow("long") << QString(5000, u'n') << QString(300, u'h') << u"75415"_qs;
}

void TestStaticServerController::addedServersSurviveARestart()
{
    QFETCH(QString, name);
    QFETCH(QString, host);
    QFETCH(QString, port);
    {
        StaticServerController c;
        add(c, u"first"_qs, u"127.0.0.1"_qs, u"1"_qs);
        add(c, name, host, port);
        add(c, u"last"_qs, u"127.0.0.1"_qs, u"2"_qs);
        QCOMPARE(stored().size(), 3);
    }
    StaticServerController again;
    QCOMPARE(again.listOfSiteNames(), (QStringList{u"first"_qs, name, u"last"_qs}));
    QCOMPARE(again.objectValueForTableColumn(StaticServerController::kServerIP, 1), host);
    QCOMPARE(again.objectValueForTableColumn(StaticServerController::kServerPort, 1), port);
    const QVariantMap entry = stored().at(1).toMap();
    QCOMPARE(entry.value(u"siteServerName"_qs).toString(), name);
    QCOMPARE(entry.value(u"siteServerIP"_qs).toString(), host);
    QCOMPARE(entry.value(u"siteServerPort"_qs).toString(), port);
    QCOMPARE(entry.size(), 3);
}

void TestStaticServerController::viewsOutliveTheWindowThatShowedThem()
{
    StaticServerController c;
    {
        QWidget preferences;
        auto *layout = new QVBoxLayout(&preferences);
        layout->addWidget(c.preferencesView());
        preferences.show();
        c.preferencesView()->findChild<QPushButton *>(u"addButtonOL"_qs)->click();
        QVERIFY(c.addStaticWindow()->isVisible());
        c.addStaticWindow()->close();
        c.preferencesView()->setParent(nullptr);
    }
    // The add window and its fields still work after the window that opened them is gone.
    QVERIFY(c.addStaticWindow());
    {
        // A browse view that is destroyed with its static table.
        QWidget browseView;
        c.getStaticServerBrowserTable()->setParent(&browseView);
    }
    QVERIFY(!c.getStaticServerBrowserTable());
    QVERIFY(!c.isServerInShareBrowserSelected());
    add(c, u"later"_qs, u"127.0.0.1"_qs, u"1"_qs);
    QCOMPARE(c.listOfSiteNames(), QStringList{u"later"_qs});
    QCOMPARE(c.browserTableModel()->rowCount(), 1);
}

// The same name again is a second entry; removing without a selection does nothing; what is
// stored follows.
void TestStaticServerController::addRemoveAndClear()
{
    RecordingPlatform platform;
    StaticServerController c;
    for (const QString &name : {u"a"_qs, u"a"_qs, u"c"_qs})
        add(c, name, u"h"_qs, u"3"_qs);
    c.doRemoveServer();
    QCOMPARE(platform.logLines, QStringList{u"StaticServerController: No rows selected!"_qs});
    QCOMPARE(c.numberOfRowsInTableView(), 3);
    c.serversTable()->selectRow(1);
    c.preferencesView()->findChild<QPushButton *>(u"removeButtonOL"_qs)->click();
    QCOMPARE(c.listOfSiteNames(), (QStringList{u"a"_qs, u"c"_qs}));
    QCOMPARE(stored().at(1).toMap().value(u"siteServerName"_qs).toString(), u"c"_qs);
    c.preferencesView()->findChild<QPushButton *>(u"clearButtonOL"_qs)->click();
    QCOMPARE(c.browserTableModel()->rowCount(), 0);
    QVERIFY(stored().isEmpty());
}

void TestStaticServerController::portIsTakenModulo65536_data()
{
    QTest::addColumn<QString>("text");
    QTest::addColumn<int>("port");
    QTest::newRow("75415") << u"75415"_qs << 9879;
    QTest::newRow("65536") << u"65536"_qs << 0;
    QTest::newRow("not a number") << u"http"_qs << 0;
    QTest::newRow("leading digits") << u"80abc"_qs << 80;
    QTest::newRow("blanks and sign") << u"  +443"_qs << 443;
    QTest::newRow("negative") << u"-1"_qs << 65535;
    QTest::newRow("beyond 32 bits saturates") << u"99999999999"_qs << 65535;
}

void TestStaticServerController::portIsTakenModulo65536()
{
    QFETCH(QString, text);
    QFETCH(int, port);
    QCOMPARE(int(StaticServerController::portFromText(text)), port);
}

// The first entry of the name whose host resolves; a name not listed, or no host that resolves:
// one alert.
void TestStaticServerController::addressForName_data()
{
    QTest::addColumn<QString>("name");
    QTest::addColumn<QString>("address"); // empty: none, and the alert
    QTest::newRow("first resolvable of the name") << u"twice"_qs << u"127.0.0.2:2222"_qs;
    QTest::newRow("host name") << u"by name"_qs << u"127.0.0.1:9879"_qs; // localhost is IPv4 here
    QTest::newRow("not in the list") << u"nobody"_qs << QString();
    QTest::newRow("host does not resolve") << u"bad host"_qs << QString();
    QTest::newRow("empty host") << u"empty host"_qs << QString();
    QTest::newRow("case differs") << u"GOOD"_qs << QString();
}

void TestStaticServerController::addressForName()
{
    QFETCH(QString, name);
    QFETCH(QString, address);
    RecordingPlatform platform;
    StaticServerController c;
    add(c, u"other"_qs, u"127.0.0.9"_qs, u"1"_qs);
    add(c, u"twice"_qs, u"no-such-host.invalid"_qs, u"1111"_qs);
    add(c, u"twice"_qs, u"127.0.0.2"_qs, u"67758"_qs); // 2222 + 65536
    add(c, u"twice"_qs, u"127.0.0.3"_qs, u"3333"_qs);
    add(c, u"by name"_qs, u"localhost"_qs, u"9879"_qs);
    add(c, u"bad host"_qs, u"no-such-host.invalid"_qs, u"9879"_qs);
    add(c, u"empty host"_qs, QString(), u"9879"_qs);
    add(c, u"good"_qs, u"127.0.0.1"_qs, u"9879"_qs);
    const std::optional<SocketAddress> found = c.getAddressForName(name);
    QCOMPARE(found ? found->address().toString() + u':' + QString::number(found->port()) : QString(), address);
    if (!address.isEmpty()) {
        QVERIFY(platform.alerts.isEmpty());
        return;
    }
    QCOMPARE(platform.alerts, (QList<QPair<QString, QString>>{{msg("BR_DNSError"), msg("BR_DNSErrorHint")}}));
}

void TestStaticServerController::unwritableSettingsAreReported()
{
    RecordingPlatform platform;
    QTemporaryDir dir;
    QVERIFY(dir.isValid());
    // A plain file where the settings folder should be: nothing can be written below it.
    QFile blocker(dir.filePath(u"blocker"_qs));
    QVERIFY(blocker.open(QIODevice::WriteOnly));
    blocker.close();
    QSettings::setPath(QSettings::NativeFormat, QSettings::UserScope, blocker.fileName());
    {
        StaticServerController c;
        add(c, u"a"_qs, u"h"_qs, u"1"_qs);
        QCOMPARE(c.numberOfRowsInTableView(), 1);
    }
    QSettings::setPath(QSettings::NativeFormat, QSettings::UserScope,
                       QStandardPaths::writableLocation(QStandardPaths::GenericConfigLocation));
    QCOMPARE(platform.alerts.size(), 1);
    QVERIFY(platform.alerts[0].second.contains(u"blocker"_qs));
    QCOMPARE(platform.logLines.size(), 1);
    QVERIFY(platform.logLines[0].startsWith(u"StaticServerController: could not write the server list"_qs));
}

QTEST_MAIN(TestStaticServerController)
#include "tst_staticservercontroller.moc"
