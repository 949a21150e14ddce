#include "securitypage.h"

#include "deviceidentity.h"
#include "trustedpeers.h"
#include "vcardcommon.h"

#include <QFormLayout>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QLabel>
#include <QLineEdit>
#include <QLocale>
#include <QPushButton>
#include <QSettings>
#include <QTreeWidget>
#include <QVBoxLayout>

struct SecurityPage::Private
{
    QLineEdit *name = nullptr;
    QLineEdit *fingerprint = nullptr;
    QTreeWidget *devices = nullptr;
    QTreeWidget *shares = nullptr;
    QPushButton *remove = nullptr;
    QPushButton *forget = nullptr;
};

namespace {
QTreeWidget *table(const QString &objectName, const QStringList &headers, const QString &accessibleName)
{
    auto *tree = new QTreeWidget;
    tree->setObjectName(objectName);
    tree->setHeaderLabels(headers);
    tree->setRootIsDecorated(false);
    tree->setAccessibleName(accessibleName);
    tree->header()->setSectionResizeMode(QHeaderView::ResizeToContents);
    return tree;
}
} // namespace

SecurityPage::SecurityPage(QWidget *parent) : QWidget(parent), d(std::make_unique<Private>())
{
    setObjectName(QStringLiteral("securityPage"));
    auto *layout = new QVBoxLayout(this);
    auto *form = new QFormLayout;
    d->name = new QLineEdit(DeviceIdentity::deviceName());
    d->name->setObjectName(QStringLiteral("deviceNameField"));
    d->name->setMaxLength(64);
    d->name->setToolTip(tr("The name shares see when this computer asks for their address book; "
                           "the host name unless you choose another."));
    form->addRow(tr("Device name:"), d->name);
    // Read-only text, so that it can be selected and copied to compare it elsewhere.
    d->fingerprint = new QLineEdit;
    d->fingerprint->setObjectName(QStringLiteral("fingerprintField"));
    d->fingerprint->setReadOnly(true);
    form->addRow(tr("Fingerprint:"), d->fingerprint);
    layout->addLayout(form);
    connect(d->name, &QLineEdit::editingFinished, this, [this] {
        if (!d->name->isModified())
            return;
        d->name->setModified(false);
        QSettings settings;
        settings.setValue(QStringLiteral("deviceName"), d->name->text().trimmed());
        settings.sync();
        if (settings.status() != QSettings::NoError)
            vCardCommon::alertKeys("SC_SaveFailedProblem", "SC_SaveFailedHint");
    });

    layout->addWidget(new QLabel(tr("Devices allowed to download your protected share:")));
    d->devices = table(QStringLiteral("approvedDevicesTable"), {tr("Name"), tr("Last seen"), tr("Fingerprint")},
                       tr("Approved devices"));
    layout->addWidget(d->devices);
    d->remove = new QPushButton(tr("Remove Device"));
    d->remove->setObjectName(QStringLiteral("removeDeviceButton"));
    layout->addWidget(d->remove, 0, Qt::AlignRight);

    layout->addWidget(new QLabel(tr("Protected shares whose certificate you accepted:")));
    d->shares = table(QStringLiteral("pinnedSharesTable"), {tr("Share"), tr("Address"), tr("Fingerprint")},
                      tr("Pinned shares"));
    layout->addWidget(d->shares);
    d->forget = new QPushButton(tr("Forget Share"));
    d->forget->setObjectName(QStringLiteral("forgetShareButton"));
    layout->addWidget(d->forget, 0, Qt::AlignRight);

    connect(d->devices, &QTreeWidget::itemSelectionChanged, this, [this] { d->remove->setEnabled(d->devices->currentItem()); });
    connect(d->shares, &QTreeWidget::itemSelectionChanged, this, [this] { d->forget->setEnabled(d->shares->currentItem()); });
    connect(d->remove, &QPushButton::clicked, this, [this] {
        if (QTreeWidgetItem *item = d->devices->currentItem())
            TrustedPeers::removeDevice(item->data(0, Qt::UserRole).toByteArray());
        reload();
    });
    connect(d->forget, &QPushButton::clicked, this, [this] {
        if (QTreeWidgetItem *item = d->shares->currentItem()) {
            const QString name = item->text(0);
            TrustedPeers::forgetPin(name.isEmpty() ? item->text(1) : name);
            TrustedPeers::forgetPin(item->text(1));
        }
        reload();
    });
    reload();
}

SecurityPage::~SecurityPage() = default;

void SecurityPage::reload()
{
    const std::optional<DeviceIdentity> identity = DeviceIdentity::standard();
    d->fingerprint->setText(identity ? DeviceIdentity::fingerprintText(identity->fingerprint())
                                     : vCardCommon::getLocMsg(QStringLiteral("TR_IdentityProblem")));
    d->devices->clear();
    const QLocale locale;
    for (const TrustedPeers::Device &device : TrustedPeers::approvedDevices()) {
        auto *item = new QTreeWidgetItem(d->devices, {device.name, locale.toString(device.lastSeen.toLocalTime(), QLocale::ShortFormat),
                                                      DeviceIdentity::fingerprintText(device.fingerprint)});
        item->setData(0, Qt::UserRole, device.fingerprint);
    }
    d->shares->clear();
    for (const TrustedPeers::Pin &pin : TrustedPeers::pinnedShares())
        new QTreeWidgetItem(d->shares, {pin.name, pin.address, DeviceIdentity::fingerprintText(pin.fingerprint)});
    d->remove->setEnabled(false);
    d->forget->setEnabled(false);
}
