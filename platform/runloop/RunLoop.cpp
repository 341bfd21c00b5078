#include "platform/runloop/RunLoop.h"

#include "platform/MainThread.h"
#include "platform/TimeSource.h"
#include "platform/runloop/RunLoopSource.h"
#include "platform/runloop/RunLoopTimer.h"

#include <QMetaObject>

#include <algorithm>
#include <cerrno>
#include <cmath>
#include <poll.h>
#include <stdexcept>

namespace {

// The longest single wait of runMode: a clock moved by another thread, or a deadline on a
// clock that drifts from the wait's own, is noticed at least this often.
constexpr double kLongestWait = 0.25;

template <typename Item>
void eraseItem(std::vector<Item*>& items, Item* item)
{
    items.erase(std::remove(items.begin(), items.end(), item), items.end());
}

} // namespace

RunLoop::RunLoop() = default;

RunLoop::~RunLoop()
{
    // Items outlive a loop only in tests; they are left unscheduled.
    for (RunLoopSource* source : std::vector<RunLoopSource*>(sources_))
        removeItemFromAllModes(sources_, *source);
    for (RunLoopTimer* timer : std::vector<RunLoopTimer*>(timers_))
        removeItemFromAllModes(timers_, *timer);
}

RunLoop& RunLoop::main()
{
    // Kept for the whole process, like the time source its timers stand on.
    static auto* loop = new RunLoop;
    return *loop;
}

RunLoop* RunLoop::current()
{
    return mainthread::isMainThread() ? &main() : nullptr;
}

bool RunLoop::isCurrent() const
{
    return mainthread::isMainThread();
}

bool RunLoop::isSharedMode(const QString& mode)
{
    return mode == NSDefaultRunLoopMode || mode == NSRunLoopCommonModes;
}

template <class Item>
void RunLoop::addItem(std::vector<Item*>& items, Item& item, const QString& mode)
{
    if (item.loop_ && item.loop_ != this)
        throw std::logic_error("RunLoop: the item is scheduled in another run loop");
    if (item.modes_.contains(mode))
        return;
    if (!item.loop_) {
        item.loop_ = this;
        items.push_back(&item);
    }
    item.modes_.insert(mode);
    item.scheduleChanged();
}

template <class Item>
void RunLoop::removeItem(std::vector<Item*>& items, Item& item, const QString& mode)
{
    if (item.loop_ != this || !item.modes_.remove(mode))
        return;
    if (item.modes_.isEmpty()) {
        eraseItem(items, &item);
        item.loop_ = nullptr;
    }
    item.scheduleChanged();
}

template <class Item>
void RunLoop::removeItemFromAllModes(std::vector<Item*>& items, Item& item)
{
    eraseItem(items, &item);
    item.loop_ = nullptr;
    item.modes_.clear();
    item.scheduleChanged();
}

void RunLoop::addSource(RunLoopSource& source, const QString& mode)
{
    addItem(sources_, source, mode);
}

void RunLoop::removeSource(RunLoopSource& source, const QString& mode)
{
    removeItem(sources_, source, mode);
}

void RunLoop::addTimer(RunLoopTimer& timer, const QString& mode)
{
    if (timer.valid_)
        addItem(timers_, timer, mode);
}

void RunLoop::removeTimer(RunLoopTimer& timer, const QString& mode)
{
    removeItem(timers_, timer, mode);
}

void RunLoop::removeSourceFromAllModes(RunLoopSource& source)
{
    removeItemFromAllModes(sources_, source);
}

void RunLoop::removeTimerFromAllModes(RunLoopTimer& timer)
{
    removeItemFromAllModes(timers_, timer);
}

RunLoopSource* RunLoop::sourceWithSerial(uint64_t serial) const
{
    for (RunLoopSource* source : sources_)
        if (source->serial_ == serial)
            return source;
    return nullptr;
}

RunLoopTimer* RunLoop::timerWithSerial(uint64_t serial) const
{
    for (RunLoopTimer* timer : timers_)
        if (timer->serial_ == serial)
            return timer;
    return nullptr;
}

void RunLoop::postSignalled(uint64_t serial)
{
    QMetaObject::invokeMethod(
        &context_,
        [this, serial] {
            RunLoopSource* source = sourceWithSerial(serial);
            if (!source)
                return;
            source->signalPosted_ = false;
            if (source->signalled_ && source->inSharedMode())
                source->dispatch(0);
        },
        Qt::QueuedConnection);
}

void RunLoop::perform(const void* target, int selector, std::function<void()> call, const QStringList& modes)
{
    const uint64_t id = nextPerformId_++;
    performs_.push_back(Perform{id, target, selector, modes, std::move(call)});
    if (std::any_of(modes.begin(), modes.end(), isSharedMode))
        QMetaObject::invokeMethod(&context_, [this, id] { runPerform(id); }, Qt::QueuedConnection);
}

void RunLoop::runPerform(uint64_t id)
{
    const auto found = std::find_if(performs_.begin(), performs_.end(), [id](const Perform& p) { return p.id == id; });
    if (found == performs_.end())
        return;
    const std::function<void()> call = std::move(found->call);
    performs_.erase(found);
    call();
}

void RunLoop::cancelPerforms(const void* target)
{
    performs_.remove_if([target](const Perform& p) { return p.target == target; });
}

void RunLoop::cancelPerforms(const void* target, int selector)
{
    performs_.remove_if([target, selector](const Perform& p) { return p.target == target && p.selector == selector; });
}

int RunLoop::pendingPerforms(const void* target) const
{
    return int(std::count_if(performs_.begin(), performs_.end(), [target](const Perform& p) { return p.target == target; }));
}

bool RunLoop::hasWorkInMode(const QString& mode) const
{
    const auto inMode = [&mode](const auto* item) { return item->isInMode(mode); };
    return std::any_of(sources_.begin(), sources_.end(), inMode) || std::any_of(timers_.begin(), timers_.end(), inMode)
        || std::any_of(performs_.begin(), performs_.end(), [&mode](const Perform& p) { return p.modes.contains(mode); });
}

bool RunLoop::runMode(const QString& mode, double deadline)
{
    if (isSharedMode(mode))
        throw std::logic_error("RunLoop::runMode serves private modes only; Qt's loop serves the shared ones");
    if (!hasWorkInMode(mode))
        return false;
    for (;;) {
        fireDueTimers(mode, TimeSource::currentTime());
        runPendingPerforms(mode);
        if (!hasWorkInMode(mode))
            return false;

        const double now = TimeSource::currentTime();
        double wait = std::max(0.0, deadline - now);
        for (const RunLoopTimer* timer : timers_)
            if (timer->isInMode(mode))
                wait = std::min(wait, std::max(0.0, timer->fireTime() - now));
        for (const Perform& p : performs_)
            if (p.modes.contains(mode))
                wait = 0;
        if (pollSources(mode, std::min(wait, kLongestWait)))
            return true;
        if (TimeSource::currentTime() >= deadline)
            return true;
    }
}

void RunLoop::fireDueTimers(const QString& mode, double now)
{
    std::vector<uint64_t> due;
    for (const RunLoopTimer* timer : timers_)
        if (timer->isInMode(mode) && timer->fireTime() <= now)
            due.push_back(timer->serial_);
    for (const uint64_t serial : due)
        if (RunLoopTimer* timer = timerWithSerial(serial); timer && timer->isInMode(mode))
            timer->fire();
}

void RunLoop::runPendingPerforms(const QString& mode)
{
    std::vector<uint64_t> pending;
    for (const Perform& p : performs_)
        if (p.modes.contains(mode))
            pending.push_back(p.id);
    for (const uint64_t id : pending)
        runPerform(id);
}

bool RunLoop::pollSources(const QString& mode, double wait)
{
    std::vector<pollfd> fds;
    std::vector<uint64_t> watched;
    std::vector<uint64_t> signalled;
    for (const RunLoopSource* source : sources_) {
        if (!source->isInMode(mode))
            continue;
        if (source->signalled_)
            signalled.push_back(source->serial_);
        if (source->descriptor_ >= 0 && source->interest_) {
            short events = 0;
            if (source->interest_ & RunLoopSource::Readable)
                events |= POLLIN;
            if (source->interest_ & RunLoopSource::Writable)
                events |= POLLOUT;
            fds.push_back(pollfd{source->descriptor_, events, 0});
            watched.push_back(source->serial_);
        }
    }
    const int timeoutMs = signalled.empty() ? int(std::ceil(wait * 1000.0)) : 0;
    int ready = fds.empty() ? 0 : ::poll(fds.data(), fds.size(), timeoutMs);
    if (fds.empty() && timeoutMs > 0)
        ::poll(nullptr, 0, timeoutMs);
    if (ready < 0)
        ready = 0; // EINTR: the next pass looks again

    bool handled = false;
    for (const uint64_t serial : signalled) {
        RunLoopSource* source = sourceWithSerial(serial);
        if (source && source->isInMode(mode) && source->signalled_) {
            source->dispatch(0);
            handled = true;
        }
    }
    for (size_t i = 0; ready > 0 && i < fds.size(); ++i) {
        if (!fds[i].revents)
            continue;
        RunLoopSource* source = sourceWithSerial(watched[i]);
        // The source may have gone, left the mode or changed its watch in an earlier handler.
        if (!source || !source->isInMode(mode) || source->descriptor_ != fds[i].fd)
            continue;
        int events = 0;
        const bool failed = fds[i].revents & (POLLERR | POLLHUP | POLLNVAL);
        if (fds[i].revents & POLLIN || failed)
            events |= RunLoopSource::Readable;
        if (fds[i].revents & POLLOUT || failed)
            events |= RunLoopSource::Writable;
        events &= source->interest_;
        if (events) {
            source->dispatch(events);
            handled = true;
        }
    }
    return handled;
}
