// The preferences window on each of its panes, chosen by its toolbar as a user does, over
// the registered defaults, a stored MIDI binding and a chosen log folder.
#include "Screenshots.h"

#include "app/CKEditorPreferencesController.h"
#include "app/CKGeneralPreferencesController.h"
#include "app/CKMIDIPreferencesController.h"
#include "app/CKPlaybackPreferencesController.h"
#include "app/CKRemotePreferencesController.h"
#include "app/ClipdeckDefaults.h"
#include "clipdeck/CKMIDIInformation.h"
#include "platform/UserDefaults.h"
#include "platform/ui/ZEPPreferencesController.h"

#include <QAction>
#include <QTemporaryDir>
#include <QToolBar>

namespace {

QImage preferencesScreenshotOnPane(int pane)
{
    ClipdeckRegisterDefaults();
    UserDefaults::standardUserDefaults().setObject(CKMIDIInformationForChannel(0, 36), "MIDILooping");
    UserDefaults::standardUserDefaults().setObject("file:///home/stage/Show%20Logs/", "loggingPath");
    QTemporaryDir folder;
    UserDefaults windowDefaults(folder.filePath("window.plist"));
    ZEPPreferencesController preferences(&windowDefaults);
    preferences.addController(new CKGeneralPreferencesController);
    preferences.addController(new CKPlaybackPreferencesController);
    preferences.addController(new CKEditorPreferencesController);
    preferences.addController(new CKMIDIPreferencesController);
    preferences.addController(new CKRemotePreferencesController);
    preferences.showWindow();
    preferences.toolbar()->actions().at(pane)->trigger();
    return pictureOfWindow(*preferences.window());
}

} // namespace

QImage generalPreferencesScreenshot() { return preferencesScreenshotOnPane(0); }
QImage playbackPreferencesScreenshot() { return preferencesScreenshotOnPane(1); }
QImage editorPreferencesScreenshot() { return preferencesScreenshotOnPane(2); }
QImage midiPreferencesScreenshot() { return preferencesScreenshotOnPane(3); }
QImage remotePreferencesScreenshot() { return preferencesScreenshotOnPane(4); }
