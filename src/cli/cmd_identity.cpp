#include "commands.h"

#include "deviceidentity.h"
#include "printabletext.h"
#include "trustedpeers.h"

#include <QTextStream>

// zorbix-cli identity: this device's name and fingerprint, the devices it lets into a protected
// share and the shares whose certificates it pinned; removes either on request.

namespace {
void printHelp(QTextStream &out)
{
    out << "Usage: zorbix-cli identity [--remove FINGERPRINT] [--forget SHARE]\n"
           "Prints this device's name and the fingerprint of its certificate (made at first use),\n"
           "the devices approved for its protected share and the shares whose certificate is\n"
           "pinned.\n\n"
           "  --remove FINGERPRINT  no longer let that device into the protected share\n"
           "  --forget SHARE        forget the certificate pinned for a share name or HOST:PORT\n";
}
} // namespace

int cmdIdentity(const QStringList &args)
{
    QTextStream out(stdout);
    QTextStream err(stderr);
    for (qsizetype i = 0; i < args.size(); ++i) {
        const QString &arg = args[i];
        if (arg == QLatin1String("--help") || arg == QLatin1String("-h")) {
            printHelp(out);
            return CliOk;
        }
        if (arg == QLatin1String("--remove") && i + 1 < args.size()) {
            const QByteArray fingerprint = DeviceIdentity::parseFingerprint(args[++i]);
            if (fingerprint.isEmpty()) {
                err << "zorbix-cli identity: a fingerprint is 64 hex digits (blanks and colons allowed)\n";
                return CliUsage;
            }
            if (!TrustedPeers::removeDevice(fingerprint)) {
                err << "zorbix-cli identity: no approved device has that fingerprint\n";
                return CliFailure;
            }
            out << "removed\n";
            return CliOk;
        }
        if (arg == QLatin1String("--forget") && i + 1 < args.size()) {
            if (!TrustedPeers::forgetPin(args[++i])) {
                err << "zorbix-cli identity: no share is pinned under " << printableText(args[i]) << '\n';
                return CliFailure;
            }
            out << "forgotten\n";
            return CliOk;
        }
        err << "zorbix-cli identity: unknown option or missing value '" << arg << "'\n";
        return CliUsage;
    }
    QString error;
    const std::optional<DeviceIdentity> identity = DeviceIdentity::standard(&error);
    if (!identity) {
        err << "zorbix-cli identity: " << error << '\n';
        return CliFailure;
    }
    out << "Device name: " << printableText(DeviceIdentity::deviceName()) << '\n'
        << "Fingerprint: " << DeviceIdentity::fingerprintText(identity->fingerprint()) << '\n';
    for (const TrustedPeers::Device &device : TrustedPeers::approvedDevices())
        out << "Approved: " << printableText(device.name) << ", " << DeviceIdentity::fingerprintText(device.fingerprint)
            << ", last seen " << device.lastSeen.toLocalTime().toString(Qt::ISODate) << '\n';
    for (const TrustedPeers::Pin &pin : TrustedPeers::pinnedShares())
        out << "Pinned: " << printableText(pin.name.isEmpty() ? pin.address : QStringLiteral("%1 (%2)").arg(pin.name, pin.address)) << ", "
            << DeviceIdentity::fingerprintText(pin.fingerprint) << '\n';
    return CliOk;
}
