#pragma once
// Reads the JACK device list in a short-lived child process (the "clipdeck-jack-devices"
// program beside ours), never in this one.
//
// Why: reading it means opening and closing a JACK client, and libjack ends a closing
// client's notification thread by cancelling it asynchronously, at whatever instruction it
// is on. Caught inside a lock of the library's, of the C library's or of ours, the thread
// leaves that lock taken for good, and every later client of the process waits for it; a
// client opened against a server that is just ending can also spin for ever on its stale
// shared memory. Polling opens a client every second, so in this process it would meet
// those moments sooner or later. The child takes the risk instead: one that hangs is killed.
// This process then opens JACK clients only for its streams and its MIDI input.
//
// Threads: any; calls may run at once.

#include "platform/devices/DeviceListing.h"

#include <optional>
#include <string>

// The JACK listing; nothing when the child did not answer within timeoutMs, or could not
// run. A listing with no devices when no JACK server answers.
std::optional<DeviceListing> listJackDevicesInChildProcess(int timeoutMs);

// Where the lister program is: beside the running program, else where the build put it.
std::string jackDeviceListerPath();
