#pragma once
// Computer keys fire sounds: the board window hands every key event to the process-wide
// dispatcher (canHandleEvent(), then handleEvent(); or both through handleWindowEvent()), and
// the dispatcher calls the listeners registered for the key's virtual key code and the
// event's type, each on a later pass of the main loop, in the order they were registered.
//
// - Keys are known by virtual key code, the key's position (platform/keys/VirtualKeyCodes.h),
//   taken from the event's native scan code; the grid's first 32 cells have the keys of
//   kGridKeyCodes.
// - A key held down fires its key-down listeners once: auto-repeat is ignored, and a second
//   key down without a key up between them does nothing. A key up always fires, and always
//   counts as the key going up (canHandleEvent() notes it even when it refuses the event).
// - Events that carry shift, control, option or command (platform/keys/ModifierFlags.h) are
//   refused unless they also carry the key of a toggle (looping, stop on lift, restart on
//   press; CKModifierToggles.h), whose masks are read before each test.
// - When the window loses focus the keys it saw go down are released: their key-up listeners
//   run (a sound that stops on release stops) and the keys are forgotten, so a key whose key
//   up went to another window neither keeps its sound going nor swallows its next press.
//
// Threads: main thread only. Listener calls are deferred, so no call runs inside a dispatch
// and registrations or removals made by a call take effect for the next event.

#include "clipdeck/CKKeyEventListener.h"

#include <QString>

#include <array>
#include <map>
#include <memory>
#include <set>
#include <vector>

class QEvent;
class QKeyEvent;

class CKKeyEventDispatch {
public:
    using ListenerPtr = std::shared_ptr<CKKeyEventListener>;

    // Keys of the grid's first 32 cells (cell = row x columns + column), row by row; on a US
    // layout they are kGridKeyCharacters.
    static constexpr std::array<uint16_t, 32> kGridKeyCodes = {
        18, 19, 20, 21, 23, 22, 26, 28, //  1 2 3 4 5 6 7 8
        12, 13, 14, 15, 17, 16, 32, 34, //  q w e r t y u i
        0,  1,  2,  3,  5,  4,  38, 40, //  a s d f g h j k
        6,  7,  8,  9,  11, 45, 46, 43, //  z x c v b n m ,
    };
    static inline const QString kGridKeyCharacters = QStringLiteral("12345678qwertyuiasdfghjkzxcvbnm,");

    static CKKeyEventDispatch& sharedDispatcher();

    // Registers a listener for the key code and event type (CKKeyEventListener::kKeyDown or
    // kKeyUp); the caller keeps it to remove it.
    ListenerPtr addListener(QObject* target, CKKeyEventListener::Action action, const QString& key,
                            uint16_t keyCode, int32_t eventType);
    // true when the listener was registered for that code and type and is removed.
    bool removeListener(const ListenerPtr& listener, const QString& key, uint16_t keyCode, int32_t eventType);

    bool canHandleEvent(const QKeyEvent* event);
    void handleEvent(const QKeyEvent* event);
    // For the board window's event handler: a key press or release goes through
    // canHandleEvent() and handleEvent() (answering whether it was handled); a focus loss or
    // deactivation releases the keys held (answering false, so the window goes on with it).
    bool handleWindowEvent(QEvent* event);
    // Forgets which keys are down.
    void clearKeyState();
    // Calls the key-up listeners of every key down, then forgets them.
    void releaseAllKeys();

    bool hasHandlersForKey(const QString& key, uint16_t keyCode, int32_t eventType) const;
    void handleKey(const QString& key, uint16_t keyCode, int32_t eventType);

    // The event's character without modifiers (the first one); with shift
    // down, "!@#$%^&*" give "1" to "8".
    QString charValueForEvent(const QKeyEvent* event) const;
    // The event's virtual key code (kNoVirtualKeyCode for a key the table does not know).
    static uint16_t keyCodeForEvent(const QKeyEvent* event);
    // The first character of key, in lower case.
    static QString processString(const QString& key);

    bool isKeyDown(uint16_t keyCode) const { return keysDown_.count(keyCode) != 0; }

private:
    CKKeyEventDispatch() = default;
    void updateKeyMasks();
    std::map<uint16_t, std::vector<ListenerPtr>>& tableForType(int32_t eventType);
    const std::map<uint16_t, std::vector<ListenerPtr>>& tableForType(int32_t eventType) const;

    std::map<uint16_t, std::vector<ListenerPtr>> keyDownTable_;
    std::map<uint16_t, std::vector<ListenerPtr>> keyUpTable_;
    std::set<uint16_t> keysDown_;
    uint32_t toggleLoopingKeyMask_ = 0;
    uint32_t stopOnLiftKeyMask_ = 0;
    uint32_t restartOnPressKeyMask_ = 0;
};
