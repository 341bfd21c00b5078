#include "platform/audiounits/AUParameterListener.h"

#include "platform/MainThread.h"
#include "platform/audiounits/AudioUnit.h"

#include <QCoreApplication>
#include <QTimer>

#include <algorithm>
#include <chrono>
#include <memory>
#include <mutex>
#include <vector>

namespace {

using Clock = std::chrono::steady_clock;

struct Registration {
    void* object;
    AudioUnitParameter parameter;
};

bool sameParameter(const AudioUnitParameter& a, const AudioUnitParameter& b)
{
    return a.mAudioUnit == b.mAudioUnit && a.mParameterID == b.mParameterID && a.mScope == b.mScope &&
           a.mElement == b.mElement;
}

bool sameRegistration(const Registration& a, const Registration& b)
{
    return a.object == b.object && sameParameter(a.parameter, b.parameter);
}

} // namespace

// Main-thread state of one listener; shared with queued deliveries, which find it disposed.
class AUParameterListener : public std::enable_shared_from_this<AUParameterListener> {
public:
    AUParameterListener(AUParameterListenerProc proc, AUEventListenerProc eventProc, void* refCon, Float32 interval)
        : mProc(proc), mEventProc(eventProc), mRefCon(refCon),
          mInterval(std::chrono::duration_cast<Clock::duration>(std::chrono::duration<double>(std::max(0.0f, interval))))
    {
    }

    // The watched registrations that a change of parameter concerns (registry lock held).
    void collect(const AudioUnitParameter& parameter, std::vector<Registration>& out) const
    {
        for (const Registration& registration : mRegistrations) {
            if (registration.parameter.mAudioUnit != parameter.mAudioUnit)
                continue;
            if (parameter.mParameterID == kAUParameterListener_AnyParameter ||
                sameParameter(registration.parameter, parameter))
                out.push_back(registration);
        }
    }

    // Main thread: notes a change and calls back now or when the interval allows.
    void schedule(const Registration& registration)
    {
        if (mDisposed)
            return;
        if (std::none_of(mPending.begin(), mPending.end(),
                         [&](const Registration& pending) { return sameRegistration(pending, registration); }))
            mPending.push_back(registration);
        const Clock::time_point due = mLastDelivery + mInterval;
        const Clock::time_point now = Clock::now();
        if (now >= due) {
            deliver();
        } else if (!mTimerArmed) {
            mTimerArmed = true;
            const auto wait = std::chrono::ceil<std::chrono::milliseconds>(due - now);
            std::weak_ptr<AUParameterListener> weak = weak_from_this();
            QTimer::singleShot(int(wait.count()), QCoreApplication::instance(), [weak] {
                if (auto listener = weak.lock()) {
                    listener->mTimerArmed = false;
                    listener->deliver();
                }
            });
        }
    }

    void deliver()
    {
        mLastDelivery = Clock::now();
        const std::vector<Registration> pending = std::move(mPending);
        mPending.clear();
        for (const Registration& registration : pending) {
            if (mDisposed)
                return;
            const AudioUnitParameter& parameter = registration.parameter;
            AudioUnitParameterValue value = 0;
            parameter.mAudioUnit->getParameter(parameter.mParameterID, parameter.mScope, parameter.mElement, &value);
            if (mProc) {
                mProc(mRefCon, registration.object, &parameter, value);
            } else {
                AudioUnitEvent event;
                event.mEventType = kAudioUnitEvent_ParameterValueChange;
                event.mParameter = parameter;
                const UInt64 hostTime =
                    UInt64(std::chrono::duration_cast<std::chrono::nanoseconds>(Clock::now().time_since_epoch()).count());
                mEventProc(mRefCon, registration.object, &event, hostTime, value);
            }
        }
    }

    std::vector<Registration> mRegistrations; // under the registry lock
    bool mDisposed = false;                   // main thread

private:
    AUParameterListenerProc mProc;
    AUEventListenerProc mEventProc;
    void* mRefCon;
    Clock::duration mInterval;
    Clock::time_point mLastDelivery{};
    std::vector<Registration> mPending;
    bool mTimerArmed = false;
};

namespace {

struct ListenerRegistry {
    std::mutex mutex;
    std::vector<std::shared_ptr<AUParameterListener>> listeners;
};

ListenerRegistry& registry()
{
    static ListenerRegistry instance;
    return instance;
}

std::shared_ptr<AUParameterListener> sharedListener(AUParameterListenerRef listener)
{
    for (const auto& shared : registry().listeners) {
        if (shared.get() == listener)
            return shared;
    }
    return nullptr;
}

OSStatus createListener(AUParameterListenerProc proc, AUEventListenerProc eventProc, void* refCon, Float32 interval,
                        AUParameterListenerRef* outListener)
{
    if (!outListener || (!proc && !eventProc))
        return kAudio_ParamError;
    auto listener = std::make_shared<AUParameterListener>(proc, eventProc, refCon, interval);
    ListenerRegistry& r = registry();
    std::lock_guard lock(r.mutex);
    r.listeners.push_back(listener);
    *outListener = listener.get();
    return noErr;
}

} // namespace

OSStatus AUListenerCreate(AUParameterListenerProc proc, void* refCon, Float32 notificationInterval,
                          AUParameterListenerRef* outListener)
{
    return createListener(proc, nullptr, refCon, notificationInterval, outListener);
}

OSStatus AUEventListenerCreate(AUEventListenerProc proc, void* refCon, Float32 notificationInterval, Float32,
                               AUEventListenerRef* outListener)
{
    return createListener(nullptr, proc, refCon, notificationInterval, outListener);
}

OSStatus AUListenerDispose(AUParameterListenerRef listener)
{
    ListenerRegistry& r = registry();
    std::lock_guard lock(r.mutex);
    auto it = std::find_if(r.listeners.begin(), r.listeners.end(),
                           [&](const auto& shared) { return shared.get() == listener; });
    if (it == r.listeners.end())
        return kAudio_ParamError;
    (*it)->mDisposed = true;
    r.listeners.erase(it);
    return noErr;
}

namespace {

// Runs change on the registrations of listener, under the registry lock.
template <typename Change>
OSStatus changeRegistrations(AUParameterListenerRef listener, const AudioUnitParameter* parameter, Change change)
{
    if (!parameter || !parameter->mAudioUnit)
        return kAudio_ParamError;
    ListenerRegistry& r = registry();
    std::lock_guard lock(r.mutex);
    const auto shared = sharedListener(listener);
    if (!shared)
        return kAudio_ParamError;
    change(shared->mRegistrations);
    return noErr;
}

} // namespace

OSStatus AUListenerAddParameter(AUParameterListenerRef listener, void* object, const AudioUnitParameter* parameter)
{
    return changeRegistrations(listener, parameter, [&](std::vector<Registration>& registrations) {
        const Registration registration{object, *parameter};
        if (std::none_of(registrations.begin(), registrations.end(),
                         [&](const Registration& existing) { return sameRegistration(existing, registration); }))
            registrations.push_back(registration);
    });
}

OSStatus AUListenerRemoveParameter(AUParameterListenerRef listener, void* object,
                                   const AudioUnitParameter* parameter)
{
    return changeRegistrations(listener, parameter, [&](std::vector<Registration>& registrations) {
        const Registration registration{object, *parameter};
        std::erase_if(registrations,
                      [&](const Registration& existing) { return sameRegistration(existing, registration); });
    });
}

OSStatus AUEventListenerAddEventType(AUEventListenerRef listener, void* object, const AudioUnitEvent* event)
{
    if (!event || event->mEventType != kAudioUnitEvent_ParameterValueChange)
        return kAudio_ParamError;
    return AUListenerAddParameter(listener, object, &event->mParameter);
}

OSStatus AUParameterListenerNotify(AUParameterListenerRef sendingListener, void*, const AudioUnitParameter* parameter)
{
    if (!parameter || !parameter->mAudioUnit)
        return kAudio_ParamError;
    std::vector<std::pair<std::weak_ptr<AUParameterListener>, Registration>> deliveries;
    {
        ListenerRegistry& r = registry();
        std::lock_guard lock(r.mutex);
        std::vector<Registration> concerned;
        for (const auto& listener : r.listeners) {
            if (listener.get() == sendingListener)
                continue;
            concerned.clear();
            listener->collect(*parameter, concerned);
            for (const Registration& registration : concerned)
                deliveries.emplace_back(listener, registration);
        }
    }
    for (auto& [weak, registration] : deliveries) {
        mainthread::post([weak = std::move(weak), registration = registration] {
            if (auto listener = weak.lock())
                listener->schedule(registration);
        });
    }
    return noErr;
}

OSStatus AUParameterSet(AUParameterListenerRef sendingListener, void* sendingObject,
                        const AudioUnitParameter* parameter, AudioUnitParameterValue value, UInt32)
{
    if (!parameter || !parameter->mAudioUnit)
        return kAudio_ParamError;
    if (const OSStatus status = parameter->mAudioUnit->setParameter(parameter->mParameterID, parameter->mScope,
                                                                   parameter->mElement, value))
        return status;
    return AUParameterListenerNotify(sendingListener, sendingObject, parameter);
}
