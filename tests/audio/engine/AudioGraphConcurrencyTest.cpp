// The effect graph rendered on a thread of its own while the control thread edits it.
#include "GraphTestSupport.h"

#include "audio/engine/ZEPAudioUnitUtils.h"
#include "platform/audiounits/AudioComponentRegistry.h"
#include "support/TestEnvironment.h"

#include <QCoreApplication>
#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <future>
#include <random>
#include <thread>

using namespace enginetest;
using namespace clipdeck::test;
using namespace std::chrono_literals;

namespace {

class AudioGraphConcurrency : public ::testing::Test {
protected:
    static void SetUpTestSuite() { useTestPlugins(); }
};

// A unit that passes its input and, while armed, holds whoever initialises it until released.
struct Gate {
    std::atomic<bool> armed{false};
    std::promise<void> entered;
    std::promise<void> released;
};
Gate* gGate = nullptr;

class GateUnit : public AudioUnit {
public:
    static constexpr AudioComponentDescription kDescription{kAudioUnitType_Effect, FourCC("gate"), FourCC("ctst"), 0, 0};
    GateUnit() : AudioUnit(kDescription, 1, 1) {}

protected:
    OSStatus renderBus(AudioUnitRenderActionFlags& flags, const AudioTimeStamp& timeStamp, UInt32, UInt32 frames,
                       AudioBufferList* ioData) override
    {
        return pullInput(0, flags, timeStamp, frames, ioData);
    }
    OSStatus initializeUnit() override
    {
        if (gGate && gGate->armed.exchange(false)) {
            gGate->entered.set_value();
            gGate->released.get_future().wait();
        }
        return noErr;
    }
};

// Renders a graph of the pattern in paced slices, as a device would, and checks that every
// slice is the pattern times one gain: a slice never hears half an edit.
class RenderThread {
public:
    explicit RenderThread(ZEPAudioGraph& graph) : mGraph(graph), mThread([this] { run(); }) {}
    ~RenderThread() { stop(); }
    void stop()
    {
        mRunning = false;
        if (mThread.joinable())
            mThread.join();
    }
    int slices() const { return mSlices.load(); }
    int failures() const { return mFailures.load(); }
    int mixedSlices() const { return mMixed.load(); }

private:
    void run()
    {
        Buffers buffers(256, 2);
        AudioTimeStamp time;
        time.mFlags = kAudioTimeStampSampleTimeValid;
        const auto signal = pattern();
        while (mRunning) {
            UInt32 frames = 256;
            AudioUnitRenderActionFlags flags = 0;
            const UInt64 first = UInt64(time.mSampleTime);
            if (mGraph.renderFrames(&frames, buffers.list(), &flags, &time, nullptr) != noErr)
                ++mFailures;
            // The pattern's largest sample of the slice tells the gain; every other must agree.
            UInt32 reference = 0;
            for (UInt32 i = 0; i < 256; ++i) {
                if (std::abs(signal(first + i, 0)) > std::abs(signal(first + reference, 0)))
                    reference = i;
            }
            const Float32 gain = buffers.samples[0][reference] / signal(first + reference, 0);
            for (UInt32 i = 0; i < 256; ++i) {
                if (std::abs(buffers.samples[0][i] - gain * signal(first + i, 0)) > 1e-4f) {
                    ++mMixed;
                    break;
                }
            }
            time.mSampleTime += 256;
            ++mSlices;
            std::this_thread::sleep_for(200us);
        }
    }

    ZEPAudioGraph& mGraph;
    std::atomic<bool> mRunning{true};
    std::atomic<int> mSlices{0}, mFailures{0}, mMixed{0};
    std::thread mThread;
};

} // namespace

TEST_F(AudioGraphConcurrency, ARenderThatFindsTheControlThreadBusyPassesItsInputAndNeverWaits)
{
    AudioComponentRegistry::registerComponent(GateUnit::kDescription, "Tests: Gate",
                                              [] { return std::make_unique<GateUnit>(); });
    PatternSource source;
    auto graph = runningGraph(&source);
    ASSERT_TRUE(graph);
    appendEffect(*graph, kAmpURI, -6.0f);
    ASSERT_TRUE(graph->addNodeWithDictionary({{"type", qlonglong(kAudioUnitType_Effect)},
                                              {"subtype", qlonglong(FourCC("gate"))},
                                              {"manufacturer", qlonglong(FourCC("ctst"))}}));
    EXPECT_LT(distanceFromPattern(Slice(*graph, 512), 0, gainOf(-6.0f)), 1e-5f);

    // The control thread re-slices the units, holding the render lock, and is held inside.
    Gate gate;
    gGate = &gate;
    gate.armed = true;
    std::thread control([&] { graph->setMaxRequestFrames(16384); });
    gate.entered.get_future().wait();
    auto render = std::async(std::launch::async, [&] { return distanceFromPattern(Slice(*graph, 512, 512), 512, 1.0f); });
    const bool returned = render.wait_for(5s) == std::future_status::ready;
    gate.released.set_value();
    control.join();
    gGate = nullptr;
    ASSERT_TRUE(returned) << "the render waited for the control thread";
    EXPECT_EQ(render.get(), 0.0f); // the input, unprocessed
    EXPECT_LT(distanceFromPattern(Slice(*graph, 512, 1024), 1024, gainOf(-6.0f)), 1e-5f);
    AudioComponentRegistry::unregisterComponent(GateUnit::kDescription);
}

TEST_F(AudioGraphConcurrency, EditsSettingsAndPresetsWhileAThreadRendersNeverMixTwoChainsInOneSlice)
{
    PatternSource source;
    auto graph = runningGraph(&source);
    ASSERT_TRUE(graph);
    UpdateCounter updates;
    graph->setDelegate(&updates);
    RenderThread renderer(*graph);

    std::mt19937 random(7);
    const Float32 gains[] = {-6.0f, -3.0f, 3.0f, 6.0f};
    QVariantList preset;
    for (int edit = 0; edit < 150; ++edit) {
        auto chain = graph->nodes();
        const auto pick = [&](size_t count) { return size_t(random() % std::max<size_t>(count, 1)); };
        switch (chain.empty() ? 0 : random() % 7) {
        case 0:
            if (chain.size() < 5)
                appendEffect(*graph, kAmpURI, gains[pick(4)]);
            break;
        case 1:
            graph->moveNode(chain[pick(chain.size())]->node(),
                            pick(2) ? graph->outputNode() : chain[pick(chain.size())]->node());
            break;
        case 2:
            graph->removeNode(chain[pick(chain.size())]->node());
            break;
        case 3: // a parameter, as a slider moves it
            chain[pick(chain.size())]->audioUnit()->setParameter(0, kAudioUnitScope_Global, 0, gains[pick(4)]);
            break;
        case 4: {
            // Settings restored into a unit that is playing.
            auto node = chain[pick(chain.size())];
            QVariantMap info = ZEPAudioUnitUtils::getClassInfoFromAudioUnit(node->audioUnit()).toMap();
            EXPECT_EQ(ZEPAudioUnitUtils::setClassInfo(info, node->audioUnit()), noErr);
            break;
        }
        case 5:
            chain[pick(chain.size())]->setBypass(pick(2));
            break;
        case 6:
            if (preset.isEmpty())
                preset = graph->serializableArray();
            EXPECT_TRUE(graph->setWithArray(preset));
            break;
        }
        QCoreApplication::processEvents();
        std::this_thread::sleep_for(1ms);
    }
    ASSERT_TRUE(waitUntil([&] { return renderer.slices() > 200; }));
    renderer.stop();
    QCoreApplication::processEvents();
    EXPECT_EQ(renderer.failures(), 0);
    EXPECT_EQ(renderer.mixedSlices(), 0);
    EXPECT_GT(updates.count, 0);
    graph->setDelegate(nullptr);
}
