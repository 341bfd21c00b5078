// A board exported while the remote plays it: the export's copy of the board listens for no
// trigger, so a system-exclusive play command during the export plays the live sound once.
// A JACK server of the test's own plays; the command comes from a MIDI source inside the
// process.
#include "app/AppController.h"
#include "app/CKExportController.h"

#include "../clipdeck/BoardTestSupport.h"
#include "../clipdeck/TriggerTestSupport.h"
#include "AppTestSupport.h"
#include "ShellFixture.h"
#include "clipdeck/CKPlaybackController.h"
#include "platform/devices/AudioHardware.h"
#include "platform/midi/MIDIVirtualSource.h"
#include "support/JackTestServer.h"

using namespace clipdeck::test;

namespace {

class ExportWhileTriggered : public Shell {
protected:
    JackTestServer server;
    BoardsFolder folder;
    TempFolder files;
    TempFolder out;
};

} // namespace

TEST_F(ExportWhileTriggered, ASystemExclusivePlayCommandDuringAnExportPlaysTheSoundOnce)
{
    REQUIRE_JACK_SERVER(server);
    AudioHardware::shared().refresh();
    MIDIVirtualSource remote("Test Remote");
    ASSERT_NE(ZEPMIDIClient::sharedMIDIClient(), nullptr);
    folder.writeBoard(0, contentsXML("Show", {}));
    awake();
    launch();
    CKPlaybackController* playback = CKPlaybackController::sharedPlaybackController();
    ASSERT_TRUE(playback->outputAudioPlayer()->isRunning());
    const auto sound =
        controller->shownClipdeck()->createSoundFromPath(makeWAV(files, "drum.wav", 20 * 44100), 0);
    ASSERT_TRUE(sound && loadFeed(*sound));

    controller->exportCurrentClipdeckToPath(out.file("Show.ckzip"));
    CKExportController* sheet = controller->exportController();
    ASSERT_NE(sheet, nullptr);
    // The copy is loaded and exporting.
    ASSERT_TRUE(waitUntil([&] { return !sheet->message().isEmpty(); }, 300000));
    // Only the live sound listens for its command; the copy's sounds listen for nothing.
    EXPECT_NE(sound->sysExListener(), nullptr);
    const std::shared_ptr<CKClipdeck> copy = controller->exportingClipdeck();
    ASSERT_NE(copy, nullptr);
    ASSERT_EQ(copy->numberOfSounds(), 1u);
    for (const std::shared_ptr<CKSoundSource>& copied : copy->sounds()) {
        if (copied) {
            EXPECT_EQ(copied->sysExListener(), nullptr);
        }
    }
    ASSERT_EQ(remote.send(soundCommand(sound->uuid(), {CKSysExAction::kTriggerPress, 0})), 1);
    ASSERT_TRUE(waitUntil([&] { return playback->soundIsPlaying(sound.get()); }));
    settleEventLoop();
    EXPECT_EQ(playback->numberOfPlayingSounds(), 1);

    sound->stopImmediately();
    ASSERT_TRUE(waitUntil([&] { return playback->numberOfPlayingSounds() == 0; }));
    ASSERT_TRUE(waitUntil([&] { return !controller->isExporting(); }, 300000));
    EXPECT_TRUE(QFileInfo::exists(out.file("Show.ckzip")));
    playback->outputAudioPlayer()->stop();
}
