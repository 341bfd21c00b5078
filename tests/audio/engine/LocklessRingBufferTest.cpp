#include "audio/engine/ZEPAudioLocklessPullRingBuffer.h"
#include "audio/engine/ZEPAudioLocklessPushRingBuffer.h"
#include "audio/engine/ZEPCanonicalFormats.h"

#include "TestProducers.h"
#include "support/RenderGuard.h"
#include "support/TestEnvironment.h"

#include <gtest/gtest.h>

#include <thread>

using clipdeck::test::RenderGuard;
using clipdeck::test::waitUntil;
using enginetest::Buffers;
using enginetest::CountingSource;

namespace {

// Writes frames [first, first + count) as (n, -n) in the ring's format.
void writeCount(ZEPAudioLocklessRingBuffer& ring, UInt64 first, UInt32 count)
{
    const bool nonInterleaved = ring.asbd()->mFormatFlags & kAudioFormatFlagIsNonInterleaved;
    Buffers in(count, 2, nonInterleaved);
    for (UInt32 i = 0; i < count; ++i) {
        const Float32 n = Float32(first + i);
        if (nonInterleaved) {
            in.samples[0][i] = n;
            in.samples[1][i] = -n;
        } else {
            in.samples[0][2 * i] = n;
            in.samples[0][2 * i + 1] = -n;
        }
    }
    ring.writeFrames(count, in.list());
}

// Reads count frames; the value of each frame's left sample (or NAN where right != -left).
std::vector<Float32> readCount(ZEPAudioLocklessRingBuffer& ring, UInt32 count)
{
    const bool nonInterleaved = ring.asbd()->mFormatFlags & kAudioFormatFlagIsNonInterleaved;
    Buffers out(count, 2, nonInterleaved);
    UInt32 frames = count;
    EXPECT_EQ(ring.readFrames(&frames, out.list()), noErr);
    EXPECT_EQ(frames, count);
    EXPECT_EQ(out.list()->mBuffers[0].mDataByteSize, count * ring.asbd()->mBytesPerFrame);
    std::vector<Float32> values(count);
    for (UInt32 i = 0; i < count; ++i) {
        const Float32 l = nonInterleaved ? out.samples[0][i] : out.samples[0][2 * i];
        const Float32 r = nonInterleaved ? out.samples[1][i] : out.samples[0][2 * i + 1];
        values[i] = r == -l ? l : NAN;
    }
    return values;
}

AudioStreamBasicDescription format(bool nonInterleaved)
{
    AudioStreamBasicDescription description;
    ZEPCanonicalFloatASBD(&description, 2, nonInterleaved);
    return description;
}

bool counts(const std::vector<Float32>& values, Float32 first)
{
    for (size_t i = 0; i < values.size(); ++i) {
        if (values[i] != first + Float32(i))
            return false;
    }
    return true;
}

bool silent(const std::vector<Float32>& values)
{
    return std::all_of(values.begin(), values.end(), [](Float32 v) { return v == 0.0f; });
}

} // namespace

TEST(ZEPAudioLocklessRingBuffer, ReadsAndWritesOfAnyLengthKeepEveryFrameInOrder)
{
    for (bool nonInterleaved : {true, false}) {
        SCOPED_TRACE(nonInterleaved ? "non-interleaved" : "interleaved");
        ZEPAudioLocklessRingBuffer ring(format(nonInterleaved), 65536);
        for (UInt64 first = 0; first < 50000; first += 3000)
            writeCount(ring, first, 3000);
        EXPECT_EQ(ring.amountFrames(), 51000u);
        EXPECT_TRUE(counts(readCount(ring, 32768), 0)) << "a read of the board mixer's whole slice";
        EXPECT_TRUE(counts(readCount(ring, 10000), 32768));
        EXPECT_EQ(ring.framesRead(), 42768);
    }
}

TEST(ZEPAudioLocklessRingBuffer, ReadsAcrossTheRingsEndKeepEveryFrameInOrder)
{
    for (bool nonInterleaved : {true, false}) {
        SCOPED_TRACE(nonInterleaved ? "non-interleaved" : "interleaved");
        ZEPAudioLocklessRingBuffer ring(format(nonInterleaved), 4096);
        UInt64 done = 0;
        for (UInt32 step : {3000u, 1500u, 4000u, 777u, 4096u, 64u}) {
            writeCount(ring, done, step);
            EXPECT_TRUE(counts(readCount(ring, step), Float32(done))) << "frames " << done << " on";
            done += step;
        }
    }
}

TEST(ZEPAudioLocklessRingBuffer, SpaceCountsTheCapacityAsked)
{
    ZEPAudioLocklessRingBuffer ring(format(true), 1000);
    EXPECT_EQ(ring.spaceFrames(), 1000u);
    writeCount(ring, 0, 300);
    EXPECT_EQ(ring.spaceFrames(), 700u);
    EXPECT_EQ(ring.amountFrames(), 300u);
    ring.consumeFrames(100);
    EXPECT_EQ(ring.amountFrames(), 200u);
    EXPECT_TRUE(counts(readCount(ring, 200), 100));
}

TEST(ZEPAudioLocklessRingBuffer, AReaderThatFellBehindResynchronisesBehindTheWriter)
{
    ZEPAudioLocklessRingBuffer ring(format(true), 4096);
    writeCount(ring, 0, 1000);
    EXPECT_TRUE(counts(readCount(ring, 500), 0));
    for (UInt64 first = 1000; first < 9000; first += 1000)
        writeCount(ring, first, 1000); // overwrites frames the reader has not read

    EXPECT_TRUE(silent(readCount(ring, 512))) << "frames that are gone are not handed out";
    EXPECT_EQ(ring.framesRead(), 9000 - 512);
    EXPECT_TRUE(counts(readCount(ring, 512), 9000 - 512)) << "the next read plays the newest frames";
}

TEST(ZEPAudioLocklessRingBuffer, AReadPastTheWrittenEndIsSilentAndLosesNothing)
{
    ZEPAudioLocklessRingBuffer ring(format(true), 4096);
    writeCount(ring, 0, 100);
    EXPECT_TRUE(silent(readCount(ring, 200)));
    EXPECT_EQ(ring.framesRead(), 0);
    writeCount(ring, 100, 100);
    EXPECT_TRUE(counts(readCount(ring, 200), 0));
}

TEST(ZEPAudioLocklessPullRingBuffer, LoaderKeepsGoingOnNoDataAndStopsAtTheEnd)
{
    CountingSource source;
    source.noDataPulls = 3;
    source.endAfter = 5000;
    ZEPAudioLocklessPullRingBuffer ring(format(true), 44100);
    ring.setAudioSource(&source);
    ring.start();
    EXPECT_TRUE(ring.isRunning());
    for (int i = 0; i < 500 && ring.isRunning(); ++i)
        std::this_thread::sleep_for(std::chrono::milliseconds(2));
    EXPECT_FALSE(ring.isRunning()) << "the end of data ends the loader";
    EXPECT_EQ(ring.amountFrames(), 5000u) << "667 answers did not stop it";
    EXPECT_TRUE(counts(readCount(ring, 5000), 0));

    // Ignoring emptiness, the loader outlives the end; stop() returns once it has ended.
    ring.reset();
    source.next = 0;
    source.endAfter = 1000;
    ring.setIgnoreEmpty(true);
    ring.start();
    std::this_thread::sleep_for(std::chrono::milliseconds(50));
    EXPECT_TRUE(ring.isRunning());
    ring.stop();
    EXPECT_FALSE(ring.isRunning());
    const int pulls = source.pulls.load();
    std::this_thread::sleep_for(std::chrono::milliseconds(30));
    EXPECT_EQ(source.pulls.load(), pulls) << "no pull after stop()";
    EXPECT_LT(pulls, 200) << "an empty producer is not spun on";
}

TEST(ZEPAudioLocklessPullRingBuffer, PrimeFillsOnTheCallersThread)
{
    CountingSource source;
    ZEPAudioLocklessPullRingBuffer ring(format(true), 8192);
    ring.setPullFrames(1000);
    ring.setAudioSource(&source);
    EXPECT_EQ(ring.prime(4500), noErr);
    EXPECT_EQ(ring.amountFrames(), 5000u) << "whole pulls until at least the frames asked";
    source.noDataPulls = 1;
    EXPECT_EQ(ring.prime(8192), kZEPAudioSourceNoDataYet);
    EXPECT_EQ(ring.amountFrames(), 5000u);
    EXPECT_EQ(ring.prime(100000), noErr);
    EXPECT_LE(ring.amountFrames(), 8192u) << "never past the capacity";
    EXPECT_TRUE(counts(readCount(ring, ring.amountFrames()), 0));
}

TEST(ZEPAudioLocklessPushRingBuffer, BlockingReadsWaitForTheWriter)
{
    ZEPAudioLocklessPushRingBuffer ring(format(true), 4096);
    ring.setReadsBlock(true);
    std::thread writer([&] {
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
        writeCount(ring, 0, 300);
    });
    EXPECT_TRUE(counts(readCount(ring, 256), 0));
    writer.join();
    ring.setReadsBlock(false);
    EXPECT_TRUE(silent(readCount(ring, 256))) << "not blocking: 44 frames are not enough";
}

TEST(ZEPAudioLocklessPullRingBuffer, TheLoaderRefillsInLargePullsBelowItsMarkAndReadsAboveItWakeNobody)
{
    CountingSource source;
    ZEPAudioLocklessPullRingBuffer ring(format(true), 16384);
    ring.setPullFrames(1024);
    ring.setAudioSource(&source);
    ASSERT_EQ(ring.refillMark(), 8192u);
    ring.start();
    ASSERT_TRUE(waitUntil([&] { return ring.spaceFrames() < 1024; }));
    const int pullsWhenFull = source.pulls.load();
    Buffers out(512, 2);
    RenderGuard guard;
    // Render-side reads that leave the ring at or above its mark: nobody is woken, and the
    // loader pulls nothing.
    while (ring.amountFrames() >= 8192 + 512) {
        UInt32 frames = 512;
        RenderGuard::Scope armed;
        ring.readFrames(&frames, out.list());
    }
    EXPECT_EQ(guard.wakes(), 0u);
    EXPECT_EQ(source.pulls.load(), pullsWhenFull);
    // The read that takes it below the mark wakes the loader, once, and the loader fills
    // the ring to the top, pull after pull.
    {
        UInt32 frames = 512;
        RenderGuard::Scope armed;
        ring.readFrames(&frames, out.list());
    }
    EXPECT_EQ(guard.wakes(), 1u);
    EXPECT_EQ(guard.violations(), 0u) << guard.report().toStdString();
    ASSERT_TRUE(waitUntil([&] { return ring.spaceFrames() < 1024; }));
    EXPECT_GE(source.pulls.load() - pullsWhenFull, 8);
    ring.stop();
}

TEST(ZEPAudioLocklessPushRingBuffer, TheWriterTakesNoLockWhileNoReaderWaits)
{
    ZEPAudioLocklessPushRingBuffer ring(format(true), 4096);
    Buffers in(256, 2);
    RenderGuard guard;
    {
        RenderGuard::Scope armed;
        for (int i = 0; i < 4; ++i)
            ring.writeFrames(256, in.list());
    }
    EXPECT_EQ(guard.violations(), 0u) << guard.report().toStdString();
    EXPECT_EQ(ring.amountFrames(), 1024u);
}
