#include "clipdeck/ZEPMIDIAction.h"

ZEPMIDIAction::ZEPMIDIAction(const uint8_t* bytes, size_t length, ZEPMIDIClient* client) : client_(client)
{
    if (length == 0)
        return;
    const uint8_t status = bytes[0];
    const uint8_t button = length >= 2 ? bytes[1] : 0;
    channel_ = status & 0x0F;
    buttonID_ = button;
    switch (status >> 4) {
    case 0x8:
        eventType_ = kNoteUpEvent;
        break;
    case 0x9:
        eventType_ = kNoteDownEvent;
        break;
    case 0xA:
        eventType_ = kNoteAftertouchEvent;
        break;
    case 0xB:
        eventType_ = kControlChangeEvent;
        if (length >= 2 && button == 7)
            eventType_ = kVolumeChangeEvent;
        else if (length >= 2 && button == 8)
            eventType_ = kBalanceChangeEvent;
        break;
    default:
        break;
    }
    if (length >= 3)
        velocity_ = bytes[2] * 0.0078125;
    if (velocity_ == 0.0 && eventType_ == kNoteDownEvent)
        eventType_ = kNoteUpEvent;
}

bool ZEPMIDIAction::matchesChannel(int32_t channel, int32_t eventType, uint16_t buttonID,
                                   const ZEPMIDIClient* client) const
{
    if (channel != kAnyChannel && channel != channel_)
        return false;
    if (eventType != kAllEvents && eventType != eventType_)
        return false;
    if (buttonID != kAnyButton && buttonID != buttonID_)
        return false;
    return client == nullptr || client == client_;
}

QString ZEPMIDIAction::nameForEventType(int32_t eventType)
{
    switch (eventType) {
    case kNoteUpEvent:
        return "Note up event";
    case kNoteDownEvent:
        return "Note down event";
    case kNoteAftertouchEvent:
        return "Note aftertouch event";
    case kControlChangeEvent:
        return "Control change event";
    case kVolumeChangeEvent:
        return "Volume change event";
    case kBalanceChangeEvent:
        return "Balance change event";
    case kAllEvents:
        return "All events";
    case kNoEvent:
        return "No event";
    default:
        return "Unknown event";
    }
}

QString ZEPMIDIAction::description() const
{
    return QString::asprintf("< MIDI Event (ch: %i, bt: %i, v: %f) %s >", int(channel_), int(buttonID_), velocity_,
                             qPrintable(eventTypeName()));
}
