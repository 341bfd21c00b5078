// Sounds fired by their real triggers: key events with native scan codes sent to a window that
// hands them to the key dispatcher (offscreen platform), and MIDI notes and system-exclusive
// commands from a MIDI device on the test's JACK server, through the shared MIDI client to the
// sounds and the playback controller that listen on it.
#include "clipdeck/CKMIDIController.h"
#include "clipdeck/CKModifierToggles.h"
#include "clipdeck/CKPlaybackController.h"

#include "PressCycleTable.h"
#include "TriggerTestSupport.h"
#include "platform/UserDefaults.h"
#include "platform/midi/MIDISystem.h"

#include <gtest/gtest-spi.h>
#include <gtest/gtest.h>

#include <QApplication>
#include <QKeyEvent>

#include <chrono>
#include <cmath>
#include <thread>

using namespace clipdeck::test;

namespace {

// The sound's key: "q" (virtual key code 12, X11 scan code 24).
constexpr quint16 kKeyCodeQ = 12;
constexpr uint32_t kScanCodeQ = 24;
// The sound's note: channel 1, note 60. The toggles' notes: channel 2, notes 10 and 11.
constexpr uint8_t kSoundNote = 60;
constexpr int32_t kToggleChannel = 1;
constexpr uint16_t kStopOnLiftNote = 10, kLoopingNote = 11;

// The application's modifier toggles: the MIDI notes bound to them flip the flags the
// window's host reports while a press is handled.
class HostToggles : public CKModifierToggles {
public:
    explicit HostToggles(TestHost& host) : host_(host) { setShared(this); }
    ~HostToggles() override { setShared(nullptr); }
    uint32_t toggleLoopingKeyMask() const override { return 0; }
    uint32_t pauseSoundKeyMask() const override { return 0; }
    uint32_t stopOnLiftKeyMask() const override { return 0; }
    uint32_t restartOnPressKeyMask() const override { return 0; }
    void toggleLooping() override { host_.looping = !host_.looping; }
    void toggleStopOnLift() override { host_.stopOnLift = !host_.stopOnLift; }
    void toggleRestartOnPress() override { host_.restartOnPress = !host_.restartOnPress; }
    bool isTogglingLooping() const override { return host_.looping; }
    bool isTogglingStopOnLift() const override { return host_.stopOnLift; }
    bool isTogglingRestartOnPress() const override { return host_.restartOnPress; }

private:
    TestHost& host_;
};

class TriggeredPlayback : public PlaybackOnDevice {
protected:
    void SetUp() override
    {
        PlaybackOnDevice::SetUp();
        if (HasFatalFailure() || IsSkipped())
            return;
        ASSERT_EQ(MIDISystem::shared().api(), "jack"); // no ALSA sequencer here
        ASSERT_TRUE(device.isOpen());
        client = ZEPMIDIClient::sharedMIDIClient();
        ASSERT_NE(client, nullptr);
        const auto sources = MIDISystem::shared().sources();
        for (unsigned i = 0; i < sources.size(); ++i) {
            if (sources[i].uid == device.sourceUID())
                client->listenToSourceAtIndex(i);
        }
        ASSERT_TRUE(client->destinationConnections().contains(device.sourceUID()));
        ASSERT_TRUE(awaitLiveConnection(*client, device));
        marker = client->addListener(&markerTarget, [this](const ZEPMIDIAction&) { ++markers; }, 15,
                                     ZEPMIDIAction::kNoteDownEvent, 127, ZEPMIDIListener::Delivery::MainThread);
        window.show();
    }
    void TearDown() override
    {
        if (client && marker)
            client->removeListener(marker);
        PlaybackOnDevice::TearDown();
    }

    // A sound on the board with the key "q" and the note 60 of channel 1.
    TestSound boundSound()
    {
        TestSound made = makeSound(files.constant(0.1f, 0.1f, 10 * 44100), &board);
        made.sound->setTriggerKey("q", kKeyCodeQ);
        made.sound->setMIDIChannel(0, kSoundNote);
        return made;
    }
    void key(QEvent::Type type)
    {
        QKeyEvent event(type, Qt::Key_Q, Qt::NoModifier, kScanCodeQ, 0, 0, "q");
        QApplication::sendEvent(&window, &event);
    }
    void send(const std::vector<uint8_t>& message) { ASSERT_TRUE(device.send(message)); }
    // Sends message until done() holds, again when a late cycle may have lost it.
    void sendUntil(const std::vector<uint8_t>& message, const std::function<bool()>& done)
    {
        ASSERT_TRUE(sendUntilHeard(device, lateCycles, message, done));
    }
    // Once the marker note sent now has reached the main thread, so has the work of every
    // note and key sent before it. A marker lost to a late cycle is sent again.
    void settle()
    {
        const int before = markers;
        sendUntil({0x9F, 127, 1}, [&] { return markers > before; });
    }

    JackXrunCounter lateCycles;
    MIDITestSender device{"Test Pads", "out"};
    ZEPMIDIClient* client = nullptr;
    BoardWindowStandIn window;
    HostToggles toggles{host};
    QObject markerTarget;
    std::shared_ptr<ZEPMIDIListener> marker;
    int markers = 0;
};

enum class Do {
    KeyDown,
    KeyUp,
    NoteOn,
    NoteOff,
    PauseSound,          // the sound's own pause
    Advance,             // half a second on the fade clock
    HoldStopOnLiftNote,  // the stop-on-lift toggle's note, held
    HoldLoopingNote,     // the looping toggle's note, held
    ReleaseToggleNotes,  // both toggles' notes released
    NoteOnInStopOnLift,  // the stop-on-lift toggle's note pressed, the sound's note on, the toggle's released
};

using State = PressState;
using Step = PressStep<Do>;
using Row = PressRow<Do>;

} // namespace

TEST_F(TriggeredPlayback, pressCyclesFromKeysAndMIDINotes)
{
    // The toggles' bindings, as a learn stores them; the controller registers them.
    UserDefaults& defaults = UserDefaults::standardUserDefaults();
    defaults.setObject(CKMIDIInformationForChannel(kToggleChannel, kStopOnLiftNote), "MIDIStopOnLift");
    defaults.setObject(CKMIDIInformationForChannel(kToggleChannel, kLoopingNote), "MIDILooping");
    ASSERT_TRUE(waitUntil([&] { return controller->toggleListeners().size() == 4; }));

    const Row rows[] = {
        {"a second key press fades out, a third restarts at full volume",
         2.0, false, 0, true,
         {{Do::KeyDown, playing(1)},
          {Do::KeyUp, playing(1)},
          {Do::KeyDown, fading(stopped(1, 0))},
          {Do::Advance, with(fading(stopped(1, 0)), [](State& s) { s.volume = 0.75f; })},
          {Do::KeyUp, fading(stopped(1, 0))},
          {Do::KeyDown, with(playing(1, 0, 1), [](State& s) { s.volume = 1.0f; })},
          {Do::KeyUp, playing(1, 0, 1)}}},
        {"with restart on press each note restarts the sound, without a began or finished notice",
         2.0, true, 0, true,
         {{Do::NoteOn, playing(1)},
          {Do::NoteOff, playing(1)},
          {Do::NoteOn, playing(1, 0, 1)},
          {Do::NoteOff, playing(1, 0, 1)},
          {Do::NoteOn, playing(1, 0, 2)}}},
        {"a key's release and a note's release stop a sound that stops on lift",
         0.0, false, 2, true,
         {{Do::KeyDown, playing(1)},
          {Do::KeyUp, stopped(1, 1)},
          {Do::NoteOn, playing(2, 1)},
          {Do::NoteOff, stopped(2, 2)}}},
        {"releases leave a sound that keeps playing",
         0.0, false, 0, true,
         {{Do::NoteOn, playing(1)}, {Do::NoteOff, playing(1)}, {Do::KeyUp, playing(1)}}},
        {"on a board that is not shown keys do nothing; a note plays the sound and its release stops it",
         0.0, false, 2, false,
         {{Do::KeyDown, kIdle},
          {Do::KeyUp, kIdle},
          {Do::NoteOn, playing(1)},
          {Do::KeyDown, playing(1)},
          {Do::KeyUp, playing(1)},
          {Do::NoteOff, stopped(1, 1)}}},
        {"the stop-on-lift toggle's note held at a note's press makes it stop on its release, once",
         0.0, false, 0, false,
         {{Do::HoldStopOnLiftNote, kIdle},
          {Do::NoteOn, with(playing(1), [](State& s) { s.liftBehavior = 2; })},
          {Do::ReleaseToggleNotes, with(playing(1), [](State& s) { s.liftBehavior = 2; })},
          {Do::NoteOff, with(stopped(1, 1), [](State& s) { s.liftBehavior = 0; })},
          {Do::NoteOn, with(playing(2, 1), [](State& s) { s.liftBehavior = 0; })},
          {Do::NoteOff, playing(2, 1)}}},
        {"a toggle's note released right after a note's press still counts for that press",
         0.0, false, 0, true,
         {{Do::NoteOnInStopOnLift, with(playing(1), [](State& s) { s.liftBehavior = 2; })},
          {Do::NoteOff, with(stopped(1, 1), [](State& s) { s.liftBehavior = 0; })}}},
        {"the looping toggle's note held at a key press plays that press looped",
         0.0, false, 0, true,
         {{Do::HoldLoopingNote, kIdle},
          {Do::KeyDown, with(playing(1), [](State& s) { s.forceLoop = 1; })},
          {Do::KeyUp, with(playing(1), [](State& s) { s.forceLoop = 1; })},
          {Do::ReleaseToggleNotes, with(playing(1), [](State& s) { s.forceLoop = 1; })},
          {Do::KeyDown, stopped(1, 1)},
          {Do::KeyUp, stopped(1, 1)},
          {Do::KeyDown, with(playing(2, 1), [](State& s) { s.forceLoop = 0; })},
          {Do::KeyUp, playing(2, 1)}}},
        {"a key press resumes a paused sound",
         2.0, false, 0, true,
         {{Do::KeyDown, playing(1)},
          {Do::KeyUp, playing(1)},
          {Do::PauseSound, with(playing(1), [](State& s) { s.paused = true; })},
          {Do::KeyDown, playing(1)},
          {Do::KeyUp, playing(1)}}},
    };

    // A late server cycle loses the notes sent in it, and a lost note changes what every later
    // step of its row expects: a row whose step had a late cycle between its first note and
    // the marker after it heard stops and starts over, what its steps found forgotten.
    bool notesMayBeLost = false;
    const auto runRow = [&](const Row& row) {
        notesMayBeLost = false;
        ManualTimeSource clock;
        defaults.setDouble(row.fadeOutDuration, "fadeOutDuration");
        TestSound made = boundSound();
        CKSoundSource* sound = made.sound.get();
        sound->setRestartOnPress(row.restartOnPress);
        sound->setLiftBehavior(row.liftBehavior);
        host.shown = row.boardShown ? &board : nullptr;
        NotificationLog log;
        int index = 0;
        for (const Step& step : row.steps) {
            SCOPED_TRACE(testing::Message() << "step " << ++index);
            const int lateBefore = lateCycles.xruns();
            switch (step.action) {
            case Do::KeyDown: key(QEvent::KeyPress); break;
            case Do::KeyUp: key(QEvent::KeyRelease); break;
            case Do::NoteOn: send({0x90, kSoundNote, 100}); break;
            case Do::NoteOff: send({0x80, kSoundNote, 0}); break;
            case Do::PauseSound: controller->pauseSound(sound); break;
            case Do::Advance: clock.advance(0.5 + 1e-6); break;
            case Do::HoldStopOnLiftNote: send({0x91, kStopOnLiftNote, 100}); break;
            case Do::HoldLoopingNote: send({0x91, kLoopingNote, 100}); break;
            case Do::NoteOnInStopOnLift:
                send({0x91, kStopOnLiftNote, 100});
                send({0x90, kSoundNote, 100});
                send({0x81, kStopOnLiftNote, 0});
                break;
            case Do::ReleaseToggleNotes:
                if (host.stopOnLift)
                    send({0x81, kStopOnLiftNote, 0});
                if (host.looping)
                    send({0x81, kLoopingNote, 0});
                break;
            }
            settle();
            notesMayBeLost = lateCycles.xruns() != lateBefore;
            if (notesMayBeLost)
                return;
            ASSERT_NO_FATAL_FAILURE(expectPressState(step.after, *controller, *sound, log));
        }
        EXPECT_FALSE(host.looping || host.stopOnLift) << "a toggle's release flips it back";
        EXPECT_FALSE(CKKeyEventDispatch::sharedDispatcher().isKeyDown(kKeyCodeQ)) << "the row left its key down";
    };
    const auto startOver = [&] {
        for (const auto& sound : controller->playingSounds())
            sound->stopImmediately();
        ASSERT_TRUE(waitUntil([&] { return controller->numberOfPlayingSounds() == 0; }));
        host.looping = host.stopOnLift = false;
        CKKeyEventDispatch::sharedDispatcher().clearKeyState();
    };

    for (const Row& row : rows) {
        SCOPED_TRACE(row.what);
        constexpr int kAttempts = 5;
        for (int attempt = 0;; ++attempt) {
            testing::TestPartResultArray failures;
            {
                testing::ScopedFakeTestPartResultReporter intercept(
                    testing::ScopedFakeTestPartResultReporter::INTERCEPT_ONLY_CURRENT_THREAD, &failures);
                runRow(row);
            }
            startOver();
            if (!notesMayBeLost) {
                for (int i = 0; i < failures.size(); ++i) {
                    const testing::TestPartResult& failure = failures.GetTestPartResult(i);
                    ADD_FAILURE_AT(failure.file_name() ? failure.file_name() : "", failure.line_number())
                        << failure.message() << "\n(attempt " << attempt + 1 << " at the row)";
                }
                break;
            }
            ASSERT_LT(attempt + 1, kAttempts) << "every attempt at the row had a late cycle among its notes";
        }
    }
}

TEST_F(TriggeredPlayback, aSoundOfACopyHearsNoTriggerUntilItRegistersThemAndTheKeyCanGoAlone)
{
    TestSound made = boundSound();
    CKSoundSource* sound = made.sound.get();
    sound->setLiftBehavior(CKSoundSource::kStopOnLift);
    const QString uuid = sound->uuid();
    const auto remotePress = soundCommand(uuid, {CKSysExAction::kTriggerPress, 0});

    sound->setRegistersTriggers(false);
    for (const auto& press : {std::vector<uint8_t>{0x90, kSoundNote, 100}, remotePress}) {
        send(press);
        settle();
    }
    key(QEvent::KeyPress);
    key(QEvent::KeyRelease);
    settle();
    EXPECT_FALSE(controller->soundIsPlaying(sound)) << "a copy heard a trigger";

    sound->setRegistersTriggers(true);
    sendUntil({0x90, kSoundNote, 100}, [&] { return controller->soundIsPlaying(sound); });
    sound->setRegistersTriggers(false);
    send({0x80, kSoundNote, 0});
    settle();
    EXPECT_TRUE(controller->soundIsPlaying(sound)) << "a copy heard a note's release";
    sound->setRegistersTriggers(true);
    sendUntil({0x80, kSoundNote, 0}, [&] { return !controller->soundIsPlaying(sound); });

    // The cell goes: the key no longer plays the sound, its note and the remote still do.
    sound->removeTriggers();
    key(QEvent::KeyPress);
    key(QEvent::KeyRelease);
    settle();
    EXPECT_FALSE(controller->soundIsPlaying(sound));
    sendUntil(remotePress, [&] { return controller->soundIsPlaying(sound); });
    sendUntil({0x80, kSoundNote, 0}, [&] { return !controller->soundIsPlaying(sound); });
}

TEST_F(TriggeredPlayback, aNoteOnItsWayToASoundThatGoesIsDropped)
{
    TestSound made = boundSound();
    // Heard on the MIDI thread after the sound's listener has handed its call on.
    std::atomic<bool> dispatched{false};
    QObject spy;
    auto after = client->addListener(&spy, [&](const ZEPMIDIAction&) { dispatched = true; }, 0,
                                     ZEPMIDIAction::kNoteDownEvent, kSoundNote);
    send({0x90, kSoundNote, 100});
    // The event loop does not run meanwhile: the sound's call waits in the main thread's queue.
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(5);
    while (!dispatched && std::chrono::steady_clock::now() < deadline)
        std::this_thread::yield();
    ASSERT_TRUE(dispatched);
    made = TestSound();
    settle();
    EXPECT_EQ(controller->numberOfPlayingSounds(), 0);
    client->removeListener(after);
}

TEST_F(TriggeredPlayback, remoteCommandsReachTheSoundOfTheirUuidAndTheMasterControls)
{
    TestSound made = boundSound();
    CKSoundSource* sound = made.sound.get();
    const QString uuid = sound->uuid();
    const auto isPlaying = [&] { return controller->soundIsPlaying(sound); };
    const auto isStopped = [&] { return !controller->soundIsPlaying(sound); };
    const float half = 8192.0f / 16383;

    sendUntil(soundCommand(uuid, {CKSysExAction::kTriggerPress, 1}), isPlaying);
    EXPECT_TRUE(sound->editor()->forceLoop()); // playback mode 1 loops that press
    sendUntil(soundCommand(uuid, {CKSysExAction::kTriggerSetVolume, 0x40, 0x00}),
              [&] { return std::fabs(sound->playbackVolume() - half) < 1e-5f; });
    sendUntil(soundCommand(uuid, {CKSysExAction::kTriggerStop, 0}), isStopped);

    // A new uuid: the commands for the old one no longer reach the sound.
    const QString renamed = QUuid::createUuid().toString(QUuid::WithoutBraces).toUpper();
    sound->setUuid(renamed);
    send(soundCommand(uuid, {CKSysExAction::kTriggerPress, 0}));
    settle();
    EXPECT_FALSE(controller->soundIsPlaying(sound));
    sendUntil(soundCommand(renamed, {CKSysExAction::kTriggerPress, 0}), isPlaying);

    sendUntil(sysEx({CKSysExAction::kPauseCommand, 1}), [&] { return controller->paused(); });
    sendUntil(sysEx({CKSysExAction::kPauseCommand, 0}), [&] { return !controller->paused(); });
    sendUntil(sysEx({CKSysExAction::kDuckCommand, 1}), [&] { return controller->ducked(); });
    sendUntil(sysEx({CKSysExAction::kDuckCommand, 0}), [&] { return !controller->ducked(); });
    sendUntil(sysEx({CKSysExAction::kMasterVolumeCommand, 0x40, 0x00}),
              [&] { return std::fabs(controller->outputGain() - half) < 1e-5f; });
    sendUntil(sysEx({CKSysExAction::kMasterVolumeCommand, 0x7F, 0x7F}), [&] { return controller->outputGain() == 1.0f; });
    sendUntil(sysEx({CKSysExAction::kStopAllCommand}), [&] { return controller->numberOfPlayingSounds() == 0; });
}

TEST_F(TriggeredPlayback, aToggleCannotLearnASoundsButtonAndNothingElseCanLearnAToggles)
{
    TestSound made = boundSound();
    CKMIDIController* looping = controller->loopingController();
    const auto pressAndRelease = [&](uint8_t note) {
        send({0x90, note, 100});
        send({0x80, note, 0});
    };

    looping->learn();
    pressAndRelease(kSoundNote);
    ASSERT_TRUE(waitUntil([&] { return looping->learningTriedToUseTakenButton(); }));
    EXPECT_TRUE(looping->learning());
    pressAndRelease(61);
    ASSERT_TRUE(waitUntil([&] { return !looping->learning(); }));
    EXPECT_EQ(looping->buttonID(), 61);
    EXPECT_EQ(UserDefaults::standardUserDefaults().objectForKey("MIDILooping").toMap(),
              CKMIDIInformationForChannel(0, 61));
    ASSERT_TRUE(waitUntil([&] { return controller->toggleListeners().size() == 2; }));
    EXPECT_FALSE(controller->soundIsPlaying(made.sound.get())) << "a note pressed while learning played the sound";

    // A learn that does not ask for a free button (the sound editor's) still cannot take
    // the toggle's, but can take the sound's.
    CKMIDIController editorLearn;
    editorLearn.learn();
    pressAndRelease(61);
    ASSERT_TRUE(waitUntil([&] { return editorLearn.learningTriedToUseTakenButton(); }));
    pressAndRelease(kSoundNote);
    ASSERT_TRUE(waitUntil([&] { return !editorLearn.learning(); }));
    EXPECT_EQ(editorLearn.buttonID(), kSoundNote);

    // The toggle's note now holds the toggle.
    sendUntil({0x90, 61, 100}, [&] { return host.looping; });
    sendUntil({0x80, 61, 0}, [&] { return !host.looping; });
}
