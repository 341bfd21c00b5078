// Seeks of a pull player against the device's thread (and the loaders'): two seeks within
// one device period never prepare the ring the render thread is about to take. Run in the
// ThreadSanitizer build as well, where the first seek's loader still pulling the producer
// while the second repositions it is a race it reports.
#include "audio/engine/ZEPCanonicalFormats.h"
#include "audio/engine/ZEPLocklessPullAudioPlayer.h"
#include "audio/engine/ZEPPullAudioPlayer.h"
#include "audio/engine/ZEPPushAudioPlayer.h"

#include "TestProducers.h"
#include "support/JackTestServer.h"
#include "support/ServerRequirement.h"
#include "support/TestEnvironment.h"
#include "support/TestSignals.h"

#include <gtest/gtest.h>

#include <functional>
#include <memory>
#include <utility>

using namespace clipdeck::test;
using namespace enginetest;

TEST(PullAudioPlayerSeeks, TwoSeeksWithinOnePeriodPlayOnFromTheSecond)
{
    JackTestServer server(44100, 64);
    CLIPDECK_REQUIRE_SERVER(server.running(), "jackd");
    AudioHardware::shared().refresh();
    FunctionSource source([](UInt64 frame, UInt32) { return patternSample((long long)frame); });
    source.record = false;
    auto player = ZEPPullAudioPlayer::create(0, &source, ZEPPlaybackFormat(), 16384);
    ASSERT_TRUE(player);
    player->setPrimeAmountFrames(2048);
    ASSERT_EQ(player->play(), noErr) << player->lastErrorText().toStdString();
    JackRecorder recorder("Clipdeck", 30 * 44100);
    ASSERT_TRUE(recorder.connect());
    ASSERT_TRUE(waitUntil([&] { return recorder.frames() > 0; }));

    // A seek: the loader of the ring being played stops, the producer moves, the other ring
    // is primed from there. Two of them back to back, well within one 64-frame period.
    const auto seek = [&](UInt64 position) {
        player->beginSwitch();
        source.position = position;
        player->finishSwitch();
    };
    UInt64 second = 0;
    for (int round = 0; round < 30; ++round) {
        const UInt64 first = 100000 + UInt64(round) * 20000;
        second = first + 10000;
        seek(first);
        seek(second);
        const size_t heard = recorder.frames();
        ASSERT_TRUE(waitUntil([&] { return recorder.frames() > heard + 1024; }, 30000));
    }
    const size_t end = recorder.frames();
    ASSERT_TRUE(waitUntil([&] { return recorder.frames() > end + 4410; }, 30000));
    const size_t recorded = recorder.frames();
    player->stop();

    // What plays now is the second position's audio, frame after frame.
    const std::vector<float>& left = recorder.channel(0);
    const size_t last = recorded - 1;
    const long long frame = patternFrame(left[last]);
    EXPECT_GE(frame, (long long)second);
    EXPECT_LT(frame, (long long)second + 2 * 44100);
    const auto blocks = compareBlocks(left, last + 1 - 2048, 2048, 64, patternSample, patternFrame);
    EXPECT_EQ(blocks.badBlocks, 0u);
}

// A player destroyed while its device still renders stops the device before any part of it
// goes: the render must never reach rings already freed or a half-destroyed object (the
// ThreadSanitizer build reports the render's use of the object against its destruction).
TEST(PlayerDestruction, APlayerDestroyedWhilePlayingStopsItsDeviceBeforeItsRingsGo)
{
    JackTestServer server(44100, 64);
    CLIPDECK_REQUIRE_SERVER(server.running(), "jackd");
    AudioHardware::shared().refresh();
    FunctionSource source([](UInt64 frame, UInt32) { return patternSample((long long)frame); });
    source.record = false;
    const std::pair<const char*, std::function<std::unique_ptr<ZEPAudioPlayer>()>> players[] = {
        {"pull", [&] { return ZEPPullAudioPlayer::create(0, &source, ZEPPlaybackFormat(), 16384); }},
        {"lockless pull", [&] { return ZEPLocklessPullAudioPlayer::create(0, &source, ZEPPlaybackFormat(), 16384); }},
        {"push", [] { return ZEPPushAudioPlayer::create(0, ZEPPlaybackFormat()); }},
    };
    for (const auto& [name, make] : players) {
        SCOPED_TRACE(name);
        std::unique_ptr<ZEPAudioPlayer> player = make();
        ASSERT_TRUE(player);
        ASSERT_EQ(player->play(), noErr) << player->lastErrorText().toStdString();
        if (auto* push = dynamic_cast<ZEPPushAudioPlayer*>(player.get())) {
            Buffers second(44100, 2);
            ASSERT_EQ(push->pushFrames(44100, second.list()), noErr);
        }
        const SInt64 played = player->framesPlayed();
        ASSERT_TRUE(waitUntil([&] { return player->framesPlayed() > played + 1024; }, 30000));
        player.reset();
    }
}
