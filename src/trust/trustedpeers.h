#pragma once

#include <QByteArray>
#include <QDateTime>
#include <QList>
#include <QString>

#include <optional>

// What this user trusts, kept in the settings:
//   "sharingAccess"    "everyone" (the open share) or "approved" (only approved devices);
//                      missing until the user chose
//   "approvedDevices"  devices allowed to download from a protected share: a list of maps
//                      {"fingerprint" hex, "name", "lastSeen" date}
//   "pinnedShares"     certificates of protected shares downloaded from: a list of maps
//                      {"name" (may be empty), "address" "host:port", "fingerprint" hex, "pinned" date}
class TrustedPeers
{
public:
    struct Device
    {
        QByteArray fingerprint;
        QString name;
        QDateTime lastSeen;
    };
    struct Pin
    {
        QString name;
        QString address;
        QByteArray fingerprint;
        QDateTime pinned;
    };

    enum class Access { Unset, Everyone, Approved };
    static Access sharingAccess();
    static bool setSharingAccess(Access access);

    static QList<Device> approvedDevices();
    static bool isApproved(const QByteArray &fingerprint);
    // Adds the device or, when it is there, takes the name and "last seen" now.
    static bool approve(const QByteArray &fingerprint, const QString &name);
    static bool removeDevice(const QByteArray &fingerprint);

    static QList<Pin> pinnedShares();
    // The pin recorded under that share name (when not empty) or that address.
    static std::optional<Pin> pinFor(const QString &name, const QString &address);
    // Records the certificate for the share; replaces a pin of the same name or address.
    static bool pin(const QString &name, const QString &address, const QByteArray &fingerprint);
    // Forgets the pins of that share name or address; false when there was none.
    static bool forgetPin(const QString &nameOrAddress);
};
