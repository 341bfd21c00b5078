#include "platform/midi/MIDIPacketQueue.h"

#include <algorithm>
#include <cstring>

MIDIPacketQueue::MIDIPacketQueue(size_t capacity)
{
    size_t size = 1;
    while (size < std::max(capacity, kMaxPacketLength + kHeaderBytes))
        size <<= 1;
    capacity_ = size;
    ring_ = std::make_unique<uint8_t[]>(capacity_);
}

bool MIDIPacketQueue::push(const uint8_t* bytes, size_t length)
{
    const size_t head = head_.load(std::memory_order_relaxed);
    const size_t tail = tail_.load(std::memory_order_acquire);
    if (length == 0 || length > kMaxPacketLength || capacity_ - (head - tail) < kHeaderBytes + length) {
        dropped_.fetch_add(1, std::memory_order_relaxed);
        return false;
    }
    const uint32_t header = uint32_t(length);
    write(head, reinterpret_cast<const uint8_t*>(&header), kHeaderBytes);
    write(head + kHeaderBytes, bytes, length);
    head_.store(head + kHeaderBytes + length, std::memory_order_release);
    return true;
}

bool MIDIPacketQueue::pop(std::vector<uint8_t>& packet)
{
    const size_t tail = tail_.load(std::memory_order_relaxed);
    const size_t head = head_.load(std::memory_order_acquire);
    if (head == tail)
        return false;
    uint32_t length = 0;
    read(tail, reinterpret_cast<uint8_t*>(&length), kHeaderBytes);
    packet.resize(length);
    read(tail + kHeaderBytes, packet.data(), length);
    tail_.store(tail + kHeaderBytes + length, std::memory_order_release);
    return true;
}

void MIDIPacketQueue::write(size_t position, const uint8_t* bytes, size_t length)
{
    const size_t at = position & (capacity_ - 1);
    const size_t first = std::min(length, capacity_ - at);
    std::memcpy(ring_.get() + at, bytes, first);
    std::memcpy(ring_.get(), bytes + first, length - first);
}

void MIDIPacketQueue::read(size_t position, uint8_t* bytes, size_t length) const
{
    const size_t at = position & (capacity_ - 1);
    const size_t first = std::min(length, capacity_ - at);
    std::memcpy(bytes, ring_.get() + at, first);
    std::memcpy(bytes + first, ring_.get(), length - first);
}
