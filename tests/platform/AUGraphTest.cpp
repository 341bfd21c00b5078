#include "platform/audiounits/AUGraph.h"
#include "platform/audiounits/AudioComponentRegistry.h"
#include "platform/audiounits/AudioUnit.h"

#include "UnitTestSignals.h"

#include <gtest/gtest.h>


using namespace unittest;

namespace {

const AudioComponentDescription kGenericOutput{kAudioUnitType_Output, kAudioUnitSubType_GenericOutput,
                                               kAudioUnitManufacturer_System, 0, 0};
const AudioComponentDescription kVarispeed{kAudioUnitType_FormatConverter, kAudioUnitSubType_Varispeed,
                                           kAudioUnitManufacturer_System, 0, 0};

} // namespace

TEST(AUGraph, BuildsOpensInitialisesAndRendersAChainFromItsHead)
{
    AUGraph graph;
    AUNode output = 0;
    AUNode varispeed = 0;
    ASSERT_EQ(graph.addNode(kGenericOutput, &output), noErr);
    ASSERT_EQ(graph.addNode(kVarispeed, &varispeed), noErr);
    AudioUnit* head = nullptr;
    graph.nodeInfo(output, nullptr, &head);
    EXPECT_EQ(head, nullptr) << "no units before open";

    ConstantInput input;
    input.value = 0.5f;
    ASSERT_EQ(graph.connectNodeInput(varispeed, 0, output, 0), noErr);
    ASSERT_EQ(graph.setNodeInputCallback(varispeed, 0, input.callback()), noErr);
    EXPECT_EQ(graph.connectNodeInput(varispeed, 0, 999, 0), kAUGraphErr_NodeNotFound);
    EXPECT_EQ(graph.start(), kAudioUnitErr_Uninitialized);
    ASSERT_EQ(graph.initialize(), noErr);
    ASSERT_EQ(graph.start(), noErr);
    EXPECT_TRUE(graph.isRunning());

    graph.nodeInfo(output, nullptr, &head);
    ASSERT_NE(head, nullptr);
    EXPECT_TRUE(head->isRunning());
    StereoBuffers out(64);
    AudioTimeStamp time = timeAt(0);
    ASSERT_EQ(head->render(nullptr, &time, 0, 64, out.list()), noErr);
    EXPECT_EQ(out.samples[0][63], 0.5f);
    EXPECT_EQ(out.samples[1][0], 0.75f);

    ASSERT_EQ(graph.removeNode(varispeed), noErr);
    EXPECT_FALSE(head->hasInput(0)) << "removing a node drops its connections";
    EXPECT_EQ(graph.nodeCount(), 1u);
    graph.stop();
    EXPECT_FALSE(head->isRunning());
    graph.close();
    EXPECT_FALSE(graph.isOpen());
}

TEST(AUGraph, RefusesUnknownKindsAndStartsOnlyWithAnOutputNode)
{
    AUGraph graph;
    AUNode node = 0;
    EXPECT_EQ(graph.addNode(AudioComponentDescription{FourCC("xxxx"), 0, 0, 0, 0}, &node),
              kAudioComponentErr_NotFound);
    ASSERT_EQ(graph.addNode(kVarispeed, &node), noErr);
    ASSERT_EQ(graph.initialize(), noErr);
    EXPECT_EQ(graph.start(), kAUGraphErr_OutputNodeErr);
    EXPECT_EQ(AudioComponentRegistry::find(AudioComponentDescription{kAudioUnitType_FormatConverter, 0, 0, 0, 0}).size(),
              2);
}
