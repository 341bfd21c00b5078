#include "platform/midi/MIDIPacketQueue.h"

#include <gtest/gtest.h>

#include <thread>

TEST(MIDIPacketQueue, KeepsWholePacketsInOrderAcrossTheRingsEnd)
{
    MIDIPacketQueue queue(8192);
    std::vector<uint8_t> out;
    // Packets of every length up to 200 bytes, several times round the ring.
    for (size_t round = 0, n = 0; round < 50; ++round) {
        for (size_t length = 1; length <= 200; length += 7, ++n) {
            std::vector<uint8_t> packet(length, uint8_t(n));
            packet[0] = uint8_t(length);
            ASSERT_TRUE(queue.push(packet.data(), packet.size()));
            ASSERT_TRUE(queue.pop(out));
            ASSERT_EQ(out, packet);
        }
    }
    EXPECT_FALSE(queue.pop(out));
    EXPECT_EQ(queue.droppedPackets(), 0u);
}

TEST(MIDIPacketQueue, RefusesEmptyOversizedAndOverflowingPackets)
{
    MIDIPacketQueue queue(8192);
    const std::vector<uint8_t> big(MIDIPacketQueue::kMaxPacketLength + 1, 0xF0);
    EXPECT_FALSE(queue.push(big.data(), 0));
    EXPECT_FALSE(queue.push(big.data(), big.size()));
    const std::vector<uint8_t> largest(MIDIPacketQueue::kMaxPacketLength, 0x42);
    EXPECT_TRUE(queue.push(largest.data(), largest.size()));
    EXPECT_FALSE(queue.push(largest.data(), largest.size())); // full: 8192 bytes hold one
    EXPECT_EQ(queue.droppedPackets(), 3u);
    std::vector<uint8_t> out;
    ASSERT_TRUE(queue.pop(out));
    EXPECT_EQ(out, largest);
    EXPECT_TRUE(queue.push(largest.data(), largest.size()));
}

TEST(MIDIPacketQueue, CarriesPacketsFromOneThreadToAnother)
{
    MIDIPacketQueue queue(4096 + 8);
    constexpr int kPackets = 20000;
    std::thread producer([&] {
        for (int i = 0; i < kPackets;) {
            const uint8_t packet[3] = {0x90, uint8_t(i & 0x7F), uint8_t((i >> 7) & 0x7F)};
            if (queue.push(packet, sizeof packet))
                ++i;
            else
                std::this_thread::yield();
        }
    });
    std::vector<uint8_t> out;
    for (int expected = 0; expected < kPackets;) {
        if (!queue.pop(out)) {
            std::this_thread::yield();
            continue;
        }
        ASSERT_EQ(out, (std::vector<uint8_t>{0x90, uint8_t(expected & 0x7F), uint8_t((expected >> 7) & 0x7F)}));
        ++expected;
    }
    producer.join();
}
