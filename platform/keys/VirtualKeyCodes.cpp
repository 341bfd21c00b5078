#include "platform/keys/VirtualKeyCodes.h"

#include <algorithm>
#include <iterator>

namespace keys {
namespace {

struct KeyEntry {
    uint32_t scanCode;   // evdev code + 8
    uint16_t keyCode;    // the program's virtual key code
    char16_t usCharacter; // 0: none
};

// Ordered by scan code.
constexpr KeyEntry kKeys[] = {
    {9, 53, 0},      // Escape
    {10, 18, u'1'},  {11, 19, u'2'}, {12, 20, u'3'}, {13, 21, u'4'}, {14, 23, u'5'},
    {15, 22, u'6'},  {16, 26, u'7'}, {17, 28, u'8'}, {18, 25, u'9'}, {19, 29, u'0'},
    {20, 27, u'-'},  {21, 24, u'='},
    {22, 51, 0},     // Backspace
    {23, 48, 0},     // Tab
    {24, 12, u'q'},  {25, 13, u'w'}, {26, 14, u'e'}, {27, 15, u'r'}, {28, 17, u't'},
    {29, 16, u'y'},  {30, 32, u'u'}, {31, 34, u'i'}, {32, 31, u'o'}, {33, 35, u'p'},
    {34, 33, u'['},  {35, 30, u']'},
    {36, 36, 0},     // Return
    {37, 59, 0},     // left Control
    {38, 0, u'a'},   {39, 1, u's'},  {40, 2, u'd'},  {41, 3, u'f'},  {42, 5, u'g'},
    {43, 4, u'h'},   {44, 38, u'j'}, {45, 40, u'k'}, {46, 37, u'l'}, {47, 41, u';'},
    {48, 39, u'\''}, {49, 50, u'`'},
    {50, 56, 0},     // left Shift
    {51, 42, u'\\'},
    {52, 6, u'z'},   {53, 7, u'x'},  {54, 8, u'c'},  {55, 9, u'v'},  {56, 11, u'b'},
    {57, 45, u'n'},  {58, 46, u'm'}, {59, 43, u','}, {60, 47, u'.'}, {61, 44, u'/'},
    {62, 60, 0},     // right Shift
    {63, 67, u'*'},  // keypad *
    {64, 58, 0},     // left Alt (option)
    {65, 49, u' '},
    {66, 57, 0},     // Caps Lock
    {67, 122, 0},    {68, 120, 0},   {69, 99, 0},    {70, 118, 0},   {71, 96, 0}, // F1-F5
    {72, 97, 0},     {73, 98, 0},    {74, 100, 0},   {75, 101, 0},   {76, 109, 0}, // F6-F10
    {77, 71, 0},     // Num Lock (keypad clear)
    {79, 89, u'7'},  {80, 91, u'8'}, {81, 92, u'9'}, {82, 78, u'-'}, // keypad
    {83, 86, u'4'},  {84, 87, u'5'}, {85, 88, u'6'}, {86, 69, u'+'},
    {87, 83, u'1'},  {88, 84, u'2'}, {89, 85, u'3'}, {90, 82, u'0'}, {91, 65, u'.'},
    {94, 10, 0},     // the key left of Z on ISO keyboards
    {95, 103, 0},    {96, 111, 0},   // F11, F12
    {104, 76, 0},    // keypad Enter
    {105, 62, 0},    // right Control
    {106, 75, u'/'}, // keypad /
    {108, 61, 0},    // right Alt
    {110, 115, 0},   {111, 126, 0},  {112, 116, 0},  // Home, Up, Page Up
    {113, 123, 0},   {114, 124, 0},                  // Left, Right
    {115, 119, 0},   {116, 125, 0},  {117, 121, 0},  // End, Down, Page Down
    {118, 114, 0},   {119, 117, 0},                  // Insert (help), Delete (forward delete)
    {121, 74, 0},    {122, 73, 0},   {123, 72, 0},   // Mute, Volume Down, Volume Up
    {125, 81, u'='}, // keypad =
    {133, 55, 0},    {134, 54, 0},                   // left and right Super (command)
    {191, 105, 0},   {192, 107, 0},  {193, 113, 0},  {194, 106, 0}, // F13-F16
    {195, 64, 0},    {196, 79, 0},   {197, 80, 0},   {198, 90, 0},  // F17-F20
};

constexpr bool sortedByScanCode()
{
    for (size_t i = 1; i < std::size(kKeys); ++i) {
        if (kKeys[i - 1].scanCode >= kKeys[i].scanCode)
            return false;
    }
    return true;
}
static_assert(sortedByScanCode(), "the key table is looked up by scan code in order");

const KeyEntry* entryForKeyCode(uint16_t keyCode)
{
    for (const auto& entry : kKeys) {
        if (entry.keyCode == keyCode)
            return &entry;
    }
    return nullptr;
}

} // namespace

uint16_t virtualKeyCodeForScanCode(uint32_t nativeScanCode)
{
    const auto* end = std::end(kKeys);
    const auto* it = std::lower_bound(std::begin(kKeys), end, nativeScanCode,
                                      [](const KeyEntry& entry, uint32_t code) { return entry.scanCode < code; });
    return it != end && it->scanCode == nativeScanCode ? it->keyCode : kNoVirtualKeyCode;
}

uint32_t scanCodeForVirtualKeyCode(uint16_t keyCode)
{
    const KeyEntry* entry = entryForKeyCode(keyCode);
    return entry ? entry->scanCode : 0;
}

QChar usCharacterForVirtualKeyCode(uint16_t keyCode)
{
    const KeyEntry* entry = entryForKeyCode(keyCode);
    return entry && entry->usCharacter ? QChar(entry->usCharacter) : QChar();
}

} // namespace keys
