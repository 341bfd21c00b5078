// What fires a sound: its MIDI note, the remote's commands for its uuid and its computer key,
// registered with the shared MIDI client and the key dispatcher.
#include "clipdeck/CKSoundSource.h"

#include "clipdeck/CKKeyEventDispatch.h"
#include "clipdeck/CKSoundCell.h"
#include "clipdeck/ZEPMIDIClient.h"

namespace {

// Removes a listener from the client that made it, and forgets it. A listener removed
// returns knowing its action never runs again.
template <typename Listener>
void dropMIDIListener(std::shared_ptr<Listener>& listener)
{
    if (!listener)
        return;
    if (ZEPMIDIClient* client = listener->client())
        client->removeListener(listener);
    listener.reset();
}

void dropKeyListener(std::shared_ptr<CKKeyEventListener>& listener)
{
    if (!listener)
        return;
    CKKeyEventDispatch::sharedDispatcher().removeListener(listener, listener->key(), listener->keyCode(),
                                                          listener->eventType());
    listener.reset();
}

} // namespace

void CKSoundSource::setRegistersTriggers(bool registers)
{
    if (registers == mRegistersTriggers)
        return;
    mRegistersTriggers = registers;
    resetMIDIListeners();
    updateSysExListener();
    resetKeyListeners();
}

void CKSoundSource::removeMIDIListeners()
{
    dropMIDIListener(mMIDIListener);
    dropMIDIListener(mMIDILiftListener);
    dropMIDIListener(mSysExListener);
}

// MIDI notes -------------------------------------------------------------------------------

void CKSoundSource::setMIDIChannel(SInt32 channel, UInt16 button)
{
    mMIDIChannel = channel;
    mMIDIButton = button;
    resetMIDIListeners();
}

void CKSoundSource::resetMIDIListeners()
{
    dropMIDIListener(mMIDIListener);
    dropMIDIListener(mMIDILiftListener);
    if (!mRegistersTriggers || !hasMIDIBinding())
        return;
    ZEPMIDIClient* client = ZEPMIDIClient::sharedMIDIClient();
    if (!client)
        return; // MIDI is off
    // On the main thread, in the order the notes came: the sound's state belongs there.
    mMIDIListener = client->addListener(
        this, [this](const ZEPMIDIAction&) { handleMIDIPress(); }, mMIDIChannel, ZEPMIDIAction::kNoteDownEvent,
        mMIDIButton, ZEPMIDIListener::Delivery::MainThread);
    mMIDILiftListener = client->addListener(
        this, [this](const ZEPMIDIAction&) { handleMIDINoteOff(); }, mMIDIChannel, ZEPMIDIAction::kNoteUpEvent,
        mMIDIButton, ZEPMIDIListener::Delivery::MainThread);
}

void CKSoundSource::handleMIDINoteOff()
{
    // A note plays a sound of any board, so its release must count for any board too: else a
    // sound that stops on lift would play on, and a lift behaviour swapped by a toggle for the
    // press would never be put back (and would be saved swapped).
    const bool was = mSuppressParentClipdeckCheck;
    mSuppressParentClipdeckCheck = true;
    handleMIDILift();
    mSuppressParentClipdeckCheck = was;
}

// The remote's commands --------------------------------------------------------------------

void CKSoundSource::setUuid(const QString& uuid)
{
    if (changeValue(QStringLiteral("uuid"), mUuid, uuid) || !mSysExListener)
        updateSysExListener();
}

void CKSoundSource::updateSysExListener()
{
    dropMIDIListener(mSysExListener);
    if (!mRegistersTriggers || mUuid.isEmpty())
        return;
    ZEPMIDIClient* client = ZEPMIDIClient::sharedMIDIClient();
    if (!client)
        return;
    mSysExListener = client->addListenerForTriggerUUID(
        this,
        [this](const CKSysExAction& command) {
            handleSysExAction(UInt32(command.triggerAction()), UInt32(command.playbackMode()), command.volume());
        },
        mUuid);
}

// The computer key -------------------------------------------------------------------------

void CKSoundSource::setTriggerKey(const QString& key, quint16 keyCode)
{
    removeKeyListeners();
    mTriggerKey.clear();
    mTriggerKeyCode = 0;
    if (key.isEmpty())
        return;
    mTriggerKey = key;
    mTriggerKeyCode = keyCode;
    resetKeyListeners();
    if (keyCode != 0 && mCellLayer)
        mCellLayer->setKeyCharacter(key, keyCode);
}

void CKSoundSource::removeKeyListeners()
{
    dropKeyListener(mKeyListener);
    dropKeyListener(mLiftKeyListener);
}

void CKSoundSource::resetKeyListeners()
{
    removeKeyListeners();
    if (!mRegistersTriggers || mTriggerKey.isEmpty())
        return;
    CKKeyEventDispatch& dispatcher = CKKeyEventDispatch::sharedDispatcher();
    mKeyListener = dispatcher.addListener(this, [this] { play(); }, mTriggerKey, mTriggerKeyCode,
                                          CKKeyEventListener::kKeyDown);
    mLiftKeyListener = dispatcher.addListener(this, [this] { handleMIDILift(); }, mTriggerKey, mTriggerKeyCode,
                                              CKKeyEventListener::kKeyUp);
}
