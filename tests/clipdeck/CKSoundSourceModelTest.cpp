// The sound model without playing: its "sound" element read and written, volume clamping,
// the MIDI information dictionary, its reactions to its own changes (sticky, saves), its
// identity, the remote commands that need no playback, and the triggers it registers.
#include "clipdeck/CKKeyEventDispatch.h"
#include "clipdeck/CKSoundSource.h"
#include "clipdeck/ZEPMIDIClient.h"

#include "PlaybackTestSupport.h"

#include <gtest/gtest.h>

using namespace clipdeck::test;

namespace {

XMLElement soundElement(const QList<QPair<QString, QString>>& attributes)
{
    XMLElement element("sound");
    for (const auto& attribute : attributes)
        element.setAttribute(attribute.first, attribute.second);
    return element;
}

} // namespace

TEST(CKSoundSourceElement, readsAndWritesEveryAttributeInItsOrder)
{
    const XMLElement stored = soundElement({{"name", "Thunder"},
                                            {"loops", "false"},
                                            {"restartOnPress", "true"},
                                            {"uuid", "5F0E6A52-1D1B-4B8A-9C33-0123456789AB"},
                                            {"playbackVolume", "0.750"},
                                            {"MIDIEventType", "144"},
                                            {"MIDIChannel", "3"},
                                            {"MIDIButtonID", "60"},
                                            {"backgroundColor", "Orange"},
                                            {"liftBehavior", "2"},
                                            {"sticky", "true"},
                                            {"index", "7"}});
    const auto sound = CKSoundSource::createWithXMLElement(stored);
    EXPECT_EQ(sound->name(), "Thunder");
    EXPECT_FALSE(sound->loops());
    EXPECT_TRUE(sound->restartOnPress());
    EXPECT_FLOAT_EQ(sound->playbackVolume(), 0.75f);
    EXPECT_EQ(sound->midiChannel(), 3);
    EXPECT_EQ(sound->midiButton(), 60);
    EXPECT_EQ(sound->backgroundColor(), "Orange");
    EXPECT_EQ(sound->liftBehavior(), 2u);
    EXPECT_EQ(sound->index(), 7u);

    const std::optional<XMLElement> written = sound->saveAndReturnXMLElement();
    ASSERT_TRUE(written);
    EXPECT_EQ(written->name(), "sound");
    // The board adds "index" itself.
    QList<QPair<QString, QString>> expected = stored.attributes();
    expected.removeLast();
    EXPECT_EQ(written->attributes(), expected);
}

TEST(CKSoundSourceElement, missingAndOutOfRangeValuesReadAsTheirDefaults)
{
    const struct {
        const char* what;
        QList<QPair<QString, QString>> attributes;
        float volume;
        bool bound;
        qulonglong liftBehavior;
    } cases[] = {
        {"nothing at all", {}, 1.0f, false, 0},
        {"a volume above 1", {{"playbackVolume", "1.7"}}, 1.0f, false, 0},
        {"a volume below 0", {{"playbackVolume", "-0.2"}}, 0.0f, false, 0},
        {"a binding without its event type", {{"MIDIChannel", "2"}, {"MIDIButtonID", "40"}}, 1.0f, false, 0},
        {"a binding with it", {{"MIDIEventType", "0"}, {"MIDIChannel", "2"}, {"MIDIButtonID", "40"}}, 1.0f, true, 0},
        {"a negative lift behaviour", {{"liftBehavior", "-3"}}, 1.0f, false, 0},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        const auto sound = CKSoundSource::createWithXMLElement(soundElement(c.attributes));
        EXPECT_TRUE(sound->name().isNull());
        EXPECT_FLOAT_EQ(sound->playbackVolume(), c.volume);
        EXPECT_EQ(sound->hasMIDIBinding(), c.bound);
        EXPECT_EQ(sound->liftBehavior(), c.liftBehavior);
        EXPECT_EQ(sound->backgroundColor(), "");
        const XMLElement written = *sound->saveAndReturnXMLElement();
        EXPECT_EQ(written.hasAttribute("MIDIChannel"), c.bound);
        EXPECT_FALSE(written.hasAttribute("backgroundColor"));
        // A sound without a uuid gets one as it is written.
        EXPECT_EQ(written.attribute("uuid").size(), 36);
    }
}

TEST(CKSoundSourceElement, stickyIsWrittenTrueWheneverATriggerSettingMakesItSo)
{
    const struct {
        const char* what;
        bool loops, restart;
        qulonglong lift;
        bool sticky;
        const char* written;
    } cases[] = {
        {"nothing set", false, false, 0, false, "false"},
        {"sticky alone", false, false, 0, true, "true"},
        {"loops, sticky NO", true, false, 0, false, "true"},
        {"restart on press", false, true, 0, false, "true"},
        {"stop on lift", false, false, 2, false, "true"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        auto sound = std::make_shared<CKSoundSource>();
        sound->setLoops(c.loops);
        sound->setRestartOnPress(c.restart);
        sound->setLiftBehavior(c.lift);
        sound->setSticky(c.sticky);
        EXPECT_EQ(sound->saveAndReturnXMLElement()->attribute("sticky"), c.written);
    }
    // The restart-on-press toggle held while writing counts as the flag it makes.
    TestHost host;
    host.restartOnPress = true;
    auto sound = std::make_shared<CKSoundSource>();
    EXPECT_EQ(sound->saveAndReturnXMLElement()->attribute("sticky"), "true");
    EXPECT_EQ(sound->saveAndReturnXMLElement()->attribute("restartOnPress"), "false");
}

TEST(CKSoundSource, volumesAreClampedAndMIDIInformationRoundTrips)
{
    auto sound = std::make_shared<CKSoundSource>();
    for (const auto& [set, stored] : {std::pair{1.7f, 1.0f}, {-0.2f, 0.0f}, {0.25f, 0.25f}}) {
        sound->setPlaybackVolume(set);
        EXPECT_FLOAT_EQ(sound->playbackVolume(), stored) << set;
    }

    EXPECT_FALSE(sound->hasMIDIBinding());
    sound->setMIDIInformation(CKSoundSource::MIDIInformationForChannel(9, 36));
    EXPECT_EQ(sound->midiChannel(), 9);
    EXPECT_EQ(sound->midiButton(), 36);
    EXPECT_EQ(sound->MIDIInformation().value("ZEPMIDIButtonID").toULongLong(), 36u);
    sound->setMIDIInformation({{"ZEPMIDIChannel", 4}}); // a missing key unbinds
    EXPECT_EQ(sound->midiButton(), CKSoundSource::kNoMIDIButton);
    EXPECT_FALSE(sound->hasMIDIBinding());

    SInt32 channel = 1;
    UInt16 button = 2;
    CKSoundSource::MIDIInformationDictionary(nullptr, &channel, &button); // writes nothing
    EXPECT_EQ(channel, 1);
    EXPECT_EQ(button, 2);
    const QVariantMap empty;
    CKSoundSource::MIDIInformationDictionary(&empty, &channel, &button);
    EXPECT_EQ(channel, CKSoundSource::kNoMIDIChannel);
    EXPECT_EQ(button, CKSoundSource::kNoMIDIButton);
}

TEST(CKSoundSource, onceObservingItselfTheSoundKeepsStickyAndTellsItsBoardToSave)
{
    TestBoard board;
    auto sound = std::make_shared<CKSoundSource>();
    sound->setParentClipdeck(&board);
    sound->setLoops(true); // not observing yet: nothing follows
    EXPECT_FALSE(sound->sticky());
    EXPECT_EQ(board.saves, 0);

    sound->addObservers();
    sound->addObservers(); // once
    sound->setLoops(false);
    EXPECT_FALSE(sound->sticky());
    EXPECT_EQ(board.saves, 1);
    sound->setLiftBehavior(CKSoundSource::kStopOnLift);
    EXPECT_TRUE(sound->sticky());
    EXPECT_EQ(board.saves, 2);
    sound->setName("Door");
    sound->setBackgroundColor("Red");
    sound->setRestartOnPress(true);
    EXPECT_EQ(board.saves, 5);
    sound->setIndex(4); // not saved by the sound: the board saves its own cells
    sound->setPlaybackVolume(0.5f);
    EXPECT_EQ(board.saves, 5);
    sound->setName("Door"); // no change, no save
    EXPECT_EQ(board.saves, 5);

    sound->removeObservers();
    sound->setLoops(true);
    EXPECT_EQ(board.saves, 5);
}

TEST(CKSoundSource, aUuidIsMadeOnFirstReadAndAgainAfterAReset)
{
    auto sound = std::make_shared<CKSoundSource>();
    QStringList uuids;
    QObject context;
    sound->observeKey("uuid", &context, [&](const QVariant&, const QVariant& now) { uuids << now.toString(); });
    const QString first = sound->uuid();
    EXPECT_EQ(first.size(), 36);
    EXPECT_EQ(first, first.toUpper());
    EXPECT_FALSE(first.contains('{'));
    EXPECT_EQ(sound->uuid(), first);
    sound->resetUUID();
    const QString second = sound->uuid();
    EXPECT_NE(second, first);
    EXPECT_EQ(uuids, (QStringList{first, QString(), second}));
    EXPECT_TRUE(sound->description().contains("uuid: " + second));
}

TEST(CKSoundSource, remoteCommandsThatNeedNoPlayback)
{
    auto sound = std::make_shared<CKSoundSource>();
    sound->handleSysExAction(10, 0, 0.4f);
    EXPECT_FLOAT_EQ(sound->playbackVolume(), 0.4f);
    sound->handleSysExAction(10, 0, 3.0f);
    EXPECT_FLOAT_EQ(sound->playbackVolume(), 1.0f);
    for (UInt32 ignored : {0u, 1u, 7u}) { // a stop of an idle sound, nothing, unknown
        sound->handleSysExAction(ignored, 1, 0.1f);
        EXPECT_FALSE(sound->isPlaying());
        EXPECT_FLOAT_EQ(sound->playbackVolume(), 1.0f);
        EXPECT_FALSE(sound->loops());
    }
}

TEST(CKSoundSource, aFileThatCannotBeOpenedLeavesARecoverableErrorAndNoFeed)
{
    TempFolder folder;
    auto sound = std::make_shared<CKSoundSource>();
    EXPECT_FALSE(sound->buildEditorWithPath(folder.file("missing.wav")));
    ASSERT_TRUE(sound->error());
    EXPECT_EQ(sound->error()->domain, "CKSoundImport");
    EXPECT_EQ(sound->error()->localizedDescription, "Sound could not be loaded");
    EXPECT_EQ(sound->error()->localizedRecoveryOptions, (QStringList{"Leave", "Remove"}));
    EXPECT_FALSE(sound->isPlayable());
    EXPECT_EQ(sound->editor(), nullptr);
    EXPECT_FALSE(sound->isEditorLoaded());
}

TEST(CKSoundSourceTriggers, aLoadedSoundListensForItsNoteAndUuidAtOnceUnlessItIsACopy)
{
    ZEPMIDIClient* client = ZEPMIDIClient::sharedMIDIClient();
    ASSERT_NE(client, nullptr);
    const XMLElement stored = soundElement({{"uuid", "5F0E6A52-1D1B-4B8A-9C33-0123456789AB"},
                                            {"MIDIEventType", "144"},
                                            {"MIDIChannel", "3"},
                                            {"MIDIButtonID", "60"}});
    for (const bool registers : {true, false}) {
        SCOPED_TRACE(registers ? "a board's sound" : "a copy's sound");
        auto sound = CKSoundSource::createWithXMLElement(stored, registers);
        sound->setTriggerKey("q", 12);
        EXPECT_EQ(client->listenerForChannel(3, 60) != nullptr, registers);
        EXPECT_EQ(sound->sysExListener() != nullptr, registers);
        EXPECT_EQ(CKKeyEventDispatch::sharedDispatcher().hasHandlersForKey("q", 12, CKKeyEventListener::kKeyDown),
                  registers);

        // Turning it off drops every registration; the bindings stay to be saved.
        sound->setRegistersTriggers(false);
        EXPECT_EQ(client->listenerForChannel(3, 60), nullptr);
        EXPECT_EQ(sound->sysExListener(), nullptr);
        EXPECT_FALSE(CKKeyEventDispatch::sharedDispatcher().hasHandlersForKey("q", 12, CKKeyEventListener::kKeyDown));
        EXPECT_EQ(sound->saveAndReturnXMLElement()->attribute("MIDIButtonID"), "60");

        // The sound's end takes its registrations with it.
        sound->setRegistersTriggers(true);
        EXPECT_EQ(client->listenerForChannel(3, 60), sound->MIDIListener());
        const std::weak_ptr<ZEPMIDIListener> listener = sound->MIDIListener();
        sound.reset();
        EXPECT_EQ(client->listenerForChannel(3, 60), nullptr);
        EXPECT_TRUE(listener.expired());
        EXPECT_FALSE(CKKeyEventDispatch::sharedDispatcher().hasHandlersForKey("q", 12, CKKeyEventListener::kKeyUp));
    }
}
