// Writes the documentation's pictures of the program's windows into a folder:
//   clipdeck_screenshots docs [name.png ...]
// Run on a display (xvfb-run gives one). With names, only those pictures are made.
#include "Screenshots.h"

#include "app/ClipdeckApplication.h"
#include "app/ClipdeckDefaults.h"

#include <QApplication>
#include <QDir>
#include <QTemporaryDir>

#include <cstdio>
#include <functional>

namespace {

struct Screenshot {
    const char* fileName;
    std::function<QImage()> take;
};

const Screenshot kScreenshots[] = {
    {"preferences-general.png", generalPreferencesScreenshot},
    {"preferences-playback.png", playbackPreferencesScreenshot},
    {"preferences-editor.png", editorPreferencesScreenshot},
    {"preferences-midi.png", midiPreferencesScreenshot},
    {"preferences-remote.png", remotePreferencesScreenshot},
    {"about-box.png", aboutBoxScreenshot},
    {"splash-screen.png", splashScreenScreenshot},
    {"text-viewer.png", textViewerScreenshot},
    {"main-window.png", mainWindowScreenshot},
    {"name-sheet.png", nameSheetScreenshot},
    {"remote-pairing-sheet.png", remotePairingSheetScreenshot},
    {"quit-confirmation.png", quitConfirmationScreenshot},
    {"delete-confirmation.png", deleteConfirmationScreenshot},
    {"error-sheet.png", errorSheetScreenshot},
    {"export-sheet.png", exportSheetScreenshot},
    {"import-panel.png", importPanelScreenshot},
    {"drawer-controls.png", drawerControlsScreenshot},
    {"main-window-drawer-open.png", drawerOpenScreenshot},
    {"main-window-drawer-closed.png", drawerClosedScreenshot},
    {"master-output-drawer.png", drawerAloneScreenshot},
    {"board-grid.png", boardGridScreenshot},
    {"cell-menu.png", cellMenuScreenshot},
    {"volume-bubble.png", volumeBubbleScreenshot},
    {"empty-board.png", emptyBoardScreenshot},
};

// A picture of one colour is a window that was never painted.
bool isBlank(const QImage& picture)
{
    if (picture.isNull())
        return true;
    const QRgb first = picture.pixel(0, 0);
    for (int y = 0; y < picture.height(); y += 3)
        for (int x = 0; x < picture.width(); x += 3)
            if (picture.pixel(x, y) != first)
                return false;
    return true;
}

} // namespace

int main(int argc, char** argv)
{
    // The windows read and write settings: keep them away from the user's own.
    QTemporaryDir home;
    for (const char* variable : {"XDG_CONFIG_HOME", "XDG_DATA_HOME", "XDG_STATE_HOME"})
        qputenv(variable, home.filePath(QString::fromLatin1(variable)).toLocal8Bit());
    // The program's own application object and defaults: the main window's pictures come
    // from its running controller.
    ClipdeckRegisterDefaults();
    ClipdeckApplication application(argc, argv);
    QCoreApplication::setApplicationName("Clipdeck");
    QCoreApplication::setApplicationVersion(CLIPDECK_VERSION);
    const QStringList arguments = QCoreApplication::arguments().mid(1);
    if (arguments.isEmpty()) {
        std::fprintf(stderr, "usage: clipdeck_screenshots <folder> [name.png ...]\n");
        return 2;
    }
    const QDir folder(arguments.first());
    const QStringList wanted = arguments.mid(1);
    int failures = 0;
    for (const Screenshot& shot : kScreenshots) {
        if (!wanted.isEmpty() && !wanted.contains(shot.fileName))
            continue;
        const QImage picture = shot.take();
        const QString path = folder.filePath(shot.fileName);
        if (isBlank(picture) || !picture.save(path, "PNG")) {
            std::fprintf(stderr, "cannot make %s\n", qPrintable(path));
            ++failures;
            continue;
        }
        std::printf("%s (%dx%d)\n", qPrintable(path), picture.width(), picture.height());
    }
    return failures == 0 ? 0 : 1;
}
