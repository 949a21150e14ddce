#include "vcardcommon.h"

#include "makersite.h"
#include "messagetable.h"
#include "platformhooks.h"
#include "systemlog.h"

#include <QUrl>

QString vCardCommon::getLocMsg(const QString &key)
{
    return MessageTable::application().text(key);
}

QString vCardCommon::getLocMsg(const QString &key, qint64 count)
{
    return MessageTable::application().text(key, count);
}

void vCardCommon::alertKeys(const char *messageKey, const char *hintKey)
{
    alert(getLocMsg(QString::fromLatin1(messageKey)), getLocMsg(QString::fromLatin1(hintKey)));
}

void vCardCommon::alertKeys(const char *messageKey, const char *hintKey, std::function<void()> closed)
{
    const QString message = getLocMsg(QString::fromLatin1(messageKey));
    const QString hint = getLocMsg(QString::fromLatin1(hintKey));
    if (message.isNull() || hint.isNull() || message.size() < 2) {
        alert(message, hint);
        closed();
        return;
    }
    PlatformHooks::current().showAlert(message, hint, std::move(closed));
}

void vCardCommon::alert(const QString &message, const QString &hint)
{
    // A missing text ("-") or an absent part is not worth a panel: the beep says something failed.
    if (message.isNull() || hint.isNull() || message.size() < 2) {
        PlatformHooks::current().beep();
        return;
    }
    PlatformHooks::current().showAlert(message, hint);
}

QString vCardCommon::urlTextFor(const QString &value, const QString &scheme)
{
    if (value.contains(QLatin1String("http:")) || value.contains(QLatin1String("https:")))
        return value;
    if (value.startsWith(u'/'))
        return QStringLiteral("http:") + value;
    return scheme + value;
}

bool vCardCommon::isOpenableScheme(const QString &scheme)
{
    return scheme == QLatin1String("http") || scheme == QLatin1String("https") ||
           scheme == QLatin1String("mailto");
}

void vCardCommon::openURL(const QString &value, const QString &scheme)
{
    if (value.isEmpty())
        return;
    const QUrl url(urlTextFor(value, scheme), QUrl::StrictMode);
    if (!url.isValid())
        return;
    // Field values come from other people's cards: never hand a file:, javascript: or custom
    // scheme to the desktop.
    if (!isOpenableScheme(url.scheme())) {
        systemLog(QStringLiteral("vCardCommon: refused to open a link with scheme \"%1\"").arg(url.scheme()));
        PlatformHooks::current().beep();
        return;
    }
    PlatformHooks::current().openUrl(url);
}

bool vCardCommon::openLink(const QString &urlText)
{
    // Strict parsing: a text with a blank is no URL, as a mail program would see it too.
    const QUrl url(urlText, QUrl::StrictMode);
    if (!url.isValid() || !isOpenableScheme(url.scheme()))
        return false;
    return PlatformHooks::current().openUrl(url);
}

void vCardCommon::openZorbixHomepage()
{
    if (!openLink(MakerSite::page(QStringLiteral("/zorbix.htm"))))
        PlatformHooks::current().beep();
}

void vCardCommon::openQuenfoldHomepage()
{
    if (!openLink(MakerSite::page(QStringLiteral("/"))))
        PlatformHooks::current().beep();
}

void vCardCommon::emailQuenfold()
{
    if (!openLink(QStringLiteral("mailto:") + MakerSite::feedbackAddress() +
                  QStringLiteral("?subject=Feeback%20zorbix%201.1.1")))
        PlatformHooks::current().beep();
}
