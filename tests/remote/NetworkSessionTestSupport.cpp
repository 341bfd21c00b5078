#include "NetworkSessionTestSupport.h"

#include "clipdeck/CKSysExAction.h"
#include "clipdeck/ZEPMIDIPacketDecoder.h"

namespace netmiditest {

QString RecordingListener::describe(const ZEPMIDIAction& event)
{
    QString text = event.description();
    if (const auto* command = dynamic_cast<const CKSysExAction*>(&event)) {
        const auto& uuid = command->uuid();
        text += " uuid " + QByteArray(reinterpret_cast<const char*>(uuid.data()), int(uuid.size())).toHex();
    }
    return text;
}

QString RecordingListener::describe(const Bytes& packet)
{
    return describe(*ZEPMIDIActionFromPacket(packet.data(), packet.size(), nullptr));
}

} // namespace netmiditest
