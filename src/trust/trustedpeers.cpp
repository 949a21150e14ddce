#include "trustedpeers.h"

#include "systemlog.h"

#include <QSettings>
#include <QVariantMap>

namespace {
const QString kAccessKey = QStringLiteral("sharingAccess");
const QString kDevicesKey = QStringLiteral("approvedDevices");
const QString kPinsKey = QStringLiteral("pinnedShares");

bool store(const QString &key, const QVariant &value)
{
    QSettings settings;
    settings.setValue(key, value);
    settings.sync();
    if (settings.status() != QSettings::NoError) {
        systemLog(QStringLiteral("TrustedPeers: cannot save \"%1\"").arg(key));
        return false;
    }
    return true;
}

QVariantList deviceList(const QList<TrustedPeers::Device> &devices)
{
    QVariantList list;
    for (const TrustedPeers::Device &device : devices)
        list.append(QVariantMap{{QStringLiteral("fingerprint"), QString::fromLatin1(device.fingerprint.toHex())},
                                {QStringLiteral("name"), device.name},
                                {QStringLiteral("lastSeen"), device.lastSeen}});
    return list;
}

QVariantList pinList(const QList<TrustedPeers::Pin> &pins)
{
    QVariantList list;
    for (const TrustedPeers::Pin &pin : pins)
        list.append(QVariantMap{{QStringLiteral("name"), pin.name},
                                {QStringLiteral("address"), pin.address},
                                {QStringLiteral("fingerprint"), QString::fromLatin1(pin.fingerprint.toHex())},
                                {QStringLiteral("pinned"), pin.pinned}});
    return list;
}

bool matches(const TrustedPeers::Pin &pin, const QString &name, const QString &address)
{
    return (!name.isEmpty() && pin.name == name) || (!address.isEmpty() && pin.address == address);
}
} // namespace

TrustedPeers::Access TrustedPeers::sharingAccess()
{
    const QString value = QSettings().value(kAccessKey).toString();
    if (value == QLatin1String("approved"))
        return Access::Approved;
    return value == QLatin1String("everyone") ? Access::Everyone : Access::Unset;
}

bool TrustedPeers::setSharingAccess(Access access)
{
    return store(kAccessKey, access == Access::Approved ? QStringLiteral("approved") : QStringLiteral("everyone"));
}

QList<TrustedPeers::Device> TrustedPeers::approvedDevices()
{
    QList<Device> devices;
    for (const QVariant &item : QSettings().value(kDevicesKey).toList()) {
        const QVariantMap map = item.toMap();
        const QByteArray fingerprint = QByteArray::fromHex(map.value(QStringLiteral("fingerprint")).toString().toLatin1());
        if (fingerprint.size() == 32)
            devices.append({fingerprint, map.value(QStringLiteral("name")).toString(),
                            map.value(QStringLiteral("lastSeen")).toDateTime()});
    }
    return devices;
}

bool TrustedPeers::isApproved(const QByteArray &fingerprint)
{
    const QList<Device> devices = approvedDevices();
    return std::any_of(devices.cbegin(), devices.cend(), [&](const Device &d) { return d.fingerprint == fingerprint; });
}

bool TrustedPeers::approve(const QByteArray &fingerprint, const QString &name)
{
    QList<Device> devices = approvedDevices();
    devices.removeIf([&](const Device &d) { return d.fingerprint == fingerprint; });
    devices.append({fingerprint, name, QDateTime::currentDateTimeUtc()});
    return store(kDevicesKey, deviceList(devices));
}

bool TrustedPeers::removeDevice(const QByteArray &fingerprint)
{
    QList<Device> devices = approvedDevices();
    if (devices.removeIf([&](const Device &d) { return d.fingerprint == fingerprint; }) == 0)
        return false;
    return store(kDevicesKey, deviceList(devices));
}

QList<TrustedPeers::Pin> TrustedPeers::pinnedShares()
{
    QList<Pin> pins;
    for (const QVariant &item : QSettings().value(kPinsKey).toList()) {
        const QVariantMap map = item.toMap();
        const QByteArray fingerprint = QByteArray::fromHex(map.value(QStringLiteral("fingerprint")).toString().toLatin1());
        if (fingerprint.size() == 32)
            pins.append({map.value(QStringLiteral("name")).toString(), map.value(QStringLiteral("address")).toString(),
                         fingerprint, map.value(QStringLiteral("pinned")).toDateTime()});
    }
    return pins;
}

std::optional<TrustedPeers::Pin> TrustedPeers::pinFor(const QString &name, const QString &address)
{
    const QList<Pin> pins = pinnedShares();
    // A pin under the name counts before one under the address: the address of a share changes.
    for (const Pin &pin : pins) {
        if (!name.isEmpty() && pin.name == name)
            return pin;
    }
    for (const Pin &pin : pins) {
        if (matches(pin, QString(), address))
            return pin;
    }
    return std::nullopt;
}

bool TrustedPeers::pin(const QString &name, const QString &address, const QByteArray &fingerprint)
{
    QList<Pin> pins = pinnedShares();
    pins.removeIf([&](const Pin &p) { return matches(p, name, address); });
    pins.append({name, address, fingerprint, QDateTime::currentDateTimeUtc()});
    return store(kPinsKey, pinList(pins));
}

bool TrustedPeers::forgetPin(const QString &nameOrAddress)
{
    QList<Pin> pins = pinnedShares();
    if (pins.removeIf([&](const Pin &p) { return matches(p, nameOrAddress, nameOrAddress); }) == 0)
        return false;
    return store(kPinsKey, pinList(pins));
}
