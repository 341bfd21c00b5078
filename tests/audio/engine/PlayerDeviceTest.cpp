// The output player on a real audio server: a JACK server of the test's own.
#include "audio/engine/ZEPAudioPlayer.h"
#include "audio/engine/ZEPCanonicalFormats.h"
#include "audio/engine/ZEPLocklessPullAudioPlayer.h"
#include "audio/engine/ZEPPullAudioPlayer.h"
#include "audio/engine/ZEPSlamAudioPlayer.h"
#include "audio/engine/ZEPAudioSourceBridge.h"
#include "audio/engine/ZEPAudio_BufferedInputCapture.h"

#include "TestProducers.h"
#include "platform/MainThread.h"
#include "platform/NotificationCenter.h"
#include "support/JackTestServer.h"
#include "support/ServerRequirement.h"
#include "support/TestEnvironment.h"
#include "support/TestSignals.h"

#include <QCoreApplication>
#include <cmath>
#include <gtest/gtest.h>

using namespace clipdeck::test;
using namespace enginetest;

namespace {

FunctionSource::Signal pattern()
{
    return [](UInt64 frame, UInt32 channel) { return channel == 0 ? patternSample((long long)frame) : -patternSample((long long)frame); };
}

float negatedPattern(long long frame) { return -patternSample(frame); }
long long negatedPatternFrame(float sample) { return patternFrame(-sample); }

} // namespace

TEST(AudioPlayerOnDevice, PlaysItsProducerSampleForSample)
{
    JackTestServer server;
    CLIPDECK_REQUIRE_SERVER(server.running(), "jackd");
    AudioHardware::shared().refresh();
    FunctionSource source(pattern());
    source.record = false;
    auto player = ZEPAudioPlayer::create(&source, ZEPPlaybackFormat());
    ASSERT_TRUE(player);
    player->setLevelsEnabled(true);
    ASSERT_EQ(player->play(), noErr) << player->lastErrorText().toStdString();
    EXPECT_TRUE(player->isRunning());
    JackRecorder recorder("Clipdeck", 88200);
    ASSERT_TRUE(recorder.connect());
    ASSERT_TRUE(waitUntil([&] { return recorder.frames() >= 44100; }));
    const size_t count = recorder.frames();
    EXPECT_GT(player->leftPeakLevel(), 0.1f);
    player->stop();
    EXPECT_FALSE(player->isRunning());

    const auto left = compareBlocksFromFirstSound(recorder.channel(0), count, 256, patternSample, patternFrame);
    const auto right =
        compareBlocksFromFirstSound(recorder.channel(1), count, 256, negatedPattern, negatedPatternFrame);
    EXPECT_GE(left.blocks, 160u);
    EXPECT_EQ(left.badBlocks, 0u);
    EXPECT_EQ(right.badBlocks, 0u);
    EXPECT_LE(left.discontinuities, size_t(recorder.xruns()));
}

TEST(AudioPlayerOnDevice, AProducerThatEndsStopsThePlayerOnceOnTheMainThread)
{
    JackTestServer server;
    CLIPDECK_REQUIRE_SERVER(server.running(), "jackd");
    AudioHardware::shared().refresh();
    FunctionSource source(constant(0.2f, 0.2f));
    source.record = false;
    source.endAfter = 11025;
    auto player = ZEPAudioPlayer::create(&source, ZEPPlaybackFormat());
    ASSERT_TRUE(player);
    std::vector<bool> running;
    QObject context;
    player->observeKey("running", &context, [&](const QVariant&, const QVariant& now) {
        EXPECT_TRUE(mainthread::isMainThread());
        running.push_back(now.toBool());
    });
    ASSERT_EQ(player->play(), noErr);
    EXPECT_TRUE(waitUntil([&] { return running.size() == 2; }));
    QCoreApplication::processEvents();
    EXPECT_EQ(running, (std::vector<bool>{true, false}));
    EXPECT_FALSE(player->isRunning());
    EXPECT_GE(player->framesPlayed(), 11025);
}

TEST(AudioPlayerOnDevice, DeviceUidsRoundTripAndTheDefaultIsFollowed)
{
    auto server = std::make_unique<JackTestServer>();
    CLIPDECK_REQUIRE_SERVER(server->running(), "jackd");
    AudioHardware& hardware = AudioHardware::shared();
    hardware.refresh();
    FunctionSource source(constant(0, 0));
    source.record = false;
    auto player = ZEPAudioPlayer::create(&source, ZEPPlaybackFormat());
    ASSERT_TRUE(player);
    player->setDeviceUID("jack:system");
    EXPECT_FALSE(player->usesDefaultOutputDevice());
    EXPECT_EQ(player->deviceUID(), "jack:system");

    auto following = ZEPAudioPlayer::createWithDeviceUID(QString(), &source, ZEPPlaybackFormat());
    ASSERT_TRUE(following);
    EXPECT_TRUE(following->usesDefaultOutputDevice());
    EXPECT_EQ(following->device(), hardware.defaultOutputDevice());
    EXPECT_FALSE(ZEPAudioPlayer::createWithDeviceUID("jack:gone", &source, ZEPPlaybackFormat()));

    // The default goes away and comes back: the notification reaches the main thread.
    int changes = 0;
    NotificationCenter::defaultCenter().addObserver(&changes, kZEPAudioPlayer_DefaultOutputDeviceChanged, nullptr,
                                                    [&](const Notification&) { ++changes; });
    hardware.setPollingInterval(50);
    server.reset();
    EXPECT_TRUE(waitUntil([&] { return changes >= 1; }));
    server = std::make_unique<JackTestServer>();
    EXPECT_TRUE(waitUntil([&] { return changes >= 2; }));
    NotificationCenter::defaultCenter().removeObserver(&changes);
    EXPECT_EQ(following->device(), hardware.deviceIDForUID("jack:system"));
    EXPECT_EQ(following->play(), noErr) << following->lastErrorText().toStdString();
    following->stop();
}

TEST(AudioPlayerOnDevice, PlaysAtTheRightPitchOnADeviceAt48000Hz)
{
    JackTestServer server(48000);
    CLIPDECK_REQUIRE_SERVER(server.running(), "jackd");
    AudioHardware::shared().refresh();
    FunctionSource source(sine(1000, 44100));
    source.record = false;
    auto player = ZEPAudioPlayer::create(&source, ZEPPlaybackFormat());
    ASSERT_TRUE(player);
    ASSERT_EQ(player->play(), noErr);
    // A cycle the player is late for leaves its last buffer in its port, recorded twice: a
    // window with that jump in its phase reads a few hertz off. So the pitch is read in
    // several windows, and no more of them may read off than two (the windows either side of
    // its cycle) per late cycle of the server; a wrong rate reads off in every one. The
    // recording runs a little past the last window so that its late cycles have been reported.
    constexpr size_t kSkip = 4096, kWindow = 16384, kWindows = 6;
    JackRecorder recorder("Clipdeck", kSkip + (kWindows + 1) * kWindow);
    ASSERT_TRUE(recorder.connect());
    ASSERT_TRUE(waitUntil([&] { return recorder.frames() >= kSkip + (kWindows + 1) * kWindow; }));
    player->stop();
    std::vector<double> pitches;
    int offPitch = 0;
    for (size_t window = 0; window < kWindows; ++window) {
        const float* samples = recorder.channel(0).data() + kSkip + window * kWindow;
        pitches.push_back(spectralPeak(samples, kWindow, 48000.0, 900, 1100));
        offPitch += std::abs(pitches.back() - 1000.0) > 2.0;
    }
    EXPECT_LE(offPitch, 2 * recorder.xruns()) << testing::PrintToString(pitches) << " with " << recorder.xruns()
                                          << " late cycles";
    EXPECT_LT(offPitch, int(kWindows)) << testing::PrintToString(pitches);
}

TEST(AudioPlayerOnDevice, WithoutADeviceFailsToPlayWithAClearError)
{
    qputenv("JACK_DEFAULT_SERVER", "clipdeck-no-such-server");
    if (!AudioHardware::shared().devices().empty())
        GTEST_SKIP() << "this machine has a sound system of its own";
    FunctionSource source(constant(0, 0));
    auto player = ZEPAudioPlayer::create(&source, ZEPPlaybackFormat());
    ASSERT_TRUE(player); // the program keeps running without sound
    EXPECT_EQ(player->play(), kAudioHardwareBadDeviceError);
    EXPECT_TRUE(player->lastErrorText().contains("No audio output device"));
    EXPECT_FALSE(player->isRunning());
}

namespace {

// A producer of the test pattern whose position a seek moves.
class SeekablePattern : public FunctionSource {
public:
    SeekablePattern() : FunctionSource(pattern()) { record = false; }
};

} // namespace

TEST(PullAudioPlayerOnDevice, ASeekSwitchesRingsWithoutAGapAndSkipsWhatPlayedMeanwhile)
{
    JackTestServer server;
    CLIPDECK_REQUIRE_SERVER(server.running(), "jackd");
    AudioHardware::shared().refresh();
    SeekablePattern source;
    auto player = ZEPPullAudioPlayer::create(0, &source, ZEPPlaybackFormat());
    ASSERT_TRUE(player);
    ASSERT_EQ(player->play(), noErr);
    JackRecorder recorder("Clipdeck", 88200);
    ASSERT_TRUE(recorder.connect());
    ASSERT_TRUE(waitUntil([&] { return recorder.frames() >= 11025; }));

    player->beginSwitch();
    const double switchTime = player->switchSampleTime();
    source.position = 500000; // the seek: the old ring's loader is stopped, the new one not started
    player->finishSwitch();
    ASSERT_TRUE(waitUntil([&] { return recorder.frames() >= 44100; }));
    const size_t count = recorder.frames();
    player->stop();

    // Walk the recording a server cycle at a time, from the first the connection carried:
    // one jump, from the old position to the new.
    const auto& left = recorder.channel(0);
    long long lastOld = -1, firstNew = -1;
    size_t jumps = 0;
    size_t first = 0;
    while (first < count && left[first] == 0.0f)
        ++first;
    for (size_t block = first - first % 256; block + 256 <= count; block += 256) {
        const long long frame = patternFrame(left[block]);
        ASSERT_GE(frame, 0) << "a silent or foreign block at " << block; // no gap
        if (frame >= 500000 && firstNew < 0) {
            firstNew = frame;
            ++jumps;
        } else if (firstNew < 0) {
            lastOld = frame + 255;
        }
    }
    EXPECT_EQ(jumps, 1u);
    ASSERT_GE(lastOld, 0);
    // Frames played between the seek's beginning and the swap are skipped on the new ring.
    const long long playedDuringSwitch = lastOld + 1 - (long long)switchTime;
    EXPECT_EQ(firstNew, 500000 + playedDuringSwitch);
    EXPECT_EQ(compareBlocksFromFirstSound(left, count, 256, patternSample, patternFrame).badBlocks, 0u);
}

// A play that cannot start the device leaves no loader pulling the producer: the player
// is not running, so nothing would stop that loader before the player goes.
TEST(PullAudioPlayerOnDevice, APlayWhoseDeviceHasGoneLeavesNoLoaderRunning)
{
    auto server = std::make_unique<JackTestServer>();
    CLIPDECK_REQUIRE_SERVER(server->running(), "jackd");
    AudioHardware::shared().refresh();
    const AudioObjectID device = AudioHardware::shared().deviceIDForUID("jack:system");
    ASSERT_NE(device, 0u);
    SeekablePattern lockedSource, locklessSource;
    auto locked = ZEPPullAudioPlayer::create(device, &lockedSource, ZEPPlaybackFormat());
    auto lockless = ZEPLocklessPullAudioPlayer::create(device, &locklessSource, ZEPPlaybackFormat());
    ASSERT_TRUE(locked && lockless);
    server.reset();

    EXPECT_NE(locked->play(), noErr);
    EXPECT_FALSE(locked->isRunning());
    EXPECT_FALSE(locked->currentRingBuffer()->isRunning());
    EXPECT_NE(lockless->play(), noErr);
    EXPECT_FALSE(lockless->isRunning());
    EXPECT_FALSE(lockless->currentRingBuffer()->isRunning());
}

TEST(SlamAudioPlayerOnDevice, PlaysItsBlockAndReportsItsMarkOnce)
{
    JackTestServer server;
    CLIPDECK_REQUIRE_SERVER(server.running(), "jackd");
    AudioHardware::shared().refresh();
    struct Marks : ZEPAudioPlayerDelegate {
        std::atomic<int> count{0};
        void slamAudioPlayerDidReachMark(ZEPSlamAudioPlayer*) override { ++count; }
    } marks;
    auto player = ZEPSlamAudioPlayer::create(0, ZEPPlaybackFormat(), 4410);
    ASSERT_TRUE(player);
    player->setDelegate(&marks);
    Buffers block(4410, 2);
    for (UInt32 i = 0; i < 4410; ++i) {
        block.samples[0][i] = patternSample(i);
        block.samples[1][i] = -patternSample(i);
    }
    JackRecorder recorder("Clipdeck", 44100);
    ASSERT_EQ(player->play(), noErr);
    ASSERT_TRUE(recorder.connect());
    ASSERT_TRUE(waitUntil([&] { return recorder.frames() >= 1024; }));
    player->setMarkFrames(2205);
    ASSERT_EQ(player->slamFrames(4410, block.list()), noErr);
    ASSERT_TRUE(waitUntil([&] { return recorder.frames() >= 22050; }));
    player->stop();
    EXPECT_EQ(marks.count.load(), 1);
    // The block is in the recording, a server cycle at a time (it starts on a cycle).
    const auto& left = recorder.channel(0);
    size_t start = 0;
    while (start < recorder.frames() && left[start] != patternSample(0))
        ++start;
    ASSERT_LT(start + 4410, recorder.frames());
    const auto played = compareBlocks(left, start, 4096, 256, patternSample, patternFrame);
    SCOPED_TRACE(testing::Message() << recorder.xruns() << " late cycles");
    EXPECT_EQ(played.blocks, 16u);
    // A late cycle can leave one recorded block made of two renders; with none, every block
    // is one stretch of the pattern.
    EXPECT_LE(played.badBlocks, size_t(recorder.xruns()));
    EXPECT_LE(played.discontinuities, size_t(recorder.xruns()));
}

TEST(InputCaptureOnDevice, WhatIsPlayedIntoTheServerIsCapturedIntoTheRingAndReadBack)
{
    JackTestServer server;
    CLIPDECK_REQUIRE_SERVER(server.running(), "jackd");
    AudioHardware::shared().refresh();
    JackXrunCounter lateCycles;
    ASSERT_TRUE(lateCycles.active());
    FunctionSource source(pattern());
    source.record = false;
    auto player = ZEPAudioPlayer::create(&source, ZEPPlaybackFormat());
    ASSERT_TRUE(player);
    ASSERT_EQ(player->play(), noErr);

    ZEPAudio_BufferedInputCapture capture(nullptr, 4.0);
    ASSERT_EQ(capture.Start(), noErr) << capture.Capture()->ErrorText().toStdString();
    ASSERT_TRUE(jackConnectClients("Clipdeck", "Clipdeck-01"));
    // A second of the server's cycles from the connection on, counted by a recorder of the
    // player: the capture then has what is read back below.
    JackRecorder cycles("Clipdeck", 44100);
    ASSERT_TRUE(cycles.connect());
    ASSERT_TRUE(waitUntil([&] { return cycles.frames() >= 44100; }, 60000));

    // Read back what was captured, from the capture's start on, as interleaved stereo.
    ZEPAudioSourceBridge bridge;
    bridge.setAudioSource(&capture);
    constexpr UInt32 kFrames = 32768;
    Buffers interleaved(kFrames, 2, false);
    UInt32 frames = kFrames;
    AudioUnitRenderActionFlags flags = 0;
    AudioTimeStamp time;
    ASSERT_EQ(bridge.renderFrames(&frames, interleaved.list(), &flags, &time, nullptr), noErr);
    capture.Stop();
    player->stop();
    std::vector<float> left(kFrames);
    for (UInt32 i = 0; i < kFrames; ++i)
        left[i] = interleaved.samples[0][2 * i];
    size_t start = 0;
    while (start < kFrames && left[start] == 0.0f)
        ++start;
    ASSERT_LT(start + 8192, size_t(kFrames));
    const auto result = compareBlocks(left, start, kFrames - start, 256, patternSample, patternFrame);
    EXPECT_GE(result.blocks, 32u);
    // A late cycle of the server can leave one captured block made of two cycles; with none,
    // every block is one stretch of the pattern.
    EXPECT_LE(result.badBlocks, size_t(lateCycles.xruns())) << lateCycles.xruns() << " late cycles";
}
