#include "widgetplatformhooks.h"

#include <QApplication>
#include <QDesktopServices>
#include <QLabel>
#include <QMessageBox>

void WidgetPlatformHooks::showAlert(const QString &title, const QString &text)
{
    showAlert(title, text, [] {});
}

void WidgetPlatformHooks::showAlert(const QString &title, const QString &text, std::function<void()> closed)
{
    // No parent and no waiting: the panel stays up on its own until the user dismisses it.
    auto *box = new QMessageBox(QMessageBox::Information, QStringLiteral("zorbix"), title, QMessageBox::Ok);
    box->setInformativeText(text);
    // Titles and hints carry other people's text (a person's or a share's name): never markup.
    for (QLabel *label : box->findChildren<QLabel *>())
        label->setTextFormat(Qt::PlainText);
    box->setDefaultButton(QMessageBox::Ok);
    box->setAttribute(Qt::WA_DeleteOnClose);
    box->setModal(false);
    QObject::connect(box, &QObject::destroyed, std::move(closed));
    box->show();
}

void WidgetPlatformHooks::beep()
{
    QApplication::beep();
}

bool WidgetPlatformHooks::openUrl(const QUrl &url)
{
    return QDesktopServices::openUrl(url);
}
