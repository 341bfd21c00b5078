#pragma once
// The character a key shows in the current keyboard layout, for key captions: in place of the
// platform's key-layout translation. The layout is the X server's live keymap (through
// xkbcommon-x11) when the program runs on X11; elsewhere (Wayland, the offscreen platform of
// the tests) the layout that the XKB_DEFAULT_RULES/MODEL/LAYOUT/VARIANT/OPTIONS environment
// names, a US layout when it names none; a built-in US table when no keymap can be made.
//
// The layout is read on first use and kept; reloadLayout() reads it again (the window calls
// it when Qt reports a keyboard layout change).
//
// Threads: main thread.

#include <QString>

#include <cstdint>

class QKeyEvent;

namespace keys {

// The character(s) the layout shows on the key with that virtual key code with no modifier
// applied (modifiers has no effect). An empty string, and a line in the log, when the code
// names no key or the key shows no character (a dead key, a function key).
QString stringWithKeyCode(uint16_t keyCode, uint32_t modifiers = 0);

// The same for the key of a key event (its native scan code, through VirtualKeyCodes.h).
QString keyPressedWithEvent(const QKeyEvent* event);

// Forgets the layout read before; the next translation reads the current one.
void reloadLayout();

} // namespace keys
