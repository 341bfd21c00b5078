#pragma once
// The program's own life-cycle notifications, posted by the application object on the main
// thread through NotificationCenter::defaultCenter() (object: the application). Parts of
// the program that must act at start or at the end (boards that save, the remote server
// that says goodbye) observe them by these names without knowing the application.

#include <QString>

// Launching has ended: the main window shows and key triggers are on.
inline const QString ApplicationDidFinishLaunchingNotification =
    QStringLiteral("NSApplicationDidFinishLaunchingNotification");

// The program is about to end: observers write what is pending and stop what runs. The
// event loop ends once every observer has returned.
inline const QString ApplicationWillTerminateNotification = QStringLiteral("NSApplicationWillTerminateNotification");
