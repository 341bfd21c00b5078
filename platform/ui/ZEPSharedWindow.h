#pragma once
// The one window of a kind that the program shows again and again (the about box, the
// splash screen): made on first use, freed when the application object goes.
// Main thread only, with a QApplication alive.

#include <QCoreApplication>
#include <QPointer>

template <typename Window>
Window& ZEPSharedWindow()
{
    static QPointer<Window> instance;
    if (!instance) {
        instance = new Window;
        static bool cleanupAdded = false;
        if (!cleanupAdded) {
            cleanupAdded = true;
            qAddPostRoutine([] { delete instance.data(); });
        }
    }
    return *instance;
}
