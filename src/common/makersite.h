#pragma once

#include <QString>
#include <QUrl>

// The maker's web site and mail boxes, which every update, feedback and contact link points to.
// The site is one setting ("makerSite"), overridden by the environment variable
// ZORBIX_MAKER_SITE; only an http or https address with a host is taken, else the default.
// The mail boxes live at the site's domain (its host without a leading "www.").
class MakerSite
{
public:
    MakerSite() = delete;

    static QString defaultSite() { return QStringLiteral("https://www.quenfold.com"); }
    static QString settingsKey() { return QStringLiteral("makerSite"); }

    // The site without a trailing "/".
    static QString site();
    // The site followed by an absolute path such as "/zorbix.htm".
    static QString page(const QString &path);
    static QString feedbackAddress();
    static QString salesAddress();
    static QString supportAddress();

    // Whether a text is usable as the site.
    static bool isUsableSite(const QString &text);

private:
    static QString mailAddress(const QString &box);
};
