#pragma once
// One MIDI event as the program's listeners see it, decoded from the first message of one
// packet: its channel, its kind (an event code), the button (note or controller number) and
// the velocity.
//
// Event codes: the status byte with channel 0 for the four kinds decoded (note up 128, note
// down 144, note aftertouch 160, control change 176), the controller number times 256 plus
// 176 for volume (controller 7: 1968) and balance (controller 8: 2224), -1 for every other
// message. A note on with velocity 0 is a note up.
//
// Events are immutable once made and shared (std::shared_ptr<const ...>) between the MIDI
// thread that made them and the listeners that keep them; any thread may read them.

#include <QString>

#include <cstddef>
#include <cstdint>

class ZEPMIDIClient;

class ZEPMIDIAction {
public:
    enum EventType : int32_t {
        kNoEvent = -1,
        kNoteUpEvent = 128,
        kNoteDownEvent = 144,
        kNoteAftertouchEvent = 160,
        kControlChangeEvent = 176,
        kVolumeChangeEvent = 1968,
        kBalanceChangeEvent = 2224,
        kAllEvents = 255, // filters only: any kind
    };
    // Filter wildcards.
    static constexpr int32_t kAnyChannel = 255;
    static constexpr uint16_t kAnyButton = 0xFF00;

    // Decodes the first message of a packet of length bytes, received by client. A packet
    // without a data byte gives button 0, one without a velocity byte velocity 0.
    ZEPMIDIAction(const uint8_t* bytes, size_t length, ZEPMIDIClient* client);
    virtual ~ZEPMIDIAction() = default;

    // Whether a filter lets the event through: channel kAnyChannel, type kAllEvents and
    // button kAnyButton match anything, a null client any client.
    virtual bool matchesChannel(int32_t channel, int32_t eventType, uint16_t buttonID = kAnyButton,
                                const ZEPMIDIClient* client = nullptr) const;

    int32_t channel() const { return channel_; }
    int32_t eventType() const { return eventType_; }
    uint16_t buttonID() const { return buttonID_; }
    double velocity() const { return velocity_; }
    ZEPMIDIClient* client() const { return client_; }

    // "Note down event", "All events", "No event"... for the event's type.
    QString eventTypeName() const { return nameForEventType(eventType_); }
    static QString nameForEventType(int32_t eventType);
    // "< MIDI Event (ch: 0, bt: 60, v: 0.781250) Note down event >"
    virtual QString description() const;

protected:
    // An event with everything zero but the client (the system-exclusive event fills its own).
    explicit ZEPMIDIAction(ZEPMIDIClient* client) : client_(client) {}

private:
    int32_t channel_ = 0;
    int32_t eventType_ = kNoEvent;
    uint16_t buttonID_ = 0;
    double velocity_ = 0.0;
    ZEPMIDIClient* client_ = nullptr;
};
