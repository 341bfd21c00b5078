// Board folders on disk: loading every board in numeric order and closing the gaps, folders
// that are skipped (and moved out of the way untouched), a folder left by a reorder, the
// check of a board's cache on load (the Trash looked at on disk), copies for an export, and
// deleting a board.
#include "clipdeck/CKClipdeck.h"

#include "BoardTestSupport.h"
#include "platform/NotificationCenter.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>

#include <gtest/gtest.h>

using namespace clipdeck::test;

namespace {

QByteArray fileBytes(const QString& path)
{
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

QStringList names(const QList<std::shared_ptr<CKClipdeck>>& boards)
{
    QStringList result;
    for (const auto& board : boards)
        result << board->name();
    return result;
}

QString board(std::size_t index) { return CKClipdeck::pathForBundleAtIndex(index); }

CKSoundCachedFileSource* cached(const std::shared_ptr<CKSoundSource>& sound)
{
    return static_cast<CKSoundCachedFileSource*>(sound.get());
}

} // namespace

TEST(CKClipdeckFolders, boardsLoadInNumericOrderAndTheirFoldersCloseTheGaps)
{
    BoardsFolder folder;
    folder.writeBoard(0, contentsXML("zero", {}));
    folder.writeBoard(2, contentsXML("two", {}));
    folder.writeBoard(9, contentsXML("nine", {}));
    const QString kick = "A0000000-0000-4000-8000-00000000000A";
    folder.writeBoard(10, contentsXML("ten", {"0|kick|" + kick + "|Cache/" + kick + "-kick.wav"}));
    BoardsFolder::touch(board(10) + "/Cache/A0000000-0000-4000-8000-00000000000A-kick.wav");

    QList<Error> failures;
    const QList<std::shared_ptr<CKClipdeck>> boards = CKClipdeck::loadAllClipdecks(&failures);
    EXPECT_TRUE(failures.isEmpty());
    EXPECT_EQ(names(boards), QStringList({"zero", "two", "nine", "ten"}));
    EXPECT_EQ(folder.folderNames(), QStringList({"0.clipdeck", "1.clipdeck", "2.clipdeck", "3.clipdeck"}));
    for (qsizetype i = 0; i < boards.size(); ++i) {
        EXPECT_EQ(boards[i]->boardIndex(), std::size_t(i));
        EXPECT_EQ(boards[i]->path(), board(std::size_t(i)));
        EXPECT_TRUE(boards[i]->needsSave());
    }
    // The sound's file moved with its board and is still its own.
    EXPECT_TRUE(QFile::exists(cached(boards[3]->soundAtIndex(0))->fullCachePath()));
    EXPECT_TRUE(trashedNames().isEmpty());
}

TEST(CKClipdeckFolders, aDamagedDocumentSkipsItsBoardAndLeavesItsFolderUntouched)
{
    const struct {
        const char* what;
        QByteArray contents;
    } cases[] = {
        {"not XML", "<clipdeck><rows>4</rows"},
        {"no rows", "<clipdeck uuid=\"X\"><columns>8</columns><sounds/></clipdeck>"},
        {"no columns", "<clipdeck uuid=\"X\"><rows>4</rows><sounds/></clipdeck>"},
        {"zero rows", "<clipdeck uuid=\"X\"><rows>0</rows><columns>8</columns><sounds/></clipdeck>"},
        {"rows that are no number", "<clipdeck uuid=\"X\"><rows>many</rows><columns>8</columns><sounds/></clipdeck>"},
        {"a grid no board has", "<clipdeck uuid=\"X\"><rows>100000</rows><columns>100000</columns></clipdeck>"},
    };
    for (const auto& row : cases) {
        BoardsFolder folder;
        TestShell shell;
        folder.writeBoard(0, contentsXML("first", {}));
        folder.writeBoard(1, row.contents);
        BoardsFolder::touch(board(1) + "/Cache/B0000000-0000-4000-8000-00000000000B-bell.wav", "bell audio");
        folder.writeBoard(2, contentsXML("third", {}));

        QList<Error> failures;
        shell.clipdecks = CKClipdeck::loadAllClipdecks(&failures);
        EXPECT_EQ(names(shell.clipdecks), QStringList({"first", "third"})) << row.what;
        ASSERT_EQ(failures.size(), 1) << row.what;
        EXPECT_EQ(failures.first().domain, CKClipdeck::ErrorDomain);
        EXPECT_TRUE(failures.first().localizedFailureReason.contains("1.clipdeck-skipped")) << row.what;

        // The third board took the number 1 only once the damaged folder was out of its way,
        // and saving every board writes nothing into the damaged one.
        EXPECT_EQ(folder.folderNames(), QStringList({"0.clipdeck", "1.clipdeck", "1.clipdeck-skipped"})) << row.what;
        for (const auto& loaded : std::as_const(shell.clipdecks))
            EXPECT_TRUE(loaded->save());
        const QString aside = CKClipdeck::clipdecksFolder() + "/1.clipdeck-skipped";
        EXPECT_EQ(fileBytes(aside + "/Contents.xml"), row.contents) << row.what;
        EXPECT_EQ(fileBytes(aside + "/Cache/B0000000-0000-4000-8000-00000000000B-bell.wav"), "bell audio") << row.what;
        EXPECT_TRUE(fileBytes(board(1) + "/Contents.xml").contains("name=\"third\"")) << row.what;
        EXPECT_TRUE(trashedNames().isEmpty()) << row.what;
    }
}

TEST(CKClipdeckFolders, aFolderWithoutADocumentIsSkippedAndMovedAside)
{
    BoardsFolder folder;
    QDir().mkpath(board(0) + "/Cache");
    BoardsFolder::touch(board(0) + "/Cache/something.wav");
    folder.writeBoard(1, contentsXML("real", {}));
    QList<Error> failures;
    EXPECT_EQ(names(CKClipdeck::loadAllClipdecks(&failures)), QStringList({"real"}));
    EXPECT_TRUE(failures.isEmpty());
    EXPECT_EQ(folder.folderNames(), QStringList({"0.clipdeck", "0.clipdeck-skipped"}));
    EXPECT_TRUE(QFile::exists(CKClipdeck::clipdecksFolder() + "/0.clipdeck-skipped/Cache/something.wav"));
}

TEST(CKClipdeckFolders, aFolderLeftByAnInterruptedReorderComesInAsANewBoardAtTheEnd)
{
    BoardsFolder folder;
    folder.writeBoard(0, contentsXML("zero", {}));
    folder.writeBoard(1, contentsXML("one", {}));
    folder.writeBoardNamed("tmp.clipdeck", contentsXML("moving", {}));
    folder.writeBoardNamed("01.clipdeck", contentsXML("padded", {}));
    const QList<std::shared_ptr<CKClipdeck>> boards = CKClipdeck::loadAllClipdecks();
    EXPECT_EQ(names(boards), QStringList({"zero", "one", "padded", "moving"}));
    EXPECT_EQ(folder.folderNames(), QStringList({"0.clipdeck", "1.clipdeck", "2.clipdeck", "3.clipdeck"}));
    EXPECT_EQ(boards[3]->path(), board(3));
}

TEST(CKClipdeckFolders, anUnusableBoardsFolderIsAnErrorThatTouchesNothing)
{
    BoardsFolder folder;
    QDir(CKClipdeck::clipdecksFolder()).removeRecursively();
    BoardsFolder::touch(CKClipdeck::clipdecksFolder(), "not a folder");
    try {
        CKClipdeck::loadAllClipdecks();
        FAIL() << "loaded boards from a file";
    } catch (const CKUnableToLoadClipdecksException& exception) {
        EXPECT_STREQ(CKUnableToLoadClipdecksException::name(), "CKUnableToLoadClipdecks");
        EXPECT_TRUE(QString(exception.what()).startsWith("Error: "));
    }
    EXPECT_EQ(fileBytes(CKClipdeck::clipdecksFolder()), "not a folder");
    QFile::remove(CKClipdeck::clipdecksFolder());
}

TEST(CKClipdeckFolders, loadingTrashesStrayCacheFilesAndMendsNamesWithColons)
{
    BoardsFolder folder;
    const QString kept = "A0000000-0000-4000-8000-00000000000A-drum.wav";
    const QString colon = "C0000000-0000-4000-8000-00000000000C-a:b.wav";
    const QString far = "F0000000-0000-4000-8000-00000000000F";
    folder.writeBoard(0, contentsXML("board", {"0|drum|A0000000-0000-4000-8000-00000000000A|Cache/" + kept,
                                               "1|ab|C0000000-0000-4000-8000-00000000000C|Cache/" + colon,
                                               "40|far|" + far + "|Cache/" + far + "-far.wav"}));
    const QString cache = board(0) + "/Cache/";
    for (const QString& name : {kept, kept + ".settings", kept + ".samples", colon, QString("old.wav"),
                                QString("x.samples"), QString("c:d.wav"), QString("F0000000-0000-4000-8000-00000000000F-far.wav"),
                                QString("sub/inner.wav")})
        BoardsFolder::touch(cache + name);

    const std::shared_ptr<CKClipdeck> loaded = CKClipdeck::initByLoadingIndex(0);
    ASSERT_TRUE(loaded);
    EXPECT_EQ(loaded->numberOfSounds(), 2u) << "the sound outside the grid is dropped";
    EXPECT_TRUE(QFile::exists(cache + kept));
    EXPECT_TRUE(QFile::exists(cache + kept + ".settings"));
    EXPECT_TRUE(QFile::exists(cache + kept + ".samples"));
    EXPECT_TRUE(QFile::exists(cache + "C0000000-0000-4000-8000-00000000000C-a-b.wav")) << "renamed, and the sound's own";
    EXPECT_EQ(cached(loaded->soundAtIndex(1))->fullCachePath(), cache + "C0000000-0000-4000-8000-00000000000C-a-b.wav");
    EXPECT_TRUE(QFileInfo(cache + "sub").isDir()) << "folders stay";
    EXPECT_EQ(trashedNames(), QStringList({"F0000000-0000-4000-8000-00000000000F-far.wav", "c-d.wav", "inner.wav",
                                            "old.wav", "x.samples"}));
}

TEST(CKClipdeckFolders, aCopyForAnExportChangesNothingInTheLiveFolderAndListensForNoTrigger)
{
    BoardsFolder folder;
    const QString uuid = "A0000000-0000-4000-8000-00000000000A";
    folder.writeBoard(0, contentsXML("live", {"0|drum|" + uuid + "|Cache/" + uuid + "-drum.wav", "5|old||Cache/old.wav",
                                               "40|far|F0000000-0000-4000-8000-00000000000F|Cache/far.wav"}));
    const QString cache = board(0) + "/Cache/";
    BoardsFolder::touch(cache + uuid + "-drum.wav");
    BoardsFolder::touch(cache + "old.wav");
    BoardsFolder::touch(cache + "stray.wav");
    const QStringList before = QDir(cache).entryList(QDir::Files, QDir::Name);
    const QByteArray document = fileBytes(board(0) + "/Contents.xml");

    const std::shared_ptr<CKClipdeck> copy = CKClipdeck::loadCopyOfIndex(0);
    ASSERT_TRUE(copy);
    EXPECT_TRUE(copy->isCopy());
    for (const auto& sound : copy->sounds()) {
        if (sound) {
            EXPECT_FALSE(sound->registersTriggers()) << qPrintable(sound->name());
        }
    }
    static_cast<CKSoundCachedFileSource*>(copy->soundAtIndex(0).get())->setEditorSettings({{"Volume", 0.5}});
    copy->setName("renamed in the copy");
    EXPECT_FALSE(copy->needsSave());
    EXPECT_FALSE(copy->save());

    TempFolder scratch;
    ASSERT_TRUE(copy->saveToPath(scratch.path() + "/0.clipdeck"));
    EXPECT_TRUE(fileBytes(scratch.path() + "/0.clipdeck/Contents.xml").contains("renamed in the copy"));
    EXPECT_TRUE(QFileInfo(scratch.path() + "/0.clipdeck/Cache").isDir());

    EXPECT_EQ(QDir(cache).entryList(QDir::Files, QDir::Name), before) << "nothing renamed, written or trashed";
    EXPECT_EQ(fileBytes(board(0) + "/Contents.xml"), document);
    EXPECT_TRUE(trashedNames().isEmpty());
}

TEST(CKClipdeckFolders, aDeletedBoardGoesToTheTrashWithItsFolder)
{
    BoardsFolder folder;
    TestShell shell;
    folder.writeBoard(0, contentsXML("doomed", {"0|drum|A0000000-0000-4000-8000-00000000000A|Cache/drum.wav"}));
    const std::shared_ptr<CKClipdeck> doomed = CKClipdeck::initByLoadingIndex(0);
    ASSERT_TRUE(doomed);
    const std::shared_ptr<CKSoundSource> sound = doomed->soundAtIndex(0);
    int announced = 0;
    NotificationCenter::defaultCenter().addObserver(&announced, CKClipdeck::WillDeleteNotification, doomed.get(),
                                                    [&announced, &sound](const Notification&) {
                                                        // Announced while the board is whole.
                                                        announced += sound->parentClipdeck() != nullptr;
                                                    });
    doomed->deleteFile();
    NotificationCenter::defaultCenter().removeObserver(&announced);
    EXPECT_EQ(announced, 1);
    EXPECT_TRUE(doomed->isDeleted());
    EXPECT_TRUE(doomed->path().isEmpty());
    EXPECT_EQ(sound->parentClipdeck(), nullptr);
    EXPECT_TRUE(folder.folderNames().isEmpty());
    EXPECT_EQ(trashedNames(), QStringList({"0.clipdeck"}));
}
