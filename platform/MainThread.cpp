#include "platform/MainThread.h"

#include <QCoreApplication>
#include <QEvent>
#include <QMetaObject>
#include <QSocketNotifier>
#include <QThread>

#include <array>
#include <atomic>
#include <sys/eventfd.h>
#include <unistd.h>

#if defined(__SANITIZE_THREAD__)
#include <sanitizer/tsan_interface.h>
#endif

namespace mainthread {
namespace {

// A bounded multi-producer, single-consumer queue of fixed slots. Each slot carries a
// sequence number that tells producers and the consumer whose turn it is, so neither side
// ever waits on a lock. The object lives in static storage: nothing is allocated.
class RealtimeQueue {
public:
    RealtimeQueue()
    {
        for (size_t i = 0; i < slots_.size(); ++i)
            slots_[i].sequence.store(i, std::memory_order_relaxed);
        wakeFd_ = eventfd(0, EFD_NONBLOCK | EFD_CLOEXEC);
    }

    bool push(RealtimeFunction fn, void* context, intptr_t argument)
    {
        size_t position = enqueuePos_.load(std::memory_order_relaxed);
        for (;;) {
            Slot& slot = slots_[position % slots_.size()];
            const size_t sequence = slot.sequence.load(std::memory_order_acquire);
            const intptr_t difference = intptr_t(sequence) - intptr_t(position);
            if (difference == 0) {
                if (enqueuePos_.compare_exchange_weak(position, position + 1, std::memory_order_relaxed)) {
                    slot.fn = fn;
                    slot.context = context;
                    slot.argument = argument;
                    slot.sequence.store(position + 1, std::memory_order_release);
                    wake();
                    return true;
                }
            } else if (difference < 0) {
                return false; // full
            } else {
                position = enqueuePos_.load(std::memory_order_relaxed);
            }
        }
    }

    // Runs every queued call. Main thread only.
    void drain()
    {
        uint64_t ignored = 0;
        if (wakeFd_ >= 0)
            (void)!read(wakeFd_, &ignored, sizeof ignored);
        // An exchange (not a store) so that every push whose wake-up was skipped is visible below.
        wakePending_.exchange(false, std::memory_order_acq_rel);
        for (;;) {
            Slot& slot = slots_[dequeuePos_ % slots_.size()];
            const size_t sequence = slot.sequence.load(std::memory_order_acquire);
            if (intptr_t(sequence) - intptr_t(dequeuePos_ + 1) < 0)
                return; // empty
            const RealtimeFunction fn = slot.fn;
            void* const context = slot.context;
            const intptr_t argument = slot.argument;
            slot.sequence.store(dequeuePos_ + slots_.size(), std::memory_order_release);
            ++dequeuePos_;
            fn(context, argument);
        }
    }

    int wakeFd() const { return wakeFd_; }

private:
    void wake()
    {
        // One write per burst: only the first push after a drain touches the descriptor.
        if (wakeFd_ >= 0 && !wakePending_.exchange(true, std::memory_order_acq_rel)) {
            (void)!eventfd_write(wakeFd_, 1);
        }
    }

    struct Slot {
        std::atomic<size_t> sequence{0};
        RealtimeFunction fn = nullptr;
        void* context = nullptr;
        intptr_t argument = 0;
    };

    std::array<Slot, kRealtimeQueueCapacity> slots_;
    alignas(64) std::atomic<size_t> enqueuePos_{0};
    alignas(64) size_t dequeuePos_ = 0;
    std::atomic<bool> wakePending_{false};
    int wakeFd_ = -1;
};

RealtimeQueue g_realtimeQueue;

// A call handed to the main thread as an event of its own. Qt orders the hand-over with
// locks the thread checker cannot see (the Qt libraries are not instrumented), so the
// event is released to the checker before it is posted and acquired by the receiver before
// it reads anything of it.
class PostedCall : public QEvent {
public:
    static QEvent::Type eventType()
    {
        static const auto type = QEvent::Type(QEvent::registerEventType());
        return type;
    }

    explicit PostedCall(std::function<void()> fn) : QEvent(eventType()), fn_(std::move(fn))
    {
#if defined(__SANITIZE_THREAD__)
        __tsan_release(this);
#endif
    }

    // Also reached for a call never run (its receiver went first).
    ~PostedCall() override
    {
#if defined(__SANITIZE_THREAD__)
        __tsan_acquire(this);
#endif
    }

    void run()
    {
        if (fn_)
            fn_();
    }

private:
    std::function<void()> fn_;
};

// Lives on the main thread and runs the calls posted to it, in the order of the main
// thread's event queue (the same queue as Qt's own queued calls).
class PostedCallReceiver : public QObject {
public:
    using QObject::QObject;

    bool event(QEvent* event) override
    {
#if defined(__SANITIZE_THREAD__)
        // Pairs with the release in PostedCall's constructor (before anything of it is read).
        __tsan_acquire(event);
#endif
        if (event->type() != PostedCall::eventType())
            return QObject::event(event);
        static_cast<PostedCall*>(event)->run();
        return true;
    }
};

std::atomic<PostedCallReceiver*> g_postedCallReceiver{nullptr};

// Makes the receiver of posted calls, and watches the real-time queue's wake descriptor from
// the main thread's event loop. Runs when the application object is constructed, so other
// threads never have to.
void attachRealtimeQueue()
{
    g_postedCallReceiver.store(new PostedCallReceiver(QCoreApplication::instance()), std::memory_order_release);
    if (g_realtimeQueue.wakeFd() < 0)
        return;
    auto* notifier = new QSocketNotifier(g_realtimeQueue.wakeFd(), QSocketNotifier::Read, QCoreApplication::instance());
    QObject::connect(notifier, &QSocketNotifier::activated, [] { g_realtimeQueue.drain(); });
    // Calls queued before the application existed run on the first pass of the loop.
    QMetaObject::invokeMethod(QCoreApplication::instance(), [] { g_realtimeQueue.drain(); }, Qt::QueuedConnection);
}

} // namespace

Q_COREAPP_STARTUP_FUNCTION(attachRealtimeQueue)

bool isMainThread()
{
    QCoreApplication* app = QCoreApplication::instance();
    return app && app->thread() == QThread::currentThread();
}

void post(std::function<void()> fn)
{
    if (!QCoreApplication::instance())
        return;
    PostedCallReceiver* receiver = g_postedCallReceiver.load(std::memory_order_acquire);
    if (!receiver)
        return;
    QCoreApplication::postEvent(receiver, new PostedCall(std::move(fn)));
}

void postAndWait(const std::function<void()>& fn)
{
    QCoreApplication* app = QCoreApplication::instance();
    if (!app || isMainThread()) {
        fn();
        return;
    }
    QMetaObject::invokeMethod(app, fn, Qt::BlockingQueuedConnection);
}

bool postRealtime(RealtimeFunction fn, void* context, intptr_t argument)
{
    return fn && g_realtimeQueue.push(fn, context, argument);
}

} // namespace mainthread
