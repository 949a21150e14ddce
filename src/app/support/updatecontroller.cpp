#include "updatecontroller.h"

#include "makersite.h"
#include "pagetext.h"
#include "platformhooks.h"
#include "systemlog.h"
#include "ui_updatewindow.h"
#include "vcardcommon.h"

#include <QNetworkAccessManager>
#include <QNetworkReply>
#include <QPointer>
#include <QTimer>

struct updateController::Private
{
    std::unique_ptr<QWidget> window = std::make_unique<QWidget>();
    Ui::UpdateWindow ui;
    QNetworkAccessManager network;
    QPointer<QNetworkReply> reply;
    QTimer deadline;
    QByteArray body;
    bool truncated = false;
    bool stopped = false;
};

updateController::updateController(QObject *parent) : QObject(parent), d(std::make_unique<Private>())
{
    d->ui.setupUi(d->window.get());
    d->ui.busyIndicatorOL->hide();
    d->ui.stopButtonOL->hide();
    d->deadline.setSingleShot(true);
    setTimeout(std::chrono::seconds(30));
    connect(d->ui.checkButtonOL, &QPushButton::clicked, this, &updateController::doCheckForUdate);
    connect(d->ui.downloadButtonOL, &QPushButton::clicked, this, &updateController::doStartDownloadRelease);
    connect(d->ui.stopButtonOL, &QPushButton::clicked, this, &updateController::stopCheck);
    connect(&d->deadline, &QTimer::timeout, this, [this] {
        if (d->reply) {
            systemLog(QStringLiteral("updateController: no complete answer from %1 in time")
                          .arg(releaseNotesUrl()));
            d->reply->abort();
        }
    });
}

updateController::~updateController()
{
    if (d->reply) {
        d->reply->disconnect(this);
        d->reply->abort();
    }
}

QWidget *updateController::window() const
{
    return d->window.get();
}
QPlainTextEdit *updateController::newReleaseDetailFieldOL() const
{
    return d->ui.newReleaseDetailFieldOL;
}
QPushButton *updateController::checkButtonOL() const
{
    return d->ui.checkButtonOL;
}
QPushButton *updateController::stopButtonOL() const
{
    return d->ui.stopButtonOL;
}
bool updateController::isChecking() const
{
    return !d->reply.isNull();
}

void updateController::setTimeout(std::chrono::milliseconds timeout)
{
    d->deadline.setInterval(timeout);
}

QString updateController::releaseNotesUrl()
{
    return MakerSite::page(QStringLiteral("/zorbixRelease.htm"));
}
QString updateController::downloadUrl()
{
    return MakerSite::page(QStringLiteral("/downloads/zorbix.dmg"));
}

QString updateController::loadProblemText()
{
    return tr("Problem loading update data from internet.\nPlease enable/activate your internet connection!"
              "\n\nOr open \n\n   %1 \n\n by hand in your browser.")
        .arg(MakerSite::page(QStringLiteral("/zorbix.htm")));
}

QString updateController::downloadProblemText()
{
    return tr("Problem loading update data from internet.\nPlease enable/activate your internet connection!"
              "\nMaybe you have to start your Browser by hand due to a Jaguar/Safari problem."
              "\n\nzorbix tried to open:\n\n %1")
        .arg(downloadUrl());
}

void updateController::setChecking(bool checking)
{
    d->ui.checkButtonOL->setEnabled(!checking);
    d->ui.checkButtonOL->setText(checking ? tr("Checking…") : tr("Check for Updates"));
    d->ui.busyIndicatorOL->setVisible(checking);
    d->ui.stopButtonOL->setVisible(checking);
}

void updateController::doCheckForUdate()
{
    if (isChecking())
        return;
    d->body.clear();
    d->truncated = false;
    d->stopped = false;
    QNetworkRequest request{QUrl(releaseNotesUrl())};
    request.setAttribute(QNetworkRequest::RedirectPolicyAttribute, QNetworkRequest::NoLessSafeRedirectPolicy);
    request.setMaximumRedirectsAllowed(5);
    d->reply = d->network.get(request);
    connect(d->reply, &QNetworkReply::readyRead, this, [this] {
        const qint64 room = MaxPageBytes - d->body.size();
        d->body += d->reply->read(qMax<qint64>(0, room));
        if (d->reply->bytesAvailable() > 0) {
            // A page this long is not release notes; stop reading and show its beginning.
            d->truncated = true;
            d->reply->abort();
        }
    });
    connect(d->reply, &QNetworkReply::finished, this, &updateController::finishCheck);
    d->deadline.start();
    setChecking(true);
}

void updateController::stopCheck()
{
    if (!d->reply)
        return;
    d->stopped = true;
    d->reply->abort();
}

void updateController::finishCheck()
{
    d->deadline.stop();
    QNetworkReply *reply = d->reply;
    d->reply = nullptr;
    reply->deleteLater();
    setChecking(false);
    if (d->stopped) {
        emit checkFinished();
        return;
    }
    QString text;
    if (reply->error() == QNetworkReply::NoError || d->truncated) {
        if (!d->truncated)
            d->body += reply->readAll().left(MaxPageBytes - d->body.size());
        text = decodePageText(d->body, reply->header(QNetworkRequest::ContentTypeHeader).toByteArray());
        // A NUL does not occur in text in any encoding: this is an image or an archive.
        if (text.contains(QChar(0))) {
            systemLog(QStringLiteral("updateController: %1 is not a text page").arg(releaseNotesUrl()));
            text.clear();
        }
    } else {
        systemLog(QStringLiteral("updateController: could not read %1: %2")
                      .arg(releaseNotesUrl(), reply->errorString()));
    }
    if (text.isEmpty()) {
        d->ui.newReleaseDetailFieldOL->setPlainText(loadProblemText());
        PlatformHooks::current().beep();
    } else {
        if (d->truncated)
            text +=
                tr("\n\n[The page is longer than %1 KiB; the rest is not shown.]").arg(MaxPageBytes / 1024);
        d->ui.newReleaseDetailFieldOL->setPlainText(text);
    }
    emit checkFinished();
}

void updateController::doStartDownloadRelease()
{
    if (vCardCommon::openLink(downloadUrl())) {
        d->ui.newReleaseDetailFieldOL->setPlainText(tr("Started your download..."));
    } else {
        d->ui.newReleaseDetailFieldOL->setPlainText(downloadProblemText());
        PlatformHooks::current().beep();
    }
}
