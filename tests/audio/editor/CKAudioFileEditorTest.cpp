// The board's playback feed: a render thread pulls 512-frame slices and gets the head at
// once, then the loader's frames, the last short slice padded with silence, one run-out
// notice and 666 after it; rewinds replay from the head, and a forced loop wraps without a
// gap. Also the feed's encode settings, volumes and cache duration.
#include "audio/editor/CKAudioFileEditor.h"

#include "EditorFixtures.h"
#include "audio/files/ZEPAudioFileWriter.h"
#include "platform/UserDefaults.h"
#include "support/AllocationCounter.h"
#include "support/RenderGuard.h"
#include "support/TestEnvironment.h"

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <thread>

using namespace clipdeck::test;

namespace {

// Counts the run-out notices and remembers the thread they came on; answers nothing unless
// told to, as a delegate that only sets a flag does.
class RunOutCounter : public ZEPAudioEditorDelegate {
public:
    std::optional<OSStatus> audioEditorRanOutOfData(ZEPAudioEditor*) override
    {
        ++count;
        thread = std::this_thread::get_id();
        return answer;
    }
    void editorDidChangePlaybackVolume(ZEPAudioEditor*) override { ++volumeChanges; }
    std::atomic<int> count{0};
    std::thread::id thread;
    std::optional<OSStatus> answer;
    int volumeChanges = 0;
};

// One slice a render thread pulled.
struct Slice {
    OSStatus status = noErr;
    UInt32 frames = 0;
    UInt32 bytes[2] = {0, 0};
    bool silentFlag = false;
    std::vector<float> left;
};

// Pulls slices of 512 frames on a thread of its own, as the board mixer does. With paced,
// each slice waits (at most a second) for the ring to hold a slice or its loader to end,
// so that a slow machine's loader is not taken for the end of the sound.
std::vector<Slice> renderOnAThread(CKAudioFileEditor& feed, int slices, bool paced, int* allocations = nullptr,
                                   std::thread::id* renderThread = nullptr)
{
    std::vector<Slice> out(size_t(slices), Slice{});
    for (Slice& slice : out)
        slice.left.resize(512);
    std::vector<float> right(512);
    std::thread thread([&] {
        if (renderThread)
            *renderThread = std::this_thread::get_id();
        AllocationCounter counter;
        for (Slice& slice : out) {
            if (paced && feed.ringBuffer()) {
                const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(1);
                while (feed.ringBuffer()->amountFrames() < 512 && feed.ringBuffer()->isRunning() &&
                       std::chrono::steady_clock::now() < deadline)
                    std::this_thread::sleep_for(std::chrono::microseconds(200));
            }
            StackAudioBufferList<2> list;
            list.mBuffers[0] = {1, 512 * 4, slice.left.data()};
            list.mBuffers[1] = {1, 512 * 4, right.data()};
            UInt32 frames = 512;
            AudioUnitRenderActionFlags flags = 0;
            AudioTimeStamp time;
            slice.status = feed.renderFrames(&frames, list.list(), &flags, &time, nullptr);
            slice.frames = frames;
            slice.bytes[0] = list.mBuffers[0].mDataByteSize;
            slice.bytes[1] = list.mBuffers[1].mDataByteSize;
            slice.silentFlag = flags & kAudioUnitRenderAction_OutputIsSilence;
        }
        if (allocations)
            *allocations = counter.count();
    });
    thread.join();
    return out;
}

// The ramp frames of the slices, as long as they are not silence.
std::vector<long long> framesOf(const std::vector<Slice>& slices)
{
    std::vector<long long> frames;
    for (const Slice& slice : slices) {
        for (float sample : slice.left) {
            if (sample == 0.0f)
                return frames;
            frames.push_back(rampFrame(sample));
        }
    }
    return frames;
}

// The frames of a loaded ramp of count frames: the start region (frame 0) and the end
// region (frame count - 2) are cut.
std::vector<long long> loadedRamp(long long count)
{
    std::vector<long long> frames;
    for (long long k = 1; k < count; ++k) {
        if (k != count - 2)
            frames.push_back(k);
    }
    return frames;
}

// The next count frames a paced render hears, leaving out the silent slices of a loader
// that is behind (the test renders far faster than a device: what its render finds missing
// is silence, and it comes back for the rest, as a device would a period later).
std::vector<long long> nextHeardFrames(CKAudioFileEditor& feed, size_t count)
{
    std::vector<long long> heard;
    for (int attempt = 0; heard.size() < count && attempt < 20000; ++attempt) {
        for (const Slice& slice : renderOnAThread(feed, 1, true)) {
            for (float sample : slice.left) {
                if (sample != 0.0f)
                    heard.push_back(rampFrame(sample));
            }
        }
    }
    heard.resize(std::min(heard.size(), count));
    return heard;
}

std::unique_ptr<CKAudioFileEditor> openFeed(const TempFolder& folder, long long frames)
{
    const QString path = writeRampFile(folder.file(QStringLiteral("ramp%1.wav").arg(frames)), frames);
    auto feed = CKAudioFileEditor::initWithPath(path, false);
    if (feed)
        feed->setUseCache(true);
    return feed;
}

} // namespace

TEST(CKAudioFileEditor, aRenderThreadGetsTheHeadAtOnceThenTheRingThenOneRunOutAnd666)
{
    TempFolder folder;
    auto feed = openFeed(folder, 100000);
    ASSERT_TRUE(feed);
    RunOutCounter delegate;
    feed->setDelegate(&delegate);
    ASSERT_EQ(feed->updateCachedAudio(), noErr);
    ASSERT_EQ(feed->cachedFrames(), 44100u);
    const std::vector<long long> sound = loadedRamp(100000);

    // Without the loader the ring holds only the head: 86 whole slices at once, a short one
    // padded with silence, then the end.
    feed->restartPlaybackAtBeginning();
    feed->prepareForPlayback();
    std::thread::id renderThread;
    int allocations = -1;
    std::vector<Slice> head = renderOnAThread(*feed, 90, false, &allocations, &renderThread);
    EXPECT_EQ(allocations, 0);
    EXPECT_EQ(framesOf(head), std::vector<long long>(sound.begin(), sound.begin() + 44100));
    for (int i = 0; i < 86; ++i)
        ASSERT_EQ(head[size_t(i)].status, noErr) << i;
    const Slice& shortSlice = head[86];
    EXPECT_EQ(shortSlice.status, noErr);
    EXPECT_EQ(shortSlice.frames, 512u);
    EXPECT_EQ(shortSlice.bytes[0], 2048u);
    EXPECT_EQ(shortSlice.bytes[1], 2048u);
    EXPECT_EQ(rampFrame(shortSlice.left[67]), sound[44099]);
    EXPECT_EQ(shortSlice.left[68], 0.0f);
    EXPECT_EQ(head[87].status, noErr); // the slice that found the ring dry tells the owner
    EXPECT_TRUE(head[87].silentFlag);
    EXPECT_EQ(head[88].status, kZEPAudioSourceEndOfData);
    EXPECT_EQ(head[89].status, kZEPAudioSourceEndOfData);
    EXPECT_TRUE(head[89].silentFlag);
    EXPECT_EQ(delegate.count.load(), 1);
    EXPECT_EQ(delegate.thread, renderThread);
    EXPECT_TRUE(feed->isStopping());

    // Rewound and caching: the whole sound, the head first, then the ring.
    feed->restartPlaybackAndContinue();
    EXPECT_FALSE(feed->isStopping());
    EXPECT_TRUE(feed->currentlyCaching());
    feed->prepareForPlayback();
    std::vector<Slice> whole = renderOnAThread(*feed, 200, true, &allocations);
    EXPECT_EQ(allocations, 0);
    EXPECT_EQ(framesOf(whole), sound);
    // 99998 frames: the 196th slice holds the last 158 and silence; it passes the play
    // length, so it is the one that tells of the end.
    EXPECT_EQ(whole[195].status, noErr);
    EXPECT_EQ(rampFrame(whole[195].left[157]), 99999);
    EXPECT_EQ(whole[195].left[158], 0.0f);
    EXPECT_EQ(whole[195].bytes[0], 2048u);
    for (size_t i = 196; i < whole.size(); ++i)
        ASSERT_EQ(whole[i].status, kZEPAudioSourceEndOfData) << i;
    EXPECT_EQ(delegate.count.load(), 2);
    EXPECT_FLOAT_EQ(feed->playbackPercentage(), 1.0f); // progress follows what the board read

    // A rewind replays from the head.
    feed->restartPlaybackAtBeginning();
    std::vector<Slice> again = renderOnAThread(*feed, 2, false);
    EXPECT_EQ(again[0].status, noErr);
    EXPECT_EQ(framesOf(again), std::vector<long long>(sound.begin(), sound.begin() + 1024));
    feed->setDelegate(nullptr);
}

TEST(CKAudioFileEditor, withoutAHeadARestartPlaysFromTheBeginningNotWhatWasLeft)
{
    TempFolder folder;
    auto feed = openFeed(folder, 100000);
    ASSERT_TRUE(feed);
    feed->restartPlaybackAndContinue();
    feed->prepareForPlayback();
    ASSERT_EQ(framesOf(renderOnAThread(*feed, 4, true)).front(), 1);
    feed->restartPlaybackAndContinue();
    feed->prepareForPlayback();
    // Without a head, the slices before the loader's first frames of the new pass are
    // silence; the first sound is the beginning.
    std::vector<Slice> slices = renderOnAThread(*feed, 1, true);
    for (int attempt = 0; slices.front().silentFlag && attempt < 5000; ++attempt) {
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
        slices = renderOnAThread(*feed, 1, true);
    }
    const std::vector<Slice> more = renderOnAThread(*feed, 3, true);
    slices.insert(slices.end(), more.begin(), more.end());
    const std::vector<long long> heard = framesOf(slices);
    ASSERT_FALSE(heard.empty());
    EXPECT_EQ(heard.front(), 1);
}

TEST(CKAudioFileEditor, aRestartNeverWaitsForTheLoaderAndTheNextSliceStartsTheHead)
{
    TempFolder folder;
    auto feed = openFeed(folder, 10 * 44100);
    ASSERT_TRUE(feed);
    ASSERT_EQ(feed->updateCachedAudio(), noErr);
    feed->restartPlaybackAndContinue();
    feed->prepareForPlayback();
    const std::vector<long long> sound = loadedRamp(10 * 44100);
    for (int round = 0; round < 20; ++round) {
        SCOPED_TRACE(round);
        // Somewhere in the sound, the loader busy filling its ring behind it.
        const int slices = 40 + 13 * round;
        ASSERT_FALSE(framesOf(renderOnAThread(*feed, slices, true)).empty());
        RenderGuard guard;
        {
            RenderGuard::Scope armed;
            feed->restartPlaybackAndContinue();
        }
        EXPECT_EQ(guard.violations(RenderGuard::Kind::Wait), 0u) << guard.report().toStdString();
        feed->prepareForPlayback();
        EXPECT_EQ(framesOf(renderOnAThread(*feed, 2, false)),
                  std::vector<long long>(sound.begin(), sound.begin() + 1024));
    }
    // After the head, the loader's frames of the last pass follow: nothing skipped, nothing
    // twice.
    EXPECT_EQ(nextHeardFrames(*feed, 120 * 512),
              std::vector<long long>(sound.begin() + 1024, sound.begin() + 1024 + 120 * 512));
}

TEST(CKAudioFileEditor, theHeadReadAgainAfterTheLoaderReachedTheEndHoldsTheWholeHead)
{
    TempFolder folder;
    auto feed = openFeed(folder, 100000);
    ASSERT_TRUE(feed);
    ASSERT_EQ(feed->updateCachedAudio(), noErr);
    feed->restartPlaybackAndContinue();
    feed->prepareForPlayback();
    const std::vector<long long> sound = loadedRamp(100000);
    ASSERT_EQ(framesOf(renderOnAThread(*feed, 200, true)), sound); // the loader read to the end

    // Read again (after an edit, say): the whole head, and a rewind plays it at once.
    EXPECT_EQ(feed->updateCachedAudio(), noErr);
    EXPECT_EQ(feed->cachedFrames(), 44100u);
    feed->restartPlaybackAtBeginning();
    feed->prepareForPlayback();
    EXPECT_EQ(framesOf(renderOnAThread(*feed, 2, false)), std::vector<long long>(sound.begin(), sound.begin() + 1024));
}

TEST(CKAudioFileEditor, aHeadReadWhileAPassPlaysIsNotPlayedIntoThatPass)
{
    TempFolder folder;
    auto feed = openFeed(folder, 100000);
    ASSERT_TRUE(feed);
    // Pressed before its head was read: the pass plays from the ring alone.
    feed->restartPlaybackAndContinue();
    feed->prepareForPlayback();
    const std::vector<long long> sound = loadedRamp(100000);
    std::vector<long long> heard = nextHeardFrames(*feed, 20 * 512);
    ASSERT_EQ(feed->updateCachedAudio(), noErr);
    ASSERT_EQ(feed->cachedFrames(), 44100u);
    const std::vector<long long> more = nextHeardFrames(*feed, 20 * 512);
    heard.insert(heard.end(), more.begin(), more.end());
    EXPECT_EQ(heard, std::vector<long long>(sound.begin(), sound.begin() + 40 * 512));
    // The next pass starts with the head.
    feed->restartPlaybackAndContinue();
    feed->prepareForPlayback();
    EXPECT_EQ(framesOf(renderOnAThread(*feed, 2, false)), std::vector<long long>(sound.begin(), sound.begin() + 1024));
}

TEST(CKAudioFileEditor, aForcedLoopWrapsWithoutAGapAtTheSeam)
{
    TempFolder folder;
    // Shorter than the head (which then holds the whole sound), and longer.
    for (long long count : {30000LL, 60000LL}) {
        SCOPED_TRACE(count);
        auto feed = openFeed(folder, count);
        ASSERT_TRUE(feed);
        RunOutCounter delegate;
        feed->setDelegate(&delegate);
        const OSStatus headStatus = feed->updateCachedAudio();
        EXPECT_EQ(headStatus, count < 44100 ? kZEPAudioSourceEndOfData : noErr);
        feed->setForceLoop(true);
        feed->restartPlaybackAndContinue();
        feed->prepareForPlayback();
        EXPECT_EQ(feed->playbackFrameCount(), 0);
        const std::vector<long long> pass = loadedRamp(count);
        const int slices = int(3 * pass.size() / 512) + 1;
        const std::vector<long long> heard = framesOf(renderOnAThread(*feed, slices, true));
        ASSERT_EQ(heard.size(), size_t(slices) * 512);
        for (size_t i = 0; i < heard.size(); ++i)
            ASSERT_EQ(heard[i], pass[i % pass.size()]) << "frame " << i;
        EXPECT_EQ(delegate.count.load(), 0);
        feed->setDelegate(nullptr);
    }
}

TEST(CKAudioFileEditor, thePlayLengthEndsTheSoundInTheSliceThatPassesIt)
{
    TempFolder folder;
    auto feed = openFeed(folder, 1002); // 1000 frames once the start and end regions are cut
    ASSERT_TRUE(feed);
    RunOutCounter delegate;
    delegate.answer = OSStatus(-42);
    feed->setDelegate(&delegate);
    feed->updateCachedAudio();
    feed->restartPlaybackAndContinue();
    feed->prepareForPlayback();
    EXPECT_EQ(feed->playbackFrameCount(), 1000);
    const std::vector<Slice> slices = renderOnAThread(*feed, 3, true);
    EXPECT_EQ(slices[0].status, noErr);
    EXPECT_EQ(slices[1].status, -42); // the delegate's answer becomes the status
    EXPECT_EQ(slices[2].status, kZEPAudioSourceEndOfData);
    EXPECT_TRUE(slices[2].silentFlag);
    EXPECT_EQ(delegate.count.load(), 1);
    feed->setDelegate(nullptr);
}

TEST(CKAudioFileEditor, settingsVolumesAndCacheDuration)
{
    TempFolder folder;
    const struct {
        QVariant stored;
        float seconds;
    } durations[] = {{QVariant(), 1.0f}, {0.5, 1.0f}, {3, 3.0f}};
    for (const auto& d : durations) {
        UserDefaults::standardUserDefaults().setObject(d.stored, "AudioCacheDuration");
        auto feed = openFeed(folder, 1000);
        ASSERT_TRUE(feed);
        EXPECT_FLOAT_EQ(feed->audioCacheDuration(), d.seconds) << d.stored.toString().toStdString();
    }
    UserDefaults::standardUserDefaults().removeObjectForKey("AudioCacheDuration");

    // A 48 kHz file: lossless 'm4af' settings at 44100 Hz unless the rate is preserved.
    const QString path = writeSoundFile(folder.file("take48.wav"), 4800, rampValue, rampValue, 48000);
    ASSERT_FALSE(path.isEmpty());
    auto feed = CKAudioFileEditor::initWithPath(path, false);
    ASSERT_TRUE(feed);
    EXPECT_FALSE(feed->livePreviewEnabled());
    QVariantMap expected = ZEPAudioFileWriter::losslessSettingsWithSampleRate(44100.0);
    expected.insert("fileType", qlonglong(kAudioFileM4AType));
    EXPECT_EQ(feed->encodeSettings(), expected);
    feed->setEncodeSettings({{"fileType", qlonglong(kAudioFileCAFType)}});
    EXPECT_EQ(feed->encodeSettings().value("fileType").toLongLong(), qlonglong(kAudioFileM4AType));

    RunOutCounter delegate;
    feed->setDelegate(&delegate);
    feed->setSamplesNativeMax(0.5f, 0);
    feed->setNormalizedMax(1.0f, 0);
    feed->setPlaybackVolume(0.5f);
    EXPECT_FLOAT_EQ(feed->scaledPlaybackVolume(), 1.0f);
    feed->setPlaybackVolumeNumber(0.5);
    EXPECT_EQ(delegate.volumeChanges, 1); // an unchanged volume tells nobody
    feed->setPlaybackVolume(-1.0f);
    EXPECT_FLOAT_EQ(feed->playbackVolume(), -1.0f);
    EXPECT_FLOAT_EQ(feed->scaledPlaybackVolume(), 2.0f);
    feed->setDelegate(nullptr);

    EXPECT_EQ(feed->mixerInput(), -1);
    EXPECT_EQ(feed->soundSource(), nullptr);
}
