#pragma once
// Sources, encoders, writers and delegates for the conversion thread's tests. Audio goes
// into 32-bit float WAVE files, which keep every sample exactly.

#include "audio/files/ZEPConverterThread.h"

#include <QString>
#include <QStringList>

#include <atomic>
#include <functional>
#include <vector>

namespace clipdeck::test {

// A stereo source of the test pattern: frame k is patternSample(k + offset) on the left and
// its negative on the right. It ends (666) after `frames` frames, or never (-1). With
// `held` set it holds only that many frames and then has nothing yet (667) until it is
// flushed; flushing lets the rest of what it holds go and then ends.
class PatternSource : public ZEPAudioSource {
public:
    explicit PatternSource(long long frames = -1, long long offset = 0, long long held = -1)
        : mFrames(frames), mOffset(offset), mHeld(held)
    {
    }

    OSStatus getAudioDescription(AudioStreamBasicDescription* description) override;
    OSStatus renderFrames(UInt32* frames, AudioBufferList* ioData, AudioUnitRenderActionFlags* renderFlags,
                          const AudioTimeStamp* timeStamp, void* sender) override;
    OSStatus setMaxRequestFrames(UInt32) override { return noErr; }
    UInt32 maxRequestFrames() override { return 0xFFFFFFFF; }
    SInt64 framesAvailable() override;
    bool isFlushing() override { return mFlushing.load(); }
    void flush() override { mFlushing = true; }

    long long delivered() const { return mDelivered.load(); }
    // Holds that many frames from now on (any thread).
    void hold(long long frames) { mHeld = frames; }
    // Checked on every render before it delivers (the conversion thread's).
    std::function<void(const AudioTimeStamp& timeStamp, UInt32 frames)> onRender;

private:
    long long remaining() const;

    const long long mFrames;
    const long long mOffset;
    std::atomic<long long> mHeld;
    std::atomic<long long> mDelivered{0};
    std::atomic<bool> mFlushing{false};
};

// 44100 Hz stereo 32-bit float little-endian linear PCM.
AudioStreamBasicDescription floatWaveFormat();
// An encoder from the playback format to float WAVE.
ZEPAudioConverterRef floatWaveEncoder();
// A float WAVE writer at path.
ZEPAudioFileWriterRef floatWaveWriter(const QString& path);

// The pattern's frames [first, first + count) as the files hold them.
std::vector<float> patternLeft(long long first, long long count);

// Supplies "<base>N.wav" files at splits, and records what the thread tells it.
class RecordingThreadDelegate : public ZEPConverterThreadDelegate {
public:
    explicit RecordingThreadDelegate(QString base) : mBase(std::move(base)) {}

    ZEPAudioFileWriterList nextAudioFilesForConverters(const ZEPAudioConverterList& encoders,
                                                       const ZEPAudioFileWriterList& fileWriters) override;
    void addFileWriters(const ZEPAudioFileWriterList& writers) override;
    void converterFinished(ZEPConverterThread* converterThread) override;

    // Called inside nextAudioFilesForConverters() before the writers are made.
    std::function<void(ZEPConverterThread*)> whileMakingFiles;
    ZEPConverterThread* thread = nullptr;
    int requests = 0;
    int finishedCalls = 0;
    OSStatus finishedError = 1;
    QStringList addedPaths;

private:
    QString mBase;
};

// Collects the live preview.
class RecordingPreview : public ZEPConverterThreadLivePreviewDelegate {
public:
    void writePreviewBufferList(const AudioBufferList* bufferList, UInt32 numPackets) override;
    void beginSwitch(SInt64 frames) override;
    void finishSwitch(SInt64 frames) override;
    void converterThreadDidChangeBypassGraph(ZEPConverterThread*, bool) override {}

    std::vector<float> left, right;
    std::atomic<long long> frames{0};
    std::vector<SInt64> begins, finishes;
};

} // namespace clipdeck::test
