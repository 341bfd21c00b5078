#include "platform/audiounits/AudioComponentRegistry.h"

#include "platform/audiounits/FormatConverterUnit.h"
#include "platform/audiounits/GenericOutputUnit.h"
#include "platform/audiounits/MatrixMixerUnit.h"
#include "platform/audiounits/VarispeedUnit.h"

#include <mutex>
#include <vector>

namespace AudioComponentRegistry {
namespace {

struct Entry {
    AudioComponentInfo info;
    Factory factory;
};

bool sameKind(const AudioComponentDescription& a, const AudioComponentDescription& b)
{
    return a.componentType == b.componentType && a.componentSubType == b.componentSubType &&
           a.componentManufacturer == b.componentManufacturer;
}

struct Registry {
    std::mutex mutex;
    std::vector<Entry> entries;

    Registry()
    {
        add<GenericOutputUnit>(QStringLiteral("System: GenericOutput"));
        add<MatrixMixerUnit>(QStringLiteral("System: MatrixMixer"));
        add<VarispeedUnit>(QStringLiteral("System: Varispeed"));
        add<FormatConverterUnit>(QStringLiteral("System: AUConverter"));
    }

    template <typename Unit>
    void add(const QString& name)
    {
        const AudioComponentDescription description = Unit().componentDescription();
        entries.push_back(Entry{AudioComponentInfo{description, name}, [] { return std::make_unique<Unit>(); }});
    }
};

Registry& registry()
{
    static Registry instance;
    return instance;
}

} // namespace

void registerComponent(const AudioComponentDescription& description, const QString& name, Factory factory)
{
    Registry& r = registry();
    std::lock_guard lock(r.mutex);
    for (Entry& entry : r.entries) {
        if (sameKind(entry.info.description, description)) {
            entry = Entry{AudioComponentInfo{description, name}, std::move(factory)};
            return;
        }
    }
    r.entries.push_back(Entry{AudioComponentInfo{description, name}, std::move(factory)});
}

void unregisterComponent(const AudioComponentDescription& description)
{
    Registry& r = registry();
    std::lock_guard lock(r.mutex);
    std::erase_if(r.entries, [&](const Entry& entry) { return sameKind(entry.info.description, description); });
}

QList<AudioComponentInfo> find(const AudioComponentDescription& query)
{
    Registry& r = registry();
    std::lock_guard lock(r.mutex);
    QList<AudioComponentInfo> found;
    for (const Entry& entry : r.entries) {
        if (AudioComponentDescriptionMatches(query, entry.info.description))
            found.append(entry.info);
    }
    return found;
}

std::unique_ptr<AudioUnit> instantiate(const AudioComponentDescription& query, OSStatus* outStatus)
{
    Factory factory;
    {
        Registry& r = registry();
        std::lock_guard lock(r.mutex);
        for (const Entry& entry : r.entries) {
            if (AudioComponentDescriptionMatches(query, entry.info.description)) {
                factory = entry.factory;
                break;
            }
        }
    }
    std::unique_ptr<AudioUnit> unit = factory ? factory() : nullptr;
    if (outStatus)
        *outStatus = unit ? noErr : kAudioComponentErr_NotFound;
    return unit;
}

} // namespace AudioComponentRegistry
