#pragma once
// Turns one received MIDI packet into the event the listeners hear: a system-exclusive
// command (CKSysExAction) when the packet is one, else an ordinary event (ZEPMIDIAction) of
// its first message. Any thread; the bytes are only read within [bytes, bytes + length).

#include <cstddef>
#include <cstdint>
#include <memory>

class ZEPMIDIAction;
class ZEPMIDIClient;

// Nothing for an empty packet.
std::shared_ptr<const ZEPMIDIAction> ZEPMIDIActionFromPacket(const uint8_t* bytes, size_t length,
                                                             ZEPMIDIClient* client);
