#include "audio/engine/ZEPMultiAudioGraph.h"

#include "audio/engine/ZEPAudioBufferList.h"
#include "audio/engine/ZEPAudioUnitUtils.h"
#include "audio/engine/ZEPCanonicalFormats.h"
#include "platform/audiounits/AudioComponentRegistry.h"

#include <algorithm>
#include <cmath>
#include <cstring>
#include <thread>

namespace {

const AudioComponentDescription kMatrixMixer{kAudioUnitType_Mixer, kAudioUnitSubType_MatrixMixer,
                                             kAudioUnitManufacturer_System, 0, 0};

// The slice every part starts with: the playback mixer's largest, so that a consumer may
// ask the graph for as much as the chains accept.
constexpr UInt32 kDefaultMaxRequestFrames = kZEPPlaybackMaxRenderSlice;

// Marks a render in progress for as long as it lives.
class RenderScope {
public:
    explicit RenderScope(std::atomic<UInt32>& epoch) : mEpoch(epoch) { mEpoch.fetch_add(1); }
    ~RenderScope() { mEpoch.fetch_add(1); }

private:
    std::atomic<UInt32>& mEpoch;
};

// Zeroes every buffer of list from byte offset on, up to bytes, and sets its size to bytes.
void padWithSilence(AudioBufferList* list, UInt32 fromByte, UInt32 bytes)
{
    for (UInt32 i = 0; i < list->mNumberBuffers; ++i) {
        AudioBuffer& buffer = list->mBuffers[i];
        if (buffer.mData && fromByte < bytes)
            std::memset(static_cast<UInt8*>(buffer.mData) + fromByte, 0, bytes - fromByte);
        buffer.mDataByteSize = bytes;
    }
}

} // namespace

AudioStreamBasicDescription ZEPMultiAudioGraph::defaultInputDescription()
{
    AudioStreamBasicDescription description;
    ZEPCanonicalFloatASBD(&description, 2, true);
    return description;
}

ZEPMultiAudioGraph::ZEPMultiAudioGraph(UInt32 tracks)
    : mGraphCount(tracks), mGraphs(tracks), mRenderGraphs(std::make_unique<std::atomic<ZEPAudioGraph*>[]>(tracks))
{
}

std::unique_ptr<ZEPMultiAudioGraph> ZEPMultiAudioGraph::create(UInt32 tracks, OSStatus* outStatus)
{
    std::unique_ptr<ZEPMultiAudioGraph> graph(new ZEPMultiAudioGraph(tracks));
    const OSStatus status = graph->build();
    if (outStatus)
        *outStatus = status;
    return status == noErr ? std::move(graph) : nullptr;
}

OSStatus ZEPMultiAudioGraph::build()
{
    for (UInt32 t = 0; t < mGraphCount; ++t) {
        OSStatus status = noErr;
        std::unique_ptr<ZEPAudioGraph> graph = ZEPAudioGraph::create(&status);
        if (!graph)
            return status;
        graph->setInputSource(this);
        mGraphs[t] = std::move(graph);
        mRenderGraphs[t].store(mGraphs[t].get());
    }
    mPullingBufferList = ZEPCreateEmptyAudioBufferList(std::max<UInt32>(2 * mGraphCount, 1));
    if (!mPullingBufferList)
        return kAudio_MemFullError;
    if (const OSStatus status = setupInputMixer())
        return status;
    return setupOutputMixer();
}

OSStatus ZEPMultiAudioGraph::setupInputMixer()
{
    OSStatus status = noErr;
    mInputMixer = AudioComponentRegistry::instantiate(kMatrixMixer, &status);
    if (!mInputMixer)
        return kZEPNoMatrixMixerError;
    if ((status = ZEPAudioUnitUtils::setUpMatrixMixer(mInputMixer.get(), 1, mGraphCount)))
        return status;
    if (mGraphCount > 0) {
        AudioStreamBasicDescription input = defaultInputDescription();
        input.mChannelsPerFrame = 2 * mGraphCount;
        if ((status = mInputMixer->setStreamFormat(kAudioUnitScope_Input, 0, input)))
            return status;
    }
    ZEPAudioUnitUtils::setMaxRenderSlice(kDefaultMaxRequestFrames, mInputMixer.get());
    if ((status = mInputMixer->initialize()))
        return status;
    if ((status = mInputMixer->setRenderCallback(0, {&inputMixerCallback, this})))
        return status;
    // Unit gains; input channel i to output channel i mod 2N: track t's pair on bus t.
    return ZEPAudioUnitUtils::resetVolumesForMatrixMixer(mInputMixer.get());
}

OSStatus ZEPMultiAudioGraph::setupOutputMixer()
{
    OSStatus status = noErr;
    mOutputMixer = AudioComponentRegistry::instantiate(kMatrixMixer, &status);
    if (!mOutputMixer)
        return kZEPNoMatrixMixerError;
    if ((status = ZEPAudioUnitUtils::setUpMatrixMixer(mOutputMixer.get(), mGraphCount, 1)))
        return status;
    ZEPAudioUnitUtils::setMaxRenderSlice(kDefaultMaxRequestFrames, mOutputMixer.get());
    if ((status = mOutputMixer->initialize()))
        return status;
    for (UInt32 bus = 0; bus < mGraphCount; ++bus) {
        if ((status = mOutputMixer->setRenderCallback(bus, {&outputMixerCallback, this})))
            return status;
    }
    return ZEPAudioUnitUtils::resetVolumesForMatrixMixer(mOutputMixer.get());
}

ZEPMultiAudioGraph::~ZEPMultiAudioGraph()
{
    // The mixers go first: their callbacks reach the chains.
    for (AudioUnit* mixer : {mOutputMixer.get(), mInputMixer.get()}) {
        if (mixer)
            mixer->uninitialize();
    }
    mOutputMixer.reset();
    mInputMixer.reset();
    mGraphs.clear();
    ZEPFreeEmptyAudioBufferList(mPullingBufferList);
}

OSStatus ZEPMultiAudioGraph::setMixerSlice(AudioUnit* mixer, UInt32 frames)
{
    OSStatus status = ZEPAudioUnitUtils::setMaxRenderSlice(frames, mixer);
    if (status != kAudioUnitErr_Initialized)
        return status;
    mixer->uninitialize();
    status = ZEPAudioUnitUtils::setMaxRenderSlice(frames, mixer);
    if (const OSStatus initialized = mixer->initialize())
        return initialized;
    return status;
}

OSStatus ZEPMultiAudioGraph::setProcessingChannelCount(UInt32 channels, Float64 sampleRate)
{
    std::vector<Float32> volumes;
    for (UInt32 t = 0; t < mGraphCount; ++t)
        volumes.push_back(volumeForTrack(t));

    AudioUnit* in = mInputMixer.get();
    AudioUnit* out = mOutputMixer.get();
    out->uninitialize();
    AudioStreamBasicDescription output;
    if (const OSStatus status = out->getStreamFormat(kAudioUnitScope_Output, 0, &output))
        return status;
    output.mSampleRate = sampleRate;
    if (const OSStatus status = out->setStreamFormat(kAudioUnitScope_Output, 0, output))
        return status;
    if (const OSStatus status = out->initialize())
        return status;
    ZEPAudioUnitUtils::resetVolumesForMatrixMixer(out);
    if (mGraphCount != 1)
        return noErr;

    AudioStreamBasicDescription format;
    if (const OSStatus status = in->getStreamFormat(kAudioUnitScope_Output, 0, &format))
        return status;
    if ((channels == 1 || channels == 2) && channels != format.mChannelsPerFrame) {
        format.mChannelsPerFrame = channels;
        in->uninitialize();
        if (const OSStatus status = in->setStreamFormat(kAudioUnitScope_Output, 0, format))
            return status;
        if (const OSStatus status = in->initialize())
            return status;
        out->uninitialize();
        if (const OSStatus status = out->setStreamFormat(kAudioUnitScope_Input, 0, format))
            return status;
        if (const OSStatus status = out->initialize())
            return status;
        for (const auto& graph : mGraphs) {
            const bool running = graph->isRunning();
            graph->stop();
            if (const OSStatus status = graph->setAudioDescription(format))
                return status;
            if (running) {
                if (const OSStatus status = graph->start())
                    return status;
            }
        }
    }

    if (const OSStatus status = ZEPAudioUnitUtils::resetVolumesForMatrixMixer(in))
        return status;
    OSStatus result = noErr;
    const auto setGlobalVolume = [&](AudioUnitElement element) {
        if (const OSStatus status = in->setParameter(kMatrixMixerParam_Volume, kAudioUnitScope_Global, element, 1.0f))
            result = status;
    };
    setGlobalVolume(kMatrixMixerMasterElement);
    for (UInt32 c = 0; c < channels; ++c)
        setGlobalVolume(0xFFFF0000 + c);
    setGlobalVolume(0x0000FFFF);
    setGlobalVolume(0x0001FFFF);
    if (const OSStatus status = ZEPAudioUnitUtils::resetVolumesForMatrixMixer(out))
        return status;
    setVolume(volumes[0], 0);
    if (channels == 1) {
        // The mono track on both output channels, the mean of its two input channels.
        if (const OSStatus status = ZEPAudioUnitUtils::matrixMixerUnit(out, 1.0f, 0, 1))
            result = status;
        if (const OSStatus status = in->setParameter(kMatrixMixerParam_Volume, kAudioUnitScope_Output, 0, 0.5f))
            result = status;
    }
    return result;
}

void ZEPMultiAudioGraph::setVolume(Float32 volume, UInt32 forTrack)
{
    mInputMixer->setParameter(kMatrixMixerParam_Volume, kAudioUnitScope_Input, 2 * forTrack, volume);
    mInputMixer->setParameter(kMatrixMixerParam_Volume, kAudioUnitScope_Input, 2 * forTrack + 1, volume);
}

Float32 ZEPMultiAudioGraph::volumeForTrack(UInt32 track)
{
    AudioUnitParameterValue volume = 0;
    if (mInputMixer->getParameter(kMatrixMixerParam_Volume, kAudioUnitScope_Input, 2 * track, &volume) != noErr)
        return 0;
    return volume;
}

OSStatus ZEPMultiAudioGraph::setLevelsEnabled(bool enabled)
{
    const UInt32 mode = enabled ? 1 : 0;
    return mOutputMixer->setProperty(kAudioUnitProperty_MeteringMode, kAudioUnitScope_Global, 0, &mode, sizeof mode);
}

bool ZEPMultiAudioGraph::levelsEnabled() const
{
    UInt32 mode = 0;
    UInt32 size = sizeof mode;
    return mOutputMixer->getProperty(kAudioUnitProperty_MeteringMode, kAudioUnitScope_Global, 0, &mode, &size) ==
               noErr &&
           mode == 1;
}

Float32 ZEPMultiAudioGraph::outputLevel(AudioUnitElement channel) const
{
    AudioUnitParameterValue decibels = 0;
    if (mOutputMixer->getParameter(kMatrixMixerParam_PostAveragePower, kAudioUnitScope_Output, channel, &decibels) !=
        noErr)
        return 0;
    return Float32(std::pow(10.0, decibels * 0.05) - 0.000001);
}

std::shared_ptr<ZEPAudioGraph> ZEPMultiAudioGraph::graphForTrack(UInt32 track) const
{
    return track < mGraphCount ? mGraphs[track] : nullptr;
}

void ZEPMultiAudioGraph::setGraph(std::shared_ptr<ZEPAudioGraph> graph, UInt32 forTrack)
{
    if (forTrack >= mGraphCount)
        return;
    mRenderGraphs[forTrack].store(graph.get());
    waitForRenderToFinish();
    mGraphs[forTrack] = std::move(graph); // the one replaced is released here, unused
}

void ZEPMultiAudioGraph::waitForRenderToFinish() const
{
    const UInt32 epoch = mRenderEpoch.load();
    if ((epoch & 1) == 0)
        return;
    while (mRenderEpoch.load() == epoch)
        std::this_thread::yield();
}

void ZEPMultiAudioGraph::setBuffersRealtimeAudio(bool buffersRealtimeAudio)
{
    for (const auto& graph : mGraphs)
        graph->setBuffersRealtimeAudio(buffersRealtimeAudio);
}

bool ZEPMultiAudioGraph::buffersRealtimeAudio() const
{
    return mGraphCount > 0 &&
           std::all_of(mGraphs.begin(), mGraphs.end(), [](const auto& graph) { return graph->buffersRealtimeAudio(); });
}

OSStatus ZEPMultiAudioGraph::setMaxRequestFrames(UInt32 maxRequestFrames)
{
    for (const auto& graph : mGraphs) {
        if (const OSStatus status = graph->setMaxRequestFrames(maxRequestFrames))
            return status;
    }
    if (const OSStatus status = setMixerSlice(mInputMixer.get(), maxRequestFrames))
        return status;
    return setMixerSlice(mOutputMixer.get(), maxRequestFrames);
}

UInt32 ZEPMultiAudioGraph::maxRequestFrames()
{
    UInt32 smallest = std::min(mInputMixer->maxFramesPerSlice(), mOutputMixer->maxFramesPerSlice());
    for (UInt32 t = 0; t < mGraphCount; ++t) {
        if (ZEPAudioGraph* graph = mRenderGraphs[t].load())
            smallest = std::min(smallest, graph->maxRequestFrames());
    }
    return smallest;
}

QVariantList ZEPMultiAudioGraph::serializableArray()
{
    QVariantList array;
    for (const auto& graph : mGraphs)
        array.append(QVariant(graph->serializableArray()));
    return array;
}

void ZEPMultiAudioGraph::setWithArray(const QVariantList& array)
{
    if (array.isEmpty()) {
        for (const auto& graph : mGraphs)
            graph->setWithArray({});
        return;
    }
    for (UInt32 t = 0; t < mGraphCount && t < UInt32(array.size()); ++t)
        mGraphs[t]->setWithArray(array[t].toList());
}

void ZEPMultiAudioGraph::updateEnabledStateWithArray(const QVariantList& array)
{
    for (UInt32 t = 0; t < mGraphCount && t < UInt32(array.size()); ++t)
        mGraphs[t]->updateEnabledStateWithArray(array[t].toList());
}

OSStatus ZEPMultiAudioGraph::start()
{
    stop();
    for (const auto& graph : mGraphs) {
        if (const OSStatus status = graph->start())
            return status;
    }
    return noErr;
}

OSStatus ZEPMultiAudioGraph::stop()
{
    for (const auto& graph : mGraphs) {
        if (const OSStatus status = graph->stop())
            return status;
    }
    return noErr;
}

void ZEPMultiAudioGraph::preroll()
{
    for (const auto& graph : mGraphs)
        graph->preroll();
}

void ZEPMultiAudioGraph::setGraphsEnabled(bool enabled)
{
    for (const auto& graph : mGraphs)
        graph->setEnabled(enabled);
}

bool ZEPMultiAudioGraph::graphsEnabled() const
{
    return std::all_of(mGraphs.begin(), mGraphs.end(), [](const auto& graph) { return graph->enabled(); });
}

OSStatus ZEPMultiAudioGraph::getAudioDescription(AudioStreamBasicDescription* description)
{
    return mOutputMixer->getStreamFormat(kAudioUnitScope_Output, 0, description);
}

// Render ---------------------------------------------------------------------------------

OSStatus ZEPMultiAudioGraph::renderFrames(UInt32* frames, AudioBufferList* ioData,
                                          AudioUnitRenderActionFlags* renderFlags, const AudioTimeStamp* timeStamp,
                                          void* sender)
{
    AudioUnitRenderActionFlags localFlags = 0;
    if (!renderFlags)
        renderFlags = &localFlags;
    // A track chain pulling its input: its bus of the input mixer.
    int track = -1;
    for (UInt32 t = 0; t < mGraphCount; ++t) {
        if (sender && mRenderGraphs[t].load(std::memory_order_relaxed) == sender)
            track = int(t);
    }
    if (track >= 0) {
        const OSStatus status = mInputMixer->render(renderFlags, timeStamp, UInt32(track), *frames, ioData);
        if (status == noErr && mSourceEnded)
            return kZEPAudioSourceEndOfData; // the frames delivered stand; the chain ends after them
        return status;
    }

    RenderScope inRender(mRenderEpoch);
    // The input mixer pulls the producer once per time stamp: slices need valid, distinct ones.
    AudioTimeStamp time;
    if (timeStamp)
        time = *timeStamp;
    if (!(time.mFlags & kAudioTimeStampSampleTimeValid)) {
        time.mSampleTime = mOwnSampleTime;
        time.mFlags |= kAudioTimeStampSampleTimeValid;
    }
    mOwnSampleTime += *frames;
    mTrackEnded = false;
    const OSStatus status = mOutputMixer->render(renderFlags, &time, 0, *frames, ioData);
    if (status == noErr && mTrackEnded) {
        *frames = 0;
        return kZEPAudioSourceEndOfData;
    }
    return status;
}

OSStatus ZEPMultiAudioGraph::inputMixerCallback(void* refCon, AudioUnitRenderActionFlags* flags,
                                                const AudioTimeStamp* timeStamp, UInt32, UInt32 frames,
                                                AudioBufferList* ioData)
{
    return static_cast<ZEPMultiAudioGraph*>(refCon)->pullSource(flags, timeStamp, frames, ioData);
}

OSStatus ZEPMultiAudioGraph::pullSource(AudioUnitRenderActionFlags* flags, const AudioTimeStamp* timeStamp,
                                        UInt32 frames, AudioBufferList* ioData)
{
    const UInt32 bytes = frames * UInt32(sizeof(Float32));
    mSourceEnded = false;
    mSourceDelivered = 0;
    ZEPAudioSource* source = mAudioSource.load(std::memory_order_acquire);
    if (!source) {
        padWithSilence(ioData, 0, bytes);
        *flags |= kAudioUnitRenderAction_OutputIsSilence;
        return noErr;
    }
    AudioBufferList* pulling = mPullingBufferList;
    pulling->mNumberBuffers = std::min(ioData->mNumberBuffers, std::max<UInt32>(2 * mGraphCount, 1));
    AudioTimeStamp time = *timeStamp;
    UInt32 filled = 0;
    while (filled < frames) {
        const UInt32 remaining = frames - filled;
        for (UInt32 i = 0; i < pulling->mNumberBuffers; ++i)
            pulling->mBuffers[i] = AudioBuffer{1, remaining * UInt32(sizeof(Float32)),
                                               static_cast<Float32*>(ioData->mBuffers[i].mData) + filled};
        UInt32 delivered = remaining;
        const OSStatus status = source->renderFrames(&delivered, pulling, flags, &time, this);
        delivered = std::min(delivered, remaining);
        if (pulling->mBuffers[0].mDataByteSize == 0)
            delivered = 0;
        filled += delivered;
        if (status != noErr || delivered == 0) {
            // The end, or nothing to be had now ("no data yet": the pulls go on).
            mSourceEnded = status == kZEPAudioSourceEndOfData || (status == noErr && delivered == 0);
            break;
        }
        time.mSampleTime += delivered;
    }
    mSourceDelivered = filled;
    padWithSilence(ioData, filled * UInt32(sizeof(Float32)), bytes);
    return noErr;
}

OSStatus ZEPMultiAudioGraph::outputMixerCallback(void* refCon, AudioUnitRenderActionFlags* flags,
                                                 const AudioTimeStamp* timeStamp, UInt32 bus, UInt32 frames,
                                                 AudioBufferList* ioData)
{
    auto* self = static_cast<ZEPMultiAudioGraph*>(refCon);
    OSStatus status = self->renderTrack(bus, flags, timeStamp, frames, ioData);
    if (status != noErr) {
        padWithSilence(ioData, 0, frames * UInt32(sizeof(Float32)));
        if (status == kZEPAudioSourceEndOfData)
            self->mTrackEnded = true;
    }
    return status;
}

OSStatus ZEPMultiAudioGraph::renderTrack(UInt32 track, AudioUnitRenderActionFlags* flags,
                                         const AudioTimeStamp* timeStamp, UInt32 frames, AudioBufferList* ioData)
{
    if (mBypassesGraphs.load(std::memory_order_relaxed)) {
        if (const OSStatus status = mInputMixer->render(flags, timeStamp, track, frames, ioData))
            return status;
        return mSourceEnded && mSourceDelivered == 0 ? kZEPAudioSourceEndOfData : noErr;
    }
    ZEPAudioGraph* graph = track < mGraphCount ? mRenderGraphs[track].load(std::memory_order_acquire) : nullptr;
    if (!graph) {
        padWithSilence(ioData, 0, frames * UInt32(sizeof(Float32)));
        return noErr;
    }
    UInt32 delivered = frames;
    return graph->renderFrames(&delivered, ioData, flags, timeStamp, this);
}
