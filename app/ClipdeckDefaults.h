#pragma once
// The user defaults the program registers once at start-up, as one dictionary: the values
// answered for keys the user has never set.

#include <QVariantMap>

class UserDefaults;

// The registered defaults ("duckingVolume", "fadeOutDuration", "loggingPath", ...).
QVariantMap ClipdeckRegisteredDefaults();

// Registers them with defaults (the standard store when none is given).
void ClipdeckRegisterDefaults(UserDefaults* defaults = nullptr);
