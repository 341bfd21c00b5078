// The effect graph edited while a JACK server (dummy driver) plays it.
#include "GraphTestSupport.h"

#include "platform/devices/AudioDeviceStream.h"
#include "support/JackTestServer.h"
#include "support/ServerRequirement.h"
#include "support/TestEnvironment.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <random>

using namespace enginetest;
using namespace clipdeck::test;

namespace {

constexpr size_t kMaxRenders = 1 << 16;
constexpr UInt32 kPeriod = 256;

// The device's render procedure: the graph over the test pattern on the left; on the right
// the pattern itself, so that the recording can be lined up with it. Each render's gain
// (left / pattern) is kept, and whether the whole render had that one gain.
struct Rig {
    PatternSource source;
    ZEPAudioGraph* graph = nullptr;
    std::atomic<size_t> started{0};
    std::atomic<size_t> finished{0};
    std::vector<Float32> gains = std::vector<Float32>(kMaxRenders, 0.0f);
    std::vector<UInt8> consistent = std::vector<UInt8>(kMaxRenders, 0);
    std::atomic<int> failures{0};

    static OSStatus render(void* refCon, AudioUnitRenderActionFlags* flags, const AudioTimeStamp* timeStamp,
                           UInt32 frames, AudioBufferList* ioData)
    {
        auto* rig = static_cast<Rig*>(refCon);
        const size_t index = rig->started.fetch_add(1);
        const UInt64 first = rig->source.position;
        AudioTimeStamp time = *timeStamp;
        UInt32 delivered = frames;
        const OSStatus status = rig->graph->renderFrames(&delivered, ioData, flags, &time, nullptr);
        if (status != noErr)
            ++rig->failures;
        const auto* left = static_cast<const Float32*>(ioData->mBuffers[0].mData);
        auto* right = static_cast<Float32*>(ioData->mBuffers[1].mData);
        UInt32 reference = 0;
        for (UInt32 i = 0; i < frames; ++i) {
            right[i] = patternSample((long long)(first + i));
            if (std::abs(right[i]) > std::abs(right[reference]))
                reference = i;
        }
        const Float32 gain = left[reference] / right[reference];
        bool same = true;
        for (UInt32 i = 0; i < frames && same; ++i)
            same = std::abs(left[i] - gain * right[i]) <= 1e-4f * std::max(1.0f, gain);
        if (index < kMaxRenders) {
            rig->gains[index] = gain;
            rig->consistent[index] = same;
        }
        rig->finished.fetch_add(1);
        return status;
    }
};

// What an edit changed: the renders finished before it (before `before`) cannot hear it,
// those started after it (from `after` on) must, and the chain's gain from then on.
struct Edit {
    size_t before = 0;
    size_t after = 0;
    Float32 gain = 1.0f;
};

Float32 chainGain(ZEPAudioGraph& graph)
{
    Float32 gain = 1.0f;
    for (const auto& node : graph.nodes()) {
        AudioUnitParameterValue decibels = 0;
        node->audioUnit()->getParameter(0, kAudioUnitScope_Global, 0, &decibels);
        gain *= gainOf(decibels);
    }
    return gain;
}

} // namespace

TEST(AudioGraphDevice, EditsWhileTheChainPlaysAreHeardFromTheNextRenderWithoutADropout)
{
    useTestPlugins();
    JackTestServer server(44100, kPeriod);
    CLIPDECK_REQUIRE_SERVER(server.running(), "jackd");

    Rig rig;
    auto graph = runningGraph(&rig.source);
    ASSERT_TRUE(graph);
    rig.graph = graph.get();
    UpdateCounter updates;
    graph->setDelegate(&updates);
    // The first amplifier stays: with it no chain has a gain of 1, the unprocessed input's.
    const AUNode base = appendEffect(*graph, kAmpURI, -1.0f)->node();

    AudioDeviceStream stream(AudioDeviceStream::Direction::Output);
    stream.setRenderProc(&Rig::render, &rig);
    ASSERT_EQ(stream.start(), noErr) << stream.errorText().toStdString();
    JackRecorder recorder(AudioDeviceStream::kClientName, 44100 * 60);
    ASSERT_TRUE(recorder.connect());
    ASSERT_TRUE(waitUntil([&] { return rig.started.load() > 20; }));

    std::mt19937 random(2024);
    const Float32 decibels[] = {-9.0f, -6.0f, -3.0f, 3.0f, 6.0f};
    std::vector<Edit> edits;
    std::vector<Float32> chainGains{chainGain(*graph)};
    for (int n = 0; n < 200; ++n) {
        const auto chain = graph->nodes();
        const size_t count = chain.size();
        Edit edit;
        edit.before = rig.finished.load();
        const int kind = count >= 5 ? 1 + int(random() % 2) : count == 1 ? 0 : int(random() % 3);
        if (kind == 0) {
            appendEffect(*graph, kAmpURI, decibels[random() % 5]);
        } else if (kind == 1 && count >= 2) {
            // A move that changes the order: never before itself or its own successor.
            const size_t from = random() % count;
            size_t to = random() % (count + 1); // count: the end of the chain
            while (to == from || to == from + 1)
                to = (to + 1) % (count + 1);
            graph->moveNode(chain[from]->node(), to == count ? graph->outputNode() : chain[to]->node());
        } else {
            size_t victim = random() % count;
            if (chain[victim]->node() == base)
                victim = (victim + 1) % count;
            graph->removeNode(chain[victim]->node());
        }
        edit.after = rig.started.load();
        edit.gain = chainGain(*graph);
        edits.push_back(edit);
        chainGains.push_back(edit.gain);
        const int seen = updates.count;
        ASSERT_TRUE(waitUntil([&] { return updates.count > seen && rig.started.load() >= edit.after + 2; }, 5000))
            << "edit " << n << " was not taken up";
    }
    const size_t recorded = recorder.frames();
    const size_t renders = rig.started.load();
    stream.stop();
    ASSERT_LT(renders, kMaxRenders);
    EXPECT_TRUE(updates.onMainThread);
    EXPECT_EQ(rig.failures.load(), 0);

    // Every render heard the chain of the last edit made before it started.
    for (size_t e = 0; e < edits.size(); ++e) {
        const size_t end = e + 1 < edits.size() ? edits[e + 1].before : renders;
        for (size_t r = edits[e].after; r < end; ++r) {
            ASSERT_NEAR(rig.gains[r], edits[e].gain, 1e-4f * edits[e].gain)
                << "render " << r << " after edit " << e << " (renders " << edits[e].before << ", " << edits[e].after
                << " to " << end << "; before it " << (e ? edits[e - 1].gain : 0.0f) << ")";
        }
    }
    for (size_t r = 0; r < renders; ++r)
        ASSERT_TRUE(rig.consistent[r]) << "render " << r << " mixed two chains";

    // What the server played: every cycle a stretch of the pattern (right), and on the left
    // that stretch through one of the chains, never silence or the unprocessed input. The
    // recorder's two ports are connected one after the other: the comparison starts at the
    // first cycle that has both.
    size_t start = 0;
    while (start < recorded && (recorder.channel(0)[start] == 0.0f || recorder.channel(1)[start] == 0.0f))
        ++start;
    start = (start + kPeriod - 1) / kPeriod * kPeriod;
    ASSERT_LT(start, 4 * kPeriod);
    const auto played =
        compareBlocks(recorder.channel(1), start, recorded - start, kPeriod, patternSample, patternFrame);
    EXPECT_GE(played.blocks, 300u);
    // A late cycle (an xrun the recorder saw) can leave one recorded block made of two
    // renders, which is no single stretch of the pattern; with no late cycle every block is.
    EXPECT_LE(played.badBlocks, size_t(recorder.xruns()));
    EXPECT_LE(played.discontinuities, size_t(recorder.xruns()));
    // Likewise on the left: every block but those of late cycles is one chain's gain
    // throughout.
    size_t mixedBlocks = 0;
    for (size_t block = start; block + kPeriod <= recorded; block += kPeriod) {
        const auto& l = recorder.channel(0);
        const auto& r = recorder.channel(1);
        size_t reference = block;
        for (size_t i = block; i < block + kPeriod; ++i) {
            if (std::abs(r[i]) > std::abs(r[reference]))
                reference = i;
        }
        const float gain = l[reference] / r[reference];
        const bool oneChain =
            std::any_of(chainGains.begin(), chainGains.end(), [&](Float32 g) { return std::abs(gain - g) <= 1e-4f * g; }) &&
            std::all_of(l.begin() + long(block), l.begin() + long(block + kPeriod), [&](const float& left) {
                const size_t i = size_t(&left - l.data());
                return std::abs(left - gain * r[i]) <= 1e-4f * std::max(1.0f, gain);
            });
        if (!oneChain)
            ++mixedBlocks;
    }
    EXPECT_LE(mixedBlocks, size_t(recorder.xruns()));
    // A render never waits for the control thread (a test of its own shows that); what a
    // render costs is measured by the graph benchmark, not here.
    graph->setDelegate(nullptr);
}
