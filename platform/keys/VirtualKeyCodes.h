#pragma once
// The program's virtual key codes: the key-position numbers that stored boards and the grid's
// key table use (0 is the key left of S on a US keyboard, 18 the key "1", ...), mapped from
// the keyboard's scan codes as X11 and Wayland report them (QKeyEvent::nativeScanCode(): the
// evdev code plus 8). The codes name key positions, not characters: the character a
// position shows comes from the keyboard layout (KeyCodeTranslation.h).
//
// Threads: any; the table is constant.

#include <QChar>

#include <cstdint>

namespace keys {

// No virtual key code: a scan code the table does not know.
constexpr uint16_t kNoVirtualKeyCode = 0xFFFF;

// The virtual key code of a native scan code; kNoVirtualKeyCode for one not in the table.
uint16_t virtualKeyCodeForScanCode(uint32_t nativeScanCode);

// The native scan code of a virtual key code; 0 for one not in the table.
uint32_t scanCodeForVirtualKeyCode(uint16_t keyCode);

// The character a US layout shows on the key without modifiers; a null QChar for keys that
// show none (function keys, arrows, modifiers...). The last resort of the key captions.
QChar usCharacterForVirtualKeyCode(uint16_t keyCode);

} // namespace keys
