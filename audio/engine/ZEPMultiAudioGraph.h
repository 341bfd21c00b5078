#pragma once
// An effect chain per track of a multi-track sound. The producer delivers every track at
// once as one non-interleaved stream of 2 channels per track (track t in channels 2t and
// 2t+1). An input matrix mixer splits it into one stereo bus per track; each bus runs
// through the track's own ZEPAudioGraph; an output matrix mixer sums the tracks into one
// stereo output, which is what a consumer renders. It is itself a ZEPAudioSource.
//
// One render of the output pulls the producer once: every track's chain renders its bus of
// the input mixer at the render's time stamp, and the mixer mixes all its buses on the
// first of those renders. A consumer whose time stamps carry no valid sample time gets
// numbered slices of the graph's own.
//
// The end of the producer (666) reaches the consumer after the slice that ended it (the
// track chains pad that slice with silence); "no data yet" (667) is silence for the rest
// of the slice and the pulls go on. A failed chain is silence on its bus for that slice.
//
// Slices: the graph, its chains and both mixers take slices of up to maxRequestFrames()
// frames (32768 at first, the playback mixer's largest slice); setMaxRequestFrames()
// changes all of them together.
//
// Threads: set-up and every call but the render ones on the owner's (control) thread; the
// processing format and the slice size only while nothing renders the graph. Render
// thread (one render at a time): renderFrames(), getAudioDescription(),
// maxRequestFrames(). setInputSource() and setGraph() may be called while it renders:
// setGraph() returns once no render can still use the graph it replaced. The render takes
// no lock of the graph's own; each track chain follows ZEPAudioGraph.h.
//
// Ownership: the graph shares its track chains (graphForTrack()); it does not own its
// producer, whose owner keeps it alive while the graph may pull it.

#include "audio/engine/ZEPAudioGraph.h"
#include "audio/engine/ZEPAudioSource.h"
#include "platform/audiounits/AudioUnit.h"

#include <QVariantList>

#include <atomic>
#include <memory>
#include <vector>

class ZEPMultiAudioGraph : public ZEPAudioSource {
public:
    // 44100 Hz float non-interleaved linear PCM, 2 channels (flags 41, 4 bytes per frame).
    static AudioStreamBasicDescription defaultInputDescription();

    // N track chains and both mixers; null (with the status in *outStatus: '!Mtx' when
    // there is no matrix mixer) when any part cannot be made.
    static std::unique_ptr<ZEPMultiAudioGraph> create(UInt32 tracks, OSStatus* outStatus = nullptr);
    ~ZEPMultiAudioGraph() override;
    ZEPMultiAudioGraph(const ZEPMultiAudioGraph&) = delete;
    ZEPMultiAudioGraph& operator=(const ZEPMultiAudioGraph&) = delete;

    // Export processing in mono (1) or stereo (2) channels at sampleRate: the output's rate
    // changes; with one track its chain also runs in that channel count, a mono track heard
    // on both output channels as the mean of its two input channels.
    OSStatus setProcessingChannelCount(UInt32 channels, Float64 sampleRate);

    // Volume of both input channels of a track (errors ignored); the left one read back, 0
    // on error.
    void setVolume(Float32 volume, UInt32 forTrack);
    Float32 volumeForTrack(UInt32 track);

    // Output metering.
    OSStatus setLevelsEnabled(bool enabled);
    bool levelsEnabled() const;
    // Linear: 10^(dB/20) - 0.000001 of the output's average power; 0 when it cannot be read.
    Float32 leftOutputLevel() const { return outputLevel(0); }
    Float32 rightOutputLevel() const { return outputLevel(1); }

    void setInputSource(ZEPAudioSource* audioSource) { mAudioSource.store(audioSource); }
    ZEPAudioSource* audioSource() const { return mAudioSource.load(); }

    UInt32 inputTracks() const { return mGraphCount; }
    // Null when track is not below inputTracks().
    std::shared_ptr<ZEPAudioGraph> graphForTrack(UInt32 track) const;
    // Replaces a track's chain (track must be below inputTracks()).
    void setGraph(std::shared_ptr<ZEPAudioGraph> graph, UInt32 forTrack);

    // Routes every track around its chain (the chains are not rendered).
    void setBypassesGraphs(bool bypassesGraphs) { mBypassesGraphs.store(bypassesGraphs); }
    bool bypassesGraphs() const { return mBypassesGraphs.load(); }

    void setBuffersRealtimeAudio(bool buffersRealtimeAudio);
    // True when there are tracks and every chain buffers.
    bool buffersRealtimeAudio() const;

    // The saved chains, one list per track.
    QVariantList serializableArray();
    // Element t to track t (elements past the last track ignored); an empty list empties
    // every chain and keeps their enabled state.
    void setWithArray(const QVariantList& array);
    void updateEnabledStateWithArray(const QVariantList& array);

    // Stops, then starts each chain; the first failure is returned.
    OSStatus start();
    OSStatus stop();
    // Pre-rolls every chain (before an export).
    void preroll();
    void setGraphsEnabled(bool enabled);
    // True when every chain is enabled (true with no tracks).
    bool graphsEnabled() const;

    // The producer contract. A render from one of the track chains renders its bus of the
    // input mixer; any other renders the output.
    OSStatus getAudioDescription(AudioStreamBasicDescription* description) override;
    OSStatus renderFrames(UInt32* frames, AudioBufferList* ioData, AudioUnitRenderActionFlags* renderFlags,
                          const AudioTimeStamp* timeStamp, void* sender) override;
    OSStatus setMaxRequestFrames(UInt32 maxRequestFrames) override;
    // The smallest of the chains' and the mixers'.
    UInt32 maxRequestFrames() override;
    SInt64 framesAvailable() override { return 512; }
    bool isFlushing() override { return false; }
    void flush() override {}

private:
    explicit ZEPMultiAudioGraph(UInt32 tracks);
    OSStatus build();
    OSStatus setupInputMixer();
    OSStatus setupOutputMixer();
    Float32 outputLevel(AudioUnitElement channel) const;
    // Sets a mixer's largest slice, reinitialising it when it must.
    static OSStatus setMixerSlice(AudioUnit* mixer, UInt32 frames);

    static OSStatus inputMixerCallback(void* refCon, AudioUnitRenderActionFlags* flags,
                                       const AudioTimeStamp* timeStamp, UInt32 bus, UInt32 frames,
                                       AudioBufferList* ioData);
    static OSStatus outputMixerCallback(void* refCon, AudioUnitRenderActionFlags* flags,
                                        const AudioTimeStamp* timeStamp, UInt32 bus, UInt32 frames,
                                        AudioBufferList* ioData);
    OSStatus pullSource(AudioUnitRenderActionFlags* flags, const AudioTimeStamp* timeStamp, UInt32 frames,
                        AudioBufferList* ioData);
    OSStatus renderTrack(UInt32 track, AudioUnitRenderActionFlags* flags, const AudioTimeStamp* timeStamp,
                         UInt32 frames, AudioBufferList* ioData);
    // Returns once no render that started before the call is still running.
    void waitForRenderToFinish() const;

    const UInt32 mGraphCount;
    std::vector<std::shared_ptr<ZEPAudioGraph>> mGraphs; // control thread's
    std::unique_ptr<std::atomic<ZEPAudioGraph*>[]> mRenderGraphs; // what renders use
    std::unique_ptr<AudioUnit> mInputMixer;
    std::unique_ptr<AudioUnit> mOutputMixer;
    std::atomic<ZEPAudioSource*> mAudioSource{nullptr};
    std::atomic<bool> mBypassesGraphs{false};

    // Render side.
    AudioBufferList* mPullingBufferList = nullptr; // points into the input mixer's buffers
    std::atomic<UInt32> mRenderEpoch{0}; // odd while a render runs
    Float64 mOwnSampleTime = 0;
    bool mSourceEnded = false;     // the producer's last pull answered 666
    UInt32 mSourceDelivered = 0;   // frames it delivered in the slice that ended it
    bool mTrackEnded = false;      // a track reported the end during this render
};
