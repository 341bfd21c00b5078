#include "platform/midi/MIDIVirtualSource.h"

#include "platform/midi/MIDISystem.h"

MIDIVirtualSource::MIDIVirtualSource(const QString& name) : name_(name)
{
    uid_ = MIDISystem::shared().registerVirtualSource(this, name);
}

MIDIVirtualSource::~MIDIVirtualSource()
{
    MIDISystem::shared().unregisterVirtualSource(this);
}

int MIDIVirtualSource::send(const uint8_t* bytes, size_t length)
{
    return MIDISystem::shared().sendFromVirtualSource(this, bytes, length);
}
