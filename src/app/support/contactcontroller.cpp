#include "contactcontroller.h"

#include "makersite.h"
#include "platformhooks.h"
#include "ui_contactwindow.h"
#include "vcardcommon.h"

struct ContactController::Private
{
    std::unique_ptr<QWidget> window = std::make_unique<QWidget>();
    Ui::ContactWindow ui;
};

ContactController::ContactController(QObject *parent) : QObject(parent), d(std::make_unique<Private>())
{
    d->ui.setupUi(d->window.get());
    for (QPushButton *button : buttons())
        connect(button, &QPushButton::clicked, this, [this, button] { doHandleButton(button); });
}

ContactController::~ContactController() = default;

QWidget *ContactController::window() const
{
    return d->window.get();
}

std::array<QPushButton *, 6> ContactController::buttons() const
{
    return {d->ui.generalEmailOL, d->ui.generalWebOL,   d->ui.salesEmailOL,
            d->ui.salesWebOL,     d->ui.supportEmailOL, d->ui.supportWebOL};
}

QString ContactController::linkAt(int position)
{
    const QString subject = QStringLiteral("?subject=zorbix-1-1-1");
    switch (position) {
    case 0:
        return QStringLiteral("mailto:") + MakerSite::feedbackAddress() + subject;
    case 1:
        return MakerSite::page(QStringLiteral("/"));
    case 2:
        return QStringLiteral("mailto:") + MakerSite::salesAddress() + subject;
    case 3:
        return MakerSite::page(QStringLiteral("/orders.htm"));
    case 4:
        return QStringLiteral("mailto:") + MakerSite::supportAddress() + subject;
    case 5:
        return MakerSite::page(QStringLiteral("/support.htm"));
    default:
        return {};
    }
}

void ContactController::doHandleButton(QObject *sender)
{
    const auto all = buttons();
    const auto found = std::find(all.begin(), all.end(), sender);
    const QString link = found == all.end() ? QString() : linkAt(int(found - all.begin()));
    if (link.isEmpty() || !vCardCommon::openLink(link))
        PlatformHooks::current().beep();
}
