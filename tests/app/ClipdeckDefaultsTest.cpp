#include "app/ClipdeckDefaults.h"

#include "platform/StandardPaths.h"
#include "platform/UserDefaults.h"
#include "support/TestEnvironment.h"

#include <QUrl>
#include <gtest/gtest.h>

TEST(ClipdeckDefaults, RegisteredValuesAnswerForUnsetKeys)
{
    clipdeck::test::TempFolder folder;
    UserDefaults defaults(folder.file("d.plist"));
    ClipdeckRegisterDefaults(&defaults);
    EXPECT_DOUBLE_EQ(defaults.doubleForKey("fadeOutDuration"), 0.0);
    EXPECT_DOUBLE_EQ(defaults.doubleForKey("DefaultFadeDuration"), 1.0);
    EXPECT_EQ(defaults.integerForKey("DefaultFadeType"), 0);
    EXPECT_DOUBLE_EQ(defaults.doubleForKey("ScrubDuration"), 1.0);
    EXPECT_DOUBLE_EQ(defaults.doubleForKey("MinimumScrubDuration"), 0.25);
    EXPECT_DOUBLE_EQ(defaults.doubleForKey("duckingDuration"), 1.0);
    EXPECT_DOUBLE_EQ(defaults.doubleForKey("duckingVolume"), 0.33000001311302185);
    EXPECT_FALSE(defaults.boolForKey("loggingEnabled"));
    EXPECT_EQ(defaults.integerForKey("pauseSoundKey"), 18);
    EXPECT_EQ(defaults.integerForKey("toggleLoopingKey"), 19);
    EXPECT_TRUE(defaults.boolForKey("RemoteEnabled"));
    const QString path = defaults.stringForKey("loggingPath");
    EXPECT_TRUE(path.endsWith("/"));
    EXPECT_EQ(QUrl(path).toLocalFile(), StandardPaths::logsFolder() + "/");
    // Keys the reading code treats as absent are not registered.
    for (const char* key : {"singleSoundMode", "MIDIEnabled", "AudioCacheDuration", "outputGain", "outputPan"})
        EXPECT_FALSE(defaults.objectForKey(key).isValid()) << key;
}
