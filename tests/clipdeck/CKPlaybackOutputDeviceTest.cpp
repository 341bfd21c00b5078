// The output device: the stored device is followed when it is unplugged and comes back
// (here: its JACK server stops and another starts), the device list's changes are announced
// on the main thread, and choosing a device stores its uid.
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
    auto server = std::make_unique<JackTestServer>();
    REQUIRE_JACK_SERVER(*server);
    AudioHardware& hardware = AudioHardware::shared();
    hardware.refresh();
    hardware.setPollingInterval(50);
    UserDefaults::standardUserDefaults().setObject("jack:system", CKPlaybackController::OutputDeviceKey);
    TestHost host;
    TestBoard board;
    host.shown = &board;
    SoundFiles files;
    CKPlaybackController* controller = CKPlaybackController::sharedPlaybackController();
    ASSERT_TRUE(controller->outputAudioDevice());
    EXPECT_EQ(controller->outputAudioDevice()->uid(), "jack:system");
    EXPECT_FALSE(controller->outputAudioPlayer()->usesDefaultOutputDevice());
    TestSound made = makeSound(files.constant(0.25f, -0.25f, 44100), &board);
    made.sound->setLoops(true);
    made.sound->play();

    int listChanges = 0;
    bool onMainThread = true;
    NotificationCenter::defaultCenter().addObserver(&listChanges, CKPlaybackController::DevicesChangedNotification,
                                                    nullptr, [&](const Notification&) {
                                                        ++listChanges;
                                                        onMainThread = onMainThread && mainthread::isMainThread();
                                                    });
    server.reset(); // unplugged
    ASSERT_TRUE(waitUntil([&] { return listChanges == 1; }));
    EXPECT_EQ(hardware.deviceIDForUID("jack:system"), 0u);

    server = std::make_unique<JackTestServer>(); // plugged in again
    ASSERT_TRUE(server->running());
    ASSERT_TRUE(waitUntil([&] { return listChanges == 2; }));
    EXPECT_TRUE(onMainThread);
    JackRecorder recorder("Clipdeck", 44100 * 10);
    ASSERT_TRUE(recorder.connect(5000)) << "the output did not come back to the device";
    ASSERT_TRUE(waitUntil([&] { return findSteadyLevel(recorder, 0, 0.25f, -0.25f, 4096) >= 0; }));
    EXPECT_TRUE(controller->soundIsPlaying(made.sound.get()));
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
