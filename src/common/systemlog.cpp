#include "systemlog.h"

#include <cstdio>
#include <syslog.h>

namespace {
SystemLogSink &sink()
{
    static SystemLogSink s;
    return s;
}
} // namespace

void systemLog(const QString &line)
{
    const QByteArray utf8 = line.toUtf8();
    std::fprintf(stderr, "zorbix: %s\n", utf8.constData());
    syslog(LOG_USER | LOG_NOTICE, "%s", utf8.constData());
    if (sink())
        sink()(line);
}

SystemLogSink setSystemLogSink(SystemLogSink s)
{
    SystemLogSink old = std::move(sink());
    sink() = std::move(s);
    return old;
}
