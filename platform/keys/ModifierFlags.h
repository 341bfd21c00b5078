#pragma once
// Modifier flags as the program stores and compares them (the toggle-key masks, the key
// dispatcher's tests), translated from Qt's modifiers in this one table: the program's
// command key is Ctrl, its control key is Meta (Super), option is Alt and shift is Shift.
//
// Threads: any.

#include <Qt>

#include <cstdint>

namespace keys {

constexpr uint32_t kShiftKeyMask = 1u << 17;     // 0x20000, Shift
constexpr uint32_t kControlKeyMask = 1u << 18;   // 0x40000, Meta (Super)
constexpr uint32_t kAlternateKeyMask = 1u << 19; // 0x80000, Alt (option)
constexpr uint32_t kCommandKeyMask = 1u << 20;   // 0x100000, Ctrl
// The four together.
constexpr uint32_t kModifierKeysMask = kShiftKeyMask | kControlKeyMask | kAlternateKeyMask | kCommandKeyMask;

uint32_t modifierFlags(Qt::KeyboardModifiers modifiers);

} // namespace keys
