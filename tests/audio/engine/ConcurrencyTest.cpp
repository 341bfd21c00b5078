// Tests of the engine's cross-thread paths; they also run under ThreadSanitizer.
#include "audio/engine/ZEPAudioLocklessPullRingBuffer.h"
#include "audio/engine/ZEPAudioMixer.h"
#include "audio/engine/ZEPAudioPullRingBuffer.h"
#include "audio/engine/ZEPAudioRingBuffer.h"
#include "audio/engine/ZEPCanonicalFormats.h"
#include "platform/MainThread.h"

#include "TestProducers.h"
#include "support/TestEnvironment.h"

#include <gtest/gtest.h>

#include <chrono>
#include <map>
#include <thread>

using namespace enginetest;
using clipdeck::test::waitUntil;

#ifndef CLIPDECK_PACED_READ_SECONDS
#define CLIPDECK_PACED_READ_SECONDS 10
#endif

namespace {

// Counts the producers the mixer reports as removed, by the id each was given.
struct RemovalCollector : ZEPAudioMixerDelegate {
    void mixerDidUpdateSources(ZEPAudioMixer* mixer) override
    {
        onMainThread = onMainThread && mainthread::isMainThread();
        for (const std::shared_ptr<ZEPAudioSource>& source : mixer->removedSources())
            ++reported[ids.at(source.get())];
        mixer->addedSources(); // nothing to do with them here

    }
    std::map<const ZEPAudioSource*, int> ids;
    std::map<int, int> reported;
    bool onMainThread = true;
};

} // namespace

TEST(ZEPAudioMixerConcurrency, SwappingProducersWhileRenderingReportsEachRemovalOnce)
{
    RemovalCollector collector;
    auto mixer = ZEPAudioMixer::create(32, 1, kZEPPlaybackMaxRenderSlice, ZEPPlaybackFormat());
    ASSERT_TRUE(mixer);
    mixer->setDelegate(&collector);
    mixer->setLevelsEnabled(true);
    for (UInt32 i = 0; i < 32; ++i)
        mixer->setInputAtIndex(i, true);

    std::atomic<bool> rendering{true};
    std::atomic<int> slices{0};
    std::thread renderer([&] {
        Buffers out(512, 2);
        Float64 sampleTime = 0;
        while (rendering.load()) {
            UInt32 frames = 512;
            AudioTimeStamp time;
            time.mSampleTime = sampleTime;
            time.mFlags = kAudioTimeStampSampleTimeValid;
            sampleTime += frames;
            mixer->renderFrames(&frames, out.list(), nullptr, &time, nullptr);
            slices.fetch_add(1);
        }
    });

    std::vector<int> inInput(32, -1);
    std::map<int, int> expected;
    for (int swap = 0; swap < 1000; ++swap) {
        const UInt32 input = UInt32(swap * 7) % 32;
        std::shared_ptr<FunctionSource> next;
        if (swap % 10 != 9) {
            // Half at the mixer's rate, half resampled.
            const Float64 rate = swap % 2 ? 48000.0 : 44100.0;
            next = std::make_shared<FunctionSource>(sine(100 + swap, rate), rate);
            next->record = false;
            collector.ids[next.get()] = swap;
        }
        ASSERT_EQ(mixer->setAudioSource(next, input), noErr);
        if (inInput[input] >= 0)
            ++expected[inInput[input]];
        inInput[input] = next ? swap : -1;
        if (swap % 50 == 0)
            waitUntil([] { return false; }, 1); // let the main thread's queue run now and then
    }
    EXPECT_TRUE(waitUntil([&] { return collector.reported == expected; }, 10000));
    rendering.store(false);
    renderer.join();
    EXPECT_GT(slices.load(), 0);
    EXPECT_TRUE(collector.onMainThread);
    EXPECT_EQ(collector.reported, expected) << "every removed producer exactly once";
}

TEST(ZEPAudioLocklessPullRingBufferConcurrency, APacedReaderGetsEveryFrameInOrderWithoutUnderrun)
{
    AudioStreamBasicDescription format;
    ZEPCanonicalFloatASBD(&format, 2, true);
    CountingSource source;
    // As a board sound's feed: four seconds of ring, refilled 8192 frames at a time.
    ZEPAudioLocklessPullRingBuffer ring(format, 4 * 44100);
    ring.setPullFrames(8192);
    ring.setAudioSource(&source);
    ASSERT_EQ(ring.prime(44100), noErr);
    ring.start();

    std::atomic<int> underruns{0};
    std::atomic<bool> inOrder{true};
    std::atomic<UInt64> framesRead{0};
    std::thread reader([&] {
        Buffers out(512, 2);
        const auto slice = std::chrono::nanoseconds(512 * 1000000000LL / 44100);
        auto next = std::chrono::steady_clock::now();
        const UInt64 total = UInt64(CLIPDECK_PACED_READ_SECONDS) * 44100;
        UInt64 expected = 0;
        while (expected < total) {
            std::this_thread::sleep_until(next);
            next += slice;
            if (ring.amountFrames() < 512) {
                ++underruns;
                continue;
            }
            UInt32 frames = 512;
            ring.readFrames(&frames, out.list());
            for (UInt32 i = 0; i < 512; ++i) {
                if (out.samples[0][i] != Float32(expected + i) || out.samples[1][i] != -Float32(expected + i))
                    inOrder.store(false);
            }
            expected += 512;
        }
        framesRead.store(expected);
    });
    reader.join();
    ring.stop();
    EXPECT_FALSE(ring.isRunning());
    EXPECT_EQ(underruns.load(), 0);
    EXPECT_TRUE(inOrder.load());
    EXPECT_GE(framesRead.load(), UInt64(CLIPDECK_PACED_READ_SECONDS) * 44100);
}

TEST(ZEPAudioPullRingBufferConcurrency, LoaderFeedsTheReaderInOrderAndAnEndedLoaderNeverBlocksIt)
{
    CountingSource source;
    source.endAfter = 20000;
    AudioStreamBasicDescription format;
    ZEPCanonicalFloatASBD(&format, 2, true);
    ZEPAudioPullRingBuffer ring(format, 8192);
    ring.setAudioSource(&source);
    ring.reset();
    ring.start();

    Float32 expected = 0;
    bool inOrder = true;
    Buffers out(512, 2);
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(10);
    while (expected < 19968 && std::chrono::steady_clock::now() < deadline) {
        UInt32 frames = 512;
        ring.readFrames(&frames, out.list());
        if (frames == 0) {
            std::this_thread::sleep_for(std::chrono::milliseconds(1));
            continue;
        }
        for (UInt32 i = 0; i < frames; ++i)
            inOrder = inOrder && out.samples[0][i] == expected + Float32(i) && out.samples[1][i] == -out.samples[0][i];
        expected += Float32(frames);
    }
    EXPECT_TRUE(inOrder);
    EXPECT_EQ(expected, 19968.0f);
    for (int i = 0; i < 500 && ring.isRunning(); ++i)
        std::this_thread::sleep_for(std::chrono::milliseconds(2));
    EXPECT_FALSE(ring.isRunning()) << "the producer's end ends the loader";

    UInt32 frames = 512; // 32 frames are left
    const auto before = std::chrono::steady_clock::now();
    ring.readFrames(&frames, out.list());
    EXPECT_LT(std::chrono::steady_clock::now() - before, std::chrono::milliseconds(50));
    EXPECT_EQ(frames, 0u);
    EXPECT_EQ(out.list()->mBuffers[0].mDataByteSize, 0u);
}

TEST(ZEPAudioLocklessRingBufferConcurrency, AReaderThatFallsBehindALiveWriterResynchronisesOnce)
{
    AudioStreamBasicDescription format;
    ZEPCanonicalFloatASBD(&format, 2, true);
    ZEPAudioLocklessRingBuffer ring(format, 11025); // a quarter of a second
    std::atomic<bool> writing{true};
    std::thread writer([&] {
        // Writes the count in real time, 1024 frames at a time, whether or not it is read.
        Buffers chunk(1024, 2);
        auto next = std::chrono::steady_clock::now();
        for (UInt64 first = 0; writing.load(); first += 1024) {
            for (UInt32 i = 0; i < 1024; ++i) {
                chunk.samples[0][i] = Float32(first + i);
                chunk.samples[1][i] = -Float32(first + i);
            }
            // Like a loader it looks at the reader's position (which orders its writes after
            // the reader's copies), but it writes whatever that says.
            (void)ring.spaceFrames();
            ring.writeFrames(1024, chunk.list());
            next += std::chrono::nanoseconds(1024 * 1000000000LL / 44100);
            std::this_thread::sleep_until(next);
        }
    });

    Buffers out(512, 2);
    auto readOnce = [&] {
        UInt32 frames = 512;
        ring.readFrames(&frames, out.list());
        return out.samples[0][0];
    };
    std::this_thread::sleep_for(std::chrono::milliseconds(100));
    EXPECT_EQ(readOnce(), 0.0f);
    std::this_thread::sleep_for(std::chrono::milliseconds(500)); // falls twice the ring's length behind
    EXPECT_EQ(readOnce(), 0.0f) << "frames that are gone are not handed out";
    const SInt64 resumedAt = ring.framesRead();
    EXPECT_GT(resumedAt, 44100 / 2) << "the read position jumped to the writer";

    // From there on every frame read follows the one before: no second jump, no repeat.
    Float32 expected = Float32(resumedAt);
    bool inOrder = true;
    const auto slice = std::chrono::nanoseconds(512 * 1000000000LL / 44100);
    auto next = std::chrono::steady_clock::now();
    for (int read = 0; read < 60; ++read) {
        next += slice;
        std::this_thread::sleep_until(next);
        if (ring.amountFrames() < 512)
            continue; // the writer is a chunk behind: wait for it
        readOnce();
        for (UInt32 i = 0; i < 512; ++i)
            inOrder = inOrder && out.samples[0][i] == expected + Float32(i);
        expected += 512;
    }
    writing.store(false);
    writer.join();
    EXPECT_TRUE(inOrder);
    EXPECT_GT(expected, Float32(resumedAt));
}

TEST(ZEPAudioRingBufferConcurrency, DroppingAllWhileTheWriterCopiesAheadLosesNothingWrittenAfter)
{
    // A pull player's render drops everything its ring holds (a switch of rings) while the
    // loader copies its next pull into the free space without the lock: whatever the loader
    // publishes afterwards is read back whole, in order.
    AudioStreamBasicDescription format;
    ZEPCanonicalFloatASBD(&format, 2, true);
    ZEPAudioRingBuffer ring(format, 4096);
    std::atomic<bool> writing{true};
    std::thread writer([&] {
        Buffers chunk(256, 2);
        for (UInt64 first = 0; writing.load();) {
            // The count wraps at 2^20, where floats still hold every integer; reads of 64
            // frames never straddle the wrap.
            for (UInt32 i = 0; i < 256; ++i) {
                chunk.samples[0][i] = Float32((first + i) % (1 << 20));
                chunk.samples[1][i] = -chunk.samples[0][i];
            }
            if (ring.writeFramesIntoSpace(256, chunk.list()) == noErr)
                first += 256;
            else
                std::this_thread::yield();
        }
    });

    Buffers out(64, 2);
    int reads = 0, broken = 0;
    const auto end = std::chrono::steady_clock::now() + std::chrono::seconds(1);
    for (int round = 0; std::chrono::steady_clock::now() < end || reads < 1000; ++round) {
        ring.lock();
        if (ring.amountFrames() >= 64) {
            UInt32 frames = 64;
            ring.readFramesLocked(&frames, out.list());
            ++reads;
            bool whole = frames == 64;
            for (UInt32 i = 0; whole && i < 64; ++i)
                whole = out.samples[0][i] == out.samples[0][0] + Float32(i) && out.samples[1][i] == -out.samples[0][i];
            broken += whole ? 0 : 1;
        }
        if (round % 3 == 0)
            ring.consumeFramesLocked(ring.amountFrames());
        ring.unlock();
        std::this_thread::yield();
    }
    writing.store(false);
    writer.join();
    EXPECT_EQ(broken, 0) << "of " << reads << " reads";
}
