// The master side of the playback controller: gain and pan on the board mixer's output, the
// pause of everything, ducking, and the remote commands that reach them.
#include "clipdeck/CKPlaybackController.h"

#include "audio/engine/ZEPAudioGraph.h"
#include "platform/UserDefaults.h"

#include <cmath>

namespace {

const QString kOutputGainKey = QStringLiteral("outputGain");
const QString kOutputPanKey = QStringLiteral("outputPan");
const QString kDuckingVolumeKey = QStringLiteral("duckingVolume");
const QString kDuckingDurationKey = QStringLiteral("duckingDuration");

} // namespace

void CKPlaybackController::didFinishLaunching()
{
    const UserDefaults& defaults = UserDefaults::standardUserDefaults();
    const QVariant pan = defaults.objectForKey(kOutputPanKey);
    setOutputPan(pan.isValid() ? defaults.floatForKey(kOutputPanKey) : 0.0f);
    const QVariant gain = defaults.objectForKey(kOutputGainKey);
    setOutputGain(gain.isValid() ? defaults.floatForKey(kOutputGainKey) : 1.0f);
}

// Pause ------------------------------------------------------------------------------------

bool CKPlaybackController::paused() const { return mOutputPlayer->isRunning() && mOutputPlayer->isPaused(); }

void CKPlaybackController::setPaused(bool paused)
{
    onMainThread([this, paused] {
        const bool was = this->paused();
        mPauseWanted = paused;
        mOutputPlayer->setPaused(paused);
        pauseAllSounds();
        const bool now = this->paused();
        if (was != now)
            didChangeValueForKey(QStringLiteral("paused"), was, now);
    });
}

void CKPlaybackController::pauseAllSounds()
{
    onMainThread([this] {
        // The player's own flag, not paused(): a pause asked for while the output is away
        // (its device gone) silences the sounds too, and holds when the output comes back.
        if (mOutputPlayer->isPaused()) {
            mOutputPlayer->pause();
            pauseAllFaders();
            mMixer->stop();
            mMasterGraph->reset();
        } else {
            mMixer->start();
            mOutputPlayer->resume();
            resumeAllFaders();
        }
    });
}

// Gain and pan -----------------------------------------------------------------------------

bool CKPlaybackController::changeMasterValue(float& field, float value, const QString& defaultsKey)
{
    if (value == field)
        return false;
    field = value;
    updateMixerWithGain(mOutputGain, mOutputPan);
    UserDefaults::standardUserDefaults().setFloat(value, defaultsKey);
    return true;
}

void CKPlaybackController::setOutputGain(float gain)
{
    const float old = mOutputGain;
    if (!changeMasterValue(mOutputGain, gain, kOutputGainKey))
        return;
    didChangeValueForKey(QStringLiteral("outputGain"), old, gain);
    didChangeValueForKey(QStringLiteral("masterVolume"), old, gain);
}

void CKPlaybackController::setOutputPan(float pan)
{
    const float old = mOutputPan;
    if (changeMasterValue(mOutputPan, pan, kOutputPanKey))
        didChangeValueForKey(QStringLiteral("outputPan"), old, pan);
}

void CKPlaybackController::updateMixerWithGain(float gain, float pan)
{
    const float level = gain * mDuckingLevel;
    const float left = pan > 0 ? level * (1.0f - pan) : level;
    const float right = pan < 0 ? level * (1.0f + pan) : level;
    setOutputVolumeOnMixer(mMixer.get(), left, right);
}

void CKPlaybackController::setOutputVolumeOnMixer(ZEPAudioMixer* mixer, float left, float right)
{
    CKEditorFaderAnimation::setOutputVolumeOfMixer(mixer, left, right);
}

// Ducking ----------------------------------------------------------------------------------

void CKPlaybackController::setDucked(bool ducked)
{
    onMainThread([this, ducked] {
        if (ducked == mDucked)
            return;
        mDucked = ducked;
        startDuckingFade(ducked ? UserDefaults::standardUserDefaults().floatForKey(kDuckingVolumeKey) : 1.0f);
        didChangeValueForKey(QStringLiteral("ducked"), !ducked, ducked);
    });
}

void CKPlaybackController::cancelDucking()
{
    mDuckingFader.reset();
    setDuckingLevel(1.0f);
    if (mDucked) {
        mDucked = false;
        didChangeValueForKey(QStringLiteral("ducked"), true, false);
    }
}

void CKPlaybackController::startDuckingFade(float target)
{
    // A fade under way turns around from where the clock has brought it, not from its last
    // step; the way back takes as long as the way there took.
    const float from = mDuckingFader ? mDuckingFader->currentVolume() : mDuckingLevel;
    mDuckingFader.reset();
    const float ducked = UserDefaults::standardUserDefaults().floatForKey(kDuckingVolumeKey);
    const float span = std::fabs(1.0f - ducked);
    const double fullTime = UserDefaults::standardUserDefaults().doubleForKey(kDuckingDurationKey);
    const double time = span > 0 ? fullTime * std::fabs(target - from) / span : 0.0;
    if (time < kShortestFade) {
        setDuckingLevel(target);
        return;
    }
    mDuckingFader = std::make_unique<CKEditorFaderAnimation>(nullptr, mMixer.get(), time);
    mDuckingFader->setStartVolume(from);
    mDuckingFader->setEndVolume(target);
    mDuckingFader->setAction([this](double level) { setDuckingLevel(float(level)); });
    mDuckingFader->setDelegate(this);
    if (!paused())
        mDuckingFader->startAnimation();
}

void CKPlaybackController::setDuckingLevel(float level)
{
    mDuckingLevel = level;
    updateMixerWithGain(mOutputGain, mOutputPan);
}

// Remote commands --------------------------------------------------------------------------

void CKPlaybackController::handleSysExPause(bool paused) { setPaused(paused); }

void CKPlaybackController::handleSysExDuck(bool ducked) { setDucked(ducked); }

void CKPlaybackController::handleSysExStop()
{
    onMainThread([this] { stopAllSounds(true); });
}

void CKPlaybackController::handleSysExVolume(float volume)
{
    onMainThread([this, volume] { setOutputGain(volume); });
}
