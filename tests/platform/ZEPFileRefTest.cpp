#include "platform/ZEPFileRef.h"

#include "platform/StandardPaths.h"
#include "support/TestEnvironment.h"

#include <QDir>
#include <QFile>
#include <gtest/gtest.h>

using clipdeck::test::TempFolder;

TEST(ZEPFileRef, ExistsOnlyForItemsOnDiskAndFollowsItsRenames)
{
    TempFolder folder;
    EXPECT_FALSE(ZEPFileRef::fileRefWithPath(folder.file("missing.wav")));

    auto dir = ZEPFileRef::fileRefWithPath(folder.path());
    ASSERT_TRUE(dir);
    Error error;
    auto file = dir->createChildWithName("Take 1.aiff", false, &error);
    ASSERT_TRUE(file);
    EXPECT_FALSE(dir->createChildWithName("Take 1.aiff", false, &error)); // already there
    EXPECT_TRUE(error.isError());

    EXPECT_EQ(file->name(), "Take 1.aiff");
    EXPECT_EQ(file->baseName(), "Take 1");
    EXPECT_EQ(file->parent()->path(), dir->path());
    EXPECT_EQ(dir->childWithName("Take 1.aiff")->path(), file->path());

    ASSERT_TRUE(file->renameWithName("Take 2.aiff"));
    EXPECT_EQ(file->name(), "Take 2.aiff");
    EXPECT_TRUE(QFile::exists(folder.file("Take 2.aiff")));
    EXPECT_FALSE(QFile::exists(folder.file("Take 1.aiff")));
    EXPECT_EQ(file->attributes().value("NSFileType").toString(), "NSFileTypeRegular");

    ASSERT_TRUE(file->setAttributes({{"NSFilePosixPermissions", 0600}}));
    EXPECT_EQ(file->attributes().value("NSFilePosixPermissions").toInt(), 0600);
}

TEST(ZEPFileRef, MovingToTheTrashTakesTheItemAway)
{
    TempFolder folder;
    QFile file(folder.file("old.ckzip"));
    ASSERT_TRUE(file.open(QIODevice::WriteOnly));
    file.close();
    EXPECT_TRUE(StandardPaths::movePathToTrash(file.fileName()));
    EXPECT_FALSE(QFile::exists(file.fileName()));
}
