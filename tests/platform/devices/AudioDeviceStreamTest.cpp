#include "platform/devices/AudioDeviceStream.h"

#include "support/JackTestServer.h"
#include "support/ServerRequirement.h"
#include "support/TestEnvironment.h"
#include "support/TestSignals.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cmath>
#include <thread>

using namespace clipdeck::test;

namespace {

// A render procedure whose every sample is known from its frame index: the test pattern,
// or a sine of the given frequency; the right channel is the left one inverted.
struct SignalSource {
    double frequency = 0.0; // 0: the pattern
    std::atomic<UInt64> framesRendered{0};

    float sample(long long frame) const { return frequency == 0.0 ? patternSample(frame) : sineSample(frequency, frame); }

    static OSStatus render(void* refCon, AudioUnitRenderActionFlags*, const AudioTimeStamp* timeStamp, UInt32 frames,
                           AudioBufferList* ioData)
    {
        auto* source = static_cast<SignalSource*>(refCon);
        const auto start = (long long)timeStamp->mSampleTime;
        for (UInt32 b = 0; b < ioData->mNumberBuffers; ++b) {
            auto* out = static_cast<float*>(ioData->mBuffers[b].mData);
            for (UInt32 i = 0; i < frames; ++i)
                out[i] = source->sample(start + i) * (b == 0 ? 1.0f : -1.0f);
        }
        source->framesRendered += frames;
        return noErr;
    }
};

float negatedPattern(long long frame) { return -patternSample(frame); }
long long negatedPatternFrame(float sample) { return patternFrame(-sample); }

// Index of the first recorded sample that is not silent.
size_t firstSound(const std::vector<float>& samples, size_t count)
{
    for (size_t i = 0; i < count; ++i) {
        if (samples[i] != 0.0f)
            return i;
    }
    return count;
}

// The JACK server's device as a fresh read of the device list knows it; 0 when missing.
AudioObjectID jackSystemDevice()
{
    AudioHardware::shared().refresh();
    return AudioHardware::shared().deviceIDForUID("jack:system");
}

// Hears from the device list, while it lives, whether one device died and whether the
// default output changed.
struct DeviceWatch {
    explicit DeviceWatch(AudioObjectID id)
        : token(AudioHardware::shared().addListener([this, id](AudioHardware::Change change, AudioObjectID device) {
              if (change == AudioHardware::Change::DeviceDied && device == id)
                  died = true;
              if (change == AudioHardware::Change::DefaultOutputChanged)
                  defaultChanged = true;
          }))
    {
    }
    ~DeviceWatch() { AudioHardware::shared().removeListener(token); }
    std::atomic<bool> died{false}, defaultChanged{false};
    const int token;
};

} // namespace

TEST(AudioHardware, ListsTheJackDeviceWithAStableUid)
{
    JackTestServer server;
    CLIPDECK_REQUIRE_SERVER(server.running(), "jackd");
    AudioHardware& hardware = AudioHardware::shared();
    hardware.refresh();
    const AudioObjectID id = hardware.deviceIDForUID("jack:system");
    ASSERT_NE(id, 0u);
    const auto device = hardware.device(id);
    ASSERT_TRUE(device);
    EXPECT_EQ(device->outputChannels, 2u);
    EXPECT_EQ(device->name, "system");
    EXPECT_EQ(hardware.defaultOutputDevice(), id);
    EXPECT_EQ(hardware.deviceIDForUID("jack:no such device"), 0u);
}

TEST(AudioHardware, NoticesADeviceGoingAway)
{
    auto server = std::make_unique<JackTestServer>();
    CLIPDECK_REQUIRE_SERVER(server->running(), "jackd");
    AudioHardware& hardware = AudioHardware::shared();
    const AudioObjectID id = jackSystemDevice();
    ASSERT_NE(id, 0u);
    hardware.setPollingInterval(50);
    {
        DeviceWatch watch(id);
        server.reset();
        EXPECT_TRUE(waitUntil([&] { return watch.died.load() && watch.defaultChanged.load(); }, 5000));
    }
    EXPECT_FALSE(hardware.isAlive(id));
}

TEST(AudioHardware, AServerThatStillAnswersAfterItsEndingNoticeIsReadAgainUntilItHasGone)
{
    // The notice comes while the server still lists its device; the server then goes with
    // the regular poll a minute away: only the reads that follow the notice can see it go.
    auto server = std::make_unique<JackTestServer>();
    CLIPDECK_REQUIRE_SERVER(server->running(), "jackd");
    AudioHardware& hardware = AudioHardware::shared();
    const AudioObjectID id = jackSystemDevice();
    ASSERT_NE(id, 0u);
    hardware.setPollingInterval(60000);
    DeviceWatch watch(id);
    const unsigned long before = hardware.readCount();
    hardware.deviceEnded(id);
    ASSERT_TRUE(waitUntil([&] { return hardware.readCount() >= before + 3; }));
    EXPECT_TRUE(hardware.isAlive(id));
    server.reset();
    EXPECT_TRUE(waitUntil([&] { return watch.died.load(); }));
    EXPECT_FALSE(hardware.isAlive(id));
    hardware.setPollingInterval(1000);
}

TEST(AudioDeviceStream, PlaysWhatItRendersSampleForSample)
{
    JackTestServer server;
    CLIPDECK_REQUIRE_SERVER(server.running(), "jackd");
    SignalSource source;
    AudioDeviceStream stream(AudioDeviceStream::Direction::Output);
    stream.setRenderProc(&SignalSource::render, &source);
    ASSERT_EQ(stream.start(), noErr) << stream.errorText().toStdString();
    EXPECT_EQ(stream.deviceSampleRate(), 44100u);

    JackRecorder recorder(AudioDeviceStream::kClientName, 44100);
    ASSERT_TRUE(recorder.connect());
    ASSERT_TRUE(waitUntil([&] { return recorder.frames() >= 22050; }));
    const size_t count = recorder.frames(); // before the stop, so no silence after it
    stream.stop();

    // From the first cycle the connection carried (the cycle it was made in may be silent),
    // every server cycle of the recording is a stretch of the signal, sample for sample;
    // the signal jumps only where the (loaded) machine made the server run a cycle late.
    const auto left = compareBlocksFromFirstSound(recorder.channel(0), count, 256, patternSample, patternFrame);
    const auto right =
        compareBlocksFromFirstSound(recorder.channel(1), count, 256, negatedPattern, negatedPatternFrame);
    EXPECT_GE(left.blocks, 80u);
    EXPECT_EQ(left.badBlocks, 0u);
    EXPECT_EQ(right.badBlocks, 0u);
    EXPECT_LE(left.discontinuities, size_t(recorder.xruns()));
}

TEST(AudioDeviceStream, ConvertsWhenTheDeviceRunsAtAnotherRate)
{
    JackTestServer server(48000);
    CLIPDECK_REQUIRE_SERVER(server.running(), "jackd");
    SignalSource source;
    source.frequency = 1000.0;
    AudioDeviceStream stream(AudioDeviceStream::Direction::Output);
    stream.setRenderProc(&SignalSource::render, &source);
    ASSERT_EQ(stream.start(), noErr) << stream.errorText().toStdString();
    EXPECT_EQ(stream.deviceSampleRate(), 48000u);

    JackRecorder recorder(AudioDeviceStream::kClientName, 48000);
    ASSERT_TRUE(recorder.connect());
    ASSERT_TRUE(waitUntil([&] { return recorder.frames() >= 24000; }));
    const UInt64 rendered = source.framesRendered.load();
    const size_t count = recorder.frames();
    stream.stop();
    const size_t start = firstSound(recorder.channel(0), count) + 1024; // past the converter's start
    ASSERT_LT(start + 12000, count);
    EXPECT_NEAR(spectralPeak(recorder.channel(0).data() + start, 12000, 48000.0, 900, 1100), 1000.0, 2.0);
    EXPECT_GT(rendered, 0u);
}

TEST(AudioDeviceStream, CapturesWhatAnotherStreamPlays)
{
    JackTestServer server;
    CLIPDECK_REQUIRE_SERVER(server.running(), "jackd");
    struct Capture {
        std::vector<float> left = std::vector<float>(88200);
        std::atomic<size_t> frames{0};
        static void receive(void* refCon, const AudioTimeStamp*, UInt32 count, const AudioBufferList* data)
        {
            auto* capture = static_cast<Capture*>(refCon);
            const size_t at = capture->frames.load();
            const size_t n = std::min<size_t>(count, capture->left.size() - at);
            std::memcpy(capture->left.data() + at, data->mBuffers[0].mData, n * 4);
            capture->frames = at + n;
        }
    } capture;

    SignalSource source;
    AudioDeviceStream output(AudioDeviceStream::Direction::Output);
    output.setRenderProc(&SignalSource::render, &source);
    ASSERT_EQ(output.start(), noErr);
    AudioDeviceStream input(AudioDeviceStream::Direction::Input);
    input.setCaptureProc(&Capture::receive, &capture);
    ASSERT_EQ(input.start(), noErr) << input.errorText().toStdString();
    ASSERT_TRUE(jackConnectClients("Clipdeck", "Clipdeck-01"));
    ASSERT_TRUE(waitUntil([&] { return capture.frames.load() >= 44100; }));
    input.stop();
    const size_t count = capture.frames.load();
    output.stop();
    // The capture starts with the silence of the dummy capture ports, then the other
    // stream's pattern follows, one server cycle at a time.
    const size_t start = firstSound(capture.left, count);
    ASSERT_LT(start + 4096, count);
    const auto result = compareBlocks(capture.left, start, count - start, 256, patternSample, patternFrame);
    EXPECT_GE(result.blocks, 16u);
    EXPECT_EQ(result.badBlocks, 0u);
}

TEST(AudioDeviceStream, WithoutAnyDeviceStartFailsWithAnExplanation)
{
    qputenv("JACK_DEFAULT_SERVER", "clipdeck-no-such-server");
    qputenv("JACK_NO_START_SERVER", "1");
    if (!AudioHardware::shared().devices().empty())
        GTEST_SKIP() << "this machine has a sound system of its own";
    AudioDeviceStream stream(AudioDeviceStream::Direction::Output);
    EXPECT_EQ(stream.start(), kAudioHardwareBadDeviceError);
    EXPECT_TRUE(stream.errorText().contains("No audio output device"));
    EXPECT_FALSE(stream.isRunning());
}

TEST(AudioDeviceStream, StopsCleanlyWhenTheServerGoesAway)
{
    auto server = std::make_unique<JackTestServer>();
    CLIPDECK_REQUIRE_SERVER(server->running(), "jackd");
    AudioHardware& hardware = AudioHardware::shared();
    const AudioObjectID id = jackSystemDevice();
    ASSERT_NE(id, 0u);
    // The regular poll a minute away: only the server's notice can tell the list in time.
    hardware.setPollingInterval(60000);
    auto watch = std::make_unique<DeviceWatch>(id);
    SignalSource source;
    AudioDeviceStream stream(AudioDeviceStream::Direction::Output);
    stream.setRenderProc(&SignalSource::render, &source);
    ASSERT_EQ(stream.start(), noErr) << stream.errorText().toStdString();
    ASSERT_TRUE(waitUntil([&] { return source.framesRendered.load() > 0; }));

    server.reset();
    // The stream notices by itself, and the device list hears of it from the server's notice,
    // not from the next poll.
    EXPECT_TRUE(waitUntil([&] { return !stream.isRunning(); }));
    EXPECT_TRUE(waitUntil([&] { return watch->died.load(); }));
    EXPECT_TRUE(stream.errorText().contains("went away")) << stream.errorText().toStdString();
    EXPECT_EQ(stream.stop(), noErr);
    watch.reset();
    EXPECT_FALSE(hardware.isAlive(id));

    // A server coming back lists the device again, and the stream starts on it.
    JackTestServer again;
    CLIPDECK_REQUIRE_SERVER(again.running(), "jackd");
    EXPECT_EQ(jackSystemDevice(), id);
    ASSERT_EQ(stream.start(), noErr) << stream.errorText().toStdString();
    EXPECT_TRUE(waitUntil([&] { return source.framesRendered.load() > 0; }));
    stream.stop();
    hardware.setPollingInterval(1000);
}

namespace {

// A render procedure the test can hold inside a slice, as a preempted device thread is.
struct HeldSlice {
    std::atomic<bool> hold{false}, inside{false}, release{false}, left{false};

    static OSStatus render(void* refCon, AudioUnitRenderActionFlags*, const AudioTimeStamp*, UInt32 frames,
                           AudioBufferList* ioData)
    {
        auto* slice = static_cast<HeldSlice*>(refCon);
        if (slice->hold.load() && !slice->left.load()) {
            slice->inside.store(true);
            while (!slice->release.load())
                std::this_thread::sleep_for(std::chrono::milliseconds(1));
            slice->left.store(true);
        }
        for (UInt32 b = 0; b < ioData->mNumberBuffers; ++b)
            std::fill_n(static_cast<float*>(ioData->mBuffers[b].mData), frames, 0.0f);
        return noErr;
    }
};

} // namespace

// The server's end is heard on another thread of JACK's than the one rendering: a slice
// under way then goes on after the stream has learnt that its device is gone. Stopping the
// stream must wait for that slice, or it frees what the slice still uses.
TEST(AudioDeviceStream, AStopAfterTheServerEndedWaitsForTheSliceUnderWay)
{
    auto server = std::make_unique<JackTestServer>();
    CLIPDECK_REQUIRE_SERVER(server->running(), "jackd");
    ASSERT_NE(jackSystemDevice(), 0u);
    HeldSlice slice;
    AudioDeviceStream stream(AudioDeviceStream::Direction::Output);
    stream.setRenderProc(&HeldSlice::render, &slice);
    ASSERT_EQ(stream.start(), noErr) << stream.errorText().toStdString();
    slice.hold.store(true);
    ASSERT_TRUE(waitUntil([&] { return slice.inside.load(); }));

    server.reset();
    ASSERT_TRUE(waitUntil([&] { return !stream.isRunning(); }));
    std::atomic<bool> stopped{false};
    bool leftFirst = false;
    std::thread stopper([&] {
        stream.stop();
        leftFirst = slice.left.load();
        stopped.store(true);
    });
    EXPECT_FALSE(waitUntil([&] { return stopped.load(); }, 300)) << "the stop did not wait for the slice";
    slice.release.store(true);
    stopper.join();
    EXPECT_TRUE(leftFirst) << "the stop returned before the slice under way had left";
}

TEST(AudioHardware, ARemovedListenerIsNeverCalledAgain)
{
    auto server = std::make_unique<JackTestServer>();
    CLIPDECK_REQUIRE_SERVER(server->running(), "jackd");
    AudioHardware& hardware = AudioHardware::shared();
    ASSERT_NE(jackSystemDevice(), 0u);

    // The server's end brings several changes (the device died, the list and the defaults
    // changed). The first listener is held in its first call while another thread removes
    // it; the second removes itself from its own first call.
    struct Probe {
        std::atomic<int> calls{0}, selfRemovingCalls{0}, selfRemovingToken{0};
        std::atomic<bool> entered{false}, release{false};
    };
    auto probe = std::make_unique<Probe>(); // freed below: a late call reads freed memory
    Probe* p = probe.get();
    const int token = hardware.addListener([p](AudioHardware::Change, AudioObjectID) {
        p->calls++;
        p->entered = true;
        while (!p->release.load())
            std::this_thread::sleep_for(std::chrono::milliseconds(1));
    });
    p->selfRemovingToken = hardware.addListener([p](AudioHardware::Change, AudioObjectID) {
        p->selfRemovingCalls++;
        AudioHardware::shared().removeListener(p->selfRemovingToken.load());
    });
    std::thread changer([&] {
        server.reset();
        hardware.refresh();
    });
    ASSERT_TRUE(waitUntil([&] { return p->entered.load(); }, 10000));
    std::atomic<bool> removed{false};
    std::thread remover([&] {
        hardware.removeListener(token);
        removed = true;
    });
    EXPECT_FALSE(waitUntil([&] { return removed.load(); }, 300))
        << "removeListener returned while its listener was still being called";
    p->release = true;
    remover.join();
    changer.join();
    EXPECT_TRUE(removed.load());
    EXPECT_EQ(p->calls.load(), 1);
    EXPECT_EQ(p->selfRemovingCalls.load(), 1);
    probe.reset();
    JackTestServer again; // another change, heard by no one
    EXPECT_NE(jackSystemDevice(), 0u);
}
