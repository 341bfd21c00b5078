#include "audio/engine/ZEPMultiAudioGraph.h"

#include "GraphTestSupport.h"
#include "platform/audiounits/AudioComponentRegistry.h"
#include "platform/audiounits/MatrixMixerUnit.h"

#include <gtest/gtest.h>

using namespace enginetest;
using namespace clipdeck::test;

namespace {

class MultiAudioGraph : public ::testing::Test {
protected:
    static void SetUpTestSuite() { useTestPlugins(); }
};

// Track t's left channel is 0.1 + 0.2 t, its right 0.15 + 0.2 t, plus a millionth of the
// frame number, so that every frame is told apart.
Float32 trackSample(UInt64 frame, UInt32 channel)
{
    return 0.1f + 0.2f * Float32(channel / 2) + (channel % 2 ? 0.05f : 0.0f) + 1e-6f * Float32(frame % 1000);
}

std::unique_ptr<FunctionSource> tracksSource(UInt32 tracks, FunctionSource::Signal signal = trackSample)
{
    return std::make_unique<FunctionSource>(std::move(signal), 44100, 2 * tracks);
}

std::unique_ptr<ZEPMultiAudioGraph> runningMultiGraph(UInt32 tracks, ZEPAudioSource* source)
{
    OSStatus status = noErr;
    auto graph = ZEPMultiAudioGraph::create(tracks, &status);
    EXPECT_EQ(status, noErr);
    if (graph) {
        graph->setInputSource(source);
        EXPECT_EQ(graph->start(), noErr);
    }
    return graph;
}

} // namespace

TEST_F(MultiAudioGraph, SumsTracksThroughTheirOwnChainsPullingTheProducerOncePerRender)
{
    auto source = tracksSource(2);
    auto graph = runningMultiGraph(2, source.get());
    ASSERT_TRUE(graph);
    EXPECT_EQ(graph->inputTracks(), 2u);
    appendEffect(*graph->graphForTrack(0), kAmpURI, -6.0f);
    graph->setVolume(0.5f, 1);
    EXPECT_EQ(graph->volumeForTrack(1), 0.5f);
    EXPECT_EQ(graph->volumeForTrack(0), 1.0f);

    const auto expected = [&](UInt64 frame, UInt32 channel) {
        return trackSample(frame, channel) * gainOf(-6.0f) + trackSample(frame, 2 + channel) * 0.5f;
    };
    for (int render = 0; render < 3; ++render) {
        Slice slice(*graph, 512, 512.0 * render);
        ASSERT_EQ(slice.status, noErr);
        for (UInt32 i = 0; i < 512; i += 51) {
            EXPECT_NEAR(slice.left(i), expected(512 * render + i, 0), 1e-6);
            EXPECT_NEAR(slice.right(i), expected(512 * render + i, 1), 1e-6);
        }
    }
    EXPECT_EQ(source->pullSizes, (std::vector<UInt32>{512, 512, 512}));

    // A consumer without sample times gets numbered slices: still one pull each.
    Buffers buffers(256, 2);
    for (int render = 0; render < 2; ++render) {
        UInt32 frames = 256;
        AudioUnitRenderActionFlags flags = 0;
        EXPECT_EQ(graph->renderFrames(&frames, buffers.list(), &flags, nullptr, nullptr), noErr);
    }
    EXPECT_EQ(source->pullSizes.size(), 5u);

    // Routed around the chains, the tracks are summed untouched.
    graph->setBypassesGraphs(true);
    EXPECT_TRUE(graph->bypassesGraphs());
    graph->graphForTrack(0)->setBuffersRealtimeAudio(true);
    Slice bypassed(*graph, 512, 10000);
    EXPECT_NEAR(bypassed.left(0), trackSample(2048, 0) + 0.5f * trackSample(2048, 2), 1e-6);
    EXPECT_EQ(graph->graphForTrack(0)->realtimeAudioBufferList()->mBuffers[0].mDataByteSize,
              ZEPAudioGraph::kRealtimeAudioBufferListSize); // never rendered
}

TEST_F(MultiAudioGraph, MonoProcessingAveragesTheTracksChannelsOntoBothOutputs)
{
    auto source = tracksSource(1, constant(1.0f, 0.0f));
    auto graph = runningMultiGraph(1, source.get());
    ASSERT_TRUE(graph);
    ASSERT_EQ(graph->setProcessingChannelCount(1, 44100), noErr);
    Slice mono(*graph, 512);
    ASSERT_EQ(mono.status, noErr);
    EXPECT_EQ(mono.left(0), 0.5f);
    EXPECT_EQ(mono.right(0), 0.5f);
    EXPECT_EQ(mono.right(511), 0.5f);

    // The track's chain runs in mono too.
    AudioStreamBasicDescription format;
    graph->graphForTrack(0)->getAudioDescription(&format);
    EXPECT_EQ(format.mChannelsPerFrame, 1u);
    appendEffect(*graph->graphForTrack(0), kAmpURI, -6.0f);
    EXPECT_NEAR(Slice(*graph, 512, 512).left(100), 0.5f * gainOf(-6.0f), 1e-6);
}

TEST_F(MultiAudioGraph, AProcessingFormatOfTheSameChannelsOrOfSeveralTracksChangesOnlyTheOutputRate)
{
    for (const UInt32 tracks : {1u, 2u}) {
        auto source = tracksSource(tracks);
        auto graph = runningMultiGraph(tracks, source.get());
        ASSERT_TRUE(graph);
        graph->setVolume(0.25f, 0);
        ASSERT_EQ(graph->setProcessingChannelCount(tracks == 1 ? 2 : 1, 48000), noErr) << tracks;
        AudioStreamBasicDescription output;
        graph->getAudioDescription(&output);
        EXPECT_EQ(output.mSampleRate, 48000.0);
        EXPECT_EQ(output.mChannelsPerFrame, 2u);
        AudioStreamBasicDescription track;
        graph->graphForTrack(0)->getAudioDescription(&track);
        EXPECT_EQ(track.mChannelsPerFrame, 2u);
        EXPECT_EQ(graph->volumeForTrack(0), 0.25f);
        Slice slice(*graph, 64);
        const Float32 others = tracks == 2 ? trackSample(7, 2) : 0.0f;
        EXPECT_NEAR(slice.left(7), 0.25f * trackSample(7, 0) + others, 1e-6) << tracks;
    }
}

TEST_F(MultiAudioGraph, TheEndOfTheProducerReachesTheConsumerAfterItsLastFrames)
{
    for (const bool bypass : {false, true}) {
        auto source = tracksSource(2);
        source->endAfter = 300;
        auto graph = runningMultiGraph(2, source.get());
        ASSERT_TRUE(graph);
        graph->setBypassesGraphs(bypass);
        Slice last(*graph, 512);
        EXPECT_EQ(last.status, noErr) << bypass;
        EXPECT_NEAR(last.left(299), trackSample(299, 0) + trackSample(299, 2), 1e-6);
        EXPECT_EQ(last.left(300), 0.0f);
        OSStatus status = noErr;
        for (int render = 1; render <= 3 && status == noErr; ++render)
            status = Slice(*graph, 512, 512.0 * render).status;
        EXPECT_EQ(status, kZEPAudioSourceEndOfData) << bypass;
    }
}

TEST_F(MultiAudioGraph, TakesSlicesAsLargeAsItsChainsEveryPartAgreeing)
{
    auto source = tracksSource(2);
    auto graph = runningMultiGraph(2, source.get());
    ASSERT_TRUE(graph);
    EXPECT_EQ(graph->maxRequestFrames(), 32768u);
    Slice large(*graph, 32768);
    ASSERT_EQ(large.status, noErr);
    EXPECT_NEAR(large.right(32767), trackSample(32767, 1) + trackSample(32767, 3), 1e-6);

    ASSERT_EQ(graph->setMaxRequestFrames(4096), noErr);
    EXPECT_EQ(graph->maxRequestFrames(), 4096u);
    EXPECT_EQ(graph->graphForTrack(1)->maxRequestFrames(), 4096u);
    EXPECT_EQ(Slice(*graph, 4096, 32768).status, noErr);
    EXPECT_NE(Slice(*graph, 4097, 40000).status, noErr);
}

TEST_F(MultiAudioGraph, SavesAndLoadsOneChainPerTrack)
{
    auto graph = ZEPMultiAudioGraph::create(2);
    ASSERT_TRUE(graph);
    EXPECT_FALSE(graph->graphForTrack(2));
    appendEffect(*graph->graphForTrack(0), kAmpURI, -2.0f);
    appendEffect(*graph->graphForTrack(1), kLatencyDelayURI, 5.0f);
    appendEffect(*graph->graphForTrack(1), kAmpURI, -1.0f);
    graph->graphForTrack(1)->setEnabled(false);
    EXPECT_FALSE(graph->graphsEnabled());
    QVariantList saved = graph->serializableArray();
    ASSERT_EQ(saved.size(), 2);

    auto copy = ZEPMultiAudioGraph::create(2);
    saved.append(saved[0]); // a chain past the last track is ignored
    copy->setWithArray(saved);
    EXPECT_EQ(chainURIs(*copy->graphForTrack(0)), QStringList{kAmpURI});
    EXPECT_EQ(chainURIs(*copy->graphForTrack(1)), QStringList({kLatencyDelayURI, kAmpURI}));
    EXPECT_TRUE(copy->graphForTrack(0)->enabled());
    EXPECT_FALSE(copy->graphForTrack(1)->enabled());

    copy->setGraphsEnabled(true);
    EXPECT_TRUE(copy->graphsEnabled());
    copy->updateEnabledStateWithArray(saved);
    EXPECT_FALSE(copy->graphForTrack(1)->enabled());
    copy->setWithArray({}); // empties every chain, keeps the flags
    EXPECT_TRUE(copy->graphForTrack(1)->nodes().empty());
    EXPECT_FALSE(copy->graphForTrack(1)->enabled());

    EXPECT_FALSE(copy->buffersRealtimeAudio());
    copy->setBuffersRealtimeAudio(true);
    EXPECT_TRUE(copy->buffersRealtimeAudio());

    // A chain put in its place is the one rendered.
    auto replacement = std::shared_ptr<ZEPAudioGraph>(ZEPAudioGraph::create());
    replacement->setInputSource(copy.get());
    copy->setGraph(replacement, 0);
    EXPECT_EQ(copy->graphForTrack(0), replacement);
}

TEST_F(MultiAudioGraph, MetersItsOutputAndFailsWithoutAMatrixMixer)
{
    auto source = tracksSource(1, constant(0.5f, 0.5f));
    auto graph = runningMultiGraph(1, source.get());
    ASSERT_TRUE(graph);
    EXPECT_FALSE(graph->levelsEnabled());
    ASSERT_EQ(graph->setLevelsEnabled(true), noErr);
    EXPECT_TRUE(graph->levelsEnabled());
    for (int render = 0; render < 200; ++render)
        Slice(*graph, 1024, 1024.0 * render);
    EXPECT_NEAR(graph->leftOutputLevel(), 0.5f, 0.01f); // the RMS of a steady 0.5
    EXPECT_NEAR(graph->rightOutputLevel(), 0.5f, 0.01f);

    auto none = ZEPMultiAudioGraph::create(0);
    ASSERT_TRUE(none);
    EXPECT_TRUE(none->graphsEnabled());
    EXPECT_EQ(Slice(*none, 128).status, noErr);

    const AudioComponentDescription mixer{kAudioUnitType_Mixer, kAudioUnitSubType_MatrixMixer,
                                          kAudioUnitManufacturer_System, 0, 0};
    const QString name = AudioComponentRegistry::find(mixer).value(0).name;
    AudioComponentRegistry::unregisterComponent(mixer);
    OSStatus status = noErr;
    EXPECT_FALSE(ZEPMultiAudioGraph::create(1, &status));
    EXPECT_EQ(status, kZEPNoMatrixMixerError);
    AudioComponentRegistry::registerComponent(mixer, name, [] { return std::make_unique<MatrixMixerUnit>(); });
}
