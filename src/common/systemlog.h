#pragma once

#include <QString>

#include <functional>

// The one diagnostics channel: stderr and syslog(3). Tests install a sink to read the lines.
void systemLog(const QString &line);

using SystemLogSink = std::function<void(const QString &)>;
// Installs a sink that receives every line in addition to stderr and syslog; returns the old one.
SystemLogSink setSystemLogSink(SystemLogSink sink);
