#include "platform/keys/ModifierFlags.h"

namespace keys {

uint32_t modifierFlags(Qt::KeyboardModifiers modifiers)
{
    static constexpr struct {
        Qt::KeyboardModifier qt;
        uint32_t flag;
    } kTable[] = {
        {Qt::ShiftModifier, kShiftKeyMask},
        {Qt::MetaModifier, kControlKeyMask},
        {Qt::AltModifier, kAlternateKeyMask},
        {Qt::ControlModifier, kCommandKeyMask},
    };
    uint32_t flags = 0;
    for (const auto& entry : kTable) {
        if (modifiers.testFlag(entry.qt))
            flags |= entry.flag;
    }
    return flags;
}

} // namespace keys
