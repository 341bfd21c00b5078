#include "GraphTestSupport.h"

#include "audio/engine/ZEPAudioUnitUtils.h"
#include "platform/PropertyList.h"
#include "support/AllocationCounter.h"
#include "support/TestEnvironment.h"

#include <QCoreApplication>
#include <gtest/gtest.h>

#include <cstring>

using namespace enginetest;
using namespace clipdeck::test;

namespace {

class AudioGraph : public ::testing::Test {
protected:
    static void SetUpTestSuite() { useTestPlugins(); }
};

class TaggedNode : public ZEPAudioGraphNode {
public:
    using ZEPAudioGraphNode::ZEPAudioGraphNode;
    // A status of the subclass's own, as a parameter listener keeps its registration's.
    void recordStatus(OSStatus status) { setError(status); }
};

// Answers "no data yet" to its first pull, then the pattern.
class LateSource : public PatternSource {
public:
    OSStatus renderFrames(UInt32* frames, AudioBufferList* ioData, AudioUnitRenderActionFlags* flags,
                          const AudioTimeStamp* timeStamp, void* sender) override
    {
        if (late) {
            late = false;
            *frames = 0;
            return kZEPAudioSourceNoDataYet;
        }
        return PatternSource::renderFrames(frames, ioData, flags, timeStamp, sender);
    }
    bool late = true;
};

Float32 parameterOf(ZEPAudioGraphNode& node, AudioUnitParameterID id)
{
    AudioUnitParameterValue value = 0;
    node.audioUnit()->getParameter(id, kAudioUnitScope_Global, 0, &value);
    return value;
}

} // namespace

TEST_F(AudioGraph, PassesInputThroughAnEmptyChainBitExactlyAndAppliesEffectsInOrder)
{
    PatternSource source;
    auto graph = runningGraph(&source);
    ASSERT_TRUE(graph);
    EXPECT_TRUE(graph->nodes().empty());
    EXPECT_EQ(graph->nodeCount(), 1); // the output
    Slice empty(*graph, 1000);
    ASSERT_EQ(empty.status, noErr);
    EXPECT_EQ(distanceFromPattern(empty, 0, 1.0f), 0.0f);

    auto down = appendEffect(*graph, kAmpURI, -6.0f);
    auto up = appendEffect(*graph, kAmpURI, +6.0f);
    ASSERT_TRUE(down && up);
    EXPECT_EQ(graph->nodeCount(), 3);
    Slice both(*graph, 1000, 1000);
    EXPECT_LT(distanceFromPattern(both, 1000, 1.0f), 1e-5f);

    down->setBypass(true);
    EXPECT_TRUE(down->bypass());
    Slice one(*graph, 1000, 2000);
    EXPECT_LT(distanceFromPattern(one, 2000, gainOf(6.0f)), 1e-5f);

    // Disabled, the input passes with no unit in the way.
    graph->setEnabled(false);
    Slice disabled(*graph, 1000, 3000);
    EXPECT_EQ(distanceFromPattern(disabled, 3000, 1.0f), 0.0f);

    // Not running, it is silent and pulls nothing.
    graph->setEnabled(true);
    graph->stop();
    const UInt64 position = source.position;
    Slice stopped(*graph, 1000, 4000);
    EXPECT_EQ(stopped.status, noErr);
    EXPECT_EQ(distanceFromPattern(stopped, 0, 0.0f), 0.0f);
    EXPECT_TRUE(stopped.flags & kAudioUnitRenderAction_OutputIsSilence);
    EXPECT_EQ(source.position, position);
}

TEST_F(AudioGraph, ASourceThatEndsGivesOnePaddedSliceThenTheEnd)
{
    FunctionSource source(pattern());
    source.endAfter = 300;
    auto graph = runningGraph(&source);
    ASSERT_TRUE(graph);
    appendEffect(*graph, kAmpURI, 0.0f);

    Slice last(*graph, 512);
    EXPECT_EQ(last.status, noErr);
    EXPECT_EQ(last.left(299), pattern()(299, 0));
    EXPECT_EQ(last.left(300), 0.0f);
    EXPECT_EQ(last.left(511), 0.0f);
    EXPECT_TRUE(graph->isOutOfData());
    Slice after(*graph, 512, 512);
    EXPECT_EQ(after.status, kZEPAudioSourceEndOfData);

    // Not tracking the end: silence, and the source is asked again each slice.
    graph->start();
    graph->setTracksOutOfData(false);
    const size_t pulls = source.pullSizes.size();
    for (int i = 0; i < 3; ++i)
        EXPECT_EQ(Slice(*graph, 512).status, noErr);
    EXPECT_EQ(source.pullSizes.size(), pulls + 3);
    EXPECT_FALSE(graph->isOutOfData());

    // A start clears the end.
    graph->setTracksOutOfData(true);
    EXPECT_TRUE(graph->isOutOfData());
    graph->start();
    EXPECT_FALSE(graph->isOutOfData());
}

TEST_F(AudioGraph, NoDataYetIsSilenceForTheSliceNotTheEnd)
{
    LateSource source;
    auto graph = runningGraph(&source);
    ASSERT_TRUE(graph);
    Slice first(*graph, 256);
    EXPECT_EQ(first.status, noErr);
    EXPECT_EQ(distanceFromPattern(first, 0, 0.0f), 0.0f);
    EXPECT_FALSE(graph->isOutOfData());
    Slice second(*graph, 256, 256);
    EXPECT_EQ(second.status, noErr);
    EXPECT_EQ(distanceFromPattern(second, 0, 1.0f), 0.0f);
}

TEST_F(AudioGraph, PullsTheSourceAgainForWhatItDidNotDeliverWithAdvancingTimeStamps)
{
    FunctionSource source(pattern());
    source.deliverAtMost = 100;
    auto graph = runningGraph(&source);
    ASSERT_TRUE(graph);
    Slice slice(*graph, 250, 5000);
    EXPECT_EQ(distanceFromPattern(slice, 0, 1.0f), 0.0f);
    EXPECT_EQ(source.pullSizes, (std::vector<UInt32>{250, 150, 50}));
    EXPECT_EQ(source.pullTimes, (std::vector<Float64>{5000, 5100, 5200}));
}

TEST_F(AudioGraph, EditsReorderTheChainAndKeepTheInputOnTheFront)
{
    PatternSource source;
    auto graph = runningGraph(&source);
    ASSERT_TRUE(graph);
    graph->stop(); // edits of a stopped graph take effect at once
    auto a = appendEffect(*graph, kAmpURI, -6.0f);
    auto b = appendEffect(*graph, kLatencyDelayURI, 0.0f); // no delay: tells order only
    auto c = appendEffect(*graph, kAmpURI, -12.0f);
    ASSERT_TRUE(a && b && c);
    EXPECT_EQ(chainURIs(*graph), QStringList({kAmpURI, kLatencyDelayURI, kAmpURI}));

    // Before its own successor, or before itself: nothing changes.
    EXPECT_EQ(graph->moveNode(a->node(), b->node()), noErr);
    EXPECT_EQ(graph->moveZEPNode(b.get(), b.get()), noErr);
    EXPECT_EQ(graph->nodes()[0]->node(), a->node());

    EXPECT_EQ(graph->moveNode(c->node(), a->node()), noErr);
    auto order = graph->nodes();
    ASSERT_EQ(order.size(), 3u);
    EXPECT_EQ(order[0]->node(), c->node());
    EXPECT_EQ(order[1]->node(), a->node());
    EXPECT_EQ(order[2]->node(), b->node());
    EXPECT_EQ(graph->moveNode(b->node(), graph->outputNode()), noErr); // already last
    EXPECT_EQ(graph->moveNode(c->node(), graph->outputNode()), noErr); // front to the end
    order = graph->nodes();
    EXPECT_EQ(order[0]->node(), a->node());
    EXPECT_EQ(order[2]->node(), c->node());

    // Removing the front hands the input to its successor.
    EXPECT_EQ(graph->removeNode(a->node()), noErr);
    EXPECT_EQ(graph->nodes().size(), 2u);
    EXPECT_EQ(graph->nodeCount(), 3);
    EXPECT_FALSE(a->audioUnit()); // gone from the unit graph
    graph->start();
    EXPECT_LT(distanceFromPattern(Slice(*graph, 512), 0, gainOf(-12.0f)), 1e-5f);

    // A unit outside the chain leaves it alone when it goes.
    AUNode loose = 0;
    ASSERT_EQ(graph->addNode(&loose, c->audioUnit()->componentDescription().componentType,
                             c->audioUnit()->componentDescription().componentSubType,
                             c->audioUnit()->componentDescription().componentManufacturer),
              noErr);
    EXPECT_EQ(graph->nodes().size(), 2u);
    EXPECT_EQ(graph->removeNode(loose), noErr);
    graph->stop();
    graph->start();
    EXPECT_LT(distanceFromPattern(Slice(*graph, 512, 512), 512, gainOf(-12.0f)), 1e-5f);

    EXPECT_EQ(graph->removeNode(loose), kAUGraphErr_NodeNotFound);
    EXPECT_EQ(graph->removeNode(graph->outputNode()), kAUGraphErr_InvalidConnection);
    EXPECT_EQ(graph->moveNode(graph->outputNode(), b->node()), kAUGraphErr_InvalidConnection);
    EXPECT_EQ(graph->removeAllNodes(), noErr);
    EXPECT_TRUE(graph->nodes().empty());
    EXPECT_EQ(graph->nodeCount(), 1);
}

TEST_F(AudioGraph, EditsOfARunningGraphAreHeardAtTheNextRenderAndReportedOnTheMainThread)
{
    PatternSource source;
    auto graph = runningGraph(&source);
    ASSERT_TRUE(graph);
    UpdateCounter delegate;
    graph->setDelegate(&delegate);

    auto amp = appendEffect(*graph, kAmpURI, -6.0f);
    EXPECT_EQ(graph->nodes().size(), 1u); // the model changes at once
    EXPECT_EQ(delegate.count, 0);       // the render has not taken it up yet
    Slice first(*graph, 256);
    EXPECT_LT(distanceFromPattern(first, 0, gainOf(-6.0f)), 1e-5f);
    EXPECT_TRUE(waitUntil([&] { return delegate.count == 1; }));
    EXPECT_TRUE(delegate.onMainThread);

    // A removed unit lives until a render has left it behind.
    EXPECT_EQ(graph->removeNode(amp->node()), noErr);
    EXPECT_TRUE(amp->audioUnit());
    Slice second(*graph, 256, 256);
    EXPECT_EQ(distanceFromPattern(second, 256, 1.0f), 0.0f);
    EXPECT_TRUE(waitUntil([&] { return delegate.count == 2; }));
    EXPECT_FALSE(amp->audioUnit());

    // A stopped graph takes edits at once and tells nobody.
    graph->stop();
    appendEffect(*graph, kAmpURI, -6.0f);
    QCoreApplication::processEvents();
    EXPECT_EQ(delegate.count, 2);

    // Edits still waiting when the graph stops are adopted then, and reported.
    graph->start();
    appendEffect(*graph, kAmpURI, -6.0f);
    graph->stop();
    EXPECT_TRUE(waitUntil([&] { return delegate.count == 3; }));
    graph->setDelegate(nullptr);
}

TEST_F(AudioGraph, TheRenderPathAllocatesNothingEvenWhenItTakesUpAnEdit)
{
    PatternSource source;
    auto graph = runningGraph(&source);
    ASSERT_TRUE(graph);
    graph->setBuffersRealtimeAudio(true);
    appendEffect(*graph, kAmpURI, -6.0f);
    appendEffect(*graph, kMdaDelayURI, 0.5f);
    Buffers buffers(512, 2);
    AudioTimeStamp time;
    time.mFlags = kAudioTimeStampSampleTimeValid;
    int allocations = 0;
    for (int i = 0; i < 8; ++i) {
        UInt32 frames = 512;
        AudioUnitRenderActionFlags flags = 0;
        AllocationCounter counter;
        EXPECT_EQ(graph->renderFrames(&frames, buffers.list(), &flags, &time, nullptr), noErr);
        allocations += counter.count();
        time.mSampleTime += 512;
    }
    EXPECT_EQ(allocations, 0);
    QCoreApplication::processEvents();
}

TEST_F(AudioGraph, KeepsALiveCopyOfSlicesBelowItsCapacity)
{
    PatternSource source;
    auto graph = runningGraph(&source);
    ASSERT_TRUE(graph);
    EXPECT_FALSE(graph->buffersRealtimeAudio());
    EXPECT_EQ(graph->realtimeAudioBufferList(), nullptr);
    graph->setBuffersRealtimeAudio(true);
    EXPECT_TRUE(graph->buffersRealtimeAudio());

    Slice copied(*graph, 32767);
    const AudioBufferList* copy = graph->realtimeAudioBufferList();
    ASSERT_TRUE(copy);
    ASSERT_EQ(copy->mNumberBuffers, 2u);
    EXPECT_EQ(copy->mBuffers[0].mDataByteSize, 32767u * 4);
    EXPECT_EQ(std::memcmp(copy->mBuffers[1].mData, copied.buffers.samples[1].data(), 32767 * 4), 0);

    Slice tooLarge(*graph, 32768, 32767);
    copy = graph->realtimeAudioBufferList();
    EXPECT_EQ(copy->mBuffers[0].mDataByteSize, 32767u * 4);
    EXPECT_EQ(static_cast<const Float32*>(copy->mBuffers[0].mData)[0], copied.left(0));

    graph->setBuffersRealtimeAudio(false);
    EXPECT_FALSE(graph->buffersRealtimeAudio());
}

TEST_F(AudioGraph, MakesNodeObjectsOfItsNodeClassThatDescribeTheirUnits)
{
    auto graph = ZEPAudioGraph::create();
    ASSERT_TRUE(graph);
    graph->setGraphNodeClass(ZEPAudioGraphNode::nodeClass<TaggedNode>());
    auto node = appendEffect(*graph, kLatencyDelayURI, 15.0f);
    ASSERT_TRUE(node);
    EXPECT_TRUE(dynamic_cast<TaggedNode*>(node.get()));
    EXPECT_TRUE(dynamic_cast<TaggedNode*>(graph->nodes().at(0).get()));

    const QVariantMap properties = node->properties();
    EXPECT_EQ(properties.value("name").toString(), "Clipdeck Tests: Latency Delay");
    EXPECT_EQ(properties.value("uri").toString(), kLatencyDelayURI);
    EXPECT_DOUBLE_EQ(properties.value("latency").toDouble() * 44100, 100.0); // read before the new value ran
    EXPECT_EQ(properties.value("tailTime").toDouble(), 0.0);
    EXPECT_TRUE(node->bypassIsEditable());
    EXPECT_TRUE(node->enabled());
    EXPECT_EQ(node->maxRequestFrames(), 32768u);
    EXPECT_EQ(graph->internalMaxRequestFrames(), 32768u);
    EXPECT_TRUE(node->serializableProperties().contains(kZEPAudioGraphNodeBypassKey));
    EXPECT_FALSE(node->description().isEmpty());
    auto* tagged = static_cast<TaggedNode*>(node.get());
    tagged->recordStatus(kAudioUnitErr_CannotDoInCurrentContext);
    EXPECT_EQ(tagged->getError(), kAudioUnitErr_CannotDoInCurrentContext);

    auto output = graph->outputZEPNode();
    EXPECT_EQ(output->node(), graph->outputNode());
    EXPECT_FALSE(output->bypassIsEditable());
    EXPECT_FALSE(output->bypass());
    EXPECT_NE(output->getError(), noErr);
}

TEST_F(AudioGraph, ASavedChainRestoresOrderParametersBypassAndEnabledState)
{
    auto graph = ZEPAudioGraph::create();
    ASSERT_TRUE(graph);
    auto amp = appendEffect(*graph, kAmpURI, -4.5f);
    auto delay = appendEffect(*graph, kMdaDelayURI, 0.3f);
    auto latency = appendEffect(*graph, kLatencyDelayURI, 37.0f);
    ASSERT_TRUE(amp && delay && latency);
    delay->audioUnit()->setParameter(2, kAudioUnitScope_Global, 0, 0.8f);
    amp->setBypass(true);
    graph->setEnabled(false);

    // Through a property list file, as presets and settings are stored.
    TempFolder folder;
    const QString path = folder.file("chain.plist");
    ASSERT_TRUE(PropertyList::writeToFile(graph->serializableArray(), path, PropertyList::Format::XML));
    const auto saved = PropertyList::readFromFile(path);
    ASSERT_TRUE(saved);
    const QVariantList array = saved->toList();
    ASSERT_EQ(array.size(), 4);
    EXPECT_EQ(array.last().toMap(), (QVariantMap{{kZEPAudioGraphIsEnabledKey, false}}));

    auto restored = ZEPAudioGraph::create();
    appendEffect(*restored, kAmpURI, 0.0f); // replaced
    Error error;
    ASSERT_TRUE(restored->setWithArray(array, &error)) << error.description().toStdString();
    EXPECT_EQ(chainURIs(*restored), QStringList({kAmpURI, kMdaDelayURI, kLatencyDelayURI}));
    EXPECT_FALSE(restored->enabled());
    const auto original = graph->nodes();
    const auto copy = restored->nodes();
    for (size_t n = 0; n < original.size(); ++n) {
        EXPECT_EQ(copy[n]->bypass(), original[n]->bypass()) << n;
        for (const AudioUnitParameterID id : original[n]->audioUnit()->parameterList(kAudioUnitScope_Global))
            EXPECT_EQ(parameterOf(*copy[n], id), parameterOf(*original[n], id)) << n << " parameter " << id;
    }
    EXPECT_TRUE(copy[0]->bypass());
    EXPECT_EQ(parameterOf(*copy[2], 0), 37.0f);

    // Only the enabled flag.
    restored->updateEnabledStateWithArray({QVariantMap{{kZEPAudioGraphIsEnabledKey, true}}});
    EXPECT_TRUE(restored->enabled());
    // An empty list empties the chain and keeps the flag.
    EXPECT_TRUE(restored->setWithArray({}));
    EXPECT_TRUE(restored->nodes().empty());
    EXPECT_TRUE(restored->enabled());
}

TEST_F(AudioGraph, LoadsWhatItCanOfAChainAndNamesWhatFailed)
{
    auto graph = ZEPAudioGraph::create();
    ASSERT_TRUE(graph);
    appendEffect(*graph, kAmpURI, -3.0f);
    appendEffect(*graph, kLatencyDelayURI, 20.0f);
    QVariantList array = graph->serializableArray();
    const QVariantMap missing{{"uri", "urn:clipdeck-test:not-installed"},
                              {"type", qlonglong(kAudioUnitType_Effect)},
                              {"subtype", qlonglong(1234)},
                              {"manufacturer", qlonglong(5678)},
                              {kZEPAudioGraphNodeBypassKey, false}};
    // Settings of a unit of another platform: codes of its own, data as bytes.
    const QVariantMap foreign{{"type", qlonglong(FourCC("aufx"))},
                              {"subtype", qlonglong(FourCC("dely"))},
                              {"manufacturer", qlonglong(FourCC("appl"))},
                              {"data", QByteArray("bplist00", 8)},
                              {kZEPAudioGraphNodeBypassKey, false}};
    array.insert(1, missing);
    array.insert(0, foreign);

    auto restored = ZEPAudioGraph::create();
    Error error;
    EXPECT_FALSE(restored->setWithArray(array, &error));
    EXPECT_EQ(error.code, kZEPUnitsFailedToLoadError);
    EXPECT_EQ(error.domain, kZEPAudioGraphErrorDomain);
    EXPECT_EQ(error.userInfo.value(kZEPAudioGraphAudioUnitsFailedToLoadKey).toList(), (QVariantList{foreign, missing}));
    EXPECT_TRUE(error.localizedFailureReason.contains("urn:clipdeck-test:not-installed"));
    EXPECT_EQ(chainURIs(*restored), QStringList({kAmpURI, kLatencyDelayURI}));
    EXPECT_EQ(parameterOf(*restored->nodes()[1], 0), 20.0f);

    // Where the dictionary has a URI, it names the effect whatever its codes say.
    QVariantMap byURI{{"uri", kLatencyDelayURI}, {"type", qlonglong(1)}, {"subtype", qlonglong(2)}};
    EXPECT_TRUE(restored->addNodeWithDictionary(byURI));
    EXPECT_FALSE(restored->addNodeWithDictionary(missing));
    EXPECT_FALSE(restored->addNodeWithDictionary(foreign));
}

TEST_F(AudioGraph, PrerollConsumesExactlyTheChainsLatency)
{
    const struct {
        std::vector<Float32> delays;
        UInt64 frames;
    } cases[] = {
        {{15}, 15},      // 15 / 44100 x 44100 falls short of 15 in floating point
        {{100, 82}, 182},
        {{0}, 0},
    };
    for (const auto& c : cases) {
        PatternSource source;
        auto graph = runningGraph(&source);
        ASSERT_TRUE(graph);
        appendEffect(*graph, kAmpURI, 0.0f);
        for (const Float32 delay : c.delays)
            appendEffect(*graph, kLatencyDelayURI, delay);
        // The latency ports report the new delays once the plugins have run.
        Slice warmUp(*graph, 64);
        graph->start(); // clears the delay lines again
        source.position = 0;

        graph->preroll();
        EXPECT_EQ(source.position, c.frames);
        // From here on the output lines up with the input.
        EXPECT_LT(distanceFromPattern(Slice(*graph, 512), 0, 1.0f), 1e-6f);
    }
}
