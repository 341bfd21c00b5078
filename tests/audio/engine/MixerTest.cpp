#include "audio/engine/ZEPAudioMixer.h"
#include "audio/engine/ZEPCanonicalFormats.h"

#include "TestProducers.h"
#include "support/AllocationCounter.h"
#include "support/TestEnvironment.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <random>
#include <thread>

using namespace enginetest;
using clipdeck::test::waitUntil;

namespace {

// The board's mixer (32 inputs, one output, slices up to 32768 frames) and what it rendered.
struct Board : ZEPAudioMixerDelegate {
    explicit Board(UInt32 inputs = 32)
        : mixer(ZEPAudioMixer::create(inputs, 1, kZEPPlaybackMaxRenderSlice, ZEPPlaybackFormat()))
    {
        mixer->setDelegate(this);
    }
    // Puts a producer into an input and enables it.
    FunctionSource* play(UInt32 input, std::shared_ptr<FunctionSource> source, Float32 volume = 1.0f)
    {
        EXPECT_EQ(mixer->setAudioSource(source, input), noErr);
        mixer->setVolumeForInput(volume, input);
        mixer->setInputAtIndex(input, true);
        return source.get();
    }
    OSStatus render(UInt32 frames)
    {
        Buffers out(frames, 2);
        AudioUnitRenderActionFlags flags = 0;
        AudioTimeStamp time;
        time.mSampleTime = sampleTime;
        time.mFlags = kAudioTimeStampSampleTimeValid;
        sampleTime += frames;
        const OSStatus status = mixer->renderFrames(&frames, out.list(), &flags, &time, nullptr);
        left.insert(left.end(), out.samples[0].begin(), out.samples[0].end());
        right.insert(right.end(), out.samples[1].begin(), out.samples[1].end());
        return status;
    }
    void mixerDidUpdateSources(ZEPAudioMixer*) override { ++updates; }

    std::unique_ptr<ZEPAudioMixer> mixer;
    Float64 sampleTime = 0;
    std::vector<Float32> left, right;
    int updates = 0;
};

// Magnitude of frequency in samples (Goertzel).
Float64 magnitudeAt(const std::vector<Float32>& samples, size_t first, size_t count, Float64 frequency,
                    Float64 sampleRate)
{
    const Float64 coefficient = 2 * std::cos(2 * std::numbers::pi * frequency / sampleRate);
    Float64 s1 = 0, s2 = 0;
    for (size_t i = first; i < first + count; ++i) {
        const Float64 s0 = samples[i] + coefficient * s1 - s2;
        s2 = s1;
        s1 = s0;
    }
    return std::sqrt(s1 * s1 + s2 * s2 - coefficient * s1 * s2);
}

} // namespace

TEST(ZEPAudioMixer, ThirtyTwoInputsSumWithTheirVolumesAndEnables)
{
    Board board;
    ASSERT_TRUE(board.mixer);
    Float64 expectedLeft = 0;
    Float64 expectedRight = 0;
    for (UInt32 i = 0; i < 32; ++i) {
        const Float32 level = Float32(i + 1) / 1000.0f;
        const Float32 volume = 0.5f + Float32(i) / 64.0f;
        board.play(i, std::make_shared<FunctionSource>(constant(level, -level / 2)), volume);
        if (i % 3 == 2) {
            board.mixer->setInputAtIndex(i, false);
            continue;
        }
        expectedLeft += level * volume;
        expectedRight += -level / 2 * volume;
    }
    EXPECT_FALSE(board.mixer->isInputAtIndexEnabled(2));
    EXPECT_EQ(board.mixer->volumeForInput(5), 0.5f + 5.0f / 64.0f);
    ASSERT_EQ(board.render(512), noErr);
    EXPECT_NEAR(board.left[0], expectedLeft, 1e-6);
    EXPECT_NEAR(board.right[511], expectedRight, 1e-6);

    board.mixer->setVolume(0.25f);
    board.render(512);
    EXPECT_NEAR(board.left[600], expectedLeft * 0.25, 1e-6);
    EXPECT_NEAR(board.right[600], expectedRight * 0.25, 1e-6);
}

TEST(ZEPAudioMixer, AProducerAtTheMixersRatePassesThroughBitExact)
{
    Board board;
    std::vector<std::vector<Float32>> produced(2);
    std::mt19937 random(3);
    std::uniform_real_distribution<Float32> noise(-1.0f, 1.0f);
    for (auto& channel : produced) {
        channel.resize(5 * 4096);
        for (Float32& sample : channel)
            sample = noise(random);
    }
    board.play(7, std::make_shared<FunctionSource>([&](UInt64 frame, UInt32 channel) {
        return produced[channel][frame];
    }));
    for (UInt32 frames : {4096u, 512u, 1000u, 4096u})
        ASSERT_EQ(board.render(frames), noErr);
    EXPECT_EQ(std::memcmp(board.left.data(), produced[0].data(), board.left.size() * 4), 0);
    EXPECT_EQ(std::memcmp(board.right.data(), produced[1].data(), board.right.size() * 4), 0);
}

TEST(ZEPAudioMixer, AProducerAtItsOwnRateComesOutAtTheMixersRate)
{
    Board board;
    // One second of a 1 kHz sine at 48000 Hz that ends on a peak, then silence, then the end.
    auto source = std::make_shared<FunctionSource>([](UInt64 frame, UInt32) {
        return frame < 48000 ? Float32(std::cos(2 * std::numbers::pi * 1000.0 * (Float64(frame) - 47999.0) / 48000.0))
                             : 0.0f;
    }, 48000.0);
    source->endAfter = 60000;
    board.play(0, source);
    while (board.left.size() < 60000)
        ASSERT_EQ(board.render(512), noErr);

    size_t first = board.left.size(), last = 0;
    for (size_t i = 0; i < board.left.size(); ++i) {
        if (std::fabs(board.left[i]) > 0.5f) {
            first = std::min(first, i);
            last = i;
        }
    }
    EXPECT_NEAR(Float64(last - first + 1), 44100.0, 4.0) << "one second at 44100 Hz";

    Float64 loudest = 0;
    Float64 peakFrequency = 0;
    for (Float64 frequency = 900; frequency <= 1100; frequency += 1) {
        const Float64 magnitude = magnitudeAt(board.left, 4000, 32768, frequency, 44100);
        if (magnitude > loudest) {
            loudest = magnitude;
            peakFrequency = frequency;
        }
    }
    EXPECT_NEAR(peakFrequency, 1000.0, 1.5);
}

TEST(ZEPAudioMixer, NothingOfAResampledProducerPlaysIntoTheNextOneOnItsInput)
{
    Board board;
    board.play(6, std::make_shared<FunctionSource>(constant(0.5f, 0.5f), 48000.0));
    for (int slice = 0; slice < 4; ++slice)
        board.render(512);
    EXPECT_NEAR(board.left.back(), 0.5f, 1e-6);
    ASSERT_EQ(board.mixer->setAudioSource(std::make_shared<FunctionSource>(constant(0.25f, 0.25f), 48000.0), 6), noErr);
    board.left.clear();
    board.render(512);
    const Float32 loudest = *std::max_element(board.left.begin(), board.left.end());
    EXPECT_LE(loudest, 0.25f + 1e-6f) << "frames the varispeed held of the previous producer";
    EXPECT_NEAR(board.left.back(), 0.25f, 1e-6);
}

TEST(ZEPAudioMixer, MetersAFullScaleSine)
{
    Board board;
    ASSERT_EQ(board.mixer->setLevelsEnabled(true), noErr);
    EXPECT_TRUE(board.mixer->levelsEnabled());
    board.play(3, std::make_shared<FunctionSource>(sine(1000, 44100)));
    while (board.left.size() < 2 * 44100)
        board.render(512);
    EXPECT_NEAR(board.mixer->leftPeakLevel(), 0.0, 0.5);
    EXPECT_NEAR(board.mixer->rightOutputLevel(), -3.0, 0.5);
    EXPECT_NEAR(board.mixer->leftAvgLevelForInput(3), -3.0, 0.5);
    EXPECT_NEAR(board.mixer->rightPeakLevelForInput(3), 0.0, 0.5);
    EXPECT_EQ(board.mixer->leftAvgLevelForInput(40), -160.0f) << "a level that cannot be read";

    board.mixer->setLevelsInDecibels(false);
    EXPECT_NEAR(board.mixer->leftPeakLevel(), 1.0, 0.06);
    EXPECT_EQ(board.mixer->minimumPowerLevel(), 0.0f);
    EXPECT_EQ(board.mixer->leftAvgLevelForInput(40), 0.0f);
}

TEST(ZEPAudioMixer, AnEndInTheMiddleOfASliceSilencesItUnlessOtherInputsPlayOn)
{
    struct Case {
        bool stopWhenAllFinish;
        bool otherInputPlays;
        bool keepsDeliveredHalf;
    };
    for (const Case& c : {Case{false, false, false}, Case{false, true, false}, Case{true, true, true},
                          Case{true, false, false}}) {
        SCOPED_TRACE(testing::Message() << c.stopWhenAllFinish << c.otherInputPlays);
        Board board;
        board.mixer->setStopWhenAllInputsFinish(c.stopWhenAllFinish);
        auto ending = std::make_shared<FunctionSource>(constant(0.5f, 0.5f));
        ending->endAfter = 256; // half the slice, then 666
        board.play(0, ending);
        if (c.otherInputPlays)
            board.play(1, std::make_shared<FunctionSource>(constant(0.0f, 0.0f)));
        board.render(512);
        EXPECT_EQ(board.left[0], c.keepsDeliveredHalf ? 0.5f : 0.0f);
        EXPECT_EQ(board.left[255], c.keepsDeliveredHalf ? 0.5f : 0.0f);
        EXPECT_EQ(board.left[256], 0.0f);
    }
}

TEST(ZEPAudioMixer, SlicesAreSplitByTheProducersLimitWithAdvancingTimeStamps)
{
    Board board;
    auto source = std::make_shared<FunctionSource>([](UInt64 frame, UInt32) { return Float32(frame); });
    source->setMaxRequestFrames(100);
    source->deliverAtMost = 60;
    board.play(0, source);
    board.sampleTime = 1000;
    board.render(512);
    for (UInt32 size : source->pullSizes)
        EXPECT_LE(size, 100u);
    EXPECT_EQ(source->pullTimes[0], 1000.0);
    EXPECT_EQ(source->pullTimes[1], 1060.0) << "advanced by what the first pull delivered";
    EXPECT_EQ(board.left[511], 511.0f);

    // A producer that succeeds with nothing ends its slice with silence instead of hanging.
    source->deliverAtMost = 0;
    board.render(512);
    EXPECT_EQ(board.left[512], 0.0f);
    EXPECT_EQ(board.left[1023], 0.0f);
}

TEST(ZEPAudioMixer, AnInputWhoseLockIsHeldIsSilentAndItsProducerUntouched)
{
    Board board;
    FunctionSource* source = board.play(4, std::make_shared<FunctionSource>(constant(0.25f, 0.25f)));
    board.render(256);
    EXPECT_EQ(board.left[0], 0.25f);
    const size_t pulls = source->pullSizes.size();
    std::thread holder([&] {
        ASSERT_TRUE(board.mixer->lockSource(4));
        EXPECT_FALSE(board.mixer->lockSource(4)) << "already held by this thread";
        board.render(256);
        board.mixer->unlockSource(4);
    });
    holder.join();
    EXPECT_EQ(board.left[256], 0.0f);
    EXPECT_EQ(source->pullSizes.size(), pulls);
    board.render(256);
    EXPECT_EQ(board.left[600], 0.25f);
}

TEST(ZEPAudioMixer, ProducersInAndOutOfInputsAreAccountedForOnTheMainThread)
{
    Board board;
    auto first = std::make_shared<FunctionSource>(constant(0.1f, 0.1f));
    auto second = std::make_shared<FunctionSource>(constant(0.2f, 0.2f));
    EXPECT_EQ(board.mixer->indexForAudioSource(first.get()), ZEPAudioMixer::kNoInput);
    ASSERT_EQ(board.mixer->setAudioSource(first, 2), noErr);
    ASSERT_EQ(board.mixer->setAudioSource(first, 2), noErr);
    ASSERT_EQ(board.mixer->setAudioSource(second, 2), noErr);
    EXPECT_EQ(board.mixer->indexForAudioSource(second.get()), 2u);
    EXPECT_EQ(board.mixer->audioSourceForInput(2), second);
    EXPECT_TRUE(waitUntil([&] { return board.updates == 2; })) << "putting the same producer again tells nobody";
    const auto removed = board.mixer->removedSources();
    ASSERT_EQ(removed.size(), 1u);
    EXPECT_EQ(removed[0], first);
    EXPECT_TRUE(board.mixer->removedSources().empty());
    EXPECT_EQ(board.mixer->addedSources().size(), 2u);

    auto broken = std::make_shared<FunctionSource>(constant(0.3f, 0.3f));
    broken->failDescription = true;
    EXPECT_EQ(board.mixer->setAudioSource(broken, 2), -1234);
    EXPECT_EQ(board.mixer->audioSourceForInput(2), nullptr) << "a failed producer leaves the input empty";
    ASSERT_TRUE(board.mixer->lockSource(2));
    EXPECT_EQ(board.mixer->setAudioSource(first, 2), kZEPSourceLockError);
    board.mixer->unlockSource(2);

    // A mono producer is heard on both channels of its input.
    board.play(5, std::make_shared<FunctionSource>(constant(0.4f, 0.0f), 44100, 1));
    board.render(128);
    EXPECT_EQ(board.left[10], 0.4f);
    EXPECT_EQ(board.right[10], 0.4f);
}

TEST(ZEPAudioMixer, RenderingAllocatesNothing)
{
    for (Float64 rate : {44100.0, 44100.0 * 1.02}) {
        Board board;
        for (UInt32 i = 0; i < 32; ++i) {
            auto source = std::make_shared<FunctionSource>(sine(220 + i, rate), rate);
            source->record = false;
            board.play(i, source, 1.0f / 32);
        }
        board.mixer->setLevelsEnabled(true);
        Buffers out(512, 2);
        int allocations = -1;
        std::thread renderer([&] {
            clipdeck::test::AllocationCounter counter;
            for (int slice = 0; slice < 50; ++slice) {
                UInt32 frames = 512;
                AudioTimeStamp time;
                time.mSampleTime = slice * 512.0;
                time.mFlags = kAudioTimeStampSampleTimeValid;
                board.mixer->renderFrames(&frames, out.list(), nullptr, &time, nullptr);
            }
            allocations = counter.count();
        });
        renderer.join();
        EXPECT_EQ(allocations, 0) << "at producer rate " << rate;
    }
}
