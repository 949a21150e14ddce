#include "sharetrust.h"

#include "deviceidentity.h"
#include "exchangetls.h"
#include "qfexchangeclient.h"
#include "trustedpeers.h"
#include "vcardcommon.h"

#include <QLocale>

namespace ShareTrust {

bool prepare(QFExchangeClient &client, const QString &name, const QString &address, bool announcedProtected)
{
    const std::optional<TrustedPeers::Pin> pin = TrustedPeers::pinFor(name, address);
    if (!announcedProtected && !pin) {
        client.clearTls();
        return true;
    }
    const std::optional<DeviceIdentity> identity = DeviceIdentity::standard();
    if (!identity) {
        vCardCommon::alertKeys("TR_IdentityProblem", "TR_IdentityHint");
        return false;
    }
    client.setTls(ExchangeTls::configuration(identity->certificate(), identity->privateKey()), DeviceIdentity::deviceName());
    client.setExpectedFingerprint(pin ? pin->fingerprint : QByteArray());
    return true;
}

void completed(const QFExchangeReply &reply, const QString &name, const QString &address)
{
    if (!reply.serverFingerprint.isEmpty() && !TrustedPeers::pinFor(name, address))
        TrustedPeers::pin(name, address, reply.serverFingerprint);
}

void alertPinMismatch(const QFExchangeClient &client, const QString &name, const QString &address)
{
    const std::optional<TrustedPeers::Pin> pin = TrustedPeers::pinFor(name, address);
    if (!pin)
        return;
    const QString hint = vCardCommon::getLocMsg(QStringLiteral("TR_PinMismatchHint"))
                             .arg(name.isEmpty() ? address : name,
                                  DeviceIdentity::fingerprintText(ExchangeTls::fingerprint(client.serverCertificate())),
                                  DeviceIdentity::fingerprintText(pin->fingerprint),
                                  QLocale().toString(pin->pinned.toLocalTime(), QLocale::ShortFormat));
    vCardCommon::alert(vCardCommon::getLocMsg(QStringLiteral("TR_PinMismatchProblem")), hint);
}

} // namespace ShareTrust
