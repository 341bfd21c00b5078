// The buffered players rendered offline: their render is called the way the output path
// calls it, with their rings filled by their real loaders.
#include "audio/engine/ZEPCanonicalFormats.h"
#include "audio/engine/ZEPLocklessPullAudioPlayer.h"
#include "audio/engine/ZEPPullAudioPlayer.h"
#include "audio/engine/ZEPPushAudioPlayer.h"
#include "audio/engine/ZEPSlamAudioPlayer.h"

#include "TestProducers.h"
#include "platform/MainThread.h"
#include "support/SettleEventLoop.h"
#include "support/TestEnvironment.h"

#include <QCoreApplication>
#include <gtest/gtest.h>

using namespace enginetest;
using clipdeck::test::waitUntil;

namespace {

OSStatus renderSlice(ZEPAudioPlayer& player, Buffers& out, UInt32* frames)
{
    AudioUnitRenderActionFlags flags = 0;
    AudioTimeStamp time;
    time.mFlags = kAudioTimeStampSampleTimeValid;
    for (auto& buffer : out.samples)
        std::fill(buffer.begin(), buffer.end(), -7.0f);
    for (UInt32 b = 0; b < out.list()->mNumberBuffers; ++b)
        out.list()->mBuffers[b].mDataByteSize = *frames * 4;
    return player.renderFrames(frames, out.list(), &flags, &time, nullptr);
}

FunctionSource::Signal counting()
{
    return [](UInt64 frame, UInt32 channel) { return channel == 0 ? Float32(frame) : -Float32(frame); };
}

struct MarkCounter : ZEPAudioPlayerDelegate {
    int marks = 0;
    int slice = -1;       // the slice being rendered, set by the test
    int toldInSlice = -1; // the slice that reported the mark
    void slamAudioPlayerDidReachMark(ZEPSlamAudioPlayer*) override
    {
        ++marks;
        toldInSlice = slice;
    }
};

} // namespace

TEST(PullAudioPlayer, ADryRingPlaysSilenceUntilToldToStopWhenEmpty)
{
    FunctionSource source(counting());
    source.record = false;
    source.endAfter = 512;
    auto player = ZEPPullAudioPlayer::create(0, &source, ZEPPlaybackFormat());
    ASSERT_TRUE(player);
    player->currentRingBuffer()->prime(512);
    Buffers out(512, 2);

    // Exactly the frames asked are stored: the player needs more, so this slice is silent.
    UInt32 frames = 512;
    EXPECT_EQ(renderSlice(*player, out, &frames), noErr);
    EXPECT_EQ(frames, 512u);
    EXPECT_EQ(out.samples[0][0], 0.0f);
    EXPECT_EQ(out.list()->mBuffers[0].mDataByteSize, 2048u);
    EXPECT_EQ(player->sampleTime(), 0.0);

    // Told to stop when empty, it plays out what the ring holds, then ends.
    player->setStopWhenEmpty(true);
    frames = 512;
    EXPECT_EQ(renderSlice(*player, out, &frames), noErr);
    EXPECT_EQ(out.samples[0][511], 511.0f);
    EXPECT_EQ(player->sampleTime(), 512.0);
    frames = 512;
    EXPECT_EQ(renderSlice(*player, out, &frames), kZEPAudioSourceEndOfData);
    EXPECT_EQ(frames, 0u);
}

namespace {

// A producer of frame numbers that ends after endAfter frames in one of the ways the ring's
// loader takes as the end.
class EndingSource : public FunctionSource {
public:
    enum End { kEndOfDataAlone, kNothingWithSizesAsAsked, kEndOfDataWithTheLastFrames };
    explicit EndingSource(End end) : FunctionSource(counting()), mEnd(end) { record = false; }
    OSStatus renderFrames(UInt32* frames, AudioBufferList* ioData, AudioUnitRenderActionFlags* flags,
                          const AudioTimeStamp* timeStamp, void* sender) override
    {
        const bool atEnd = position >= endAfter;
        const OSStatus status = FunctionSource::renderFrames(frames, ioData, flags, timeStamp, sender);
        switch (mEnd) {
        case kEndOfDataAlone:
            return status; // 666, the buffers' sizes left as asked
        case kNothingWithSizesAsAsked:
            return atEnd ? noErr : status; // success, no frames, sizes left as asked
        case kEndOfDataWithTheLastFrames:
            return position >= endAfter ? kZEPAudioSourceEndOfData : status;
        }
        return status;
    }

private:
    End mEnd;
};

} // namespace

TEST(PullAudioPlayer, AProducerThatEndsStopsThePlayerOnceItsRingHasPlayedOut)
{
    for (const auto end : {EndingSource::kEndOfDataAlone, EndingSource::kNothingWithSizesAsAsked,
                           EndingSource::kEndOfDataWithTheLastFrames}) {
        SCOPED_TRACE(int(end));
        EndingSource source(end);
        source.endAfter = 1024;
        auto player = ZEPPullAudioPlayer::create(0, &source, ZEPPlaybackFormat());
        ASSERT_TRUE(player);
        // The loader takes the whole sound and ends on the producer's end.
        player->currentRingBuffer()->start();
        ASSERT_TRUE(waitUntil([&] { return !player->currentRingBuffer()->isRunning(); }));
        ASSERT_EQ(player->currentRingBuffer()->amountFrames(), 1024u);

        // Every frame plays, the last slice too (no loader will add to it), then the end.
        Buffers out(512, 2);
        for (UInt32 slice = 0; slice < 2; ++slice) {
            UInt32 frames = 512;
            EXPECT_EQ(renderSlice(*player, out, &frames), noErr);
            EXPECT_EQ(out.samples[0][0], Float32(slice * 512)) << slice;
            EXPECT_EQ(out.samples[0][511], Float32(slice * 512 + 511)) << slice;
        }
        UInt32 frames = 512;
        EXPECT_EQ(renderSlice(*player, out, &frames), kZEPAudioSourceEndOfData);
        EXPECT_EQ(frames, 0u);
        EXPECT_EQ(player->sampleTime(), 1024.0);
    }
}

TEST(PullAudioPlayer, TheLoaderKeepsTheRingAheadAndAStopTimeStopsPlayback)
{
    FunctionSource source(counting());
    source.record = false;
    auto player = ZEPPullAudioPlayer::create(0, &source, ZEPPlaybackFormat(), 16384);
    ASSERT_TRUE(player);
    player->setPrimeAmountFrames(4096);
    player->currentRingBuffer()->prime(player->primeAmountFrames());
    player->currentRingBuffer()->start();
    player->setStopSampleTime(10000);
    Buffers out(512, 2);
    UInt64 expected = 0;
    // The render tries the ring's lock once and never waits for it: a slice that meets the
    // loader writing is silence and counts for nothing (neither the ring nor the player's
    // time moves), so the test renders until 20 slices have played.
    int missed = 0;
    for (int played = 0; played < 20;) {
        ASSERT_TRUE(waitUntil([&] { return player->currentRingBuffer()->amountFrames() > 512; }));
        UInt32 frames = 512;
        ASSERT_EQ(renderSlice(*player, out, &frames), noErr);
        if (out.samples[0][1] == 0.0f) { // the counting source's frame 1 is never 0
            ASSERT_LE(++missed, 5) << "the loader held the ring on slice after slice";
            continue;
        }
        EXPECT_EQ(out.samples[0][0], Float32(expected)) << played;
        expected += 512;
        ++played;
    }
    // The slice that reaches the stop time plays up to it, and silence after it.
    EXPECT_EQ(out.samples[0][271], 9999.0f);
    EXPECT_EQ(out.samples[0][272], 0.0f);
    EXPECT_EQ(out.samples[1][511], 0.0f);
    player->currentRingBuffer()->stop();
}

TEST(SlamAudioPlayer, PlaysItsBlockAndReportsTheMarkOnceInTheSliceThatReachesIt)
{
    // Rendered through the output unit, as the device renders it: the output path counts
    // the frames played, once per slice.
    const struct {
        SInt64 mark;
        int toldInSlice; // 512-frame slices: slice s plays frames 512 s ... 512 s + 511
    } cases[] = {{2205, 4}, {2048, 3}, {0, -1}};
    for (const auto& c : cases) {
        SCOPED_TRACE(c.mark);
        auto player = ZEPSlamAudioPlayer::create(0, ZEPPlaybackFormat(), 4410);
        ASSERT_TRUE(player);
        MarkCounter counter;
        player->setDelegate(&counter);
        Buffers block(4410, 2);
        for (UInt32 i = 0; i < 4410; ++i) {
            block.samples[0][i] = Float32(i);
            block.samples[1][i] = 0.5f;
        }
        ASSERT_EQ(player->slamFrames(4410, block.list()), noErr);
        player->setMarkFrames(c.mark);
        ASSERT_EQ(player->outputUnit()->initialize(), noErr);
        Buffers out(512, 2);
        for (int slice = 0; slice < 8; ++slice) {
            counter.slice = slice;
            AudioUnitRenderActionFlags flags = 0;
            AudioTimeStamp time;
            time.mSampleTime = 512.0 * slice;
            time.mFlags = kAudioTimeStampSampleTimeValid;
            ASSERT_EQ(player->outputUnit()->render(&flags, &time, 0, 512, out.list()), noErr);
            if (slice == 2) {
                EXPECT_EQ(out.samples[0][5], 1029.0f);
            }
        }
        EXPECT_EQ(counter.marks, c.mark > 0 ? 1 : 0);
        EXPECT_EQ(counter.toldInSlice, c.toldInSlice);
        EXPECT_EQ(player->framesPlayed(), 4096);
    }
}

// A lock-free pull player over an empty ring, counting the overloads it reports.
class LocklessPullAudioPlayerOverload : public ::testing::Test {
protected:
    struct OverloadCounter : ZEPAudioPlayerDelegate {
        int overloads = 0;
        void playerDidOverload(ZEPLocklessPullAudioPlayer*) override { ++overloads; }
    };
    void SetUp() override
    {
        source.record = false;
        player = ZEPLocklessPullAudioPlayer::create(0, &source, ZEPPlaybackFormat(), 8192);
        ASSERT_TRUE(player);
        player->setDelegate(&counter);
    }
    OSStatus render() { return renderSlice(*player, out, &frames); }

    OverloadCounter counter;
    FunctionSource source{counting()};
    std::unique_ptr<ZEPLocklessPullAudioPlayer> player;
    Buffers out{512, 2};
    UInt32 frames = 512;
};

TEST_F(LocklessPullAudioPlayerOverload, ReportsAnOverloadOnceAndRecoversWhenTheRingRefills)
{
    ASSERT_EQ(render(), noErr); // empty ring: overload, silence
    EXPECT_EQ(out.samples[0][10], 0.0f);
    ASSERT_EQ(render(), noErr); // still dry: no second report
    EXPECT_TRUE(waitUntil([&] { return counter.overloads == 1; }));
    QCoreApplication::processEvents();
    EXPECT_EQ(counter.overloads, 1);
    EXPECT_TRUE(player->isRecoveringFromOverload());

    player->currentRingBuffer()->prime(4096); // a quarter of the capacity and more
    ASSERT_EQ(render(), noErr);
    EXPECT_FALSE(player->isRecoveringFromOverload());
    EXPECT_EQ(out.samples[0][1], 1.0f);
}

TEST_F(LocklessPullAudioPlayerOverload, AnOverloadTheFullMainThreadQueueDidNotTakeIsReportedAgain)
{
    // The main thread is busy: the real-time queue is full when the ring runs dry.
    QCoreApplication::processEvents();
    const auto nothing = [](void*, intptr_t) {};
    while (mainthread::postRealtime(nothing, nullptr, 0)) {
    }
    ASSERT_EQ(render(), noErr); // dry: its report finds no room
    QCoreApplication::processEvents();                     // the queue drains
    clipdeck::test::settleEventLoop();
    EXPECT_EQ(counter.overloads, 0);

    ASSERT_EQ(render(), noErr); // still dry: reported now
    EXPECT_TRUE(waitUntil([&] { return counter.overloads == 1; }));
}

TEST(PushAudioPlayer, RebuffersAfterRunningDryWaitingLongerEachTime)
{
    auto player = ZEPPushAudioPlayer::create(0, ZEPPlaybackFormat());
    ASSERT_TRUE(player);
    player->reset();
    Buffers out(512, 2);
    UInt32 frames = 512;
    ASSERT_EQ(renderSlice(*player, out, &frames), noErr); // new player: dry, ignoring it
    EXPECT_EQ(player->resumeFrames(), 0u);

    Buffers block(1024, 2);
    for (UInt32 i = 0; i < 1024; ++i)
        block.samples[0][i] = block.samples[1][i] = Float32(i);
    ASSERT_EQ(player->pushFrames(1024, block.list()), noErr);
    ASSERT_EQ(renderSlice(*player, out, &frames), noErr); // more than 0 stored: resumes
    EXPECT_EQ(out.samples[0][3], 3.0f);
    ASSERT_EQ(renderSlice(*player, out, &frames), noErr);
    EXPECT_EQ(out.samples[0][3], 515.0f);
    ASSERT_EQ(renderSlice(*player, out, &frames), noErr); // dry: the threshold grows once
    EXPECT_EQ(out.samples[0][3], 0.0f);
    EXPECT_EQ(player->resumeFrames(), 512u);
    ASSERT_EQ(renderSlice(*player, out, &frames), noErr);
    EXPECT_EQ(player->resumeFrames(), 512u);
}
