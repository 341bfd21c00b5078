// The playback controller's MIDI: the remote's master commands and the MIDI bindings of the
// modifier toggles.
#include "clipdeck/CKPlaybackController.h"

#include "clipdeck/CKMIDIController.h"
#include "clipdeck/CKModifierToggles.h"
#include "clipdeck/ZEPMIDIClient.h"
#include "platform/MainThread.h"
#include "platform/UserDefaults.h"

namespace {

const QString kLoopingBindingKey = QStringLiteral("MIDILooping");
const QString kStopOnLiftBindingKey = QStringLiteral("MIDIStopOnLift");
const QString kRestartOnPressBindingKey = QStringLiteral("MIDIRestartOnPress");

std::unique_ptr<CKMIDIController> makeToggleController(const QString& defaultsKey)
{
    auto controller = std::make_unique<CKMIDIController>();
    controller->setNeedsExclusive(true);
    controller->setDefaultsKey(defaultsKey);
    return controller;
}

} // namespace

void CKPlaybackController::setUpMIDI()
{
    if (ZEPMIDIClient* client = ZEPMIDIClient::sharedMIDIClient()) {
        const auto command = [this, client](int32_t type, std::function<void(const CKSysExAction&)> action) {
            mSysExListeners.push_back(client->addListenerForTargetType(this, std::move(action), type));
        };
        command(CKSysExAction::kPauseCommand, [this](const CKSysExAction& c) { handleSysExPause(c.toggleValue() != 0); });
        command(CKSysExAction::kDuckCommand, [this](const CKSysExAction& c) { handleSysExDuck(c.toggleValue() != 0); });
        command(CKSysExAction::kStopAllCommand, [this](const CKSysExAction&) { handleSysExStop(); });
        command(CKSysExAction::kMasterVolumeCommand, [this](const CKSysExAction& c) { handleSysExVolume(c.volume()); });
    }
    mLoopingController = makeToggleController(kLoopingBindingKey);
    mStopOnLiftController = makeToggleController(kStopOnLiftBindingKey);
    mRestartOnPressController = makeToggleController(kRestartOnPressBindingKey);
    // A binding learnt (or cleared) is registered once the change is complete: on the next
    // pass of the event loop, once for changes made together.
    connect(&UserDefaults::standardUserDefaults(), &UserDefaults::valueChanged, this, [this](const QString& key) {
        if (key != kLoopingBindingKey && key != kStopOnLiftBindingKey && key != kRestartOnPressBindingKey)
            return;
        if (mMIDIObserversPending)
            return;
        mMIDIObserversPending = true;
        mainthread::post([this] {
            mMIDIObserversPending = false;
            addMIDIObservers();
        });
    });
    addMIDIObservers();
}

void CKPlaybackController::tearDownMIDI()
{
    for (const auto& listener : mSysExListeners)
        listener->client()->removeListener(listener);
    mSysExListeners.clear();
    removeMIDIObservers();
}

void CKPlaybackController::addMIDIObservers()
{
    if (!mVolumeMIDIClient) {
        mVolumeMIDIClient = ZEPMIDIClient::sharedMIDIClient();
        if (mVolumeMIDIClient)
            mVolumeMIDIClient->listenToAllSources();
    }
    removeMIDIObservers();
    mToggleMIDIClient = ZEPMIDIClient::sharedMIDIClient();
    if (!mToggleMIDIClient)
        return;
    using Flip = void (CKModifierToggles::*)();
    const std::pair<const CKMIDIController*, Flip> toggles[] = {
        {mLoopingController.get(), &CKModifierToggles::toggleLooping},
        {mStopOnLiftController.get(), &CKModifierToggles::toggleStopOnLift},
        {mRestartOnPressController.get(), &CKModifierToggles::toggleRestartOnPress},
    };
    for (const auto& [binding, flip] : toggles) {
        const int32_t channel = binding->channel();
        const uint16_t button = binding->buttonID();
        if (channel == kCKMIDINoChannel || button >= kCKMIDINoButton)
            continue; // a listener for no button would never hear anything
        // The note flips the toggle and its release flips it back.
        for (const int32_t type : {ZEPMIDIAction::kNoteDownEvent, ZEPMIDIAction::kNoteUpEvent}) {
            auto listener = mToggleMIDIClient->addListener(
                this,
                [flip](const ZEPMIDIAction&) {
                    if (CKModifierToggles* modifierToggles = CKModifierToggles::shared())
                        (modifierToggles->*flip)();
                },
                channel, type, button, ZEPMIDIListener::Delivery::MainThread);
            if (!listener)
                continue;
            listener->setExclusive(true);
            mToggleListeners.push_back(std::move(listener));
        }
    }
}

void CKPlaybackController::removeMIDIObservers()
{
    if (mToggleMIDIClient) {
        for (const auto& listener : mToggleListeners)
            mToggleMIDIClient->removeListener(listener);
    }
    mToggleListeners.clear();
    mToggleMIDIClient = nullptr;
}
