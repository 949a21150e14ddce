#pragma once

#include <QString>

#include <functional>

// Alerts, localized messages and links: the application's one notice panel and its text table.
// An absent text is a null QString; an empty one is present.
class vCardCommon
{
public:
    vCardCommon() = delete;

    // The localized text of a key of the table "msg", or "-" when the table lacks it.
    static QString getLocMsg(const QString &key);
    // The same in the plural form for count (see MessageTable::text); count is not filled in.
    static QString getLocMsg(const QString &key, qint64 count);
    // Shorthand for the usual report: the texts of a problem key and of its hint key.
    static void alertKeys(const char *messageKey, const char *hintKey);
    static void alert(const QString &message, const QString &hint);
    // The same, and closed is called once the alert is gone from the screen.
    static void alertKeys(const char *messageKey, const char *hintKey, std::function<void()> closed);
    static void openURL(const QString &value, const QString &scheme);

    // The text handed to the URL opener for a field value (exposed for the link buttons).
    static QString urlTextFor(const QString &value, const QString &scheme);
    // Only these schemes are opened for values that came from records or peers.
    static bool isOpenableScheme(const QString &scheme);

    // Opens one of our own fixed links as it stands (no scheme put in front); false when the text
    // is not a valid http, https or mailto URL or the desktop could not open it.
    static bool openLink(const QString &urlText);
    // The maker's product page, its home page and a feedback mail; each beeps when it cannot open.
    static void openZorbixHomepage();
    static void openQuenfoldHomepage();
    static void emailQuenfold();
};
