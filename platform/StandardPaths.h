#pragma once
// The program's standard folders, in place of the platform's: "Application Support/Clipdeck"
// is $XDG_DATA_HOME/Clipdeck, the "Preferences" files live in $XDG_CONFIG_HOME/Clipdeck and
// logs default to $XDG_STATE_HOME/Clipdeck/Logs (each XDG variable falling back to the
// freedesktop default under $HOME). The folders are read from the environment on every
// call, so tests can point them elsewhere; nothing is created here.

#include <QString>

namespace StandardPaths {

QString applicationSupportFolder();
QString preferencesFolder();
QString logsFolder();

// Moves a file or folder to the user's Trash (the freedesktop trash); answers success.
bool movePathToTrash(const QString& path);

} // namespace StandardPaths
