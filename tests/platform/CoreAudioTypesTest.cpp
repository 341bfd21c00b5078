#include "platform/CoreAudioTypes.h"

#include <gtest/gtest.h>

TEST(FourCharacterCodes, AreTheBigEndianValueOfTheirCharacters)
{
    struct Case { UInt32 code; UInt32 value; };
    const Case cases[] = {
        {FourCC("!Mtx"), 0x214D7478}, {FourCC("!LOC"), 0x214C4F43}, {FourCC("!Prm"), 0x2150726D},
        {FourCC("!lod"), 0x216C6F64}, {FourCC("!Key"), 0x214B6579}, {FourCC("!Num"), 0x214E756D},
        {FourCC("lpcm"), 0x6C70636D},
    };
    for (const Case& c : cases)
        EXPECT_EQ(c.code, c.value) << std::hex << c.value;
}
