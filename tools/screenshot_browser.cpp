// Renders the browse window after a download, without a display, into a PNG file: a share of a
// few persons runs in this process on 127.0.0.1 and is listed beside other announced shares and
// two servers entered by hand. Used by scripts/screenshots.sh for the README.
// Usage: screenshot_browser OUTPUT.png
#include "abglobals.h"
#include "inprocessdnssd.h"
#include "ownercardfields.h"
#include "qfexchangeserver.h"
#include "qfrendezvousclient.h"
#include "staticservercontroller.h"
#include "vcardbrowsercontroller.h"

#include <QApplication>
#include <QSettings>
#include <QTableView>
#include <QTcpServer>
#include <QTcpSocket>
#include <QTimer>

#include <cstdio>

int main(int argc, char **argv)
{
    if (argc != 2) {
        std::fprintf(stderr, "usage: screenshot_browser OUTPUT.png\n");
        return 2;
    }
    QApplication app(argc, argv);
    QApplication::setOrganizationName(QStringLiteral("quenfold"));
    QApplication::setApplicationName(QStringLiteral("zorbix"));

    RecordList persons;
    const QStringList names = {QStringLiteral("Ada Brandt"), QStringLiteral("Jonas Keller"), QStringLiteral("Mia Novak"),
                               QStringLiteral("Lukas Weber"), QStringLiteral("Sofia Rossi"), QStringLiteral("Tim Berger")};
    for (int i = 0; i < 48; ++i) {
        const QStringList parts = names.at(i % names.size()).split(u' ');
        persons.append(FlatPerson{{kABFirstNameProperty, parts.at(0)}, {kABLastNameProperty, parts.at(1)}});
    }
    const OwnerCard card{{FirstNameTag, QStringLiteral("Clara")},
                         {LastNameTag, QStringLiteral("Hoffmann")},
                         {BussDepartmentTag, QStringLiteral("Sales Europe")},
                         {BussPhoneTag, QStringLiteral("+49 30 1234 567")},
                         {BussMobileTag, QStringLiteral("+49 170 765 4321")},
                         {BussProjectTag, QStringLiteral("Trade fair 2027")},
                         {BussEmailTag, QStringLiteral("clara.hoffmann@example.com")},
                         {PrivInterestsTag, QStringLiteral("Climbing, jazz")},
                         {PrivWebsiteTag, QStringLiteral("www.example.org/clara")},
                         {PrivEmailTag, QStringLiteral("clara@example.net")},
                         {PrivCommentsTag, QStringLiteral("Back from leave in May")}};
    QFExchangeServer server;
    server.setRecordProvider([&persons] { return persons; });
    server.setOwnerCardProvider([&card] { return card; });
    QTcpServer listener;
    QObject::connect(&listener, &QTcpServer::newConnection, &server, [&] {
        while (QTcpSocket *socket = listener.nextPendingConnection())
            server.connectionReceived(socket);
    });
    if (!listener.listen(QHostAddress::LocalHost, 0))
        return 1;

    QVariantList sites;
    for (const auto &[name, host] : {std::pair{"Head Office", "10.1.0.20"}, std::pair{"Branch Graz", "graz.example.com"}})
        sites.append(QVariantMap{{StaticServerController::kServerName, QString::fromUtf8(name)},
                                 {StaticServerController::kServerIP, QString::fromUtf8(host)},
                                 {StaticServerController::kServerPort, QStringLiteral("9879")}});
    QSettings().setValue(StaticServerController::kSiteListKey, sites);
    StaticServerController statics;
    InProcessDnsSd dnssd;
    QFRendezvousClient rendezvous(dnssd);
    vCardBrowserController browser(&rendezvous, &statics);
    const QStringList shares = {QStringLiteral("Clara's Contacts"), QStringLiteral("Front Desk"),
                                QStringLiteral("Sales Team"), QStringLiteral("Workshop")};
    for (qsizetype i = 0; i < shares.size(); ++i) {
        const DnsSdService service{shares.at(i), QStringLiteral("_zorbix._tcp"), QStringLiteral("local")};
        dnssd.announce(service, i + 1 < shares.size());
        dnssd.setAddresses(service, {SocketAddress(QHostAddress::LocalHost, listener.serverPort())});
    }
    QWidget *window = browser.window();
    window->resize(window->sizeHint().expandedTo(QSize(940, 540)));
    window->show();

    int result = 1;
    QObject::connect(&browser, &vCardBrowserController::downloadEnded, &app, [&](bool completed) {
        if (completed && window->grab().save(QString::fromLocal8Bit(argv[1])))
            result = 0;
        app.quit();
    });
    // Once the announced addresses have arrived.
    QTimer::singleShot(200, &app, [&] {
        window->findChild<QTableView *>(QStringLiteral("zorbixServerList"))->selectRow(0);
        browser.serviceClicked();
    });
    QTimer::singleShot(30000, &app, &QCoreApplication::quit);
    app.exec();
    return result;
}
