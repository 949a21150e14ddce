#include "supportmenu.h"

#include "contactcontroller.h"
#include "mailaccountdialog.h"
#include "reportcontroller.h"
#include "reviewwindow.h"
#include "updatecontroller.h"
#include "vcardcommon.h"

#include <QCoreApplication>
#include <QMenu>
#include <QPointer>

namespace {
struct Texts
{
    Q_DECLARE_TR_FUNCTIONS(SupportMenu)
};

void present(QWidget *window)
{
    window->show();
    window->raise();
    window->activateWindow();
}

// Keeps one window of each kind for the menu's lifetime.
class SupportWindows : public QObject
{
public:
    explicit SupportWindows(QObject *parent) : QObject(parent) {}
    ~SupportWindows() override { delete account.data(); }

    template <typename Controller> Controller &get(std::unique_ptr<Controller> &slot)
    {
        if (!slot)
            slot = std::make_unique<Controller>();
        return *slot;
    }

    std::unique_ptr<updateController> update;
    std::unique_ptr<ReportController> report;
    std::unique_ptr<ReviewWindow> review;
    std::unique_ptr<ContactController> contact;
    QPointer<MailAccountDialog> account;
};
} // namespace

void addSupportMenuItems(QMenu *menu)
{
    auto *windows = new SupportWindows(menu);
    menu->addSeparator();
    menu->addAction(Texts::tr("Check for &Updates…"), windows,
                    [windows] { present(windows->get(windows->update).window()); });
    menu->addAction(Texts::tr("Send a &Report…"), windows,
                    [windows] { present(windows->get(windows->report).window()); });
    menu->addAction(Texts::tr("Write a Re&view…"), windows,
                    [windows] { present(windows->get(windows->review).revWindowOL()); });
    menu->addAction(Texts::tr("&Contact quenfold…"), windows,
                    [windows] { present(windows->get(windows->contact).window()); });
    menu->addAction(Texts::tr("&Mail Account for Reports…"), windows, [windows] {
        if (!windows->account)
            windows->account = new MailAccountDialog;
        present(windows->account);
    });
    menu->addSeparator();
    menu->addAction(Texts::tr("zorbix &Web Page"), windows,
                    [] { vCardCommon::openZorbixHomepage(); });
    menu->addAction(Texts::tr("&quenfold Web Page"), windows,
                    [] { vCardCommon::openQuenfoldHomepage(); });
    menu->addAction(Texts::tr("Send &Feedback by Mail…"), windows,
                    [] { vCardCommon::emailQuenfold(); });
}
