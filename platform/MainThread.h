#pragma once
// The main-thread hop, in place of performing a selector on the main thread: work from any
// thread is queued to the Qt event loop of the main thread.
//
// post() and postAndWait() allocate and may lock: never call them from a render callback.
// A render callback uses postRealtime(), which writes into a preallocated lock-free queue
// and wakes the main thread without allocating or locking.

#include <cstdint>
#include <functional>

namespace mainthread {

// True on the thread that runs the application's event loop.
bool isMainThread();

// Queues fn to run on the main thread; calls made from one thread run in the order posted.
void post(std::function<void()> fn);

// Runs fn on the main thread and returns when it has run. Called on the main thread itself,
// it runs fn directly (so it never deadlocks there).
void postAndWait(const std::function<void()>& fn);

// A call that a render thread may queue: a plain function with a context pointer and an
// integer argument, copied into a fixed slot.
using RealtimeFunction = void (*)(void* context, intptr_t argument);

// Queues fn(context, argument) for the main thread without allocating, locking or logging.
// Answers false (and drops the call) only when the queue's fixed capacity is full.
// Calls from one thread run in the order posted.
bool postRealtime(RealtimeFunction fn, void* context, intptr_t argument);

// Capacity of the real-time queue.
constexpr int kRealtimeQueueCapacity = 1024;

} // namespace mainthread
