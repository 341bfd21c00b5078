#pragma once
// A command of the program's own system-exclusive protocol, decoded from one packet: the
// remote (over the network MIDI session) and any MIDI source fire, stop and set the volume of
// sounds, and pause, duck, stop and set the master volume with it.
//
// Packet layout (n bytes in all): F0, the manufacturer identifier 00 6F 6F, the command byte,
// the command's data, F7.
//
// | command | n       | data                                                                  |
// |---------|---------|-----------------------------------------------------------------------|
// | 0 sound | 32 / 33 | bytes 5..28: the sound's uuid, 24 characters of standard base64 (16  |
// |         |         | bytes and "=="); byte 29 trigger action: 0 stop, 1 nothing, 2 press   |
// |         |         | (n = 32, byte 30 playback mode: 1 loops), 10 set volume (n = 33,     |
// |         |         | bytes 30-31 the volume)                                               |
// | 1 pause | 7       | byte 5: 1 pause, 0 resume                                             |
// | 2 duck  | 7       | byte 5: 1 duck, 0 unduck                                              |
// | 3 stop  | 6       | none: stop all sounds                                                 |
// | 10 vol. | 8       | bytes 5-6: the master volume                                          |
//
// A volume is two 7-bit data bytes, (high x 128 + low) / 16383, so 7F 7F is 1.0.
// A packet whose length, trigger action or data does not fit its command, whose uuid is not
// 22 base64 characters and "==", or whose volume bytes are not 7-bit data bytes, makes an
// invalid event that no listener hears. Commands 4 to 9 and above 10 are invalid.
//
// The event never matches an ordinary listener's filter (matchesChannel() is always false);
// only system-exclusive listeners hear it (CKSysExListener.h). Immutable once made.

#include "clipdeck/ZEPMIDIAction.h"

#include <array>

class CKSysExAction : public ZEPMIDIAction {
public:
    enum Command : int32_t {
        kSoundCommand = 0,
        kPauseCommand = 1,
        kDuckCommand = 2,
        kStopAllCommand = 3,
        kMasterVolumeCommand = 10,
    };
    enum TriggerAction : int32_t {
        kTriggerStop = 0,
        kTriggerNothing = 1,
        kTriggerPress = 2,
        kTriggerSetVolume = 10,
    };
    using UUIDBytes = std::array<uint8_t, 16>;

    // Whether a packet is a command message: F0 00 6F 6F first and F7 last (so at least five
    // bytes). Every other packet is an ordinary MIDI event.
    static bool isSysExPacket(const uint8_t* bytes, size_t length);

    // Decodes a packet that passed isSysExPacket().
    CKSysExAction(const uint8_t* bytes, size_t length, ZEPMIDIClient* client);

    // false unless the event is valid. With uuid given and both type and targetType() 0 (a
    // sound command), true only when the uuids are equal; otherwise true when type is the
    // command.
    bool matchesTargetType(int32_t type, const UUIDBytes* uuid) const;

    bool matchesChannel(int32_t, int32_t, uint16_t = kAnyButton, const ZEPMIDIClient* = nullptr) const override
    {
        return false;
    }

    bool validAction() const { return validAction_; }
    int32_t targetType() const { return targetType_; }
    int32_t triggerAction() const { return triggerAction_; }
    int32_t playbackMode() const { return playbackMode_; }
    int8_t toggleValue() const { return toggleValue_; }
    float volume() const { return volume_; }
    const UUIDBytes& uuid() const { return uuid_; }

    // The volume of two 7-bit bytes: (msb x 128 + lsb) / 16383.
    static float floatFromMSB(uint8_t msb, uint8_t lsb);
    // Decodes the 24 base64 characters at text into 16 uuid bytes; false (uuid untouched)
    // unless they are 22 characters of the standard alphabet followed by "==".
    static bool parseDataForUUID(const uint8_t* text, UUIDBytes& uuid);

    QString description() const override;

private:
    bool decodeSoundCommand(const uint8_t* bytes, size_t length);
    bool decodeVolume(uint8_t msb, uint8_t lsb);

    bool validAction_ = false;
    int32_t targetType_ = -1;
    int32_t triggerAction_ = -1;
    int32_t playbackMode_ = -1;
    int8_t toggleValue_ = -1;
    float volume_ = 0.0f;
    UUIDBytes uuid_{};
};
