// Boards in and out of the shell with real folders and archives (offscreen window): the
// shown board's export behind its progress sheet, with cancel, failure and quit; the Import
// panel taking board folders and archives; the 64-board limit and damaged input; Import
// Sounds; and the menus held while an export or an unpacking runs.
#include "app/AppController.h"
#include "app/CKDumbButton.h"
#include "app/CKExportController.h"

#include "../clipdeck/ArchiveTestSupport.h"
#include "../clipdeck/BoardTestSupport.h"
#include "AppTestSupport.h"
#include "ShellFixture.h"
#include "UnmovableFolder.h"
#include "clipdeck/CKClipdeck.h"
#include "clipdeck/CKSoundCachedFileSource.h"

#include <QAction>
#include <QDir>
#include <QFile>
#include <QFileDialog>
#include <QLabel>
#include <QLineEdit>
#include <QProgressBar>
#include <QPushButton>

#include <thread>

using namespace clipdeck::test;

namespace {

// Time an export of real sounds may take under the sanitizers on a loaded machine.
constexpr int kExportTimeoutMs = 300000;

QStringList entriesOf(const QString& folder, const QStringList& patterns = {})
{
    return QDir(folder).entryList(patterns, QDir::AllEntries | QDir::NoDotAndDotDot | QDir::Hidden, QDir::Name);
}

class ImportExport : public Shell {
protected:
    void SetUp() override
    {
        // The unpacked archives go to a temporary folder of the test's own.
        previousTemp_ = qgetenv("TMPDIR");
        qputenv("TMPDIR", tmp.path().toLocal8Bit());
    }
    void TearDown() override
    {
        Shell::TearDown();
        qputenv("TMPDIR", previousTemp_);
    }

    void start(const QStringList& names)
    {
        for (qsizetype index = 0; index < names.size(); ++index)
            folder.writeBoard(std::size_t(index), contentsXML(names[index], {}));
        awake();
        launch();
    }

    std::shared_ptr<CKSoundCachedFileSource> addSound(const QString& name, std::size_t cell, qint64 frames = 22050)
    {
        const auto sound = controller->shownClipdeck()->createSoundFromPath(makeWAV(files, name + ".wav", frames), cell);
        EXPECT_TRUE(sound && loadFeed(*sound));
        return sound;
    }

    // The panel showing, when it is the one named.
    static QFileDialog* waitForPanel(const QString& name)
    {
        auto* panel = qobject_cast<QFileDialog*>(waitForSheet());
        return panel && panel->objectName() == name ? panel : nullptr;
    }

    // Picks the names in the panel's folder as a user types them, and presses its Open.
    static void choose(QFileDialog* panel, const QString& in, const QStringList& names)
    {
        panel->setDirectory(in);
        QStringList quoted;
        for (const QString& name : names)
            quoted << '"' + name + '"';
        auto* field = panel->findChild<QLineEdit*>(QStringLiteral("fileNameEdit"));
        ASSERT_NE(field, nullptr);
        field->setText(names.size() == 1 ? names.first() : quoted.join(' '));
        static_cast<QDialog*>(panel)->accept(); // the panel's Open or Save
    }

    // The board commands that change or move through the list, and their enabled states.
    QList<bool> menuStates() const
    {
        QList<bool> states;
        for (QAction* action : {window->newClipdeckAction(), window->renameClipdeckAction(),
                                window->deleteClipdeckAction(), window->importClipdeckAction(),
                                window->exportClipdeckAction(), window->importSoundsAction()})
            states << action->isEnabled();
        return states;
    }
    static QList<bool> all(bool enabled) { return QList<bool>(6, enabled); }

    bool exportEnds() { return waitUntil([&] { return !controller->isExporting(); }, kExportTimeoutMs); }
    // Unpacked archives left in the temporary folder.
    QStringList unpackedFolders() const { return entriesOf(tmp.path(), {"*.clipdeck"}); }
    static bool scratchExists() { return QFileInfo::exists(CKClipdeck::clipdecksFolder() + "/Export"); }

    QString boardArchive(const QString& name, const QByteArray& contents)
    {
        const QString path = files.file(name + ".ckzip");
        writeArchive(path, {{"Show.clipdeck/Contents.xml", contents}, {"Show.clipdeck/Cache/", {}}});
        return path;
    }
    QString boardFolder(const QString& name, const QByteArray& contents)
    {
        const QString path = files.file(name + ".clipdeck");
        QDir().mkpath(path + "/Cache");
        BoardsFolder::touch(path + "/Contents.xml", contents);
        return path;
    }

    BoardsFolder folder;
    TempFolder files;
    TempFolder out;
    TempFolder tmp;

private:
    QByteArray previousTemp_;
};

} // namespace

// The sheet's contents change by the keys given, from any thread; Escape asks to cancel and
// leaves the sheet up.
TEST(ExportSheet, InfoSetsOnlyTheKeysGivenFromAnyThreadAndEscapeOnlyAsksToCancel)
{
    struct Canceller : CKExportControllerDelegate {
        void exportControllerDidCancel(CKProgressSheet*) override { ++cancels; }
        int cancels = 0;
    } delegate;
    CKExportController sheet;
    sheet.setDelegate(&delegate);
    EXPECT_EQ(sheet.info(), (QVariantMap{{"progress", 0.0}}));
    sheet.setInfo({{"title", "Exporting Show..."}, {"message", "(1/2) drum"}, {"progress", 0.25}, {"icon", "clipdeckarchive"}});
    sheet.setInfo({{"progress", 0.5}});
    EXPECT_EQ(sheet.info(), (QVariantMap{{"title", "Exporting Show..."}, {"message", "(1/2) drum"}, {"progress", 0.5},
                                         {"icon", "clipdeckarchive"}}));
    EXPECT_EQ(sheet.progressBar()->value(), sheet.progressBar()->maximum() / 2);

    std::thread([&] { sheet.setInfo({{"message", "(2/2) bell"}}); }).join();
    EXPECT_EQ(sheet.message(), "(1/2) drum") << "applied on the main thread, not the caller's";
    ASSERT_TRUE(waitUntil([&] { return sheet.message() == "(2/2) bell"; }));
    EXPECT_EQ(sheet.fileLabel()->text(), "(2/2) bell");

    sheet.beginSheetModalForWindow(nullptr);
    ASSERT_EQ(CKSheetPresenter::shared().currentSheet(), &sheet);
    QTest::keyClick(&sheet, Qt::Key_Escape);
    EXPECT_EQ(delegate.cancels, 1);
    EXPECT_TRUE(sheet.isVisible());
    sheet.dismiss();
    EXPECT_FALSE(CKSheetPresenter::shared().isShowingSheet());
    EXPECT_FALSE(sheet.isVisible());
}

// Export of a two-sound board through the save panel: the archive holds the board with its
// rename of a moment before; the sheet counts the sounds; the old file reaches the Trash only
// once the new archive is complete; the menus hold still meanwhile; key triggers come back.
TEST_F(ImportExport, TheShownBoardExportsWithItsLastRenameAndTheOldFileGoesOnlyAfterSuccess)
{
    start({"Show", "Other"});
    const auto drum = addSound("drum", 0);
    const auto bell = addSound("bell", 5);
    ASSERT_TRUE(controller->shownClipdeck()->save());
    const QString target = out.file("Show.ckzip");
    BoardsFolder::touch(target, "the old archive");
    controller->tabBarDidEndEditingName(bar(), "Show night", 0);
    ASSERT_TRUE(controller->shownClipdeck()->needsSave()) << "the rename is not written yet";

    window->exportClipdeckAction()->trigger();
    QFileDialog* panel = waitForPanel("exportPanel");
    ASSERT_NE(panel, nullptr);
    EXPECT_EQ(QFileInfo(panel->selectedFiles().value(0)).fileName(), "Show night.ckzip");
    EXPECT_FALSE(application().isForwardingEvents());
    panel->setOption(QFileDialog::DontConfirmOverwrite); // the user agreed to replace it
    panel->selectFile(target);
    static_cast<QDialog*>(panel)->accept(); // the panel's Open or Save

    CKExportController* sheet = controller->exportController();
    ASSERT_NE(sheet, nullptr);
    EXPECT_EQ(sheet->title(), "Preparing Show night for export...");
    EXPECT_EQ(sheet->icon(), "clipdeckarchive");
    QStringList messages, titles, trashedDuring;
    QList<QList<bool>> menusDuring;
    QList<bool> movedDuring;
    QObject::connect(sheet, &CKExportController::messageChanged, sheet, [&](const QString& message) {
        messages << message;
        titles << sheet->title();
        trashedDuring << trashedNames();
        menusDuring << menuStates();
        // The export reads the board's folder by its number: the tabs hold still.
        movedDuring << controller->moveClipdeckAtIndex(0, 1);
    });
    EXPECT_EQ(menuStates(), all(false));
    EXPECT_FALSE(bar()->addButton()->isEnabled());
    ASSERT_TRUE(exportEnds());

    EXPECT_EQ(messages, QStringList({"(1/2) drum", "(2/2) bell"}));
    EXPECT_EQ(titles, QStringList({"Exporting Show night...", "Exporting Show night..."}));
    EXPECT_TRUE(trashedDuring.isEmpty()) << "the old file stays until the new archive is complete";
    EXPECT_EQ(menusDuring, QList<QList<bool>>(2, all(false)));
    EXPECT_EQ(movedDuring, QList<bool>({false, false}));
    EXPECT_EQ(controller->clipdeckNames(), QStringList({"Show night", "Other"}));
    EXPECT_EQ(trashedNames(), QStringList({"Show.ckzip"}));
    EXPECT_EQ(entriesOf(out.path()), QStringList({"Show.ckzip"})) << "no temporary file beside it";
    EXPECT_FALSE(scratchExists());
    // The cached files are the sounds' imported copies.
    const QString drumFile = QFileInfo(drum->fullCachePath()).fileName();
    const QString bellFile = QFileInfo(bell->fullCachePath()).fileName();
    QStringList expected = {"0.clipdeck/Cache/" + drumFile, "0.clipdeck/Cache/" + bellFile, "0.clipdeck/Contents.xml",
                            "0.clipdeck/Prerendered/" + drumFile, "0.clipdeck/Prerendered/" + bellFile};
    expected.sort();
    EXPECT_EQ(unzipList(target), expected);
    TempFolder unpacked;
    ASSERT_TRUE(unzipInto(target, unpacked.path()));
    EXPECT_TRUE(readFile(unpacked.file("0.clipdeck/Contents.xml")).contains("name=\"Show night\""));

    settleEventLoop();
    EXPECT_FALSE(CKSheetPresenter::shared().isShowingSheet()) << "a finished export shows nothing";
    EXPECT_TRUE(application().isForwardingEvents());
    EXPECT_EQ(menuStates(), all(true));
    EXPECT_TRUE(bar()->addButton()->isEnabled());
    EXPECT_TRUE(controller->shownClipdeck()->prerendered());
}

// A cancel while the first sound renders leaves the old file, no scratch folder and no
// error; a target folder that cannot be written to gives one error and keeps the old file.
TEST_F(ImportExport, ACancelledOrFailedExportKeepsTheOldFileAndSaysSoOnlyOnFailure)
{
    start({"Show"});
    addSound("drum", 0, 20 * 44100);
    const QString target = out.file("Show.ckzip");
    BoardsFolder::touch(target, "the old archive");

    controller->exportCurrentClipdeckToPath(target);
    CKExportController* sheet = controller->exportController();
    ASSERT_NE(sheet, nullptr);
    QObject::connect(sheet, &CKExportController::messageChanged, sheet->cancelButton(), &QPushButton::click);
    ASSERT_TRUE(exportEnds());
    settleEventLoop();
    EXPECT_FALSE(CKSheetPresenter::shared().isShowingSheet()) << "a cancel is no error";
    EXPECT_EQ(readFile(target), "the old archive");
    EXPECT_EQ(entriesOf(out.path()), QStringList({"Show.ckzip"}));
    EXPECT_TRUE(trashedNames().isEmpty());
    EXPECT_FALSE(scratchExists());
    EXPECT_EQ(menuStates(), all(true));

    const Unmovable readOnly(out.path());
    ASSERT_TRUE(readOnly.made) << "the file system cannot hold a folder still";
    controller->exportCurrentClipdeckToPath(target);
    ASSERT_TRUE(exportEnds());
    CKAlert* alert = waitForAlert();
    ASSERT_NE(alert, nullptr);
    EXPECT_EQ(alert->text(), "The clipdeck could not be exported.");
    alert->pressButtonWithReturnCode(CKAlert::FirstButtonReturn);
    settleEventLoop();
    EXPECT_FALSE(CKSheetPresenter::shared().isShowingSheet()) << "the failure is told once";
    EXPECT_EQ(readFile(target), "the old archive");
    EXPECT_TRUE(trashedNames().isEmpty());
    EXPECT_FALSE(scratchExists());
}

// Quitting while an export runs cancels it and waits for its thread: nothing is left.
TEST_F(ImportExport, QuittingDuringAnExportCancelsAndJoinsIt)
{
    start({"Show"});
    addSound("drum", 0, 20 * 44100);
    const QString target = out.file("Show.ckzip");
    controller->exportCurrentClipdeckToPath(target);
    CKExportController* sheet = controller->exportController();
    ASSERT_NE(sheet, nullptr);
    ASSERT_TRUE(waitUntil([&] { return !sheet->message().isEmpty(); }, kExportTimeoutMs));
    EXPECT_EQ(controller->applicationShouldTerminate(&application(), TerminationRequest::Quit),
              ClipdeckApplicationDelegate::TerminateNow);
    controller->applicationWillTerminate(&application());
    EXPECT_FALSE(controller->isExporting());
    EXPECT_EQ(controller->exportingClipdeck(), nullptr);
    EXPECT_FALSE(QFileInfo::exists(target));
    EXPECT_TRUE(entriesOf(out.path()).isEmpty());
    EXPECT_FALSE(scratchExists());
}

// The Import panel takes a board folder, an archive and a text file at once: two new boards,
// the archive's last and shown; the menus hold still while it unpacks; nothing stays in the
// temporary folder.
TEST_F(ImportExport, TheImportPanelBringsInFoldersAndArchivesAndSkipsOtherFiles)
{
    start({"A"});
    boardFolder("Opening", contentsXML("Opening", {}));
    boardArchive("Encore", contentsXML("Show", {}));
    BoardsFolder::touch(files.file("notes.txt"), "not a board");

    window->importClipdeckAction()->trigger();
    QFileDialog* panel = waitForPanel("importPanel");
    ASSERT_NE(panel, nullptr);
    EXPECT_FALSE(application().isForwardingEvents());
    choose(panel, files.path(), {"Opening.clipdeck", "Encore.ckzip", "notes.txt"});
    EXPECT_EQ(controller->clipdeckNames(), QStringList({"A", "Opening"}));
    EXPECT_TRUE(controller->isUnarchiving());
    EXPECT_EQ(menuStates(), all(false));

    ASSERT_TRUE(waitUntil([&] { return !controller->isUnarchiving(); }));
    EXPECT_EQ(controller->clipdeckNames(), QStringList({"A", "Opening", "Encore"}));
    EXPECT_EQ(controller->selectedClipdeckName(), "Encore");
    EXPECT_EQ(window->windowTitle(), "Clipdeck - Encore");
    EXPECT_EQ(folder.folderNames(), QStringList({"0.clipdeck", "1.clipdeck", "2.clipdeck"}));
    EXPECT_EQ(unpackedFolders(), QStringList());
    EXPECT_TRUE(QFileInfo::exists(files.file("Opening.clipdeck/Contents.xml"))) << "a folder is copied";
    settleEventLoop();
    EXPECT_FALSE(CKSheetPresenter::shared().isShowingSheet());
    EXPECT_TRUE(application().isForwardingEvents());
    EXPECT_EQ(menuStates(), all(true));
}

// With 63 boards, two folders or two archives (from the command line) give one board each
// time, one message naming the other, and no temporary folder.
TEST_F(ImportExport, AtSixtyThreeBoardsOnlyTheFirstOfTwoComesInAndTheOtherIsNamed)
{
    QStringList names;
    for (int index = 0; index < 63; ++index)
        names << QStringLiteral("Board %1").arg(index);
    start(names);
    struct Case {
        const char* what;
        QStringList paths;
    };
    const Case cases[] = {
        {"folders", {boardFolder("First", contentsXML("First", {})), boardFolder("Second", contentsXML("Second", {}))}},
        {"archives", {boardArchive("Third", contentsXML("x", {})), boardArchive("Fourth", contentsXML("y", {}))}},
    };
    for (const Case& c : cases) {
        controller->openFiles(c.paths);
        ASSERT_TRUE(waitUntil([&] { return !controller->isUnarchiving(); })) << c.what;
        EXPECT_EQ(controller->numberOfClipdecks(), 64) << c.what;
        EXPECT_EQ(controller->selectedClipdeckName(), QFileInfo(c.paths[0]).completeBaseName()) << c.what;
        CKAlert* alert = waitForAlert();
        ASSERT_NE(alert, nullptr) << c.what;
        EXPECT_EQ(alert->informativeText(), "Clipdeck shows at most 64 clipdecks. Not opened: "
                                                + QFileInfo(c.paths[1]).completeBaseName() + ".")
            << c.what;
        alert->pressButtonWithReturnCode(CKAlert::FirstButtonReturn);
        settleEventLoop();
        EXPECT_FALSE(CKSheetPresenter::shared().isShowingSheet()) << c.what;
        EXPECT_EQ(unpackedFolders(), QStringList()) << c.what;
        ASSERT_TRUE(controller->deleteClipdeckAtIndex(63)) << c.what;
    }
}

// A truncated archive, and a folder or an archive whose document does not parse, each give
// one error and no board, and leave nothing in the boards or temporary folder.
TEST_F(ImportExport, ADamagedArchiveOrFolderGivesOneErrorAndNoBoard)
{
    start({"A"});
    const QString truncated = boardArchive("Broken", contentsXML("Broken", {}));
    QFile archive(truncated);
    ASSERT_TRUE(archive.resize(archive.size() / 2));
    const QString damaged = boardFolder("Garbled", "<clipdeck name=\"Garbled\"><rows>4");
    const QString unpackedButDamaged = boardArchive("Scrambled", "<clipdeck name=\"Scrambled\"><rows>4");
    for (const QString& path : {truncated, damaged, unpackedButDamaged}) {
        controller->importFiles({path});
        ASSERT_TRUE(waitUntil([&] { return !controller->isUnarchiving(); })) << qPrintable(path);
        CKAlert* alert = waitForAlert();
        ASSERT_NE(alert, nullptr) << qPrintable(path);
        EXPECT_TRUE(alert->text().contains(QFileInfo(path).completeBaseName())) << qPrintable(alert->text());
        alert->pressButtonWithReturnCode(CKAlert::FirstButtonReturn);
        settleEventLoop();
        EXPECT_FALSE(CKSheetPresenter::shared().isShowingSheet()) << qPrintable(path);
        EXPECT_EQ(controller->clipdeckNames(), QStringList({"A"}));
        EXPECT_EQ(folder.folderNames(), QStringList({"0.clipdeck"}));
        EXPECT_EQ(unpackedFolders(), QStringList());
    }
}

// Import Sounds opens the sound panel for the first free cell; the chosen file lands there.
TEST_F(ImportExport, ImportSoundsFillsTheFirstFreeCell)
{
    start({"A"});
    addSound("drum", 0);
    const QString bell = makeWAV(files, "bell.wav");
    window->importSoundsAction()->trigger();
    QFileDialog* panel = nullptr;
    ASSERT_TRUE(waitUntil([&] { return (panel = window->findChild<QFileDialog*>("addSoundPanel")) != nullptr; }));
    panel->selectFile(bell);
    static_cast<QDialog*>(panel)->accept(); // the panel's Open or Save
    const std::shared_ptr<CKClipdeck> board = controller->shownClipdeck();
    ASSERT_TRUE(waitUntil([&] { return board->soundExistsAtIndex(1); }));
    EXPECT_EQ(board->soundAtIndex(1)->name(), "bell");
    EXPECT_EQ(board->numberOfSounds(), 2u);
}
