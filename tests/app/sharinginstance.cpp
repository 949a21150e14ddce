// One copy of the desktop application, switched to sharing as a user does it on the sharing
// page: the named group moved to the shared list, the share named, the toggle pressed. The
// end-to-end test starts it with its own settings and store and reads its standard output:
// "announced PORT" once the share is on the network. Alerts and beeps go to standard error.
// With "protected" it lets in only approved devices, prints "asked CODE" when a device asks and
// then presses Allow Once in the question.
// Usage: sharinginstance SHARE-NAME GROUP [protected]
#include "absharingpropcontroller.h"
#include "platformhooks.h"
#include "qfexchangeserver.h"
#include "trustcontroller.h"
#include "shareservice.h"
#include "vcardsharingcontroller.h"
#include "viewerwindow.h"

#include <QApplication>
#include <QLineEdit>
#include <QMessageBox>
#include <QSettings>
#include <QPushButton>
#include <QTableView>
#include <QTimer>

#include <cstdio>

namespace {
class PrintingPlatform final : public PlatformHooks
{
public:
    void showAlert(const QString &title, const QString &text) override
    {
        std::fprintf(stderr, "alert: %s | %s\n", qPrintable(title), qPrintable(text));
    }
    void beep() override { std::fprintf(stderr, "beep\n"); }
    bool openUrl(const QUrl &) override { return false; }
};
} // namespace

int main(int argc, char **argv)
{
    if (argc != 3 && argc != 4) {
        std::fprintf(stderr, "usage: sharinginstance SHARE-NAME GROUP [protected]\n");
        return 2;
    }
    QApplication app(argc, argv);
    QApplication::setOrganizationName(QStringLiteral("quenfold"));
    QApplication::setApplicationName(QStringLiteral("zorbix"));
    PrintingPlatform hooks;
    PlatformHooks::install(&hooks);
    const QString shareName = QString::fromLocal8Bit(argv[1]);
    const QString groupName = QString::fromLocal8Bit(argv[2]);

    const bool protectedShare = argc == 4 && QByteArray(argv[3]) == "protected";
    QSettings().setValue(QStringLiteral("sharingAccess"), protectedShare ? QStringLiteral("approved") : QStringLiteral("everyone"));

    vCardSharingController controller;
    controller.window()->show();
    QObject::connect(&controller.shareService().server(), &QFExchangeServer::approvalRequested, &app,
                     [&controller](quint64, const QString &, const QString &, const QByteArray &, const QString &code) {
                         std::printf("asked %s\n", qPrintable(code));
                         std::fflush(stdout);
                         QTimer::singleShot(300, &controller, [&controller] {
                             if (QMessageBox *question = controller.trustController()->approvalDialog())
                                 question->findChild<QPushButton *>(QStringLiteral("allowOnceButton"))->click();
                         });
                     });
    ABSharingPropController *groups = controller.ABSharingControllerRef();
    int row = -1;
    for (int r = 0; r < groups->numberOfRowsInTableView(groups->nonSharedTableOL()); ++r) {
        if (groups->tableViewObjectValue(groups->nonSharedTableOL(), 0, r) == groupName)
            row = r;
    }
    if (row < 0) {
        std::fprintf(stderr, "no group %s\n", qPrintable(groupName));
        return 1;
    }
    groups->nonSharedTableOL()->selectRow(row);
    groups->shareOneButtonOL()->click();
    controller.serviceNameField()->setText(shareName);

    bool told = false;
    QObject::connect(&controller.shareService(), &ShareService::displayChanged, &app, [&] {
        if (!told && controller.shareService().isAnnounced()) {
            told = true;
            std::printf("announced %u\n", unsigned(controller.shareService().port()));
            std::fflush(stdout);
        }
    });
    QTimer::singleShot(0, &app, [&controller] { controller.toggleSharingButton()->click(); });
    const int result = app.exec();
    PlatformHooks::install(nullptr);
    return result;
}
