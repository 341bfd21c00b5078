// Cross-thread tests of the unit layer; they also run under ThreadSanitizer.
#include "platform/audiounits/AUGraph.h"
#include "platform/audiounits/AudioUnit.h"

#include "UnitTestSignals.h"

#include <gtest/gtest.h>

#include <atomic>
#include <thread>

using namespace unittest;

TEST(AudioUnitConcurrency, InputsChangeSafelyWhileAnotherThreadRenders)
{
    AUGraph graph;
    AUNode output = 0;
    const AudioComponentDescription genericOutput{kAudioUnitType_Output, kAudioUnitSubType_GenericOutput,
                                                  kAudioUnitManufacturer_System, 0, 0};
    ASSERT_EQ(graph.addNode(genericOutput, &output), noErr);
    ASSERT_EQ(graph.initialize(), noErr);
    AudioUnit* head = nullptr;
    graph.nodeInfo(output, nullptr, &head);
    ConstantInput inputs[2];
    inputs[0].value = 1.0f;
    inputs[1].value = 2.0f;

    std::atomic<bool> running{true};
    std::atomic<int> wrongValues{0};
    std::thread renderer([&] {
        StereoBuffers out(256);
        Float64 sampleTime = 0;
        while (running.load()) {
            AudioTimeStamp time = timeAt(sampleTime);
            sampleTime += 256;
            const OSStatus status = head->render(nullptr, &time, 0, 256, out.list());
            const Float32 value = out.samples[0][0];
            if (status == noErr && value != 1.0f && value != 2.0f)
                ++wrongValues;
        }
    });
    for (int i = 0; i < 2000; ++i) {
        ASSERT_EQ(head->setRenderCallback(0, inputs[i % 2].callback()), noErr);
        if (i % 100 == 99)
            head->setRenderCallback(0, AURenderCallbackStruct{}); // disconnected: renders report no input
    }
    running.store(false);
    renderer.join();
    EXPECT_EQ(wrongValues.load(), 0);
}
