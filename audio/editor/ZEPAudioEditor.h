#pragma once
// The non-destructive edit model of one sound: the sorted list of skipped regions (cuts and
// silences), the markers, the metadata tags, the per-track effects chain and normalisation
// values, all saved and restored as one settings dictionary; and the mapping between
// positions of the file ("absolute") and of the edited sound with its cuts taken out
// ("relative"). The sound file itself is never changed.
//
// Abstract: ZEPAudioFileEditor supplies the audio and the region edits. Positions and
// lengths are packets of the extraction format (linear PCM: one packet is one frame).
//
// Threads: regions, markers, tags, settings and undo run on the main thread. The reader of
// the audio (a loader or conversion thread) reads the region list; edits that replace the
// list stop playback first, and callers that edit while a reader may run hold lock().
//
// The editor plays its sound itself, through a chain of its own beside the board mixer:
// the audio read with every edit is split by an input matrix mixer into one stereo stream
// per track, buffered per track (with live preview), passed per track through a preview
// converter that sounds like the export settings (with live preview), mixed back by an
// output matrix mixer, run through the per-track effects chain and played by a pull
// player. Scrubbing plays short bursts at a position through a slam player.
//
// Playback threads: every public playback and scrub call on the main thread. The file is
// read and the chain rendered on loader threads, never on the device's thread: the first
// track ring's loader pulls pullFrames() (live preview), and the pull player's loaders pull
// the effects chain, which pulls renderFrames() under the editor's lock. The device's
// thread only reads the player's ring. The slam player tells of its mark on the device's
// thread, which only hands the work to the main thread.
//
// Observed keys (ObservableObject): "playing", "paused", "loop", "encodeSettings",
// "estimatedFileSize".

#include "audio/editor/ZEPAudioEditorDelegate.h"
#include "audio/editor/ZEPAudioMarker.h"
#include "audio/editor/ZEPAudioRegion.h"
#include "audio/engine/ZEPAudioPlayer.h"
#include "audio/engine/ZEPMultiAudioGraph.h"
#include "audio/files/ZEPAudioConverterDataSource.h"
#include "platform/ObservableObject.h"
#include "platform/RealtimeMessageTarget.h"
#include "platform/UndoManager.h"
#include "platform/ZEPFileRef.h"

#include <QPointer>
#include <QString>
#include <QVariantList>
#include <QVariantMap>

#include <atomic>
#include <memory>
#include <mutex>
#include <optional>
#include <stdexcept>
#include <vector>

class ZEPAudioDevice;
class ZEPAudioPullRingBuffer;
class ZEPPreviewConverter;
class ZEPPullAudioPlayer;
class ZEPSlamAudioPlayer;

// Raised by the operations a subclass must supply; name "ZEPSubclassMustImplementException".
class ZEPSubclassMustImplementException : public std::logic_error {
public:
    explicit ZEPSubclassMustImplementException(const std::string& reason) : std::logic_error(reason) {}
    static const char* name() { return "ZEPSubclassMustImplementException"; }
};

// The argument of replaceRegionWithRegion(): the object in the list and the one to put in its
// place ("ReplaceMe" and "ReplaceWith"). A null member counts as a missing key.
struct ZEPRegionReplacement {
    ZEPAudioRegionRef replaceMe;
    ZEPAudioRegionRef replaceWith;
};

struct ZEPMarkerReplacement {
    ZEPAudioMarkerRef replaceMe;
    ZEPAudioMarkerRef replaceWith;
};

class ZEPAudioEditor : public ObservableObject,
                       public ZEPAudioSource,
                       public ZEPAudioConverterDataSource,
                       public ZEPAudioPlayerDelegate,
                       protected RealtimeMessageTarget {
    Q_OBJECT
    Q_PROPERTY(bool playing READ isPlaying)
    Q_PROPERTY(QVariantMap encodeSettings READ encodeSettings WRITE setEncodeSettings)

public:
    // What the model is doing with its audio.
    enum OperationMode : UInt32 {
        kIdleMode = 0,
        kPlaybackMode = 1,   // the editor plays a region
        kExtractionMode = 2, // audio is extracted for export or for the board's cache
    };

    // Keys of the settings dictionary.
    static inline const QString EncodeSettingsKey = QStringLiteral("EncodeSettings");
    static inline const QString GraphSettingsKey = QStringLiteral("GraphSettings");
    static inline const QString EditsKey = QStringLiteral("Edits");
    static inline const QString MarkersKey = QStringLiteral("Markers");
    static inline const QString TagsKey = QStringLiteral("Tags");
    static inline const QString DurationKey = QStringLiteral("duration");

    ~ZEPAudioEditor() override;

    // "title", "artist", "album", "copyright", "comments" empty; "genre" "Sound Clip";
    // "encoder" "Glassjar Studio"; "year" this year as an integer.
    static QVariantMap defaultTags();

    // Multiplies the samples of one channel that lie under the fade region by its fade curve
    // and clamps them to [-1, 1]. The count samples evenly cover the region `covered`;
    // framesPerSample is not used. Allocates nothing: safe on reading threads.
    static void applyFade(const ZEPAudioRegion& fade, Float32* samples, UInt32 count, UInt32 framesPerSample,
                          const ZEPAudioRegion& covered);

    // Builds the chain once: the input and output mixers and the per-track rings (the first
    // failing step's status is returned and the chain stays unbuilt), every track's native
    // and normalised peak 1.0, the encode settings {"fileType": 'AIFF'}, a scrub duration of
    // 1.0 s; answers 0. Again later: nothing.
    virtual OSStatus initAudioChain();
    bool audioChainInited() const { return mAudioChainInited; }

    // The recursive lock that guards the audio chain (and, for the editor interface, its own
    // work on the model).
    void lock() { mLock.lock(); }
    void unlock() { mLock.unlock(); }

    // Supplied by the subclass; the base raises ZEPSubclassMustImplementException.
    // Raw read from the read location, no edits.
    virtual OSStatus readPackets(UInt32* packets, AudioBufferList* buffer);
    // Read with the edits applied (see ZEPAudioFileEditor).
    virtual OSStatus readPackets(UInt32* packets, AudioBufferList* buffer, AudioStreamPacketDescription* descriptions,
                                 bool skipAllRegions, bool applyFade);
    virtual OSStatus getExtractionAudioDescription(AudioStreamBasicDescription* description);
    virtual ZEPAudioRegionRef absoluteTotalRegion();
    virtual ZEPAudioRegionRef totalRegionVisible(bool visibleOnly);
    virtual SInt64 totalLengthVisible(bool visibleOnly);
    virtual void setReadLocation(SInt64 location);
    virtual ZEPAudioMarkerList visibleMarkers();

    // Answers a subclass replaces.
    virtual std::optional<ZEPFileRef> fileRef() { return std::nullopt; }
    virtual bool isLoading() { return false; }
    virtual SInt64 totalSampleCount() { return 0; }
    virtual UInt32 trackCount() { return 1; }
    virtual bool canPlay() { return true; }
    OSStatus setMaxRequestFrames(UInt32) override { return noErr; }
    // The largest slice the model's own chain (its playback and extraction) takes: 0, no
    // limit. maxRequestFrames() answers the same unless a subclass renders another way.
    virtual UInt32 chainMaxRequestFrames() { return 0; }
    UInt32 maxRequestFrames() override { return chainMaxRequestFrames(); }
    bool isFlushing() override { return false; }
    void flush() override {}
    // -1: unlimited.
    SInt64 framesAvailable() override { return -1; }
    virtual void updatePlayRegion(const ZEPAudioRegionRef&) {}

    SInt64 readLocation() const { return mCurReadLocation; }

    // Regions and markers. The live lists: callers that add keep the region list sorted.
    const ZEPAudioRegionList& skippedRegions() const { return mSkippedRegions; }
    ZEPAudioRegionList& skippedRegions() { return mSkippedRegions; }
    const ZEPAudioMarkerList& markers() const { return mMarkers; }
    ZEPAudioMarkerList& markers() { return mMarkers; }
    // Replaces the list, leaving out regions equal (same index and length) to one already
    // taken, in the array's order. Stops playback when playing. No undo.
    void setSkippedRegions(const ZEPAudioRegionList& regions);
    // Registers the inverse (a deep copy of the current list) and then sets the list: every
    // undoable change of the whole list goes through here.
    void undoSkippedRegions(const ZEPAudioRegionList& regions);
    // Puts replaceWith in the place of the first region equal to replaceMe and registers the
    // swap for undo. Nothing (and no undo) when one is missing or replaceMe is not there.
    void replaceRegionWithRegion(const ZEPRegionReplacement& replacement);
    void replaceMarkerWithMarker(const ZEPMarkerReplacement& replacement);
    void setMarkers(const ZEPAudioMarkerList& markers);
    ZEPAudioMarkerList sortedMarkers() const;
    // Adds the marker unless one stands at its location; undo removes a copy.
    void addMarker(const ZEPAudioMarkerRef& marker);
    // Removes every marker at the marker's location; undo adds a copy.
    void removeMarker(const ZEPAudioMarkerRef& marker);
    // A new marker "New Marker" at the absolute location, added with addMarker().
    ZEPAudioMarkerRef markLocation(SInt64 location);
    ZEPAudioMarkerList markersInRegion(const ZEPAudioRegion& region) const;
    // New markers for those, moved so that the region's first packet is 0.
    ZEPAudioMarkerList markersInAndRelativeToRegion(const ZEPAudioRegion& region) const;
    // The skipped regions of the type (kZEPAudioRegionAnyType: all) whose first packet lies
    // in the region, in list order.
    ZEPAudioRegionList regionsOfType(UInt32 type, const ZEPAudioRegion& region) const;
    // Copies of those cut to the region and moved so that its first packet is 0.
    ZEPAudioRegionList regionsOfTypeRelativeToRegion(UInt32 type, const ZEPAudioRegion& region) const;
    // Makes every region the model makes or copies of this class; the skipped regions are
    // made again as objects of it, in order.
    void setAudioRegionClass(const ZEPAudioRegionClass& regionClass);
    ZEPAudioRegionClass audioRegionClass() const { return mAudioRegionClass; }

    // Position mapping; only cuts take part. A position inside a cut maps to the relative
    // position where the cut begins.
    SInt64 absoluteIndexWithRelativeIndex(SInt64 relative) const;
    SInt64 relativeIndexWithAbsoluteIndex(SInt64 absolute) const;
    ZEPAudioRegionRef relativeRegionWithAbsoluteRegion(const ZEPAudioRegion& region);
    SInt64 playbackLengthWithAbsoluteRegion(const ZEPAudioRegion& region);

    // Normalisation, per track 0 or 1 (other tracks: setters ignored, getters 0).
    void setSamplesNativeMax(Float32 max, UInt32 track);
    Float32 samplesNativeMaxForTrack(UInt32 track) const;
    void setSum(double sum, UInt32 track);
    double sumForTrack(UInt32 track) const;
    void setSquaredSamplesSum(double sum, UInt32 track);
    double squaredSamplesSumForTrack(UInt32 track) const;
    void setRMS(double rms, UInt32 track);
    double rmsForTrack(UInt32 track) const;
    // normalizedMax / nativeMax (0 when nativeMax is not above 0) while normalisation is
    // applied, else 1.
    Float32 normalizeScaleFactorForTrack(UInt32 track) const;
    // Stores the target peak and sets the resulting scale factor as the track's volume in
    // the effects chain.
    void setNormalizedMax(Float32 max, UInt32 track);
    Float32 normalizedMaxForTrack(UInt32 track) const;
    void setNormalizeScaleFactor(Float32 factor, UInt32 track);
    Float32 maxAfterNormalizationForTrack(UInt32 track) const;
    void setMaxAfterNormalization(Float32 max, UInt32 track) { setNormalizedMax(max, track); }
    // {"track": unsigned, "normalizedMax": float}.
    void setNormalizedMaxWithDict(const QVariantMap& dictionary);
    // Only stores the flag; the mixers see it at the next setNormalizedMax().
    void setAppliesNormalization(bool applies) { mAppliesNormalization = applies; }
    bool appliesNormalization() const { return mAppliesNormalization; }

    // Settings dictionary: "EncodeSettings", "GraphSettings", "Edits", "Markers", "Tags" and
    // "duration". Applying leaves the part of every absent key (and of a value of the wrong
    // kind) unchanged; "duration" is not read.
    virtual QVariantMap settings();
    virtual void setSettings(const QVariantMap& settings);
    // settings() with only the markers and edits inside the region, moved so that the
    // region's first packet is 0.
    QVariantMap settingsRelativeToRegion(const ZEPAudioRegion& region);
    QVariantList serializableRemovedRegions() const;
    // Regions made with the region class, silences showing both edges, sorted.
    void setSerializableRegions(const QVariantList& regions);
    QVariantList serializableMarkers() const;
    void setSerializableMarkers(const QVariantList& markers);

    // {"fileType": unsigned type, "encoderSettings": stream description dictionary with
    // "bitRate" and "quality"}: the settings the first preview converter's encoder took, or
    // (with no preview converter) the settings last given. Empty when no file type is set.
    // Setting: settings for more than two channels are ignored; no type and no settings take
    // the lossless settings. With live preview on, every track gets a new preview converter
    // for them (one for the file type's default description when the settings are refused),
    // and a playing editor switches over without a gap.
    virtual QVariantMap encodeSettings();
    virtual void setEncodeSettings(const QVariantMap& settings);
    // "<format name>, <encoder settings description>"; null when the format has no name.
    QString audioSettingsDescription();

    // The per-track effects chain (one chain per track, saved as one array).
    ZEPMultiAudioGraph* effectsGraph() const { return mEffectsGraph.get(); }
    // Keeps the chain, makes the editor its producer and enables it.
    void setEffectsGraph(std::shared_ptr<ZEPMultiAudioGraph> graph);
    void setEffectsGraphEnabled(bool enabled) { mEffectsGraphEnabled = enabled; }
    bool effectsGraphEnabled() const { return mEffectsGraphEnabled; }
    // The chain's saved form; nothing without a chain.
    std::optional<QVariantList> graphSettings() const;
    void setGraphSettings(const QVariantList& settings);
    Float32 leftOutputLevel() const;
    Float32 rightOutputLevel() const;

    // The extraction format's sample rate.
    double samplesPerSecond();
    // Seconds of the edited sound (cuts taken out); 0 when the length or rate is not above 0.
    double duration();

    // Extraction (export and the board's cache): operation mode 2, the chain started.
    virtual OSStatus getReadyForExtraction();
    // The export region becomes the whole file.
    void resetExportRegion();
    bool isExporting() const { return bool(mExportRegion); }
    virtual SInt64 exportPacketsReturned() { return mExportPacketsReturned; }
    UInt32 operationMode() const { return mOperationMode; }

    // ---- Editor playback and scrubbing (ZEPAudioEditorPlayback.cpp, ZEPAudioEditorScrubbing.cpp) ----

    // playRegion() of a region that the cuts leave empty.
    static constexpr OSStatus kEmptyRegionError = OSStatus(FourCC("!len"));
    // Bytes of each per-track buffer the preview converters read through.
    static constexpr UInt32 kTrackInputBufferListSize = 16384;
    // Frames the first track ring's loader pulls at a time.
    static constexpr UInt32 kTrackRingPullFrames = 512;
    // Largest slices of the output mixer (and of stereo reads) and of the stereo mixer.
    static constexpr UInt32 kOutputMixerMaxFrames = 2048;
    static constexpr UInt32 kStereoMixerMaxFrames = 4096;
    // Frames each ring of the editor's pull player holds: little, so that an edit of the
    // effects chain, which renders before that ring, is heard soon.
    static constexpr UInt32 kPlayerRingFrames = 16384;

    // Plays the region (null: the whole file) with the edits, from the position set while
    // stopped when it lies inside, else from the region's start, looping when loop() is on
    // and otherwise stopping after the region's last frame. A region that starts or ends
    // inside a skipped region is moved out of it. Answers 0, kEmptyRegionError, or the
    // first failing status.
    virtual OSStatus playRegion(const ZEPAudioRegionRef& region);
    // With ignoreLoop, plays once whatever loop() says (the flag is kept as it was).
    OSStatus playRegion(const ZEPAudioRegionRef& region, bool ignoreLoop);
    // Ends playback: the stopped position goes just after the first skipped region (the
    // start region), the playback region is released and the read location returns to 0.
    virtual void stopPlayback();
    bool isPlaying() const;
    // Stops the effects chain and pauses the player; resume starts both again.
    void pausePlayback();
    void resumePlayback();
    bool isPaused() const;
    // The absolute and the relative (edited) position of playback, or of the stopped editor.
    SInt64 playbackLocation();
    SInt64 relativePlaybackLocation();
    // While stopped or paused: stops the player and keeps the position (with allowWrap, a
    // position inside a cut moves to its end, one past the end to the start). While
    // playing: jumps there without a gap when the playback region holds it, else nothing.
    void setPlaybackLocation(SInt64 location) { setPlaybackLocation(location, true); }
    void setPlaybackLocation(SInt64 location, bool allowWrap);
    void setRelativePlaybackLocation(SInt64 location);
    // Looping over the playback region; turning it off lets the current pass end.
    void setLoop(bool loop);
    bool loop() const { return mLoop; }
    // Seconds of the edited sound played or extracted so far, and that over duration().
    double relativePlaybackTime();
    float playbackPercentage();
    void setBuffersRealtimeAudio(bool buffersRealtimeAudio);
    bool buffersRealtimeAudio() const;
    // The player of the moment (null when stopped) and the scrub player (null unless scrubbing).
    ZEPPullAudioPlayer* player() const { return mPlayer.get(); }
    ZEPSlamAudioPlayer* scrubPlayer() const { return mScrubPlayer.get(); }
    AudioUnit* inputMixer() const { return mInputMixer.get(); }
    AudioUnit* outputMixer() const { return mOutputMixer.get(); }

    // The producer contract: the effects chain's description (the extraction format without
    // a chain); the render of the operation mode: mode 1 renders the output mixer under the
    // editor's lock (loader threads only: it reads the file), mode 2 is the extraction
    // render (renderExtractionFrames()), mode 0 answers silence.
    OSStatus getAudioDescription(AudioStreamBasicDescription* description) override;
    OSStatus renderFrames(UInt32* frames, AudioBufferList* ioData, AudioUnitRenderActionFlags* renderFlags,
                          const AudioTimeStamp* timeStamp, void* sender) override;
    // The first track ring's pull (its loader thread): renders every track of the input
    // mixer at once, the other tracks into their rings, track 0 into bufferList. A read
    // failure is kept and answered to every later pull until the next playRegion().
    OSStatus pullFrames(UInt32* frames, AudioBufferList* bufferList, const AudioTimeStamp* timeStamp);
    // The data source of the preview converters (the encoder stands for its preview
    // converter): frames of the converter's track ring, through the track's own buffers.
    OSStatus converter(ZEPAudioConverter* converter, UInt32* readPackets, AudioBufferList* bufferList,
                       AudioStreamPacketDescription** packetDescriptions) override;
    // Raw packets from the read location through the stereo mixer (every track summed onto
    // one stereo pair with its normalisation gain), in slices of at most 2048 frames.
    virtual OSStatus readStereoPackets(UInt32* packets, AudioBufferList* buffer);
    // The mixers' render callbacks.
    OSStatus inputMixerCallbackWithFlags(AudioUnitRenderActionFlags* flags, const AudioTimeStamp* timeStamp,
                                         UInt32 bus, UInt32 frames, AudioBufferList* ioData);
    OSStatus outputMixerCallbackWithFlags(AudioUnitRenderActionFlags* flags, const AudioTimeStamp* timeStamp,
                                          UInt32 bus, UInt32 frames, AudioBufferList* ioData);
    OSStatus stereoMatrixMixerCallbackWithFlags(AudioUnitRenderActionFlags* flags, const AudioTimeStamp* timeStamp,
                                                UInt32 bus, UInt32 frames, AudioBufferList* ioData);

    // Player delegate: a change of the editor player's state is announced as "playing" and
    // "paused"; a player that stopped leaves the position at the playback region's start.
    void playerStatusChanged(ZEPAudioPlayer* player) override;
    // Device thread: a scrub asked for while the burst played is handed to the main thread.
    void slamAudioPlayerDidReachMark(ZEPSlamAudioPlayer* player) override;

    // Scrubbing: bursts of scrubDuration() seconds of the raw sound at a position; a burst
    // plays at least minimumScrubDuration() seconds before another replaces it, and a
    // position asked for meanwhile plays next (the newest one).
    void setScrubs(bool scrubs) { mScrubs = scrubs; }
    bool scrubs() const { return mScrubs; }
    void setScrubDuration(Float32 seconds);
    Float32 scrubDuration() const { return mScrubDuration; }
    void setMinimumScrubDuration(Float32 seconds) { mMinimumScrubDuration = seconds; }
    Float32 minimumScrubDuration() const { return mMinimumScrubDuration; }
    // Starts a scrub gesture: a scrub player, unless scrubbing is off or the editor plays.
    void startScrub();
    virtual void scrubAtLocation(SInt64 location);
    // Ends the gesture and puts the read location back where it was.
    void endScrub();
    bool isScrubing() const { return bool(mScrubPlayer); }
    void handlePendingScrub();
    // The first frame i where both channels cross zero upwards between i and i + 1, and the
    // last frame before a frame where both channels cross zero either way; false unless
    // both exist. crossings[0] and [1] are -1 when not found.
    static bool getCommonZeroCrossings(SInt64 crossings[2], const AudioBufferList* bufferList, UInt32 frames);

    // The undo manager is not owned; the model's actions are removed from it when the model
    // goes away.
    void setUndoManager(UndoManager* undoManager) { mUndoManager = undoManager; }
    UndoManager* undoManager() const { return mUndoManager.data(); }
    // Not owned.
    void setDelegate(ZEPAudioEditorDelegate* delegate) { mDelegate = delegate; }
    ZEPAudioEditorDelegate* delegate() const { return mDelegate; }
    virtual bool originalIsLossless() { return mOriginalIsLossless; }
    void setOriginalIsLossless(bool lossless) { mOriginalIsLossless = lossless; }
    void setReverting(bool reverting) { mReverting = reverting; }
    bool isReverting() const { return mReverting; }
    virtual void setLivePreviewEnabled(bool enabled) { mLivePreviewEnabled = enabled; }
    virtual bool livePreviewEnabled() { return mLivePreviewEnabled; }
    const QVariantMap& tags() const { return mTags; }
    void setTags(const QVariantMap& tags) { mTags = tags; }
    // Keeps the device's uid (null for none: the default output) and moves the player there.
    void setOutputDevice(const ZEPAudioDevice* device);
    QString outputDeviceUID() const { return mOutputDeviceUID; }
    // Stored, and set on the player; the player's volume while there is one.
    virtual void setPlaybackVolume(Float32 volume);
    virtual Float32 playbackVolume();

protected:
    ZEPAudioEditor();

    // Raises ZEPSubclassMustImplementException for the named operation.
    [[noreturn]] static void subclassMustImplement(const char* operation);
    // Registers action for undo with the model as target, when there is an undo manager.
    void registerUndo(UndoManager::Action action);
    // New copies of every region, in order.
    static ZEPAudioRegionList deepCopy(const ZEPAudioRegionList& regions);
    // The first region of the list equal (same index and length) to region, or -1.
    qsizetype indexOfEqualRegion(const ZEPAudioRegion& region) const;
    static constexpr UInt32 kMaxTracks = 2;
    static bool validTrack(UInt32 track) { return track < kMaxTracks; }
    // Chain building, called by initAudioChain(); each answers 0 or the failing status
    // ('!Mtx' without a matrix mixer).
    OSStatus setupInputMixer();
    OSStatus setupOutputMixer();
    OSStatus setupInputRingBuffers();
    OSStatus setupStereoMatrixMixer();
    // The first track ring, null before the chain is built.
    ZEPAudioPullRingBuffer* firstTrackRing() const;
    void stopTrackRings();
    void resetTrackRings();
    // Primes the first track ring with a second of audio and starts its loader.
    void primeAndStartTrackRings();
    // Builds a preview converter per track for the format (see setEncodeSettings()).
    void rebuildPreviewConverters(const AudioStreamBasicDescription& previewFormat, UInt32 bitRate, UInt32 quality,
                                  UInt32 fileType);
    // The relative position the player's sample time stands for (wrapped into the region).
    SInt64 relativeLocationAtSampleTime(double sampleTime) const;
    // The source the player pulls: the effects chain (bypassed while disabled), else the editor.
    ZEPAudioSource* playerSource();
    // The editor's own render as a producer, which the chain and the player pull whatever a
    // subclass makes of renderFrames() for other consumers (the board feed's is the board
    // mixer's).
    ZEPAudioSource* ownRender();
    void releasePlayer();
    // Ends every thread that reads the sound (scrub player, track ring loader, player): a
    // subclass calls it first thing in its destructor, before what those threads read goes.
    void stopAudio();
    void handleRealtimeMessage(uint16_t message) override;
    enum RealtimeMessage : uint16_t { kHandlePendingScrubMessage = 1 };

    // Per-track values: a track beyond the last is not stored and reads as 0.
    template <class T>
    static void storeForTrack(T (&values)[kMaxTracks], UInt32 track, T value)
    {
        if (validTrack(track))
            values[track] = value;
    }
    template <class T>
    static T valueForTrack(const T (&values)[kMaxTracks], UInt32 track)
    {
        return validTrack(track) ? values[track] : T(0);
    }

    std::recursive_mutex mLock;
    ZEPAudioRegionList mSkippedRegions;
    ZEPAudioMarkerList mMarkers;
    SInt64 mCurReadLocation = 0;
    bool mNeedToSetReadLocation = false;
    QPointer<UndoManager> mUndoManager;
    std::shared_ptr<ZEPMultiAudioGraph> mEffectsGraph;
    std::unique_ptr<ZEPAudioSource> mOwnRender;
    bool mEffectsGraphEnabled = false;
    UInt32 mOperationMode = kIdleMode;

    // Playback state.
    std::atomic<OSStatus> mInputError{noErr};
    std::unique_ptr<AudioUnit> mInputMixer;
    AudioTimeStamp mInputMixerTimeStamps[kMaxTracks];
    std::vector<std::unique_ptr<ZEPAudioPullRingBuffer>> mTrackRingBuffers;
    std::vector<std::unique_ptr<ZEPPreviewConverter>> mTrackPreviewers;
    AudioBufferList* mTrackInputBufferLists[kMaxTracks] = {nullptr, nullptr};
    UInt32 mTrackInputBufferListSize = kTrackInputBufferListSize;
    std::unique_ptr<AudioUnit> mOutputMixer;
    bool mPlaybackLocationModified = false;
    SInt64 mPlaybackLocation = 0;
    std::unique_ptr<ZEPPullAudioPlayer> mPlayer;
    ZEPAudioRegionRef mPlaybackRegion;
    ZEPAudioRegionRef mRelativePlaybackRegion;
    UInt32 mFileType = 0;
    bool mLoop = false;
    // What the input mixer's callback read in its last call: frames, whether the audio had
    // run out, and a read failure (the mixers themselves turn a failed input into silence).
    UInt32 mInputFramesRead = 0;
    bool mInputEnded = false;
    OSStatus mInputReadStatus = noErr;
    // The first track ring's producer (calls pullFrames()).
    std::unique_ptr<ZEPAudioPullRingBufferAudioSource> mTrackRingSource;
    // The playback under way goes through the preview converters (fixed when it starts, so
    // that switching live preview mid-play never lets two threads render the input mixer).
    bool mPlayingThroughPreview = false;
    // Time of renders whose caller gives no sample time.
    Float64 mOwnRenderSampleTime = 0;
    std::unique_ptr<ZEPSlamAudioPlayer> mScrubPlayer;
    AudioBufferList* mScrubInputBufferList = nullptr;
    UInt32 mMaxScrubInputBufferListSize = 0;
    Float32 mMinimumScrubDuration = 0;
    Float32 mScrubDuration = 0;
    UInt32 mScrubDurationFrames = 0;
    SInt64 mPreScrubLocation = -1;
    SInt64 mLastScrubLocation = -1;
    bool mFirstScrub = false;
    bool mScrubs = false;
    bool mStereoMixerSetUp = false;
    std::unique_ptr<AudioUnit> mStereoMatrixMixer;
    AudioTimeStamp mStereoMatrixMixerTimeStamp;
    // A burst asked for before the current one reached its minimum, and its position.
    std::atomic<bool> mPendingScrub{false};
    SInt64 mPendingScrubLocation = -1;
    // Set on the device thread when the burst under way reaches its minimum (its mark).
    std::atomic<bool> mBurstReachedMinimum{false};

    // Export state.
    ZEPAudioRegionRef mExportRegion;
    SInt64 mExportPacketsReturned = 0;
    SInt64 mExportPacketsRequested = 0;

    // ===== Export: defined in ZEPAudioEditorExport.cpp =====
    // Include "audio/editor/ZEPAudioEditorExport.h" for the delegates named here, the
    // threads of an export and its notification.
public:
    // Starts exporting the region (the whole file when null) to a new file at path with the
    // editor settings given (kept for this export only) or the editor's own: a byte limit
    // per file (0: none), a duration limit in seconds (0: none), and with allowSplitting the
    // rest goes into numbered files. The first file's reference goes to *exportedFileRef.
    // 0 when the conversion started; else the failure of getReadyForExtraction(), '!Enc' (no
    // encoder for the formats), '!Wrt' or the writer's code (no file), '!Trd' (no thread).
    OSStatus exportRegion(const ZEPAudioRegionRef& region, const QString& path,
                          const std::optional<QVariantMap>& settings, UInt32 maxSize, double maxDuration,
                          bool allowSplitting, class ZEPAudioEditorExportDelegate* delegate,
                          std::optional<ZEPFileRef>* exportedFileRef);
    // No duration limit, splitting allowed.
    OSStatus exportRegion(const ZEPAudioRegionRef& region, const QString& path,
                          const std::optional<QVariantMap>& settings, UInt32 maxSize,
                          class ZEPAudioEditorExportDelegate* delegate, std::optional<ZEPFileRef>* exportedFileRef);
    // Synchronous, splitting not allowed: returns once the export has ended, with its result
    // code (0, or 1 when cancelled), or with the start's failure.
    OSStatus exportRegion(const ZEPAudioRegionRef& region, const QString& path,
                          const std::optional<QVariantMap>& settings, UInt32 maxSize, double maxDuration,
                          class ZEPAudioEditorExportProgressDelegate* progressDelegate,
                          std::optional<ZEPFileRef>* exportedFileRef);
    OSStatus exportRegion(const ZEPAudioRegionRef& region, const QString& path,
                          const std::optional<QVariantMap>& settings, UInt32 maxSize,
                          std::optional<ZEPFileRef>* exportedFileRef,
                          class ZEPAudioEditorExportProgressDelegate* progressDelegate);
    // Stops the conversion; the end (code 1, the files deleted) follows on the main thread.
    void cancelExport();
    void cancelActivity() { cancelExport(); }
    // Ends a running conversion at once and waits for its thread; the end still follows.
    void stopExport();
    // The relative position the export has reached, and the relative region it exports.
    SInt64 exportLocation() const;
    ZEPAudioRegionRef relativeExportRegion() const;
    void setExportPath(const QString& path);
    QString exportPath() const;
    void setExportPriority(Float32 priority);
    Float32 exportPriority() const;
    // 0.0 to 1.0; times real time; seconds.
    Float32 exportProgress() const;
    Float32 exportRate();
    double exportTimeRemaining();
    // Bytes the encode settings will write for the edited sound; exact for constant packets.
    UInt32 estimatedFileSize();
    bool sizeIsExact();
    // {"indeterminate", "progress", "remaining", "title"} while loading, else {"progress",
    // "remaining", "title", "message"}.
    QVariantMap activityStatus();
    // For an outside consumer (the board mixer) that renders the edited sound through its
    // effects chain: playback stopped, extraction mode, the chain's input is the editor.
    OSStatus beginExternalExtraction();
    // In extraction mode, the effects chain's output at the extraction rate; otherwise the
    // extraction format.
    AudioStreamBasicDescription audioDescription();
    // The extraction render (operation mode 2), on the thread that pulls it: through the
    // effects chain when it renders, is enabled and is not the caller; otherwise the read
    // with every region skipped and fades applied, answering 666 where the read reached the
    // end of the file. Counts the export location.
    OSStatus renderExtractionFrames(UInt32* frames, AudioBufferList* ioData, AudioUnitRenderActionFlags* renderFlags,
                                    const AudioTimeStamp* timeStamp, void* sender);
    // The editor as a producer of its extraction render (the conversion thread's source and
    // the effects chain's input).
    class ZEPAudioSource* extractionSource();

protected:
    // The conversion thread of an export; a subclass answers one of its own class.
    virtual std::unique_ptr<class ZEPConverterThread> newConverterThread(std::shared_ptr<class ZEPAudioConverter> encoder,
                                                                         std::shared_ptr<class ZEPAudioFileWriting> writer,
                                                                         OSStatus* outStatus);
    struct ZEPAudioEditorExportState& exportState();

private:
    friend struct ZEPAudioEditorExportState;
    // Undoes a start that failed; madeFiles: the lists hold this start's file.
    OSStatus failExportStart(OSStatus status, bool madeFiles);
    void converterFinished(class ZEPConverterThread* converterThread);
    void conversionFinished();
    std::shared_ptr<struct ZEPAudioEditorExportState> mExportState;

protected:
    // ===== End of export =====

    // Normalisation, one entry per track.
    Float32 mSamplesNativeMax[kMaxTracks] = {0, 0};
    double mSamplesSum[kMaxTracks] = {0, 0};
    double mSquaredSamplesSum[kMaxTracks] = {0, 0};
    double mRMS[kMaxTracks] = {0, 0};
    Float32 mNormalizedMax[kMaxTracks] = {0, 0};

    Float32 mPlaybackVolume = 1;
    ZEPAudioEditorDelegate* mDelegate = nullptr;
    bool mOriginalIsLossless = false;
    ZEPAudioRegionClass mAudioRegionClass = ZEPAudioRegionClass::of<ZEPAudioRegion>();
    bool mAudioChainInited = false;
    bool mLivePreviewEnabled = true;
    QVariantMap mTags;
    bool mReverting = false;
    QString mOutputDeviceUID;
    bool mAppliesNormalization = true;
    QVariantMap mEncoderSettings;
};
