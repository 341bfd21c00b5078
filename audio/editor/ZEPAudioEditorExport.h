#pragma once
// The export of an edited sound (ZEPAudioEditor::exportRegion() and its companions, declared
// in ZEPAudioEditor.h): what an export's delegates hear and the notification at its end.
//
// An export writes the edited sound, or a region of it, through one encoder and one file
// writer on a conversion thread (audio/files/ZEPConverterThread.h) that pulls the editor's
// extraction render: its effects chain with the normalisation gains when the chain renders,
// else the read with every region skipped and fades applied. A byte or duration limit per
// file either ends the export or, with splitting, continues it in numbered files beside the
// first ("Clip.m4a", then "Clip0.m4a", "Clip1.m4a", ...).
//
// Threads: starting, cancelling, the estimate and the end run on the main thread; the
// conversion thread renders the editor. The synchronous forms block their caller (on the
// main thread they keep its event loop running, since the end arrives there).
//
// An editor must not be destroyed while it exports: end the export first (cancelExport()
// and wait for the end, or stopExport()).

#include "audio/files/ZEPConverterThread.h"
#include "platform/CoreAudioTypes.h"
#include "platform/ZEPAppKitConstants.h"

#include <QString>

class ZEPAudioEditor;

// Hears the end of an export. Main thread. (ZEPActivityFinishedNotification is posted too,
// with the editor as object, on the main thread when an export has ended.)
class ZEPAudioEditorExportDelegate {
public:
    virtual ~ZEPAudioEditorExportDelegate() = default;
    // returnCode: 0 when the export ran to its end (conversion failures included), 1 when it
    // was cancelled, else the status of a read of the sound that failed (a seek or a read of
    // its file); the files of a cancelled or failed export are deleted. fileWriters: the
    // writers of every file written, split files included.
    virtual void exportDidEnd(ZEPAudioEditor* editor, SInt32 returnCode, const ZEPAudioFileWriterList& fileWriters) = 0;
};

// Hears a synchronous export's progress every 200 ms, on the thread that waits for it.
class ZEPAudioEditorExportProgressDelegate {
public:
    virtual ~ZEPAudioEditorExportProgressDelegate() = default;
    virtual void exportProgressUpdated(ZEPAudioEditor* editor) = 0;
};

// Status codes of an export's start.
constexpr OSStatus kZEPExportNoEncoderError = OSStatus(FourCC("!Enc"));
constexpr OSStatus kZEPExportNoWriterError = OSStatus(FourCC("!Wrt"));
constexpr OSStatus kZEPExportNoThreadError = OSStatus(FourCC("!Trd"));
