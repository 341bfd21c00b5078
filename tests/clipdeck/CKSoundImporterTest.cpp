// The importer of dropped files: one file per turn of the event loop into the next free cells,
// a board that fills up, refused files reported in one error, a board deleted mid-batch, the
// modes, and the other product's exports with their edit settings.
#include "clipdeck/CKSoundImporter.h"

#include "BoardTestSupport.h"
#include "clipdeck/RAOperationQueue.h"
#include "platform/FoundationExtensions.h"
#include "platform/NotificationCenter.h"
#include "platform/PropertyList.h"
#include "support/SettleEventLoop.h"

#include <QFile>

#include <gtest/gtest.h>

using namespace clipdeck::test;

namespace {

struct ImportFixture {
    ImportFixture()
    {
        board = std::make_shared<CKClipdeck>();
        shell.clipdecks << board;
        board->save();
    }
    // A document sound in each of the cells.
    void occupy(const std::vector<std::size_t>& cells) const
    {
        for (std::size_t cell : cells) {
            XMLElement element("sound");
            element.setAttribute("uuid", stringWithNewUUID());
            element.setAttribute("path", "Cache/taken.m4a");
            board->addSound(CKSoundCachedFileSource::initWithXMLElement(element, board.get()), cell, false);
        }
    }
    QStringList wavs(int count)
    {
        QStringList paths;
        for (int i = 0; i < count; ++i)
            paths << makeWAV(files, QStringLiteral("file%1.wav").arg(i), 441);
        return paths;
    }
    QString locked(const QString& name)
    {
        return makeSoundFile(files, name,
                             {"-c:a", "aac", "-encryption_scheme", "cenc-aes-ctr", "-encryption_key",
                              "76a6c65c5ea762046bd749a2e632ccbb", "-encryption_kid", "a7e61c373e219033c21091fa607bf3b8"},
                             4410);
    }
    // Runs a batch to its end.
    void import(const QStringList& paths, std::size_t cell, int mode = CKSoundImporter::kFileImportMode)
    {
        CKSoundImporter::importFiles(paths, cell, board, mode);
        ASSERT_TRUE(waitUntil([this] { return shell.loadingEditors.size() == 2; }));
    }
    QString nameAt(std::size_t cell) const
    {
        return board->soundExistsAtIndex(cell) ? board->soundAtIndex(cell)->name() : QString();
    }

    BoardsFolder folder;
    TestShell shell;
    TempFolder files;
    std::shared_ptr<CKClipdeck> board;
};

} // namespace

TEST(CKSoundImporter, importsOneFilePerTurnIntoTheNextFreeCells)
{
    ImportFixture fixture;
    fixture.occupy({6});
    CKSoundImporter::importFiles(fixture.wavs(3), 5, fixture.board, CKSoundImporter::kFileImportMode);
    EXPECT_EQ(fixture.board->numberOfSounds(), 1u) << "nothing is imported before the event loop runs";
    EXPECT_EQ(fixture.shell.loadingEditors, QList<bool>({false}));
    EXPECT_TRUE(CKSoundCachedFileSource::cacheOperationQueue().isSuspended());

    ASSERT_TRUE(waitUntil([&] { return fixture.shell.loadingEditors.size() == 2; }));
    EXPECT_EQ(fixture.nameAt(5), "file0");
    EXPECT_EQ(fixture.nameAt(7), "file1");
    EXPECT_EQ(fixture.nameAt(8), "file2");
    for (std::size_t cell : {5, 7, 8}) {
        EXPECT_FALSE(fixture.board->soundAtIndex(cell)->isPlayable()) << "until its first load";
    }
    EXPECT_EQ(fixture.shell.loadingEditors, QList<bool>({false, true}));
    EXPECT_TRUE(fixture.board->isPreImporting());
    EXPECT_TRUE(fixture.board->needsSave());
    EXPECT_TRUE(fixture.shell.errors.empty());
    EXPECT_EQ(fixture.shell.beeps, 0);
    EXPECT_TRUE(CKSoundCachedFileSource::cacheOperationQueue().isSuspended()) << "the board view resumes it";
}

TEST(CKSoundImporter, aBoardThatFillsUpEndsTheBatchWithOneBeep)
{
    ImportFixture fixture;
    std::vector<std::size_t> taken;
    for (std::size_t cell = 0; cell < 30; ++cell)
        taken.push_back(cell);
    fixture.occupy(taken);
    fixture.import(fixture.wavs(5), 0);
    EXPECT_EQ(fixture.nameAt(30), "file0");
    EXPECT_EQ(fixture.nameAt(31), "file1");
    EXPECT_EQ(fixture.board->numberOfSounds(), 32u);
    EXPECT_EQ(fixture.shell.beeps, 1);
}

TEST(CKSoundImporter, refusedFilesAreReportedInOneErrorThatNamesThem)
{
    const struct {
        const char* what;
        QStringList refused; // "locked" or "text", each a file of that kind
        qint64 code;
        QString description;
        QString failureReason;
    } cases[] = {
        {"one copy-protected file",
         {"locked"},
         10666,
         "Cannot open file",
         "The audio file \"refused0.m4a\" is copy-protected and cannot be used with Clipdeck."},
        {"two copy-protected files",
         {"locked", "locked"},
         888,
         "Cannot import 2 copy-protected files",
         "The following files will not be imported:\n \u2022 refused0.m4a\n \u2022 refused1.m4a"},
        {"a file that is no sound", {"text"}, 10667, "Cannot open file",
         "The file \"refused0.txt\" is not a sound file that Clipdeck can play."},
        {"both kinds",
         {"text", "locked"},
         888,
         "Cannot import 2 files",
         "The following files will not be imported:\n \u2022 refused0.txt\n \u2022 refused1.m4a"},
    };
    for (const auto& row : cases) {
        ImportFixture fixture;
        QStringList paths = fixture.wavs(3);
        for (int i = 0; i < row.refused.size(); ++i) {
            QString path;
            if (row.refused[i] == "locked") {
                path = fixture.locked(QStringLiteral("refused%1.m4a").arg(i));
            } else {
                path = fixture.files.file(QStringLiteral("refused%1.txt").arg(i));
                BoardsFolder::touch(path, "words");
            }
            paths.insert(1 + i, path);
        }
        fixture.import(paths, 0);
        EXPECT_EQ(fixture.board->numberOfSounds(), 3u) << row.what;
        ASSERT_EQ(fixture.shell.errors.size(), 1u) << row.what;
        const Error& error = fixture.shell.errors.front();
        EXPECT_EQ(error.domain, "CKSoundImporter") << row.what;
        EXPECT_EQ(error.code, row.code) << row.what;
        EXPECT_EQ(error.localizedDescription, row.description) << row.what;
        EXPECT_EQ(error.localizedFailureReason, row.failureReason) << row.what;
    }
}

TEST(CKSoundImporter, aBoardDeletedDuringTheBatchEndsItAndIsLeftAlone)
{
    ImportFixture fixture;
    // The board goes as the first file lands in it.
    NotificationCenter::defaultCenter().addObserver(&fixture, CKClipdeck::SoundAddedNotification, fixture.board.get(),
                                                    [&fixture](const Notification&) {
                                                        NotificationCenter::defaultCenter().removeObserver(&fixture);
                                                        fixture.board->setSavingDisabled(true);
                                                        fixture.board->deleteFile();
                                                    });
    CKSoundImporter::importFiles(fixture.wavs(3), 0, fixture.board, CKSoundImporter::kFileImportMode);
    ASSERT_TRUE(waitUntil([&] { return fixture.shell.loadingEditors.size() == 2; }));
    settleEventLoop();
    EXPECT_EQ(fixture.board->numberOfSounds(), 1u);
    EXPECT_TRUE(fixture.board->savingDisabled()) << "the finish did nothing to the board";
    EXPECT_FALSE(fixture.board->needsSave());
    EXPECT_TRUE(fixture.folder.folderNames().isEmpty());
}

TEST(CKSoundImporter, onlyPlainFilesAndTheOtherProductsExportsAreModes)
{
    ImportFixture fixture;
    for (int mode : {9, 11, 13})
        EXPECT_FALSE(CKSoundImporter::initWithFiles({}, 0, fixture.board, mode)) << mode;
    for (int mode : {10, 12})
        EXPECT_TRUE(CKSoundImporter::modeIsValid(mode)) << mode;
}

TEST(CKSoundImporter, theOtherProductsExportsComeWithTheirEditSettings)
{
    ImportFixture fixture;
    const QString audio = makeWAV(fixture.files, "Kick.take1.wav", 441);
    const QVariantMap settings{{"Gain", 0.5}, {"TrackSamples", QVariantList{1, 2, 3}}};
    ASSERT_TRUE(PropertyList::writeToFile(QVariantMap{{"User", QVariantMap{{"AudioFileEditorSettings", settings}}}},
                                          fixture.files.file("Kick.meta.plist"), PropertyList::Format::XML));
    fixture.import({audio}, 2, CKSoundImporter::kGlassjarStudioImportMode);
    const auto sound = std::dynamic_pointer_cast<CKSoundCachedFileSource>(fixture.board->soundAtIndex(2));
    ASSERT_TRUE(sound);
    EXPECT_EQ(sound->name(), "Kick");
    EXPECT_TRUE(sound->importingFromGlassjarStudio());
    EXPECT_EQ(sound->editorSettings(), QVariantMap({{"Gain", 0.5}}));
}
