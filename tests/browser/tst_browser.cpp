#include "abaddressbook.h"
#include "abglobals.h"
#include "abmultivalue.h"
#include "abperson.h"
#include "exchangearchive.h"
#include "inprocessdnssd.h"
#include "ownercardfields.h"
#include "qfconnectionpool.h"
#include "qfexchangeclient.h"
#include "qfrendezvousclient.h"
#include "recordingplatform.h"
#include "sharercard.h"
#include "staticservercontroller.h"
#include "testmessages.h"
#include "vcardbrowsercontroller.h"
#include "vcardsharingcontroller.h"
#include "viewerwindow.h"

#include <QAction>
#include <QCborArray>
#include <QCborMap>
#include <QLabel>
#include <QLineEdit>
#include <QProgressBar>
#include <QPushButton>
#include <QTableView>
#include <QTcpServer>
#include <QTcpSocket>
#include <QTemporaryDir>
#include <QtTest>

// The browse window through real sockets on 127.0.0.1: shares written by hand send chosen
// frames, the window is clicked and typed into as a user would.

namespace {

QByteArray frameOf(const QByteArray &payload)
{
    QTcpSocket unused;
    return QFConnectionPool::packData(payload, &unused);
}

QByteArray frame(const QVariantMap &message)
{
    return frameOf(ExchangeArchive::encode(message).value());
}

const QByteArray kKeys = frame({{u"type"_qs, u"keys"_qs}, {u"Keys1"_qs, 7}});

QVariantList people(int count)
{
    QVariantList list;
    for (int i = 0; i < count; ++i)
        list.append(QVariantMap{{kABFirstNameProperty, QStringLiteral("P%1").arg(i)}});
    return list;
}

QByteArray ab(const std::optional<QVariantList> &records, const std::optional<OwnerCard> &card)
{
    QVariantMap message{{u"type"_qs, u"AB"_qs}};
    if (records)
        message.insert(u"ABData"_qs, *records);
    if (card)
        message.insert(u"pData"_qs, QVariant::fromValue(*card));
    return frame(message);
}

OwnerCard card(const QString &suffix)
{
    OwnerCard c;
    for (int tag = 1; tag <= 11; ++tag)
        c.insert(tag, QStringLiteral("f%1%2").arg(tag).arg(suffix));
    return c;
}

// A share written by hand: each request frame is answered with the next reply ("close" closes);
// when the replies run out it says nothing.
class Share
{
public:
    explicit Share(QList<QByteArray> replies = {}) : replies(std::move(replies))
    {
        QObject::connect(&listener, &QTcpServer::newConnection, &listener, [this] {
            peer = listener.nextPendingConnection();
            pool.addConnection(peer);
            QObject::connect(peer, &QTcpSocket::readyRead, peer, [this, socket = peer] {
                pool.addData(socket->readAll(), socket);
                while (pool.isConnectionComplete(socket)) {
                    pool.unpackDatafromConnection(socket);
                    ++requests;
                    if (this->replies.isEmpty())
                        continue;
                    const QByteArray reply = this->replies.takeFirst();
                    reply == "close" ? socket->disconnectFromHost() : void(socket->write(reply));
                }
            });
        });
        listener.listen(QHostAddress::LocalHost, 0);
        port = listener.serverPort();
    }
    QTcpServer listener;
    quint16 port = 0;
    QFConnectionPool pool;
    QList<QByteArray> replies;
    QTcpSocket *peer = nullptr;
    int requests = 0;
};

struct Consumer : RemoteABConsumer
{
    Consumer(QStringList &log, QString name) : log(log), name(std::move(name)) {}
    void doReloadData(RemoteABSource *sender) override
    {
        log.append(name + QString::number(sender->getRemoteAB() ? sender->getRemoteAB()->size() : -1));
    }
    QStringList &log;
    QString name;
};

} // namespace

class TestBrowser : public QObject
{
    Q_OBJECT

private slots:
    void init();
    void cleanup();
    void filterNarrowsPerKeystroke();
    void downloadOutcomes_data();
    void downloadOutcomes();
    void fiveChunksFlipThePictureFourTimes();
    void clicksWhileRunningAndCancel();
    void nothingToConnectTo();
    void cardActions();
    void mailAddressOnly_data();
    void mailAddressOnly();
    void windowPlacementSurvivesRestart();
    void reachableFromMainWindow();

private:
    template <typename T> T *outlet(const char *name) { return browser->window()->findChild<T *>(QLatin1String(name)); }
    QString text(const char *name) { return outlet<QLineEdit>(name)->text(); }
    qint64 picture() { return outlet<QPushButton>("commStateButtonOL")->icon().cacheKey(); }
    qint64 holder(const char *name) { return outlet<QPushButton>(name)->icon().cacheKey(); }
    void announce(const QString &name, const Share *share, bool moreComing = false);
    void click(QTableView *table, int row);
    void clickShare(const QString &name);
    void download(const QString &name, const Share &share);

    std::unique_ptr<RecordingPlatform> platform;
    std::unique_ptr<QTemporaryDir> storeDir;
    std::unique_ptr<ABAddressBook> book;
    std::unique_ptr<InProcessDnsSd> dnssd;
    std::unique_ptr<QFRendezvousClient> rendezvous;
    std::unique_ptr<StaticServerController> statics;
    std::unique_ptr<vCardBrowserController> browser;
    QStringList consumerLog;
    std::vector<std::unique_ptr<Consumer>> consumers;
};

void TestBrowser::init()
{
    QSettings().clear();
    platform = std::make_unique<RecordingPlatform>();
    storeDir = std::make_unique<QTemporaryDir>();
    book = std::make_unique<ABAddressBook>(storeDir->path());
    ABAddressBook::setSharedAddressBook(book.get());
    dnssd = std::make_unique<InProcessDnsSd>();
    rendezvous = std::make_unique<QFRendezvousClient>(*dnssd);
    statics = std::make_unique<StaticServerController>();
    browser = std::make_unique<vCardBrowserController>(rendezvous.get(), statics.get());
    browser->exchangeClient().setIdleTimeout(300);
    consumerLog.clear();
    consumers.clear();
    for (const QString &name : {u"detail"_qs, u"sync"_qs, u"export"_qs})
        consumers.push_back(std::make_unique<Consumer>(consumerLog, name));
    browser->setABBrowserController(consumers[0].get());
    browser->setQuickSyncController(consumers[1].get());
    browser->setExportController(consumers[2].get());
    browser->window()->show();
    QVERIFY(QTest::qWaitForWindowExposed(browser->window()));
}

void TestBrowser::cleanup()
{
    browser.reset();
    statics.reset();
    rendezvous.reset();
    dnssd.reset();
    ABAddressBook::setSharedAddressBook(nullptr);
    book.reset();
    platform.reset();
}

void TestBrowser::announce(const QString &name, const Share *share, bool moreComing)
{
    const DnsSdService service{name, u"_zorbix._tcp"_qs, u"local"_qs};
    dnssd->announce(service, moreComing);
    if (share)
        dnssd->setAddresses(service, {SocketAddress(QHostAddress::LocalHost, share->port)});
}

void TestBrowser::click(QTableView *table, int row)
{
    QCoreApplication::processEvents(); // lays the new rows out
    const QRect cell = table->visualRect(table->model()->index(row, 0));
    QVERIFY(cell.isValid());
    QTest::mouseClick(table->viewport(), Qt::LeftButton, {}, cell.center());
}

void TestBrowser::clickShare(const QString &name)
{
    click(outlet<QTableView>("zorbixServerList"), int(browser->filteredServices().value().indexOf(name)));
}

void TestBrowser::download(const QString &name, const Share &share)
{
    announce(name, &share);
    clickShare(name);
    QTRY_VERIFY(!browser->isRunningAsyncComm());
}

void TestBrowser::filterNarrowsPerKeystroke()
{
    QVERIFY(!browser->filteredServices());
    QCOMPARE(outlet<QTableView>("zorbixServerList")->model()->rowCount(), 0);
    announce(u"Office"_qs, nullptr, true);
    announce(u"office annex"_qs, nullptr, true);
    announce(u"Home"_qs, nullptr);
    const QStringList all{u"Office"_qs, u"office annex"_qs, u"Home"_qs};
    QCOMPARE(browser->filteredServices().value(), all);
    QLineEdit *filter = outlet<QLineEdit>("filterFieldOL");
    const QList<std::pair<Qt::Key, QStringList>> steps = {
        {Qt::Key_O, {u"office annex"_qs, u"Home"_qs}}, // lower-case "o": capitals count
        {Qt::Key_F, {u"office annex"_qs}},
        {Qt::Key_Backspace, {u"office annex"_qs, u"Home"_qs}},
        {Qt::Key_Backspace, all}};
    for (const auto &[key, expected] : steps) {
        QTest::keyClick(filter, key);
        QCOMPARE(browser->filteredServices().value(), expected);
        QCOMPARE(outlet<QTableView>("zorbixServerList")->model()->rowCount(), expected.size());
    }
}

void TestBrowser::downloadOutcomes_data()
{
    QTest::addColumn<QList<QByteArray>>("replies");
    QTest::addColumn<QByteArray>("problemKey"); // the one alert, if any
    QTest::addColumn<int>("records");           // -1: no remote address book
    QTest::addColumn<bool>("completes");
    QTest::addColumn<QMap<int, QString>>("cardAfter"); // fields that change
    QCborMap nonText{{u"type"_qs, u"AB"_qs}, {u"pData"_qs, QCborMap{{1, 5}}}};
    const QByteArray network = "BR_NetworkProblem", incompatible = "SC_NonCompatibleProblem";
    QTest::newRow("refused") << QList<QByteArray>{"refuse"} << network << 3 << false << OwnerCard();
    QTest::newRow("says nothing") << QList<QByteArray>{} << network << 3 << false << OwnerCard();
    QTest::newRow("closes after keys") << QList<QByteArray>{kKeys, "close"} << network << 3 << false << OwnerCard();
    QTest::newRow("non-map") << QList<QByteArray>{frameOf(QCborValue(QCborArray{1}).toCbor())} << incompatible << 3
                             << false << OwnerCard();
    QTest::newRow("no digits") << QList<QByteArray>{"HTTP/1.1 400 Bad Request\r\n\r\n"} << incompatible << 3 << false
                               << OwnerCard();
    QTest::newRow("pData not text") << QList<QByteArray>{kKeys, frameOf(nonText.toCborValue().toCbor())} << incompatible
                                    << 3 << false << OwnerCard();
    QTest::newRow("AB without ABData") << QList<QByteArray>{kKeys, ab(std::nullopt, card(u"new"_qs))} << QByteArray()
                                       << -1 << true << card(u"new"_qs);
    QTest::newRow("250, no pData") << QList<QByteArray>{kKeys, ab(people(250), std::nullopt)} << QByteArray() << 250
                                   << true << OwnerCard();
    QTest::newRow("unknown tag") << QList<QByteArray>{kKeys, ab(people(0), OwnerCard{{1, u"Zoë"_qs}, {99, u"x"_qs}})}
                                 << QByteArray() << 0 << true << OwnerCard{{1, u"Zoë"_qs}};
    QTest::newRow("other type") << QList<QByteArray>{kKeys, frame({{u"type"_qs, u"hello"_qs}})} << QByteArray() << 3
                                << true << OwnerCard();
}

void TestBrowser::downloadOutcomes()
{
    QFETCH(QList<QByteArray>, replies);
    QFETCH(QByteArray, problemKey);
    QFETCH(int, records);
    QFETCH(bool, completes);
    QFETCH(OwnerCard, cardAfter);
    // First a good download in one chunk: no flip, the last activity picture stays.
    Share first({kKeys, ab(people(3), card(u"old"_qs))});
    download(u"First"_qs, first);
    QCOMPARE(picture(), holder("commGBButtonOL"));
    QCOMPARE(consumerLog, (QStringList{u"detail3"_qs, u"sync3"_qs, u"export3"_qs}));
    QVERIFY(platform->alerts.isEmpty());

    Share second(replies);
    if (replies.value(0) == "refuse")
        second.listener.close();
    download(u"Second"_qs, second);
    if (problemKey.isEmpty())
        QVERIFY(platform->alerts.isEmpty());
    else
        QCOMPARE(platform->alerts.value(0).first, msg(problemKey.constData()));
    QVERIFY(platform->alerts.size() <= 1);
    QCOMPARE(browser->getSelectedShareName(), u"Second"_qs);
    QCOMPARE(browser->getRemoteAB() ? int(browser->getRemoteAB()->size()) : -1, records);
    QCOMPARE(outlet<QPushButton>("showABBrowserButtonOL")->isEnabled(), records >= 0);
    const QString loaded = (completes ? u"Second"_qs : u"First"_qs) + msg("AB_Records").arg(qMax(records, 0));
    QCOMPARE(outlet<QLabel>("loadedShareName1OL")->text(), loaded);
    QCOMPARE(outlet<QLabel>("loadedShareName2OL")->text(), loaded);
    QCOMPARE(consumerLog.size(), completes ? 6 : 3);
    OwnerCard shown = card(u"old"_qs);
    shown.insert(cardAfter);
    for (auto it = shown.cbegin(); it != shown.cend(); ++it)
        QCOMPARE(browser->window()->findChild<QLineEdit *>(QLatin1String(kOwnerCardFields[it.key() - 1].objectName))->text(),
                 it.value());
    QCOMPARE(picture() == holder("commGRButtonOL"), !completes);
    QCOMPARE(outlet<QPushButton>("commStateButtonOL")->isEnabled(), completes);
    QCOMPARE(outlet<QLabel>("generalStatusMessageOL")->text(), QString());
    QVERIFY(!outlet<QProgressBar>("mainChasingArrowsOL")->isVisible());
}

void TestBrowser::fiveChunksFlipThePictureFourTimes()
{
    Share share({kKeys});
    announce(u"Slow"_qs, &share);
    clickShare(u"Slow"_qs);
    QCOMPARE(outlet<QLabel>("generalStatusMessageOL")->text(), u"Trying to connect..."_qs);
    QTRY_COMPARE(share.requests, 2);
    QCOMPARE(outlet<QLabel>("generalStatusMessageOL")->text(), u"Connected. Receiving..."_qs);
    const QByteArray reply = ab(people(40), card(u""_qs));
    const qsizetype step = reply.size() / 5;
    QList<qint64> pictures;
    for (int i = 0; i < 4; ++i) {
        share.peer->write(reply.mid(i * step, step));
        QTRY_COMPARE(outlet<QProgressBar>("downloadProgressOL")->value(), int((i + 1) * step));
        QCOMPARE(outlet<QProgressBar>("downloadProgressOL")->maximum(), int(reply.size()));
        pictures.append(picture());
    }
    const qint64 one = holder("commGBButtonOL"), two = holder("commGGButtonOL");
    QCOMPARE(pictures, (QList<qint64>{two, one, two, one}));
    share.peer->write(reply.mid(4 * step));
    QTRY_VERIFY(!browser->isRunningAsyncComm());
    QCOMPARE(int(browser->getRemoteAB()->size()), 40);
    QCOMPARE(picture(), one);
    QVERIFY(!outlet<QProgressBar>("downloadProgressOL")->isVisible());
}

void TestBrowser::clicksWhileRunningAndCancel()
{
    Share silent;
    QSettings().setValue(StaticServerController::kSiteListKey,
                         QVariantList{QVariantMap{{StaticServerController::kServerName, u"Manual"_qs},
                                                  {StaticServerController::kServerIP, u"127.0.0.1"_qs},
                                                  {StaticServerController::kServerPort, QString::number(silent.listener.serverPort())}}});
    statics->loadFromDefaults();
    announce(u"A"_qs, &silent, true);
    announce(u"B"_qs, &silent);
    QTableView *shares = outlet<QTableView>("zorbixServerList");
    QTableView *manual = statics->getStaticServerBrowserTable();
    browser->exchangeClient().setIdleTimeout(60000);
    const qint64 initial = picture();
    browser->window()->activateWindow();
    QVERIFY(QTest::qWaitForWindowActive(browser->window()));

    clickShare(u"A"_qs);
    QVERIFY(browser->isRunningAsyncComm());
    QTRY_COMPARE(silent.requests, 1);
    QVERIFY(outlet<QPushButton>("cancelDownloadButtonOL")->isEnabled());
    clickShare(u"B"_qs);
    click(manual, 0);
    QCOMPARE(shares->selectionModel()->selectedRows().value(0).row(), 0);
    QVERIFY(!statics->isServerInShareBrowserSelected());
    QCOMPARE(browser->getSelectedShareName(), u"A"_qs);
    QTest::keyClick(browser->window(), Qt::Key_Escape);
    QVERIFY(!browser->isRunningAsyncComm());
    QCOMPARE(picture(), initial);

    // The other list: its selection clears the first, and the button cancels too.
    click(manual, 0);
    QVERIFY(statics->isServerInShareBrowserSelected());
    QVERIFY(shares->selectionModel()->selectedRows().isEmpty());
    QTRY_COMPARE(silent.requests, 2);
    QCOMPARE(browser->getSelectedShareName(), u"Manual"_qs);
    QTest::mouseClick(outlet<QPushButton>("cancelDownloadButtonOL"), Qt::LeftButton);
    QVERIFY(!browser->isRunningAsyncComm());
    clickShare(u"B"_qs);
    QVERIFY(!statics->isServerInShareBrowserSelected());
    browser->doCancelDownload();
    QVERIFY(platform->alerts.isEmpty());
    QVERIFY(!browser->getRemoteAB());
}

void TestBrowser::nothingToConnectTo()
{
    // Announced but not resolved yet, and gone while the list still showed it: the failure
    // picture, no alert, no status text.
    Share gone;
    announce(u"Unresolved"_qs, nullptr);
    announce(u"Gone"_qs, &gone);
    dnssd->withdraw({u"Gone"_qs, u"_zorbix._tcp"_qs, u"local"_qs}, true); // the batch is not over yet
    for (const QString &name : {u"Unresolved"_qs, u"Gone"_qs}) {
        clickShare(name);
        QVERIFY(!browser->isRunningAsyncComm());
        QCOMPARE(picture(), holder("commGRButtonOL"));
        QVERIFY(!outlet<QPushButton>("commStateButtonOL")->isEnabled());
        QCOMPARE(outlet<QLabel>("generalStatusMessageOL")->text(), QString());
        QCOMPARE(browser->getSelectedShareName(), name);
    }
    QVERIFY(platform->alerts.isEmpty());

    // A hand-entered server whose name does not resolve: one alert, no download starts.
    QSettings().setValue(StaticServerController::kSiteListKey,
                         QVariantList{QVariantMap{{StaticServerController::kServerName, u"Nowhere"_qs},
                                                  {StaticServerController::kServerIP, u"no host.invalid"_qs},
                                                  {StaticServerController::kServerPort, u"9879"_qs}}});
    statics->loadFromDefaults();
    QSignalSpy ended(browser.get(), &vCardBrowserController::downloadEnded);
    click(statics->getStaticServerBrowserTable(), 0);
    QTRY_COMPARE(ended.size(), 1);
    QCOMPARE(platform->alerts, (QList<QPair<QString, QString>>{{msg("BR_DNSError"), msg("BR_DNSErrorHint")}}));
    QCOMPARE(browser->getSelectedShareName(), u"Gone"_qs);
}

void TestBrowser::cardActions()
{
    const OwnerCard sent{{PrivEmailTag, u"ann@example.org?attach=/etc/passwd&cc=eve@example.org"_qs},
                         {BussProjectTag, u"Atlas"_qs}, {PrivCommentsTag, u"hi"_qs},
                         {PrivWebsiteTag, u"example.org/~ann"_qs}, {BussPhoneTag, u"+43 1"_qs}};
    Share share({kKeys, ab(people(1), sent)});
    download(u"Ann"_qs, share);
    QVERIFY(outlet<QPushButton>("privEmailButtonOL")->isEnabled());
    QVERIFY(!outlet<QPushButton>("bussEmailButtonOL")->isEnabled());
    QTest::mouseClick(outlet<QPushButton>("privEmailButtonOL"), Qt::LeftButton);
    QTest::mouseClick(outlet<QPushButton>("privWebsiteButtonOL"), Qt::LeftButton);
    QCOMPARE(platform->openedUrls, (QList<QUrl>{QUrl(u"mailto:ann@example.org"_qs), QUrl(u"http://example.org/~ann"_qs)}));

    QPushButton *copy = outlet<QPushButton>("copyCardButtonOL");
    QTest::mouseClick(copy, Qt::LeftButton);
    QTest::mouseClick(copy, Qt::LeftButton);
    QCOMPARE(ABAddressBook(storeDir->path()).people().size(), 2);
    const ABPerson *person = book->people().first();
    QCOMPARE(person->valueForProperty(kABNoteProperty).toString(), u"Project: Atlas\nComment: hi\n"_qs);
    const ABMultiValue phones = person->valueForProperty(kABPhoneProperty).value<ABMultiValue>();
    QCOMPARE(phones.count(), 2);
    QCOMPARE(phones.labelAtIndex(0), kABPhoneProperty);
    QCOMPARE(phones.valueAtIndex(0).toString(), u"+43 1"_qs);
    QCOMPARE(phones.labelAtIndex(1), kABPhoneMobileLabel);
    QCOMPARE(person->valueForProperty(kABEmailProperty).value<ABMultiValue>().labelAtIndex(1), kABEmailHomeLabel);
    QVERIFY(platform->alerts.isEmpty());

    // The store's folder is gone and a file stands in its place: the failed save is told, once.
    QVERIFY(QDir(storeDir->path()).removeRecursively());
    QFile blocker(storeDir->path());
    QVERIFY(blocker.open(QIODevice::WriteOnly));
    QTest::mouseClick(copy, Qt::LeftButton);
    QCOMPARE(platform->alerts.size(), 1);
    blocker.remove();
}

void TestBrowser::mailAddressOnly_data()
{
    QTest::addColumn<QString>("value");
    QTest::addColumn<QString>("address");
    QTest::newRow("plain") << u" ann@example.org "_qs << u"ann@example.org"_qs;
    QTest::newRow("query fields") << u"ann@example.org?attach=/etc/passwd&cc=eve@x.org"_qs << u"ann@example.org"_qs;
    QTest::newRow("mailto with body") << u"MAILTO:ann@example.org?body=hi"_qs << u"ann@example.org"_qs;
    QTest::newRow("encoded ?") << u"ann@example.org%3Fattach=x"_qs << u"ann@example.org"_qs;
    QTest::newRow("web address") << u"http://example.org/"_qs << QString();
    QTest::newRow("two addresses") << u"ann@example.org,eve@x.org"_qs << QString();
    QTest::newRow("line feed") << u"ann@example.org\nbcc:eve@x.org"_qs << QString();
}

void TestBrowser::mailAddressOnly()
{
    QFETCH(QString, value);
    QFETCH(QString, address);
    QCOMPARE(SharerCard::mailAddressOnly(value), address);
}

void TestBrowser::windowPlacementSurvivesRestart()
{
    browser->window()->hide();
    browser->showWindow();
    browser->window()->setGeometry(60, 70, 700, 480);
    const QRect placed = browser->window()->geometry();
    browser.reset(); // the application ends with the window open
    for (bool open : {true, false}) {
        browser = std::make_unique<vCardBrowserController>(rendezvous.get(), statics.get());
        browser->restoreWindow();
        QCOMPARE(browser->window()->isVisible(), open);
        if (open) {
            QCOMPARE(browser->window()->geometry(), placed);
            browser->window()->close();
            browser.reset();
        }
    }
}

void TestBrowser::reachableFromMainWindow()
{
    browser.reset();
    // The shared rendezvous client outlives the test: so does its backend.
    DnsSdBackend::install(new InProcessDnsSd);
    vCardSharingController app;
    app.window()->show();
    QWidget *window = app.browserController()->window();
    QAction *action = app.window()->findChild<QAction *>(u"browseSharesAction"_qs);
    QCOMPARE(action->shortcut(), QKeySequence(u"Ctrl+B"_qs));
    action->trigger();
    QVERIFY(window->isVisible());
    window->close();
    QVERIFY(!window->isVisible());
    QTest::mouseClick(app.view(1)->findChild<QPushButton *>(u"showShareBrowserButton"_qs), Qt::LeftButton);
    QVERIFY(window->isVisible());
}

QTEST_MAIN(TestBrowser)
#include "tst_browser.moc"
