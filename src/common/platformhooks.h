#pragma once

#include <QString>
#include <QUrl>

#include <functional>

// What the application does to the user's desktop: alert panels, the beep and handing URLs to
// other programs. The desktop installs widget-backed hooks at start; tests install recording
// ones; the headless default writes alerts to the system log and opens nothing.
class PlatformHooks
{
public:
    virtual ~PlatformHooks() = default;
    virtual void showAlert(const QString &title, const QString &text) = 0;
    // Shows an alert and calls closed once it is gone from the screen: when the user dismisses
    // it, or at once where nothing stays on screen.
    virtual void showAlert(const QString &title, const QString &text, std::function<void()> closed)
    {
        showAlert(title, text);
        closed();
    }
    virtual void beep() = 0;
    virtual bool openUrl(const QUrl &url) = 0;

    static PlatformHooks &current();
    // Installs hooks (not owned); nullptr restores the headless default. Returns the previous ones.
    static PlatformHooks *install(PlatformHooks *hooks);
};
