#pragma once
// Whole MIDI packets on their way from a source's receive thread to an input port's dispatch
// thread: a single-producer, single-consumer ring of bytes, each packet stored as its length
// followed by its bytes.
//
// Threads: push() from one producer thread at a time (a JACK process callback, RtMidi's ALSA
// thread, or a virtual source's sender under its lock); it never allocates, locks or waits,
// so a JACK process callback may call it. pop() from the one consumer thread.

#include <atomic>
#include <cstddef>
#include <cstdint>
#include <memory>
#include <vector>

class MIDIPacketQueue {
public:
    // The longest packet the queue carries; longer ones are dropped (no command of the program
    // comes near it).
    static constexpr size_t kMaxPacketLength = 4096;

    // capacity: bytes of the ring, rounded up to a power of two, at least enough for one
    // packet of kMaxPacketLength.
    explicit MIDIPacketQueue(size_t capacity = 1 << 16);
    MIDIPacketQueue(const MIDIPacketQueue&) = delete;
    MIDIPacketQueue& operator=(const MIDIPacketQueue&) = delete;

    // Copies one packet into the ring. false (the packet is dropped) when it is empty, longer
    // than kMaxPacketLength or does not fit beside the packets not yet popped.
    bool push(const uint8_t* bytes, size_t length);

    // Moves the oldest packet into packet (replacing its contents); false when none waits.
    bool pop(std::vector<uint8_t>& packet);

    // Packets refused by push() since the queue was made.
    uint64_t droppedPackets() const { return dropped_.load(std::memory_order_relaxed); }

private:
    static constexpr size_t kHeaderBytes = sizeof(uint32_t);
    void write(size_t position, const uint8_t* bytes, size_t length);
    void read(size_t position, uint8_t* bytes, size_t length) const;

    std::unique_ptr<uint8_t[]> ring_;
    size_t capacity_ = 0; // a power of two
    std::atomic<size_t> head_{0}; // total bytes written; the producer's
    std::atomic<size_t> tail_{0}; // total bytes read; the consumer's
    std::atomic<uint64_t> dropped_{0};
};
