#pragma once
// Helpers of the export tests: sounds on 16-bit steps (which 16-bit files keep to the bit),
// the edited audio an export must write, encode settings, and a delegate that records the
// end of an export.

#include "audio/editor/ZEPAudioEditorExport.h"
#include "audio/editor/ZEPAudioFileEditor.h"
#include "platform/codecs/AudioFixtures.h"

#include <QString>
#include <QVariantMap>

#include <memory>
#include <vector>

namespace clipdeck::test {

// Frame k of the "step" sound: noise-like (lossless codecs cannot squeeze it), a different
// value on each side, every one a 16-bit step.
float stepLeft(long long frame);
float stepRight(long long frame);

// An editor of a step sound of `frames` frames at 44100 Hz, written into folder as name.
std::unique_ptr<ZEPAudioFileEditor> openStepEditor(const QString& folder, long long frames,
                                                   const QString& name = QStringLiteral("steps.wav"));

// The whole edited sound as an export reads it (extraction mode, every region skipped,
// fades applied), read to its end.
StereoAudio editedAudio(ZEPAudioEditor& editor);

// Each sample as a 16-bit file stores it and gives it back.
StereoAudio quantized16(const StereoAudio& audio);

// {"fileType": type, "encoderSettings": ...}: 16-bit Apple Lossless, 16-bit integer PCM.
QVariantMap appleLosslessSettings(UInt32 fileType);
QVariantMap pcm16Settings(UInt32 fileType, UInt32 channels = 2);

// The samples of several files one after the other.
StereoAudio concatenated(const QStringList& paths);

// Records the end of an export.
struct RecordingExportDelegate : ZEPAudioEditorExportDelegate {
    void exportDidEnd(ZEPAudioEditor* editor, SInt32 returnCode, const ZEPAudioFileWriterList& fileWriters) override;
    // The paths of the last end's writers, in order.
    QStringList paths() const;

    int ends = 0;
    SInt32 lastReturnCode = -1;
    ZEPAudioEditor* lastEditor = nullptr;
    ZEPAudioFileWriterList lastWriters;
};

// Waits (running the event loop) for the delegate's next end; false on time-out.
bool waitForEnd(const RecordingExportDelegate& delegate, int endsBefore = 0, int timeoutMs = 120000);

} // namespace clipdeck::test
