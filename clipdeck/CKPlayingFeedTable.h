#pragma once
// Which feed plays on which input of the board mixer, and under which play number: what the
// render thread may know of the playback controller's lists. The controller (main thread)
// publishes a slot before it puts the feed on that input and clears it after it has taken
// the feed off; the render thread only reads, with atomic loads: no lock, no allocation.

#include "platform/CoreAudioTypes.h"

#include <array>
#include <atomic>
#include <optional>

class CKPlayingFeedTable {
public:
    static constexpr UInt32 kSlots = 32;

    // Main thread.
    void publish(UInt32 input, const void* feed, SInt64 playID)
    {
        if (input >= kSlots)
            return;
        mSlots[input].playID.store(playID, std::memory_order_relaxed);
        mSlots[input].feed.store(feed, std::memory_order_release);
    }
    void clear(UInt32 input)
    {
        if (input < kSlots)
            mSlots[input].feed.store(nullptr, std::memory_order_release);
    }

    // Any thread, render threads included: the play number of the feed, when it plays.
    std::optional<SInt64> playIDForFeed(const void* feed) const
    {
        for (const Slot& slot : mSlots) {
            if (feed && slot.feed.load(std::memory_order_acquire) == feed)
                return slot.playID.load(std::memory_order_relaxed);
        }
        return std::nullopt;
    }

private:
    struct Slot {
        std::atomic<const void*> feed{nullptr};
        std::atomic<SInt64> playID{0};
    };
    std::array<Slot, kSlots> mSlots;
};
