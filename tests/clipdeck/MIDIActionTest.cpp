#include "clipdeck/ZEPMIDIAction.h"
#include "clipdeck/ZEPMIDIPacketDecoder.h"

#include <gtest/gtest.h>

#include <vector>

namespace {

ZEPMIDIAction decode(const std::vector<uint8_t>& bytes)
{
    return ZEPMIDIAction(bytes.data(), bytes.size(), nullptr);
}

} // namespace

TEST(MIDIAction, DecodesTheFirstMessageOfAPacket)
{
    const struct {
        std::vector<uint8_t> bytes;
        int32_t channel, type;
        uint16_t button;
        double velocity;
    } cases[] = {
        {{0x90, 60, 100}, 0, 144, 60, 100 * 0.0078125},
        {{0x93, 61, 127}, 3, 144, 61, 127 * 0.0078125},
        {{0x80, 60, 64}, 0, 128, 60, 0.5},
        {{0x9F, 60, 0}, 15, 128, 60, 0.0},  // note on with velocity 0 is a release
        {{0x90, 60}, 0, 128, 60, 0.0},      // and so is one without a velocity byte
        {{0xA2, 40, 10}, 2, 160, 40, 10 * 0.0078125},
        {{0xB0, 7, 127}, 0, 1968, 7, 127 * 0.0078125},
        {{0xB1, 8, 64}, 1, 2224, 8, 0.5},
        {{0xB0, 9, 1}, 0, 176, 9, 0.0078125},
        {{0xC5, 12}, 5, -1, 12, 0.0},        // program change
        {{0xE0, 0, 64}, 0, -1, 0, 0.5},      // pitch bend
        {{0x90}, 0, 128, 0, 0.0},            // no data byte: button 0, and a release
        {{0x90, 60, 100, 0x80, 60, 0}, 0, 144, 60, 100 * 0.0078125}, // only the first message
    };
    for (const auto& c : cases) {
        const ZEPMIDIAction event = decode(c.bytes);
        SCOPED_TRACE(qPrintable(event.description()));
        EXPECT_EQ(event.channel(), c.channel);
        EXPECT_EQ(event.eventType(), c.type);
        EXPECT_EQ(event.buttonID(), c.button);
        EXPECT_DOUBLE_EQ(event.velocity(), c.velocity);
    }
    EXPECT_EQ(ZEPMIDIActionFromPacket(nullptr, 0, nullptr), nullptr);
}

TEST(MIDIAction, FiltersOnChannelTypeAndButtonWithWildcards)
{
    const auto noteOn = decode({0x92, 60, 100}); // channel 2, note down, button 60
    const auto otherClient = reinterpret_cast<const ZEPMIDIClient*>(0x1);
    const struct {
        int32_t channel, type;
        uint16_t button;
        const ZEPMIDIClient* client;
        bool matches;
    } cases[] = {
        {2, 144, 60, nullptr, true},
        {255, 144, 60, nullptr, true},
        {255, 255, 0xFF00, nullptr, true},
        {2, 255, 60, nullptr, true},
        {3, 144, 60, nullptr, false},
        {2, 128, 60, nullptr, false},
        {2, 144, 61, nullptr, false},
        {2, 144, 0xFFFF, nullptr, false}, // 0xFFFF is no wildcard
        {255, 255, 0xFF00, otherClient, false},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(noteOn.matchesChannel(c.channel, c.type, c.button, c.client), c.matches)
            << c.channel << " " << c.type << " " << c.button;
    }
}

TEST(MIDIAction, NamesItsEventTypes)
{
    const struct {
        int32_t type;
        const char* name;
    } cases[] = {
        {128, "Note up event"},        {144, "Note down event"},      {160, "Note aftertouch event"},
        {176, "Control change event"}, {1968, "Volume change event"}, {2224, "Balance change event"},
        {255, "All events"},           {-1, "No event"},              {42, "Unknown event"},
    };
    for (const auto& c : cases)
        EXPECT_EQ(ZEPMIDIAction::nameForEventType(c.type), c.name);
    EXPECT_EQ(decode({0x90, 60, 64}).description(), "< MIDI Event (ch: 0, bt: 60, v: 0.500000) Note down event >");
}
