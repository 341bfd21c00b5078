// The output player rendered offline: its output unit is initialised and rendered by the
// test, the way the device would, so every path is pinned without a device.
#include "audio/engine/ZEPAudioGraph.h"
#include "audio/engine/ZEPAudioPlayer.h"
#include "audio/engine/ZEPCanonicalFormats.h"

#include "TestProducers.h"
#include "platform/plugins/LV2TestPlugins.h"
#include "platform/MainThread.h"
#include "support/SettleEventLoop.h"
#include "support/TestEnvironment.h"

#include <QCoreApplication>

#include <cmath>
#include <gtest/gtest.h>

using namespace enginetest;
using clipdeck::test::waitUntil;

namespace {

struct StatusCounter : ZEPAudioPlayerDelegate {
    int statusChanges = 0;
    void playerStatusChanged(ZEPAudioPlayer*) override { ++statusChanges; }
};

// A player that is never started on a device; render() drives it slice by slice.
struct OfflinePlayer {
    explicit OfflinePlayer(ZEPAudioSource* source)
    {
        OSStatus status = noErr;
        player = ZEPAudioPlayer::create(source, ZEPPlaybackFormat(), &status);
        EXPECT_EQ(status, noErr);
        player->setDelegate(&counter);
        player->outputUnit()->initialize();
    }
    OSStatus render(UInt32 frames = 512)
    {
        AudioUnitRenderActionFlags flags = 0;
        AudioTimeStamp time;
        time.mSampleTime = Float64(renders++) * frames;
        time.mFlags = kAudioTimeStampSampleTimeValid;
        out = std::make_unique<Buffers>(frames, 2);
        return player->outputUnit()->render(&flags, &time, 0, frames, out->list());
    }
    std::unique_ptr<ZEPAudioPlayer> player;
    StatusCounter counter;
    std::unique_ptr<Buffers> out;
    int renders = 0;
};

// An offline player of a constant whose producer ends after endAfter frames, counting the
// "running" announcements (each stop() makes one).
struct EndingPlayer {
    explicit EndingPlayer(UInt64 endAfter)
    {
        source.endAfter = endAfter;
        source.record = false;
        offline.player->observeKey("running", &context, [this](const QVariant&, const QVariant&) { ++stops; });
    }
    FunctionSource source{constant(0.1f, 0.1f)};
    OfflinePlayer offline{&source};
    QObject context;
    int stops = 0;
};

} // namespace

TEST(AudioPlayer, RendersItsProducerAndCountsFramesUnlessPaused)
{
    FunctionSource source(constant(0.25f, -0.5f));
    OfflinePlayer offline(&source);
    ZEPAudioPlayer& player = *offline.player;
    ASSERT_EQ(offline.render(), noErr);
    EXPECT_EQ(offline.out->samples[0][100], 0.25f);
    EXPECT_EQ(offline.out->samples[1][511], -0.5f);
    EXPECT_EQ(player.framesPlayed(), 512);

    player.pause();
    ASSERT_EQ(offline.render(), noErr);
    EXPECT_EQ(offline.out->samples[0][100], 0.0f);
    EXPECT_EQ(player.framesPlayed(), 512); // a paused player does not advance
    player.resume();
    EXPECT_EQ(offline.counter.statusChanges, 2);

    player.setAudioSource(nullptr); // no producer: silence, still no error
    ASSERT_EQ(offline.render(), noErr);
    EXPECT_EQ(offline.out->samples[1][0], 0.0f);
}

TEST(AudioPlayer, AnEndOrAFailureAsksForOneStopPerPlay)
{
    EndingPlayer ending(700);
    OfflinePlayer& offline = ending.offline;
    int& runningAnnouncements = ending.stops;

    EXPECT_EQ(offline.render(), noErr);               // 512 frames
    EXPECT_EQ(offline.render(), noErr);               // 188 frames, then the producer is out
    EXPECT_NE(offline.render(), noErr);               // 666: silence and a stop request
    EXPECT_NE(offline.render(), noErr);               // a second end: no second request
    EXPECT_EQ(offline.out->samples[0][0], 0.0f);
    QCoreApplication::processEvents();
    EXPECT_TRUE(waitUntil([&] { return runningAnnouncements == 1; }));
    QCoreApplication::processEvents();
    EXPECT_EQ(runningAnnouncements, 1); // stop() ran once, on the main thread

    // With stopping on errors off, failures only silence their slice.
    offline.player->setStopOnError(false);
    offline.player->outputUnit()->initialize();
    EXPECT_NE(offline.render(), noErr);
    QCoreApplication::processEvents();
    EXPECT_EQ(runningAnnouncements, 1);
}

TEST(AudioPlayer, AStopTheFullMainThreadQueueDidNotTakeIsAskedForAgain)
{
    EndingPlayer ending(0);
    OfflinePlayer& offline = ending.offline;
    int& runningAnnouncements = ending.stops;

    // The main thread is busy: the real-time queue fills up before the end is reached.
    QCoreApplication::processEvents();
    const auto nothing = [](void*, intptr_t) {};
    while (mainthread::postRealtime(nothing, nullptr, 0)) {
    }
    EXPECT_NE(offline.render(), noErr); // the end: its stop request finds no room
    QCoreApplication::processEvents();  // the queue drains
    clipdeck::test::settleEventLoop();
    EXPECT_EQ(runningAnnouncements, 0);

    // The next slice past the end asks again, and the stop comes.
    EXPECT_NE(offline.render(), noErr);
    EXPECT_TRUE(waitUntil([&] { return runningAnnouncements == 1; }));
}

TEST(AudioPlayer, MetersThroughItsMixerAndReadsZeroWhileStopped)
{
    FunctionSource source(constant(1.0f, 0.5f));
    OfflinePlayer offline(&source);
    ZEPAudioPlayer& player = *offline.player;
    EXPECT_EQ(player.setLevelsEnabled(true), noErr);
    EXPECT_TRUE(player.levelsEnabled());
    ASSERT_EQ(offline.render(), noErr); // through the metering mixer, unchanged
    EXPECT_EQ(offline.out->samples[0][10], 1.0f);
    EXPECT_EQ(offline.out->samples[1][10], 0.5f);
    EXPECT_EQ(player.framesPlayed(), 512);
    EXPECT_EQ(player.leftLevel(), 0.0f); // not playing on a device
    EXPECT_EQ(player.rightPeakLevel(), 0.0f);
}

TEST(AudioPlayer, DeviceUidDefaultDeviceMeansFollowTheDefault)
{
    FunctionSource source(constant(0, 0));
    OfflinePlayer offline(&source);
    ZEPAudioPlayer& player = *offline.player;
    EXPECT_TRUE(player.usesDefaultOutputDevice());
    player.setDeviceUID("jack:no such device"); // unknown: nothing changes
    EXPECT_TRUE(player.usesDefaultOutputDevice());
    player.setDeviceUID("Default Device");
    EXPECT_TRUE(player.usesDefaultOutputDevice());
    EXPECT_EQ(player.maxRequestFrames(), 0xFFFFFFFFu);
    EXPECT_EQ(player.framesAvailable(), 512);
}

TEST(AudioPlayer, PlaysThroughItsGraphUntilTheBypassCountdownRunsOut)
{
    FunctionSource source(constant(0.5f, 0.5f));
    source.record = false;
    OfflinePlayer offline(&source);
    ZEPAudioPlayer& player = *offline.player;
    std::shared_ptr<ZEPAudioGraph> graph = ZEPAudioGraph::create();
    ASSERT_TRUE(graph);
    auto node = graph->addNodeWithDictionary({{"uri", QString::fromUtf8(clipdeck::test::kAmpURI)}});
    ASSERT_TRUE(node);
    node->audioUnit()->setParameter(0, kAudioUnitScope_Global, 0, -6.0f);
    player.setAudioGraph(graph);
    EXPECT_EQ(graph->inputSource(), &player); // the graph pulls the player's producer through it
    ASSERT_EQ(graph->start(), noErr);
    const Float32 attenuated = 0.5f * std::pow(10.0f, -6.0f / 20.0f);

    player.setFramesUntilBypass(1000);
    ASSERT_EQ(offline.render(), noErr);
    EXPECT_NEAR(offline.out->samples[0][100], attenuated, 1e-5);
    EXPECT_EQ(player.framesUntilBypass(), 488);
    EXPECT_FALSE(player.bypassGraph());
    ASSERT_EQ(offline.render(), noErr);
    EXPECT_EQ(player.framesUntilBypass(), 0);
    EXPECT_TRUE(player.bypassGraph());
    ASSERT_EQ(offline.render(), noErr); // the producer directly, past the effect
    EXPECT_EQ(offline.out->samples[0][100], 0.5f);
    EXPECT_EQ(player.framesPlayed(), 1536);

    // The tail of the effect is rendered through the graph into the scratch list.
    player.setBypassGraph(false);
    player.burnFrames(1300);
    graph->stop();
}
