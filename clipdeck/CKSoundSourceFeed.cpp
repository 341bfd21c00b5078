// The sound's playback feed: building it from a sound file, making it ready to play, and
// what the feed tells the sound (its load, its volume, its end on the render thread).
#include "clipdeck/CKSoundSource.h"

#include "clipdeck/CKPlaybackController.h"
#include "clipdeck/CKSoundParent.h"

#include "audio/editor/CKAudioFileEditor.h"
#include "platform/MainThread.h"

#include <algorithm>

namespace {

const QString kGraphEnabledKey = QStringLiteral("ZEPAudioGraphIsEnabled");

// The saved chains of a feed hold an effect: some track's list has an entry besides the
// closing one that carries the enabled flag.
bool effectsAreSet(const std::optional<QVariantList>& chains)
{
    if (!chains)
        return false;
    for (const QVariant& chain : *chains) {
        QVariantList entries = chain.toList();
        if (!entries.isEmpty() && entries.last().toMap().contains(kGraphEnabledKey))
            entries.removeLast();
        if (!entries.isEmpty())
            return true;
    }
    return false;
}

} // namespace

CKAudioFileEditor* CKSoundSource::editor() { return mError ? nullptr : mEditor.get(); }

void CKSoundSource::setEditorLoaded(bool loaded)
{
    mEditorIsLoaded = loaded;
    if (loaded)
        mLastPlayID = CKPlaybackController::sharedPlaybackController()->nextPlayID();
}

void CKSoundSource::unloadEditor()
{
    setEditor(nullptr);
    mEditorIsLoaded = false;
}

void CKSoundSource::setEditor(std::shared_ptr<CKAudioFileEditor> feed)
{
    if (mEditor) {
        mEditor->setDelegate(nullptr);
        mEditor->setSoundSource(nullptr);
    }
    mEditor = std::move(feed);
    if (mEditor) {
        mEditor->setSoundSource(this);
        mEditor->setDelegate(this);
        mEditor->setPlaybackVolume(mPlaybackVolume);
    }
}

bool CKSoundSource::buildEditorWithPath(const QString& path, bool asynchronous)
{
    mEditorIsLoaded = false;
    std::shared_ptr<CKAudioFileEditor> feed = CKAudioFileEditor::initWithPath(path, asynchronous);
    if (!feed) {
        setEditor(nullptr);
        setLoadFailedError();
        return false;
    }
    setEditor(feed);
    if (!feed->isLoading())
        editorFinishedLoading(feed.get());
    return true;
}

Error CKSoundSource::removableSoundError(qint64 code, const QString& description, const QString& failureReason)
{
    Error error(ImportErrorDomain, code, description, failureReason);
    error.localizedRecoveryOptions = {QStringLiteral("Leave"), QStringLiteral("Remove")};
    std::weak_ptr<CKSoundSource> weak = weak_from_this();
    error.recoveryAttempter = [weak](int option) {
        if (const auto sound = weak.lock(); sound && option == 1)
            sound->deleteFromParentClipdeck();
        return true;
    };
    return error;
}

void CKSoundSource::setLoadFailedError()
{
    setError(removableSoundError(
        0, QStringLiteral("Sound could not be loaded"),
        QStringLiteral("The sound could not be loaded from disk. Would you like to remove it from the clipdeck?")));
}

void CKSoundSource::editorDidFinishLoading(ZEPAudioEditor* editor)
{
    if (editor == mEditor.get())
        editorFinishedLoading(mEditor.get());
}

void CKSoundSource::editorFinishedLoading(CKAudioFileEditor* feed)
{
    if (!mainthread::isMainThread()) {
        mainthread::postAndWait([this, feed] { editorFinishedLoading(feed); });
        return;
    }
    if (mEditorIsLoaded || !prepareLoadedEditor(feed))
        return;
    setEditorLoaded(true);
    finishLoadingEditor(feed);
}

bool CKSoundSource::prepareLoadedEditor(CKAudioFileEditor* feed)
{
    const QVariantMap settings = editorSettings();
    bool effects = false;
    if (!settings.isEmpty()) {
        feed->setSettings(settings);
        effects = effectsAreSet(feed->graphSettings());
    }
    feed->setEffectsGraphEnabled(effects);
    feed->setLivePreviewEnabled(false);
    feed->beginExternalExtraction();
    AudioStreamBasicDescription format;
    if (feed->getExtractionAudioDescription(&format) != noErr)
        return false;
    feed->resetExportRegion();
    if (mLoops)
        feed->setForceLoop(true);
    return true;
}

void CKSoundSource::finishLoadingEditor(CKAudioFileEditor* feed)
{
    feed->updateCachedAudio();
    feed->setUseCache(true);
    setIsPlayable(true);
}

void CKSoundSource::editorDidChangePlaybackVolume(ZEPAudioEditor* editor)
{
    if (editor != mEditor.get())
        return;
    changeValue(QStringLiteral("playbackVolume"), mPlaybackVolume, std::clamp(mEditor->playbackVolume(), 0.0f, 1.0f));
    const SInt32 input = mEditor->mixerInput();
    if (mPlayingCount > 0 && input >= 0) {
        CKPlaybackController::sharedPlaybackController()->audioMixer()->setVolumeForInput(
            mEditor->scaledPlaybackVolume(), UInt32(input));
    }
    if (mParentClipdeck)
        mParentClipdeck->setNeedsSave();
}

std::optional<OSStatus> CKSoundSource::audioEditorRanOutOfData(ZEPAudioEditor* editor)
{
    return CKPlaybackController::sharedPlaybackController()->audioEditorRanOutOfData(
        static_cast<CKAudioFileEditor*>(editor));
}

double CKSoundSource::duration() { return mEditor ? mEditor->duration() : 0.0; }

double CKSoundSource::currentTime() { return mEditor ? mEditor->relativePlaybackTime() : 0.0; }

float CKSoundSource::playbackProgress() { return mEditor ? mEditor->playbackPercentage() : 0.0f; }

namespace {

float inputLevel(const CKAudioFileEditor* feed, Float32 (ZEPAudioMixer::*level)(UInt32) const)
{
    ZEPAudioMixer* mixer = CKPlaybackController::sharedPlaybackController()->audioMixer();
    if (!feed || feed->mixerInput() < 0)
        return mixer->minimumPowerLevel();
    return (mixer->*level)(UInt32(feed->mixerInput()));
}

} // namespace

float CKSoundSource::leftPeakLevel() const { return inputLevel(mEditor.get(), &ZEPAudioMixer::leftPeakLevelForInput); }
float CKSoundSource::rightPeakLevel() const { return inputLevel(mEditor.get(), &ZEPAudioMixer::rightPeakLevelForInput); }
float CKSoundSource::leftAvgLevel() const { return inputLevel(mEditor.get(), &ZEPAudioMixer::leftAvgLevelForInput); }
float CKSoundSource::rightAvgLevel() const { return inputLevel(mEditor.get(), &ZEPAudioMixer::rightAvgLevelForInput); }
