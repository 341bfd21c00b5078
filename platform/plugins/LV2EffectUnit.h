#pragma once
// An LV2 effect as a processing unit, in place of an effect Audio Unit: one input bus and
// one output bus of 32-bit float non-interleaved audio at the plugin rate, stereo (or
// mono, where the plugin is fed the one channel on both sides and the two outputs are
// averaged), processed in place by an LV2EffectInstance.
//
//  - Parameters: one per control input of the plugin, id = the port index, global scope,
//    element 0 (atomics: any thread, render thread included), described from the port.
//  - Properties beyond AudioUnit's: kAudioUnitProperty_BypassEffect (UInt32 1/0; the host
//    copies input to output), kAudioUnitProperty_Latency (Float64 seconds, from the plugin's
//    latency port), kAudioUnitProperty_TailTime (0).
//  - Class info: the plugin's identity ("type", "subtype", "manufacturer", "version",
//    "uri"), "name" (the present preset's name) and "data", the plugin state as text.
//    setClassInfo takes a dictionary of this plugin only: "uri", where present, must name
//    it, else the three codes must match; "data", where present, must be a state of it.
//
// Threads: as AudioUnit.h. The plugin is made and activated when the unit is made; its
// state is restored and it is reactivated (reset) only on the control thread, under a lock
// that the render call only tries: a render that finds it held passes its input through.
// A reset asked for while the unit is initialized happens at its next initialize.

#include "platform/audiounits/AudioUnit.h"
#include "platform/plugins/LV2EffectInstance.h"

#include <atomic>
#include <memory>
#include <mutex>
#include <vector>

// Whether an effect is bypassed (UInt32, global scope): the input passes unchanged.

class LV2EffectUnit : public AudioUnit {
public:
    // A unit over a new instance of plugin; null (with *error set) when it cannot be made.
    static std::unique_ptr<LV2EffectUnit> create(const LV2PluginInfo& plugin, QString* error = nullptr);
    ~LV2EffectUnit() override;

    // Registers a kind of unit with AudioComponentRegistry for every effect the shared
    // catalogue offers, and unregisters kinds it registered before that are no longer
    // offered. Main thread.
    static void registerEffects();
    // registerEffects() the first time only.
    static void registerEffectsOnce();
    // The description of the offered effect with that URI (registering the effects first
    // when they were not); false when no offered effect has it.
    static bool componentDescriptionForURI(const QString& uri, AudioComponentDescription* outDescription);

    const LV2PluginInfo& plugin() const { return mEffect->plugin(); }

    OSStatus getParameter(AudioUnitParameterID id, AudioUnitScope scope, AudioUnitElement element,
                          AudioUnitParameterValue* outValue) const override;
    OSStatus setParameter(AudioUnitParameterID id, AudioUnitScope scope, AudioUnitElement element,
                          AudioUnitParameterValue value) override;
    std::vector<AudioUnitParameterID> parameterList(AudioUnitScope scope) const override;
    // From the control port: its name, range, default, unit, labelled values and kind.
    OSStatus getParameterInfo(AudioUnitParameterID id, AudioUnitScope scope, AudioUnitElement element,
                              AudioUnitParameterInfo* outInfo) const override;

    OSStatus getProperty(AudioUnitPropertyID id, AudioUnitScope scope, AudioUnitElement element, void* outData,
                         UInt32* ioDataSize) const override;
    OSStatus setProperty(AudioUnitPropertyID id, AudioUnitScope scope, AudioUnitElement element, const void* data,
                         UInt32 dataSize) override;

    OSStatus getClassInfo(QVariant* outClassInfo) const override;
    OSStatus setClassInfo(const QVariant& classInfo) override;

protected:
    OSStatus renderBus(AudioUnitRenderActionFlags& ioActionFlags, const AudioTimeStamp& timeStamp, UInt32 outputBus,
                       UInt32 frames, AudioBufferList* ioData) override;
    OSStatus initializeUnit() override;
    void uninitializeUnit() override;
    void resetState() override;
    OSStatus validateStreamFormat(AudioUnitScope scope, AudioUnitElement element,
                                  const AudioStreamBasicDescription& format) const override;

private:
    explicit LV2EffectUnit(std::unique_ptr<LV2EffectInstance> effect);
    bool isOwnParameter(AudioUnitParameterID id, AudioUnitScope scope, AudioUnitElement element) const;

    std::unique_ptr<LV2EffectInstance> mEffect;
    // Held by the control thread while it restores state or reactivates the plugin.
    mutable std::mutex mPluginMutex;
    std::atomic<bool> mResetWanted{false};
    // The right output of a mono render, averaged into the one channel.
    std::vector<Float32> mMonoScratch;
};
