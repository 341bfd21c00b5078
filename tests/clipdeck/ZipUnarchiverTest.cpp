// The archive unpacking queue: archives unpacked one after another under one sheet and handed
// over as board folders, bad archives reported without holding up the rest, cancels, the
// progress timer, and names already taken.
#include "ArchiveTestSupport.h"
#include "clipdeck/CKZipUnarchiver.h"
#include "clipdeck/ZEPUnzipper.h"

#include "platform/TimeSource.h"
#include "support/SettleEventLoop.h"
#include "support/TestEnvironment.h"

#include <QDir>
#include <QFile>

#include <gtest/gtest.h>

using namespace clipdeck::test;

namespace {

// Unpacking several archives under ThreadSanitizer on two loaded cores can take many seconds.
constexpr int kUnpackTimeoutMs = 60000;

class FakeSheet : public CKProgressSheet {
public:
    explicit FakeSheet(QStringList& calls) : calls_(calls) {}
    void setTitle(const QString& title) override { calls_ << "title " + title; }
    void setIcon(const QString& name) override { icon = name; }
    void setProgress(float value) override
    {
        progress = value;
        ++progressUpdates;
    }
    void setDelegate(CKExportControllerDelegate* d) override { delegate = d; }
    bool isSheetShown() const override { return shown; }
    void beginSheetModalForWindow(QWidget*) override
    {
        shown = true;
        calls_ << "show";
    }
    void dismiss() override
    {
        shown = false;
        calls_ << "dismiss";
    }
    QString icon;
    float progress = -1;
    int progressUpdates = 0;
    bool shown = false;
    CKExportControllerDelegate* delegate = nullptr;

private:
    QStringList& calls_;
};

// Writes down what the unarchiver tells, in order, with the sheet's calls among them.
class RecordingUnarchiverDelegate : public CKZipUnarchiverDelegate {
public:
    void zipUnarchiverDidUnarchiveURL(CKZipUnarchiver*, const QUrl& url) override
    {
        calls << "unarchived " + QFileInfo(url.toLocalFile()).fileName();
        folders << url.toLocalFile();
    }
    void zipUnarchiverDidFailToUnarchiveFile(CKZipUnarchiver*, const QString& path, const Error& error) override
    {
        calls << "failed " + QFileInfo(path).fileName();
        errors.push_back(error);
    }
    void zipUnarchiverDidCancel(CKZipUnarchiver*) override { calls << "cancelled"; }
    void zipUnarchiverDidFinish(CKZipUnarchiver*) override { calls << "finished"; }
    bool ended() const { return calls.contains("finished") || calls.contains("cancelled"); }
    QStringList calls;
    QStringList folders;
    std::vector<Error> errors;
};

// A temporary folder of the test's own (the unarchiver unpacks into the system's).
class Unarchiving : public ::testing::Test {
protected:
    void SetUp() override
    {
        previousTemp_ = qgetenv("TMPDIR");
        qputenv("TMPDIR", tmp_.path().toLocal8Bit());
        unarchiver.setDelegate(&delegate);
        unarchiver.setSheetFactory([this] {
            auto made = std::make_unique<FakeSheet>(delegate.calls);
            sheet = made.get();
            return made;
        });
    }
    void TearDown() override { qputenv("TMPDIR", previousTemp_); }

    QString archivePath(const QString& name) const { return archives_.file(name); }
    // An archive in the test's folder.
    QString archiveOf(const QString& name, const std::vector<ArchiveEntry>& entries)
    {
        writeArchive(archivePath(name), entries);
        return archivePath(name);
    }
    // A board archive: one board folder with a document and `sounds` cache files.
    QString boardArchive(const QString& name, const QString& folder = "Show.clipdeck", int sounds = 1)
    {
        std::vector<ArchiveEntry> entries{{folder + "/Contents.xml", "<clipdeck/>"}};
        for (int i = 0; i < sounds; ++i)
            entries.push_back({QString("%1/Cache/%2-sound.m4a").arg(folder).arg(i), randomBytes(1 << 20, unsigned(i))});
        return archiveOf(name, entries);
    }
    // What the system's temporary folder holds.
    QStringList tmpItems() const { return QDir(tmp_.path()).entryList(QDir::AllEntries | QDir::NoDotAndDotDot); }
    QString tmpPath() const { return tmp_.path(); }

    ManualTimeSource clock;
    RecordingUnarchiverDelegate delegate;
    CKZipUnarchiver unarchiver;
    FakeSheet* sheet = nullptr;

private:
    TempFolder tmp_, archives_;
    QByteArray previousTemp_;
};

} // namespace

TEST_F(Unarchiving, archivesUnpackOneAfterAnotherUnderOneSheetAndAreHandedOverByTheirNames)
{
    unarchiver.importFile(boardArchive("Party.ckzip"));
    unarchiver.importFile(boardArchive("Gala.ckzip", "7.clipdeck"));
    EXPECT_EQ(unarchiver.pendingArchives(), QStringList{archivePath("Gala.ckzip")});
    ASSERT_TRUE(waitUntil([&] { return delegate.ended(); }, kUnpackTimeoutMs));
    EXPECT_EQ(delegate.calls, (QStringList{"title Unarchiving \"Party.ckzip\"...", "show", "unarchived Party.clipdeck",
                                           "title Unarchiving \"Gala.ckzip\"...", "unarchived Gala.clipdeck",
                                           "dismiss", "finished"}));
    ASSERT_NE(sheet, nullptr);
    EXPECT_EQ(sheet->icon, "clipdeckarchive");
    EXPECT_EQ(sheet->progress, 1.0f);
    // Each board folder is handed over whole, in the temporary folder; nothing else is left there.
    EXPECT_EQ(tmpItems(), (QStringList{"Gala.clipdeck", "Party.clipdeck"}));
    EXPECT_EQ(readTree(tmpPath() + "/Party.clipdeck").count("Contents.xml"), 1u);
    EXPECT_EQ(readTree(tmpPath() + "/Gala.clipdeck").count("Cache/0-sound.m4a"), 1u);
    EXPECT_EQ(clock.waitingTimers(), 0); // the progress timer stopped
    EXPECT_FALSE(unarchiver.isUnzipping());
}

TEST_F(Unarchiving, aBadArchiveIsReportedAndTheNextOneStillUnpacks)
{
    const QByteArray board = readFile(boardArchive("Board.ckzip"));
    struct Row {
        const char* what;
        std::function<void(const QString& path)> write;
    };
    const auto bytes = [](const QByteArray& content) {
        return [content](const QString& path) {
            QFile file(path);
            ASSERT_TRUE(file.open(QIODevice::WriteOnly));
            file.write(content);
        };
    };
    const auto entries = [](std::vector<ArchiveEntry> list) {
        return [list](const QString& path) { writeArchive(path, list); };
    };
    const std::vector<Row> rows{
        {"a name that leaves the folder",
         entries({{"Show.clipdeck/Contents.xml", "<clipdeck/>"}, {"Show.clipdeck/../../evil.txt", "gotcha"}})},
        {"truncated", bytes(board.left(board.size() / 2))},
        {"damaged in the middle", bytes(board.left(100) + QByteArray(4000, 'x') + board.mid(4100))},
        {"not an archive", bytes(randomBytes(3000))},
        {"two folders", entries({{"A.clipdeck/Contents.xml", "a"}, {"B.clipdeck/Contents.xml", "b"}})},
        {"a file and no folder", entries({{"Contents.xml", "<clipdeck/>"}})},
        {"nothing in it", entries({})},
    };
    const QString lead = boardArchive("Lead.ckzip");
    const QString good = boardArchive("Good.ckzip");
    for (const Row& row : rows) {
        SCOPED_TRACE(row.what);
        delegate.calls.clear();
        delegate.errors.clear();
        row.write(archivePath("Bad.ckzip"));
        // Queued behind another, so that one that fails at once still has one after it.
        unarchiver.importFile(lead);
        unarchiver.importFile(archivePath("Bad.ckzip"));
        unarchiver.importFile(good);
        ASSERT_TRUE(waitUntil([&] { return delegate.ended(); }, kUnpackTimeoutMs));
        EXPECT_EQ(delegate.calls,
                  (QStringList{"title Unarchiving \"Lead.ckzip\"...", "show", "unarchived Lead.clipdeck",
                               "title Unarchiving \"Bad.ckzip\"...", "failed Bad.ckzip",
                               "title Unarchiving \"Good.ckzip\"...", "unarchived Good.clipdeck", "dismiss",
                               "finished"}));
        ASSERT_EQ(delegate.errors.size(), 1u);
        EXPECT_EQ(delegate.errors[0].domain, CKZipUnarchiver::ErrorDomain);
        EXPECT_EQ(delegate.errors[0].localizedDescription, "Could not unarchive \"Bad.ckzip\"");
        EXPECT_FALSE(delegate.errors[0].localizedFailureReason.isEmpty());
        // The bad archive's temporary folder went, and nothing landed beside it.
        EXPECT_EQ(tmpItems(), (QStringList{"Good.clipdeck", "Lead.clipdeck"}));
        EXPECT_EQ(clock.waitingTimers(), 0);
        for (const QString& item : tmpItems())
            QDir(tmpPath() + "/" + item).removeRecursively();
    }
}

TEST_F(Unarchiving, cancellingStopsTheCurrentArchiveAndKeepsTheRestQueued)
{
    const QString second = boardArchive("Second.ckzip");
    unarchiver.importFile(boardArchive("Big.ckzip", "Show.clipdeck", 40));
    unarchiver.importFile(second);

    // The sheet's progress follows every 0.2 s once the unzip has begun.
    ASSERT_TRUE(waitUntil([&] { return clock.waitingTimers() == 1; }));
    ASSERT_NE(unarchiver.unzipper(), nullptr);
    // Held once its first file is out (a pause before any file began would hold it at 0),
    // after the file it unpacks now.
    ASSERT_TRUE(waitUntil([&] { return unarchiver.unzipper()->progress() > 0.0f; }));
    unarchiver.unzipper()->pause();
    const int updates = sheet->progressUpdates;
    clock.advance(0.2);
    EXPECT_EQ(sheet->progressUpdates, updates + 1);
    EXPECT_GT(sheet->progress, 0.0f);
    EXPECT_LT(sheet->progress, 1.0f);
    EXPECT_EQ(tmpItems().size(), 1); // the archive's temporary folder

    ASSERT_NE(sheet->delegate, nullptr);
    sheet->delegate->exportControllerDidCancel(sheet);
    EXPECT_EQ(delegate.calls, (QStringList{"title Unarchiving \"Big.ckzip\"...", "show", "dismiss", "cancelled"}));
    EXPECT_EQ(unarchiver.pendingArchives(), QStringList{archivePath("Second.ckzip")});
    EXPECT_FALSE(unarchiver.isUnzipping());
    EXPECT_EQ(clock.waitingTimers(), 0);
    EXPECT_TRUE(tmpItems().isEmpty());
    settleEventLoop();
    EXPECT_EQ(delegate.calls.last(), "cancelled");

    // The next archive opened begins the oldest one waiting.
    delegate.calls.clear();
    unarchiver.importFile(boardArchive("Third.ckzip"));
    ASSERT_TRUE(waitUntil([&] { return delegate.ended(); }, kUnpackTimeoutMs));
    EXPECT_EQ(delegate.calls, (QStringList{"title Unarchiving \"Second.ckzip\"...", "show", "unarchived Second.clipdeck",
                                           "title Unarchiving \"Third.ckzip\"...", "unarchived Third.clipdeck",
                                           "dismiss", "finished"}));
}

TEST_F(Unarchiving, aNameAlreadyTakenGetsAFreshDestination)
{
    writeFiles(tmpPath() + "/Party.clipdeck", {{"Contents.xml", "an earlier board"}});
    unarchiver.importFile(boardArchive("Party.ckzip"));
    ASSERT_TRUE(waitUntil([&] { return delegate.ended(); }, kUnpackTimeoutMs));
    EXPECT_EQ(delegate.calls.at(2), "unarchived Party 2.clipdeck");
    EXPECT_EQ(readFile(tmpPath() + "/Party.clipdeck/Contents.xml"), "an earlier board");
    EXPECT_EQ(readFile(tmpPath() + "/Party 2.clipdeck/Contents.xml"), "<clipdeck/>");
}
