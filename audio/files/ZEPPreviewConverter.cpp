#include "audio/files/ZEPPreviewConverter.h"

#include "audio/engine/ZEPAudioBufferList.h"
#include "audio/engine/ZEPAudioUnitUtils.h"
#include "audio/engine/ZEPCanonicalFormats.h"
#include "audio/files/ZEPCoreAudioConverter.h"
#include "platform/audiounits/AudioComponentRegistry.h"

#include <QByteArray>

#include <algorithm>
#include <cstring>

namespace {

const AudioComponentDescription kMatrixMixer{kAudioUnitType_Mixer, kAudioUnitSubType_MatrixMixer,
                                             kAudioUnitManufacturer_System, 0, 0};

OSStatus monoMakerInput(void* refCon, AudioUnitRenderActionFlags* flags, const AudioTimeStamp* timeStamp, UInt32 bus,
                        UInt32 frames, AudioBufferList* ioData)
{
    return static_cast<ZEPPreviewConverter*>(refCon)->inputMixerCallbackWithFlags(flags, timeStamp, bus, frames,
                                                                                 ioData);
}

// The float format of the decoder's output and the mono maker: canonical, at rate.
AudioStreamBasicDescription floatFormat(UInt32 channels, Float64 sampleRate)
{
    AudioStreamBasicDescription format;
    ZEPCanonicalFloatASBD(&format, channels, true);
    format.mSampleRate = sampleRate;
    return format;
}

} // namespace

std::unique_ptr<ZEPPreviewConverter> ZEPPreviewConverter::initWithPreviewAudioDescription(
    const AudioStreamBasicDescription& previewDescription, UInt32 previewBitRate, UInt32 previewQuality,
    const AudioStreamBasicDescription& ioDescription, OSStatus* outStatus)
{
    std::unique_ptr<ZEPPreviewConverter> converter(new ZEPPreviewConverter());
    const OSStatus status = converter->init(previewDescription, previewBitRate, previewQuality, ioDescription);
    if (outStatus)
        *outStatus = status;
    return status == noErr ? std::move(converter) : nullptr;
}

OSStatus ZEPPreviewConverter::init(const AudioStreamBasicDescription& previewDescription, UInt32 previewBitRate,
                                   UInt32 previewQuality, const AudioStreamBasicDescription& ioDescription)
{
    mNeedsMonofication =
        previewDescription.mChannelsPerFrame == 1 && previewDescription.mFormatID != kAudioFormatMPEGLayer3;
    if (mNeedsMonofication) {
        AudioStreamBasicDescription monoInput = ioDescription;
        monoInput.mChannelsPerFrame = 1;
        monoInput.mBytesPerFrame = 0;
        monoInput.mBytesPerPacket = 0;
        if (const OSStatus status = ZEPCoreAudioConverter::getDefaultDescription(&monoInput))
            return status;
        mEncoder = ZEPAudioConverter::initWithInputDescription(monoInput, previewDescription, previewBitRate,
                                                               previewQuality);
        if (!mEncoder)
            return kNoEncoderError;
        AudioStreamBasicDescription encoded;
        if (const OSStatus status = mEncoder->getOutputDescription(&encoded))
            return status;
        mDecoder = ZEPCoreAudioConverter::initWithInputDescription(
            encoded, floatFormat(2, ioDescription.mSampleRate), 0, previewQuality);
        if (!mDecoder)
            return kNoDecoderError;
        QByteArray cookie;
        if (mEncoder->getCompressionMagicCookie(&cookie) == noErr && !cookie.isEmpty()) {
            if (const OSStatus status = mDecoder->setDecompressionCookie(cookie.constData(), UInt32(cookie.size())))
                return status;
        }
        mMonoMakerBufferList = ZEPCreateAudioBufferList(1, kMonoMakerBufferSize);
        if (!mMonoMakerBufferList || !mMonoMakerBufferList->mBuffers[0].mData)
            return kAudio_MemFullError;
        if (const OSStatus status = setupMonoMakerMixer(ioDescription.mSampleRate))
            return status;
    } else {
        mEncoder = ZEPAudioConverter::initWithInputDescription(ioDescription, previewDescription, previewBitRate,
                                                               previewQuality);
        if (!mEncoder)
            return kNoEncoderError;
        mDecoder = mEncoder->inverseConverter();
        if (!mDecoder)
            return kNoDecoderError;
    }

    mEncoder->setDataSource(this);
    mDecoder->setDataSource(this);
    mDecoderInputBufferList = ZEPCreateAudioBufferList(1, mDecoderInputDataSize);
    if (!mDecoderInputBufferList || !mDecoderInputBufferList->mBuffers[0].mData)
        return kAudio_MemFullError;
    mDecoderInputBufferList->mBuffers[0].mNumberChannels = 2;
    mDecoderInputPacketDescs.resize(kMaxPacketDescriptions);
    if (const OSStatus status = mDecoder->getReadyToEncode())
        return status;
    if (const OSStatus status = mEncoder->getReadyToEncode())
        return status;
    mEncoder->getOutputIsExternallyFramed(&mEncoderOutputIsFramed);
    return noErr;
}

OSStatus ZEPPreviewConverter::setupMonoMakerMixer(Float64 sampleRate)
{
    OSStatus status = noErr;
    mMonoMakerMatrixMixer = AudioComponentRegistry::instantiate(kMatrixMixer, &status);
    if (!mMonoMakerMatrixMixer)
        return kNoMonoMakerError;
    AudioUnit* mixer = mMonoMakerMatrixMixer.get();
    if ((status = ZEPAudioUnitUtils::setUpMatrixMixer(mixer, 1, 1)))
        return status;
    if ((status = mixer->setStreamFormat(kAudioUnitScope_Input, 0, floatFormat(2, sampleRate))) ||
        (status = mixer->setStreamFormat(kAudioUnitScope_Output, 0, floatFormat(1, sampleRate))))
        return status;
    if ((status = ZEPAudioUnitUtils::setMaxRenderSlice(kMonoMakerBufferSize / 4, mixer)))
        return status;
    ZEPAudioUnitUtils::getMaxRenderSlice(&mMonoMakerMaxFrames, mixer);
    if ((status = mixer->initialize()))
        return status;
    if ((status = mixer->setRenderCallback(0, {&monoMakerInput, this})))
        return status;
    // Both input channels reach the one output at unit gain; the output at half gain makes
    // the mean of left and right.
    ZEPAudioUnitUtils::resetVolumesForMatrixMixer(mixer);
    mMonoMakerTimeStamp = AudioTimeStamp();
    mMonoMakerTimeStamp.mFlags = kAudioTimeStampSampleTimeValid;
    return mixer->setParameter(kMatrixMixerParam_Volume, kAudioUnitScope_Output, 0, 0.5f);
}

ZEPPreviewConverter::~ZEPPreviewConverter()
{
    if (mMonoMakerMatrixMixer)
        mMonoMakerMatrixMixer->uninitialize();
    mMonoMakerMatrixMixer.reset();
    mDecoder.reset();
    mEncoder.reset();
    ZEPDisposeAudioBufferList(mDecoderInputBufferList);
    ZEPDisposeAudioBufferList(mMonoMakerBufferList);
}

OSStatus ZEPPreviewConverter::reset()
{
    const OSStatus encoder = mEncoder->reset();
    const OSStatus decoder = mDecoder->reset();
    return encoder ? encoder : decoder;
}

OSStatus ZEPPreviewConverter::getReadyToEncode()
{
    const OSStatus encoder = mEncoder->getReadyToEncode();
    const OSStatus decoder = mDecoder->getReadyToEncode();
    return encoder ? encoder : decoder;
}

OSStatus ZEPPreviewConverter::getAudioDescription(AudioStreamBasicDescription* description)
{
    mDecoder->getOutputDescription(description);
    return noErr;
}

OSStatus ZEPPreviewConverter::renderFrames(UInt32* frames, AudioBufferList* ioData, AudioUnitRenderActionFlags*,
                                           const AudioTimeStamp*, void*)
{
    return mDecoder->fillComplexBuffer(ioData, nullptr, frames);
}

OSStatus ZEPPreviewConverter::converter(ZEPAudioConverter* converter, UInt32* readPackets,
                                        AudioBufferList* bufferList, AudioStreamPacketDescription** packetDescriptions)
{
    OSStatus status = noErr;
    if (converter == mDecoder.get()) {
        status = readEncodedPackets(readPackets, bufferList, packetDescriptions);
    } else if (mNeedsMonofication) {
        status = readMonoFrames(readPackets, bufferList);
    } else if (mDataSource) {
        status = mDataSource->converter(mEncoder.get(), readPackets, bufferList, packetDescriptions);
    } else {
        *readPackets = 0;
    }
    if (status == noErr || status == kZEPAudioSourceNoDataYet)
        return status;
    // A failed read ends this fill's input instead of failing the converter.
    *readPackets = 0;
    bufferList->mBuffers[0].mDataByteSize = 0;
    return noErr;
}

OSStatus ZEPPreviewConverter::readEncodedPackets(UInt32* readPackets, AudioBufferList* bufferList,
                                                 AudioStreamPacketDescription** packetDescriptions)
{
    AudioStreamBasicDescription encoded;
    if (const OSStatus status = mEncoder->getOutputDescription(&encoded)) {
        *readPackets = 0;
        return status;
    }
    UInt32 packetSize = encoded.mBytesPerPacket;
    if (packetSize == 0 && (mEncoder->getMaximumOutputPacketSize(&packetSize) != noErr || packetSize == 0)) {
        // A codec whose packets cannot be sized is given nothing to decode.
        *readPackets = 0;
        bufferList->mBuffers[0].mDataByteSize = 0;
        return noErr;
    }
    UInt32 packets = std::min({*readPackets, mDecoderInputDataSize / packetSize, kMaxPacketDescriptions});
    AudioBuffer& input = mDecoderInputBufferList->mBuffers[0];
    input.mDataByteSize = mDecoderInputDataSize;
    const OSStatus status = mEncoder->fillComplexBuffer(mDecoderInputBufferList, mDecoderInputPacketDescs.data(),
                                                        &packets);
    bufferList->mBuffers[0].mData = input.mData;
    bufferList->mBuffers[0].mDataByteSize = input.mDataByteSize;
    *readPackets = packets;
    if (mEncoderOutputIsFramed && packetDescriptions)
        *packetDescriptions = mDecoderInputPacketDescs.data();
    return status;
}

OSStatus ZEPPreviewConverter::readMonoFrames(UInt32* readPackets, AudioBufferList* bufferList)
{
    AudioBuffer& mono = mMonoMakerBufferList->mBuffers[0];
    const UInt32 count = std::min({*readPackets, kMonoMakerBufferSize / 4, mMonoMakerMaxFrames});
    mono.mDataByteSize = count * 4;
    bufferList->mBuffers[0].mData = mono.mData;
    bufferList->mBuffers[0].mDataByteSize = mono.mDataByteSize;
    *readPackets = 0;
    if (count == 0)
        return noErr;
    mMonoMakerInputStatus = noErr;
    mMonoMakerInputFrames = count;
    AudioUnitRenderActionFlags flags = 0;
    const OSStatus status = mMonoMakerMatrixMixer->render(&flags, &mMonoMakerTimeStamp, 0, count, mMonoMakerBufferList);
    mMonoMakerTimeStamp.mSampleTime += count;
    if (status != noErr)
        return status;
    // The mixer makes silence of what its input did not deliver: only what it did counts.
    *readPackets = mMonoMakerInputFrames;
    bufferList->mBuffers[0].mDataByteSize = mMonoMakerInputFrames * 4;
    return mMonoMakerInputStatus;
}

OSStatus ZEPPreviewConverter::inputMixerCallbackWithFlags(AudioUnitRenderActionFlags*, const AudioTimeStamp*,
                                                          UInt32, UInt32 frames, AudioBufferList* ioData)
{
    // The data source may point the buffers at its own memory: the mixer reads its own.
    constexpr UInt32 kChannels = 2;
    void* own[kChannels] = {};
    const UInt32 buffers = std::min(ioData->mNumberBuffers, kChannels);
    for (UInt32 b = 0; b < buffers; ++b)
        own[b] = ioData->mBuffers[b].mData;
    UInt32 delivered = frames;
    OSStatus status = noErr;
    if (mDataSource)
        status = mDataSource->converter(mEncoder.get(), &delivered, ioData, nullptr);
    else
        delivered = 0;
    delivered = std::min(delivered, frames);
    for (UInt32 b = 0; b < buffers; ++b) {
        AudioBuffer& buffer = ioData->mBuffers[b];
        delivered = std::min(delivered, buffer.mData ? buffer.mDataByteSize / 4 : 0);
    }
    for (UInt32 b = 0; b < buffers; ++b) {
        AudioBuffer& buffer = ioData->mBuffers[b];
        if (buffer.mData != own[b] && buffer.mData && delivered > 0)
            std::memmove(own[b], buffer.mData, delivered * 4);
        buffer.mData = own[b];
        std::memset(static_cast<Float32*>(own[b]) + delivered, 0, (frames - delivered) * 4);
        buffer.mDataByteSize = frames * 4;
    }
    mMonoMakerInputStatus = status;
    mMonoMakerInputFrames = delivered;
    return noErr;
}
