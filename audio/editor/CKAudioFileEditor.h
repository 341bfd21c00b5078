#pragma once
// The edit model of one sound on a board, and the feed the board mixer plays it from. It
// keeps the first seconds of the edited sound decoded in memory (the head), so a sound
// starts at once, and a lock-free ring that a loader thread keeps filled with what follows
// the head, through the read with edits; the board mixer's render thread plays the head from
// memory and then the ring. It also fixes the sound's encode settings to the lossless cache
// format, scales its volume by the normalisation factor, and tells its delegate (the
// playback controller) when it has run out of audio.
//
// Life of a feed: cache on (setUseCache(true), which rewinds) and head read
// (updateCachedAudio()) once the sound has loaded; to play, rewind and continue
// (restartPlaybackAndContinue()), start caching, prepareForPlayback(); the render then
// plays the head at once and the loader's frames after it. At the end (or when the play
// length is reached) the render says "stopping" once through the delegate's
// audioEditorRanOutOfData() and answers 666 from then on, until a rewind. A forced loop
// (setForceLoop()) never ends: the reads wrap without a gap.
//
// A rewind starts a new pass and returns at once: it never waits for the loader. The render
// takes the new pass at its next slice and plays the head; the loader, which may be in the
// middle of a pull, starts the pass when it next looks (at once, if it sleeps): it moves the
// file's read position behind the head and raises the ring's reader floor, so nothing of
// the old pass is heard in the new one.
//
// Threads:
//  - Control (the playback controller's, normally the main thread): everything not below.
//    Head reads and cache changes hold the write lock and wait (without the render ever
//    waiting) until no render is under way; a render that comes meanwhile plays silence.
//  - The board mixer's render thread: renderFrames() and getAudioDescription(). The render
//    allocates nothing and takes no lock: it reads the head, the ring and atomics only.
//    Without a ring it answers silence (the model's own playback render is pulled by its
//    own chain, never by the board). Its audioEditorRanOutOfData() call to the delegate
//    runs on that thread, so the delegate only sets a flag or posts to the main thread,
//    and never blocks.
//  - The ring's loader thread: pullFrames(), which reads the file with edits.
//
// Ownership: the sound owns its feed; the feed's reference to the sound is not owning.
// Audio is in the extraction format: 32-bit float, one buffer per channel, two channels.

#include "audio/editor/ZEPAudioFileEditor.h"
#include "audio/engine/ZEPAudioLocklessPullRingBuffer.h"

#include <atomic>
#include <memory>
#include <mutex>

class CKSoundSource;

class CKAudioFileEditor : public ZEPAudioFileEditor, public ZEPAudioLocklessPullRingBufferAudioSource {
    Q_OBJECT

public:
    // The ring holds this many seconds; the loader refills it in pulls of this many frames.
    static constexpr double kRingSeconds = 4.0;
    static constexpr UInt32 kRingPullFrames = 8192;
    // The render's flag for a silent slice.
    static constexpr AudioUnitRenderActionFlags kOutputIsSilence = kAudioUnitRenderAction_OutputIsSilence;

    // Null when the file cannot be opened. The cache duration comes from the user default
    // "AudioCacheDuration" (seconds, 1.0 when absent), at least 1.0.
    static std::unique_ptr<CKAudioFileEditor> initWithPath(const QString& path, bool asynchronous = true);
    static std::unique_ptr<CKAudioFileEditor> initWithAudioFile(std::unique_ptr<ZEPAudioFile> file);
    ~CKAudioFileEditor() override;

    // The file model's settings, then repairEdits(), so settings stored for another length
    // of the file still fit.
    void setSettings(const QVariantMap& settings) override;
    // Board sounds never play through preview converters.
    bool livePreviewEnabled() override { return false; }
    // Lossless settings (of the file's rate when preservesOriginalSamplerate(), else 44100
    // Hz) as an 'm4af' file; setting forces 'm4af' onto what is given.
    QVariantMap encodeSettings() override;
    void setEncodeSettings(const QVariantMap& settings) override;

    // The stored volume; a change tells the delegate editorDidChangePlaybackVolume().
    Float32 playbackVolume() override { return mPlaybackVolume; }
    void setPlaybackVolume(Float32 volume) override;
    void setPlaybackVolumeNumber(const QVariant& volume);
    // The mixer input's volume: the playback volume (1.0 when below 0) times track 0's
    // normalisation factor.
    Float32 scaledPlaybackVolume() const;

    // The ring: on makes one (and rewinds), off releases it and its loader.
    void setUseCache(bool useCache);
    bool useCache() const { return bool(mCacheRingBuffer); }
    ZEPAudioLocklessPullRingBuffer* ringBuffer() const { return mCacheRingBuffer.get(); }
    // Starts or stops the ring's loader when the flag changes.
    void setCurrentlyCaching(bool caching);
    bool currentlyCaching() const { return mCurrentlyCaching.load(); }
    UInt32 cachedFrames() const { return mInitialCachedAudioSizeFrames; }
    float audioCacheDuration() const { return mAudioCacheDuration; }

    // Reads the head: the first audioCacheDuration() seconds of the edited sound. Answers
    // '!Len' for a negative length, the read's status (666 when the sound is shorter than
    // the head, which then holds all of it), or 0. A caching loader keeps its place.
    OSStatus updateCachedAudio();
    // A new pass: the render plays the head again from its next slice and the loader goes on
    // after it; stopping and the out-of-audio state are cleared; caching stops (the loader
    // is asked to end, without waiting for it; the caller starts caching again).
    void restartPlaybackAtBeginning();
    // The same, and caching goes on. Never waits for the loader.
    void restartPlaybackAndContinue();
    // Frames rendered back to 0 and the play length set (none for a forced loop).
    void prepareForPlayback();

    // The board mixer's render (see the header note) and its format (the extraction format).
    OSStatus renderFrames(UInt32* frames, AudioBufferList* ioData, AudioUnitRenderActionFlags* renderFlags,
                          const AudioTimeStamp* timeStamp, void* sender) override;
    OSStatus getAudioDescription(AudioStreamBasicDescription* description) override;
    // The board's render copies from the head and the ring, so it takes a slice of any size
    // (the effect chain's limit is the loader's business). Answered without walking the
    // chain: the mixer asks for every input on every slice.
    UInt32 maxRequestFrames() override { return 0xFFFFFFFF; }
    // The loader's pull: the read with every cut, fade and silence applied; the first pull
    // of a pass starts it (read position and reader floor). A file that fails (a seek or a
    // read) ends the loader as the sound's end does, after what came before.
    OSStatus pullFrames(UInt32* frames, AudioBufferList* bufferList, const AudioTimeStamp* timeStamp) override;
    bool restartsStream() override { return mPass.load() != mLoaderPass.load(); }
    // Reads *frames into bufferList and stores them in the ring, when the cache is on, the
    // loader is not filling the ring and it has more room than that; else *frames = 0.
    OSStatus fillCacheAudioBuffer(AudioBufferList* bufferList, UInt32* frames);

    // Stopping belongs to a pass: a rewind clears it.
    void setStopping(bool stopping) { mStoppedPass.store(stopping ? mPass.load() : mPass.load() - 1); }
    bool isStopping() const { return mStoppedPass.load() == mPass.load(); }
    // Not owned: the sound owns this editor.
    CKSoundSource* soundSource() const { return mSoundSource; }
    void setSoundSource(CKSoundSource* soundSource) { mSoundSource = soundSource; }
    SInt32 mixerInput() const { return mMixerInput; }
    void setMixerInput(SInt32 input) { mMixerInput = input; }
    bool preservesOriginalSamplerate() const { return mPreservesOriginalSamplerate; }
    void setPreservesOriginalSamplerate(bool preserves) { mPreservesOriginalSamplerate = preserves; }
    SInt64 framesRendered() const { return mFramesRendered.load(); }
    SInt64 playbackFrameCount() const { return mPlaybackFrameCount.load(); }

    // While the cache is on, the frames the board has read, within one pass of the sound:
    // relativePlaybackTime() and playbackPercentage() then follow board playback.
    SInt64 exportPacketsReturned() override;
    void didLoop() {}
    void logRenderMetrics() {}

private:
    explicit CKAudioFileEditor(std::unique_ptr<ZEPAudioFile> file);
    // Starts a new pass (write lock held): the render and the loader take it up themselves.
    void rewind();
    // Keeps renders out while the head or the ring change: returns once none is under way.
    void blockRenders();
    void unblockRenders() { mRenderBlocked.store(false); }
    // The delegate hears of the end once per pass; its answer becomes the status.
    OSStatus ranOutOfData(OSStatus status, UInt32 pass);
    // Render thread: copies up to frames frames of the pass from the head, then the ring,
    // into ioData from frame offset on; answers the frames copied.
    UInt32 renderHead(UInt32 offset, UInt32 frames, AudioBufferList* ioData);
    UInt32 renderRing(UInt32 pass, UInt32 offset, UInt32 frames, AudioBufferList* ioData);

    SInt32 mMixerInput = -1;
    CKSoundSource* mSoundSource = nullptr;
    std::mutex mWriteLock;
    std::unique_ptr<ZEPAudioLocklessPullRingBuffer> mCacheRingBuffer;
    AudioBufferList* mInitialCachedAudio = nullptr;
    UInt32 mInitialCachedAudioSizeFrames = 0;
    UInt32 mInitialCachedAudioMaxSizeFrames = 0;
    std::atomic<bool> mCurrentlyCaching{false};
    std::atomic<SInt64> mFramesRendered{0};
    std::atomic<SInt64> mPlaybackFrameCount{0};
    bool mPreservesOriginalSamplerate = false;
    float mAudioCacheDuration = 1.0f;
    std::atomic<bool> mRenderBlocked{false};
    std::atomic<int> mRendersInProgress{0};

    // Passes: each rewind starts one. The control thread counts them and tells where the
    // loader resumes the file, after the head the pass starts with (the render plays no more
    // of the head than that); the loader publishes the pass its ring frames belong to and
    // the pass whose end it read; stopping is set for a pass.
    static constexpr UInt32 kNoPass = 0xFFFFFFFF;
    std::atomic<UInt32> mPass{0};
    std::atomic<SInt64> mPassReadLocation{0};
    std::atomic<UInt32> mPassHeadFrames{0};
    std::atomic<UInt32> mLoaderPass{kNoPass};
    std::atomic<UInt32> mRingPass{kNoPass};
    std::atomic<UInt32> mLoaderEndPass{kNoPass};
    std::atomic<UInt32> mStoppedPass{kNoPass};
    // Render thread only: the pass it plays, where it is in it (frames from its start) and
    // the head the pass started with.
    UInt32 mRenderPass = kNoPass;
    UInt32 mRenderHeadPosition = 0;
    UInt32 mRenderHeadFrames = 0;
    // Frames the render delivered in this pass (head and ring), for exportPacketsReturned().
    std::atomic<SInt64> mFramesDelivered{0};
};
