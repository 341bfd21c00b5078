#include "audio/engine/CASampleRing.h"

#include <gtest/gtest.h>

#include <vector>

namespace {

// A two-channel ring of float frames; channel c of frame t holds t + 1000 c.
struct Ring {
    explicit Ring(UInt32 capacity) { ring.Allocate(2, 4, capacity); }

    OSStatus store(SInt64 start, UInt32 frames)
    {
        std::vector<Float32> left(frames), right(frames);
        for (UInt32 i = 0; i < frames; ++i) {
            left[i] = Float32(start + i);
            right[i] = Float32(start + i + 1000);
        }
        StackAudioBufferList<2> list;
        list.mBuffers[0] = AudioBuffer{1, frames * 4, left.data()};
        list.mBuffers[1] = AudioBuffer{1, frames * 4, right.data()};
        return ring.Store(list.list(), frames, start);
    }
    struct Fetched {
        OSStatus status;
        std::vector<Float32> left, right;
        UInt32 byteSize;
    };
    Fetched fetch(SInt64 start, UInt32 frames)
    {
        Fetched out{0, std::vector<Float32>(frames, -1.0f), std::vector<Float32>(frames, -1.0f), 0};
        StackAudioBufferList<2> list;
        list.mBuffers[0] = AudioBuffer{1, frames * 4, out.left.data()};
        list.mBuffers[1] = AudioBuffer{1, frames * 4, out.right.data()};
        out.status = ring.Fetch(list.list(), frames, start);
        out.byteSize = list.mBuffers[0].mDataByteSize;
        return out;
    }
    std::pair<SInt64, SInt64> bounds()
    {
        SInt64 start = -1, end = -1;
        EXPECT_EQ(ring.GetTimeBounds(start, end), CASampleRing::kOK);
        return {start, end};
    }
    CASampleRing ring;
};

} // namespace

TEST(CASampleRing, CapacityIsTheNextPowerOfTwo)
{
    for (const auto& [asked, expected] : {std::pair{1000u, 1024u}, {1024u, 1024u}, {0u, 1u}, {1u, 1u}, {1025u, 2048u}}) {
        CASampleRing ring;
        ring.Allocate(1, 4, asked);
        EXPECT_EQ(ring.GetCapacityFrames(), expected) << asked;
    }
}

TEST(CASampleRing, StoresTrackTheHeldRange)
{
    Ring r(1024);
    EXPECT_EQ(r.store(0, 1025), CASampleRing::kTooMuch);
    EXPECT_EQ(r.bounds(), (std::pair<SInt64, SInt64>{0, 0})) << "a refused store changes nothing";

    ASSERT_EQ(r.store(0, 1024), CASampleRing::kOK) << "a store of the whole capacity";
    ASSERT_EQ(r.store(1024, 600), CASampleRing::kOK);
    EXPECT_EQ(r.bounds(), (std::pair<SInt64, SInt64>{600, 1624})) << "end - start stays within the capacity";
    Ring::Fetched all = r.fetch(600, 1024);
    EXPECT_EQ(all.left.front(), 600.0f);
    EXPECT_EQ(all.left.back(), 1623.0f);
    EXPECT_EQ(all.right[500], 2100.0f);

    ASSERT_EQ(r.store(1700, 10), CASampleRing::kOK); // past the end: a gap
    Ring::Fetched gap = r.fetch(1620, 100);
    EXPECT_EQ(gap.left[3], 1623.0f);
    EXPECT_EQ(gap.left[4], 0.0f) << "the gap reads zeros";
    EXPECT_EQ(gap.left[79], 0.0f);
    EXPECT_EQ(gap.left[80], 1700.0f);

    ASSERT_EQ(r.store(100, 50), CASampleRing::kOK);
    EXPECT_EQ(r.bounds(), (std::pair<SInt64, SInt64>{100, 150})) << "a store backwards drops what was held";
}

TEST(CASampleRing, FetchPadsWhatLiesOutsideTheHeldRange)
{
    Ring r(1024);
    ASSERT_EQ(r.store(2000, 10), CASampleRing::kOK);
    ASSERT_EQ(r.store(500, 100), CASampleRing::kOK); // backwards: the ring now starts at 500
    ASSERT_EQ(r.store(600, 100), CASampleRing::kOK);
    ASSERT_EQ(r.bounds(), (std::pair<SInt64, SInt64>{500, 700}));

    Ring::Fetched early = r.fetch(490, 50);
    EXPECT_EQ(early.status, CASampleRing::kOK);
    EXPECT_EQ(early.left[9], 0.0f);
    EXPECT_EQ(early.left[10], 500.0f) << "held frames at byte offset 10 x bytes per frame";
    EXPECT_EQ(early.byteSize, 40u * 4) << "only the held frames count";

    Ring::Fetched late = r.fetch(680, 50);
    EXPECT_EQ(late.left[19], 699.0f);
    EXPECT_EQ(late.left[20], 0.0f);
    EXPECT_EQ(late.byteSize, 20u * 4);

    for (SInt64 start : {0, 800}) {
        Ring::Fetched outside = r.fetch(start, 50);
        EXPECT_EQ(outside.byteSize, 0u);
        EXPECT_EQ(outside.left[0], 0.0f);
        EXPECT_EQ(outside.right[49], 0.0f);
    }
}

TEST(CASampleRing, BoundsChecksNameWhereAWindowLies)
{
    Ring r(1024);
    ASSERT_EQ(r.store(1000, 10), CASampleRing::kOK);
    ASSERT_EQ(r.store(100, 100), CASampleRing::kOK); // backwards: holds [100, 200)
    struct Case {
        SInt64 start, end;
        SInt32 expected;
    };
    for (const Case& c : {Case{120, 180, 0}, Case{100, 200, 0}, Case{10, 90, CASampleRing::kWindowBeforeStart},
                          Case{90, 150, CASampleRing::kWindowStartsBefore}, Case{150, 250, CASampleRing::kWindowEndsAfter},
                          Case{200, 260, CASampleRing::kWindowAfterEnd}, Case{50, 250, CASampleRing::kWindowAround}})
        EXPECT_EQ(r.ring.CheckTimeBounds(c.start, c.end), c.expected) << c.start << ".." << c.end;

    std::vector<Float32> left(50), right(50);
    StackAudioBufferList<2> list;
    list.mBuffers[0] = AudioBuffer{1, 200, left.data()};
    list.mBuffers[1] = AudioBuffer{1, 200, right.data()};
    EXPECT_EQ(r.ring.FetchWithinBounds(list.list(), 50, 120), 0);
    EXPECT_EQ(left[0], 120.0f);
    EXPECT_EQ(right[49], 1169.0f);
    EXPECT_EQ(r.ring.FetchWithinBounds(list.list(), 50, 170), CASampleRing::kWindowEndsAfter);

    r.ring.ClearTimeBounds();
    EXPECT_EQ(r.ring.CheckTimeBounds(120, 180), CASampleRing::kCPUOverload) << "nothing readable until a store";
    ASSERT_EQ(r.store(300, 10), CASampleRing::kOK);
    EXPECT_EQ(r.ring.CheckTimeBounds(300, 310), 0);
}
