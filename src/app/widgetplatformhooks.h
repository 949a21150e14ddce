#pragma once

#include "platformhooks.h"

// The desktop's alert panel, beep and URL opening.
class WidgetPlatformHooks final : public PlatformHooks
{
public:
    void showAlert(const QString &title, const QString &text) override;
    void showAlert(const QString &title, const QString &text, std::function<void()> closed) override;
    void beep() override;
    bool openUrl(const QUrl &url) override;
};
