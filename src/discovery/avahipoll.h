#pragma once

#include <avahi-common/watch.h>

// libavahi-client's main loop abstraction served by Qt's event loop: file descriptor watches
// become socket notifiers, timeouts become single-shot timers. Everything runs on the thread
// that created it (the main thread).
class AvahiQtPoll
{
public:
    AvahiQtPoll();
    AvahiQtPoll(const AvahiQtPoll &) = delete;
    AvahiQtPoll &operator=(const AvahiQtPoll &) = delete;

    const AvahiPoll *poll() const { return &m_api; }

private:
    AvahiPoll m_api;
};
