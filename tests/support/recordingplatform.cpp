#include "recordingplatform.h"

#include "systemlog.h"

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

void RecordingPlatform::beep()
{
    ++beeps;
}

bool RecordingPlatform::openUrl(const QUrl &url)
{
    openedUrls.append(url);
    return true;
}

void RecordingPlatform::clear()
{
    alerts.clear();
    beeps = 0;
    openedUrls.clear();
    logLines.clear();
}
