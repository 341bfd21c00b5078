#include "app/ClipdeckDefaults.h"

#include "platform/StandardPaths.h"
#include "platform/UserDefaults.h"

#include <QUrl>

QVariantMap ClipdeckRegisteredDefaults()
{
    return {
        {"RemoteEnabled", true},
        {"duckingDuration", 1.0},
        // Stored as it always was: the single-precision 0.33, widened.
        {"duckingVolume", double(0.33f)},
        {"ScrubDuration", 1.0},
        {"MinimumScrubDuration", 0.25},
        {"DefaultFadeDuration", 1.0},
        {"DefaultFadeType", 0},
        // Modifier-flag bit numbers: 17 Shift, 18 Control, 19 Option, 20 Command; 0 none.
        {"pauseSoundKey", 18},
        {"toggleLoopingKey", 19},
        {"stopOnLiftKey", 0},
        {"restartOnPressKey", 0},
        {"masterOutputOnTop", true},
        {"fadeOutDuration", 0.0},
        {"loggingEnabled", false},
        // A folder URL, with its trailing slash.
        {"loggingPath", QUrl::fromLocalFile(StandardPaths::logsFolder() + "/").toString()},
    };
}

void ClipdeckRegisterDefaults(UserDefaults* defaults)
{
    (defaults ? *defaults : UserDefaults::standardUserDefaults()).registerDefaults(ClipdeckRegisteredDefaults());
}
