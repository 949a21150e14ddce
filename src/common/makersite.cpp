#include "makersite.h"

#include "systemlog.h"

#include <QSettings>

bool MakerSite::isUsableSite(const QString &text)
{
    const QUrl url(text, QUrl::StrictMode);
    return url.isValid() &&
           (url.scheme() == QLatin1String("http") || url.scheme() == QLatin1String("https")) &&
           !url.host().isEmpty() && url.userInfo().isEmpty() && !url.hasQuery() && !url.hasFragment();
}

QString MakerSite::site()
{
    QString text = qEnvironmentVariable("ZORBIX_MAKER_SITE");
    const char *origin = "ZORBIX_MAKER_SITE";
    if (text.isEmpty()) {
        text = QSettings().value(settingsKey()).toString();
        origin = "makerSite";
    }
    if (text.isEmpty())
        return defaultSite();
    if (!isUsableSite(text)) {
        // A file:, javascript: or malformed site would be handed to the desktop by every link.
        systemLog(QStringLiteral("MakerSite: ignoring %1 \"%2\": not an http or https address")
                      .arg(QLatin1String(origin), text));
        return defaultSite();
    }
    while (text.endsWith(u'/'))
        text.chop(1);
    return text;
}

QString MakerSite::page(const QString &path)
{
    return site() + path;
}

QString MakerSite::mailAddress(const QString &box)
{
    QString host = QUrl(site()).host();
    if (host.startsWith(QLatin1String("www.")))
        host.remove(0, 4);
    return box + u'@' + host;
}

QString MakerSite::feedbackAddress()
{
    return mailAddress(QStringLiteral("feedback"));
}

QString MakerSite::salesAddress()
{
    return mailAddress(QStringLiteral("sales"));
}

QString MakerSite::supportAddress()
{
    return mailAddress(QStringLiteral("support"));
}
