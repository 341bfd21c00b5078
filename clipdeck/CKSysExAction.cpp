#include "clipdeck/CKSysExAction.h"

// libb64's C header declares its functions without C linkage.
extern "C" {
#include <b64/cdecode.h>
}

#include <algorithm>
#include <cstring>

namespace {

constexpr uint8_t kHeader[] = {0xF0, 0x00, 0x6F, 0x6F};
constexpr size_t kUUIDOffset = 5;
constexpr size_t kUUIDCharacters = 24;

bool isBase64Character(uint8_t c)
{
    return (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || (c >= '0' && c <= '9') || c == '+' || c == '/';
}

} // namespace

bool CKSysExAction::isSysExPacket(const uint8_t* bytes, size_t length)
{
    return length >= 5 && std::memcmp(bytes, kHeader, sizeof kHeader) == 0 && bytes[length - 1] == 0xF7;
}

CKSysExAction::CKSysExAction(const uint8_t* bytes, size_t length, ZEPMIDIClient* client) : ZEPMIDIAction(client)
{
    if (!isSysExPacket(bytes, length))
        return;
    targetType_ = bytes[4];
    switch (targetType_) {
    case kSoundCommand:
        validAction_ = decodeSoundCommand(bytes, length);
        break;
    case kPauseCommand:
    case kDuckCommand:
        if (length == 7) {
            toggleValue_ = int8_t(bytes[5]);
            validAction_ = true;
        }
        break;
    case kStopAllCommand:
        if (length == 6) {
            toggleValue_ = 1;
            validAction_ = true;
        }
        break;
    case kMasterVolumeCommand:
        validAction_ = length == 8 && decodeVolume(bytes[5], bytes[6]);
        break;
    default:
        break;
    }
}

bool CKSysExAction::decodeSoundCommand(const uint8_t* bytes, size_t length)
{
    if (length < 31 || !parseDataForUUID(bytes + kUUIDOffset, uuid_))
        return false;
    triggerAction_ = bytes[29];
    switch (triggerAction_) {
    case kTriggerSetVolume:
        return length == 33 && decodeVolume(bytes[30], bytes[31]);
    case kTriggerStop:
    case kTriggerNothing:
    case kTriggerPress:
        if (length != 32)
            return false;
        toggleValue_ = int8_t(triggerAction_);
        playbackMode_ = bytes[30];
        return true;
    default:
        return false;
    }
}

// Bytes with the top bit set are no MIDI data: taken as they come they would give volumes up
// to twice full scale.
bool CKSysExAction::decodeVolume(uint8_t msb, uint8_t lsb)
{
    if ((msb | lsb) & 0x80)
        return false;
    volume_ = floatFromMSB(msb, lsb);
    return true;
}

float CKSysExAction::floatFromMSB(uint8_t msb, uint8_t lsb)
{
    return float((double(msb) * 128.0 + double(lsb)) / 16383.0);
}

bool CKSysExAction::parseDataForUUID(const uint8_t* text, UUIDBytes& uuid)
{
    // 16 bytes are 22 characters and two of padding. The decoder skips characters outside the
    // alphabet rather than failing, so they are refused here first.
    for (size_t i = 0; i < kUUIDCharacters - 2; ++i) {
        if (!isBase64Character(text[i]))
            return false;
    }
    if (text[22] != '=' || text[23] != '=')
        return false;
    // 24 characters decode to at most 18 bytes.
    char decoded[18] = {};
    base64_decodestate state;
    base64_init_decodestate(&state);
    const int count = base64_decode_block(reinterpret_cast<const char*>(text), int(kUUIDCharacters), decoded, &state);
    if (count != int(uuid.size()))
        return false;
    std::memcpy(uuid.data(), decoded, uuid.size());
    return true;
}

bool CKSysExAction::matchesTargetType(int32_t type, const UUIDBytes* uuid) const
{
    if (!validAction_)
        return false;
    if (uuid && type == kSoundCommand && targetType_ == kSoundCommand)
        return *uuid == uuid_;
    return type == targetType_;
}

QString CKSysExAction::description() const
{
    return QString::asprintf("< MIDI System Exclusive (command: %i, valid: %i, trigger: %i, mode: %i, toggle: %i, "
                             "volume: %f) >",
                             int(targetType_), int(validAction_), int(triggerAction_), int(playbackMode_),
                             int(toggleValue_), double(volume_));
}
