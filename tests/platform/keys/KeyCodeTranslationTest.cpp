#include "platform/keys/KeyCodeTranslation.h"
#include "platform/keys/ModifierFlags.h"
#include "platform/keys/VirtualKeyCodes.h"

#include <gtest/gtest.h>

#include <cstdlib>

TEST(KeyCodeTranslation, CaptionsFollowTheKeyboardLayout)
{
    // The Y and Z key positions, and the key right of 0.
    const uint16_t y = 16, z = 6, minus = 27;
    keys::reloadLayout();
    EXPECT_EQ(keys::stringWithKeyCode(y), "y");
    EXPECT_EQ(keys::stringWithKeyCode(minus), "-");

    setenv("XKB_DEFAULT_LAYOUT", "de", 1);
    keys::reloadLayout();
    EXPECT_EQ(keys::stringWithKeyCode(y), "z");
    EXPECT_EQ(keys::stringWithKeyCode(z), "y");
    EXPECT_EQ(keys::stringWithKeyCode(minus), QString::fromUtf8("ß"));

    // A layout that does not exist falls back to US.
    setenv("XKB_DEFAULT_LAYOUT", "no-such-layout", 1);
    keys::reloadLayout();
    EXPECT_EQ(keys::stringWithKeyCode(y), "y");
    unsetenv("XKB_DEFAULT_LAYOUT");
    keys::reloadLayout();
}

TEST(KeyCodeTranslation, ModifiersMapOntoTheProgramsFlagsInOneTable)
{
    const struct {
        Qt::KeyboardModifiers qt;
        uint32_t flags;
    } cases[] = {
        {Qt::NoModifier, 0},
        {Qt::ShiftModifier, 0x20000},
        {Qt::MetaModifier, 0x40000},   // control
        {Qt::AltModifier, 0x80000},    // option
        {Qt::ControlModifier, 0x100000}, // command
        {Qt::ShiftModifier | Qt::ControlModifier | Qt::KeypadModifier, 0x120000},
    };
    for (const auto& c : cases)
        EXPECT_EQ(keys::modifierFlags(c.qt), c.flags) << int(c.qt);
}
