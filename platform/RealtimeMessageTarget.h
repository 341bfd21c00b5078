#pragma once
// An object that a render thread may send small messages to, to be handled on the main
// thread: the allocation-free way for a player or a feed to ask for a stop or report an
// overload. A message queued for an object that is destroyed before the main thread gets to
// it is dropped, so render code never has to know whether its owner still exists.
//
// Threads: sendRealtimeMessage() from any thread, render threads included (no allocation,
// no lock). handleRealtimeMessage() runs on the main thread. Objects are made on any thread
// but a render thread, and destroyed on the main thread.

#include <cstdint>

class RealtimeMessageTarget {
public:
    RealtimeMessageTarget();
    virtual ~RealtimeMessageTarget();
    RealtimeMessageTarget(const RealtimeMessageTarget&) = delete;
    RealtimeMessageTarget& operator=(const RealtimeMessageTarget&) = delete;

    // Queues message for handleRealtimeMessage(); false when the queue is full.
    bool sendRealtimeMessage(uint16_t message);

protected:
    virtual void handleRealtimeMessage(uint16_t message) = 0;

private:
    static void deliver(void* target, intptr_t serialAndMessage);
    const uint64_t serial_;
};
