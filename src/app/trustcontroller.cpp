#include "trustcontroller.h"

#include "qfexchangeserver.h"
#include "shareservice.h"
#include "trustedpeers.h"
#include "vcardcommon.h"

#include <QBoxLayout>
#include <QComboBox>
#include <QLabel>
#include <QMessageBox>
#include <QPointer>
#include <QPushButton>
#include <QTimer>

struct TrustController::Private
{
    ShareService &service;
    QWidget *window;
    QComboBox *choice = nullptr;
    QPointer<QMessageBox> dialog;
    quint64 request = 0;
    QString peer;
    QTimer countdown;
    int secondsLeft = 0;

    explicit Private(ShareService &s, QWidget *w) : service(s), window(w) {}
    void apply(TrustedPeers::Access access)
    {
        choice->setCurrentIndex(access == TrustedPeers::Access::Approved ? 1 : 0);
        service.setProtected(access == TrustedPeers::Access::Approved);
    }
    void ask(quint64 id, const QString &peer, const QString &device, const QByteArray &fingerprint, const QString &code);
    void showCountdown()
    {
        if (dialog)
            dialog->setInformativeText(TrustController::tr("Without an answer the device is refused in %n seconds.",
                                                           nullptr, secondsLeft));
    }
};

TrustController::TrustController(ShareService &service, QBoxLayout *layout, int index, QWidget *window, QObject *parent)
    : QObject(parent), d(std::make_unique<Private>(service, window))
{
    auto *row = new QHBoxLayout;
    auto *label = new QLabel(tr("Who may download:"));
    d->choice = new QComboBox;
    d->choice->setObjectName(QStringLiteral("sharingAccessChoice"));
    d->choice->addItems({tr("Everyone on this network"), tr("Only devices I approve")});
    d->choice->setToolTip(tr("Only devices you approve download over an encrypted connection; each new device "
                             "is allowed once after you compare a code on both screens."));
    label->setBuddy(d->choice);
    row->addWidget(label);
    row->addWidget(d->choice, 1);
    layout->insertLayout(index, row);
    d->apply(TrustedPeers::sharingAccess());
    connect(d->choice, &QComboBox::activated, this, [this](int chosen) {
        const auto access = chosen == 1 ? TrustedPeers::Access::Approved : TrustedPeers::Access::Everyone;
        if (!TrustedPeers::setSharingAccess(access))
            vCardCommon::alertKeys("SC_SaveFailedProblem", "SC_SaveFailedHint");
        d->apply(access);
    });

    d->countdown.setInterval(1000);
    connect(&d->countdown, &QTimer::timeout, this, [this] {
        d->secondsLeft = std::max(0, d->secondsLeft - 1);
        d->showCountdown();
    });
    QFExchangeServer &server = service.server();
    connect(&server, &QFExchangeServer::approvalRequested, this,
            [this](quint64 id, const QString &peer, const QString &device, const QByteArray &fp, const QString &code) {
                d->ask(id, peer, device, fp, code);
            });
    connect(&server, &QFExchangeServer::approvalEnded, this, [this](quint64 id) {
        if (id != d->request)
            return;
        // Nobody answered in time, or the device went away: the question goes, and the user
        // hears why.
        d->request = 0;
        d->countdown.stop();
        if (d->dialog)
            d->dialog->close();
        vCardCommon::alert(vCardCommon::getLocMsg(QStringLiteral("TR_ApprovalEnded")).arg(d->peer),
                           vCardCommon::getLocMsg(QStringLiteral("TR_ApprovalEndedHint")));
    });
    connect(&server, &QFExchangeServer::deviceAdmitted, this, [](const QByteArray &fingerprint, const QString &device) {
        if (TrustedPeers::isApproved(fingerprint))
            TrustedPeers::approve(fingerprint, device); // seen now
    });
}

TrustController::~TrustController() = default;

void TrustController::Private::ask(quint64 id, const QString &peer, const QString &device, const QByteArray &fingerprint,
                                   const QString &code)
{
    if (dialog)
        dialog->close();
    request = id;
    this->peer = peer;
    dialog = new QMessageBox(QMessageBox::Question, TrustController::tr("A device asks for your address book"),
                             vCardCommon::getLocMsg(QStringLiteral("TR_ApprovalRequest")).arg(device, peer, code),
                             QMessageBox::NoButton, window);
    dialog->setObjectName(QStringLiteral("approvalDialog"));
    dialog->setAttribute(Qt::WA_DeleteOnClose);
    dialog->setTextFormat(Qt::PlainText); // the device name comes from the peer
    QPushButton *once = dialog->addButton(TrustController::tr("Allow Once"), QMessageBox::AcceptRole);
    QPushButton *always = dialog->addButton(TrustController::tr("Always Allow"), QMessageBox::AcceptRole);
    QPushButton *deny = dialog->addButton(TrustController::tr("Deny"), QMessageBox::RejectRole);
    once->setObjectName(QStringLiteral("allowOnceButton"));
    always->setObjectName(QStringLiteral("alwaysAllowButton"));
    deny->setObjectName(QStringLiteral("denyButton"));
    dialog->setDefaultButton(deny);
    dialog->setEscapeButton(deny);
    QObject::connect(dialog, &QMessageBox::buttonClicked, &countdown,
                     [this, id, fingerprint, device, always, once](QAbstractButton *button) {
                         if (request != id)
                             return;
                         request = 0;
                         countdown.stop();
                         auto decision = QFExchangeServer::Decision::Deny;
                         if (button == always) {
                             decision = QFExchangeServer::Decision::AlwaysAllow;
                             if (!TrustedPeers::approve(fingerprint, device))
                                 vCardCommon::alertKeys("SC_SaveFailedProblem", "SC_SaveFailedHint");
                         } else if (button == once) {
                             decision = QFExchangeServer::Decision::AllowOnce;
                         }
                         service.server().answerApproval(id, decision);
                     });
    secondsLeft = 60;
    showCountdown();
    countdown.start();
    dialog->open();
}

bool TrustController::chooseAccessBeforeStart()
{
    if (TrustedPeers::sharingAccess() != TrustedPeers::Access::Unset)
        return true;
    QMessageBox question(QMessageBox::Question, tr("Who may download your address book?"),
                         tr("Everyone on this network can take the shared groups, and they travel unencrypted. "
                            "With \"Only devices I approve\" each new device must be allowed by you once, after "
                            "you compare a code shown on both screens, and the records travel encrypted."),
                         QMessageBox::NoButton, d->window);
    question.setObjectName(QStringLiteral("sharingAccessQuestion"));
    QPushButton *everyone = question.addButton(tr("Everyone on This Network"), QMessageBox::AcceptRole);
    QPushButton *approved = question.addButton(tr("Only Devices I Approve"), QMessageBox::AcceptRole);
    question.addButton(QMessageBox::Cancel);
    question.setDefaultButton(approved);
    question.exec();
    if (question.clickedButton() != everyone && question.clickedButton() != approved)
        return false;
    const auto access = question.clickedButton() == approved ? TrustedPeers::Access::Approved : TrustedPeers::Access::Everyone;
    if (!TrustedPeers::setSharingAccess(access))
        vCardCommon::alertKeys("SC_SaveFailedProblem", "SC_SaveFailedHint");
    d->apply(access);
    return true;
}

QMessageBox *TrustController::approvalDialog() const
{
    return d->dialog;
}

void TrustController::setChoiceEnabled(bool enabled)
{
    d->choice->setEnabled(enabled);
}
