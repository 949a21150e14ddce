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
    void beep() override;
    bool openUrl(const QUrl &url) override;

    void clear();

    QList<QPair<QString, QString>> alerts;
    int beeps = 0;
    QList<QUrl> openedUrls;
    QStringList logLines;

private:
    PlatformHooks *m_previous;
};
