#pragma once
// Inside the MIDI layer: where one source's packets go for one connection of an input port,
// the connection's queue and the signal that wakes the port's dispatch thread.
//
// Threads: deliver() from the source's receive thread, one at a time; it never allocates,
// locks or waits (sem_post only), so a JACK process callback may call it.

#include "platform/midi/MIDIPacketQueue.h"

#include <QString>

#include <semaphore.h>

class MIDIPacketSink {
public:
    MIDIPacketSink(QString sourceUID, sem_t* wake) : sourceUID_(std::move(sourceUID)), wake_(wake) {}

    // false when the queue refused the packet (full, empty or too long).
    bool deliver(const uint8_t* bytes, size_t length)
    {
        if (!queue_.push(bytes, length))
            return false;
        sem_post(wake_);
        return true;
    }

    const QString& sourceUID() const { return sourceUID_; }
    MIDIPacketQueue& queue() { return queue_; }

private:
    const QString sourceUID_;
    sem_t* const wake_;
    MIDIPacketQueue queue_;
};
