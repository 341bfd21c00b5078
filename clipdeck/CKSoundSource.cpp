#include "clipdeck/CKSoundSource.h"

#include "clipdeck/CKClipdeckSync.h"
#include "clipdeck/CKEditorFaderAnimation.h"
#include "clipdeck/CKPlaybackController.h"
#include "clipdeck/CKPlaybackHost.h"
#include "clipdeck/CKSoundCell.h"
#include "clipdeck/CKSoundParent.h"

#include "audio/editor/CKAudioFileEditor.h"
#include "platform/MainThread.h"
#include "platform/NotificationCenter.h"
#include "platform/VariantValues.h"

#include <QUuid>

#include <algorithm>

namespace {

CKPlaybackController& controller() { return *CKPlaybackController::sharedPlaybackController(); }

// Keys whose change the board saves.
bool isSavedKey(const QString& key)
{
    static const QStringList saved{"name", "loops", "backgroundColor", "restartOnPress", "liftBehavior"};
    return saved.contains(key);
}

} // namespace

CKSoundSource::CKSoundSource()
{
    connect(this, &ObservableObject::valueChanged, this, &CKSoundSource::announceToRemotes);
}

// The remote mirror hears every change of the properties it keeps.
void CKSoundSource::announceToRemotes(const QString& key, const QVariant& oldValue, const QVariant& newValue)
{
    static const QStringList mirroredKeys{
        QStringLiteral("name"),       QStringLiteral("loops"),          QStringLiteral("restartOnPress"),
        QStringLiteral("uuid"),       QStringLiteral("playbackVolume"), QStringLiteral("liftBehavior"),
        QStringLiteral("index"),      QStringLiteral("backgroundColor"), QStringLiteral("sticky"),
        QStringLiteral("isPlayable")};
    CKClipdeckSync* sync = CKClipdeckSync::current();
    if (!sync || !mirroredKeys.contains(key))
        return;
    if (key == QLatin1String("uuid")) {
        // A uuid given to a new sound is no change for the mirror.
        if (!oldValue.toString().isEmpty() && !newValue.toString().isEmpty())
            sync->keyChangedInSound(key, newValue, oldValue.toString());
        return;
    }
    sync->keyChangedInSound(key, newValue, mUuid);
}

CKSoundSource::~CKSoundSource()
{
    removeObservers();
    // No trigger may reach the sound from here on.
    removeMIDIListeners();
    removeKeyListeners();
    // The fade puts the start volume back into this sound: it goes while the sound is whole.
    mFader.reset();
    if (mEditor) {
        mEditor->setDelegate(nullptr);
        mEditor->setSoundSource(nullptr);
    }
}

// Model ------------------------------------------------------------------------------------

QString CKSoundSource::uuid()
{
    if (mUuid.isEmpty())
        setUuid(QUuid::createUuid().toString(QUuid::WithoutBraces).toUpper());
    return mUuid;
}

bool CKSoundSource::restartOnPress() const
{
    return CKPlaybackHost::current().isTogglingRestartOnPress() ? !mRestartOnPress : mRestartOnPress;
}

void CKSoundSource::setPlaybackVolume(float volume)
{
    changeValue(QStringLiteral("playbackVolume"), mPlaybackVolume, std::clamp(volume, 0.0f, 1.0f));
    if (mEditor)
        mEditor->setPlaybackVolume(mPlaybackVolume);
}

QVariantMap CKSoundSource::editorSettings() const
{
    std::lock_guard lock(mEditorSettingsMutex);
    return mEditorSettings;
}

void CKSoundSource::setEditorSettings(const QVariantMap& settings)
{
    std::lock_guard lock(mEditorSettingsMutex);
    mEditorSettings = settings;
}

QVariantMap CKSoundSource::MIDIInformationForChannel(SInt32 channel, UInt16 button)
{
    return {{MIDIChannelKey, qulonglong(UInt32(channel))}, {MIDIButtonIDKey, qulonglong(button)}};
}

void CKSoundSource::MIDIInformationDictionary(const QVariantMap* dictionary, SInt32* channel, UInt16* button)
{
    if (!dictionary)
        return;
    *channel = dictionary->contains(MIDIChannelKey) ? SInt32(variant::integerValue(dictionary->value(MIDIChannelKey)))
                                                    : kNoMIDIChannel;
    *button = dictionary->contains(MIDIButtonIDKey) ? UInt16(variant::integerValue(dictionary->value(MIDIButtonIDKey)))
                                                    : kNoMIDIButton;
}

void CKSoundSource::setMIDIInformation(const QVariantMap& information)
{
    SInt32 channel = kNoMIDIChannel;
    UInt16 button = kNoMIDIButton;
    MIDIInformationDictionary(&information, &channel, &button);
    setMIDIChannel(channel, button);
}

void CKSoundSource::setFader(std::unique_ptr<CKEditorFaderAnimation> fader) { mFader = std::move(fader); }

void CKSoundSource::setError(const Error& error)
{
    const bool had = mError.has_value();
    mError = error;
    didChangeValueForKey(QStringLiteral("error"), had, true);
    setIsPlayable(false);
}

void CKSoundSource::addObservers()
{
    if (mSelfObservation)
        return;
    mSelfObservation = connect(this, &ObservableObject::valueChanged, this,
                               [this](const QString& key, const QVariant&, const QVariant&) { modelKeyChanged(key); });
}

void CKSoundSource::removeObservers()
{
    if (mSelfObservation)
        disconnect(mSelfObservation);
    mSelfObservation = {};
}

void CKSoundSource::modelKeyChanged(const QString& key)
{
    if (key == QLatin1String("loops") || key == QLatin1String("liftBehavior") || key == QLatin1String("restartOnPress"))
        setSticky(mLoops || restartOnPress() || mLiftBehavior != kKeepPlayingOnLift);
    if (key == QLatin1String("liftBehavior"))
        resetKeyListeners();
    if (isSavedKey(key) && mParentClipdeck)
        mParentClipdeck->setNeedsSave();
}

QString CKSoundSource::description()
{
    return QStringLiteral("<CKSoundSource %1 \"%2\">\nuuid: %3\nlastPlayID: %4\n")
        .arg(quintptr(this), 0, 16)
        .arg(mName, uuid())
        .arg(mLastPlayID);
}

void CKSoundSource::deleteFromParentClipdeck()
{
    if (!mParentClipdeck)
        return;
    const std::size_t index = mParentClipdeck->indexOfSound(this);
    if (index != CKSoundParent::kNotFound)
        mParentClipdeck->deleteSoundAtIndex(index);
}

// Playing ----------------------------------------------------------------------------------

bool CKSoundSource::isPaused() const { return controller().soundIsPaused(this); }

bool CKSoundSource::canBePlayedFromParentClipdeck() const
{
    return mSuppressParentClipdeckCheck || (mParentClipdeck && CKPlaybackHost::current().selectedClipdeck() == mParentClipdeck);
}

void CKSoundSource::play()
{
    if (!mainthread::isMainThread()) {
        mainthread::post([held = shared_from_this()] { held->play(); });
        return;
    }
    if (!mParentClipdeck || !mIsPlayable)
        return;
    if (mError) {
        CKPlaybackHost::current().presentError(*mError);
        return;
    }
    if (!isEditorLoaded())
        editor();
    if (!isEditorLoaded() || !mEditor)
        return;

    // The toggles held at the press apply to this press only.
    const CKPlaybackHost& host = CKPlaybackHost::current();
    const bool toggleLooping = host.isTogglingLooping();
    const bool toggleStopOnLift = host.isTogglingStopOnLift();
    if (toggleLooping)
        setLoops(!mLoops);
    if (toggleStopOnLift)
        setLiftBehavior(mLiftBehavior == kKeepPlayingOnLift ? kStopOnLift : kKeepPlayingOnLift);
    mEditor->setForceLoop(mLoops);
    pressBehavior();
    if (toggleLooping)
        setLoops(!mLoops);
    if (toggleStopOnLift)
        mResetLiftBehaviorTo = mLiftBehavior == kKeepPlayingOnLift ? int(kStopOnLift) : int(kKeepPlayingOnLift);
}

void CKSoundSource::pressBehavior()
{
    CKPlaybackController& playback = controller();
    const bool hadFade = bool(mFader);
    dropFader();
    if (playback.soundIsPaused(this)) {
        playback.pauseSound(this);
        return;
    }
    if (!canBePlayedFromParentClipdeck()) {
        mSuppressPlayNotification = mSuppressStopNotification = false;
        return;
    }
    if (!mIsPlaying && hadFade) {
        // A press during a fade-out: the fade is gone and the sound starts over.
        restartAndContinue();
    } else if (restartOnPress() && mIsPlaying) {
        mSuppressPlayNotification = mSuppressStopNotification = true;
        restartAndContinue();
    } else if (playback.canBeginPlayingAnotherSound() && mPlayingCount == 0) {
        mResetLiftBehaviorTo = kNoLiftBehaviorToReset;
        ++mPlayingCount;
        setIsPlaying(true);
        // The feed goes onto the mixer first and its loader starts after: the head it plays
        // first is in memory, and starting a thread takes longer than all the rest of a press.
        if (postBeginPlayingNotification() != noErr)
            rollBackStart();
        else if (mEditor && mPlayingCount > 0) // (an observer of the start may have stopped it)
            mEditor->setCurrentlyCaching(true);
    } else if (!hadFade) {
        fadeOut();
    }
    mSuppressPlayNotification = mSuppressStopNotification = false;
}

void CKSoundSource::restartAndContinue()
{
    if (mEditor)
        mEditor->restartPlaybackAndContinue();
    setIsPlaying(true);
    NotificationCenter::defaultCenter().post(LoopedNotification, this);
    if (mCellLayer)
        mCellLayer->soundDidPlay(this);
}

OSStatus CKSoundSource::postBeginPlayingNotification()
{
    if (const OSStatus status = controller().soundSourceBeganPlaying(this))
        return status;
    if (!mSuppressPlayNotification)
        NotificationCenter::defaultCenter().post(BeganPlayingNotification, this);
    return noErr;
}

void CKSoundSource::rollBackStart()
{
    if (mPlayingCount > 0)
        --mPlayingCount;
    setIsPlaying(false);
    if (mEditor)
        mEditor->restartPlaybackAtBeginning(); // caching stops, the head is ready again
}

void CKSoundSource::dropFader()
{
    if (!mFader)
        return;
    mFader->stopAnimation();
    mFader->resetVolume();
    mFader.reset();
}

void CKSoundSource::handleMIDIPress()
{
    if (!mainthread::isMainThread()) {
        mainthread::post([held = shared_from_this()] { held->handleMIDIPress(); });
        return;
    }
    const bool was = mSuppressParentClipdeckCheck;
    mSuppressParentClipdeckCheck = true;
    play();
    mSuppressParentClipdeckCheck = was;
}

void CKSoundSource::handleMIDILift()
{
    if (!canBePlayedFromParentClipdeck())
        return;
    if (mLiftBehavior != kKeepPlayingOnLift)
        stop();
    if (mResetLiftBehaviorTo != kNoLiftBehaviorToReset) {
        setLiftBehavior(qulonglong(mResetLiftBehaviorTo));
        mResetLiftBehaviorTo = kNoLiftBehaviorToReset;
    }
}

void CKSoundSource::handleSysExAction(UInt32 triggerAction, UInt32 playbackMode, Float32 volume)
{
    switch (triggerAction) {
    case 0:
        if (mIsPlaying)
            stop();
        break;
    case 2: {
        const bool restart = mRestartOnPress, loops = mLoops;
        setRestartOnPress(true);
        setLoops(playbackMode == 1);
        handleMIDIPress();
        setRestartOnPress(restart);
        setLoops(loops);
        break;
    }
    case 10:
        setPlaybackVolume(volume);
        break;
    default:
        break;
    }
}

void CKSoundSource::fadeOut()
{
    controller().fadeOutSound(this);
    setIsPlaying(false);
}

void CKSoundSource::stop()
{
    controller().stopSound(this);
    setIsPlaying(false);
}

void CKSoundSource::stopImmediately()
{
    controller().stopSoundImmediately(this);
    setIsPlaying(false);
}

void CKSoundSource::didStop()
{
    if (mEditor) {
        mEditor->restartPlaybackAtBeginning();
        mEditor->setCurrentlyCaching(false);
    }
    decrementPlayingCount();
    setIsPlaying(false);
    dropFader();
    if (mCellLayer)
        mCellLayer->updateOverlayLayer();
}

void CKSoundSource::decrementPlayingCount()
{
    if (mPlayingCount == 0)
        return;
    if (--mPlayingCount == 0 && !mSuppressStopNotification) {
        if (mCellLayer)
            mCellLayer->soundDidStop(nullptr);
        NotificationCenter::defaultCenter().post(FinishedPlayingNotification, this);
    }
}
