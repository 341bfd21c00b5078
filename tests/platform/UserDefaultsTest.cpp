#include "platform/UserDefaults.h"

#include "platform/StandardPaths.h"
#include "support/TestEnvironment.h"

#include <QFile>
#include <gtest/gtest.h>

using clipdeck::test::TempFolder;

TEST(UserDefaults, StoredValuesWinOverRegisteredOnesAndSurviveAReopen)
{
    TempFolder folder;
    const QString path = folder.file("com.corvanesw.clipdeck.plist");
    {
        UserDefaults defaults(path);
        defaults.registerDefaults({{"fadeOutDuration", 0.0}, {"duckingVolume", 0.33}, {"loggingEnabled", false}});
        EXPECT_DOUBLE_EQ(defaults.doubleForKey("duckingVolume"), 0.33);
        defaults.setDouble(0.5, "duckingVolume");
        defaults.setObject(QVariantList{QVariantMap{{"type", qlonglong(0x61756678)}}}, "ZEPAUConfigurationCustom");
        defaults.setBool(true, "loggingEnabled");
        EXPECT_DOUBLE_EQ(defaults.doubleForKey("duckingVolume"), 0.5);
        EXPECT_TRUE(defaults.synchronize());
    }
    UserDefaults reopened(path);
    EXPECT_DOUBLE_EQ(reopened.doubleForKey("duckingVolume"), 0.5);
    EXPECT_EQ(reopened.objectForKey("loggingEnabled").typeId(), QMetaType::Bool);
    EXPECT_EQ(reopened.arrayForKey("ZEPAUConfigurationCustom").at(0).toMap().value("type").toLongLong(), 0x61756678);
    EXPECT_FALSE(reopened.objectForKey("fadeOutDuration").isValid()); // registration is not stored

    reopened.removeObjectForKey("duckingVolume");
    reopened.registerDefaults({{"duckingVolume", 0.33}});
    EXPECT_DOUBLE_EQ(reopened.doubleForKey("duckingVolume"), 0.33);
}

TEST(UserDefaults, TypedGettersReadLeniently)
{
    TempFolder folder;
    UserDefaults defaults(folder.file("d.plist"));
    defaults.registerDefaults({{"numberText", "19"},
                               {"yes", "YES"},
                               {"trueText", "true"},
                               {"real", 2.75},
                               {"flag", true},
                               {"list", QVariantList{1}}});
    EXPECT_EQ(defaults.integerForKey("numberText"), 19);
    EXPECT_TRUE(defaults.boolForKey("numberText"));
    EXPECT_TRUE(defaults.boolForKey("yes"));
    EXPECT_TRUE(defaults.boolForKey("trueText"));
    EXPECT_EQ(defaults.integerForKey("real"), 2);
    EXPECT_EQ(defaults.stringForKey("real"), "2.75");
    EXPECT_EQ(defaults.integerForKey("flag"), 1);
    EXPECT_FALSE(defaults.boolForKey("absent"));
    EXPECT_TRUE(defaults.stringForKey("list").isNull());
    EXPECT_TRUE(defaults.dictionaryForKey("list").isEmpty());
}

TEST(UserDefaults, EveryChangeAnnouncesItsKey)
{
    TempFolder folder;
    UserDefaults defaults(folder.file("d.plist"));
    QStringList changed;
    QObject::connect(&defaults, &UserDefaults::valueChanged, [&](const QString& key) { changed << key; });
    defaults.setInteger(3, "pauseSoundKey");
    defaults.removeObjectForKey("pauseSoundKey");
    defaults.removeObjectForKey("pauseSoundKey"); // nothing stored: no change
    defaults.registerDefaults({{"outputGain", 1.0}});
    EXPECT_EQ(changed, (QStringList{"pauseSoundKey", "pauseSoundKey", "outputGain"}));
}

TEST(UserDefaults, TheStandardStoreLivesInThePreferencesFolder)
{
    UserDefaults& defaults = UserDefaults::standardUserDefaults();
    EXPECT_EQ(defaults.filePath(), StandardPaths::preferencesFolder() + "/com.corvanesw.clipdeck.plist");
    EXPECT_TRUE(defaults.filePath().startsWith(clipdeck::test::homeFolder()));
    defaults.setObject("x", "probe");
    EXPECT_TRUE(defaults.synchronize());
    EXPECT_TRUE(QFile::exists(defaults.filePath()));
}
