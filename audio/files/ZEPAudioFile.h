#pragma once
// Opens one sound file and hands out its audio as 32-bit float linear PCM, two channels,
// non-interleaved, at the file's own sample rate, in frames ("packets": one frame of the
// extraction format each), with random access exact to the frame. The reading end of the
// edit model and of the board's cached sounds.
//
// A class cluster: a path ending in "mov" or "mp3" (exactly so, case-sensitive), or a file
// the plain reader cannot open, comes back as a ZEPMovie when movies are allowed.
//
// Frame counts leave out the encoder's priming and padding (see
// platform/codecs/AudioFileReader.h); AAC that says nothing of its priming is taken to
// start with 2112 priming frames. Opening counts every frame (a pass over an MP3, a decode
// of an Ogg or Matroska file), so it can take a while for a long sound:
//
// Loading. Opened asynchronously, a reader comes back at once, loading: isLoading() YES,
// canPlay() NO, no frames, while a loading thread opens and counts the file. When that is
// done, on the main thread, the result is put in place (isLoading() NO; canPlay() YES, or NO
// with loadStatus() telling why the file could not be opened) and the delegate hears
// movieDidFinishLoading() once. A thread that needs the result at once waits for it with
// waitUntilLoaded(). Opened synchronously, a reader is loaded when it comes back, and there
// is none for a file that does not open. The owner destroys a reader on the thread that owns
// it; one that is still loading gives its loading up (the callback never comes).
//
// A reader has no lock: one thread reads at a time, and seeks come from the same owner.
// Reads decode, so they belong on a loader thread, not on a render thread.

#include "audio/files/ZEPAudio_ExtAudioFile.h"
#include "platform/ZEPFileRef.h"

#include <QByteArray>
#include <QString>
#include <QVariantMap>

#include <atomic>
#include <functional>
#include <memory>
#include <optional>
#include <thread>
#include <vector>

class ZEPMovieDelegate;

class ZEPAudioFile {
public:
    // The type hint is accepted and not used: files are always opened by their content.
    // Asynchronous unless said otherwise; an asynchronous open never answers null for a path
    // (a file that does not open ends its loading with canPlay() NO).
    static std::unique_ptr<ZEPAudioFile> initWithPath(const QString& path, UInt32 typeHint = 0);
    static std::unique_ptr<ZEPAudioFile> initWithPath(const QString& path, UInt32 typeHint, bool asynchronous);
    static std::unique_ptr<ZEPAudioFile> initWithPath(const QString& path, UInt32 typeHint, bool allowQuickTime,
                                                      bool asynchronous);
    // Whether the movie reader can open the file.
    static bool canOpenPath(const QString& path);
    static bool canOpenPath(const QString& path, bool allowQuickTime);

    virtual ~ZEPAudioFile();
    ZEPAudioFile(const ZEPAudioFile&) = delete;
    ZEPAudioFile& operator=(const ZEPAudioFile&) = delete;

    // (Re)opens the file on the calling thread; answers the status of the step that failed.
    virtual OSStatus openFile();
    // packets: wanted in (at most what the list's first buffer holds), delivered out; the
    // list holds the extraction format's two float buffers. Answers an error (with the
    // frames really delivered before it), 666 when nothing was left, else 0.
    virtual OSStatus readPackets(UInt32* packets, AudioBufferList* buffer, AudioStreamPacketDescription* descriptions);
    // Answers an error when the file cannot be put there; reads then answer it too, until a
    // seek succeeds. The current location answers 0 at once.
    virtual OSStatus setLocationPackets(SInt64 location);
    virtual SInt64 locationPackets();
    // The valid frames.
    virtual SInt64 packetCount();
    // Seconds: frames / extraction sample rate; 0.0 when there is no extraction format.
    virtual double duration();
    virtual OSStatus getExtractionAudioDescription(AudioStreamBasicDescription* description);
    // A plain file's extraction format is fixed: answers 0 and changes nothing.
    virtual OSStatus setExtractionAudioDescription(const AudioStreamBasicDescription* description);
    virtual UInt32 fileType();
    virtual AudioStreamBasicDescription fileAudioDescription();
    virtual UInt32 fileBitrate() { return 0; }
    virtual UInt32 trackCount() { return 1; }
    virtual QString path() const;
    // Any thread.
    bool isLoading() const { return mLoading.load(std::memory_order_acquire); }
    // Loaded, and opened.
    bool canPlay() const { return !isLoading() && mLoadStatus == noErr; }
    // Why a finished load did not open the file; 0 while loading or once loaded.
    OSStatus loadStatus() const { return isLoading() ? noErr : mLoadStatus; }
    // Blocks until a background open has finished and puts its result in place (on the
    // thread that owns the reader); answers loadStatus(). At once for a loaded reader.
    OSStatus waitUntilLoaded();
    // Not retained; told on the main thread.
    void setDelegate(ZEPMovieDelegate* delegate) { mDelegate = delegate; }
    ZEPMovieDelegate* delegate() const { return mDelegate; }
    // A reading thread announces itself before and after its work.
    virtual OSStatus enterThread() { return noErr; }
    virtual OSStatus exitThread() { return noErr; }

    // A file property by its code (platform/codecs/AudioCodecTypes.h): its size sets *size,
    // then it is read into data (at least that size). The second form allocates.
    OSStatus getProperty(AudioFilePropertyID property, UInt32* size, void* dataNoAlloc);
    OSStatus getProperty(AudioFilePropertyID property, UInt32* size, QByteArray* data);
    // "\n filePath: ...", "\n fileType: ...", "\n duration: ...".
    virtual QString description();

    // Not called by the program.
    std::optional<QByteArray> cookie();
    UInt64 byteCount();
    UInt32 maxPacketSize();
    std::optional<QVariantMap> infoDictionary();
    // Answers 0 for a file that carries its gapless information; repairing one that does not
    // waits for the MPEG-4 tag rewrite (kAudioFileOperationNotSupportedError until then).
    OSStatus fixFilePacketTable();
    // Reads 512-frame blocks from frame 73990 on until a read fails (diagnostics).
    void dumpAudio();

protected:
    ZEPAudioFile();

    // Opening in two steps, so that the first may run on a loading thread: the opener opens
    // the file's readers (any thread; it captures what it needs, nothing of the object), and
    // installReaders() puts them in place (the owning thread).
    using Readers = std::vector<std::unique_ptr<AudioFileReader>>;
    using ReaderOpener = std::function<OSStatus(const std::atomic<bool>* cancelled, Readers* readers)>;
    virtual ReaderOpener readerOpener() const;
    virtual OSStatus installReaders(Readers readers);
    // Starts opening on a loading thread; the reader is loading from here on.
    void beginLoading();
    // Gives a background open up and waits for its thread. Destructors call it first.
    void stopLoading();

    std::optional<ZEPFileRef> mFileRef;
    std::unique_ptr<ZEPAudio_ExtAudioFile> mExtAudioFile;

private:
    struct LoadTask;
    // With the task's lock held and its open done: puts the result in place, once.
    void installLoaded();
    // Main thread: the loaded result in place and the delegate told, once.
    void completeLoading();

    ZEPMovieDelegate* mDelegate = nullptr;
    std::atomic<bool> mLoading{false};
    OSStatus mLoadStatus = noErr;
    std::shared_ptr<LoadTask> mLoadTask;
    std::thread mLoadThread;
};
