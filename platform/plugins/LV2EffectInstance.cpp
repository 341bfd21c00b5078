#include "platform/plugins/LV2EffectInstance.h"

#include "platform/plugins/LV2World.h"

#include <lv2/state/state.h>

#include <algorithm>
#include <cstring>

namespace {

constexpr size_t kAtomBufferBytes = 8192;

const LilvPlugin* findPlugin(LV2World& world, const QString& uri)
{
    LilvNode* node = lilv_new_uri(world.world, uri.toUtf8().constData());
    const LilvPlugin* plugin = lilv_plugins_get_by_uri(lilv_world_get_all_plugins(world.world), node);
    lilv_node_free(node);
    return plugin;
}

LilvInstance* lilv(void* instance) { return static_cast<LilvInstance*>(instance); }

} // namespace

std::unique_ptr<LV2EffectInstance> LV2EffectInstance::create(const LV2PluginInfo& plugin, QString* error)
{
    std::unique_ptr<LV2EffectInstance> effect(new LV2EffectInstance(plugin, LV2Catalogue::shared().world()));
    const auto* lilvPlugin = findPlugin(*effect->world_, plugin.uri);
    if (!lilvPlugin) {
        if (error)
            *error = QStringLiteral("The effect \"%1\" is not installed.").arg(plugin.uri);
        return nullptr;
    }
    effect->plugin_ = lilvPlugin;
    const int count = plugin.layout == LV2PluginInfo::Layout::DualMono ? 2 : 1;
    for (int i = 0; i < count; ++i) {
        LilvInstance* instance = lilv_plugin_instantiate(lilvPlugin, LV2World::kSampleRate, effect->world_->features());
        if (!instance) {
            if (error)
                *error = QStringLiteral("The effect \"%1\" could not be started.").arg(plugin.componentName());
            return nullptr;
        }
        effect->instances_.push_back(instance);
    }
    effect->connectPorts();
    for (void* instance : effect->instances_)
        lilv_instance_activate(lilv(instance));
    return effect;
}

LV2EffectInstance::LV2EffectInstance(const LV2PluginInfo& info, std::shared_ptr<LV2World> world)
    : info_(info), world_(std::move(world)), blockLength_(LV2World::kMaxBlockLength)
{
    const size_t controls = info_.controlInputs.size();
    wanted_ = std::make_unique<std::atomic<float>[]>(controls);
    controls_.resize(controls);
    for (size_t i = 0; i < controls; ++i) {
        controls_[i] = info_.controlInputs[i].defaultValue;
        wanted_[i].store(controls_[i]);
    }
    for (auto* buffers : {inScratch_, outScratch_}) {
        buffers[0].assign(blockLength_, 0.0f);
        buffers[1].assign(blockLength_, 0.0f);
    }
    silence_.assign(blockLength_, 0.0f);
    discard_.assign(blockLength_, 0.0f);
    sequenceType_ = world_->urid(LV2_ATOM__Sequence);
    chunkType_ = world_->urid(LV2_ATOM__Chunk);
}

LV2EffectInstance::~LV2EffectInstance()
{
    for (void* instance : instances_) {
        lilv_instance_deactivate(lilv(instance));
        lilv_instance_free(lilv(instance));
    }
}

int LV2EffectInstance::controlSlot(UInt32 portIndex) const
{
    for (size_t i = 0; i < info_.controlInputs.size(); ++i) {
        if (info_.controlInputs[i].index == portIndex)
            return int(i);
    }
    return -1;
}

void LV2EffectInstance::connectPorts()
{
    controlOutputs_.assign(instances_.size(), std::vector<float>(info_.portCount, 0.0f));
    atomBuffers_.clear();
    for (size_t n = 0; n < instances_.size(); ++n) {
        LilvInstance* instance = lilv(instances_[n]);
        // Every instance reads the same control values.
        for (size_t i = 0; i < info_.controlInputs.size(); ++i)
            lilv_instance_connect_port(instance, info_.controlInputs[i].index, &controls_[i]);
        for (UInt32 port : info_.controlOutputs)
            lilv_instance_connect_port(instance, port, &controlOutputs_[n][port]);
        for (UInt32 port : info_.silentInputs)
            lilv_instance_connect_port(instance, port, silence_.data());
        for (UInt32 port : info_.discardedOutputs)
            lilv_instance_connect_port(instance, port, discard_.data());
        for (UInt32 port : info_.atomInputs) {
            atomBuffers_.emplace_back(kAtomBufferBytes, 0);
            lilv_instance_connect_port(instance, port, atomBuffers_.back().data());
        }
        for (UInt32 port : info_.atomOutputs) {
            atomBuffers_.emplace_back(kAtomBufferBytes, 0);
            lilv_instance_connect_port(instance, port, atomBuffers_.back().data());
        }
        // Audio runs through fixed scratch buffers, so a plugin that cannot work in place
        // never sees its input and output share memory.
        const size_t channel = instances_.size() == 2 ? n : 0;
        lilv_instance_connect_port(instance, info_.audioInputs[0], inScratch_[channel].data());
        if (info_.audioInputs.size() > 1)
            lilv_instance_connect_port(instance, info_.audioInputs[1], inScratch_[1].data());
        lilv_instance_connect_port(instance, info_.audioOutputs[0], outScratch_[channel].data());
        if (info_.audioOutputs.size() > 1)
            lilv_instance_connect_port(instance, info_.audioOutputs[1], outScratch_[1].data());
    }
}

void LV2EffectInstance::runBlock(UInt32 frames)
{
    for (size_t i = 0; i < controls_.size(); ++i)
        controls_[i] = wanted_[i].load(std::memory_order_relaxed);
    size_t atom = 0;
    for (size_t n = 0; n < instances_.size(); ++n) {
        for (size_t k = 0; k < info_.atomInputs.size(); ++k, ++atom) {
            auto* sequence = reinterpret_cast<LV2_Atom_Sequence*>(atomBuffers_[atom].data());
            sequence->atom.size = sizeof(LV2_Atom_Sequence_Body);
            sequence->atom.type = sequenceType_;
            sequence->body.unit = 0;
            sequence->body.pad = 0;
        }
        for (size_t k = 0; k < info_.atomOutputs.size(); ++k, ++atom) {
            auto* chunk = reinterpret_cast<LV2_Atom*>(atomBuffers_[atom].data());
            chunk->size = kAtomBufferBytes - sizeof(LV2_Atom);
            chunk->type = chunkType_;
        }
    }
    for (void* instance : instances_)
        lilv_instance_run(lilv(instance), frames);
    if (info_.latencyPort >= 0)
        latency_.store(UInt32(std::max(0.0f, controlOutputs_[0][size_t(info_.latencyPort)])), std::memory_order_relaxed);
}

void LV2EffectInstance::process(const float* inLeft, const float* inRight, float* outLeft, float* outRight,
                                UInt32 frames)
{
    if (bypass_.load(std::memory_order_relaxed)) {
        if (outLeft != inLeft)
            std::memmove(outLeft, inLeft, frames * sizeof(float));
        if (outRight != inRight)
            std::memmove(outRight, inRight, frames * sizeof(float));
        return;
    }
    UInt32 done = 0;
    while (done < frames) {
        const UInt32 block = std::min(frames - done, blockLength_);
        if (info_.layout == LV2PluginInfo::Layout::MonoToStereo) {
            for (UInt32 i = 0; i < block; ++i)
                inScratch_[0][i] = 0.5f * (inLeft[done + i] + inRight[done + i]);
        } else {
            std::memcpy(inScratch_[0].data(), inLeft + done, block * sizeof(float));
            std::memcpy(inScratch_[1].data(), inRight + done, block * sizeof(float));
        }
        runBlock(block);
        std::memcpy(outLeft + done, outScratch_[0].data(), block * sizeof(float));
        std::memcpy(outRight + done, outScratch_[1].data(), block * sizeof(float));
        done += block;
    }
}

bool LV2EffectInstance::setParameter(UInt32 portIndex, float value)
{
    const int slot = controlSlot(portIndex);
    if (slot < 0)
        return false;
    const LV2ControlPort& port = info_.controlInputs[size_t(slot)];
    wanted_[size_t(slot)].store(std::clamp(value, std::min(port.minimum, port.maximum), std::max(port.minimum, port.maximum)));
    return true;
}

float LV2EffectInstance::parameter(UInt32 portIndex) const
{
    const int slot = controlSlot(portIndex);
    return slot < 0 ? 0.0f : wanted_[size_t(slot)].load();
}

void LV2EffectInstance::reset()
{
    for (void* instance : instances_) {
        lilv_instance_deactivate(lilv(instance));
        lilv_instance_activate(lilv(instance));
    }
}

namespace {

struct PortValues {
    LV2EffectInstance* effect;
    const LV2PluginInfo* info;
    LV2World* world;
    std::vector<float> values; // stable storage while lilv reads them
};

const void* portValue(const char* symbol, void* data, uint32_t* size, uint32_t* type)
{
    auto* values = static_cast<PortValues*>(data);
    for (size_t i = 0; i < values->info->controlInputs.size(); ++i) {
        if (values->info->controlInputs[i].symbol == QLatin1String(symbol)) {
            *size = sizeof(float);
            *type = values->world->urid(LV2_ATOM__Float);
            return &values->values[i];
        }
    }
    *size = 0;
    *type = 0;
    return nullptr;
}

void setPortValue(const char* symbol, void* data, const void* value, uint32_t size, uint32_t type)
{
    auto* values = static_cast<PortValues*>(data);
    float number;
    if (type == values->world->urid(LV2_ATOM__Float) && size == sizeof(float))
        number = *static_cast<const float*>(value);
    else if (type == values->world->urid(LV2_ATOM__Double) && size == sizeof(double))
        number = float(*static_cast<const double*>(value));
    else if (type == values->world->urid(LV2_ATOM__Int) && size == sizeof(int32_t))
        number = float(*static_cast<const int32_t*>(value));
    else
        return;
    for (const auto& port : values->info->controlInputs) {
        if (port.symbol == QLatin1String(symbol))
            values->effect->setParameter(port.index, number);
    }
}

} // namespace

QString LV2EffectInstance::saveState() const
{
    PortValues values{const_cast<LV2EffectInstance*>(this), &info_, world_.get(), {}};
    for (size_t i = 0; i < info_.controlInputs.size(); ++i)
        values.values.push_back(wanted_[i].load());
    LilvState* state = lilv_state_new_from_instance(
        static_cast<const LilvPlugin*>(plugin_), lilv(instances_[0]), world_->map(), nullptr, nullptr, nullptr,
        nullptr, portValue, &values, LV2_STATE_IS_POD | LV2_STATE_IS_PORTABLE, world_->features());
    if (!state)
        return {};
    char* text = lilv_state_to_string(world_->world, world_->map(), world_->unmap(), state, "urn:clipdeck:state",
                                      nullptr);
    QString result = QString::fromUtf8(text ? text : "");
    lilv_free(text);
    lilv_state_free(state);
    return result;
}

bool LV2EffectInstance::restoreState(const QString& text, QString* error)
{
    LilvState* state = lilv_state_new_from_string(world_->world, world_->map(), text.toUtf8().constData());
    if (!state) {
        if (error)
            *error = QStringLiteral("The settings of \"%1\" are damaged.").arg(info_.componentName());
        return false;
    }
    const QString stateURI = QString::fromUtf8(lilv_node_as_uri(lilv_state_get_plugin_uri(state)));
    if (stateURI != info_.uri) {
        lilv_state_free(state);
        if (error)
            *error = QStringLiteral("The settings are for another effect (%1).").arg(stateURI);
        return false;
    }
    PortValues values{this, &info_, world_.get(), {}};
    for (void* instance : instances_)
        lilv_state_restore(state, lilv(instance), setPortValue, &values, 0, world_->features());
    lilv_state_free(state);
    // Not running now: the plugin may read the restored values at once.
    for (size_t i = 0; i < controls_.size(); ++i)
        controls_[i] = wanted_[i].load();
    return true;
}
