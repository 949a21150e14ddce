#include "systemlog.h"

#include "printabletext.h"

#include <cstdio>
#include <syslog.h>

namespace {
SystemLogSink &sink()
{
    static SystemLogSink s;
    return s;
}
} // namespace

void systemLog(const QString &text)
{
    // Log lines carry names from peers and files: one line each, nothing a terminal acts on.
    const QString line = printableText(text);
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
