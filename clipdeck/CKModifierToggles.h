#pragma once
// The modifier toggles of the program (looping, stop on lift, restart on press) and the
// modifier keys chosen for them, as the application object keeps them. The application
// implements this and installs itself (setShared) at start-up; the key dispatcher reads the
// masks before each key test, the MIDI toggle listeners flip the toggles, sounds ask whether
// a toggle is in force.
//
// Masks are modifier flags (platform/keys/ModifierFlags.h): the user default of a toggle's
// key, a bit number n of 1 or more, gives the mask 1 << n; 0 gives no mask.
//
// Threads: main thread. The toggle listeners of the playback controller call toggle...() there
// (a note on flips a toggle, its note off flips it back), in order with the MIDI notes that
// press sounds.

#include <cstdint>

class CKModifierToggles {
public:
    virtual ~CKModifierToggles() = default;

    virtual uint32_t toggleLoopingKeyMask() const = 0;
    virtual uint32_t pauseSoundKeyMask() const = 0;
    virtual uint32_t stopOnLiftKeyMask() const = 0;
    virtual uint32_t restartOnPressKeyMask() const = 0;

    // Flip a toggle's sticky flag.
    virtual void toggleLooping() = 0;
    virtual void toggleStopOnLift() = 0;
    virtual void toggleRestartOnPress() = 0;

    // True while the sticky flag is set or the current event's modifiers share a bit with the
    // toggle's mask.
    virtual bool isTogglingLooping() const = 0;
    virtual bool isTogglingStopOnLift() const = 0;
    virtual bool isTogglingRestartOnPress() const = 0;

    // The installed toggles (the application object), or nothing. Main thread.
    static CKModifierToggles* shared() { return shared_; }
    static void setShared(CKModifierToggles* toggles) { shared_ = toggles; }

private:
    static inline CKModifierToggles* shared_ = nullptr;
};
