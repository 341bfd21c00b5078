#include "platform/plugins/LV2Catalogue.h"

#include "platform/plugins/LV2World.h"

#include <lv2/state/state.h>

#include <algorithm>
#include <cmath>

namespace {

QString text(const LilvNode* node) { return node ? QString::fromUtf8(lilv_node_as_string(node)) : QString(); }

QString takeText(LilvNode* node)
{
    QString result = text(node);
    lilv_node_free(node);
    return result;
}

int takeInt(LilvNode* node)
{
    const int value = node && lilv_node_is_int(node) ? lilv_node_as_int(node) : 0;
    lilv_node_free(node);
    return value;
}

bool isInstrumentOrGenerator(const QString& classURI)
{
    return classURI.endsWith("#InstrumentPlugin") || classURI.endsWith("#GeneratorPlugin") ||
           classURI.endsWith("#OscillatorPlugin") || classURI.endsWith("#ConstantPlugin");
}

// The port's unit and the unit's sign, where the plugin gives them.
void readUnit(LV2World& world, const LilvPlugin* plugin, const LilvPort* port, LV2ControlPort& control)
{
    LilvNodes* units = lilv_port_get_value(plugin, port, world.unitsUnit);
    if (units && lilv_nodes_size(units) > 0) {
        const LilvNode* unit = lilv_nodes_get_first(units);
        if (lilv_node_is_uri(unit))
            control.unitURI = text(unit);
        control.unitSymbol = takeText(lilv_world_get(world.world, unit, world.unitsSymbol, nullptr));
    }
    lilv_nodes_free(units);
}

void readScalePoints(const LilvPlugin* plugin, const LilvPort* port, LV2ControlPort& control)
{
    LilvScalePoints* points = lilv_port_get_scale_points(plugin, port);
    LILV_FOREACH (scale_points, it, points) {
        const LilvScalePoint* point = lilv_scale_points_get(points, it);
        const LilvNode* value = lilv_scale_point_get_value(point);
        if (!lilv_node_is_float(value) && !lilv_node_is_int(value))
            continue;
        control.scalePoints.push_back({lilv_node_as_float(value), text(lilv_scale_point_get_label(point))});
    }
    lilv_scale_points_free(points);
    std::stable_sort(control.scalePoints.begin(), control.scalePoints.end(),
                     [](const LV2ScalePoint& a, const LV2ScalePoint& b) { return a.value < b.value; });
}

// Fills info's ports; false when the plugin cannot run in a stereo chain.
bool readPorts(LV2World& world, const LilvPlugin* plugin, LV2PluginInfo& info)
{
    info.portCount = lilv_plugin_get_num_ports(plugin);
    std::vector<float> minimum(info.portCount), maximum(info.portCount), defaults(info.portCount);
    lilv_plugin_get_port_ranges_float(plugin, minimum.data(), maximum.data(), defaults.data());
    bool midiInput = false;
    for (UInt32 index = 0; index < info.portCount; ++index) {
        const LilvPort* port = lilv_plugin_get_port_by_index(plugin, index);
        const bool input = lilv_port_is_a(plugin, port, world.inputPort);
        const bool output = lilv_port_is_a(plugin, port, world.outputPort);
        if (lilv_port_is_a(plugin, port, world.audioPort)) {
            const bool extra = lilv_port_has_property(plugin, port, world.sideChain);
            if (input)
                (extra ? info.silentInputs : info.audioInputs).push_back(index);
            else if (output)
                (extra ? info.discardedOutputs : info.audioOutputs).push_back(index);
        } else if (lilv_port_is_a(plugin, port, world.cvPort)) {
            (input ? info.silentInputs : info.discardedOutputs).push_back(index);
        } else if (lilv_port_is_a(plugin, port, world.controlPort)) {
            if (output) {
                info.controlOutputs.push_back(index);
                continue;
            }
            LV2ControlPort control;
            control.index = index;
            control.symbol = text(lilv_port_get_symbol(plugin, port));
            control.name = takeText(lilv_port_get_name(plugin, port));
            control.minimum = std::isnan(minimum[index]) ? 0.0f : minimum[index];
            control.maximum = std::isnan(maximum[index]) ? 1.0f : maximum[index];
            control.defaultValue = std::isnan(defaults[index]) ? control.minimum : defaults[index];
            control.toggled = lilv_port_has_property(plugin, port, world.toggled);
            control.integer = lilv_port_has_property(plugin, port, world.integer);
            control.logarithmic = lilv_port_has_property(plugin, port, world.logarithmic);
            control.enumeration = lilv_port_has_property(plugin, port, world.enumeration);
            readUnit(world, plugin, port, control);
            readScalePoints(plugin, port, control);
            info.controlInputs.push_back(control);
        } else if (lilv_port_is_a(plugin, port, world.atomPort)) {
            if (input) {
                info.atomInputs.push_back(index);
                midiInput = midiInput || lilv_port_supports_event(plugin, port, world.midiEvent);
            } else {
                info.atomOutputs.push_back(index);
            }
        } else if (!lilv_port_has_property(plugin, port, world.connectionOptional)) {
            return false; // a port type we cannot feed
        }
    }
    const size_t ins = info.audioInputs.size(), outs = info.audioOutputs.size();
    if (ins == 2 && outs == 2)
        info.layout = LV2PluginInfo::Layout::Stereo;
    else if (ins == 1 && outs == 1)
        info.layout = LV2PluginInfo::Layout::DualMono;
    else if (ins == 1 && outs == 2)
        info.layout = LV2PluginInfo::Layout::MonoToStereo;
    else
        return false;
    if (lilv_plugin_has_latency(plugin))
        info.latencyPort = int(lilv_plugin_get_latency_port_index(plugin));
    info.type = info.classURI.endsWith("#MixerPlugin") ? FourCC("aumx") : midiInput ? FourCC("aumf") : FourCC("aufx");
    return true;
}

bool needsOnlyProvidedFeatures(const LilvPlugin* plugin)
{
    const QStringList provided = LV2Catalogue::providedFeatures();
    LilvNodes* required = lilv_plugin_get_required_features(plugin);
    bool ok = true;
    LILV_FOREACH (nodes, it, required) {
        if (!provided.contains(text(lilv_nodes_get(required, it))))
            ok = false;
    }
    lilv_nodes_free(required);
    return ok;
}

} // namespace

QString LV2PluginInfo::componentName() const { return author + ": " + name; }

QVariantMap LV2PluginInfo::identity() const
{
    return {{"type", qlonglong(type)},
            {"subtype", qlonglong(subtype)},
            {"manufacturer", qlonglong(manufacturer)},
            {"name", componentName()},
            {"version", qlonglong(version)},
            {"uri", uri}};
}

const LV2ControlPort* LV2PluginInfo::controlInput(UInt32 index) const
{
    for (const auto& port : controlInputs) {
        if (port.index == index)
            return &port;
    }
    return nullptr;
}

LV2Catalogue& LV2Catalogue::shared()
{
    static LV2Catalogue catalogue;
    return catalogue;
}

LV2Catalogue::LV2Catalogue() { reload(); }

QStringList LV2Catalogue::providedFeatures()
{
    return {LV2_URID__map,
            LV2_URID__unmap,
            LV2_LOG__log,
            LV2_OPTIONS__options,
            LV2_BUF_SIZE__boundedBlockLength,
            LV2_CORE__inPlaceBroken,
            LV2_CORE__isLive,
            LV2_CORE__hardRTCapable,
            LV2_STATE__loadDefaultState};
}

UInt32 LV2Catalogue::identityHash(const QString& text)
{
    UInt32 hash = 2166136261u;
    for (char byte : text.toUtf8()) {
        hash ^= UInt8(byte);
        hash *= 16777619u;
    }
    return hash ? hash : 1;
}

void LV2Catalogue::reload()
{
    auto world = std::make_shared<LV2World>();
    std::vector<LV2PluginInfo> effects;
    const LilvPlugins* plugins = lilv_world_get_all_plugins(world->world);
    LILV_FOREACH (plugins, it, plugins) {
        const LilvPlugin* plugin = lilv_plugins_get(plugins, it);
        LV2PluginInfo info;
        info.uri = text(lilv_plugin_get_uri(plugin));
        info.name = takeText(lilv_plugin_get_name(plugin));
        info.author = takeText(lilv_plugin_get_author_name(plugin));
        if (info.author.isEmpty())
            info.author = QStringLiteral("Unknown");
        info.classURI = text(lilv_plugin_class_get_uri(lilv_plugin_get_class(plugin)));
        if (isInstrumentOrGenerator(info.classURI) || !needsOnlyProvidedFeatures(plugin) ||
            !readPorts(*world, plugin, info))
            continue;
        info.subtype = identityHash(info.uri);
        info.manufacturer = identityHash(info.author);
        const LilvNode* uri = lilv_plugin_get_uri(plugin);
        const int minor = takeInt(lilv_world_get(world->world, uri, world->minorVersion, nullptr));
        const int micro = takeInt(lilv_world_get(world->world, uri, world->microVersion, nullptr));
        info.version = (UInt32(minor) << 16) | (UInt32(micro & 0xFF) << 8);
        effects.push_back(std::move(info));
    }
    world_ = std::move(world);
    effects_ = std::move(effects);
}

const LV2PluginInfo* LV2Catalogue::effectWithURI(const QString& uri) const
{
    auto it = std::find_if(effects_.begin(), effects_.end(), [&](const LV2PluginInfo& i) { return i.uri == uri; });
    return it == effects_.end() ? nullptr : &*it;
}

const LV2PluginInfo* LV2Catalogue::effectWithCodes(UInt32 type, UInt32 subtype, UInt32 manufacturer) const
{
    auto it = std::find_if(effects_.begin(), effects_.end(), [&](const LV2PluginInfo& i) {
        return i.type == type && i.subtype == subtype && i.manufacturer == manufacturer;
    });
    return it == effects_.end() ? nullptr : &*it;
}
