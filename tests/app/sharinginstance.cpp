// One copy of the desktop application, switched to sharing as a user does it on the sharing
// page: the named group moved to the shared list, the share named, the toggle pressed. The
// end-to-end test starts it with its own settings and store and reads its standard output:
// "announced PORT" once the share is on the network. Alerts and beeps go to standard error.
// Usage: sharinginstance SHARE-NAME GROUP
#include "absharingpropcontroller.h"
#include "platformhooks.h"
#include "shareservice.h"
#include "vcardsharingcontroller.h"
#include "viewerwindow.h"

#include <QApplication>
#include <QLineEdit>
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
    if (argc != 3) {
        std::fprintf(stderr, "usage: sharinginstance SHARE-NAME GROUP\n");
        return 2;
    }
    QApplication app(argc, argv);
    QApplication::setOrganizationName(QStringLiteral("quenfold"));
    QApplication::setApplicationName(QStringLiteral("zorbix"));
    PrintingPlatform hooks;
    PlatformHooks::install(&hooks);
    const QString shareName = QString::fromLocal8Bit(argv[1]);
    const QString groupName = QString::fromLocal8Bit(argv[2]);

    vCardSharingController controller;
    controller.window()->show();
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
