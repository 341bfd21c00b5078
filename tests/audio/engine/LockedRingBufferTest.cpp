#include "audio/engine/RingBufferData.h"
#include "audio/engine/ZEPAudioPullRingBuffer.h"
#include "audio/engine/ZEPCanonicalFormats.h"

#include "TestProducers.h"
#include "support/RenderGuard.h"

#include <gtest/gtest.h>

#include <chrono>
#include <thread>

using clipdeck::test::RenderGuard;
using enginetest::Buffers;
using enginetest::CountingSource;

namespace {

AudioStreamBasicDescription stereo()
{
    AudioStreamBasicDescription description;
    ZEPCanonicalFloatASBD(&description, 2, true);
    return description;
}

// Writes frames [first, first + count) as (n, -n).
OSStatus writeCount(ZEPAudioRingBuffer& ring, Float32 first, UInt32 count)
{
    Buffers in(count, 2);
    for (UInt32 i = 0; i < count; ++i) {
        in.samples[0][i] = first + Float32(i);
        in.samples[1][i] = -(first + Float32(i));
    }
    return ring.writeFrames(count, in.list());
}

} // namespace

TEST(RingBufferData, WritesWrapReadsFollowAndOversizeWritesAreRefused)
{
    RingBufferData* ring = nullptr;
    ASSERT_EQ(ZEPRingBufferCreate(&ring, 10), noErr);
    const UInt8 bytes[12] = {1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 12};
    EXPECT_EQ(ZEPRingBufferWrite(ring, bytes, 11), 1);
    UInt8 tooMany[11] = {};
    SInt32 asked = 11;
    EXPECT_EQ(ZEPRingBufferRead(ring, tooMany, &asked), 1) << "never reads past the block";
    ASSERT_EQ(ZEPRingBufferWrite(ring, bytes, 8), noErr);
    UInt8 out[8] = {};
    SInt32 count = 6;
    ASSERT_EQ(ZEPRingBufferRead(ring, out, &count), noErr);
    EXPECT_EQ(count, 6);
    ASSERT_EQ(ZEPRingBufferWrite(ring, bytes + 8, 4), noErr); // wraps past the end
    SInt32 amount = 0;
    ZEPRingBufferGetAmount(ring, &amount);
    EXPECT_EQ(amount, 6);
    count = 6;
    ASSERT_EQ(ZEPRingBufferRead(ring, out, &count), noErr);
    EXPECT_EQ(std::vector<UInt8>(out, out + 6), (std::vector<UInt8>{7, 8, 9, 10, 11, 12}));

    ZEPRingBufferWrite(ring, bytes, 5);
    ZEPRingBufferBurnTail(ring, 2);
    ZEPRingBufferConsume(ring, 1);
    count = 2;
    ZEPRingBufferRead(ring, out, &count);
    EXPECT_EQ(out[0], 2);
    EXPECT_EQ(out[1], 3);
    UInt32 written = 0, read = 0;
    ZEPRingBufferGetWritten(ring, &written);
    ZEPRingBufferGetRead(ring, &read);
    EXPECT_EQ(written, 17u);
    EXPECT_EQ(read, 15u);

    EXPECT_EQ(ZEPRingBufferGetAmount(nullptr, &amount), kAudio_ParamError);
    EXPECT_EQ(ZEPRingBufferGetWritten(nullptr, &written), 1);
    EXPECT_EQ(ZEPRingBufferDispose(&ring), noErr);
    EXPECT_EQ(ring, nullptr);
}

TEST(ZEPAudioRingBuffer, RestrictiveRingsDropTheOldestFramesAndShortenReads)
{
    ZEPAudioRingBuffer ring(stereo(), 1000);
    ASSERT_EQ(writeCount(ring, 0, 1000), noErr);
    ASSERT_EQ(writeCount(ring, 1000, 300), noErr);
    EXPECT_EQ(ring.amountFrames(), 1000u);

    Buffers out(2000, 2);
    UInt32 frames = 2000;
    ASSERT_EQ(ring.readFrames(&frames, out.list()), noErr);
    EXPECT_EQ(frames, 1000u) << "shortened to what is stored";
    EXPECT_EQ(out.list()->mBuffers[1].mDataByteSize, 4000u);
    EXPECT_EQ(out.samples[0][0], 300.0f) << "the 300 oldest frames were dropped";
    EXPECT_EQ(out.samples[1][0], -300.0f) << "from every channel alike";
    EXPECT_EQ(out.samples[0][999], 1299.0f);

    writeCount(ring, 0, 500);
    ring.consumeFrames(600);
    EXPECT_EQ(ring.amountFrames(), 0u);
    Buffers mono(10, 1);
    EXPECT_EQ(writeCount(ring, 0, 10), noErr);
    EXPECT_EQ(ring.writeFrames(10, mono.list()), noErr);
    EXPECT_EQ(ring.amountFrames(), 10u) << "a list of the wrong shape is ignored";
}

TEST(ZEPAudioPullRingBuffer, TheRenderSideTriesABusyRingOnceAndNeverWaits)
{
    ZEPAudioPullRingBuffer ring(stereo(), 8192);
    writeCount(ring, 0, 1024);
    std::atomic<bool> holding{false};
    std::atomic<bool> release{false};
    std::thread holder([&] {
        ring.lock();
        holding.store(true);
        while (!release.load())
            std::this_thread::yield();
        ring.unlock();
    });
    while (!holding.load())
        std::this_thread::yield();
    Buffers out(512, 2);
    UInt32 frames = 512;
    bool consumed = true;
    RenderGuard guard;
    {
        RenderGuard::Scope armed;
        ring.readFrames(&frames, out.list());
        consumed = ring.consumeFramesFromReader(16);
    }
    release.store(true);
    holder.join();
    EXPECT_EQ(guard.violations(), 0u) << guard.report().toStdString();
    EXPECT_EQ(frames, 0u) << "a busy ring answers like an empty one";
    EXPECT_FALSE(consumed);
    frames = 512;
    ring.readFrames(&frames, out.list());
    EXPECT_EQ(frames, 512u);
    EXPECT_EQ(out.samples[0][511], 511.0f);
}

TEST(ZEPAudioPullRingBuffer, PrimeStopsAtTheFirstAnswerThatIsNotSuccess)
{
    CountingSource source;
    source.endAfter = 1500;
    ZEPAudioPullRingBuffer ring(stereo(), 8192);
    ring.setAudioSource(&source);
    EXPECT_EQ(ring.prime(4096), kZEPAudioSourceEndOfData);
    EXPECT_EQ(ring.amountFrames(), 1500u);
}
