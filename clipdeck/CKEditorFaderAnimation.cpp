#include "clipdeck/CKEditorFaderAnimation.h"

#include "clipdeck/CKSoundSource.h"

#include "audio/editor/CKAudioFileEditor.h"
#include "audio/engine/ZEPAudioMixer.h"

#include <algorithm>

namespace {

// The volume elements of the mixer's two output channels.
constexpr UInt32 kLeftOutputElement = 0xFFFF0000;
constexpr UInt32 kRightOutputElement = 0xFFFF0001;

} // namespace

CKEditorFaderAnimation::CKEditorFaderAnimation(CKSoundSource* soundSource, ZEPAudioMixer* mixer, double duration)
    : mSoundSource(soundSource), mMixer(mixer), mDuration(std::max(duration, 0.0))
{
    CKAudioFileEditor* feed = soundSource ? soundSource->editor() : nullptr;
    mStartVolume = feed ? feed->playbackVolume() : currentOutputVolume();
    mTimer.setAction([this] { step(); });
}

CKEditorFaderAnimation::~CKEditorFaderAnimation()
{
    mTimer.stop();
    if (mResetWhenDone)
        resetVolume();
}

double CKEditorFaderAnimation::clockProgress() const
{
    if (mDuration <= 0)
        return 1.0;
    return std::clamp((TimeSource::currentTime() - mOrigin) / mDuration, 0.0, 1.0);
}

double CKEditorFaderAnimation::currentProgress() const { return isAnimating() ? clockProgress() : mProgress; }

float CKEditorFaderAnimation::currentVolume() const
{
    return mStartVolume + (mEndVolume - mStartVolume) * float(currentProgress());
}

void CKEditorFaderAnimation::startAnimation()
{
    if (isAnimating())
        return;
    mOrigin = TimeSource::currentTime() - mProgress * mDuration;
    mTimer.start(1.0 / kFrameRate, true);
    setCurrentProgress(mProgress);
}

void CKEditorFaderAnimation::stopAnimation()
{
    if (!isAnimating())
        return;
    mProgress = clockProgress();
    mTimer.stop();
}

void CKEditorFaderAnimation::step()
{
    const double progress = clockProgress();
    setCurrentProgress(progress);
    if (progress < 1.0)
        return;
    mTimer.stop();
    // Last: the delegate may destroy this animation.
    if (mDelegate)
        mDelegate->animationDidEnd(this);
}

void CKEditorFaderAnimation::setCurrentProgress(double progress)
{
    mProgress = std::clamp(progress, 0.0, 1.0);
    // While running, a step lands where the clock says; the origin follows a progress set
    // from outside.
    if (isAnimating())
        mOrigin = TimeSource::currentTime() - mProgress * mDuration;
    const float volume = mStartVolume + (mEndVolume - mStartVolume) * float(mProgress);
    if (mSoundSource) {
        CKAudioFileEditor* feed = mSoundSource->editor();
        if (feed && feed->mixerInput() >= 0 && mMixer)
            mMixer->setVolumeForInput(volume * feed->normalizeScaleFactorForTrack(0), UInt32(feed->mixerInput()));
    }
    if (mAction)
        mAction(double(volume));
}

void CKEditorFaderAnimation::resetVolume()
{
    if (mSoundSource) {
        CKAudioFileEditor* feed = mSoundSource->editor();
        if (feed && feed->mixerInput() >= 0 && mMixer)
            mMixer->setVolumeForInput(mStartVolume, UInt32(feed->mixerInput()));
    }
    setCurrentProgress(0.0);
}

float CKEditorFaderAnimation::outputVolumeOfMixer(const ZEPAudioMixer* mixer)
{
    if (!mixer || !mixer->outputMixer())
        return 0.0f;
    AudioUnitParameterValue volume = 0;
    mixer->outputMixer()->getParameter(kMatrixMixerParam_Volume, kAudioUnitScope_Global, kLeftOutputElement, &volume);
    return volume;
}

void CKEditorFaderAnimation::setOutputVolumeOfMixer(ZEPAudioMixer* mixer, float left, float right)
{
    if (!mixer)
        return;
    mixer->setVolumeForElement(left, kLeftOutputElement);
    mixer->setVolumeForElement(right, kRightOutputElement);
}
