// The about box, the splash screen and the text viewer with sample contents.
#include "Screenshots.h"

#include "app/AppController.h"

#include "platform/ui/ZEPAboutBox.h"
#include "platform/ui/ZEPSplashScreen.h"
#include "platform/ui/ZEPTextViewer.h"

#include <QFile>
#include <QTemporaryDir>

QImage aboutBoxScreenshot()
{
    ZEPAboutBox box;
    AppController controller; // names the program as the program does
    box.setController(&controller);
    box.likeMenu().setProductPageURL(QUrl("https://example.org/clipdeck"));
    return pictureOfWindow(box);
}

QImage splashScreenScreenshot()
{
    ZEPSplashScreen splash;
    return pictureOfWindow(splash);
}

QImage textViewerScreenshot()
{
    QTemporaryDir folder;
    const QString path = folder.filePath("Release Notes.md");
    QFile file(path);
    if (!file.open(QIODevice::WriteOnly))
        return QImage();
    file.write("# Clipdeck 0.1\n\n"
               "## New\n\n"
               "- Boards of 8 \xC3\x97 4 buttons, one per tab, fired by mouse, key, MIDI or remote.\n"
               "- Up to 32 sounds at once, with fades, loops and ducking.\n"
               "- A waveform editor that cuts, fades and marks a sound without touching its file.\n\n"
               "## Fixed\n\n"
               "- A sound released while fading out no longer restarts.\n");
    file.close();
    ZEPTextViewer viewer(path);
    viewer.setTitle("Clipdeck Release Notes");
    viewer.resize(520, 360);
    return pictureOfWindow(viewer);
}
