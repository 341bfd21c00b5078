// The device's thread, end to end, under the render guard: a JACK server's dummy driver
// calls the device stream, which renders a player of the mixer of 32 inputs (a quarter of
// them at another rate), with the guard armed around every callback.
#include "audio/engine/ZEPAudioMixer.h"
#include "audio/engine/ZEPAudioPlayer.h"
#include "audio/engine/ZEPCanonicalFormats.h"

#include "audio/engine/TestProducers.h"
#include "platform/devices/AudioHardware.h"
#include "support/JackTestServer.h"
#include "support/RenderGuard.h"
#include "support/ServerRequirement.h"
#include "support/TestEnvironment.h"

#include <gtest/gtest.h>

#include <algorithm>

using namespace clipdeck::test;

TEST(RenderGuardOnDevice, theDeviceStreamsCallbackRendersThePlayerAndMixer)
{
    JackTestServer server(44100, 256);
    CLIPDECK_REQUIRE_SERVER(server.running(), "jackd");
    AudioHardware::shared().refresh();
    auto mixer = ZEPAudioMixer::create(32, 1, kZEPPlaybackMaxRenderSlice, ZEPPlaybackFormat());
    for (UInt32 i = 0; i < 32; ++i) {
        mixer->setAudioSource(std::make_shared<enginetest::ToneSource>(i % 4 ? 44100 : 48000, 0.02f), i);
        mixer->setVolumeForInput(1.0f, i);
        mixer->setInputAtIndex(i, true);
    }
    auto player = ZEPAudioPlayer::create(mixer.get(), ZEPPlaybackFormat());
    ASSERT_TRUE(player);
    JackRecorder recorder("Clipdeck", 4 * 44100);
    RenderGuard guard;
    RenderGuard::watchDeviceSlices(true);
    const uint64_t slicesBefore = RenderGuard::deviceSlices();
    ASSERT_EQ(player->play(), noErr) << player->lastErrorText().toStdString();
    ASSERT_TRUE(recorder.connect());
    EXPECT_TRUE(waitUntil([&] { return recorder.frames() > 44100; }, 20000));
    RenderGuard::watchDeviceSlices(false);
    player->stop();
    EXPECT_GT(RenderGuard::deviceSlices() - slicesBefore, 100u);
    EXPECT_EQ(guard.violations(), 0u) << guard.report().toStdString();
    const std::vector<float>& left = recorder.channel(0);
    EXPECT_GT(*std::max_element(left.begin(), left.begin() + SInt64(recorder.frames())), 0.1f);
}
