#include "clipdeck/CKPlaybackController.h"

#include "clipdeck/CKMIDIController.h"
#include "clipdeck/CKSoundCell.h"
#include "clipdeck/CKSoundSource.h"

#include "audio/editor/CKAudioFileEditor.h"
#include "audio/engine/ZEPAudioDevice.h"
#include "audio/engine/ZEPAudioGraph.h"
#include "audio/engine/ZEPCanonicalFormats.h"
#include "platform/MainThread.h"
#include "platform/NotificationCenter.h"
#include "platform/UserDefaults.h"

#include <QtGlobal>

#include <algorithm>
#include <mutex>

namespace {

std::atomic<CKPlaybackController*> g_shared{nullptr};

} // namespace

CKPlaybackController* CKPlaybackController::sharedPlaybackController()
{
    if (CKPlaybackController* controller = g_shared.load(std::memory_order_acquire))
        return controller;
    static std::mutex creation;
    std::lock_guard lock(creation);
    if (!g_shared.load())
        g_shared.store(new CKPlaybackController, std::memory_order_release);
    return g_shared.load();
}

CKPlaybackController::CKPlaybackController()
{
    mProgressTimer.setAction([this] { updateProgressAndLevels(); });
    listenForDeviceChanges();
    makeOutput();
    setUpMIDI();
}

CKPlaybackController::~CKPlaybackController()
{
    tearDownMIDI();
    AudioHardware::shared().removeListener(mDeviceListenerToken);
    if (mOutputPlayer) {
        mOutputPlayer->stop();
        mOutputPlayer->setDelegate(nullptr);
    }
    mMixer->setDelegate(nullptr);
}

void CKPlaybackController::makeOutput()
{
    const AudioStreamBasicDescription format = ZEPPlaybackFormat();
    OSStatus status = noErr;
    mMixer = ZEPAudioMixer::create(kMaxPlayingSounds, 1, kMaxRequestFrames, format, &status);
    if (!mMixer)
        qFatal("The board mixer could not be built (status %d).", int(status));
    mMixer->setDelegate(this);
    mMixer->setLevelsEnabled(true);

    mMasterGraph = ZEPAudioGraph::create(&status);
    if (!mMasterGraph)
        qFatal("The master effects chain could not be built (status %d).", int(status));
    mMasterGraph->setTracksOutOfData(false);
    mMasterGraph->setMaxRequestFrames(kMaxRequestFrames);

    const QString storedUID = UserDefaults::standardUserDefaults().stringForKey(OutputDeviceKey);
    if (!storedUID.isEmpty())
        mOutputDevice = ZEPAudioDevice::audioDeviceWithDeviceUID(storedUID);
    mOutputPlayer = ZEPAudioPlayer::create(mOutputDevice ? mOutputDevice->audioDeviceID() : 0, mMixer.get(), format,
                                           &status);
    if (!mOutputPlayer)
        qFatal("The output player could not be made (status %d).", int(status));
    mOutputPlayer->setDelegate(this);
    mOutputPlayer->setAudioGraph(mMasterGraph);
    mOutputPlayer->setLevelsEnabled(false);
    if (const OSStatus playing = mOutputPlayer->play())
        qWarning("The output does not run (%d): %s", int(playing), qPrintable(mOutputPlayer->lastErrorText()));
}

void CKPlaybackController::willTerminate()
{
    mTerminating = true;
    mOutputPlayer->pause();
    mOutputPlayer->stop();
}

// Playing ----------------------------------------------------------------------------------

OSStatus CKPlaybackController::soundSourceBeganPlaying(CKSoundSource* sound)
{
    const size_t before = mPlaying.size();
    if (before >= kMaxPlayingSounds)
        return kCKPlaybackNoFreeInputError;
    if (!sound->sharedEditor())
        return kCKPlaybackNoFeedError;
    if (const OSStatus status = playSound(sound))
        return status;
    if (sound->loops())
        sound->sharedEditor()->setLoop(true);
    if (CKSoundCell* cell = sound->cellLayer())
        cell->soundDidPlay(sound);
    if (before == 0) {
        if (!mOutputPlayer->isRunning())
            mOutputPlayer->play();
        NotificationCenter::defaultCenter().post(StartedNotification);
    }
    return noErr;
}

OSStatus CKPlaybackController::playSound(CKSoundSource* sound)
{
    std::shared_ptr<CKAudioFileEditor> feed = sound->sharedEditor();
    if (UserDefaults::standardUserDefaults().boolForKey(QStringLiteral("singleSoundMode")))
        stopAllSounds(false);
    if (!mOutputPlayer->isRunning() && !handleAudioNotRunningError())
        return kZEPOutputNotRunningError;
    if (!feed || !sound->isEditorLoaded())
        return kCKPlaybackNoFeedError;
    if (mPlaying.size() >= kMaxPlayingSounds)
        return kCKPlaybackNoFreeInputError;

    sound->setLastPlayID(nextPlayID());
    mPlaying.push_back(PlayingSound{sound->shared_from_this(), feed, sound->lastPlayID()});
    feed->prepareForPlayback();
    if (addEditorToMixer(mPlaying.back()) == kMaxPlayingSounds) {
        mPlaying.pop_back();
        return kCKPlaybackNoFreeInputError;
    }
    if (!mProgressTimer.isActive())
        mProgressTimer.start(kProgressInterval, true);
    return noErr;
}

bool CKPlaybackController::handleAudioNotRunningError()
{
    mOutputPlayer->play();
    qWarning("Error: Audio System Wasn't Playing! (%s)", qPrintable(mOutputPlayer->lastErrorText()));
    return mOutputPlayer->isRunning();
}

UInt32 CKPlaybackController::addEditorToMixer(const PlayingSound& entry)
{
    UInt32 input = 0;
    while (input < kMaxPlayingSounds && mMixer->audioSourceForInput(input))
        ++input;
    if (input == kMaxPlayingSounds)
        return kMaxPlayingSounds;
    CKAudioFileEditor* feed = entry.feed.get();
    feed->setMaxRequestFrames(kMaxRequestFrames);
    mMixer->setVolumeForInput(feed->scaledPlaybackVolume(), input);
    // The render thread may look the feed up as soon as it is on the input.
    mFeedTable.publish(input, feed, entry.playID);
    if (mMixer->setAudioSource(entry.feed, input) != noErr) {
        mFeedTable.clear(input);
        return kMaxPlayingSounds;
    }
    mMixer->addedSources();
    mMixer->setInputAtIndex(input, true);
    feed->setMixerInput(SInt32(input));
    return input;
}

UInt32 CKPlaybackController::removeEditorFromMixer(CKAudioFileEditor* feed)
{
    const UInt32 input = mMixer->indexForAudioSource(feed);
    if (input >= kMaxPlayingSounds)
        return kMaxPlayingSounds;
    mMixer->setAudioSource(nullptr, input);
    mFeedTable.clear(input);
    feed->setMixerInput(-1);
    if (mOutputPlayer->isRunning() && !mOutputPlayer->isPaused())
        return input; // the mixer reports the removal
    // Nothing renders: the mixer's report would be all that is left to wait for.
    mMixer->removedSources();
    const qsizetype index = indexOfFeed(feed);
    if (index >= 0)
        soundDidFinishPlayingAtIndex(index);
    return input;
}

bool CKPlaybackController::canBeginPlayingAnotherSound() const
{
    return mCanPlay && mPlaying.size() < kMaxPlayingSounds;
}

bool CKPlaybackController::soundIsPaused(const CKSoundSource* sound) const
{
    const qsizetype index = indexOfSound(sound);
    if (index < 0 || !sound->isEditorLoaded())
        return false;
    const SInt32 input = mPlaying[size_t(index)].feed->mixerInput();
    return input >= 0 && !mMixer->isInputAtIndexEnabled(UInt32(input));
}

qsizetype CKPlaybackController::indexOfSound(const CKSoundSource* sound) const
{
    for (size_t i = 0; i < mPlaying.size(); ++i) {
        if (mPlaying[i].sound.get() == sound)
            return qsizetype(i);
    }
    return -1;
}

qsizetype CKPlaybackController::indexOfFeed(const ZEPAudioSource* feed) const
{
    for (size_t i = 0; i < mPlaying.size(); ++i) {
        if (mPlaying[i].feed.get() == feed)
            return qsizetype(i);
    }
    return -1;
}

std::shared_ptr<CKSoundSource> CKPlaybackController::soundAtIndex(qsizetype index) const
{
    return index >= 0 && size_t(index) < mPlaying.size() ? mPlaying[size_t(index)].sound : nullptr;
}

CKAudioFileEditor* CKPlaybackController::editorForSound(const CKSoundSource* sound) const
{
    const qsizetype index = indexOfSound(sound);
    return index >= 0 ? mPlaying[size_t(index)].feed.get() : nullptr;
}

std::vector<std::shared_ptr<CKSoundSource>> CKPlaybackController::playingSounds() const
{
    std::vector<std::shared_ptr<CKSoundSource>> sounds;
    for (const PlayingSound& entry : mPlaying)
        sounds.push_back(entry.sound);
    return sounds;
}

bool CKPlaybackController::isPlaying() const { return mOutputPlayer->isRunning() && !mPlaying.empty(); }

// Stopping and pausing ---------------------------------------------------------------------

void CKPlaybackController::onMainThread(std::function<void()> fn)
{
    if (mainthread::isMainThread())
        fn();
    else
        mainthread::post(std::move(fn));
}

bool CKPlaybackController::handOverToMainThread(void (CKPlaybackController::*method)(CKSoundSource*),
                                                CKSoundSource* sound)
{
    if (mainthread::isMainThread())
        return false;
    mainthread::post([this, method, held = sound->shared_from_this()] { (this->*method)(held.get()); });
    return true;
}

void CKPlaybackController::stopSound(CKSoundSource* sound)
{
    if (handOverToMainThread(&CKPlaybackController::stopSound, sound))
        return;
    if (!soundIsPlaying(sound))
        return;
    if (fadeOutDuration() > kShortestFade && !sound->fader() && !paused() && !sound->isPaused())
        sound->fadeOut();
    else
        sound->stopImmediately();
}

void CKPlaybackController::stopSoundImmediately(CKSoundSource* sound)
{
    if (handOverToMainThread(&CKPlaybackController::stopSoundImmediately, sound))
        return;
    const qsizetype index = indexOfSound(sound);
    if (index >= 0)
        stopSoundAtIndex(index);
}

void CKPlaybackController::fadeOutSound(CKSoundSource* sound)
{
    if (handOverToMainThread(&CKPlaybackController::fadeOutSound, sound))
        return;
    const qsizetype index = indexOfSound(sound);
    if (index >= 0)
        fadeOutSoundAtIndex(index);
}

void CKPlaybackController::pauseSound(CKSoundSource* sound)
{
    if (handOverToMainThread(&CKPlaybackController::pauseSound, sound))
        return;
    togglePauseForSoundAtIndex(indexOfSound(sound));
}

void CKPlaybackController::stopAllSounds(bool immediately)
{
    const bool stop = immediately || paused();
    for (const std::shared_ptr<CKSoundSource>& sound : playingSounds()) {
        if (stop)
            sound->stop();
        else
            sound->fadeOut();
    }
}

void CKPlaybackController::stopSoundAtIndex(qsizetype index)
{
    if (index < 0 || size_t(index) >= mPlaying.size())
        return;
    // Held: the removal may take the sound out of the list.
    const std::shared_ptr<CKAudioFileEditor> feed = mPlaying[size_t(index)].feed;
    removeEditorFromMixer(feed.get());
}

double CKPlaybackController::fadeOutDuration() const
{
    return UserDefaults::standardUserDefaults().floatForKey(QStringLiteral("fadeOutDuration"));
}

void CKPlaybackController::fadeOutSoundAtIndex(qsizetype index)
{
    if (index < 0 || size_t(index) >= mPlaying.size())
        return;
    const PlayingSound entry = mPlaying[size_t(index)];
    CKSoundSource* sound = entry.sound.get();
    if (sound->fader())
        return;
    double fadeTime = fadeOutDuration();
    const double left = entry.feed->duration() - entry.feed->relativePlaybackTime();
    if (fadeTime > left && !sound->loops())
        fadeTime = left;
    if (fadeTime < kShortestFade) {
        sound->stopImmediately();
        return;
    }
    auto fader = std::make_unique<CKEditorFaderAnimation>(sound, mMixer.get(), fadeTime);
    fader->setAction([sound](double volume) { sound->setPlaybackVolumeNumber(volume); });
    fader->setEndVolume(0.0f);
    fader->setResetWhenDone(true);
    fader->setDelegate(this);
    CKEditorFaderAnimation* running = fader.get();
    sound->setFader(std::move(fader));
    if (!mOutputPlayer->isPaused())
        running->startAnimation();
    if (CKSoundCell* cell = sound->cellLayer())
        cell->soundWillFade(nullptr);
}

void CKPlaybackController::togglePauseForSoundAtIndex(qsizetype index)
{
    if (index < 0 || size_t(index) >= mPlaying.size())
        return;
    const PlayingSound entry = mPlaying[size_t(index)];
    CKSoundSource* sound = entry.sound.get();
    const bool wasPaused = soundIsPaused(sound);
    const SInt32 input = entry.feed->mixerInput();
    if (input >= 0)
        mMixer->setInputAtIndex(UInt32(input), wasPaused);
    emit sound->valueChanged(QStringLiteral("paused"), wasPaused, !wasPaused);
    if (CKEditorFaderAnimation* fader = sound->fader()) {
        if (wasPaused)
            fader->startAnimation();
        else
            fader->stopAnimation();
    }
    if (CKSoundCell* cell = sound->cellLayer()) {
        if (wasPaused)
            cell->soundDidPlay(sound);
        else
            cell->soundDidPause(sound);
    }
}

void CKPlaybackController::pauseAllFaders()
{
    for (const PlayingSound& entry : mPlaying) {
        if (CKEditorFaderAnimation* fader = entry.sound->fader())
            fader->stopAnimation();
    }
    if (mDuckingFader)
        mDuckingFader->stopAnimation();
}

void CKPlaybackController::resumeAllFaders()
{
    for (const PlayingSound& entry : mPlaying) {
        CKEditorFaderAnimation* fader = entry.sound->fader();
        if (fader && !soundIsPaused(entry.sound.get()))
            fader->startAnimation();
    }
    if (mDuckingFader)
        mDuckingFader->startAnimation();
}

// Delegate calls ---------------------------------------------------------------------------

void CKPlaybackController::mixerDidUpdateSources(ZEPAudioMixer*)
{
    if (mMixerUpdatePending)
        return;
    mMixerUpdatePending = true;
    mainthread::post([this] { handleMixerSourceUpdates(); });
}

void CKPlaybackController::handleMixerSourceUpdates()
{
    mMixerUpdatePending = false;
    // Held until the end: a feed may be the last reference to its sound's audio.
    const std::vector<std::shared_ptr<ZEPAudioSource>> removed = mMixer->removedSources();
    for (const std::shared_ptr<ZEPAudioSource>& source : removed) {
        const qsizetype index = indexOfFeed(source.get());
        if (index >= 0)
            soundDidFinishPlayingAtIndex(index);
    }
}

OSStatus CKPlaybackController::audioEditorRanOutOfData(CKAudioFileEditor* feed)
{
    const std::optional<SInt64> playID = mFeedTable.playIDForFeed(feed);
    if (!playID)
        return kZEPAudioSourceEndOfData;
    if (feed->forceLoop())
        return noErr;
    mainthread::postRealtime(&CKPlaybackController::stopSoundThatRanOut, this, intptr_t(*playID));
    return kZEPAudioSourceEndOfData;
}

void CKPlaybackController::stopSoundThatRanOut(void* context, intptr_t playID)
{
    auto* controller = static_cast<CKPlaybackController*>(context);
    for (const PlayingSound& entry : controller->mPlaying) {
        if (entry.playID == SInt64(playID)) {
            controller->stopSoundImmediately(entry.sound.get());
            return;
        }
    }
}

void CKPlaybackController::playerDidOverload(ZEPLocklessPullAudioPlayer*)
{
    onMainThread([this] {
        if (mPlaying.size() >= 2)
            mPlaying.back().sound->stop();
    });
}

void CKPlaybackController::animationDidEnd(CKEditorFaderAnimation* animation)
{
    if (animation == mDuckingFader.get()) {
        mDuckingFader.reset();
        return;
    }
    CKSoundSource* sound = animation->soundSource();
    if (!sound)
        return;
    // Held: the stop may end the list's reference to the sound.
    const std::shared_ptr<CKSoundSource> held = sound->shared_from_this();
    stopSoundImmediately(sound);
    if (sound->fader() == animation)
        sound->setFader(nullptr);
}

void CKPlaybackController::soundDidFinishPlayingAtIndex(qsizetype index)
{
    if (index < 0 || size_t(index) >= mPlaying.size())
        return;
    const PlayingSound entry = mPlaying[size_t(index)];
    entry.sound->didStop();
    // didStop() may have changed the list: the entry is found again.
    const qsizetype at = indexOfSound(entry.sound.get());
    if (at >= 0)
        mPlaying.erase(mPlaying.begin() + at);
    if (mPlaying.empty())
        NotificationCenter::defaultCenter().post(StoppedNotification);
}

void CKPlaybackController::updateProgressAndLevels()
{
    for (const std::shared_ptr<CKSoundSource>& sound : playingSounds()) {
        if (CKSoundCell* cell = sound->cellLayer())
            cell->setPercentFinished(sound->playbackProgress());
    }
    emit progressUpdated();
    if (mPlaying.empty())
        mProgressTimer.stop();
}
