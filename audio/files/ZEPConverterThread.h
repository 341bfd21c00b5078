#pragma once
// One export on a thread of its own: pulls audio from one or more sources, through an
// effects graph (or straight from the source), optionally through a down-mixer, into one or
// more encoders, and writes the encoded packets to file writers. Encoder i reads source i;
// encoder 0 is the main encoder. A file may be limited in bytes or in duration; at the limit
// the conversion either ends or continues into new files that the delegate supplies.
//
// Life: initWithEncoders() answers the thread paused -> start() (the thread waits at the
// conversion lock) -> resumeConversion() -> cycles -> all encoders ended, a limit ended the
// run, finishConversion() (drain what the sources hold, then end) or stopConversion() (end
// after the current cycle, then joined) -> the thread ends -> the delegate hears
// converterFinished() on the main thread. pauseConversion()/resumeConversion() may
// alternate meanwhile.
//
// Threads:
//  - Main thread (control): creation, start, pause, resume, finish, stop, join, settings,
//    destruction, and every delegate call: nextAudioFilesForConverters() and
//    addFileWriters() when a file is split (the conversion thread waits for the new
//    writers, then begins their sessions and closes the old files itself),
//    converterFinished() at the end (queued; the thread does not wait).
//  - Conversion thread: the cycles; it renders the sources (the graph pulls on it too) and
//    is the data source of every encoder and of the decoder. A cycle holds the conversion
//    lock; pauseConversion() waits for the cycle in progress to end.
//  - The thread never waits for the main thread while it holds the conversion lock, and a
//    stop given while it waits for new files releases it: pausing or stopping during a
//    split cannot deadlock, even when the delegate stops the conversion from inside
//    nextAudioFilesForConverters().
//  - Live-preview delegate calls come on the conversion thread.
//
// Ownership: the thread shares its encoders and writers; it does not own its sources or its
// delegates, whose owner keeps them alive until converterFinished() (or until it destroys
// the thread, which stops and joins a running conversion; a finished call still queued then
// is dropped). The delegate may destroy the thread from inside converterFinished().

#include "audio/engine/CAGuard.h"
#include "audio/engine/ZEPAudioSource.h"
#include "audio/files/ZEPAudioConverterDataSource.h"

#include <QVariantList>

#include <atomic>
#include <memory>
#include <vector>

class AudioUnit;
class CAPThread;
class ZEPAudioConverter;
class ZEPAudioFileWriting;
class ZEPAudioGraph;
class ZEPAudioRingBuffer;
class ZEPConverterThread;

using ZEPAudioConverterRef = std::shared_ptr<ZEPAudioConverter>;
using ZEPAudioConverterList = std::vector<ZEPAudioConverterRef>;
using ZEPAudioFileWriterRef = std::shared_ptr<ZEPAudioFileWriting>;
using ZEPAudioFileWriterList = std::vector<ZEPAudioFileWriterRef>;
using ZEPAudioSourceList = std::vector<ZEPAudioSource*>;

// The owner of a conversion (the edit model). Main thread.
class ZEPConverterThreadDelegate {
public:
    virtual ~ZEPConverterThreadDelegate() = default;
    // The writers of the next files when a file is split (with as many tracks in all as
    // there are encoders); empty when none could be made, and the audio that follows is
    // then encoded without being written.
    virtual ZEPAudioFileWriterList nextAudioFilesForConverters(const ZEPAudioConverterList& encoders,
                                                               const ZEPAudioFileWriterList& fileWriters) = 0;
    // The new writers, once they write (also when a stop came while they were being made:
    // their files exist).
    virtual void addFileWriters(const ZEPAudioFileWriterList&) {}
    // The conversion has ended; conversionError() tells how.
    virtual void converterFinished(ZEPConverterThread* converterThread) = 0;
};

// Hears the main encoder's output decoded again (live preview). Conversion thread.
class ZEPConverterThreadLivePreviewDelegate {
public:
    virtual ~ZEPConverterThreadLivePreviewDelegate() = default;
    // numPackets frames of the decoder's output (float, non-interleaved, two channels).
    virtual void writePreviewBufferList(const AudioBufferList* bufferList, UInt32 numPackets) = 0;
    // A new main encoder took over; frames is how many frames the old one had taken in but
    // not yet handed out decoded. The new encoder is fed those frames again first.
    virtual void beginSwitch(SInt64 frames) = 0;
    // The new encoder has caught up; frames is its input minus the decoded output since
    // the switch, less what it read past the replayed frames.
    virtual void finishSwitch(SInt64 frames) = 0;
    virtual void converterThreadDidChangeBypassGraph(ZEPConverterThread* converterThread, bool bypassGraph) = 0;
};

// A source that must know the thread that pulls it (a file reader). Called on the
// conversion thread before its first pull and after its last.
class ZEPThreadAwareAudioSource {
public:
    virtual ~ZEPThreadAwareAudioSource() = default;
    virtual OSStatus enterThread() = 0;
    virtual OSStatus exitThread() = 0;
};

// The thread's routine (a CAPThread entry); its argument is the ZEPConverterThread.
void* ZEPConverterThreadEntry(void* converterThread);

class ZEPConverterThread : public ZEPAudioConverterDataSource {
public:
    // Capacity of the packet descriptions of one fill.
    static constexpr UInt32 kMaxPackets = 32768;
    // Frames one encoder input read takes at most (the converter input buffers).
    static constexpr UInt32 kConverterInputFrames = 512;
    // A byte limit below this is raised to it.
    static constexpr UInt32 kMinimumEncodeAmount = 32768;
    // A secondary encoder further behind its main source than this runs again in a cycle.
    static constexpr SInt64 kMaxSecondaryLag = 22050;
    // Bytes of encoded input the decoder of the live preview is handed at most.
    static constexpr UInt32 kDecoderInputBufferSize = 262144;

    // The thread, paused, or null with the status in *outStatus: "!Enc" (no encoder), "!Dec"
    // (the decoder of a down-mixed output cannot be made), "!Mtx" (no matrix mixer), -108,
    // or the failing status of the first source's description, a cookie or the down-mixer.
    // The three lists are copied; encoder i reads source i.
    static std::unique_ptr<ZEPConverterThread> initWithEncoders(const ZEPAudioConverterList& encoders,
                                                                const ZEPAudioFileWriterList& fileWriters,
                                                                const ZEPAudioSourceList& audioSources,
                                                                bool writeToFile, OSStatus* outStatus = nullptr);
    virtual ~ZEPConverterThread();
    ZEPConverterThread(const ZEPConverterThread&) = delete;
    ZEPConverterThread& operator=(const ZEPConverterThread&) = delete;

    // Control (main thread).
    // Starts the graph (its failure is answered) and the thread (once).
    OSStatus start();
    // Waits for the cycle in progress to end; the thread then waits before its next cycle.
    void pauseConversion();
    void resumeConversion();
    // Converts what the sources still hold (they are flushed), then ends: no limits.
    void finishConversion();
    // Ends after the cycle in progress and joins the thread: no limits.
    void stopConversion();
    // Waits until the thread has ended, then deletes the thread object.
    void join();

    // Settings (main thread).
    void setWriteToFile(bool writeToFile) { mWriteToFile = writeToFile; }
    // In real time a read takes at most 1024 frames. YES at first.
    void setRealTime(bool realTime) { mRealTime.store(realTime); }
    bool realTime() const { return mRealTime.load(); }
    // Bytes per file (0: none; 1 to 32767 become 32768).
    void setMaxEncodeAmount(UInt32 bytes);
    UInt32 maxEncodeAmount() const { return mMaxEncodeAmount.load(); }
    // Frames of the main source per file (0: none).
    void setMaxEncodeDuration(Float64 frames) { mMaxEncodeDuration.store(frames); }
    Float64 maxEncodeDuration() const { return mMaxEncodeDuration.load(); }
    // At a limit: YES continues in new files, NO ends (a byte limit still splits).
    void setAllowsSplit(bool allowsSplit) { mAllowsSplit.store(allowsSplit); }
    bool allowsSplit() const { return mAllowsSplit.load(); }
    // YES: an encoder that stops does not end the run.
    void setConvertUntilStopped(bool convertUntilStopped) { mConvertUntilStopped.store(convertUntilStopped); }
    bool convertUntilStopped() const { return mConvertUntilStopped.load(); }
    // 0.0 (lowest) to 1.0; 0.5 is the normal priority. 0.1 at first. A thread priority
    // below 0.5 runs the thread at a lower time-sharing priority; above, it stays normal.
    void setThreadPriority(Float32 priority);
    Float32 threadPriority() const { return mThreadPriority.load(); }
    // YES: the main encoder reads its source directly, not through the graph.
    void setBypassGraph(bool bypassGraph) { mBypassGraph.store(bypassGraph); }
    bool bypassGraph() const { return mBypassGraph.load(); }
    // At the end of the next cycle the graph is used again.
    void setEnableGraphOnNextCycle(bool enable) { mEnableGraphOnNextCycle.store(enable); }
    void setGraphSettings(const QVariantList& settings);
    ZEPAudioGraph* graph() const { return mMainGraph.get(); }
    void setDelegate(ZEPConverterThreadDelegate* delegate) { mDelegate = delegate; }
    ZEPConverterThreadDelegate* delegate() const { return mDelegate; }
    // Also clears the switch counters. Set before start().
    void setLivePreviewDelegate(ZEPConverterThreadLivePreviewDelegate* delegate);
    ZEPConverterThreadLivePreviewDelegate* livePreviewDelegate() const { return mLivePreviewDelegate; }
    // The encoder becomes the main encoder at the start of the next cycle.
    void swapMainEncoder(const ZEPAudioConverterRef& encoder);
    // The decoder of the main encoder's output; the thread becomes its data source.
    void setDecoder(const ZEPAudioConverterRef& decoder);
    ZEPAudioConverter* decoder() const { return mDecoder.get(); }
    bool isRunning() const { return mRunning.load(); }
    // Main thread, while the thread does not run (before start() or after the end).
    ZEPAudioConverterList encoders() const { return mEncoders; }
    ZEPAudioFileWriterList fileWriters() const { return mFileWriters; }
    const ZEPAudioSourceList& audioSources() const { return mAudioSources; }
    const ZEPAudioSourceList& audioReceivers() const { return mAudioSources; }
    // The status that ended the run; 0 when it ended normally.
    OSStatus conversionError() const { return mConversionError.load(); }
    ZEPAudioConverter* encoder() const { return nullptr; }
    void encoderWillChange(ZEPAudioConverter*) {}

    // The writer and track of encoder index; null when there is none. Writer k takes as many
    // consecutive encoders as it has tracks.
    ZEPAudioFileWriting* fileWriterForConverter(UInt32 encoderIndex, UInt32* track) const;
    // The encoder index of a writer's track; -1 when not found.
    SInt32 inputIndexForFileWriter(const ZEPAudioFileWriting* writer, UInt32 track) const;

    // Data source of every encoder and of the decoder (conversion thread).
    OSStatus converter(ZEPAudioConverter* converter, UInt32* readPackets, AudioBufferList* bufferList,
                       AudioStreamPacketDescription** packetDescriptions) override;
    // The down-mixer's input (conversion thread).
    OSStatus inputMixerCallback(AudioUnitRenderActionFlags* flags, const AudioTimeStamp* timeStamp, UInt32 bus,
                                UInt32 numFrames, AudioBufferList* ioData);

protected:
    ZEPConverterThread(const ZEPAudioConverterList& encoders, const ZEPAudioFileWriterList& fileWriters,
                       const ZEPAudioSourceList& audioSources, bool writeToFile);
    // The creation steps after the lists are copied; answers the first failure.
    OSStatus init();
    // The end on the main thread: frees the run's buffers and writers, tells the delegate.
    // A subclass adds its own clean-up and calls this last (the delegate may destroy the
    // thread from inside it).
    virtual void converterFinished();

private:
    friend void* ZEPConverterThreadEntry(void* converterThread);
    // A request for new files, shared with the main-thread call that serves it so that a
    // stopped thread can leave it behind.
    struct FileRequest;

    // Creation and set-up.
    OSStatus setupDecoder();
    OSStatus setupDownMixer();

    // The thread.
    void conversionThread();
    OSStatus beginConversion();
    // One cycle (steps under the conversion lock). Answers true when new files must be
    // started before the next cycle.
    bool runCycle(OSStatus& status);
    OSStatus runEncoder(UInt32 index);
    OSStatus runLivePreview();
    // True when the run is over, false when new files follow.
    bool encodersStopped(OSStatus& status);
    void requestNewFiles();
    // Releases a thread that waits for new files (a stop).
    void wakeFileRequest();
    void updateFileWriters(const std::shared_ptr<FileRequest>& request);
    void endWriting(const ZEPAudioFileWriterList& writers);
    void updateMainEncoder();
    void applyThreadPriority();
    void freeRunBuffers();

    // Reading and filling.
    OSStatus fillWithWrite(UInt32 encoderIndex, UInt32* ioPackets, AudioBufferList* bufferList,
                           AudioStreamPacketDescription* packetDescriptions, ZEPAudioFileWriting* writer,
                           UInt32 track);
    UInt32 maximumPacketSize(UInt32 encoderIndex) const;
    OSStatus readForDecoder(UInt32* ioPackets, AudioBufferList* bufferList,
                            AudioStreamPacketDescription** packetDescriptions);
    OSStatus readForEncoder(UInt32 index, UInt32* ioPackets, AudioBufferList* bufferList);
    OSStatus readSource(UInt32 index, UInt32* ioFrames, AudioBufferList* bufferList);
    // What a render of source index answered, as the read passes it on: its end (666, a
    // failure, or nothing with success) is remembered and is no error; frames that came
    // with the end are kept.
    OSStatus settle(UInt32 index, OSStatus status, UInt32* count, const AudioBufferList* bufferList);
    // Moves source index's time stamp (and for the main source the duration count) on.
    void advance(UInt32 index, UInt32 frames);
    // Frames the secondary encoder's source is behind the main source (scaled by rate).
    SInt64 lagOfEncoder(UInt32 index) const;
    static void pointAt(AudioBufferList* list, const AudioBufferList* buffers, UInt32 frames);

    // The lists.
    ZEPAudioConverterList mEncoders;
    ZEPAudioFileWriterList mFileWriters;
    ZEPAudioConverterRef mMainEncoder;
    ZEPAudioConverterRef mDecoder;

    // Run state.
    std::atomic<bool> mRunning{false};
    std::atomic<bool> mKeepConverting{false};
    std::atomic<bool> mConversionFinished{false};
    bool mWriteToFile = true;
    std::atomic<bool> mStopWhenEncodersAreDone{false};
    // The conversion lock: held by the thread for each cycle and by pauseConversion() while
    // it waits for the cycle to end. A paused thread waits on it.
    CAGuard mConversionLock{"ZEPConverterThread conversion"};
    std::atomic<bool> mPaused{false}; // changed under mConversionLock

    ZEPAudioSourceList mAudioSources;
    std::vector<AudioTimeStamp> mTimeStamps;
    std::vector<AudioStreamBasicDescription> mInputASBDs;
    std::vector<AudioStreamBasicDescription> mOutputASBDs;
    std::vector<UInt8> mEncodersRunning;
    std::vector<AudioStreamPacketDescription> mOutputPacketDescriptions;
    AudioBufferList* mSourceInputBufferList = nullptr;
    UInt32 mSourceInputBufferListSize = 0;
    AudioBufferList* mLivePreviewInputBufferList = nullptr;
    UInt32 mLivePreviewInputBufferListSize = 0;
    AudioBufferList* mDecoderInputBufferList = nullptr;
    ZEPConverterThreadLivePreviewDelegate* mLivePreviewDelegate = nullptr;
    ZEPConverterThreadDelegate* mDelegate = nullptr;
    std::atomic<bool> mThreadPriorityChanged{false};
    std::atomic<Float32> mThreadPriority{0.1f};
    std::atomic<bool> mRealTime{true};
    std::atomic<bool> mStopConverting{false};
    UInt32 mNumBytesEncoded = 0;
    std::atomic<UInt32> mMaxEncodeAmount{0};
    std::atomic<bool> mEnableGraphOnNextCycle{false};
    std::atomic<bool> mBypassGraph{false};
    std::unique_ptr<ZEPAudioGraph> mMainGraph;
    AudioBufferList* mConverterInputBufferList = nullptr;
    UInt32 mConverterInputBufferSize = 0;
    bool mDoneConverting = false;
    // Per source: it has given its last frames (or failed). Once the main source has, the
    // run ends when its encoder stops, whatever the limits.
    std::vector<UInt8> mSourceEnded;

    // Down-mixer.
    bool mNeedsDownMixing = false;
    bool mDownMixerSetup = false;
    std::unique_ptr<AudioUnit> mDownMixerMatrixMixer;
    AudioTimeStamp mDownMixerTimeStamp;
    // What the down-mixer's input gave in its last render: frames, and 667 when it had
    // nothing yet.
    UInt32 mDownMixerFrames = 0;
    OSStatus mDownMixerInputStatus = noErr;

    // Encoder swap and live preview.
    ZEPAudioConverterRef mNewMainEncoder;
    CAMutex mSwapEncoderLock{"ZEPConverterThread swap"};
    std::atomic<bool> mNewMainEncoderPending{false};
    bool mIsSwitching = false;
    UInt32 mLimboFramesAtSwitchStart = 0;
    SInt64 mEncoderInputFramesCount = 0;
    SInt64 mEncoderOutputPackets = 0;
    SInt64 mDecoderInputPackets = 0;
    SInt64 mDecoderOutputFramesCount = 0;
    SInt64 mSwitchExtraInputFrames = 0;
    bool mDidPullFromLimbo = false;
    std::unique_ptr<ZEPAudioRingBuffer> mLimboRingBuffer;
    AudioBufferList* mTempInputBufferList = nullptr;

    // Limits.
    std::atomic<Float64> mMaxEncodeDuration{0};
    AudioTimeStamp mMaxEncodeDurationTimeStamp;
    std::atomic<bool> mAllowsSplit{false};
    std::atomic<bool> mConvertUntilStopped{false};
    std::atomic<OSStatus> mConversionError{0};

    std::unique_ptr<CAPThread> mThread;
    // Set while a main-thread call for new files is outstanding.
    CAMutex mFileRequestLock{"ZEPConverterThread file request"};
    std::shared_ptr<FileRequest> mFileRequest;
    // Tells a queued end call whether the object still exists (main thread).
    std::shared_ptr<bool> mAlive;
};
