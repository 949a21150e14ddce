#include "recordingplatform.h"

#include "systemlog.h"

#include <utility>

RecordingPlatform::RecordingPlatform() : m_previous(PlatformHooks::install(this))
{
    setSystemLogSink([this](const QString &line) { logLines.append(line); });
}

RecordingPlatform::~RecordingPlatform()
{
    setSystemLogSink({});
    PlatformHooks::install(m_previous);
}

void RecordingPlatform::showAlert(const QString &title, const QString &text)
{
    alerts.append({title, text});
}

void RecordingPlatform::showAlert(const QString &title, const QString &text, std::function<void()> closed)
{
    alerts.append({title, text});
    if (holdAlerts)
        alertsOnScreen.append(std::move(closed));
    else
        closed();
}

void RecordingPlatform::dismissAlerts()
{
    const QList<std::function<void()>> open = std::exchange(alertsOnScreen, {});
    for (const auto &closed : open)
        closed();
}

void RecordingPlatform::beep()
{
    ++beeps;
}

bool RecordingPlatform::openUrl(const QUrl &url)
{
    openedUrls.append(url);
    return !refuseUrls;
}

void RecordingPlatform::clear()
{
    alerts.clear();
    beeps = 0;
    openedUrls.clear();
    logLines.clear();
}
