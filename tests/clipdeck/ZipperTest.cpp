// The folder zipper and unzipper: what goes into an archive and comes out of it, the notices
// and their order, progress, names that would leave the folder, damaged archives, failures
// and cancels, and an owner on another thread.
#include "ArchiveTestSupport.h"
#include "clipdeck/ZEPUnzipper.h"
#include "clipdeck/ZEPZipper.h"
#include "clipdeck/ZipFile.h"

#include "support/SettleEventLoop.h"
#include "support/TestEnvironment.h"

#include <QDir>
#include <QFile>

#include <gtest/gtest.h>

#include <atomic>
#include <mutex>
#include <thread>

using namespace clipdeck::test;

namespace {

const FileTree kShow{
    {"a/b.txt", "bee\n"},
    {"c.txt", QByteArray("sea\n").repeated(1000)},
    {".hidden", "dot"},
    {"Cache/ABC-Intro.m4a", randomBytes(20000)},
};

// Zips folder into archive and waits for the end; answers the notices.
QStringList zip(const QString& folder, const QString& archive, RecordingZipperDelegate& delegate,
                const std::function<void(ZEPZipper&)>& setUp = {})
{
    ZEPZipper zipper(QUrl::fromLocalFile(folder));
    zipper.setOutputURL(QUrl::fromLocalFile(archive));
    zipper.setDelegate(&delegate);
    if (setUp)
        setUp(zipper);
    zipper.start();
    EXPECT_TRUE(waitUntil([&] { return delegate.ended(); }));
    settleEventLoop(); // nothing may follow the end
    if (delegate.last() == "finish") {
        EXPECT_TRUE(zipper.isFinished());
        EXPECT_EQ(zipper.progress(), 1.0f);
        EXPECT_EQ(zipper.bytesRemaining(), 0u);
        EXPECT_EQ(zipper.filesRemaining(), 0u);
    }
    return delegate.notices;
}

struct Unzipped {
    QStringList notices;
    Error error;
    uint64_t bytesProcessed = 0;
    float progress = 0;
};

Unzipped unzip(const QString& archive, const QString& folder, RecordingZipperDelegate& delegate)
{
    ZEPUnzipper unzipper(QUrl::fromLocalFile(archive));
    unzipper.setOutputURL(QUrl::fromLocalFile(folder));
    unzipper.setDelegate(&delegate);
    unzipper.start();
    EXPECT_TRUE(waitUntil([&] { return delegate.ended(); }));
    settleEventLoop();
    return {delegate.notices, unzipper.error(), unzipper.bytesProcessed(), unzipper.progress()};
}

} // namespace

TEST(Zipper, zipsEveryFileBelowTheFolderNameAndUnzipsThemBack)
{
    TempFolder temp;
    const QString source = temp.file("Export");
    writeFiles(source, kShow);
    QDir(source).mkpath("empty folder");
    const QString archive = temp.file("Export.ckzip");

    RecordingZipperDelegate zipping(source);
    EXPECT_EQ(zip(source, archive, zipping),
              (QStringList{"begin", "+ .hidden", "- .hidden", "+ Cache/ABC-Intro.m4a", "- Cache/ABC-Intro.m4a",
                           "+ a/b.txt", "- a/b.txt", "+ c.txt", "- c.txt", "finish"}));
    EXPECT_TRUE(zipping.allOnMainThread);

    // Stored, named below the folder's name, no entries for folders.
    ZipFile zipFile(archive, ZipFile::kModeUnzip);
    QStringList names;
    for (const FileInZipInfo& info : zipFile.listFileInZipInfos()) {
        names << info.name();
        EXPECT_EQ(info.level(), 0);
        EXPECT_EQ(info.size(), info.length());
    }
    EXPECT_EQ(names, (QStringList{"Export/.hidden", "Export/Cache/ABC-Intro.m4a", "Export/a/b.txt", "Export/c.txt"}));

    RecordingZipperDelegate unzipping(temp.file("out"));
    const Unzipped unzipped = unzip(archive, temp.file("out"), unzipping);
    EXPECT_EQ(unzipped.notices.first(), "begin");
    EXPECT_EQ(unzipped.notices.last(), "finish");
    EXPECT_EQ(unzipped.progress, 1.0f);
    FileTree expected;
    for (const auto& [path, content] : kShow)
        expected["Export/" + path] = content;
    expected["Export/"] = expected["Export/a/"] = expected["Export/Cache/"] = QByteArray();
    EXPECT_EQ(readTree(temp.file("out")), expected);
}

TEST(Zipper, theDelegateLeavesFilesOutAndChoosesTheirLevel)
{
    TempFolder temp;
    const QString source = temp.file("Export");
    writeFiles(source, kShow);
    RecordingZipperDelegate delegate(source);
    delegate.include = [](const QString& name, int32_t* level) {
        if (name == "c.txt")
            *level = 9;
        return !name.startsWith("Cache");
    };
    zip(source, temp.file("x.zip"), delegate, [](ZEPZipper& zipper) {
        zipper.start(); // a second start does nothing
    });
    EXPECT_EQ(delegate.last(), "finish");
    ZipFile archive(temp.file("x.zip"), ZipFile::kModeUnzip);
    const QList<FileInZipInfo> infos = archive.listFileInZipInfos();
    ASSERT_EQ(infos.size(), 3);
    EXPECT_EQ(infos[2].name(), "Export/c.txt");
    EXPECT_EQ(infos[2].level(), 9);

    // Unzipping, entries left out don't count either.
    RecordingZipperDelegate unzipping(temp.file("out"));
    unzipping.include = [](const QString& name, int32_t*) { return name != "Export/c.txt"; };
    const Unzipped unzipped = unzip(temp.file("x.zip"), temp.file("out"), unzipping);
    EXPECT_EQ(unzipped.progress, 1.0f);
    EXPECT_FALSE(QFile::exists(temp.file("out/Export/c.txt")));
    EXPECT_TRUE(QFile::exists(temp.file("out/Export/a/b.txt")));
}

TEST(Zipper, progressOfNothingIsZero)
{
    TempFolder temp;
    QDir().mkpath(temp.file("Empty"));
    ZEPZipper idle(QUrl::fromLocalFile(temp.file("Empty")));
    EXPECT_EQ(idle.progress(), 0.0f);

    RecordingZipperDelegate delegate;
    ZEPZipper zipper(QUrl::fromLocalFile(temp.file("Empty")));
    zipper.setDelegate(&delegate);
    zipper.start();
    ASSERT_TRUE(waitUntil([&] { return delegate.ended(); }));
    EXPECT_EQ(delegate.notices, (QStringList{"begin", "finish"}));
    EXPECT_EQ(zipper.progress(), 0.0f);
    EXPECT_EQ(zipper.outputURL().toLocalFile(), temp.file("Empty.zip")); // the default output
}

TEST(Unzipper, unpacksWhatTheArchiveHoldsAndNothingElse)
{
    const QString deepName = "Show/" + QString(120, 'p') + "/" + QString(120, 'q') + "/" + QString(100, 'r') + ".txt";
    struct Row {
        const char* what;
        std::vector<ArchiveEntry> entries;
        FileTree expected;
    };
    const std::vector<Row> rows{
        {"resource forks of other archivers are left out",
         {{"x", "ex"}, {"__MACOSX/._x", "fork"}},
         {{"x", "ex"}}},
        {"folder entries make folders",
         {{"Show/", ""}, {"Show/Empty/", ""}, {"Show/a.txt", "a", 6}},
         {{"Show/", ""}, {"Show/Empty/", ""}, {"Show/a.txt", "a"}}},
        {"dot and dot-dot inside the folder are resolved",
         {{"./Show/./a.txt", "a"}, {"Show/sub/../b.txt", "b"}},
         {{"Show/", ""}, {"Show/a.txt", "a"}, {"Show/b.txt", "b"}}},
        {"names of more than 256 bytes",
         {{deepName, "deep"}},
         {{"Show/", ""},
          {"Show/" + QString(120, 'p') + "/", ""},
          {"Show/" + QString(120, 'p') + "/" + QString(120, 'q') + "/", ""},
          {deepName, "deep"}}},
        {"an empty archive", {}, {}},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.what);
        TempFolder temp;
        writeArchive(temp.file("in.zip"), row.entries);
        RecordingZipperDelegate delegate;
        const Unzipped unzipped = unzip(temp.file("in.zip"), temp.file("out"), delegate);
        EXPECT_EQ(unzipped.notices.last(), "finish");
        EXPECT_EQ(readTree(temp.file("out")), row.expected);
        EXPECT_EQ(unzipped.progress, row.entries.empty() ? 0.0f : 1.0f);
    }
}

TEST(Unzipper, aNameThatWouldLeaveTheFolderFailsTheArchiveBeforeAnythingIsWritten)
{
    for (const QString& bad : {QString("../evil.txt"), QString("Show/../../evil.txt"), QString("Show/./../.."),
                               QString("a/b/../../../evil.txt"), QString("ABSOLUTE/evil.txt"), QString("/"),
                               QString(".")}) {
        SCOPED_TRACE(bad.toStdString());
        TempFolder sandbox;
        const QString target = sandbox.file("inside/target");
        // An absolute name points into the sandbox, beside the target.
        const QString name = bad.startsWith("ABSOLUTE") ? sandbox.file("evil.txt") : bad;
        writeArchive(sandbox.file("slip.zip"), {{"Show/ok.txt", "fine"}, {name, "gotcha"}, {"Show/late.txt", "late"}});
        const FileTree before = readTree(sandbox.path());

        RecordingZipperDelegate delegate;
        ZEPUnzipper unzipper(QUrl::fromLocalFile(sandbox.file("slip.zip")));
        unzipper.setOutputURL(QUrl::fromLocalFile(target));
        unzipper.setDelegate(&delegate);
        unzipper.start(); // fails at once, on this thread
        EXPECT_EQ(delegate.notices, QStringList{"error"});
        EXPECT_EQ(unzipper.error().domain, ZEPZipper::ErrorDomain);
        EXPECT_TRUE(unzipper.error().description().contains("outside"));
        settleEventLoop();
        EXPECT_EQ(delegate.notices, QStringList{"error"});
        EXPECT_EQ(readTree(sandbox.path()), before); // nothing written, inside or out
    }
}

TEST(Unzipper, aDamagedArchiveEndsInAnErrorAndKeepsOnlyWholeFiles)
{
    TempFolder temp;
    const QByteArray sound = randomBytes(50000);
    writeArchive(temp.file("good.zip"), {{"Show/first.txt", "first"}, {"Show/sound.wav", sound}, {"Show/last.txt", "last"}});
    const QByteArray good = readFile(temp.file("good.zip"));
    const qsizetype soundData = good.indexOf("Show/sound.wav") + 14 + 1000;

    struct Row {
        const char* what;
        QByteArray bytes;
        QStringList notices;
        FileTree kept;
    };
    QByteArray flipped = good;
    flipped[soundData] = char(flipped[soundData] ^ 0x01);
    const std::vector<Row> rows{
        {"truncated", good.left(good.size() / 2), {"error"}, {}},
        {"truncated in its directory", good.left(good.size() - 30), {"error"}, {}},
        {"not an archive", randomBytes(4000), {"error"}, {}},
        {"empty file", QByteArray(), {"error"}, {}},
        {"damaged data",
         flipped,
         {"begin", "+ Show/first.txt", "- Show/first.txt", "+ Show/sound.wav", "! Show/sound.wav", "error"},
         {{"Show/", ""}, {"Show/first.txt", "first"}}},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.what);
        TempFolder run;
        QFile file(run.file("bad.zip"));
        ASSERT_TRUE(file.open(QIODevice::WriteOnly));
        file.write(row.bytes);
        file.close();
        RecordingZipperDelegate delegate(run.file("out"));
        const Unzipped unzipped = unzip(run.file("bad.zip"), run.file("out"), delegate);
        EXPECT_EQ(unzipped.notices, row.notices);
        EXPECT_TRUE(unzipped.error.isError());
        EXPECT_EQ(readTree(run.file("out")), row.kept);
    }
}

TEST(Zipper, aFileThatFailsEndsTheZipWithTheErrorLastAndNoArchive)
{
    TempFolder temp;
    const QString source = temp.file("Export");
    writeFiles(source, {{"a.txt", "a"}, {"b.txt", "b"}, {"c.txt", "c"}});
    RecordingZipperDelegate delegate(source);
    // b.txt vanishes after it was queued, before it is zipped.
    delegate.include = [&](const QString& name, int32_t*) {
        if (name == "c.txt")
            QFile::remove(source + "/b.txt");
        return true;
    };
    auto zipper = std::make_unique<ZEPZipper>(QUrl::fromLocalFile(source));
    zipper->setOutputURL(QUrl::fromLocalFile(temp.file("Export.ckzip")));
    zipper->setDelegate(&delegate);
    Error error;
    uint64_t filesProcessed = 0;
    delegate.onEnd = [&] { // the owner lets go of the zipper when it hears the end
        error = zipper->error();
        filesProcessed = zipper->filesProcessed();
        EXPECT_FALSE(zipper->isFinished());
        zipper.reset();
    };
    zipper->start();
    ASSERT_TRUE(waitUntil([&] { return delegate.ended(); }));
    settleEventLoop();
    EXPECT_EQ(delegate.notices, (QStringList{"begin", "+ a.txt", "- a.txt", "+ b.txt", "! b.txt", "error"}));
    EXPECT_TRUE(error.description().contains("b.txt"));
    EXPECT_FALSE(QFile::exists(temp.file("Export.ckzip")));
    EXPECT_EQ(filesProcessed, 1u);
}

TEST(Zipper, anArchiveThatCannotBeWrittenFailsTheZip)
{
    TempFolder temp;
    writeFiles(temp.file("Export"), {{"a.txt", "a"}});
    RecordingZipperDelegate delegate;
    zip(temp.file("Export"), temp.file("no/such/folder/Export.ckzip"), delegate);
    EXPECT_EQ(delegate.notices.last(), "error");
    EXPECT_FALSE(delegate.notices.contains("finish"));
}

TEST(Zipper, cancellingALargeFileEndsWithTheCancelAndLeavesNothingHalfDone)
{
    // One-byte chunks make a few megabytes take long enough to cancel in the middle.
    const QByteArray large = randomBytes(8 << 20);
    for (const bool unzipping : {false, true}) {
        SCOPED_TRACE(unzipping ? "unzipper" : "zipper");
        TempFolder temp;
        writeFiles(temp.file("Export"), {{"large.wav", large}, {"z.txt", "after"}});
        if (unzipping) {
            writeArchive(temp.file("in.zip"), {{"Export/large.wav", large}, {"Export/z.txt", "after"}});
        }
        std::unique_ptr<ZEPZipper> zipper;
        if (unzipping) {
            zipper = std::make_unique<ZEPUnzipper>(QUrl::fromLocalFile(temp.file("in.zip")));
            zipper->setOutputURL(QUrl::fromLocalFile(temp.file("out")));
        } else {
            zipper = std::make_unique<ZEPZipper>(QUrl::fromLocalFile(temp.file("Export")));
            zipper->setOutputURL(QUrl::fromLocalFile(temp.file("out.zip")));
        }
        RecordingZipperDelegate delegate;
        zipper->setDelegate(&delegate);
        zipper->setProcessingBytesSize(1);
        zipper->start();
        ASSERT_TRUE(waitUntil([&] { return zipper->bytesProcessed() > 0; }));
        bool cancelled = false;
        float progress = 1;
        delegate.onEnd = [&] { // the owner lets go of the zipper when it hears the end
            cancelled = zipper->isCancelled();
            progress = zipper->progress();
            zipper.reset();
        };
        zipper->cancel(); // returns once the cancel is told
        EXPECT_EQ(delegate.last(), "cancel");
        EXPECT_EQ(zipper, nullptr);
        EXPECT_TRUE(cancelled);
        EXPECT_LT(progress, 1.0f);
        settleEventLoop();
        EXPECT_EQ(delegate.last(), "cancel");
        EXPECT_FALSE(delegate.notices.contains("finish"));
        EXPECT_FALSE(QFile::exists(temp.file("out.zip")));
        const FileTree left = unzipping ? FileTree{{"Export/", ""}} : FileTree{};
        EXPECT_EQ(readTree(temp.file("out")), left);
        EXPECT_EQ(delegate.notices.count("cancel"), 1);
    }
}

TEST(Zipper, anOwnerOnAnotherThreadWaitsForTheEndWhileTheMainThreadMayCancel)
{
    TempFolder temp;
    writeFiles(temp.file("Export"), {{"a.wav", randomBytes(4 << 20)}, {"b.txt", "b"}});
    for (const bool cancels : {false, true}) {
        SCOPED_TRACE(cancels ? "cancelled" : "finished");
        const QString archive = temp.file(cancels ? "cancelled.ckzip" : "finished.ckzip");
        std::mutex mutex;
        std::shared_ptr<ZEPZipper> shared; // what the main thread may cancel
        std::atomic<bool> done{false}, finished{false}, cancelled{false}, archiveLeft{false};
        // The board export's way: start, wait, read the outcome, all on its own thread.
        std::thread owner([&] {
            auto zipper = std::make_shared<ZEPZipper>(QUrl::fromLocalFile(temp.file("Export")));
            zipper->setOutputURL(QUrl::fromLocalFile(archive));
            if (cancels)
                zipper->setProcessingBytesSize(1);
            zipper->start();
            {
                std::lock_guard lock(mutex);
                shared = zipper;
            }
            zipper->waitUntilComplete();
            // Settled on return: a cancel has removed the archive already.
            finished = zipper->isFinished();
            cancelled = zipper->isCancelled();
            archiveLeft = QFile::exists(archive);
            done = true;
        });
        if (cancels) {
            std::shared_ptr<ZEPZipper> zipper;
            ASSERT_TRUE(waitUntil([&] {
                std::lock_guard lock(mutex);
                zipper = shared;
                return zipper && zipper->bytesProcessed() > 0;
            }));
            zipper->cancel();
        }
        EXPECT_TRUE(waitUntil([&] { return done.load(); }, 60000));
        owner.join();
        shared.reset();
        EXPECT_EQ(finished.load(), !cancels);
        EXPECT_EQ(cancelled.load(), cancels);
        EXPECT_EQ(archiveLeft.load(), !cancels);
        settleEventLoop(); // notices of a zipper that went are dropped
    }
}

TEST(Zipper, destroyingARunningZipperStopsItQuietly)
{
    TempFolder temp;
    writeFiles(temp.file("Export"), {{"a.wav", randomBytes(1 << 20)}});
    RecordingZipperDelegate delegate;
    {
        ZEPZipper zipper(QUrl::fromLocalFile(temp.file("Export")));
        zipper.setDelegate(&delegate);
        zipper.setProcessingBytesSize(1);
        zipper.start();
        ASSERT_TRUE(waitUntil([&] { return zipper.bytesProcessed() > 0; }));
    }
    settleEventLoop();
    EXPECT_FALSE(delegate.ended());
    EXPECT_FALSE(QFile::exists(temp.file("Export.zip"))); // no half-written archive stays
}
