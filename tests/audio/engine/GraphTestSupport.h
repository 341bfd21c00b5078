#pragma once
// Helpers for the effect graph tests: graphs of the test plugins and offline renders.

#include "TestProducers.h"
#include "audio/engine/ZEPAudioGraph.h"
#include "platform/MainThread.h"
#include "platform/plugins/LV2TestPlugins.h"
#include "support/TestSignals.h"

#include <gtest/gtest.h>

#include <cmath>
#include <memory>

namespace enginetest {

// The test pattern on the left, its negative on the right: every sample tells its frame.
inline FunctionSource::Signal pattern()
{
    return [](UInt64 frame, UInt32 channel) {
        const Float32 sample = clipdeck::test::patternSample((long long)frame);
        return channel == 0 ? sample : -sample;
    };
}

// The pattern, pulled without recording the pulls (so that rendering allocates nothing).
class PatternSource : public FunctionSource {
public:
    PatternSource() : FunctionSource(pattern()) { record = false; }
};

// Counts the graph's updates and checks that each comes on the main thread.
class UpdateCounter : public ZEPAudioGraphDelegate {
public:
    void audioGraphUpdated(ZEPAudioGraph*) override
    {
        ++count;
        onMainThread = onMainThread && mainthread::isMainThread();
    }
    int count = 0;
    bool onMainThread = true;
};

inline Float32 gainOf(Float32 decibels) { return std::pow(10.0f, decibels / 20.0f); }

// A running graph of no effects, pulling source.
inline std::unique_ptr<ZEPAudioGraph> runningGraph(ZEPAudioSource* source)
{
    OSStatus status = noErr;
    auto graph = ZEPAudioGraph::create(&status);
    EXPECT_EQ(status, noErr);
    if (!graph)
        return nullptr;
    graph->setInputSource(source);
    EXPECT_EQ(graph->start(), noErr);
    return graph;
}

// Appends the plugin with uri, its parameter port 0 set to value.
inline std::shared_ptr<ZEPAudioGraphNode> appendEffect(ZEPAudioGraph& graph, const char* uri, Float32 value)
{
    auto node = graph.addNodeWithDictionary({{"uri", QString::fromUtf8(uri)}});
    EXPECT_TRUE(node) << uri;
    if (node)
        node->audioUnit()->setParameter(0, kAudioUnitScope_Global, 0, value);
    return node;
}

// One render of a stereo slice.
struct Slice {
    Slice(ZEPAudioSource& source, UInt32 frames, Float64 sampleTime = 0) : buffers(frames, 2)
    {
        AudioTimeStamp time;
        time.mSampleTime = sampleTime;
        time.mFlags = kAudioTimeStampSampleTimeValid;
        delivered = frames;
        status = source.renderFrames(&delivered, buffers.list(), &flags, &time, nullptr);
    }
    Float32 left(UInt32 frame) const { return buffers.samples[0][frame]; }
    Float32 right(UInt32 frame) const { return buffers.samples[1][frame]; }
    Buffers buffers;
    UInt32 delivered = 0;
    AudioUnitRenderActionFlags flags = 0;
    OSStatus status = noErr;
};

// Largest difference between a slice and gain x the pattern from frame first.
inline Float32 distanceFromPattern(const Slice& slice, UInt64 first, Float32 gain)
{
    Float32 largest = 0;
    const auto signal = pattern();
    for (UInt32 c = 0; c < 2; ++c) {
        for (size_t i = 0; i < slice.buffers.samples[c].size(); ++i)
            largest = std::max(largest, std::abs(slice.buffers.samples[c][i] - gain * signal(first + i, c)));
    }
    return largest;
}

// The plugin URI of each node, in chain order.
inline QStringList chainURIs(ZEPAudioGraph& graph)
{
    QStringList uris;
    for (const auto& node : graph.nodes())
        uris.append(node->properties().value("uri").toString());
    return uris;
}

} // namespace enginetest
