#include "reviewwindow.h"

#include "makersite.h"
#include "platformhooks.h"
#include "ui_reviewwindow.h"
#include "vcardcommon.h"

struct ReviewWindow::Private
{
    std::unique_ptr<QWidget> window = std::make_unique<QWidget>();
    Ui::ReviewWindow ui;
};

ReviewWindow::ReviewWindow(QObject *parent) : QObject(parent), d(std::make_unique<Private>())
{
    d->ui.setupUi(d->window.get());
    connect(d->ui.sendButtonOL, &QPushButton::clicked, this, &ReviewWindow::sendEmailReview);
    connect(d->ui.cancelButtonOL, &QPushButton::clicked, d->window.get(), &QWidget::close);
}

ReviewWindow::~ReviewWindow() = default;

QWidget *ReviewWindow::revWindowOL() const
{
    return d->window.get();
}
QComboBox *ReviewWindow::revGUIListOL() const
{
    return d->ui.revGUIListOL;
}
QComboBox *ReviewWindow::revFunListOL() const
{
    return d->ui.revFunListOL;
}
QComboBox *ReviewWindow::revEaseListOL() const
{
    return d->ui.revEaseListOL;
}
QComboBox *ReviewWindow::revStabListOL() const
{
    return d->ui.revStabListOL;
}

QString ReviewWindow::reviewMailUrlText(const QString &gui, const QString &function, const QString &ease,
                                        const QString &stability)
{
    return QStringLiteral("mailto:") + MakerSite::feedbackAddress() + QStringLiteral("?subject=") +
           QStringLiteral("'REVIEW:zorbix=1.1.1,GUI=") + gui + QStringLiteral(",Funt=") + function +
           QStringLiteral(",Ease=") + ease + QStringLiteral(",Stab=") + stability + u'\'' +
           QStringLiteral("&body=Please%20comment%20here!");
}

void ReviewWindow::sendEmailReview()
{
    const QString text =
        reviewMailUrlText(d->ui.revGUIListOL->currentText(), d->ui.revFunListOL->currentText(),
                          d->ui.revEaseListOL->currentText(), d->ui.revStabListOL->currentText());
    if (!vCardCommon::openLink(text))
        PlatformHooks::current().beep();
    d->window->close();
}
