// The output device: the stored device is followed when it is unplugged and comes back,
// the device list's changes are announced on the main thread, and choosing a device stores
// its uid.
#include "clipdeck/CKPlaybackController.h"

#include "PlaybackTestSupport.h"
#include "audio/engine/ZEPAudioDevice.h"
#include "platform/MainThread.h"
#include "platform/NotificationCenter.h"
#include "platform/UserDefaults.h"
#include "platform/devices/AudioHardware.h"

#include <gtest/gtest.h>

using namespace clipdeck::test;

TEST(PlaybackOutputDevice, theStoredDeviceIsFollowedWhenItComesBack)
{
    JackTestServer server;
    REQUIRE_JACK_SERVER(server);
    // The device is a recorder: a client of the server with two inputs, "jack:recorder",
    // which is unplugged by closing it and plugged in again by opening another.
    auto recorder = std::make_unique<JackRecorder>("Clipdeck", 44100 * 10);
    AudioHardware& hardware = AudioHardware::shared();
    hardware.refresh();
    ASSERT_NE(hardware.deviceIDForUID("jack:recorder"), 0u);
    hardware.setPollingInterval(250);
    UserDefaults::standardUserDefaults().setObject("jack:recorder", CKPlaybackController::OutputDeviceKey);
    TestHost host;
    TestBoard board;
    host.shown = &board;
    SoundFiles files;
    CKPlaybackController* controller = CKPlaybackController::sharedPlaybackController();
    ASSERT_TRUE(controller->outputAudioDevice());
    EXPECT_EQ(controller->outputAudioDevice()->uid(), "jack:recorder");
    ASSERT_TRUE(recorder->recordWhenConnected());
    TestSound made = makeSound(files.constant(0.25f, -0.25f, 44100), &board);
    made.sound->setLoops(true);
    made.sound->play();
    ASSERT_TRUE(waitUntil([&] { return findSteadyLevel(*recorder, 0, 0.25f, -0.25f, 4096) >= 0; }));

    int listChanges = 0;
    bool onMainThread = true;
    NotificationCenter::defaultCenter().addObserver(&listChanges, CKPlaybackController::DevicesChangedNotification,
                                                    nullptr, [&](const Notification&) {
                                                        ++listChanges;
                                                        onMainThread = onMainThread && mainthread::isMainThread();
                                                    });
    // A device can leave the list in more than one step (its ports go one by one): the test
    // waits for the list's state, each step announced.
    recorder.reset(); // unplugged
    ASSERT_TRUE(waitUntil([&] { return listChanges >= 1 && hardware.deviceIDForUID("jack:recorder") == 0u; }));
    const int changesWhileAway = listChanges;

    recorder = std::make_unique<JackRecorder>("Clipdeck", 44100 * 10); // plugged in again
    ASSERT_TRUE(waitUntil(
        [&] { return listChanges > changesWhileAway && hardware.deviceIDForUID("jack:recorder") != 0u; }));
    EXPECT_TRUE(onMainThread);
    // The output connects to the device again by itself (the recorder connects nothing).
    ASSERT_TRUE(recorder->recordWhenConnected(5000)) << "the output did not come back to the device";
    ASSERT_TRUE(waitUntil([&] { return findSteadyLevel(*recorder, 0, 0.25f, -0.25f, 4096) >= 0; }));
    EXPECT_TRUE(controller->soundIsPlaying(made.sound.get()));
    EXPECT_EQ(controller->outputAudioPlayer()->deviceUID(), "jack:recorder");
    NotificationCenter::defaultCenter().removeObserver(&listChanges);

    made.sound->stopImmediately();
    EXPECT_TRUE(waitUntil([&] { return controller->numberOfPlayingSounds() == 0; }));
    controller->outputAudioPlayer()->stop();
}

TEST(PlaybackOutputDevice, choosingADeviceMovesTheOutputAndStoresItsUid)
{
    JackTestServer server;
    REQUIRE_JACK_SERVER(server);
    AudioHardware::shared().refresh();
    CKPlaybackController* controller = CKPlaybackController::sharedPlaybackController();
    EXPECT_FALSE(controller->outputAudioDevice()); // nothing stored: the default
    EXPECT_TRUE(controller->outputAudioPlayer()->usesDefaultOutputDevice());
    std::shared_ptr<ZEPAudioDevice> device = ZEPAudioDevice::audioDeviceWithDeviceUID("jack:system");
    ASSERT_TRUE(device);
    controller->setOutputAudioDevice(device);
    EXPECT_FALSE(controller->outputAudioPlayer()->usesDefaultOutputDevice());
    EXPECT_EQ(controller->outputAudioPlayer()->device(), device->audioDeviceID());
    controller->updateOutputDevice();
    EXPECT_EQ(UserDefaults::standardUserDefaults().stringForKey(CKPlaybackController::OutputDeviceKey), "jack:system");
    controller->setOutputAudioDevice(nullptr);
    controller->updateOutputDevice();
    EXPECT_TRUE(controller->outputAudioPlayer()->usesDefaultOutputDevice());
    EXPECT_FALSE(UserDefaults::standardUserDefaults().objectForKey(CKPlaybackController::OutputDeviceKey).isValid());
    controller->outputAudioPlayer()->stop();
}
