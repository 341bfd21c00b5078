#pragma once
// Parameter listeners, in place of the system's parameter and event listeners: a listener
// watches chosen parameters of units and is called on the main thread when someone changes
// one through AUParameterSet or announces a change with AUParameterListenerNotify (a
// plain AudioUnit::setParameter tells nobody, so render-side changes stay silent).
//
// Notifications are coalesced: a listener is called at most once per notification interval
// per parameter, with the parameter's value at the time of the call. A notification for
// kAUParameterListener_AnyParameter reaches every parameter of that unit the listener watches.
// The listener that sent a change is not told about it.
//
// Threads: create, add, remove and dispose on the main thread; AUParameterSet and
// AUParameterListenerNotify from any thread but a render thread (they allocate and lock).
// The owner removes a unit's parameters (or disposes the listener) before freeing the unit.

#include "platform/audiounits/AudioUnitTypes.h"

class AUParameterListener;
using AUParameterListenerRef = AUParameterListener*;
using AUEventListenerRef = AUParameterListener*;

using AUParameterListenerProc = void (*)(void* inRefCon, void* inObject, const AudioUnitParameter* inParameter,
                                         AudioUnitParameterValue inValue);

using AudioUnitEventType = UInt32;
constexpr AudioUnitEventType kAudioUnitEvent_ParameterValueChange = 0;

struct AudioUnitEvent {
    AudioUnitEventType mEventType = kAudioUnitEvent_ParameterValueChange;
    AudioUnitParameter mParameter;
};

using AUEventListenerProc = void (*)(void* inCallbackRefCon, void* inObject, const AudioUnitEvent* inEvent,
                                     UInt64 inEventHostTime, AudioUnitParameterValue inParameterValue);

// A listener calling proc with refCon, at most once per notificationInterval seconds.
OSStatus AUListenerCreate(AUParameterListenerProc proc, void* refCon, Float32 notificationInterval,
                          AUParameterListenerRef* outListener);
// The same with an event callback; granularity (seconds) is accepted and the interval rules.
OSStatus AUEventListenerCreate(AUEventListenerProc proc, void* refCon, Float32 notificationInterval,
                               Float32 granularity, AUEventListenerRef* outListener);
// Stops every notification, pending ones included, and frees the listener.
OSStatus AUListenerDispose(AUParameterListenerRef listener);

// Watches one parameter (object is handed back to the callback).
OSStatus AUListenerAddParameter(AUParameterListenerRef listener, void* object, const AudioUnitParameter* parameter);
OSStatus AUListenerRemoveParameter(AUParameterListenerRef listener, void* object,
                                   const AudioUnitParameter* parameter);
// Watches the parameter of a parameter-value-change event (other event types are refused).
OSStatus AUEventListenerAddEventType(AUEventListenerRef listener, void* object, const AudioUnitEvent* event);

// Sets a parameter and tells the listeners that watch it (all but sendingListener).
OSStatus AUParameterSet(AUParameterListenerRef sendingListener, void* sendingObject,
                        const AudioUnitParameter* parameter, AudioUnitParameterValue value, UInt32 bufferOffset);
// Tells the listeners that a parameter (or, for kAUParameterListener_AnyParameter, any
// parameter of the unit) changed.
OSStatus AUParameterListenerNotify(AUParameterListenerRef sendingListener, void* sendingObject,
                                   const AudioUnitParameter* parameter);
