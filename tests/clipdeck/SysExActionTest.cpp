#include "clipdeck/CKSysExAction.h"
#include "clipdeck/CKSysExListener.h"
#include "clipdeck/ZEPMIDIPacketDecoder.h"
#include "TriggerTestSupport.h"

#include "support/TestEnvironment.h"

#include <gtest/gtest.h>

using namespace clipdeck::test;

TEST(SysExAction, DecodesTheCommandTable)
{
    const QString uuid = "6F1C2B3A-0D4E-4F50-8A9B-ACBDCEDF0102";
    const struct {
        const char* what;
        std::vector<uint8_t> packet;
        bool valid;
        int32_t command, trigger, mode;
        int8_t toggle;
        float volume;
    } cases[] = {
        {"stop all", sysEx({0x03}), true, 3, -1, -1, 1, 0.0f},
        {"stop all, one byte too many", sysEx({0x03, 0x00}), false, 3, -1, -1, -1, 0.0f},
        {"pause", sysEx({0x01, 0x01}), true, 1, -1, -1, 1, 0.0f},
        {"resume", sysEx({0x01, 0x00}), true, 1, -1, -1, 0, 0.0f},
        {"duck", sysEx({0x02, 0x01}), true, 2, -1, -1, 1, 0.0f},
        {"unduck", sysEx({0x02, 0x00}), true, 2, -1, -1, 0, 0.0f},
        {"pause without its byte", sysEx({0x01}), false, 1, -1, -1, -1, 0.0f},
        {"full master volume", sysEx({0x0A, 0x7F, 0x7F}), true, 10, -1, -1, -1, 1.0f},
        {"half master volume", sysEx({0x0A, 0x40, 0x00}), true, 10, -1, -1, -1, float(8192.0 / 16383.0)},
        {"master volume, not 7-bit", sysEx({0x0A, 0xFF, 0xFF}), false, 10, -1, -1, -1, 0.0f},
        {"command 5", sysEx({0x05, 0x00}), false, 5, -1, -1, -1, 0.0f},
        {"command 11", sysEx({0x0B}), false, 11, -1, -1, -1, 0.0f},
        {"press a sound", soundCommand(uuid, {0x02, 0x01}), true, 0, 2, 1, 2, 0.0f},
        {"stop a sound", soundCommand(uuid, {0x00, 0x00}), true, 0, 0, 0, 0, 0.0f},
        {"sound volume", soundCommand(uuid, {0x0A, 0x20, 0x00}), true, 0, 10, -1, -1, float(4096.0 / 16383.0)},
        {"sound volume, 32 bytes", soundCommand(uuid, {0x0A, 0x20}), false, 0, 10, -1, -1, 0.0f},
        {"press, 33 bytes", soundCommand(uuid, {0x02, 0x01, 0x00}), false, 0, 2, -1, -1, 0.0f},
        {"trigger action 3", soundCommand(uuid, {0x03, 0x00}), false, 0, 3, -1, -1, 0.0f},
        {"sound command, 30 bytes", sysEx({0x00, 'A', 'A'}), false, 0, -1, -1, -1, 0.0f},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        ASSERT_TRUE(CKSysExAction::isSysExPacket(c.packet.data(), c.packet.size()));
        const CKSysExAction command(c.packet.data(), c.packet.size(), nullptr);
        EXPECT_EQ(command.validAction(), c.valid);
        EXPECT_EQ(command.targetType(), c.command);
        EXPECT_EQ(command.triggerAction(), c.trigger);
        EXPECT_EQ(command.playbackMode(), c.mode);
        EXPECT_EQ(command.toggleValue(), c.toggle);
        EXPECT_FLOAT_EQ(command.volume(), c.volume);
        // However it parses, a command is never an ordinary event.
        EXPECT_FALSE(command.matchesChannel(255, 255, 0xFF00, nullptr));
    }
}

TEST(SysExAction, DecodesTheSoundUUIDAndRefusesBadBase64)
{
    const QString uuid = "6F1C2B3A-0D4E-4F50-8A9B-ACBDCEDF0102";
    const auto packet = soundCommand(uuid, {0x02, 0x00});
    const CKSysExAction command(packet.data(), packet.size(), nullptr);
    ASSERT_TRUE(command.validAction());
    EXPECT_EQ(command.uuid(), uuidBytes(uuid));

    // Characters outside the alphabet, padding in the wrong place, or none at all.
    for (const char* text : {"bxwrOg1OT1CKm6y9zt8BAg!=", "bxwrOg1OT1CKm6y9zt8BA===", "bxwrOg1OT1CKm6y9zt8BAgAA",
                             "bxwrOg1OT1CK\xE9y9zt8BAg==", "========================"}) {
        std::vector<uint8_t> data{0x00};
        data.insert(data.end(), text, text + 24);
        data.insert(data.end(), {0x02, 0x00});
        const auto bad = sysEx(data);
        const CKSysExAction refused(bad.data(), bad.size(), nullptr);
        EXPECT_FALSE(refused.validAction()) << text;
        EXPECT_EQ(refused.uuid(), CKSysExAction::UUIDBytes{}) << text;
    }
}

TEST(SysExAction, OnlyHeaderAndTrailerMakeACommandPacket)
{
    const struct {
        std::vector<uint8_t> bytes;
        bool command;
    } cases[] = {
        {{0xF0, 0x00, 0x6F, 0x6F, 0x03, 0xF7}, true},
        {{0xF0, 0x00, 0x6F, 0x6F, 0xF7}, true}, // five bytes: the F7 is its command byte too
        {{0xF0, 0x00, 0x6F, 0x6F, 0x03, 0x00}, false},
        {{0xF0, 0x00, 0x6F, 0x6E, 0x03, 0xF7}, false}, // another manufacturer
        {{0xF0, 0x00, 0x6F, 0xF7}, false},
        {{0xF7}, false},
    };
    for (const auto& c : cases)
        EXPECT_EQ(CKSysExAction::isSysExPacket(c.bytes.data(), c.bytes.size()), c.command) << c.bytes.size();

    // Without F7 last it is an ordinary event of status F0.
    const std::vector<uint8_t> unterminated{0xF0, 0x00, 0x6F, 0x6F, 0x03, 0x00};
    const auto event = ZEPMIDIActionFromPacket(unterminated.data(), unterminated.size(), nullptr);
    ASSERT_TRUE(event);
    EXPECT_FALSE(dynamic_cast<const CKSysExAction*>(event.get()));
    EXPECT_EQ(event->eventType(), -1);
    EXPECT_EQ(event->channel(), 0);
}

TEST(SysExListener, MatchesByCommandOrBySoundUUID)
{
    const QString mine = "6F1C2B3A-0D4E-4F50-8A9B-ACBDCEDF0102";
    const QString other = "00000000-0000-0000-0000-000000000001";
    const QString zero = "00000000-0000-0000-0000-000000000000";
    QObject target;
    int heard = 0;
    auto count = [&](const CKSysExAction&) { ++heard; };
    const auto press = [&](const QString& uuid) {
        return std::make_shared<const CKSysExAction>(soundCommand(uuid, {0x02, 0x00}).data(), 32, nullptr);
    };
    const auto stop = std::make_shared<const CKSysExAction>(sysEx({0x03}).data(), 6, nullptr);
    const auto noteOn = std::make_shared<const ZEPMIDIAction>(std::vector<uint8_t>{0x90, 1, 1}.data(), 3, nullptr);

    auto sound = std::make_shared<CKSysExListener>(&target, count, mine, nullptr);
    auto soundByType = std::make_shared<CKSysExListener>(&target, count, CKSysExAction::kSoundCommand, nullptr);
    auto stopAll = std::make_shared<CKSysExListener>(&target, count, CKSysExAction::kStopAllCommand, nullptr);
    auto notAUUID = std::make_shared<CKSysExListener>(&target, count, "not a uuid", nullptr);

    const struct {
        std::shared_ptr<CKSysExListener> listener;
        std::shared_ptr<const ZEPMIDIAction> event;
        bool fires;
    } cases[] = {
        {sound, press(mine), true},         {sound, press(other), false},      {sound, stop, false},
        {sound, noteOn, false},             {soundByType, press(mine), false}, {soundByType, press(zero), true},
        {stopAll, stop, true},              {stopAll, press(mine), false},     {notAUUID, press(zero), false},
    };
    for (size_t i = 0; i < std::size(cases); ++i)
        EXPECT_EQ(cases[i].listener->fireIfMatchesAction(cases[i].event), cases[i].fires) << i;
    // The actions run on the main thread, later.
    EXPECT_EQ(heard, 0);
    EXPECT_TRUE(waitUntil([&] { return heard == 3; }));
}
