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
// start with 2112 priming frames.
//
// A reader has no lock: one thread reads at a time, and seeks come from the same owner.
// Reads decode, so they belong on a loader thread, not on a render thread.

#include "audio/files/ZEPAudio_ExtAudioFile.h"
#include "platform/ZEPFileRef.h"

#include <QByteArray>
#include <QString>
#include <QVariantMap>

#include <memory>
#include <optional>

class ZEPMovieDelegate;

class ZEPAudioFile {
public:
    // The type hint is accepted and not used: files are always opened by their content.
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

    // (Re)opens the file; answers the status of the step that failed.
    virtual OSStatus openFile();
    // packets: wanted in (at most what the list's first buffer holds), delivered out; the
    // list holds the extraction format's two float buffers. Answers an error (with the
    // frames really delivered before it), 666 when nothing was left, else 0.
    virtual OSStatus readPackets(UInt32* packets, AudioBufferList* buffer, AudioStreamPacketDescription* descriptions);
    virtual void setLocationPackets(SInt64 location);
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
    virtual bool isLoading() { return false; }
    virtual bool canPlay() { return true; }
    virtual void setDelegate(ZEPMovieDelegate*) {}
    virtual ZEPMovieDelegate* delegate() const { return nullptr; }
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

    std::optional<ZEPFileRef> mFileRef;
    std::unique_ptr<ZEPAudio_ExtAudioFile> mExtAudioFile;
};
