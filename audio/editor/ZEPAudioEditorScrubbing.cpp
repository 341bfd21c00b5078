// Scrubbing of ZEPAudioEditor: short bursts of the raw sound at a position, summed to one
// stereo pair by the stereo mixer and played by a slam player.
#include "audio/editor/ZEPAudioEditor.h"

#include "audio/engine/ZEPAudioBufferList.h"
#include "audio/engine/ZEPAudioUnitUtils.h"
#include "audio/engine/ZEPSlamAudioPlayer.h"
#include "platform/audiounits/AudioComponentRegistry.h"

#include <algorithm>
#include <cstring>

namespace {

const AudioComponentDescription kMatrixMixer{kAudioUnitType_Mixer, kAudioUnitSubType_MatrixMixer,
                                             kAudioUnitManufacturer_System, 0, 0};

OSStatus stereoMixerProc(void* refCon, AudioUnitRenderActionFlags* flags, const AudioTimeStamp* timeStamp, UInt32 bus,
                         UInt32 frames, AudioBufferList* ioData)
{
    return static_cast<ZEPAudioEditor*>(refCon)->stereoMatrixMixerCallbackWithFlags(flags, timeStamp, bus, frames,
                                                                                   ioData);
}

// Whether 0 lies between a and b, in either direction.
bool crossesZero(Float32 a, Float32 b)
{
    return (a <= 0 && b >= 0) || (a >= 0 && b <= 0);
}

} // namespace

OSStatus ZEPAudioEditor::setupStereoMatrixMixer()
{
    OSStatus status = noErr;
    mStereoMatrixMixer = AudioComponentRegistry::instantiate(kMatrixMixer, &status);
    if (!mStereoMatrixMixer)
        return kZEPNoMatrixMixerError;
    AudioUnit* mixer = mStereoMatrixMixer.get();
    AudioStreamBasicDescription extraction;
    if ((status = getExtractionAudioDescription(&extraction)))
        return status;
    AudioStreamBasicDescription stereo = extraction;
    stereo.mChannelsPerFrame = 2;
    if ((status = ZEPAudioUnitUtils::setUpMatrixMixer(mixer, trackCount(), 1)) ||
        (status = mixer->setRenderCallback(0, {&stereoMixerProc, this})) ||
        (status = mixer->setStreamFormat(kAudioUnitScope_Input, 0, extraction)) ||
        (status = mixer->setStreamFormat(kAudioUnitScope_Output, 0, stereo)) ||
        (status = ZEPAudioUnitUtils::setMaxRenderSlice(kStereoMixerMaxFrames, mixer)) ||
        (status = mixer->initialize()))
        return status;
    ZEPAudioUnitUtils::resetVolumesForMatrixMixer(mixer);
    mStereoMatrixMixerTimeStamp = AudioTimeStamp();
    mStereoMatrixMixerTimeStamp.mFlags = kAudioTimeStampSampleTimeValid;
    mStereoMixerSetUp = true;
    // The bursts are heard with the normalisation the playback has.
    for (UInt32 t = 0; t < trackCount() && validTrack(t); ++t) {
        const Float32 scale = normalizeScaleFactorForTrack(t);
        ZEPAudioUnitUtils::matrixMixerUnit(mixer, scale, 2 * t, 0);
        ZEPAudioUnitUtils::matrixMixerUnit(mixer, scale, 2 * t + 1, 1);
    }
    return noErr;
}

OSStatus ZEPAudioEditor::stereoMatrixMixerCallbackWithFlags(AudioUnitRenderActionFlags*, const AudioTimeStamp*, UInt32,
                                                            UInt32 frames, AudioBufferList* ioData)
{
    UInt32 read = frames;
    const OSStatus status = readPackets(&read, ioData);
    read = std::min(read, frames);
    // Past the end of the file the burst is silence.
    for (UInt32 b = 0; b < ioData->mNumberBuffers; ++b) {
        AudioBuffer& buffer = ioData->mBuffers[b];
        if (buffer.mData)
            std::memset(static_cast<Float32*>(buffer.mData) + read, 0, (frames - read) * 4);
        buffer.mDataByteSize = frames * 4;
    }
    return status == kZEPAudioSourceEndOfData ? noErr : status;
}

OSStatus ZEPAudioEditor::readStereoPackets(UInt32* packets, AudioBufferList* buffer)
{
    if (!mStereoMixerSetUp) {
        *packets = 0;
        return kAudioUnitErr_Uninitialized;
    }
    std::lock_guard lock(mLock);
    constexpr UInt32 kBuffers = 2;
    void* data[kBuffers] = {};
    UInt32 sizes[kBuffers] = {};
    const UInt32 buffers = std::min(buffer->mNumberBuffers, kBuffers);
    for (UInt32 b = 0; b < buffers; ++b) {
        data[b] = buffer->mBuffers[b].mData;
        sizes[b] = buffer->mBuffers[b].mDataByteSize;
    }
    const UInt32 wanted = *packets;
    UInt32 done = 0;
    OSStatus status = noErr;
    while (done < wanted) {
        const UInt32 chunk = std::min(wanted - done, kOutputMixerMaxFrames);
        for (UInt32 b = 0; b < buffers; ++b) {
            buffer->mBuffers[b].mData = static_cast<Float32*>(data[b]) + done;
            buffer->mBuffers[b].mDataByteSize = chunk * 4;
        }
        AudioUnitRenderActionFlags flags = 0;
        status = mStereoMatrixMixer->render(&flags, &mStereoMatrixMixerTimeStamp, 0, chunk, buffer);
        mStereoMatrixMixerTimeStamp.mSampleTime += chunk;
        if (status != noErr)
            break;
        done += chunk;
    }
    for (UInt32 b = 0; b < buffers; ++b) {
        buffer->mBuffers[b].mData = data[b];
        buffer->mBuffers[b].mDataByteSize = sizes[b];
    }
    *packets = done;
    return status;
}

void ZEPAudioEditor::setScrubDuration(Float32 seconds)
{
    if (seconds == mScrubDuration)
        return;
    mScrubDuration = seconds;
    mScrubDurationFrames = UInt32(Float32(SInt64(samplesPerSecond())) * seconds);
    mMaxScrubInputBufferListSize = mScrubDurationFrames * 4;
    // Made again at the new size for the next burst.
    ZEPDisposeAudioBufferList(mScrubInputBufferList);
    mScrubInputBufferList = nullptr;
}

void ZEPAudioEditor::startScrub()
{
    if (!mStereoMixerSetUp && setupStereoMatrixMixer() != noErr)
        return;
    endScrub();
    if (!mScrubs || (isPlaying() && !isPaused()))
        return;
    AudioStreamBasicDescription format;
    if (getExtractionAudioDescription(&format) != noErr)
        return;
    format.mChannelsPerFrame = 2;
    mScrubPlayer = ZEPSlamAudioPlayer::createWithDeviceUID(mOutputDeviceUID, format, mScrubDurationFrames);
    if (!mScrubPlayer)
        return;
    mScrubPlayer->setDelegate(this);
    mFirstScrub = true;
    mLastScrubLocation = -1;
    mPendingScrub = false;
    mBurstReachedMinimum = false;
    mPreScrubLocation = readLocation();
    mScrubPlayer->play();
}

void ZEPAudioEditor::scrubAtLocation(SInt64 location)
{
    if (!mScrubPlayer)
        return;
    AudioStreamBasicDescription input;
    mScrubPlayer->getInputDescription(&input);
    const SInt64 minimum = SInt64(input.mSampleRate * mMinimumScrubDuration);
    if (!mFirstScrub && minimum > 0 && !mBurstReachedMinimum.load()) {
        // The burst has not played its minimum yet: the newest position plays when it has.
        if (location == mLastScrubLocation)
            return;
        mPendingScrubLocation = location;
        mPendingScrub = true;
        // The device thread records the mark before it looks for a pending position, and
        // this thread the position before it looks again at the mark: one of the two sees
        // the other, so a position is never left for a mark that passed unseen.
        if (!mBurstReachedMinimum.load())
            return;
    }
    if (location == mLastScrubLocation)
        return;
    if (!mScrubInputBufferList) {
        mScrubInputBufferList = ZEPCreateAudioBufferList(2, mMaxScrubInputBufferListSize);
        if (!mScrubInputBufferList)
            return;
    }
    mLastScrubLocation = location;
    mFirstScrub = false;
    setReadLocation(location);
    UInt32 frames = UInt32(std::clamp<SInt64>(totalSampleCount() - location, 0, mScrubDurationFrames));
    ZEPZeroAudioBufferList(mScrubInputBufferList);
    readStereoPackets(&frames, mScrubInputBufferList);
    for (UInt32 b = 0; b < mScrubInputBufferList->mNumberBuffers; ++b)
        mScrubInputBufferList->mBuffers[b].mDataByteSize = mMaxScrubInputBufferListSize;
    mPendingScrub = false;
    // Only a burst past its mark (or none) is replaced, so no render still crosses its mark.
    mBurstReachedMinimum = false;
    mScrubPlayer->slamFrames(mScrubDurationFrames, mScrubInputBufferList);
    mScrubPlayer->setMarkFrames(minimum);
}

void ZEPAudioEditor::slamAudioPlayerDidReachMark(ZEPSlamAudioPlayer*)
{
    mBurstReachedMinimum.store(true);
    if (mPendingScrub.load())
        sendRealtimeMessage(kHandlePendingScrubMessage);
}

void ZEPAudioEditor::handleRealtimeMessage(uint16_t message)
{
    if (message == kHandlePendingScrubMessage)
        handlePendingScrub();
}

void ZEPAudioEditor::handlePendingScrub()
{
    if (mPendingScrub.load())
        scrubAtLocation(mPendingScrubLocation);
}

void ZEPAudioEditor::endScrub()
{
    mScrubPlayer.reset();
    mPendingScrub = false;
    if (mPreScrubLocation >= 0) {
        setReadLocation(mPreScrubLocation);
        mPreScrubLocation = -1;
    }
}

bool ZEPAudioEditor::getCommonZeroCrossings(SInt64 crossings[2], const AudioBufferList* bufferList, UInt32 frames)
{
    crossings[0] = crossings[1] = -1;
    if (!bufferList || bufferList->mNumberBuffers < 2 || frames < 2)
        return false;
    const auto* a = static_cast<const Float32*>(bufferList->mBuffers[0].mData);
    const auto* b = static_cast<const Float32*>(bufferList->mBuffers[1].mData);
    for (UInt32 i = 0; i + 1 < frames; ++i) {
        if (0 >= a[i] && a[i + 1] >= 0 && 0 >= b[i] && b[i + 1] >= 0) {
            crossings[0] = i;
            break;
        }
    }
    for (UInt32 i = frames - 1; i >= 1; --i) {
        if (crossesZero(a[i - 1], a[i]) && crossesZero(b[i - 1], b[i])) {
            crossings[1] = SInt64(i) - 1;
            break;
        }
    }
    return crossings[0] >= 0 && crossings[1] >= 0;
}
