#include "platformhooks.h"

#include "systemlog.h"

namespace {
class HeadlessHooks final : public PlatformHooks
{
public:
    using PlatformHooks::showAlert;
    void showAlert(const QString &title, const QString &text) override
    {
        systemLog(text.isEmpty() ? title : title + QStringLiteral(": ") + text);
    }
    void beep() override {}
    bool openUrl(const QUrl &) override { return false; }
};

HeadlessHooks headless;
PlatformHooks *installed = nullptr;
} // namespace

PlatformHooks &PlatformHooks::current()
{
    return installed ? *installed : headless;
}

PlatformHooks *PlatformHooks::install(PlatformHooks *hooks)
{
    PlatformHooks *old = installed;
    installed = hooks;
    return old;
}
