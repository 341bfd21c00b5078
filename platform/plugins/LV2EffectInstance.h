#pragma once
// A running LV2 effect fitted to a stereo chain: a stereo plugin runs as one instance, a
// mono plugin as two (parameters, state and bypass go to both), a mono-in, stereo-out
// plugin is fed the mix of both channels. Side-chain, CV and event ports get silence, an
// empty event sequence or a place to write that nobody reads.
//
// Threads: create(), the destructor, reset(), saveState() and restoreState() never run on
// a render thread, and the state calls never while process() may run. process() is the
// render call: no allocation, no lock. setParameter() and setBypass() may be called from
// any thread while process() runs: each parameter is an atomic value the render thread
// picks up at its next block.

#include "platform/plugins/LV2Catalogue.h"

#include <atomic>
#include <memory>
#include <vector>

struct LilvInstanceImpl;

class LV2EffectInstance {
public:
    // An activated instance of plugin (of the shared catalogue's world); null, with *error
    // set, when the plugin cannot be made.
    static std::unique_ptr<LV2EffectInstance> create(const LV2PluginInfo& plugin, QString* error = nullptr);
    ~LV2EffectInstance();
    LV2EffectInstance(const LV2EffectInstance&) = delete;
    LV2EffectInstance& operator=(const LV2EffectInstance&) = delete;

    const LV2PluginInfo& plugin() const { return info_; }

    // Render call: frames of stereo audio from in to out (out may be in). Any frame count.
    void process(const float* inLeft, const float* inRight, float* outLeft, float* outRight, UInt32 frames);

    // Host bypass: the input is copied to the output.
    void setBypass(bool bypass) { bypass_.store(bypass); }
    bool bypass() const { return bypass_.load(); }

    // False for a port that is not a control input. Values are clamped to the port's range.
    bool setParameter(UInt32 portIndex, float value);
    float parameter(UInt32 portIndex) const;

    // The plugin's latency in frames, as its latency port last reported it (0 without one).
    UInt32 latencyFrames() const { return latency_.load(); }
    // Runs the plugin for zero frames so that it reports its control outputs (its latency
    // among them) before the first block. Never while process() may run.
    void refreshControlOutputs() { runBlock(0); }

    // The plugin's state and parameter values as text (Turtle), and back. restoreState()
    // refuses text that is not a state of this plugin.
    QString saveState() const;
    bool restoreState(const QString& state, QString* error = nullptr);

    // Deactivates and activates the plugin again, clearing its delay lines and the like.
    void reset();

private:
    LV2EffectInstance(const LV2PluginInfo& info, std::shared_ptr<LV2World> world);
    void connectPorts();
    void runBlock(UInt32 frames);
    int controlSlot(UInt32 portIndex) const;

    LV2PluginInfo info_;
    std::shared_ptr<LV2World> world_;
    const void* plugin_ = nullptr; // the LilvPlugin
    std::vector<void*> instances_; // LilvInstance*, one or two
    UInt32 blockLength_;

    std::unique_ptr<std::atomic<float>[]> wanted_; // per control input: the value asked for
    std::vector<float> controls_;                  // per control input: connected to the plugin
    std::vector<std::vector<float>> controlOutputs_;
    std::vector<float> inScratch_[2], outScratch_[2];
    std::vector<float> silence_, discard_;
    std::vector<std::vector<uint8_t>> atomBuffers_;
    UInt32 sequenceType_ = 0, chunkType_ = 0;
    std::atomic<bool> bypass_{false};
    std::atomic<UInt32> latency_{0};
};
