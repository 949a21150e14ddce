// Renders the main window, the browse window after a download and the export window into PNG
// files, without a display. The application runs as the user meets it: an address book of a few
// dozen persons in a temporary folder, two of its groups shared under a share name, and the
// share downloaded from the browse window (where it is listed beside other announced shares and
// two servers entered by hand). DNS-SD stays in this process. Used by scripts/screenshots.sh.
// Usage: screenshot_windows OUTPUT-DIRECTORY
#include "absharingpropcontroller.h"
#include "dnssdbackend.h"
#include "exportcontroller.h"
#include "inprocessdnssd.h"
#include "ownercardfields.h"
#include "shareservice.h"
#include "staticservercontroller.h"
#include "vcardbrowsercontroller.h"
#include "vcardsharingcontroller.h"
#include "viewerwindow.h"

#include <QAbstractButton>
#include <QAction>
#include <QApplication>
#include <QDir>
#include <QFile>
#include <QLineEdit>
#include <QPushButton>
#include <QSettings>
#include <QTableView>
#include <QTemporaryDir>
#include <QTimer>

#include <cstdio>

namespace {
const QString kShareName = QStringLiteral("Clara's Contacts");

// Persons in three groups; the first two are shared.
bool writeStore(const QString &dir)
{
    const QStringList first = {QStringLiteral("Ada"),   QStringLiteral("Jonas"), QStringLiteral("Mia"),
                               QStringLiteral("Lukas"), QStringLiteral("Sofia"), QStringLiteral("Tim"),
                               QStringLiteral("Lena"),  QStringLiteral("Paul")};
    const QStringList last = {QStringLiteral("Brandt"), QStringLiteral("Keller"), QStringLiteral("Novak"),
                              QStringLiteral("Weber"),  QStringLiteral("Rossi"),  QStringLiteral("Berger")};
    const QStringList groups = {QStringLiteral("Friends"), QStringLiteral("Sales Team"),
                                QStringLiteral("Suppliers")};
    QStringList members[3];
    for (int i = 0; i < 48; ++i) {
        const QString uid = QStringLiteral("person-%1").arg(i);
        const QString given = first.at(i % first.size());
        const QString family = last.at(i / first.size() % last.size());
        QFile card(dir + u'/' + uid + QStringLiteral(".vcf"));
        if (!card.open(QIODevice::WriteOnly))
            return false;
        card.write(QStringLiteral("BEGIN:VCARD\r\nVERSION:3.0\r\nUID:%1\r\nN:%2;%3;;;\r\nFN:%3 %2\r\n"
                                  "ORG:Example Trading\r\nEMAIL;TYPE=WORK:%4.%5@example.com\r\n"
                                  "TEL;TYPE=WORK:+49 30 555 %6\r\nEND:VCARD\r\n")
                       .arg(uid, family, given, given.toLower(), family.toLower())
                       .arg(1000 + i * 7)
                       .toUtf8());
        members[i % 3].append(uid);
    }
    for (int g = 0; g < 3; ++g) {
        QFile card(dir + QStringLiteral("/group-%1.vcf").arg(g));
        if (!card.open(QIODevice::WriteOnly))
            return false;
        QString text = QStringLiteral("BEGIN:VCARD\r\nVERSION:3.0\r\nUID:group-%1\r\nFN:%2\r\nN:%2;;;;\r\n"
                                      "X-ADDRESSBOOKSERVER-KIND:group\r\n")
                           .arg(g)
                           .arg(groups.at(g));
        for (const QString &uid : members[g])
            text += QStringLiteral("X-ADDRESSBOOKSERVER-MEMBER:urn:uuid:%1\r\n").arg(uid);
        card.write((text + QStringLiteral("END:VCARD\r\n")).toUtf8());
    }
    return true;
}

bool save(QWidget *window, const QString &path)
{
    const bool saved = window->grab().save(path);
    std::printf("%s %s\n", saved ? "wrote" : "could not write", qPrintable(path));
    return saved;
}

void shareGroup(ABSharingPropController *groups, const QString &name)
{
    for (int r = 0; r < groups->numberOfRowsInTableView(groups->nonSharedTableOL()); ++r) {
        if (groups->tableViewObjectValue(groups->nonSharedTableOL(), 0, r) == name) {
            groups->nonSharedTableOL()->selectRow(r);
            groups->doShare();
            return;
        }
    }
}
} // namespace

int main(int argc, char **argv)
{
    if (argc != 2) {
        std::fprintf(stderr, "usage: screenshot_windows OUTPUT-DIRECTORY\n");
        return 2;
    }
    QApplication app(argc, argv);
    QApplication::setOrganizationName(QStringLiteral("quenfold"));
    QApplication::setApplicationName(QStringLiteral("zorbix"));
    const QDir out(QString::fromLocal8Bit(argv[1]));
    QTemporaryDir store;
    if (!store.isValid() || !writeStore(store.path()))
        return 1;
    qputenv("ZORBIX_ADDRESSBOOK", store.path().toUtf8());
    InProcessDnsSd dnssd;
    DnsSdBackend::install(&dnssd);

    QVariantList sites;
    for (const auto &[name, host] :
         {std::pair{"Head Office", "10.1.0.20"}, std::pair{"Branch Graz", "graz.example.com"}})
        sites.append(QVariantMap{{StaticServerController::kServerName, QString::fromUtf8(name)},
                                 {StaticServerController::kServerIP, QString::fromUtf8(host)},
                                 {StaticServerController::kServerPort, QStringLiteral("9879")}});
    QSettings().setValue(StaticServerController::kSiteListKey, sites);
    QSettings().setValue(ExportController::exportPathName,
                         QStringLiteral("/home/clara/Documents/contacts.csv"));

    vCardSharingController controller;
    ViewerWindow *main = controller.window();
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
    for (QLineEdit *field : controller.ownerCardEditor()->findChildren<QLineEdit *>())
        field->setText(card.value(field->property("tag").toInt(), field->text()));
    shareGroup(controller.ABSharingControllerRef(), QStringLiteral("Friends"));
    shareGroup(controller.ABSharingControllerRef(), QStringLiteral("Sales Team"));
    controller.serviceNameField()->setText(kShareName);
    main->resize(main->sizeHint().expandedTo(QSize(760, 520)));
    main->show();
    controller.toggleSharingButton()->click();

    vCardBrowserController *browser = controller.browserController();
    int result = 1;
    QObject::connect(browser, &vCardBrowserController::downloadEnded, &app, [&](bool completed) {
        QWidget *window = browser->window();
        if (completed && save(window, out.filePath(QStringLiteral("browse-window.png")))) {
            main->findChild<QAction *>(QStringLiteral("exportCSVAction"))->trigger();
            QWidget *exporter = QApplication::activeWindow();
            for (QWidget *top : QApplication::topLevelWidgets()) {
                if (top->isVisible() && top->objectName() == QStringLiteral("exportWindowOL"))
                    exporter = top;
            }
            // The choices of a spreadsheet: RFC 4180 quoting, commas, CR LF, a header line first.
            for (const char *choice :
                 {"enclQuotedCSVButtonOL", "sepPlainCommaButtonOL", "lineEndCRLFOL", "headFirstButtonOL"}) {
                if (auto *button =
                        exporter ? exporter->findChild<QAbstractButton *>(QLatin1String(choice)) : nullptr)
                    button->click();
            }
            if (exporter && save(exporter, out.filePath(QStringLiteral("export-window.png"))))
                result = 0;
        }
        app.quit();
    });
    // Once the share is announced: the main window, then the share as other computers list it.
    QObject::connect(&controller.shareService(), &ShareService::displayChanged, &app, [&] {
        static bool done = false;
        if (done || !controller.shareService().isAnnounced())
            return;
        done = true;
        QTimer::singleShot(100, &app, [&] {
            controller.doABProperties();
            if (!save(main, out.filePath(QStringLiteral("main-window.png")))) {
                app.quit();
                return;
            }
            // Our own share is listed like the others; all of them answer on our port.
            const QStringList shares = {kShareName, QStringLiteral("Front Desk"),
                                        QStringLiteral("Sales Team"), QStringLiteral("Workshop")};
            for (qsizetype i = 0; i < shares.size(); ++i) {
                const DnsSdService service{shares.at(i), QStringLiteral("_zorbix._tcp"),
                                           QStringLiteral("local")};
                if (i > 0)
                    dnssd.announce(service, i + 1 < shares.size());
                dnssd.setAddresses(
                    service, {SocketAddress(QHostAddress::LocalHost, controller.shareService().port())});
            }
            controller.doShowShareBrowser();
            QWidget *window = browser->window();
            window->resize(window->sizeHint().expandedTo(QSize(940, 540)));
            QTimer::singleShot(200, &app, [browser, window] {
                window->findChild<QTableView *>(QStringLiteral("zorbixServerList"))->selectRow(0);
                browser->serviceClicked();
            });
        });
    });
    QTimer::singleShot(30000, &app, &QCoreApplication::quit);
    app.exec();
    DnsSdBackend::install(nullptr);
    return result;
}
