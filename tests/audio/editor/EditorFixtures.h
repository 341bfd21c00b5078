#pragma once
// Sound files for the edit model's tests, written at test time, and reading helpers.
//
// A "ramp" file encodes every frame's index in its samples: frame k holds (k + 1) / 2^24
// on the left and its negative on the right, exact in 32-bit float for every frame of a
// test file, so a read shows which frames came through and with what gain.

#include "audio/editor/ZEPAudioFileEditor.h"

#include <QString>

#include <atomic>
#include <functional>
#include <memory>
#include <vector>

namespace clipdeck::test {

constexpr double kRampScale = 16777216.0; // 2^24

inline float rampValue(long long frame)
{
    return float(double(frame + 1) / kRampScale);
}

// The frame a ramp sample (at gain 1) stands for.
inline long long rampFrame(float sample)
{
    return std::llround(double(sample) * kRampScale) - 1;
}

// Writes a stereo 32-bit float WAVE file of `frames` frames at sampleRate: left(k) on the
// left, right(k) on the right. Answers the file's path (the writer may fix the extension).
QString writeSoundFile(const QString& path, long long frames, const std::function<float(long long)>& left,
                       const std::function<float(long long)>& right, double sampleRate = 44100);
QString writeRampFile(const QString& path, long long frames);

// A file editor of a ramp of `frames` frames in folder.
std::unique_ptr<ZEPAudioFileEditor> openRampEditor(const QString& folder, long long frames);

// Counts the run-out notices of a board feed (any thread), answering nothing, as a delegate
// that only sets a flag does.
struct RunOutNotices : ZEPAudioEditorDelegate {
    std::optional<OSStatus> audioEditorRanOutOfData(ZEPAudioEditor*) override
    {
        ++count;
        return std::nullopt;
    }
    std::atomic<int> count{0};
};

// One slice of a render as the board mixer pulls it: left.size() frames into left and right
// (of that size). Answers the render's status; flags, when given, receives its flags.
OSStatus renderSlice(ZEPAudioEditor& source, std::vector<float>& left, std::vector<float>& right,
                     AudioUnitRenderActionFlags* flags = nullptr);

// What one read with edits delivered: status, and the samples of both channels.
struct EditedRead {
    OSStatus status = 0;
    std::vector<float> left, right;
    size_t frames() const { return left.size(); }
};
EditedRead readEdited(ZEPAudioEditor& editor, UInt32 frames, bool skipAllRegions = true, bool applyFade = true);

// Nothing was registered with the undo manager (not even into the group that stays open
// until the event loop next runs).
inline bool nothingToUndo(const UndoManager& undo)
{
    return !undo.canUndo() && undo.groupingLevel() == 0;
}

// The dictionary forms of the regions: a region list compared by every saved value.
QVariantList regionValues(const ZEPAudioRegionList& regions);

} // namespace clipdeck::test
