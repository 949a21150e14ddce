#include "avahipoll.h"

#include <QObject>
#include <QSocketNotifier>
#include <QTimer>

#include <sys/time.h>

// The structs are named by avahi's headers; their contents are ours.
struct AvahiWatch
{
    int fd = -1;
    AvahiWatchCallback callback = nullptr;
    void *userdata = nullptr;
    QSocketNotifier *readNotifier = nullptr;
    QSocketNotifier *writeNotifier = nullptr;
    // What woke the watch, readable by the callback through watch_get_events.
    AvahiWatchEvent lastEvents = static_cast<AvahiWatchEvent>(0);
};

struct AvahiTimeout
{
    QTimer *timer = nullptr;
    AvahiTimeoutCallback callback = nullptr;
    void *userdata = nullptr;
};

namespace {

void fire(AvahiWatch *w, AvahiWatchEvent event)
{
    w->lastEvents = event;
    // The callback may free the watch: nothing touches w after it.
    w->callback(w, w->fd, event, w->userdata);
}

void setEvents(AvahiWatch *w, AvahiWatchEvent events)
{
    w->readNotifier->setEnabled(events & AVAHI_WATCH_IN);
    w->writeNotifier->setEnabled(events & AVAHI_WATCH_OUT);
}

AvahiWatch *watchNew(const AvahiPoll *, int fd, AvahiWatchEvent events, AvahiWatchCallback callback,
                     void *userdata)
{
    auto *w = new AvahiWatch;
    w->fd = fd;
    w->callback = callback;
    w->userdata = userdata;
    w->readNotifier = new QSocketNotifier(fd, QSocketNotifier::Read);
    w->writeNotifier = new QSocketNotifier(fd, QSocketNotifier::Write);
    QObject::connect(w->readNotifier, &QSocketNotifier::activated, w->readNotifier,
                     [w] { fire(w, AVAHI_WATCH_IN); });
    QObject::connect(w->writeNotifier, &QSocketNotifier::activated, w->writeNotifier,
                     [w] { fire(w, AVAHI_WATCH_OUT); });
    setEvents(w, events);
    return w;
}

void watchUpdate(AvahiWatch *w, AvahiWatchEvent events)
{
    setEvents(w, events);
}

AvahiWatchEvent watchGetEvents(AvahiWatch *w)
{
    return w->lastEvents;
}

void watchFree(AvahiWatch *w)
{
    // May run inside the notifier's own signal: disable now, delete later.
    w->readNotifier->setEnabled(false);
    w->writeNotifier->setEnabled(false);
    QObject::disconnect(w->readNotifier, nullptr, nullptr, nullptr);
    QObject::disconnect(w->writeNotifier, nullptr, nullptr, nullptr);
    w->readNotifier->deleteLater();
    w->writeNotifier->deleteLater();
    delete w;
}

void armTimeout(AvahiTimeout *t, const struct timeval *tv)
{
    if (!tv) {
        t->timer->stop();
        return;
    }
    struct timeval now;
    gettimeofday(&now, nullptr);
    const qint64 ms = (qint64(tv->tv_sec) - now.tv_sec) * 1000 + (qint64(tv->tv_usec) - now.tv_usec) / 1000;
    t->timer->start(int(qBound(qint64(0), ms, qint64(24 * 3600 * 1000))));
}

AvahiTimeout *timeoutNew(const AvahiPoll *, const struct timeval *tv, AvahiTimeoutCallback callback,
                         void *userdata)
{
    auto *t = new AvahiTimeout;
    t->callback = callback;
    t->userdata = userdata;
    t->timer = new QTimer;
    t->timer->setSingleShot(true);
    // The callback may free or re-arm the timeout: nothing touches t after it.
    QObject::connect(t->timer, &QTimer::timeout, t->timer, [t] { t->callback(t, t->userdata); });
    armTimeout(t, tv);
    return t;
}

void timeoutUpdate(AvahiTimeout *t, const struct timeval *tv)
{
    armTimeout(t, tv);
}

void timeoutFree(AvahiTimeout *t)
{
    t->timer->stop();
    QObject::disconnect(t->timer, nullptr, nullptr, nullptr);
    t->timer->deleteLater();
    delete t;
}

} // namespace

AvahiQtPoll::AvahiQtPoll()
{
    m_api.userdata = this;
    m_api.watch_new = watchNew;
    m_api.watch_update = watchUpdate;
    m_api.watch_get_events = watchGetEvents;
    m_api.watch_free = watchFree;
    m_api.timeout_new = timeoutNew;
    m_api.timeout_update = timeoutUpdate;
    m_api.timeout_free = timeoutFree;
}
