// Every producer the device's thread can reach, rendered with the render guard armed: no
// allocation, no lock it waits on, no file access, no sleep and no exception on the render
// thread, in every state that matters. Each row builds its producer (unarmed), then a
// render thread of its own renders slices with the guard armed, and the row checks that
// the path it names was really taken (sound where sound is due). The device stream's own
// callback is watched on a JACK server in RenderGuardOnDeviceTest.cpp.
#include "audio/editor/CKAudioFileEditor.h"
#include "audio/engine/ZEPAudioGraph.h"
#include "audio/engine/ZEPAudioMixer.h"
#include "audio/engine/ZEPCanonicalFormats.h"
#include "audio/engine/ZEPLocklessPullAudioPlayer.h"
#include "audio/engine/ZEPMultiAudioGraph.h"
#include "audio/engine/ZEPPullAudioPlayer.h"
#include "audio/engine/ZEPPushAudioPlayer.h"
#include "audio/engine/ZEPSlamAudioPlayer.h"

#include "EditorFixtures.h"
#include "audio/engine/TestProducers.h"
#include "platform/plugins/LV2TestPlugins.h"
#include "support/RenderGuard.h"
#include "support/TestEnvironment.h"

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <cmath>
#include <functional>
#include <thread>

using namespace clipdeck::test;

namespace {

constexpr UInt32 kSlice = 512;

// Stereo output of one slice.
struct Output {
    Output() : left(kSlice), right(kSlice) {}
    AudioBufferList* list()
    {
        buffers.mBuffers[0] = {1, kSlice * 4, left.data()};
        buffers.mBuffers[1] = {1, kSlice * 4, right.data()};
        return buffers.list();
    }
    bool audible() const
    {
        for (UInt32 i = 0; i < kSlice; ++i)
            if (left[i] != 0.0f || right[i] != 0.0f)
                return true;
        return false;
    }
    std::vector<float> left, right;
    StackAudioBufferList<2> buffers;
};

// What a row builds: render() renders one slice on the render thread (armed) and tells
// whether it was heard; prepare() runs before each slice on the same thread, unarmed (a row
// waits there for its loader, as a device would simply come back later).
struct Rig {
    virtual ~Rig() = default;
    virtual void prepare() {}
    virtual bool render(AudioTimeStamp& time) = 0;
    std::vector<std::function<void()>> teardown;
    Output out; // made before the guard is armed
};

// Renders a ZEPAudioSource, advancing the time stamp.
struct SourceRig : Rig {
    bool render(AudioTimeStamp& time) override
    {
        UInt32 frames = kSlice;
        AudioUnitRenderActionFlags flags = 0;
        source->renderFrames(&frames, out.list(), &flags, &time, nullptr);
        time.mSampleTime += kSlice;
        return out.audible();
    }
    ZEPAudioSource* source = nullptr;
};

// Renders a player's output unit, as the device stream does.
struct PlayerRig : Rig {
    void prepare() override
    {
        // Come back once the loader has caught up, as a device comes back a period later.
        if (ringFrames)
            waitUntil([&] { return ringFrames() > kSlice; }, 2000);
    }
    bool render(AudioTimeStamp& time) override
    {
        AudioUnitRenderActionFlags flags = 0;
        player->outputUnit()->render(&flags, &time, 0, kSlice, out.list());
        time.mSampleTime += kSlice;
        return out.audible();
    }
    ZEPAudioPlayer* player = nullptr;
    std::function<UInt32()> ringFrames;
};

struct Row {
    const char* name;
    // Sound is due in at least this share of the slices (0: the row must be silent).
    double heardShare;
    std::function<std::unique_ptr<Rig>(TempFolder&)> build;
    int slices = 96;
};

void PrintTo(const Row& row, std::ostream* out) { *out << row.name; }

template <class Player>
struct OwningPlayerRig : PlayerRig {
    enginetest::ToneSource tone;
    std::unique_ptr<Player> owned;
    std::unique_ptr<ZEPAudioGraph> graph;
};

std::unique_ptr<Rig> outputPlayerWithAnEffectAndLevels(TempFolder&)
{
    auto rig = std::make_unique<OwningPlayerRig<ZEPAudioPlayer>>();
    rig->owned = ZEPAudioPlayer::create(&rig->tone, ZEPPlaybackFormat());
    rig->player = rig->owned.get();
    auto graph = std::shared_ptr<ZEPAudioGraph>(ZEPAudioGraph::create());
    graph->addNodeWithDictionary({{"uri", QString::fromUtf8(kMdaDelayURI)}});
    rig->owned->setAudioGraph(graph);
    graph->start();
    rig->owned->setLevelsEnabled(true);
    rig->owned->outputUnit()->initialize();
    return rig;
}

// A buffered pull player of the tone, its ring primed with primeFrames and its loader running.
template <class Player>
std::unique_ptr<Rig> bufferedPlayer(UInt32 primeFrames)
{
    auto rig = std::make_unique<OwningPlayerRig<Player>>();
    rig->owned = Player::create(0, &rig->tone, ZEPPlaybackFormat(), 16384, nullptr);
    Player* player = rig->owned.get();
    rig->player = player;
    player->setPrimeAmountFrames(primeFrames);
    player->currentRingBuffer()->prime(primeFrames);
    player->currentRingBuffer()->start();
    player->outputUnit()->initialize();
    rig->ringFrames = [player] { return player->currentRingBuffer()->amountFrames(); };
    rig->teardown.push_back([player] { player->currentRingBuffer()->stop(); });
    return rig;
}

std::unique_ptr<Rig> pushPlayer(TempFolder&)
{
    auto rig = std::make_unique<OwningPlayerRig<ZEPPushAudioPlayer>>();
    rig->owned = ZEPPushAudioPlayer::create(0, ZEPPlaybackFormat());
    rig->player = rig->owned.get();
    rig->owned->reset();
    Output block;
    for (int i = 0; i < 200; ++i) {
        UInt32 frames = kSlice;
        AudioUnitRenderActionFlags flags = 0;
        AudioTimeStamp time;
        rig->tone.renderFrames(&frames, block.list(), &flags, &time, nullptr);
        rig->owned->pushFrames(kSlice, block.list());
    }
    rig->owned->outputUnit()->initialize();
    return rig;
}

std::unique_ptr<Rig> slamPlayer(TempFolder&)
{
    auto rig = std::make_unique<OwningPlayerRig<ZEPSlamAudioPlayer>>();
    rig->owned = ZEPSlamAudioPlayer::create(0, ZEPPlaybackFormat(), kSlice * 128);
    rig->player = rig->owned.get();
    std::vector<float> left(kSlice * 128, 0.25f), right(kSlice * 128, -0.25f);
    StackAudioBufferList<2> block;
    block.mBuffers[0] = {1, UInt32(left.size() * 4), left.data()};
    block.mBuffers[1] = {1, UInt32(right.size() * 4), right.data()};
    rig->owned->slamFrames(kSlice * 128, block.list());
    rig->owned->setMarkFrames(kSlice * 64);
    rig->owned->outputUnit()->initialize();
    return rig;
}

struct MixerRig : SourceRig {
    std::unique_ptr<ZEPAudioMixer> mixer;
};

std::unique_ptr<Rig> mixerOf32(Float64 sourceRate)
{
    auto rig = std::make_unique<MixerRig>();
    rig->mixer = ZEPAudioMixer::create(32, 1, kZEPPlaybackMaxRenderSlice, ZEPPlaybackFormat());
    rig->mixer->setLevelsEnabled(true);
    for (UInt32 i = 0; i < 32; ++i) {
        rig->mixer->setAudioSource(std::make_shared<enginetest::ToneSource>(sourceRate, 0.02f), i);
        rig->mixer->setVolumeForInput(1.0f, i);
        rig->mixer->setInputAtIndex(i, true);
    }
    rig->source = rig->mixer.get();
    return rig;
}

struct GraphRig : SourceRig {
    enginetest::ToneSource tone;
    std::unique_ptr<ZEPAudioGraph> graph;
    std::unique_ptr<ZEPMultiAudioGraph> multi;
};

std::unique_ptr<Rig> effectGraph(TempFolder&)
{
    auto rig = std::make_unique<GraphRig>();
    rig->graph = ZEPAudioGraph::create();
    rig->graph->setInputSource(&rig->tone);
    rig->graph->addNodeWithDictionary({{"uri", QString::fromUtf8(kMdaDelayURI)}});
    rig->graph->addNodeWithDictionary({{"uri", QString::fromUtf8(kAmpURI)}});
    rig->graph->start();
    rig->source = rig->graph.get();
    return rig;
}

std::unique_ptr<Rig> multiTrackGraph(TempFolder&)
{
    auto rig = std::make_unique<GraphRig>();
    rig->multi = ZEPMultiAudioGraph::create(1);
    rig->multi->setInputSource(&rig->tone);
    rig->multi->graphForTrack(0)->addNodeWithDictionary({{"uri", QString::fromUtf8(kMdaDelayURI)}});
    rig->multi->start();
    rig->source = rig->multi.get();
    return rig;
}

// The board feed of a ramp sound, with its ring, head and loader set up by `state`.
struct FeedRig : SourceRig {
    std::unique_ptr<CKAudioFileEditor> feed;
    bool paced = false;
    bool slow = false; // a slice every 200 us, so that rewinds come between them
    void prepare() override
    {
        if (slow)
            std::this_thread::sleep_for(std::chrono::microseconds(200));
        // Come back once the loader has caught up, as a device comes back a period later.
        ZEPAudioLocklessPullRingBuffer* ring = feed->ringBuffer();
        if (!paced || !ring)
            return;
        const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(2);
        while (!feed->isStopping() && ring->amountFrames() < kSlice && ring->isRunning() &&
               std::chrono::steady_clock::now() < deadline)
            std::this_thread::sleep_for(std::chrono::microseconds(200));
    }
};

std::unique_ptr<FeedRig> feedOf(TempFolder& folder, long long frames)
{
    auto rig = std::make_unique<FeedRig>();
    rig->feed = CKAudioFileEditor::initWithPath(writeRampFile(folder.file("ramp.wav"), frames), false);
    rig->source = rig->feed.get();
    return rig;
}

std::unique_ptr<Rig> feedFromItsRing(TempFolder& folder)
{
    auto rig = feedOf(folder, 3 * 44100);
    rig->feed->setUseCache(true);
    rig->feed->updateCachedAudio();
    rig->feed->restartPlaybackAndContinue();
    rig->feed->prepareForPlayback();
    rig->paced = true;
    return rig;
}

std::unique_ptr<Rig> feedWithoutARing(TempFolder& folder)
{
    // The model reads the file for an export meanwhile: the board's render must not.
    auto rig = feedOf(folder, 44100);
    rig->feed->getReadyForExtraction();
    return rig;
}

std::unique_ptr<Rig> feedFromItsHeadOnly(TempFolder& folder)
{
    auto rig = feedOf(folder, 3 * 44100);
    rig->feed->setUseCache(true);
    rig->feed->updateCachedAudio();
    rig->feed->restartPlaybackAtBeginning(); // not caching: only the head plays
    rig->feed->prepareForPlayback();
    return rig;
}

std::unique_ptr<Rig> feedThatRunsOut(TempFolder& folder)
{
    auto rig = feedOf(folder, 20000);
    rig->feed->setUseCache(true);
    rig->feed->updateCachedAudio();
    rig->feed->restartPlaybackAndContinue();
    rig->feed->prepareForPlayback();
    return rig;
}

std::unique_ptr<Rig> feedWhileRewinding(TempFolder& folder)
{
    auto rig = feedOf(folder, 3 * 44100);
    rig->feed->setUseCache(true);
    rig->feed->updateCachedAudio();
    rig->feed->restartPlaybackAndContinue();
    rig->feed->prepareForPlayback();
    // A control thread rewinds again and again while the render thread renders.
    auto running = std::make_shared<std::atomic<bool>>(true);
    CKAudioFileEditor* feed = rig->feed.get();
    auto control = std::make_shared<std::thread>([feed, running] {
        for (int round = 0; running->load(); ++round) {
            if (round % 2)
                feed->restartPlaybackAndContinue();
            else
                feed->restartPlaybackAtBeginning();
            feed->prepareForPlayback();
            std::this_thread::sleep_for(std::chrono::milliseconds(1));
        }
    });
    rig->slow = true;
    rig->teardown.push_back([running, control] {
        running->store(false);
        control->join();
    });
    return rig;
}

const Row kRows[] = {
    {"outputPlayerWithAnEffectAndLevels", 0.9, outputPlayerWithAnEffectAndLevels},
    {"pullPlayer", 0.9, [](TempFolder&) { return bufferedPlayer<ZEPPullAudioPlayer>(8192); }},
    {"locklessPullPlayer", 0.9, [](TempFolder&) { return bufferedPlayer<ZEPLocklessPullAudioPlayer>(16384); }},
    {"pushPlayer", 0.9, pushPlayer},
    {"slamPlayer", 0.9, slamPlayer},
    {"mixerOf32AtUnity", 0.9, [](TempFolder&) { return mixerOf32(44100); }},
    {"mixerOf32Varispeeding", 0.9, [](TempFolder&) { return mixerOf32(48000); }},
    {"effectGraphWithLV2Units", 0.9, effectGraph},
    {"multiTrackGraph", 0.9, multiTrackGraph},
    {"boardFeedFromItsRing", 0.9, feedFromItsRing, 160},
    {"boardFeedWithoutARing", 0.0, feedWithoutARing},
    {"boardFeedFromItsHeadOnly", 0.9, feedFromItsHeadOnly},
    {"boardFeedThatRunsOut", 0.2, feedThatRunsOut},
    {"boardFeedWhileRewinding", 0.5, feedWhileRewinding, 400},
};

class RenderGuardTable : public ::testing::TestWithParam<Row> {
protected:
    static void SetUpTestSuite() { useTestPlugins(); }
};

} // namespace

TEST_P(RenderGuardTable, rendersWithoutAllocatingLockingReadingOrThrowing)
{
    const Row& row = GetParam();
    TempFolder folder;
    std::unique_ptr<Rig> rig = row.build(folder);
    ASSERT_TRUE(rig);
    RenderGuard guard;
    int heard = 0;
    std::thread render([&] {
        AudioTimeStamp time;
        time.mFlags = kAudioTimeStampSampleTimeValid;
        for (int slice = 0; slice < row.slices; ++slice) {
            rig->prepare();
            RenderGuard::Scope armed;
            heard += rig->render(time) ? 1 : 0;
        }
    });
    render.join();
    for (auto& step : rig->teardown)
        step();
    EXPECT_EQ(guard.violations(), 0u) << guard.report().toStdString();
    if (row.heardShare > 0)
        EXPECT_GE(heard, int(row.heardShare * row.slices)) << "the row's path was not taken";
    else
        EXPECT_EQ(heard, 0);
}

INSTANTIATE_TEST_SUITE_P(EveryProducer, RenderGuardTable, ::testing::ValuesIn(kRows),
                         [](const ::testing::TestParamInfo<Row>& info) { return std::string(info.param.name); });

// The guard itself: each kind of call it must catch is caught on an armed thread, and only
// there; what a render may do (try a lock, touch atomics) is not counted.
TEST(RenderGuard, catchesEachKindOfCallOnlyOnTheArmedThread)
{
    std::mutex mutex;
    // Through volatile pointers: the compiler may not drop an allocation it can see unused.
    static void* volatile block;
    static int* volatile number;
    const struct {
        const char* name;
        std::function<void()> call;
        bool violation;
    } cases[] = {
        {"new", [] { number = new int(3); delete number; }, true},
        {"malloc", [] { block = std::malloc(16); std::free(block); }, true},
        {"lock", [&] { mutex.lock(); mutex.unlock(); }, true},
        {"try lock", [&] { if (mutex.try_lock()) mutex.unlock(); }, false},
        {"yield", [] { std::this_thread::yield(); }, true},
        {"file read", [] { if (FILE* file = std::fopen("/proc/self/stat", "r")) { char b[8]; (void)!std::fread(b, 1, 8, file); std::fclose(file); } }, true},
        {"throw", [] { try { throw 5; } catch (int) {} }, true},
        {"atomics", [] { std::atomic<int> a{0}; a.fetch_add(1); }, false},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        RenderGuard unarmed;
        c.call();
        EXPECT_EQ(unarmed.violations(), 0u);
        RenderGuard guard;
        {
            RenderGuard::Scope armed;
            c.call();
        }
        EXPECT_EQ(guard.violations() > 0, c.violation) << guard.report().toStdString();
    }
}
