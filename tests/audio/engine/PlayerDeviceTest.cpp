// The output player on a real audio server: a JACK server of the test's own.
#include "audio/engine/ZEPAudioPlayer.h"
#include "audio/engine/ZEPCanonicalFormats.h"

#include "TestProducers.h"
#include "platform/MainThread.h"
#include "platform/NotificationCenter.h"
#include "support/JackTestServer.h"
#include "support/TestEnvironment.h"
#include "support/TestSignals.h"

#include <QCoreApplication>
#include <gtest/gtest.h>

using namespace clipdeck::test;
using namespace enginetest;

namespace {

#define REQUIRE_JACK(server)                                                                                          \
    if (!(server).running())                                                                                          \
    GTEST_SKIP() << "jackd could not start here"

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
    REQUIRE_JACK(server);
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

    const auto left = compareBlocks(recorder.channel(0), 0, count, 256, patternSample, patternFrame);
    const auto right = compareBlocks(recorder.channel(1), 0, count, 256, negatedPattern, negatedPatternFrame);
    EXPECT_GE(left.blocks, 160u);
    EXPECT_EQ(left.badBlocks, 0u);
    EXPECT_EQ(right.badBlocks, 0u);
    EXPECT_LE(left.discontinuities, size_t(recorder.xruns()));
}

TEST(AudioPlayerOnDevice, AProducerThatEndsStopsThePlayerOnceOnTheMainThread)
{
    JackTestServer server;
    REQUIRE_JACK(server);
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
    REQUIRE_JACK(*server);
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
    REQUIRE_JACK(server);
    AudioHardware::shared().refresh();
    FunctionSource source(sine(1000, 44100));
    source.record = false;
    auto player = ZEPAudioPlayer::create(&source, ZEPPlaybackFormat());
    ASSERT_TRUE(player);
    ASSERT_EQ(player->play(), noErr);
    JackRecorder recorder("Clipdeck", 48000);
    ASSERT_TRUE(recorder.connect());
    ASSERT_TRUE(waitUntil([&] { return recorder.frames() >= 24000; }));
    player->stop();
    EXPECT_NEAR(spectralPeak(recorder.channel(0).data() + 4096, 16384, 48000.0, 900, 1100), 1000.0, 2.0);
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
