// A board's export to a ".ckzip" archive and the import of board folders and unpacked
// archives as new boards: what the archive holds, what the export leaves behind when it
// finishes, is cancelled or fails, and what an import makes or refuses.
#include "clipdeck/CKClipdeck.h"

#include "ArchiveTestSupport.h"
#include "BoardTestSupport.h"
#include "clipdeck/CKZipUnarchiver.h"
#include "platform/MainThread.h"
#include "platform/codecs/AudioFixtures.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>

#include <gtest/gtest.h>

#include <mutex>
#include <thread>

using namespace clipdeck::test;

namespace {

// Writes down what an export tells, on which thread; may act on a notice.
class RecordingExportDelegate : public CKClipdeckExportDelegate {
public:
    void clipdeckStartedExportingSounds(CKClipdeck*) override { note("start"); }
    void clipdeckStartedExportingFile(CKClipdeck*, const QString& name, std::size_t index) override
    {
        note(QStringLiteral("file %1 %2").arg(name).arg(index));
        if (onFile)
            onFile(index);
    }
    void clipdeckExportProgressUpdated(CKClipdeck*, float progress) override
    {
        std::lock_guard lock(mutex);
        ++progressUpdates;
        progressInRange = progressInRange && progress >= 0.0f && progress <= 1.0f;
        if (onProgress)
            onProgress();
    }
    void clipdeckFinishedExporting(CKClipdeck*) override { note("finish"); }
    void clipdeckExportDidCancel(CKClipdeck*) override { note("cancel"); }
    void clipdeckDidFailToExport(CKClipdeck*, const Error& failure) override
    {
        note("fail");
        std::lock_guard lock(mutex);
        error = failure;
    }

    QStringList notices() const
    {
        std::lock_guard lock(mutex);
        return notices_;
    }

    mutable std::mutex mutex;
    Error error;
    int progressUpdates = 0;
    bool progressInRange = true;
    bool onMainThread = false;
    std::function<void(std::size_t)> onFile;
    std::function<void()> onProgress;

private:
    void note(const QString& notice)
    {
        std::lock_guard lock(mutex);
        notices_ << notice;
        onMainThread = onMainThread || mainthread::isMainThread();
    }
    QStringList notices_;
};

QByteArray fileBytes(const QString& path)
{
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

QStringList namesIn(const QString& folder)
{
    return QDir(folder).entryList(QDir::AllEntries | QDir::NoDotAndDotDot | QDir::Hidden, QDir::Name);
}

// A live board at position 0 of the shell, with sounds made from the files given.
struct LiveBoard {
    LiveBoard()
    {
        shell.clipdecks << board;
        board->save();
    }
    std::shared_ptr<CKSoundCachedFileSource> add(const QString& file, std::size_t cell)
    {
        const auto sound = board->createSoundFromPath(file, cell);
        EXPECT_TRUE(sound && loadFeed(*sound)) << qPrintable(file);
        return sound;
    }
    // Loads the copy on the main thread and exports it on a thread of its own, as the shell
    // does, keeping the main thread's events running.
    bool exportTo(const QString& target, Error* error)
    {
        copy = CKClipdeck::copyForExport(*board, error);
        if (!copy)
            return false;
        copy->setExportDelegate(&delegate);
        std::atomic<bool> done{false};
        bool result = false;
        std::thread thread([&] {
            result = copy->exportToPath(target, error);
            done = true;
        });
        const bool ended = waitUntil([&] { return done.load(); }, 300000);
        thread.join();
        EXPECT_TRUE(ended);
        return result;
    }
    bool scratchExists() const { return QFileInfo::exists(CKClipdeck::clipdecksFolder() + "/Export"); }

    BoardsFolder folder;
    TestShell shell;
    TempFolder files;
    TempFolder out;
    std::shared_ptr<CKClipdeck> board = std::make_shared<CKClipdeck>();
    std::shared_ptr<CKClipdeck> copy;
    RecordingExportDelegate delegate;
};

} // namespace

// The archive of a two-sound board holds its document, cached files with their settings and
// AAC copies; the last second's rename is in it; an old file at the target reaches the
// Trash only once the new archive is complete; nothing of the live board changes.
TEST(ClipdeckExport, aTwoSoundBoardBecomesAnArchiveWithAACCopiesAndTheLiveBoardStaysAsItWas)
{
    LiveBoard live;
    const auto drum = live.add(makeAppleLossless(live.files, "drum.m4a"), 0);
    const auto bell = live.add(makeAAC(live.files, "bell.m4a", 44100), 5);
    drum->setEditorSettings({{"Kept", 7}});
    drum->saveEditorSettings();
    ASSERT_TRUE(live.board->save());
    live.board->setName("Show night");
    ASSERT_TRUE(live.board->needsSave()) << "a rename whose save is still pending";
    const QString target = live.out.file("Show.ckzip");
    BoardsFolder::touch(target, "the old archive");
    QStringList trashedDuringExport;
    live.delegate.onFile = [&](std::size_t) { trashedDuringExport << trashedNames(); };

    Error error;
    ASSERT_TRUE(live.exportTo(target, &error)) << qPrintable(error.description());
    const FileTree liveFolder = readTree(live.board->path());

    EXPECT_EQ(live.delegate.notices(), QStringList({"start", "file drum 0", "file bell 1", "finish"}));
    EXPECT_FALSE(live.delegate.onMainThread);
    EXPECT_TRUE(live.delegate.progressInRange);
    EXPECT_TRUE(trashedDuringExport.isEmpty()) << "the old file stays until the new archive is complete";
    EXPECT_EQ(trashedNames(), QStringList({"Show.ckzip"}));
    EXPECT_EQ(namesIn(live.out.path()), QStringList({"Show.ckzip"})) << "no temporary file beside it";
    EXPECT_FALSE(live.scratchExists());

    const QString d = drum->uuid(), b = bell->uuid();
    QStringList expected = {"0.clipdeck/Cache/" + b + "-bell.m4a", "0.clipdeck/Cache/" + d + "-drum.m4a",
                            "0.clipdeck/Cache/" + d + "-drum.m4a.settings", "0.clipdeck/Contents.xml",
                            "0.clipdeck/Prerendered/" + b + "-bell.m4a", "0.clipdeck/Prerendered/" + d + "-drum.m4a"};
    expected.sort();
    EXPECT_EQ(unzipList(target), expected);
    TempFolder unpacked;
    ASSERT_TRUE(unzipInto(target, unpacked.path()));
    const QString folder = unpacked.path() + "/0.clipdeck/";
    for (const QString& uuid : {d, b}) {
        const ProbedStream stream = probeAudio(folder + "Prerendered/" + uuid + (uuid == d ? "-drum.m4a" : "-bell.m4a"));
        EXPECT_EQ(stream.codec, "aac");
        EXPECT_EQ(stream.sampleRate, 44100);
        EXPECT_EQ(stream.channels, 2);
    }
    EXPECT_EQ(fileBytes(folder + "Cache/" + d + "-drum.m4a"), fileBytes(drum->fullCachePath()));
    const QByteArray document = fileBytes(folder + "Contents.xml");
    EXPECT_TRUE(document.contains("name=\"Show night\""));
    EXPECT_TRUE(document.contains("prerendered=\"true\""));
    EXPECT_TRUE(document.contains(("prerenderedPath=\"Prerendered/" + d + "-drum.m4a\"").toUtf8()));

    // The live board: nothing written, renamed or deleted by the export.
    EXPECT_EQ(readTree(live.board->path()), liveFolder);
    EXPECT_FALSE(liveFolder.count("Prerendered/"));
    EXPECT_TRUE(drum->prerenderedPath().isEmpty());
    live.board->adoptExportResults(*live.copy);
    EXPECT_TRUE(live.board->prerendered());
    EXPECT_EQ(drum->prerenderedPath(), "Prerendered/" + d + "-drum.m4a");
}

TEST(ClipdeckExport, anEmptyBoardGivesAnArchiveOfItsDocumentAlone)
{
    LiveBoard live;
    const QString target = live.out.file("Empty.ckzip");
    Error error;
    ASSERT_TRUE(live.exportTo(target, &error)) << qPrintable(error.description());
    EXPECT_EQ(unzipList(target), QStringList({"0.clipdeck/Contents.xml"}));
    EXPECT_EQ(live.delegate.notices(), QStringList({"start", "finish"}));
    EXPECT_FLOAT_EQ(live.copy->exportProgress(), 0.0f) << "0 of 0 sounds";
}

// Cancelled while the second sound renders: no archive, no scratch folder, no error, the old
// file where it was.
TEST(ClipdeckExport, aCancelDuringARenderLeavesNothingAndKeepsTheOldFile)
{
    LiveBoard live;
    live.add(makeAppleLossless(live.files, "drum.m4a"), 0);
    live.add(makeAppleLossless(live.files, "long.m4a", 44100 * 120), 1);
    const QString target = live.out.file("Show.ckzip");
    BoardsFolder::touch(target, "the old archive");
    std::atomic<bool> secondStarted{false};
    live.delegate.onFile = [&](std::size_t index) { secondStarted = index == 1; };
    live.delegate.onProgress = [&] {
        if (secondStarted.exchange(false))
            mainthread::post([&] { live.copy->cancelExport(); });
    };

    Error error;
    EXPECT_FALSE(live.exportTo(target, &error));
    EXPECT_FALSE(error);
    EXPECT_EQ(live.delegate.notices(), QStringList({"start", "file drum 0", "file long 1", "cancel"}));
    EXPECT_GE(live.delegate.progressUpdates, 1) << "cancelled mid-render";
    EXPECT_EQ(fileBytes(target), "the old archive");
    EXPECT_EQ(namesIn(live.out.path()), QStringList({"Show.ckzip"}));
    EXPECT_TRUE(trashedNames().isEmpty());
    EXPECT_FALSE(live.scratchExists());
}

// A failure is one error, told once and last, with nothing left behind.
TEST(ClipdeckExport, aFailureIsOneErrorAndLeavesNothingBehind)
{
    struct Case {
        const char* what;
        bool removeCachedAudio;
        QString targetBelow;
        QString domain;
        qint64 code;
    };
    const std::vector<Case> cases = {
        {"a sound without audio", true, "Show.ckzip", Error::OSStatusDomain, CKClipdeck::kExportCopyAudioError},
        {"a target folder that does not exist", false, "missing/Show.ckzip", Error::POSIXDomain, -1},
    };
    for (const Case& c : cases) {
        LiveBoard live;
        const auto drum = live.add(makeAppleLossless(live.files, "drum.m4a"), 0);
        if (c.removeCachedAudio)
            QFile::remove(drum->fullCachePath());
        BoardsFolder::touch(live.out.file("Show.ckzip"), "the old archive");
        Error error;
        EXPECT_FALSE(live.exportTo(live.out.file(c.targetBelow), &error)) << c.what;
        EXPECT_EQ(error.domain, c.domain) << c.what;
        if (c.code >= 0) {
            EXPECT_EQ(error.code, c.code) << c.what;
        }
        EXPECT_FALSE(error.localizedDescription.isEmpty()) << c.what;
        const QStringList notices = live.delegate.notices();
        EXPECT_EQ(notices.count("fail"), 1) << c.what;
        EXPECT_EQ(notices.last(), "fail") << c.what;
        EXPECT_EQ(live.delegate.error.code, error.code) << c.what;
        EXPECT_EQ(fileBytes(live.out.file("Show.ckzip")), "the old archive") << c.what;
        EXPECT_EQ(namesIn(live.out.path()), QStringList({"Show.ckzip"})) << c.what;
        EXPECT_TRUE(trashedNames().isEmpty()) << c.what;
        EXPECT_FALSE(live.scratchExists()) << c.what;
    }
}

// An exported archive, unpacked by the unarchiver and imported, is a new board whose sounds
// have fresh uuids and cache files of those names, and load; the temporary folder goes.
TEST(ClipdeckImport, anUnpackedArchiveBecomesANewBoardWithFreshSoundsAndNoTemporaryFolder)
{
    LiveBoard live;
    const auto drum = live.add(makeAppleLossless(live.files, "drum.m4a"), 0);
    live.add(makeAppleLossless(live.files, "bell.m4a"), 3);
    const QString archive = live.out.file("Party.ckzip");
    Error error;
    ASSERT_TRUE(live.exportTo(archive, &error)) << qPrintable(error.description());

    struct Importer : CKZipUnarchiverDelegate {
        void zipUnarchiverDidUnarchiveURL(CKZipUnarchiver*, const QUrl& url) override
        {
            unpacked = url.toLocalFile();
            imported = CKClipdeck::importUnpackedArchiveAtPath(unpacked, &error);
        }
        void zipUnarchiverDidFailToUnarchiveFile(CKZipUnarchiver*, const QString&, const Error& failure) override
        {
            error = failure;
        }
        void zipUnarchiverDidCancel(CKZipUnarchiver*) override { ended = true; }
        void zipUnarchiverDidFinish(CKZipUnarchiver*) override { ended = true; }
        QString unpacked;
        std::shared_ptr<CKClipdeck> imported;
        Error error;
        bool ended = false;
    } importer;
    CKZipUnarchiver unarchiver;
    unarchiver.setDelegate(&importer);
    unarchiver.importFile(archive);
    ASSERT_TRUE(waitUntil([&] { return importer.ended; }, 60000));
    ASSERT_TRUE(importer.imported) << qPrintable(importer.error.description());
    live.shell.clipdecks << importer.imported;

    const std::shared_ptr<CKClipdeck>& board = importer.imported;
    EXPECT_EQ(board->path(), CKClipdeck::pathForBundleAtIndex(1));
    EXPECT_EQ(board->name(), "Party");
    EXPECT_FALSE(QFileInfo::exists(importer.unpacked)) << "the temporary folder is gone";
    ASSERT_EQ(board->numberOfSounds(), 2u);
    QStringList expectedCache;
    for (std::size_t cell : {0u, 3u}) {
        auto* sound = dynamic_cast<CKSoundCachedFileSource*>(board->soundAtIndex(cell).get());
        ASSERT_TRUE(sound);
        EXPECT_NE(sound->uuid(), live.board->soundAtIndex(cell)->uuid());
        EXPECT_TRUE(QFileInfo::exists(sound->fullCachePath())) << qPrintable(sound->fullCachePath());
        EXPECT_TRUE(loadFeed(*sound)) << qPrintable(sound->name());
    }
    EXPECT_TRUE(fileBytes(board->path() + "/Contents.xml").contains(board->soundAtIndex(0)->uuid().toUtf8()))
        << "the document names the new uuids at once";
    EXPECT_TRUE(QFileInfo::exists(drum->fullCachePath())) << "the live board keeps its files";
}

// Folders coming in: copied or moved, named after the folder unless its name holds the
// board's uuid; a damaged one is one error and no board, and a moved one goes back.
TEST(ClipdeckImport, aFolderIsCopiedOrMovedInAndADamagedOneLeavesNoBoard)
{
    const QString uuid = "B0000000-0000-4000-8000-00000000000B";
    const QByteArray good = "<clipdeck uuid=\"" + uuid.toUtf8()
        + "\" formatVersion=\"2\" name=\"Stored\"><rows>4</rows><columns>8</columns><sounds prerendered=\"false\"/></clipdeck>";
    struct Case {
        const char* what;
        QString folderName;
        bool makeCopy;
        QByteArray document;
        QString name; // empty: not imported
    };
    const std::vector<Case> cases = {
        {"a copied folder", "Gig.clipdeck", true, good, "Gig"},
        {"a moved folder", "Gig.clipdeck", false, good, "Gig"},
        {"a folder named with the uuid", uuid + ".clipdeck", true, good, "Stored"},
        {"a damaged copied folder", "Gig.clipdeck", true, "<clipdeck", {}},
        {"a damaged moved folder", "Gig.clipdeck", false, "<clipdeck", {}},
    };
    for (const Case& c : cases) {
        BoardsFolder boards;
        TestShell shell;
        TempFolder place;
        const QString source = place.path() + "/" + c.folderName;
        BoardsFolder::touch(source + "/Contents.xml", c.document);
        BoardsFolder::touch(source + "/Cache/x.wav");
        Error error;
        const std::shared_ptr<CKClipdeck> board = CKClipdeck::importClipdeckAtPath(source, c.makeCopy, &error);
        if (c.name.isEmpty()) {
            EXPECT_FALSE(board) << c.what;
            EXPECT_EQ(error.domain, CKClipdeck::ErrorDomain) << c.what;
            EXPECT_TRUE(boards.folderNames().isEmpty()) << c.what << ": no half-made board";
            EXPECT_TRUE(QFileInfo::exists(source + "/Contents.xml")) << c.what << ": the source is where it was";
            continue;
        }
        ASSERT_TRUE(board) << c.what << ": " << qPrintable(error.description());
        EXPECT_EQ(board->name(), c.name) << c.what;
        EXPECT_EQ(boards.folderNames(), QStringList({"0.clipdeck"})) << c.what;
        EXPECT_EQ(QFileInfo::exists(source), c.makeCopy) << c.what;
    }
}

// With 64 boards an import is refused without an error; an unpacked archive that does not
// come in loses its temporary folder.
TEST(ClipdeckImport, theSixtyFifthBoardIsRefusedQuietlyAndAnUnpackedFolderStillGoes)
{
    BoardsFolder boards;
    TestShell shell;
    for (std::size_t i = 0; i < CKClipdeck::kMaximumClipdecks - 1; ++i)
        shell.clipdecks << std::make_shared<CKClipdeck>();
    TempFolder place;
    const QString first = place.path() + "/One.clipdeck";
    const QString second = place.path() + "/Two.clipdeck";
    for (const QString& folder : {first, second}) {
        BoardsFolder::touch(folder + "/Contents.xml",
                            "<clipdeck formatVersion=\"2\"><rows>4</rows><columns>8</columns><sounds/></clipdeck>");
    }
    Error error;
    const std::shared_ptr<CKClipdeck> board = CKClipdeck::importUnpackedArchiveAtPath(first, &error);
    ASSERT_TRUE(board) << qPrintable(error.description());
    shell.clipdecks << board;
    EXPECT_FALSE(CKClipdeck::importUnpackedArchiveAtPath(second, &error));
    EXPECT_FALSE(error);
    EXPECT_TRUE(namesIn(place.path()).isEmpty()) << "neither temporary folder is left";
}
