#pragma once
// Runs the conversions of board sounds to the lossless cache format one or a few at a
// time. A sound queues its edit model here and performs the conversion itself (it starts an
// export of the editor, see ZEPAudioEditorExport.h); the converter only decides when each
// queued conversion starts, and learns when it ends as the export's delegate.
//
// Entries wait in the order the queue's rules give them (see convertEditorToLossless()),
// run from the moment their sound is asked to convert, and leave when their export ends,
// whatever its result, or when it fails to start. The number running is bounded by
// maxNumberConversions() at the moment each entry starts; a running conversion is never
// stopped when the bound falls.
//
// Main thread only (the export's end is delivered there). The queue does not own the
// editors or the sounds: a sound that goes away while queued calls forgetSound().

#include "audio/editor/ZEPAudioEditorExport.h"

#include <QList>

#include <functional>
#include <stdexcept>

class ZEPAudioFileEditor;

// Raised for a missing argument; name "NilArgumentException".
class NilArgumentException : public std::invalid_argument {
public:
    explicit NilArgumentException(const std::string& reason) : std::invalid_argument(reason) {}
    static const char* name() { return "NilArgumentException"; }
};

// Raised when a queued entry has lost its editor; name "NilEditor".
class NilEditorException : public std::logic_error {
public:
    explicit NilEditorException(const std::string& reason) : std::logic_error(reason) {}
    static const char* name() { return "NilEditor"; }
};

// What the converter asks of a board sound (the cached file sound).
class CKLosslessConvertingSound {
public:
    virtual ~CKLosslessConvertingSound() = default;
    // The delegate the sound's next export reports its end to.
    virtual void setExportDelegate(ZEPAudioEditorExportDelegate* delegate) = 0;
    // Starts exporting the editor to the sound's lossless cache file, with the export
    // delegate set; 0 when the export started (its end then reaches the delegate).
    virtual OSStatus convertToLossless(ZEPAudioFileEditor* editor) = 0;
};

class CKSoundConverter : public ZEPAudioEditorExportDelegate {
public:
    struct Entry {
        ZEPAudioFileEditor* editor = nullptr;
        CKLosslessConvertingSound* sound = nullptr;
        bool operator==(const Entry&) const = default;
    };

    // isPlaying: whether the playback controller plays anything (nothing, when not given).
    // activeProcessorCount: the processors the process may run on (the machine's, when
    // not given).
    explicit CKSoundConverter(std::function<bool()> isPlaying = {},
                              std::function<UInt32()> activeProcessorCount = {});

    // Half the active processors, at least 1; 1 while anything plays.
    UInt32 maxNumberConversions() const;

    // Queues the editor's conversion (both must be given: NilArgumentException "Argument is
    // nil"). The new entry goes to the back of the waiting entries; then the oldest waiting
    // entry moves behind it, so with entries already waiting each request moves the oldest
    // one back. Then as many start as the bound allows.
    void convertEditorToLossless(ZEPAudioFileEditor* editor, CKLosslessConvertingSound* sound);
    // Starts the oldest waiting entries while fewer than maxNumberConversions() run.
    void convertNextEditorIfNeeded();

    // A sound that goes away: its waiting and running entries leave (a running conversion of
    // it is ended by the sound itself); the next start.
    void forgetSound(CKLosslessConvertingSound* sound);

    // The end of an export: every running entry of the editor leaves; the next start.
    void exportDidEnd(ZEPAudioEditor* editor, SInt32 returnCode, const ZEPAudioFileWriterList& fileWriters) override;

    const QList<Entry>& soundsToBeConverted() const { return mSoundsToBeConverted; }
    const QList<Entry>& currentConversions() const { return mCurrentConversions; }

private:
    QList<Entry> mSoundsToBeConverted;
    QList<Entry> mCurrentConversions;
    std::function<bool()> mIsPlaying;
    std::function<UInt32()> mActiveProcessorCount;
};
