// The edit model's own playback and scrubbing, heard on a JACK server of the test's own:
// a region plays exactly its edited frames and stops after its last one, a loop wraps at
// the region's length without a gap, a mono preview is the same on both sides, a live
// preview that meets its input ring busy waits for it, and a scrub asked for during a burst
// plays the newest position next.
#include "audio/editor/ZEPAudioFileEditor.h"
#include "audio/engine/ZEPAudioPullRingBuffer.h"
#include "audio/engine/CAPThread.h"
#include "audio/engine/ZEPPullAudioPlayer.h"
#include "audio/engine/ZEPRingLoader.h"
#include "audio/engine/ZEPSlamAudioPlayer.h"
#include "audio/files/ZEPAudioConverter.h"
#include "audio/files/ZEPPreviewConverter.h"

#include "EditorFixtures.h"
#include "platform/ThreadPriority.h"
#include "platform/devices/AudioHardware.h"
#include "support/JackTestServer.h"
#include "support/ServerRequirement.h"
#include "support/TestEnvironment.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <cmath>
#include <iostream>
#include <sstream>
#include <thread>

using namespace clipdeck::test;

namespace {

// How long a test waits for the server's cycles to bring a state: only a bound for a loaded
// machine, where a cycle can come late.
constexpr int kServerWait = 60000;

ZEPAudioRegionRef cut(SInt64 index, SInt64 end)
{
    return ZEPAudioRegion::regionAtIndex(index, end);
}

// The file frames an edited read of [index, end] delivers, with the cuts taken out.
std::vector<long long> editedFrames(SInt64 index, SInt64 end, const std::vector<std::pair<SInt64, SInt64>>& cuts)
{
    std::vector<long long> frames;
    for (SInt64 k = index; k <= end; ++k) {
        bool skipped = false;
        for (const auto& [from, to] : cuts)
            skipped = skipped || (from <= k && k <= to);
        if (!skipped)
            frames.push_back(k);
    }
    return frames;
}

// Whether the recorded cycle that starts at index at repeats the one before it, sample for
// sample, with sound in it: a source that was late for a cycle leaves its last buffer in its
// port, and the recorder records that again (a ramp never repeats itself otherwise).
bool repeatsCycleBefore(const std::vector<float>& left, size_t at, size_t period, size_t count)
{
    if (at < period || at + period > count)
        return false;
    const auto cycle = left.begin() + long(at);
    return std::any_of(cycle, cycle + long(period), [](float sample) { return sample != 0.0f; }) &&
           std::equal(cycle, cycle + long(period), cycle - long(period));
}

// The ramp frames of a recorded channel from its first sound on, up to the first silence.
struct Heard {
    size_t start = 0;              // recorded index of the first sound
    std::vector<long long> frames; // frames until the sound stopped
    bool silentAfter = true;       // nothing but silence after that (and late cycles' repeats)
};
Heard heardRamp(const JackRecorder& recorder)
{
    const std::vector<float>& left = recorder.channel(0);
    const size_t count = recorder.frames();
    const size_t period = recorder.period();
    Heard heard;
    while (heard.start < count && left[heard.start] == 0.0f)
        ++heard.start;
    size_t i = heard.start;
    for (; i < count && left[i] != 0.0f; ++i)
        heard.frames.push_back(rampFrame(left[i]));
    // A cycle repeated after the sound stopped is passed over, one for each late cycle.
    int repeatsLeft = recorder.xruns();
    while (i < count && heard.silentAfter) {
        const size_t cycleStart = i - i % period;
        if (left[i] == 0.0f) {
            ++i;
        } else if (cycleStart >= heard.start && repeatsLeft > 0 && repeatsCycleBefore(left, cycleStart, period, count)) {
            --repeatsLeft;
            i = cycleStart + period;
        } else {
            heard.silentAfter = false;
        }
    }
    return heard;
}

// The ramp frames of every sounding sample recorded so far, silences left out.
std::vector<long long> soundedFrames(const JackRecorder& recorder)
{
    const std::vector<float>& left = recorder.channel(0);
    std::vector<long long> frames;
    for (size_t i = 0, count = recorder.frames(); i < count; ++i) {
        if (left[i] != 0.0f)
            frames.push_back(rampFrame(left[i]));
    }
    return frames;
}

bool soundedFrameAtOrPast(const JackRecorder& recorder, long long frame)
{
    const std::vector<long long> frames = soundedFrames(recorder);
    return std::any_of(frames.begin(), frames.end(), [frame](long long f) { return f >= frame; });
}

// Whether the recorder has recorded past frame, or is full: a starved server can take seconds
// to let a stopped player's client go, and the recording may end before the stop returns.
bool recordedPast(const JackRecorder& recorder, size_t frame)
{
    return recorder.frames() > frame || recorder.frames() == recorder.channel(0).size();
}

// The silent frames recorded after the last sound, once there was sound (else 0).
size_t silenceAfterSound(const JackRecorder& recorder)
{
    const std::vector<float>& left = recorder.channel(0);
    const size_t count = recorder.frames();
    size_t last = count;
    while (last > 0 && left[last - 1] == 0.0f)
        --last;
    return last > 0 ? count - last : 0;
}

// How the heard frames follow an order of frames: each the next in the order, except
// where the recording lost a server cycle (a late cycle: the recorder missed what was
// played). Answers the jumps; a frame out of the order counts as kAstray, and so does one
// that goes back in a straight order by more than repeatFrames. A late source can leave its
// last cycle's buffer in its port, which the recorder then records twice: a jump back by at
// most one period (repeatFrames) is such a repeat, counted as one jump.
constexpr size_t kAstray = size_t(-1);
size_t jumpsAlong(const std::vector<long long>& heard, const std::vector<long long>& order, bool cyclic,
                  size_t repeatFrames)
{
    if (heard.empty())
        return 0;
    auto find = [&](long long frame) { return size_t(std::find(order.begin(), order.end(), frame) - order.begin()); };
    size_t at = find(heard.front());
    if (at == order.size())
        return kAstray;
    size_t jumps = 0;
    for (size_t i = 1; i < heard.size(); ++i) {
        const size_t next = cyclic ? (at + 1) % order.size() : at + 1;
        if (next < order.size() && order[next] == heard[i]) {
            at = next;
            continue;
        }
        const size_t found = find(heard[i]);
        if (found == order.size() || (!cyclic && found + repeatFrames < at))
            return kAstray;
        at = found;
        ++jumps;
    }
    return jumps;
}

// The recording as runs of sound and silence, with the ramp frames each sound run holds
// and where it jumps: printed when a test fails, so a failure in CI shows what was heard.
std::string describeRecording(const JackRecorder& recorder)
{
    const std::vector<float>& left = recorder.channel(0);
    const size_t count = recorder.frames();
    std::ostringstream text;
    text << "recorded " << count << " frames in cycles of " << recorder.period() << ", " << recorder.xruns()
         << " late\n";
    int lines = 0;
    for (size_t i = 0; i < count && lines < 60; ++lines) {
        const bool silent = left[i] == 0.0f;
        size_t end = i;
        while (end < count && (left[end] == 0.0f) == silent)
            ++end;
        text << (silent ? "  silence " : "  sound   ") << i << ".." << end - 1;
        if (!silent) {
            text << ": frames " << rampFrame(left[i]) << ".." << rampFrame(left[end - 1]);
            for (size_t k = i + 1; k < end; ++k) {
                if (rampFrame(left[k]) != rampFrame(left[k - 1]) + 1)
                    text << ", at " << k << " " << rampFrame(left[k - 1]) << " -> " << rampFrame(left[k]);
            }
        }
        text << "\n";
        i = end;
    }
    return text.str();
}

// Prints the recording when the test it lives in has failed, at the end of its scope.
class DescribeOnFailure {
public:
    explicit DescribeOnFailure(const JackRecorder& recorder) : recorder_(recorder) {}
    ~DescribeOnFailure()
    {
        if (::testing::Test::HasFailure())
            std::cerr << describeRecording(recorder_);
    }

private:
    const JackRecorder& recorder_;
};

// A file editor whose first track ring (the live preview's input) a test can hold busy, as
// its loader does while it publishes.
class TrackRingEditor : public ZEPAudioFileEditor {
public:
    explicit TrackRingEditor(std::unique_ptr<ZEPAudioFile> file) : ZEPAudioFileEditor(std::move(file)) {}
    using ZEPAudioEditor::firstTrackRing;
};

class EditorPlaybackOnDevice : public ::testing::Test {
protected:
    void SetUp() override
    {
        CLIPDECK_REQUIRE_SERVER(server.running(), "jackd");
        AudioHardware::shared().refresh();
        editor = openRampEditor(folder.path(), 100000);
        ASSERT_TRUE(editor);
    }
    void TearDown() override
    {
        if (editor)
            editor->stopPlayback();
    }
    JackTestServer server;
    TempFolder folder;
    std::unique_ptr<ZEPAudioFileEditor> editor;
};

} // namespace

TEST_F(EditorPlaybackOnDevice, aRegionPlaysItsEditedFramesAndStopsAfterItsLastOne)
{
    ASSERT_TRUE(editor->addSkippedRegion(cut(60000, 60999)));
    editor->setLivePreviewEnabled(false);
    JackRecorder recorder("Clipdeck", 4 * 44100);
    const DescribeOnFailure describe(recorder);
    ASSERT_EQ(editor->playRegion(ZEPAudioRegion::regionAtIndex(20000, 89999)), noErr);
    ASSERT_TRUE(recorder.connect());
    ASSERT_TRUE(waitUntil([&] { return !editor->isPlaying(); }, kServerWait));
    const size_t stoppedAt = recorder.frames();
    ASSERT_TRUE(waitUntil([&] { return recordedPast(recorder, stoppedAt + 4410); }, kServerWait));

    const std::vector<long long> expected = editedFrames(20000, 89999, {{60000, 60999}});
    const Heard heard = heardRamp(recorder);
    SCOPED_TRACE(testing::Message() << recorder.xruns() << " late cycles");
    // Recording starts a little after playback (on a loaded machine up to half a second and
    // more; the region lasts 1.6 s and its cut comes 0.9 s in): what is heard is the region
    // from there, frame after frame, up to its last frame (less a last slice the recorder
    // lost to a late cycle), and silence after it.
    ASSERT_GT(heard.frames.size(), size_t(10000));
    EXPECT_LE(jumpsAlong(heard.frames, expected, false, recorder.period()), size_t(recorder.xruns()));
    EXPECT_LE(size_t(expected.back() - heard.frames.back()), size_t(recorder.xruns()) * recorder.period());
    EXPECT_TRUE(heard.silentAfter);
    // The player's time ran from the region's start (relative 19999, after the start
    // region) to its stop time, the first frame after the region.
    EXPECT_EQ(editor->player()->stopSampleTime(), double(19999 + expected.size()));
    EXPECT_GE(editor->player()->sampleTime(), editor->player()->stopSampleTime());
    // A player that stopped leaves the position at the region's start.
    EXPECT_EQ(editor->playbackLocation(), 20000);
}

TEST_F(EditorPlaybackOnDevice, aLoopWrapsExactlyAtTheRegionsLengthAndTurningItOffEndsThePass)
{
    ASSERT_TRUE(editor->addSkippedRegion(cut(12000, 12499)));
    editor->setLivePreviewEnabled(false);
    editor->setLoop(true);
    JackRecorder recorder("Clipdeck", 6 * 44100);
    const DescribeOnFailure describe(recorder);
    ASSERT_EQ(editor->playRegion(ZEPAudioRegion::regionAtIndex(10000, 14999)), noErr);
    ASSERT_TRUE(recorder.connect());
    ASSERT_TRUE(waitUntil([&] { return recorder.frames() > 44100; }, kServerWait));
    editor->setLoop(false);
    ASSERT_TRUE(waitUntil([&] { return !editor->isPlaying(); }, kServerWait));
    const size_t stoppedAt = recorder.frames();
    ASSERT_TRUE(waitUntil([&] { return recordedPast(recorder, stoppedAt + 4410); }, kServerWait));

    const std::vector<long long> pass = editedFrames(10000, 14999, {{12000, 12499}});
    ASSERT_EQ(pass.size(), 4500u);
    // Loop off: the player's time stopped exactly at the end of a pass (it started at the
    // region's start, relative 9999 after the start region).
    const double stop = editor->player()->stopSampleTime();
    EXPECT_EQ(std::fmod(stop - 9999.0, 4500.0), 0.0) << stop;
    EXPECT_GE(editor->player()->sampleTime(), stop);

    const Heard heard = heardRamp(recorder);
    const size_t lost = size_t(recorder.xruns()) * recorder.period();
    SCOPED_TRACE(testing::Message() << recorder.xruns() << " late cycles");
    ASSERT_GT(heard.frames.size(), 3 * pass.size());
    // Each frame heard is followed by the next of the pass, the last by the first.
    EXPECT_LE(jumpsAlong(heard.frames, pass, true, 0), size_t(recorder.xruns()));
    // The pass under way ended at the region's last frame (less a last slice the recorder
    // lost to a late cycle), then silence.
    EXPECT_LE(size_t(14999 - heard.frames.back()), lost);
    EXPECT_TRUE(heard.silentAfter);
}

TEST_F(EditorPlaybackOnDevice, aMonoAACLivePreviewSoundsTheSameOnBothSides)
{
    const QString path = writeSoundFile(folder.file("tones.wav"), 3 * 44100,
                                        [](long long k) { return float(0.5 * std::sin(2 * M_PI * 441.0 * k / 44100.0)); },
                                        [](long long k) { return float(0.3 * std::sin(2 * M_PI * 882.0 * k / 44100.0)); });
    auto tones = ZEPAudioFileEditor::initWithPath(path, false);
    ASSERT_TRUE(tones);
    ASSERT_TRUE(tones->livePreviewEnabled());
    AudioStreamBasicDescription aac;
    ASSERT_EQ(ZEPAudioConverter::defaultOutputDescription(&aac, kAudioFileM4AType), noErr);
    aac.mChannelsPerFrame = 1;
    QVariantMap encoder = ZEPAudioConverter::dictionaryWithASBD(aac);
    encoder.insert("bitRate", 64000);
    tones->setEncodeSettings({{"fileType", qlonglong(kAudioFileM4AType)}, {"encoderSettings", encoder}});
    EXPECT_EQ(tones->encodeSettings().value("encoderSettings").toMap().value("mChannelsPerFrame").toInt(), 1);

    JackRecorder recorder("Clipdeck", 3 * 44100);
    ASSERT_EQ(tones->playRegion(nullptr), noErr);
    ASSERT_TRUE(recorder.connect());
    ASSERT_TRUE(waitUntil([&] { return recorder.frames() > 44100; }, kServerWait));
    tones->stopPlayback();

    const size_t count = recorder.frames();
    const std::vector<float>& left = recorder.channel(0);
    const std::vector<float>& right = recorder.channel(1);
    // The recorder's two ports are connected one after the other: the comparison starts at
    // the first cycle that has both.
    constexpr size_t kCycle = 256;
    size_t start = 0;
    while (start < count && (left[start] == 0.0f || right[start] == 0.0f))
        ++start;
    start = (start + kCycle - 1) / kCycle * kCycle;
    ASSERT_LT(start + 22050, count);
    double power = 0;
    size_t unequal = 0;
    for (size_t i = start; i < count; ++i) {
        power += double(left[i]) * left[i];
        unequal += left[i] != right[i] ? 1 : 0;
    }
    EXPECT_EQ(unequal, 0u);
    EXPECT_GT(std::sqrt(power / double(count - start)), 0.1); // the mean of both tones, not silence
}

TEST_F(EditorPlaybackOnDevice, aScrubAskedForDuringABurstPlaysTheNewestPositionNext)
{
    editor->setScrubs(true);
    editor->setScrubDuration(0.2f);
    editor->setMinimumScrubDuration(0.05f);
    const SInt64 before = editor->readLocation();
    editor->startScrub();
    ASSERT_TRUE(editor->isScrubing());
    JackRecorder recorder("Clipdeck", 3 * 44100);
    const DescribeOnFailure describe(recorder);
    ASSERT_TRUE(recorder.connect());
    // Asked for only once the recorder hears the scrub player: no slice of it goes unheard.
    ASSERT_TRUE(waitUntil([&] { return recorder.frames() > 0; }, kServerWait));
    editor->scrubAtLocation(10000);
    editor->scrubAtLocation(50000); // before the burst's minimum: kept,
    editor->scrubAtLocation(70000); // and replaced by the newest
    // The newest position is handed over by the main thread, which a loaded machine can keep
    // waiting past the first burst's end: the recording goes on until it is heard.
    ASSERT_TRUE(waitUntil([&] { return soundedFrameAtOrPast(recorder, 50000) || recorder.frames() > 2 * 44100; },
                          kServerWait));
    editor->endScrub();
    EXPECT_FALSE(editor->isScrubing());
    EXPECT_EQ(editor->readLocation(), before);

    // The first burst from its start, then the newest position; the one in between never
    // plays. (Less what the recorder lost to late cycles; silence between the two is the
    // main thread's lateness, not a fault.)
    const std::vector<long long> heard = soundedFrames(recorder);
    const long long lost = recorder.xruns() * 256LL;
    SCOPED_TRACE(testing::Message() << recorder.xruns() << " late cycles");
    ASSERT_FALSE(heard.empty());
    EXPECT_LE(heard.front() - 10000, lost);
    const auto newest = std::find_if(heard.begin(), heard.end(), [](long long f) { return f >= 50000; });
    ASSERT_NE(newest, heard.end());
    EXPECT_GE(*newest, 70000);
    EXPECT_LE(*newest - 70000, lost);
    EXPECT_TRUE(std::all_of(heard.begin(), newest, [](long long f) { return f >= 10000 && f < 10000 + 8820; }));
}

TEST_F(EditorPlaybackOnDevice, aSeekWhilePlayingGoesOnFromThereWithoutAGap)
{
    editor->setLivePreviewEnabled(false);
    JackRecorder recorder("Clipdeck", 4 * 44100);
    ASSERT_EQ(editor->playRegion(ZEPAudioRegion::regionAtIndex(10000, 89999)), noErr);
    ASSERT_TRUE(recorder.connect());
    ASSERT_TRUE(waitUntil([&] { return recorder.frames() > 8820; }, kServerWait));
    editor->setPlaybackLocation(95000); // outside the region: nothing happens
    editor->setPlaybackLocation(70000);
    ASSERT_TRUE(waitUntil([&] { return !editor->isPlaying(); }, kServerWait));
    const size_t stoppedAt = recorder.frames();
    ASSERT_TRUE(waitUntil([&] { return recordedPast(recorder, stoppedAt + 4410); }, kServerWait));

    const Heard heard = heardRamp(recorder);
    const auto seek = std::find(heard.frames.begin(), heard.frames.end(), 70000);
    ASSERT_NE(seek, heard.frames.end());
    ASSERT_NE(seek, heard.frames.begin());
    // Up to the seek the region from its start, then from 70000 on to the region's end,
    // frame after frame, and silence after it.
    const std::vector<long long> before(heard.frames.begin(), seek), after(seek, heard.frames.end());
    EXPECT_LT(before.back(), 70000);
    const size_t lateCycles = size_t(recorder.xruns());
    SCOPED_TRACE(testing::Message() << lateCycles << " late cycles");
    EXPECT_LE(jumpsAlong(before, editedFrames(10000, 69999, {}), false, recorder.period()), lateCycles);
    EXPECT_LE(jumpsAlong(after, editedFrames(70000, 89999, {}), false, recorder.period()), lateCycles);
    // The region's last frame (less a last slice the recorder lost to a late cycle), then
    // silence.
    EXPECT_LE(size_t(89999 - heard.frames.back()), lateCycles * recorder.period());
    EXPECT_TRUE(heard.silentAfter);
}

TEST_F(EditorPlaybackOnDevice, newEncodeSettingsWhilePreviewingSwitchWithoutAGap)
{
    // Values a 16-bit encoder keeps exactly, each telling its frame (modulo 32000).
    const auto value = [](long long k) { return float((k % 32000) + 1) / 32768.0f; };
    const QString path = writeSoundFile(folder.file("steps.wav"), 40000, value, value);
    auto steps = ZEPAudioFileEditor::initWithPath(path, false);
    ASSERT_TRUE(steps);
    steps->setEncodeSettings({{"fileType", qlonglong(kAudioFileCAFType)}}); // Apple Lossless
    steps->setLoop(true);
    JackRecorder recorder("Clipdeck", 6 * 44100);
    ASSERT_EQ(steps->playRegion(ZEPAudioRegion::regionAtIndex(1000, 20999)), noErr);
    ASSERT_TRUE(recorder.connect());
    ASSERT_TRUE(waitUntil([&] { return recorder.frames() > 17640; }, kServerWait));
    steps->setEncodeSettings({{"fileType", qlonglong(kAudioFileWAVEType)}}); // 16-bit linear PCM
    EXPECT_EQ(steps->encodeSettings().value("fileType").toLongLong(), qlonglong(kAudioFileWAVEType));
    ASSERT_TRUE(waitUntil([&] { return recorder.frames() > 35280; }, kServerWait));
    steps->setLoop(false);
    ASSERT_TRUE(waitUntil([&] { return !steps->isPlaying(); }, kServerWait));
    const size_t stoppedAt = recorder.frames();
    ASSERT_TRUE(waitUntil([&] { return recordedPast(recorder, stoppedAt + 4410); }, kServerWait));

    const std::vector<float>& left = recorder.channel(0);
    size_t i = 0;
    while (i < stoppedAt && left[i] == 0.0f)
        ++i;
    ASSERT_LT(i, size_t(17640));
    std::vector<long long> heard;
    for (; i < recorder.frames() && left[i] != 0.0f; ++i)
        heard.push_back(std::lround(double(left[i]) * 32768.0) - 1);
    EXPECT_GT(heard.size(), size_t(35280 - 17640));
    // Through the switch the loop goes on frame after frame; the last pass ended at the
    // region's end.
    EXPECT_LE(jumpsAlong(heard, editedFrames(1000, 20999, {}), true, 0), size_t(recorder.xruns()));
    EXPECT_EQ(heard.back(), 20999);
}

TEST_F(EditorPlaybackOnDevice, aBurstNearTheEndIsShortenedAndTheRestIsSilence)
{
    editor->setScrubs(true);
    editor->setScrubDuration(0.2f); // a burst every 8820 frames
    editor->startScrub();
    JackRecorder recorder("Clipdeck", 44100);
    const DescribeOnFailure describe(recorder);
    ASSERT_TRUE(recorder.connect());
    // Asked for only once the recorder hears the scrub player: no slice of it goes unheard.
    ASSERT_TRUE(waitUntil([&] { return recorder.frames() > 0; }, kServerWait));
    editor->scrubAtLocation(99000);
    ASSERT_TRUE(waitUntil([&] { return recorder.frames() > 22050; }, kServerWait));
    editor->endScrub();
    // The burst's last 1000 frames, frame after frame (less what the recorder lost to late
    // cycles), then silence up to its repeat 8820 frames after its start, which plays the
    // same burst again.
    const Heard heard = heardRamp(recorder);
    const size_t lost = size_t(recorder.xruns()) * 256;
    SCOPED_TRACE(testing::Message() << recorder.xruns() << " late cycles");
    ASSERT_FALSE(heard.frames.empty());
    EXPECT_GE(heard.frames.size() + lost, 1000u);
    EXPECT_LE(size_t(heard.frames.front() - 99000), lost);
    EXPECT_LE(size_t(99999 - heard.frames.back()), lost);
    EXPECT_LE(jumpsAlong(heard.frames, editedFrames(99000, 99999, {}), false, recorder.period()),
              size_t(recorder.xruns()));
    const std::vector<float>& left = recorder.channel(0);
    size_t next = heard.start + heard.frames.size();
    while (next < recorder.frames() && left[next] == 0.0f)
        ++next;
    ASSERT_LT(next, recorder.frames());
    EXPECT_LE(next - heard.start, 8820u);
    EXPECT_GE(next - heard.start + lost, 8820u);
    EXPECT_LE(size_t(rampFrame(left[next]) - 99000), lost);
}

TEST_F(EditorPlaybackOnDevice, aLivePreviewThatFindsItsInputRingBusyWaitsForItInsteadOfPlayingSilence)
{
    const QString path = writeRampFile(folder.file("busy.wav"), 100000);
    TrackRingEditor previewed(ZEPAudioFile::initWithPath(path, 0, false));
    ASSERT_TRUE(previewed.livePreviewEnabled());
    JackRecorder recorder("Clipdeck", 4 * 44100);
    const DescribeOnFailure describe(recorder);
    ASSERT_EQ(previewed.playRegion(ZEPAudioRegion::regionAtIndex(10000, 89999)), noErr);
    ZEPAudioPullRingBuffer* input = previewed.firstTrackRing();
    ASSERT_TRUE(input);
    // The preview's input ring is held most of the time, released often enough for the
    // player's loader to keep ahead of the device. The holder runs at the priority of the
    // loader it stands for (real-time below the audio thread, where granted): held by a thread
    // of normal priority, the lock stayed held while a loaded machine gave that thread no
    // time, for longer than the player's ring lasts.
    struct Holder {
        ~Holder()
        {
            done = true;
            if (thread.joinable())
                thread.join();
        }
        std::atomic<bool> done{false};
        std::thread thread;
    } holder;
    holder.thread = std::thread([&] {
        unsigned scheduled = ThreadPriority::generation() - 1;
        while (!holder.done.load()) {
            if (scheduled != ThreadPriority::generation()) {
                scheduled = ThreadPriority::generation();
                ThreadPriority::applyToHelper(pthread_self(),
                                              ZEPRingLoader::kLoaderPriority - CAPThread::kDefaultThreadPriority);
            }
            input->lock();
            std::this_thread::sleep_for(std::chrono::microseconds(500));
            input->unlock();
            std::this_thread::sleep_for(std::chrono::microseconds(50));
        }
    });
    ASSERT_TRUE(recorder.connect());
    // Until a tenth of a second of silence follows the sound. Not until the player says it has
    // stopped: its device's client is closed on that, and a starved server can take seconds
    // to let a client go, longer than the recording lasts.
    ASSERT_TRUE(waitUntil([&] { return silenceAfterSound(recorder) > 4410; }, kServerWait));

    // The region from where the recorder came in, frame after frame to its last one: no
    // silence put in where the preview met its ring busy.
    const Heard heard = heardRamp(recorder);
    SCOPED_TRACE(testing::Message() << recorder.xruns() << " late cycles");
    ASSERT_GT(heard.frames.size(), size_t(40000));
    EXPECT_LE(jumpsAlong(heard.frames, editedFrames(10000, 89999, {}), false, recorder.period()),
              size_t(recorder.xruns()));
    EXPECT_LE(size_t(89999 - heard.frames.back()), size_t(recorder.xruns()) * recorder.period());
    EXPECT_TRUE(heard.silentAfter);
}
