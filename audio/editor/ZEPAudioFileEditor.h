#pragma once
// The edit model of one sound file: owns the file's reader and turns the sorted list of
// skipped regions into audio. Its read with edits leaves out cuts, silences silence regions,
// fades at the edges of cuts, stops or wraps at the end of the region being played or
// exported, and reports the end of the audio. Every consumer of edited audio (editor
// playback, export, the board's cache, the waveform display) reads through it.
//
// Besides the list, every loaded model holds two one-packet cuts with the end-region flag:
// the start region at packet 0 and the end region at packet count - 2 (repairEdits() moves
// it to the last packet). Cropping moves their inner edges.
//
// Threads: edits and settings on the main thread. Reads (readPackets()) come on the thread
// of whoever pulls, one reader at a time, while no edit changes the list (edits stop playback
// first; the board's feed serialises its rewinds and fills). A read allocates nothing: it
// works in four regions and one buffer-list header made once. Reads decode the file, so
// they run on loader or conversion threads, never on a render thread.

#include "audio/editor/ZEPAudioEditor.h"
#include "audio/files/ZEPAudioFile.h"
#include "audio/files/ZEPMovieDelegate.h"

#include <memory>

class ZEPAudioFileEditor : public ZEPAudioEditor, public ZEPMovieDelegate {
    Q_OBJECT

public:
    // Key of the per-track statistics in the settings dictionary.
    static inline const QString TrackSettingsKey = QStringLiteral("TrackSettings");

    static bool canOpenPath(const QString& path);
    // Null when the file cannot be opened.
    static std::unique_ptr<ZEPAudioFileEditor> initWithPath(const QString& path, bool asynchronous = true);
    static std::unique_ptr<ZEPAudioFileEditor> initWithFileRef(const ZEPFileRef& fileRef);
    // Null for no file.
    static std::unique_ptr<ZEPAudioFileEditor> initWithAudioFile(std::unique_ptr<ZEPAudioFile> file);

    ~ZEPAudioFileEditor() override;

    // Also: the default encode settings of the file's type, a per-track effects chain with
    // levels on, the extraction format and the read header.
    OSStatus initAudioChain() override;

    // File delegate, main thread: build the chain and tell the delegate.
    void movieDidBecomePlayable(ZEPAudioFile* file) override;
    // File delegate, main thread: clip the playback region to the file, add the start and end
    // regions when there are none (recording no undo), tell the delegate. A file that did not
    // open gets no chain and no regions; the delegate is told all the same, and finds
    // canPlay() NO.
    void movieDidFinishLoading(ZEPAudioFile* file) override;

    ZEPAudioFile* audioFile() const { return mAudioFile.get(); }
    std::optional<ZEPFileRef> fileRef() override;
    QString name();
    QString description();
    bool isLoading() override;
    bool canPlay() override;
    UInt32 trackCount() override;
    SInt64 totalSampleCount() override;
    ZEPAudioRegionRef absoluteTotalRegion() override;
    // The packet count less the cuts (with visibleOnly, less only the cuts that are neither
    // visible nor show-both); at least 0.
    SInt64 totalLengthVisible(bool visibleOnly) override;
    // From 0, one packet shorter than totalLengthVisible().
    ZEPAudioRegionRef totalRegionVisible(bool visibleOnly) override;
    // Beyond the packet count: the packet count. The file seeks at the next read.
    void setReadLocation(SInt64 location) override;

    // Raw read from the read location, without edits; moves the read location on.
    OSStatus readPackets(UInt32* packets, AudioBufferList* buffer) override;
    // The read with edits. packets: wanted in, delivered out. buffer: one float buffer per
    // channel of the extraction format, each big enough for the packets wanted (a smaller
    // buffer lowers the count; too few buffers answer kAudio_ParamError). skipAllRegions NO
    // reads through cuts that are visible or show-both; applyFade applies fades and silences.
    // Answers 0, a file error (with the packets delivered before it), 667 at the end of the
    // file for the read that reaches it, and 666 with nothing once the audio has run out.
    // One read never delivers packets past the end of the playback or export region.
    OSStatus readPackets(UInt32* packets, AudioBufferList* buffer, AudioStreamPacketDescription* descriptions,
                         bool skipAllRegions, bool applyFade) override;

    // Seeks the file before the first read, then the edit model's playRegion().
    OSStatus playRegion(const ZEPAudioRegionRef& region) override;
    using ZEPAudioEditor::playRegion;
    // Clears the out-of-audio state, then the edit model's scrub.
    void scrubAtLocation(SInt64 location) override;
    // The edit model's stereo read, every sample clipped to [-1, 1].
    OSStatus readStereoPackets(UInt32* packets, AudioBufferList* buffer) override;

    // Clears the out-of-audio state, then operation mode 2.
    OSStatus getReadyForExtraction() override;
    bool outOfAudio() const { return mOutOfAudio; }
    void resetOutOfAudio() { mOutOfAudio = false; }
    // At the end of the limit region, start again instead of running out. Any thread (the
    // board's render reads it).
    bool forceLoop() const { return mForceLoop.load(); }
    void setForceLoop(bool forceLoop) { mForceLoop.store(forceLoop); }
    // The effect chain's, at most 0xFFFFFF.
    UInt32 chainMaxRequestFrames() override;
    SInt64 framesAvailable() override;

    OSStatus getExtractionAudioDescription(AudioStreamBasicDescription* description) override;
    OSStatus setExtractionAudioDescription(AudioStreamBasicDescription description);
    // A reading thread announces itself before and after its work.
    OSStatus enterThread();
    OSStatus exitThread();

    void clearSelectedMarkers();
    ZEPAudioMarkerList selectedMarkers() const;
    // The markers outside every skipped region that is neither visible nor an end region.
    ZEPAudioMarkerList visibleMarkers() override;

    // NO while loading; YES for Apple Lossless, or linear PCM of more than 15 bits at 44100
    // Hz or more.
    bool originalIsLossless() override;
    // Opens the file at the reference's path in place of the current one, when it opens.
    void reassignFile(const ZEPFileRef& fileRef);
    // A skipped region contains the location.
    bool isLocationDead(SInt64 location) const;

    // Edits (main thread).
    // Adds a region inside the file (an end equal to the packet count is accepted), sorts,
    // merges it with its neighbours and registers the whole-list undo. NO, changing nothing,
    // for a region outside the file or equal (same index and length) to one in the list.
    bool addSkippedRegion(const ZEPAudioRegionRef& region);
    // Stops playback, removes every region equal to it; undo adds a copy back.
    void removeSkippedRegion(const ZEPAudioRegionRef& region);
    // Cuts: adds a hidden copy with the default fade ("DefaultFadeDuration" seconds, 1.0 when
    // absent; "DefaultFadeType" when set). Answers the copy, even when it was refused.
    ZEPAudioRegionRef removeRegion(const ZEPAudioRegionRef& region);
    // Silences: adds a visible copy of type 1 with a one-second fade, trimmed against the
    // neighbours. Answers it, even when it was refused.
    ZEPAudioRegionRef silenceRegion(const ZEPAudioRegionRef& region);
    // A copy trimmed so that it does not overlap its neighbours of other types.
    ZEPAudioRegionRef adjustedRegion(const ZEPAudioRegionRef& region);
    // Keeps only the region, by moving the inner edges of the start and end regions; one
    // undo step restores the list.
    void cropToRegion(const ZEPAudioRegion& region);
    // Merges a member of the list with neighbours it touches and shortens overlapping fades.
    void compactRegion(const ZEPAudioRegionRef& region);
    // The same over the whole list, merging only what overlaps or is marked to merge.
    void compactRegions();
    // The neighbours of a member found by identity; null at either end or when absent.
    ZEPAudioRegionRef previousRegionRelativeTo(const ZEPAudioRegionRef& region) const;
    ZEPAudioRegionRef nextRegionRelativeTo(const ZEPAudioRegionRef& region) const;
    // Brings stored edits in line with the file: the start and end regions present and at the
    // file's edges, nothing beyond the file. One undo step.
    void repairEdits();

    // The silent stretches in a reduced picture of the whole sound (n values, each standing
    // for 1/n of it): runs of values at or below the level, longer than minDuration seconds.
    ZEPAudioRegionList silentRegionsWithLevel(Float32 level, double minDuration, const Float32* samples, UInt32 count);
    // A marker at the middle of every silent stretch.
    ZEPAudioMarkerList markSilenceWithLevel(Float32 level, double minDuration, const Float32* samples, UInt32 count);
    // Cuts every silent stretch; answers the cuts added.
    ZEPAudioRegionList removeSilenceWithLevel(Float32 level, double minDuration, const Float32* samples, UInt32 count);
    // Crops to the span between the first and the last value louder than the level.
    void cropSilenceWithLevel(Float32 level, const Float32* samples, UInt32 count);

    // Settings with "TrackSettings": per track "SamplesMax", "NormalizedMax", "SamplesSum",
    // "SquaredSamplesSum" (and, read only, "ScaleFactor").
    QVariantMap settings() override;
    void setSettings(const QVariantMap& settings) override;
    QVariantList trackSettings() const;
    void setTrackSettings(const QVariantList& trackSettings);

protected:
    // livePreview: whether the chain built here makes preview converters (an editor that
    // never previews says so before its chain is built).
    explicit ZEPAudioFileEditor(std::unique_ptr<ZEPAudioFile> file, bool livePreview = true);

    // The start and end regions of a file of count packets, of the region class.
    ZEPAudioRegionRef newEndRegion(SInt64 index);
    void addStartAndEndRegions();

private:
    // One planned chunk of a read: the window and the effects that act on it.
    struct Chunk;
    void planChunk(Chunk& chunk, bool skipAllRegions, bool applyFade);
    // Where the read with edits ends: out of audio, wrap, or nothing.
    OSStatus handleEnd(const ZEPAudioRegion* limit, UInt32 delivered, OSStatus status);
    // The list differs from the snapshot other than in first and last, which undo restores.
    bool cropChangedOtherRegions(const ZEPAudioRegionList& snapshot, const ZEPAudioRegionRef& first,
                                 const ZEPAudioRegionRef& last) const;
    void sortSkippedRegions();
    void mergeInCompaction(qsizetype& i, const ZEPAudioRegionRef& cur, const ZEPAudioRegionRef& other,
                           const ZEPAudioRegionRef& added);
    void shortenOverlappingFades(ZEPAudioRegion& cur, ZEPAudioRegion& next);
    SInt32 defaultFadeLength();

    std::unique_ptr<ZEPAudioFile> mAudioFile;
    AudioBufferList* mTempExtractionBufferList = nullptr;
    AudioStreamBasicDescription mExtractionDescription;
    ZEPAudioRegion mReusedReadRegion;
    ZEPAudioRegion mReusedLeftFadeRegion;
    ZEPAudioRegion mReusedRightFadeRegion;
    ZEPAudioRegion mReusedSilenceRegion;
    std::atomic<bool> mForceLoop{false};
    bool mOutOfAudio = false;
};
