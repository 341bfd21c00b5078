#pragma once
// The lilv world of a catalogue and the host features we give its plugins. Shared by the
// catalogue and every instance made from it, so a reload never pulls a world from under a
// running plugin.

#include <lilv/lilv.h>
#include <lv2/atom/atom.h>
#include <lv2/buf-size/buf-size.h>
#include <lv2/core/lv2.h>
#include <lv2/log/log.h>
#include <lv2/options/options.h>
#include <lv2/urid/urid.h>

#include <deque>
#include <mutex>
#include <string>
#include <unordered_map>
#include <vector>

struct LV2World {
    LV2World();
    ~LV2World();
    LV2World(const LV2World&) = delete;
    LV2World& operator=(const LV2World&) = delete;

    // The features array passed to instantiate and to state calls (null-terminated).
    const LV2_Feature* const* features() const { return featureList.data(); }
    LV2_URID_Map* map() { return &mapFeature; }
    LV2_URID_Unmap* unmap() { return &unmapFeature; }
    LV2_URID urid(const char* uri) { return mapFeature.map(mapFeature.handle, uri); }

    // Largest block a plugin is run with; the options say so.
    static constexpr int32_t kMaxBlockLength = 4096;
    static constexpr float kSampleRate = 44100.0f;

    LilvWorld* world = nullptr;

    // Nodes the catalogue asks about, made once.
    LilvNode* audioPort = nullptr;
    LilvNode* controlPort = nullptr;
    LilvNode* cvPort = nullptr;
    LilvNode* atomPort = nullptr;
    LilvNode* inputPort = nullptr;
    LilvNode* outputPort = nullptr;
    LilvNode* sideChain = nullptr;
    LilvNode* connectionOptional = nullptr;
    LilvNode* toggled = nullptr;
    LilvNode* integer = nullptr;
    LilvNode* logarithmic = nullptr;
    LilvNode* enumeration = nullptr;
    LilvNode* unitsUnit = nullptr;
    LilvNode* unitsSymbol = nullptr;
    LilvNode* midiEvent = nullptr;
    LilvNode* atomSupports = nullptr;
    LilvNode* minorVersion = nullptr;
    LilvNode* microVersion = nullptr;
    LilvNode* stateState = nullptr;

private:
    static LV2_URID mapURI(LV2_URID_Map_Handle handle, const char* uri);
    static const char* unmapURID(LV2_URID_Unmap_Handle handle, LV2_URID urid);
    static int logPrintf(LV2_Log_Handle, LV2_URID, const char*, ...);
    static int logVPrintf(LV2_Log_Handle, LV2_URID, const char*, va_list);

    std::mutex uridMutex;
    std::unordered_map<std::string, LV2_URID> uris;
    // urid - 1 -> uri. A deque never moves its strings, so the texts unmap() handed out
    // stay valid while later URIs are mapped.
    std::deque<std::string> names;

    LV2_URID_Map mapFeature{};
    LV2_URID_Unmap unmapFeature{};
    LV2_Log_Log logFeature{};
    int32_t minBlockLength = 1;
    int32_t maxBlockLength = kMaxBlockLength;
    float sampleRate = kSampleRate;
    std::vector<LV2_Options_Option> options;
    LV2_Feature mapF{}, unmapF{}, logF{}, optionsF{}, boundedF{}, inPlaceBrokenF{}, loadDefaultStateF{};
    std::vector<const LV2_Feature*> featureList;
};
