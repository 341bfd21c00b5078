// The read with edits of ZEPAudioFileEditor: the file is read chunk by chunk, each chunk
// planned against the skipped regions so that it stops at the next cut, fade or silence.
#include "audio/editor/ZEPAudioFileEditor.h"

#include "audio/engine/ZEPPullAudioPlayer.h"

#include <algorithm>

// The plan of one chunk: the read window and the effect regions that act on it. They are
// the editor's four reused regions, so that planning allocates nothing.
struct ZEPAudioFileEditor::Chunk {
    ZEPAudioRegion& window;
    ZEPAudioRegion& leftFade;
    ZEPAudioRegion& rightFade;
    ZEPAudioRegion& silence;
    bool hasLeftFade = false;
    bool hasRightFade = false;
    bool hasSilence = false;
};

namespace {

// Sets region to [index, end] with both bounds raised to 0, and the fade type.
void setEffectRegion(ZEPAudioRegion& region, SInt64 index, SInt64 end, SInt32 fadeType)
{
    region.initWithIndex(std::max<SInt64>(index, 0), std::max<SInt64>(end, 0));
    region.setFadeType(fadeType);
}

// An effect region acts on the window when it has packets that lie in it.
bool actsOn(const ZEPAudioRegion& effect, const ZEPAudioRegion& window)
{
    return effect.length() > 0 && effect.intersects(&window);
}

// Moves the window to start at index, keeping its length.
void moveWindow(ZEPAudioRegion& window, SInt64 index)
{
    const SInt64 length = window.length();
    window.setIndex(index);
    window.setLength(length);
}

} // namespace

void ZEPAudioFileEditor::planChunk(Chunk& chunk, bool skipAllRegions, bool applyFade)
{
    ZEPAudioRegion& w = chunk.window;
    for (const ZEPAudioRegionRef& regionRef : std::as_const(mSkippedRegions)) {
        const ZEPAudioRegion& s = *regionRef;
        bool countsAsCut = false;
        const bool readThrough = !skipAllRegions && (s.visible() || s.showBoth());
        if (!readThrough && s.type() == kZEPAudioRegionCut) {
            if (s.isSuperSetOfRegion(&w))
                moveWindow(w, s.end() + 1);
            bool endTrimmed = false;
            if (s.containsLocation(w.end())) {
                w.setEnd(s.index() - 1);
                endTrimmed = true;
            }
            if (s.containsLocation(w.index()))
                w.setIndex(s.end() + 1);
            if (!endTrimmed && s.length() > 0) {
                if (w.containsLocation(s.index())) {
                    w.setEnd(s.index() - 1);
                    countsAsCut = true;
                } else if (w.containsLocation(s.end())) {
                    w.setIndex(s.end() + 1);
                }
            }
        }

        // The effects of the first region whose fades or silence touch the window.
        if (applyFade && !chunk.hasLeftFade && !chunk.hasRightFade && !chunk.hasSilence) {
            setEffectRegion(chunk.leftFade, s.index() - s.fadeLength(), s.index() - 1, s.leftFadeType());
            chunk.hasLeftFade = s.fadeEnabled() && actsOn(chunk.leftFade, w);
            setEffectRegion(chunk.rightFade, s.end(), s.end() + s.fadeLength(), s.rightFadeType());
            chunk.hasRightFade = s.fadeEnabled() && actsOn(chunk.rightFade, w);
            setEffectRegion(chunk.silence, s.index(), s.end(), kZEPFadeConstantGain);
            chunk.silence.setFadeParameter(s.fadeParameter());
            chunk.hasSilence = s.type() == kZEPAudioRegionSilence && actsOn(chunk.silence, w);
        }

        // The chunk ends where the first effect ends, or where a cut begins.
        if (chunk.hasLeftFade && actsOn(chunk.leftFade, w)) {
            w.setEnd(chunk.leftFade.end());
            return;
        }
        if (chunk.hasSilence && actsOn(chunk.silence, w)) {
            w.setEnd(chunk.silence.end());
            return;
        }
        if (chunk.hasRightFade && actsOn(chunk.rightFade, w)) {
            w.setEnd(chunk.rightFade.end());
            return;
        }
        if (countsAsCut || s.index() > w.end())
            return;
    }
}

OSStatus ZEPAudioFileEditor::readPackets(UInt32* packets, AudioBufferList* buffer, AudioStreamPacketDescription*,
                                         bool skipAllRegions, bool applyFade)
{
    const UInt32 channels = mExtractionDescription.mChannelsPerFrame;
    const UInt32 bytesPerPacket = mExtractionDescription.mBytesPerPacket;
    if (!packets)
        return kAudio_ParamError;
    if (!mTempExtractionBufferList || bytesPerPacket == 0) {
        *packets = 0;
        return kAudioUnitErr_Uninitialized;
    }
    if (!buffer || buffer->mNumberBuffers < channels) {
        *packets = 0;
        return kAudio_ParamError;
    }
    // Never more than the caller's buffers hold.
    UInt32 wanted = *packets;
    for (UInt32 b = 0; b < channels; ++b)
        wanted = std::min(wanted, buffer->mBuffers[b].mDataByteSize / bytesPerPacket);

    const ZEPAudioRegion* limit = mPlaybackRegion ? mPlaybackRegion.get() : mExportRegion.get();
    UInt32 delivered = 0;
    OSStatus status = noErr;
    if (!mOutOfAudio) {
        Chunk chunk{mReusedReadRegion, mReusedLeftFadeRegion, mReusedRightFadeRegion, mReusedSilenceRegion};
        while (delivered < wanted) {
            const SInt64 planStart = mCurReadLocation;
            const UInt32 remaining = wanted - delivered;
            chunk.window.initWithIndexLength(mCurReadLocation, remaining);
            chunk.hasLeftFade = chunk.hasRightFade = chunk.hasSilence = false;
            planChunk(chunk, skipAllRegions, applyFade);

            ZEPAudioRegion& w = chunk.window;
            setReadLocation(w.index());
            // A window that starts past the end of the region being played or exported
            // ends this read: packets beyond it belong to no pass over the region.
            if (limit && w.index() > limit->end())
                break;
            if (w.length() > SInt64(remaining))
                w.setLength(remaining);
            if (limit && limit->containsLocation(w.index()) && w.end() >= limit->end())
                w.setEnd(limit->end());
            const UInt32 count = UInt32(std::clamp<SInt64>(w.length(), 0, remaining));

            if (mNeedToSetReadLocation) {
                // A failed seek ends the read with its status: nothing is read from the wrong
                // place, and the next read tries the seek again.
                status = mAudioFile->setLocationPackets(mCurReadLocation);
                if (status != noErr)
                    break;
                mNeedToSetReadLocation = false;
            }

            mTempExtractionBufferList->mNumberBuffers = channels;
            for (UInt32 b = 0; b < channels; ++b) {
                AudioBuffer& target = mTempExtractionBufferList->mBuffers[b];
                target.mNumberChannels = 1;
                target.mData = static_cast<UInt8*>(buffer->mBuffers[b].mData) + size_t(bytesPerPacket) * delivered;
                target.mDataByteSize = bytesPerPacket * count;
            }
            UInt32 read = count;
            if (count > 0) {
                status = mAudioFile->readPackets(&read, mTempExtractionBufferList, nullptr);
                if (status == kZEPAudioSourceEndOfData)
                    status = kZEPAudioSourceNoDataYet;
                read = std::min(read, count);
            }

            if (read > 0) {
                w.setLength(read);
                for (UInt32 b = 0; b < channels; ++b) {
                    Float32* samples = static_cast<Float32*>(buffer->mBuffers[b].mData) + delivered;
                    if (chunk.hasLeftFade && chunk.leftFade.fadeType() != kZEPFadeNone)
                        ZEPAudioEditor::applyFade(chunk.leftFade, samples, read, 1, w);
                    if (chunk.hasRightFade && chunk.rightFade.fadeType() != kZEPFadeNone)
                        ZEPAudioEditor::applyFade(chunk.rightFade, samples, read, 1, w);
                    if (chunk.hasSilence)
                        ZEPAudioEditor::applyFade(chunk.silence, samples, read, 1, w);
                }
                mCurReadLocation += read;
                delivered += read;
            }
            if (status != noErr)
                break;
            // An empty chunk (a cut covering the window) is planned again from past the cut;
            // one that did not move on would never end.
            if (read == 0 && mCurReadLocation == planStart)
                break;
        }
    }

    *packets = delivered;
    for (UInt32 b = 0; b < channels; ++b)
        buffer->mBuffers[b].mDataByteSize = bytesPerPacket * delivered;
    // A file that fails (a seek or a read) is no end of the audio: no wrap, no out-of-audio;
    // its status goes to the caller with what came before it.
    const bool failed = status != noErr && status != kZEPAudioSourceNoDataYet && status != kZEPAudioSourceEndOfData;
    if (!failed)
        status = handleEnd(limit, delivered, status);
    if (status == kZEPAudioSourceEndOfData) {
        *packets = 0;
        buffer->mBuffers[0].mDataByteSize = 0;
    }
    mExportPacketsReturned += *packets;
    return status;
}

OSStatus ZEPAudioFileEditor::handleEnd(const ZEPAudioRegion* limit, UInt32 delivered, OSStatus status)
{
    if (mOutOfAudio) {
        // Editor playback: the player stops once it has played what it holds.
        if (mPlayer)
            mPlayer->setStopWhenEmpty(true);
        return kZEPAudioSourceEndOfData;
    }
    // Packets of the limit region are left to read.
    if (delivered > 0 && (!limit || mCurReadLocation <= limit->end()))
        return status;

    const ZEPAudioRegion* target;
    if (mOperationMode == kPlaybackMode) {
        target = mForceLoop ? limit : mPlaybackRegion.get();
    } else if (mForceLoop) {
        target = limit;
    } else {
        mOutOfAudio = true;
        return status;
    }
    const SInt64 restart = target ? target->index() : 0;
    setReadLocation(restart);
    mExportPacketsReturned = restart;
    return delivered > 0 ? noErr : status;
}
