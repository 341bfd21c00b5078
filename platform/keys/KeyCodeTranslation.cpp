#include "platform/keys/KeyCodeTranslation.h"

#include "platform/keys/ModifierFlags.h"
#include "platform/keys/VirtualKeyCodes.h"

#include <QGuiApplication>
#include <QKeyEvent>

#include <xkbcommon/xkbcommon-x11.h>
#include <xkbcommon/xkbcommon.h>

#include <memory>

namespace keys {
namespace {

// The keymap in use and the state that tells its active layout (group).
struct Layout {
    xkb_context* context = nullptr;
    xkb_keymap* keymap = nullptr;
    xkb_state* state = nullptr;

    ~Layout()
    {
        if (state)
            xkb_state_unref(state);
        if (keymap)
            xkb_keymap_unref(keymap);
        if (context)
            xkb_context_unref(context);
    }
};

// The X server's keymap of the core keyboard, when the program runs on X11.
bool loadFromX11(Layout& layout)
{
    auto* application = qobject_cast<QGuiApplication*>(QCoreApplication::instance());
    if (!application || QGuiApplication::platformName() != "xcb")
        return false;
    auto* x11 = application->nativeInterface<QNativeInterface::QX11Application>();
    xcb_connection_t* connection = x11 ? x11->connection() : nullptr;
    if (!connection || !xkb_x11_setup_xkb_extension(connection, XKB_X11_MIN_MAJOR_XKB_VERSION,
                                                    XKB_X11_MIN_MINOR_XKB_VERSION,
                                                    XKB_X11_SETUP_XKB_EXTENSION_NO_FLAGS, nullptr, nullptr,
                                                    nullptr, nullptr))
        return false;
    const int32_t device = xkb_x11_get_core_keyboard_device_id(connection);
    if (device < 0)
        return false;
    layout.keymap = xkb_x11_keymap_new_from_device(layout.context, connection, device, XKB_KEYMAP_COMPILE_NO_FLAGS);
    if (layout.keymap)
        layout.state = xkb_x11_state_new_from_device(layout.keymap, connection, device);
    return layout.keymap != nullptr;
}

// The layout the environment names (XKB_DEFAULT_*), else the library's default (US); then
// plain US should the environment name one that does not compile.
bool loadFromNames(Layout& layout)
{
    layout.keymap = xkb_keymap_new_from_names(layout.context, nullptr, XKB_KEYMAP_COMPILE_NO_FLAGS);
    if (!layout.keymap) {
        const xkb_rule_names us = {"evdev", "pc105", "us", "", ""};
        layout.keymap = xkb_keymap_new_from_names(layout.context, &us, XKB_KEYMAP_COMPILE_NO_FLAGS);
    }
    if (layout.keymap)
        layout.state = xkb_state_new(layout.keymap);
    return layout.keymap != nullptr;
}

std::unique_ptr<Layout>& cachedLayout()
{
    static std::unique_ptr<Layout> layout;
    return layout;
}

// The current layout, read on first use; nothing when no keymap can be made at all.
Layout* currentLayout()
{
    static bool reportedMissing = false;
    auto& layout = cachedLayout();
    if (!layout) {
        layout = std::make_unique<Layout>();
        layout->context = xkb_context_new(XKB_CONTEXT_NO_FLAGS);
        if (layout->context) {
            xkb_context_set_log_level(layout->context, XKB_LOG_LEVEL_CRITICAL);
            if (!loadFromX11(*layout))
                loadFromNames(*layout);
        }
    }
    if (!layout->keymap) {
        if (!reportedMissing)
            qWarning("Couldn't find a suitable keyboard layout from which to translate");
        reportedMissing = true;
        return nullptr;
    }
    return layout.get();
}

} // namespace

QString stringWithKeyCode(uint16_t keyCode, uint32_t /*modifiers*/)
{
    const uint32_t scanCode = scanCodeForVirtualKeyCode(keyCode);
    if (scanCode == 0) {
        qWarning("There was an %s error translating from the '%d' key code to a human readable string: %s",
                 "unknown key", int(keyCode), "no key of the keyboard has this code");
        return {};
    }
    uint32_t character = 0;
    if (Layout* layout = currentLayout()) {
        const xkb_layout_index_t group = layout->state ? xkb_state_key_get_layout(layout->state, scanCode) : 0;
        const xkb_keysym_t* symbols = nullptr;
        const int count = xkb_keymap_key_get_syms_by_level(layout->keymap, scanCode,
                                                           group == XKB_LAYOUT_INVALID ? 0 : group, 0, &symbols);
        if (count > 0)
            character = xkb_keysym_to_utf32(symbols[0]);
    } else {
        character = usCharacterForVirtualKeyCode(keyCode).unicode();
    }
    // Control characters (Tab, Return, Escape) show nothing on a key cap.
    if (character < 0x20 || character == 0x7F) {
        qWarning("Couldn't find a translation for the '%d' key code", int(keyCode));
        return {};
    }
    const char32_t text[] = {char32_t(character)};
    return QString::fromUcs4(text, 1);
}

QString keyPressedWithEvent(const QKeyEvent* event)
{
    return stringWithKeyCode(virtualKeyCodeForScanCode(event->nativeScanCode()), modifierFlags(event->modifiers()));
}

void reloadLayout()
{
    cachedLayout().reset();
}

} // namespace keys
