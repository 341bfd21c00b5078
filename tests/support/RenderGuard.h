#pragma once
// Proves that code run on a render thread keeps the real-time rules. While a guard is armed
// on a thread, each of these calls made on that thread is a violation, of one of five kinds:
//  - Memory: malloc, calloc, realloc, free and the aligned allocations (so every new and
//    delete, and every exception object);
//  - Lock: pthread_mutex_lock and timedlock, rwlock locks (locks it could wait on);
//  - Wait: condition and semaphore waits, joins, sleeps and sched_yield (a spin that yields
//    is a wait);
//  - File: open, read, write (logging included) through the C library or stdio;
//  - Throw: every throw (__cxa_throw), caught or not.
// Semaphore posts, condition signals and eventfd writes are counted as wakes, not
// violations: a render that needs nothing from another thread should make none.
//
// Linking test_render_guard into a test program interposes these calls for the whole
// program (they are forwarded to the real ones, or to the sanitizer's); threads where no
// guard is armed pay one thread-local check. Only calls that reach the C library through
// its dynamic symbols are seen: a raw system call is not.
//
// Contract:
//  - Arm and disarm on the watched thread (arm()/disarm(), or a Scope); arming nests.
//  - The counts are process-wide and only grow: a RenderGuard object reads them relative to
//    its construction; read them once the watched work has ended, from any thread.
//  - Nothing in the guard allocates or locks while armed; report() allocates and is called
//    after the watched work.
//  - Device slices: watchDeviceSlices(true) arms the guard around every callback of every
//    audio device stream (AudioDeviceStream's slice observer), on the device's thread,
//    until it is turned off; deviceSlices() counts the callbacks watched.

#include <QString>

#include <cstdint>

namespace clipdeck::test {

class RenderGuard {
public:
    enum class Kind { Memory, Lock, Wait, File, Throw };

    RenderGuard();

    // Violations (of every kind, or of one) and wakes on armed threads since this object
    // was made.
    uint64_t violations() const;
    uint64_t violations(Kind kind) const;
    uint64_t wakes() const;
    // The kinds of the first violations since this object was made ("malloc", "read",
    // "pthread_mutex_lock"...) with the stack of the first one; empty when there were none.
    QString report() const;

    // Arms or disarms the calling thread (nested arms need as many disarms).
    static void arm();
    static void disarm();
    static bool isArmed();

    // Arms the calling thread for its lifetime.
    class Scope {
    public:
        Scope() { arm(); }
        ~Scope() { disarm(); }
        Scope(const Scope&) = delete;
        Scope& operator=(const Scope&) = delete;
    };

    static void watchDeviceSlices(bool watch);
    // Device callbacks watched since the program started.
    static uint64_t deviceSlices();

private:
    static constexpr int kKinds = 5;
    uint64_t mViolationsAtStart;
    uint64_t mKindsAtStart[kKinds];
    uint64_t mWakesAtStart;
};

} // namespace clipdeck::test
