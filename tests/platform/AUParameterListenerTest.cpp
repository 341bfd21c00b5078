#include "platform/audiounits/AUParameterListener.h"
#include "platform/audiounits/VarispeedUnit.h"

#include "platform/MainThread.h"
#include "support/TestEnvironment.h"

#include <gtest/gtest.h>

#include <thread>
#include <vector>

using clipdeck::test::waitUntil;

namespace {

struct Heard {
    std::vector<AudioUnitParameterValue> values;
    bool allOnMainThread = true;
    void* object = nullptr;
};

void heardParameter(void* refCon, void* object, const AudioUnitParameter*, AudioUnitParameterValue value)
{
    auto* heard = static_cast<Heard*>(refCon);
    heard->values.push_back(value);
    heard->allOnMainThread = heard->allOnMainThread && mainthread::isMainThread();
    heard->object = object;
}

void heardEvent(void* refCon, void* object, const AudioUnitEvent* event, UInt64, AudioUnitParameterValue value)
{
    if (event->mEventType == kAudioUnitEvent_ParameterValueChange)
        heardParameter(refCon, object, &event->mParameter, value);
}

AudioUnitParameter rateOf(AudioUnit* unit)
{
    AudioUnitParameter parameter;
    parameter.mAudioUnit = unit;
    parameter.mParameterID = kVarispeedParam_PlaybackRate;
    return parameter;
}

} // namespace

TEST(AUParameterListener, ChangesReachListenersOnTheMainThreadCoalescedPerInterval)
{
    VarispeedUnit unit;
    Heard heard;
    Heard senderHeard;
    AUParameterListenerRef listener = nullptr;
    AUParameterListenerRef sender = nullptr;
    ASSERT_EQ(AUListenerCreate(heardParameter, &heard, 0.2f, &listener), noErr);
    ASSERT_EQ(AUListenerCreate(heardParameter, &senderHeard, 0.0f, &sender), noErr);
    const AudioUnitParameter rate = rateOf(&unit);
    int object = 0;
    ASSERT_EQ(AUListenerAddParameter(listener, &object, &rate), noErr);
    ASSERT_EQ(AUListenerAddParameter(sender, nullptr, &rate), noErr);

    std::thread changer([&] { AUParameterSet(sender, nullptr, &rate, 1.5f, 0); });
    changer.join();
    ASSERT_TRUE(waitUntil([&] { return heard.values.size() == 1; }));
    EXPECT_EQ(heard.values[0], 1.5f);
    EXPECT_EQ(heard.object, &object);

    // A burst inside the interval arrives once, with the value at delivery time.
    for (Float32 value : {2.0f, 2.5f, 3.0f})
        AUParameterSet(sender, nullptr, &rate, value, 0);
    EXPECT_TRUE(waitUntil([&] { return heard.values.size() == 2; }));
    waitUntil([] { return false; }, 300); // let queued notices arrive
    EXPECT_EQ(heard.values.size(), 2u);
    EXPECT_EQ(heard.values.back(), 3.0f);
    EXPECT_TRUE(heard.allOnMainThread);
    EXPECT_TRUE(senderHeard.values.empty()) << "the sender is not told about its own change";

    AUListenerDispose(listener);
    AUListenerDispose(sender);
}

TEST(AUParameterListener, AnyParameterNoticeReachesEveryWatchedParameterOfTheUnit)
{
    VarispeedUnit unit;
    VarispeedUnit other;
    Heard heard;
    AUEventListenerRef listener = nullptr;
    ASSERT_EQ(AUEventListenerCreate(heardEvent, &heard, 0.0f, 0.0f, &listener), noErr);
    AudioUnitEvent event;
    event.mParameter = rateOf(&unit);
    ASSERT_EQ(AUEventListenerAddEventType(listener, nullptr, &event), noErr);
    event.mParameter.mParameterID = kVarispeedParam_PlaybackCents;
    ASSERT_EQ(AUEventListenerAddEventType(listener, nullptr, &event), noErr);
    event.mParameter = rateOf(&other);
    ASSERT_EQ(AUEventListenerAddEventType(listener, nullptr, &event), noErr);

    AudioUnitParameter any = rateOf(&unit);
    any.mParameterID = kAUParameterListener_AnyParameter;
    ASSERT_EQ(AUParameterListenerNotify(nullptr, nullptr, &any), noErr);
    EXPECT_TRUE(waitUntil([&] { return heard.values.size() == 2; }));
    waitUntil([] { return false; }, 50); // let queued notices arrive
    EXPECT_EQ(heard.values.size(), 2u) << "only the parameters of that unit";

    // Disposed with a notice still queued: nothing arrives afterwards.
    AUParameterListenerNotify(nullptr, nullptr, &any);
    AUListenerDispose(listener);
    waitUntil([] { return false; }, 20); // let queued notices arrive
    EXPECT_EQ(heard.values.size(), 2u);
}
