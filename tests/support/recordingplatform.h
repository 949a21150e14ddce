#pragma once

#include "platformhooks.h"

#include <QList>
#include <QPair>
#include <QString>
#include <QStringList>
#include <QUrl>

// Records what the user would have seen and heard: alerts, beeps, opened URLs and log lines.
// Installs itself for its lifetime.
class RecordingPlatform final : public PlatformHooks
{
public:
    RecordingPlatform();
    ~RecordingPlatform() override;

    void showAlert(const QString &title, const QString &text) override;
    void showAlert(const QString &title, const QString &text, std::function<void()> closed) override;
    // Dismisses the alerts kept on screen (holdAlerts), oldest first.
    void dismissAlerts();
    void beep() override;
    // Records the URL; false, as when the desktop has no program for it, with refuseUrls.
    bool openUrl(const QUrl &url) override;

    void clear();

    QList<QPair<QString, QString>> alerts;
    int beeps = 0;
    QList<QUrl> openedUrls;
    bool refuseUrls = false;
    QStringList logLines;
    // Alerts that report when they are gone stay on screen until dismissAlerts().
    bool holdAlerts = false;
    QList<std::function<void()>> alertsOnScreen;

private:
    PlatformHooks *m_previous;
};
