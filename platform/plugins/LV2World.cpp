#include "platform/plugins/LV2World.h"

#include <lv2/parameters/parameters.h>
#include <lv2/midi/midi.h>
#include <lv2/state/state.h>
#include <lv2/units/units.h>

#include <cstdarg>

LV2World::LV2World()
{
    world = lilv_world_new();
    lilv_world_load_all(world);

    audioPort = lilv_new_uri(world, LV2_CORE__AudioPort);
    controlPort = lilv_new_uri(world, LV2_CORE__ControlPort);
    cvPort = lilv_new_uri(world, LV2_CORE__CVPort);
    atomPort = lilv_new_uri(world, LV2_ATOM__AtomPort);
    inputPort = lilv_new_uri(world, LV2_CORE__InputPort);
    outputPort = lilv_new_uri(world, LV2_CORE__OutputPort);
    sideChain = lilv_new_uri(world, LV2_CORE_PREFIX "isSideChain");
    connectionOptional = lilv_new_uri(world, LV2_CORE__connectionOptional);
    toggled = lilv_new_uri(world, LV2_CORE__toggled);
    integer = lilv_new_uri(world, LV2_CORE__integer);
    logarithmic = lilv_new_uri(world, "http://lv2plug.in/ns/ext/port-props#logarithmic");
    enumeration = lilv_new_uri(world, LV2_CORE__enumeration);
    unitsUnit = lilv_new_uri(world, LV2_UNITS__unit);
    unitsSymbol = lilv_new_uri(world, LV2_UNITS__symbol);
    midiEvent = lilv_new_uri(world, LV2_MIDI__MidiEvent);
    atomSupports = lilv_new_uri(world, LV2_ATOM__supports);
    minorVersion = lilv_new_uri(world, LV2_CORE__minorVersion);
    microVersion = lilv_new_uri(world, LV2_CORE__microVersion);
    stateState = lilv_new_uri(world, LV2_STATE__state);

    mapFeature = {this, &LV2World::mapURI};
    unmapFeature = {this, &LV2World::unmapURID};
    logFeature = {this, &LV2World::logPrintf, &LV2World::logVPrintf};
    options = {
        {LV2_OPTIONS_INSTANCE, 0, urid(LV2_BUF_SIZE__minBlockLength), sizeof(int32_t), urid(LV2_ATOM__Int), &minBlockLength},
        {LV2_OPTIONS_INSTANCE, 0, urid(LV2_BUF_SIZE__maxBlockLength), sizeof(int32_t), urid(LV2_ATOM__Int), &maxBlockLength},
        {LV2_OPTIONS_INSTANCE, 0, urid(LV2_PARAMETERS__sampleRate), sizeof(float), urid(LV2_ATOM__Float), &sampleRate},
        {LV2_OPTIONS_INSTANCE, 0, 0, 0, 0, nullptr},
    };
    mapF = {LV2_URID__map, &mapFeature};
    unmapF = {LV2_URID__unmap, &unmapFeature};
    logF = {LV2_LOG__log, &logFeature};
    optionsF = {LV2_OPTIONS__options, options.data()};
    boundedF = {LV2_BUF_SIZE__boundedBlockLength, nullptr};
    inPlaceBrokenF = {LV2_CORE__inPlaceBroken, nullptr};
    loadDefaultStateF = {LV2_STATE__loadDefaultState, nullptr};
    featureList = {&mapF, &unmapF, &logF, &optionsF, &boundedF, &inPlaceBrokenF, &loadDefaultStateF, nullptr};
}

LV2World::~LV2World()
{
    for (LilvNode* node : {audioPort, controlPort, cvPort, atomPort, inputPort, outputPort, sideChain,
                           connectionOptional, toggled, integer, logarithmic, enumeration, unitsUnit, unitsSymbol, midiEvent, atomSupports, minorVersion,
                           microVersion, stateState})
        lilv_node_free(node);
    lilv_world_free(world);
}

LV2_URID LV2World::mapURI(LV2_URID_Map_Handle handle, const char* uri)
{
    auto* self = static_cast<LV2World*>(handle);
    std::lock_guard lock(self->uridMutex);
    auto it = self->uris.find(uri);
    if (it != self->uris.end())
        return it->second;
    self->names.emplace_back(uri);
    const auto id = LV2_URID(self->names.size());
    self->uris.emplace(uri, id);
    return id;
}

const char* LV2World::unmapURID(LV2_URID_Unmap_Handle handle, LV2_URID urid)
{
    auto* self = static_cast<LV2World*>(handle);
    std::lock_guard lock(self->uridMutex);
    return urid >= 1 && urid <= self->names.size() ? self->names[urid - 1].c_str() : nullptr;
}

// Plugins may log from their run call: messages are dropped, never printed there.
int LV2World::logPrintf(LV2_Log_Handle, LV2_URID, const char*, ...) { return 0; }
int LV2World::logVPrintf(LV2_Log_Handle, LV2_URID, const char*, va_list) { return 0; }
