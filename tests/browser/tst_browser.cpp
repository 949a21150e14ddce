#include "abaddressbook.h"
#include "abbrowsercontroller.h"
#include "abglobals.h"
#include "abmultivalue.h"
#include "abperson.h"
#include "inprocessdnssd.h"
#include "ownercardfields.h"
#include "qfexchangeclient.h"
#include "qfrendezvousclient.h"
#include "quicksynccontroller.h"
#include "recordingplatform.h"
#include "scriptedshare.h"
#include "sharercard.h"
#include "staticservercontroller.h"
#include "testmessages.h"
#include "vcardbrowsercontroller.h"
#include "staticaddresslookup.h"
#include "widgetplatformhooks.h"

#include <QApplication>
#include <QCborArray>
#include <QCborMap>
#include <QLabel>
#include <QLineEdit>
#include <QMessageBox>
#include <QPushButton>
#include <QTableView>
#include <QtTest>

// The browse window through real sockets on 127.0.0.1: shares written by hand send chosen
// frames; the window is clicked and typed into as a user would.

namespace {

QByteArray ab(int records, const std::optional<OwnerCard> &card, const QString &type = u"AB"_qs)
{
    QVariantMap message{{u"type"_qs, type}};
    QVariantList list;
    for (int i = 0; i < records; ++i)
        list.append(QVariantMap{{kABFirstNameProperty, QStringLiteral("P%1").arg(i)}});
    if (records >= 0)
        message.insert(u"ABData"_qs, list);
    if (card)
        message.insert(u"pData"_qs, QVariant::fromValue(*card));
    return framed(message);
}

const QByteArray kKeys = framed(QCborMap{{u"type"_qs, u"keys"_qs}, {u"Keys1"_qs, 7}}.toCborValue().toCbor());

OwnerCard card(const QString &suffix)
{
    OwnerCard c;
    for (const OwnerCardField &field : kOwnerCardFields)
        c.insert(field.tag, QStringLiteral("f%1%2").arg(field.tag).arg(suffix));
    return c;
}

using Share = ScriptedShare;

// Logs its name and the record count it reads when told.
struct Consumer : RemoteABConsumer
{
    Consumer(QStringList &log, const char *name) : log(log), name(QLatin1String(name)) {}
    void doReloadData(RemoteABSource *sender) override
    {
        log.append(name + QString::number(sender->getRemoteAB() ? sender->getRemoteAB()->size() : -1));
    }
    QStringList &log;
    QString name;
};

struct World
{
    RecordingPlatform platform;
    QTemporaryDir storeDir;
    ABAddressBook book{storeDir.path()};
    InProcessDnsSd dnssd;
    QFRendezvousClient rendezvous{dnssd};
    StaticServerController statics;
    QStringList log;
    Consumer consumers[3] = {{log, "detail"}, {log, "sync"}, {log, "export"}};
    std::unique_ptr<vCardBrowserController> browser = std::make_unique<vCardBrowserController>(&rendezvous, &statics);
};

} // namespace

class TestBrowser : public QObject
{
    Q_OBJECT

private slots:
    void init();
    void cleanup();
    void downloadOutcomes_data();
    void downloadOutcomes();
    void clicksWhileRunningAndCancel();
    void staleLookupsStartNothing();
    void peerTextIsPlain();
    void cardActions();
    void mailAddressOnly();

private:
    template <typename T = QLineEdit> T *outlet(const QString &name) { return w->browser->window()->findChild<T *>(name); }
    QString label() { return outlet<QLabel>(u"loadedShareName1OL"_qs)->text(); }
    QString status() { return outlet<QLabel>(u"generalStatusMessageOL"_qs)->text(); }
    qint64 picture(const QString &button = u"commStateButtonOL"_qs) { return outlet<QPushButton>(button)->icon().cacheKey(); }
    void announce(const QString &name, quint16 port, bool moreComing = false);
    void click(QTableView *table, int row);
    void clickShare(const QString &name) { click(outlet<QTableView>(u"zorbixServerList"_qs), int(w->browser->filteredServices()->indexOf(name))); }
    // Servers entered by hand: name, host and port each.
    void setStaticServers(const QList<std::tuple<QString, QString, quint16>> &servers);
    void download(const QString &name, const Share &share);

    std::unique_ptr<World> w;
};

void TestBrowser::init()
{
    QSettings().clear();
    w = std::make_unique<World>();
    ABAddressBook::setSharedAddressBook(&w->book);
    w->browser->exchangeClient().setIdleTimeout(300);
    w->browser->setABBrowserController(&w->consumers[0]);
    w->browser->setQuickSyncController(&w->consumers[1]);
    w->browser->setExportController(&w->consumers[2]);
    w->browser->window()->show();
    QVERIFY(QTest::qWaitForWindowExposed(w->browser->window()));
}

void TestBrowser::cleanup()
{
    w.reset();
    ABAddressBook::setSharedAddressBook(nullptr);
}

void TestBrowser::announce(const QString &name, quint16 port, bool moreComing)
{
    const DnsSdService service{name, u"_zorbix._tcp"_qs, u"local"_qs};
    w->dnssd.announce(service, moreComing);
    if (port)
        w->dnssd.setAddresses(service, {SocketAddress(QHostAddress::LocalHost, port)});
}

void TestBrowser::click(QTableView *table, int row)
{
    QCoreApplication::processEvents(); // lays new rows out
    QTest::mouseClick(table->viewport(), Qt::LeftButton, {}, table->visualRect(table->model()->index(row, 0)).center());
}

void TestBrowser::setStaticServers(const QList<std::tuple<QString, QString, quint16>> &servers)
{
    QVariantList list;
    for (const auto &[name, host, port] : servers)
        list.append(QVariantMap{{StaticServerController::kServerName, name},
                                {StaticServerController::kServerIP, host},
                                {StaticServerController::kServerPort, QString::number(port)}});
    QSettings().setValue(StaticServerController::kSiteListKey, list);
    w->statics.loadFromDefaults();
}

void TestBrowser::download(const QString &name, const Share &share)
{
    announce(name, share.port);
    clickShare(name);
    QTRY_VERIFY(!w->browser->isRunningAsyncComm());
}

void TestBrowser::downloadOutcomes_data()
{
    QTest::addColumn<QList<QByteArray>>("replies"); // "refuse": nothing listens
    QTest::addColumn<QByteArray>("problem");        // the one alert, if any
    QTest::addColumn<int>("records");               // -1: no remote address book
    QTest::addColumn<bool>("completes");
    QTest::addColumn<OwnerCard>("cardChanges");
    const QByteArray network = "BR_NetworkProblem", incompatible = "SC_NonCompatibleProblem";
    const QCborMap notText{{u"type"_qs, u"AB"_qs}, {u"pData"_qs, QCborMap{{1, 5}}}};
    QTest::newRow("refused") << QList<QByteArray>{"refuse"} << network << 3 << false << OwnerCard();
    QTest::newRow("closes after keys") << QList<QByteArray>{kKeys, "close"} << network << 3 << false << OwnerCard();
    QTest::newRow("non-map") << QList<QByteArray>{framed(QCborArray{1}.toCborValue().toCbor())} << incompatible << 3
                             << false << OwnerCard();
    QTest::newRow("pData not text") << QList<QByteArray>{kKeys, framed(notText.toCborValue().toCbor())} << incompatible
                                    << 3 << false << OwnerCard();
    QTest::newRow("no ABData") << QList<QByteArray>{kKeys, ab(-1, card(u"new"_qs))} << QByteArray() << -1 << true
                               << card(u"new"_qs);
    QTest::newRow("100,000, then close") << QList<QByteArray>{kKeys, ab(100000, card(u"new"_qs)), "then close"}
                                         << QByteArray() << 100000 << true << card(u"new"_qs);
    QTest::newRow("250, no pData") << QList<QByteArray>{kKeys, ab(250, {})} << QByteArray() << 250 << true << OwnerCard();
    QTest::newRow("pData with text keys") << QList<QByteArray>{kKeys, framed(QCborMap{{u"type"_qs, u"AB"_qs},
        {u"ABData"_qs, QCborArray{QCborMap{{kABFirstNameProperty, u"P"_qs}}}}, {u"pData"_qs, QCborMap{{u"1"_qs, u"x"_qs}}}}
        .toCborValue().toCbor())} << QByteArray() << 1 << true << OwnerCard();
    QTest::newRow("unknown tag") << QList<QByteArray>{kKeys, ab(0, OwnerCard{{1, u"Zoë"_qs}, {99, u"x"_qs}})}
                                 << QByteArray() << 0 << true << OwnerCard{{1, u"Zoë"_qs}};
    QTest::newRow("other type") << QList<QByteArray>{kKeys, ab(5, card(u"x"_qs), u"hello"_qs)} << QByteArray() << 3
                                << true << OwnerCard();
}

void TestBrowser::downloadOutcomes()
{
    QFETCH(QList<QByteArray>, replies);
    QFETCH(QByteArray, problem);
    QFETCH(int, records);
    QFETCH(bool, completes);
    QFETCH(OwnerCard, cardChanges);
    // First a good download in one chunk: the picture never flips.
    Share first({kKeys, ab(3, card(u"old"_qs))});
    download(u"First"_qs, first);
    QCOMPARE(picture(), picture(u"commGBButtonOL"_qs));
    QCOMPARE(w->log, (QStringList{u"detail3"_qs, u"sync3"_qs, u"export3"_qs}));

    Share second(replies);
    if (replies.value(0) == "refuse")
        second.listener.close();
    download(u"Second"_qs, second);
    QCOMPARE(w->platform.alerts.size(), problem.isEmpty() ? 0 : 1);
    if (!problem.isEmpty())
        QCOMPARE(w->platform.alerts.first().first, msg(problem.constData()));
    // Three records are the first share's: kept by a failure and by a reply that is no "AB".
    const QString owner = records == 3 ? u"First"_qs : u"Second"_qs;
    QCOMPARE(w->browser->getSelectedShareName(), owner);
    QCOMPARE(w->browser->getRemoteAB() ? int(w->browser->getRemoteAB()->size()) : -1, records);
    QCOMPARE(outlet<QPushButton>(u"showABBrowserButtonOL"_qs)->isEnabled(), records >= 0);
    const QString loaded = owner + msg("AB_Records").arg(qMax(records, 0));
    QCOMPARE(label(), loaded);
    QCOMPARE(outlet<QLabel>(u"loadedShareName2OL"_qs)->text(), loaded);
    QCOMPARE(w->log.size(), completes ? 6 : 3);
    OwnerCard shown = card(u"old"_qs);
    shown.insert(cardChanges);
    for (const OwnerCardField &field : kOwnerCardFields)
        QCOMPARE(outlet(QLatin1String(field.objectName))->text(), shown.value(field.tag));
    QCOMPARE(picture() == picture(u"commGRButtonOL"_qs), !completes);
    QCOMPARE(outlet<QPushButton>(u"commStateButtonOL"_qs)->isEnabled(), completes);
    // Disabled, the failure picture is drawn red all the same.
    const QImage drawn = outlet<QPushButton>(u"commStateButtonOL"_qs)->grab().toImage();
    bool red = false;
    for (int y = 0; y < drawn.height() && !red; ++y)
        for (int x = 0; x < drawn.width() && !red; ++x)
            red = qRed(drawn.pixel(x, y)) - qGreen(drawn.pixel(x, y)) > 60;
    QCOMPARE(red, !completes);
    QCOMPARE(status(), QString());
}

void TestBrowser::clicksWhileRunningAndCancel()
{
    Share silent;
    setStaticServers({{u"Manual"_qs, u"127.0.0.1"_qs, silent.port}});
    announce(u"A"_qs, silent.port, true);
    announce(u"B"_qs, silent.port);
    QTableView *shares = outlet<QTableView>(u"zorbixServerList"_qs), *manual = w->statics.getStaticServerBrowserTable();
    w->browser->exchangeClient().setIdleTimeout(60000);
    const qint64 initial = picture();
    w->browser->window()->activateWindow();
    QVERIFY(QTest::qWaitForWindowActive(w->browser->window()));

    clickShare(u"A"_qs);
    QTRY_COMPARE(silent.requests, 1);
    clickShare(u"B"_qs);
    click(manual, 0);
    QCOMPARE(shares->selectionModel()->selectedRows().value(0).row(), 0);
    QVERIFY(!w->statics.isServerInShareBrowserSelected());
    QTest::keyClick(outlet(u"filterFieldOL"_qs), Qt::Key_Escape);
    QVERIFY(!w->browser->isRunningAsyncComm());
    QCOMPARE(picture(), initial);

    // The other list takes the selection from the first; the button cancels too.
    click(manual, 0);
    QVERIFY(shares->selectionModel()->selectedRows().isEmpty());
    QTRY_COMPARE(silent.requests, 2);
    QTest::mouseClick(outlet<QPushButton>(u"cancelDownloadButtonOL"_qs), Qt::LeftButton);
    QVERIFY(!w->browser->isRunningAsyncComm());
    clickShare(u"B"_qs);
    QVERIFY(!w->statics.isServerInShareBrowserSelected());
    QVERIFY(w->platform.alerts.isEmpty());
}

void TestBrowser::staleLookupsStartNothing()
{
    // An announced share without an address fails at once, without an alert.
    announce(u"Unresolved"_qs, 0);
    clickShare(u"Unresolved"_qs);
    QVERIFY(!w->browser->isRunningAsyncComm());
    QCOMPARE(picture(), picture(u"commGRButtonOL"_qs));

    Share share({kKeys, ab(2, {})});
    setStaticServers({{u"Manual"_qs, u"127.0.0.1"_qs, share.port}, {u"Nowhere"_qs, u"no host.invalid"_qs, 9879}});
    QTableView *manual = w->statics.getStaticServerBrowserTable();
    click(manual, 0);
    QTRY_COMPARE(w->browser->getSelectedShareName(), u"Manual"_qs);
    const int requests = share.requests;
    // Again, and cancelled while the host is looked up: the look-up, answered from the host cache,
    // still reports, and must neither restart the download nor lend it to the next server.
    click(manual, 0);
    QCoreApplication::sendPostedEvents(w->browser->findChild<StaticAddressLookup *>(), QEvent::MetaCall);
    w->browser->doCancelDownload();
    QSignalSpy ended(w->browser.get(), &vCardBrowserController::downloadEnded);
    click(manual, 1);
    QTRY_COMPARE(ended.size(), 1);
    QCOMPARE(ended.first().first().toBool(), false);
    QCOMPARE(w->platform.alerts, (QList<QPair<QString, QString>>{{msg("BR_DNSError"), msg("BR_DNSErrorHint")}}));
    QTest::qWait(100);
    QCOMPARE(share.requests, requests);
    QCOMPARE(w->browser->getSelectedShareName(), u"Manual"_qs);
}

void TestBrowser::peerTextIsPlain()
{
    const QString markup = u"<b>x</b>"_qs;
    ABBrowserController detail(&w->book);
    QuickSyncController sync(&w->book);
    detail.setBrowserController(w->browser.get());
    w->browser->setABBrowserController(&detail);
    w->browser->setQuickSyncController(&sync);
    const QVariantMap person{{kABFirstNameProperty, markup}, {kABOrganizationProperty, markup}};
    Share share({kKeys, framed(QVariantMap{{u"type"_qs, u"AB"_qs}, {u"ABData"_qs, QVariantList{person}}})});
    download(markup, share);
    auto *names = detail.window()->findChild<QTableView *>(u"nameTableOL"_qs);
    names->selectRow(0);
    QVERIFY(!names->model()->index(0, 0).data(Qt::ToolTipRole).toString().contains(markup));
    // Alerts too: the person's name is in the one that confirms a copy.
    WidgetPlatformHooks widgets;
    PlatformHooks *recording = PlatformHooks::install(&widgets);
    detail.doSaveOneRecord();
    PlatformHooks::install(recording);
    QMessageBox *alert = nullptr;
    for (QWidget *top : QApplication::topLevelWidgets())
        alert = alert ? alert : qobject_cast<QMessageBox *>(top);
    QVERIFY(alert);
    int shown = 0;
    for (QWidget *window : {w->browser->window(), detail.window(), sync.window(), static_cast<QWidget *>(alert)}) {
        for (const QLabel *label : window->findChildren<QLabel *>()) {
            if (label->text().contains(markup)) {
                ++shown;
                QVERIFY2(label->textFormat() == Qt::PlainText, qPrintable(label->objectName()));
            }
        }
    }
    QCOMPARE(shown, 5); // two in the browse window, one in each other window, the alert's hint
    delete alert;
}

void TestBrowser::cardActions()
{
    Share share({kKeys, ab(1, OwnerCard{{PrivEmailTag, u"ann@example.org?attach=/etc/passwd&cc=eve@x.org"_qs},
                                        {BussProjectTag, u"Atlas"_qs}, {PrivCommentsTag, u"hi"_qs},
                                        {PrivWebsiteTag, u"example.org/~ann"_qs}, {BussPhoneTag, u"+43 1"_qs}})});
    download(u"Ann"_qs, share);
    QVERIFY(!outlet<QPushButton>(u"bussEmailButtonOL"_qs)->isEnabled());
    QTest::mouseClick(outlet<QPushButton>(u"privEmailButtonOL"_qs), Qt::LeftButton);
    QTest::mouseClick(outlet<QPushButton>(u"privWebsiteButtonOL"_qs), Qt::LeftButton);
    QCOMPARE(w->platform.openedUrls, (QList<QUrl>{QUrl(u"mailto:ann@example.org"_qs), QUrl(u"http://example.org/~ann"_qs)}));
    // "http:" anywhere keeps the value as it is: it must still be a web page.
    outlet(u"privWebsiteFieldOL"_qs)->setText(u"mailto:eve@x.org?attach=/etc/passwd&body=http:"_qs);
    QTest::mouseClick(outlet<QPushButton>(u"privWebsiteButtonOL"_qs), Qt::LeftButton);
    QCOMPARE(w->platform.openedUrls.size(), 2);
    QCOMPARE(w->platform.beeps, 1);

    auto *copy = outlet<QPushButton>(u"copyCardButtonOL"_qs);
    QTest::mouseClick(copy, Qt::LeftButton);
    QTest::mouseClick(copy, Qt::LeftButton);
    QCOMPARE(ABAddressBook(w->storeDir.path()).people().size(), 2);
    const ABPerson *person = w->book.people().first();
    QCOMPARE(person->valueForProperty(kABNoteProperty).toString(), u"Project: Atlas\nComment: hi\n"_qs);
    const ABMultiValue phones = person->valueForProperty(kABPhoneProperty).value<ABMultiValue>();
    QCOMPARE(phones.toLabeledValues(), (QVariantList{QVariantMap{{kABPhoneProperty, u"+43 1"_qs}},
                                                     QVariantMap{{kABPhoneMobileLabel, u""_qs}}}));
    QVERIFY(w->platform.alerts.isEmpty());

    // A file where the store's folder was: the failed save is told, once.
    QVERIFY(QDir(w->storeDir.path()).removeRecursively());
    QFile blocker(w->storeDir.path());
    QVERIFY(blocker.open(QIODevice::WriteOnly));
    QTest::mouseClick(copy, Qt::LeftButton);
    QCOMPARE(w->platform.alerts.size(), 1);
    blocker.remove();
}

void TestBrowser::mailAddressOnly()
{
    const QList<std::pair<QString, QString>> cases = {
        {u" ann@example.org "_qs, u"ann@example.org"_qs},
        {u"MAILTO:ann@example.org?body=hi&cc=eve@x.org"_qs, u"ann@example.org"_qs},
        {u"ann@example.org%3Fattach=x"_qs, u"ann@example.org"_qs},
        {u"http://example.org/"_qs, QString()},
        {u"ann@example.org\nbcc:eve@x.org"_qs, QString()}};
    for (const auto &[value, address] : cases)
        QCOMPARE(SharerCard::mailAddressOnly(value), address);
}

QTEST_MAIN(TestBrowser)
#include "tst_browser.moc"
