#pragma once
// Where helper threads stand against the audio thread. The audio device's thread is the
// highest-priority thread of the program: every loader, converter and helper runs below it.
// The device layer tells, from each audio thread itself, which scheduling it got (on JACK the
// server's real-time priority for its clients, jack_client_real_time_priority; RtAudio's
// choice for other systems). A helper that asks for real-time scheduling gets a real-time
// priority strictly below the lowest audio thread seen so far, and normal time-sharing when
// an audio thread runs without real-time scheduling, when none has run yet, or when the
// system refuses real-time scheduling.
//
// Threads: noteAudioThread() on audio threads (render-safe: no lock, no allocation, two
// system calls the first time a thread notes itself); the rest from any thread.

#include <pthread.h>

namespace ThreadPriority {

// Records the calling audio thread's scheduling (once per thread).
void noteAudioThread() noexcept;

// The highest real-time (SCHED_FIFO) priority a helper may take now; 0 when helpers must run
// at normal priority.
int helperRealtimeCeiling() noexcept;

// Grows each time the ceiling changes: helpers that find it changed apply their scheduling
// again.
unsigned generation() noexcept;

// Schedules thread as a helper that would like real-time priority wanted (1..99; 0 or less:
// normal time-sharing): SCHED_FIFO at min(wanted, ceiling) when the ceiling allows it, else
// SCHED_OTHER. 0, or the error pthread_setschedparam answered (a refusal).
int applyToHelper(pthread_t thread, int wanted) noexcept;

// Forgets every audio thread seen (tests).
void resetForTesting() noexcept;

} // namespace ThreadPriority
