#pragma once
// What playback asks of the application around it: the board the window shows (a key or
// mouse press plays only the sounds of that board), the modifier toggles held at the
// moment of a press, and a place to show an error. The application shell installs its own
// host at start-up; until one is installed no board is shown, no toggle is held and errors
// are written to the log. Main thread.

#include "platform/Error.h"

class CKSoundParent;

class CKPlaybackHost {
public:
    virtual ~CKPlaybackHost() = default;

    // The board the window shows; null when none.
    virtual const CKSoundParent* selectedClipdeck() const = 0;
    // A toggle is held: its sticky flag is set (a MIDI note holds it) or the current event
    // carries its modifier key.
    virtual bool isTogglingLooping() const = 0;
    virtual bool isTogglingStopOnLift() const = 0;
    virtual bool isTogglingRestartOnPress() const = 0;
    // Shows the error to the user.
    virtual void presentError(const Error& error) = 0;

    // The installed host (a neutral one when none is installed); install(nullptr) removes it.
    static CKPlaybackHost& current();
    static void install(CKPlaybackHost* host);
};
