#include "platform/ThreadPriority.h"

#include <algorithm>
#include <atomic>
#include <sched.h>

namespace {

// The lowest real-time priority of the audio threads seen: -1 while none has run, 0 once one
// ran without real-time scheduling.
std::atomic<int> g_lowestAudioPriority{-1};
std::atomic<unsigned> g_generation{0};
__attribute__((tls_model("initial-exec"))) thread_local bool t_noted = false;

} // namespace

namespace ThreadPriority {

void noteAudioThread() noexcept
{
    if (t_noted)
        return;
    t_noted = true;
    // The system calls rather than pthread_getschedparam, which takes the thread's lock.
    const int policy = sched_getscheduler(0);
    sched_param parameters{};
    int priority = 0;
    if ((policy == SCHED_FIFO || policy == SCHED_RR) && sched_getparam(0, &parameters) == 0)
        priority = parameters.sched_priority;
    int lowest = g_lowestAudioPriority.load();
    while (lowest < 0 || priority < lowest) {
        if (g_lowestAudioPriority.compare_exchange_weak(lowest, priority)) {
            g_generation.fetch_add(1);
            break;
        }
    }
}

int helperRealtimeCeiling() noexcept
{
    const int lowest = g_lowestAudioPriority.load();
    return lowest > 1 ? lowest - 1 : 0;
}

unsigned generation() noexcept { return g_generation.load(); }

int applyToHelper(pthread_t thread, int wanted) noexcept
{
    const int ceiling = helperRealtimeCeiling();
    sched_param parameters{};
    if (wanted > 0 && ceiling > 0) {
        parameters.sched_priority = std::clamp(std::min(wanted, ceiling), sched_get_priority_min(SCHED_FIFO),
                                               sched_get_priority_max(SCHED_FIFO));
        return pthread_setschedparam(thread, SCHED_FIFO, &parameters);
    }
    return pthread_setschedparam(thread, SCHED_OTHER, &parameters);
}

void resetForTesting() noexcept
{
    g_lowestAudioPriority.store(-1);
    g_generation.fetch_add(1);
}

} // namespace ThreadPriority
