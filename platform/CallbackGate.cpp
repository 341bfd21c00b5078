#include "platform/CallbackGate.h"

#include <pthread.h>

#include <mutex>
#include <thread>

namespace {

// The gates left to threads we could not join: listed, they are memory kept on purpose,
// not lost.
std::mutex g_abandonedMutex;
CallbackGate* g_abandoned = nullptr;

} // namespace

CallbackGate* CallbackGate::open(void* target) { return new CallbackGate(target); }

void* CallbackGate::enter()
{
    inside_.fetch_add(1);
    void* target = target_.load();
    if (!target)
        inside_.fetch_sub(1);
    return target;
}

void CallbackGate::leave() { inside_.fetch_sub(1); }

CallbackGate::Pass::Pass(void* gate) : gate_(static_cast<CallbackGate*>(gate)), cancelState_(PTHREAD_CANCEL_ENABLE)
{
    pthread_setcancelstate(PTHREAD_CANCEL_DISABLE, &cancelState_);
    target_ = gate_->enter();
}

CallbackGate::Pass::~Pass() noexcept(false)
{
    if (target_)
        gate_->leave();
    pthread_setcancelstate(cancelState_, nullptr);
}

bool CallbackGate::close(std::chrono::milliseconds limit)
{
    target_.store(nullptr);
    const auto deadline = std::chrono::steady_clock::now() + limit;
    while (inside_.load() > 0) {
        if (std::chrono::steady_clock::now() >= deadline)
            return false;
        std::this_thread::sleep_for(std::chrono::microseconds(200));
    }
    return true;
}

void CallbackGate::abandon(CallbackGate* gate)
{
    if (!gate)
        return;
    gate->close();
    // Never deleted: the library's thread may still pass it.
    std::lock_guard lock(g_abandonedMutex);
    gate->nextAbandoned_ = g_abandoned;
    g_abandoned = gate;
}

void CallbackGate::release(CallbackGate* gate)
{
    if (!gate)
        return;
    gate->close();
    delete gate;
}
