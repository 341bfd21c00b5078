#include "platform/dnssd/AvahiQtPoll.h"

#include <avahi-common/watch.h>

#include <QSocketNotifier>
#include <QTimer>

#include <algorithm>
#include <poll.h>
#include <sys/time.h>

struct AvahiQtPoll::Table {
    AvahiPoll api{};
    AvahiQtPoll* owner = nullptr;
};

// The library declares these types and leaves their contents to the poll.
struct AvahiWatch {
    explicit AvahiWatch(AvahiQtPoll* poll) : owner(poll) { ++owner->liveWatches_; }

    AvahiQtPoll* owner = nullptr;
    int fd = -1;
    int wanted = 0;
    AvahiWatchCallback callback = nullptr;
    void* userdata = nullptr;
    QSocketNotifier* readable = nullptr;
    QSocketNotifier* writable = nullptr;
    int happened = 0; // while the callback runs: the events it was called for
    bool running = false;
    bool freed = false;

    void applyInterest()
    {
        // Errors and hang-ups show up as readability, as poll() would report them.
        readable->setEnabled(!freed && (wanted & (AVAHI_WATCH_IN | AVAHI_WATCH_ERR | AVAHI_WATCH_HUP)));
        writable->setEnabled(!freed && (wanted & AVAHI_WATCH_OUT));
    }

    void dispatch()
    {
        if (freed || running)
            return;
        // Ask the descriptor itself what is ready, so the library gets hang-ups and errors
        // as such (a notifier only says "readable" or "writable").
        pollfd probe{fd, short(wanted | POLLERR | POLLHUP), 0};
        if (::poll(&probe, 1, 0) <= 0 || !(probe.revents & (wanted | POLLERR | POLLHUP)))
            return;
        happened = probe.revents & (wanted | POLLERR | POLLHUP);
        running = true;
        callback(this, fd, AvahiWatchEvent(happened), userdata);
        running = false;
        happened = 0;
        if (freed)
            destroy();
    }

    void destroy()
    {
        --owner->liveWatches_;
        // The notifiers may be inside their own signal: let the loop delete them.
        readable->deleteLater();
        writable->deleteLater();
        delete this;
    }
};

struct AvahiTimeout {
    explicit AvahiTimeout(AvahiQtPoll* poll) : owner(poll) { ++owner->liveTimeouts_; }

    AvahiQtPoll* owner = nullptr;
    AvahiTimeoutCallback callback = nullptr;
    void* userdata = nullptr;
    QTimer* timer = nullptr;
    bool running = false;
    bool freed = false;

    void arm(const struct timeval* when)
    {
        if (!when) {
            timer->stop();
            return;
        }
        timeval now{};
        gettimeofday(&now, nullptr);
        const long long delayMs = (when->tv_sec - now.tv_sec) * 1000LL + (when->tv_usec - now.tv_usec + 999) / 1000;
        timer->start(int(std::clamp(delayMs, 0LL, 24LL * 3600 * 1000)));
    }

    void fire()
    {
        if (freed || running)
            return;
        running = true;
        callback(this, userdata);
        running = false;
        if (freed)
            destroy();
    }

    void destroy()
    {
        --owner->liveTimeouts_;
        timer->stop();
        timer->deleteLater();
        delete this;
    }
};

namespace {

AvahiQtPoll* ownerOf(const AvahiPoll* api)
{
    return static_cast<AvahiQtPoll*>(api->userdata);
}

AvahiWatch* watchNew(const AvahiPoll* api, int fd, AvahiWatchEvent event, AvahiWatchCallback callback, void* userdata)
{
    auto* watch = new AvahiWatch(ownerOf(api));
    watch->fd = fd;
    watch->wanted = event;
    watch->callback = callback;
    watch->userdata = userdata;
    watch->readable = new QSocketNotifier(fd, QSocketNotifier::Read);
    watch->writable = new QSocketNotifier(fd, QSocketNotifier::Write);
    QObject::connect(watch->readable, &QSocketNotifier::activated, [watch] { watch->dispatch(); });
    QObject::connect(watch->writable, &QSocketNotifier::activated, [watch] { watch->dispatch(); });
    watch->applyInterest();
    return watch;
}

void watchUpdate(AvahiWatch* watch, AvahiWatchEvent event)
{
    watch->wanted = event;
    watch->applyInterest();
}

AvahiWatchEvent watchGetEvents(AvahiWatch* watch)
{
    return AvahiWatchEvent(watch->happened);
}

void watchFree(AvahiWatch* watch)
{
    watch->freed = true;
    watch->applyInterest();
    // Disconnect now: the notifiers live on until the loop deletes them.
    QObject::disconnect(watch->readable, nullptr, nullptr, nullptr);
    QObject::disconnect(watch->writable, nullptr, nullptr, nullptr);
    if (!watch->running)
        watch->destroy();
}

AvahiTimeout* timeoutNew(const AvahiPoll* api, const struct timeval* when, AvahiTimeoutCallback callback,
                         void* userdata)
{
    auto* timeout = new AvahiTimeout(ownerOf(api));
    timeout->callback = callback;
    timeout->userdata = userdata;
    timeout->timer = new QTimer;
    timeout->timer->setSingleShot(true);
    timeout->timer->setTimerType(Qt::PreciseTimer);
    QObject::connect(timeout->timer, &QTimer::timeout, [timeout] { timeout->fire(); });
    timeout->arm(when);
    return timeout;
}

void timeoutUpdate(AvahiTimeout* timeout, const struct timeval* when)
{
    if (!timeout->freed)
        timeout->arm(when);
}

void timeoutFree(AvahiTimeout* timeout)
{
    timeout->freed = true;
    timeout->timer->stop();
    QObject::disconnect(timeout->timer, nullptr, nullptr, nullptr);
    if (!timeout->running)
        timeout->destroy();
}

} // namespace

AvahiQtPoll::AvahiQtPoll() : table_(new Table)
{
    table_->owner = this;
    table_->api.userdata = this;
    table_->api.watch_new = watchNew;
    table_->api.watch_update = watchUpdate;
    table_->api.watch_get_events = watchGetEvents;
    table_->api.watch_free = watchFree;
    table_->api.timeout_new = timeoutNew;
    table_->api.timeout_update = timeoutUpdate;
    table_->api.timeout_free = timeoutFree;
}

AvahiQtPoll::~AvahiQtPoll()
{
    delete table_;
}

const AvahiPoll* AvahiQtPoll::poll() const
{
    return &table_->api;
}
