#pragma once
// The way a library's thread calls into an object of ours that may go away while that
// thread still runs: a JACK client whose server has ended can no longer be closed, so its
// owner only lets it go, while JACK's process thread may still be inside the cycle it was
// in (preempted, or woken once more) and write to the owner afterwards.
//
// Each callback passes through the gate (Pass): it gets the target, or nullptr once the gate
// is closed. close() stops new passes and waits for those under way, so the owner may then
// be freed. A closed gate whose thread was never joined is abandoned, not deleted: the
// thread may still pass it.
//
// Threads: passes on the library's threads, never blocking or allocating (render rules
// hold); open(), close(), abandon() and release() on the owner's thread.

#include <atomic>
#include <chrono>

class CallbackGate {
public:
    // A gate open to target, to be handed to the library as its callbacks' argument.
    static CallbackGate* open(void* target);

    // One callback's way through, for its length. The thread's cancellation is held off
    // meanwhile: a library that cancels its threads at any instruction (JACK does, once the
    // server has ended and a new client opens) cancels it after the pass, never inside it.
    class Pass {
    public:
        explicit Pass(void* gate);
        // Not noexcept: a cancellation held off takes effect here, by unwinding the thread.
        ~Pass() noexcept(false);
        Pass(const Pass&) = delete;
        Pass& operator=(const Pass&) = delete;

        template <class T>
        T* target() const
        {
            return static_cast<T*>(target_);
        }

    private:
        CallbackGate* gate_;
        void* target_;
        int cancelState_;
    };

    // Lets no call start from now on and waits until the calls under way have left, for at
    // most limit: true when none is left inside. A thread stopped for good inside (cancelled
    // by its library) is taken as gone once the limit has passed.
    bool close(std::chrono::milliseconds limit = std::chrono::milliseconds(2000));

    // Closes the gate and leaves it to the library's thread for good.
    static void abandon(CallbackGate* gate);
    // Closes the gate and frees it: only once the library can no longer call (its client
    // closed, its threads joined).
    static void release(CallbackGate* gate);

private:
    explicit CallbackGate(void* target) : target_(target) {}
    void* enter();
    void leave();

    // Sequentially consistent on both sides: a thread that counted itself in before the
    // target was cleared is seen by close(); one that counted itself in after sees nullptr.
    std::atomic<void*> target_;
    std::atomic<int> inside_{0};
    CallbackGate* nextAbandoned_ = nullptr; // abandoned gates stay listed, so kept on purpose
};
