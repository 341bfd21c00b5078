#pragma once
// Names the interface framework layer shares with the rest of the program: notifications
// observed by name through NotificationCenter.

#include <QString>

// Posted (object: the one whose activity ended, such as an edit model whose export ended)
// when a long activity has finished; observers rely on the name and the object only.
inline const QString ZEPActivityFinishedNotification = QStringLiteral("ZEPActivityFinishedNotification");

// Posted (object: the ZEPWindowTransformer) when a window transformation has run its course.
inline const QString ZEPWindowTransformCompleteKey = QStringLiteral("ZEPWindowTransformCompleteKey");

// Posted (no object) on the main thread as the program terminates, after the user has
// confirmed quitting: models write what they have pending.
inline const QString NSApplicationWillTerminateNotification = QStringLiteral("NSApplicationWillTerminateNotification");
