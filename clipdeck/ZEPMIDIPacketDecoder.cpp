#include "clipdeck/ZEPMIDIPacketDecoder.h"

#include "clipdeck/CKSysExAction.h"

std::shared_ptr<const ZEPMIDIAction> ZEPMIDIActionFromPacket(const uint8_t* bytes, size_t length,
                                                             ZEPMIDIClient* client)
{
    if (!bytes || length == 0)
        return nullptr;
    if (CKSysExAction::isSysExPacket(bytes, length))
        return std::make_shared<const CKSysExAction>(bytes, length, client);
    return std::make_shared<const ZEPMIDIAction>(bytes, length, client);
}
