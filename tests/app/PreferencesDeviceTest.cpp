// The editor's output device pop-up while devices come and go: it shows the stored device
// whenever that device is there, writes nothing when the list changes, and stores a device
// only when the user picks one.
#include "app/CKEditorPreferencesController.h"
#include "audio/engine/ZEPAudioDevice.h"
#include "clipdeck/CKPlaybackController.h"
#include "editor/CKEditorController.h"
#include "platform/NotificationCenter.h"
#include "platform/UserDefaults.h"
#include "platform/devices/AudioHardware.h"

#include "support/JackTestServer.h"
#include "support/TestEnvironment.h"

#include <QComboBox>

#include <gtest/gtest.h>

using namespace clipdeck::test;

namespace {

// The device list changed: read it again and tell the program, as the playback controller does.
void deviceListChanged()
{
    AudioHardware::shared().refresh();
    NotificationCenter::defaultCenter().post(CKPlaybackController::DevicesChangedNotification);
}

} // namespace

TEST(EditorOutputDevice, TheStoredChoiceSurvivesDeviceChangesAndOnlyAPickWritesIt)
{
    JackTestServer server;
    REQUIRE_JACK_SERVER(server);
    // "jack:recorder" is unplugged by closing the recorder and plugged in by opening another.
    auto recorder = std::make_unique<JackRecorder>("Clipdeck", 4096);
    AudioHardware::shared().refresh();
    ASSERT_NE(AudioHardware::shared().deviceIDForUID("jack:recorder"), 0u);
    UserDefaults& defaults = UserDefaults::standardUserDefaults();
    defaults.setObject("jack:recorder", CKEditorController::OutputDeviceKey);
    int changes = 0;
    NotificationCenter::defaultCenter().addObserver(&changes, CKEditorController::OutputDeviceChangedNotification,
                                                    nullptr, [&](const Notification&) { ++changes; });

    CKEditorPreferencesController pane;
    pane.viewWillAppear();
    QComboBox* popUp = pane.editorOutputButton();
    EXPECT_EQ(popUp->currentText(), "recorder");

    recorder.reset();
    deviceListChanged();
    EXPECT_EQ(popUp->currentIndex(), -1);
    EXPECT_EQ(popUp->placeholderText(), "recorder (not connected)");
    EXPECT_EQ(defaults.stringForKey(CKEditorController::OutputDeviceKey), "jack:recorder");

    recorder = std::make_unique<JackRecorder>("Clipdeck", 4096);
    deviceListChanged();
    EXPECT_EQ(popUp->currentText(), "recorder");
    EXPECT_EQ(defaults.stringForKey(CKEditorController::OutputDeviceKey), "jack:recorder");
    EXPECT_EQ(changes, 0);

    // The user picks the device that is already stored: nothing changes.
    emit popUp->activated(popUp->currentIndex());
    EXPECT_EQ(changes, 0);
    // Another device: stored, announced once.
    int other = -1;
    for (int i = 2; i < popUp->count() && other < 0; ++i)
        if (popUp->itemText(i) != "recorder")
            other = i;
    ASSERT_GE(other, 0) << "the server offers no second output device";
    popUp->setCurrentIndex(other);
    emit popUp->activated(other);
    EXPECT_EQ(changes, 1);
    EXPECT_NE(defaults.stringForKey(CKEditorController::OutputDeviceKey), "jack:recorder");
    ASSERT_TRUE(CKEditorController::editorOutputDevice());
    EXPECT_EQ(CKEditorController::editorOutputDevice()->name(), popUp->itemText(other));
    NotificationCenter::defaultCenter().removeObserver(&changes);
}
