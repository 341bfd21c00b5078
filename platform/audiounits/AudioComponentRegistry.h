#pragma once
// The list of kinds of unit that can be made, in place of the component manager: each kind
// is a description (type, subtype, manufacturer), a name ("Maker: Unit") and a factory. The
// platform's own units (generic output, matrix mixer, varispeed, format converter) are
// always there; other layers register theirs (plugins, device outputs).
//
// Threads: any thread; calls are serialised by a lock. Never called from a render thread.

#include "platform/audiounits/AudioUnitTypes.h"

#include <QList>
#include <QString>

#include <functional>
#include <memory>

class AudioUnit;

struct AudioComponentInfo {
    AudioComponentDescription description;
    QString name;
};

namespace AudioComponentRegistry {

using Factory = std::function<std::unique_ptr<AudioUnit>()>;

// Adds a kind of unit; a kind with the same type, subtype and manufacturer is replaced.
void registerComponent(const AudioComponentDescription& description, const QString& name, Factory factory);
// Removes a kind again (plugins that went away).
void unregisterComponent(const AudioComponentDescription& description);

// Every kind matching query (0 fields match anything), in the order registered.
QList<AudioComponentInfo> find(const AudioComponentDescription& query);

// Makes a unit of the first kind matching query; null with kAudioComponentErr_NotFound in
// *outStatus when there is none (or the factory's failure).
std::unique_ptr<AudioUnit> instantiate(const AudioComponentDescription& query, OSStatus* outStatus = nullptr);

} // namespace AudioComponentRegistry
