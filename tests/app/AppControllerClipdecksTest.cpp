// The list of boards with real board folders (offscreen window): start-up from the folders,
// deleting, reordering and their folders, folder moves that fail, the 64-board limit,
// opening board folders, quitting with a pending rename, and the preloading of the shown
// board's sounds with the limit on loaded sounds.
#include "app/AppController.h"
#include "app/CKClipdeckNameController.h"
#include "app/CKDumbButton.h"

#include "../clipdeck/BoardTestSupport.h"
#include "AppTestSupport.h"
#include "ShellFixture.h"
#include "UnmovableFolder.h"
#include "clipdeck/CKSoundCachedFileSource.h"
#include "clipdeck/RAOperationQueue.h"
#include "platform/NotificationCenter.h"
#include "platform/UserDefaults.h"

#include <QAction>
#include <QDir>
#include <QFile>
#include <QKeyEvent>
#include <QLineEdit>
#include <QMessageBox>
#include <QPushButton>
#include <QRegularExpression>

using namespace clipdeck::test;

namespace {

// The name a board folder's document holds ("?" when it has none).
QString documentName(const QString& folder)
{
    QFile file(folder + "/Contents.xml");
    if (!file.open(QIODevice::ReadOnly))
        return QStringLiteral("?");
    static const QRegularExpression nameAttribute(QStringLiteral(R"re(<clipdeck[^>]*\sname="([^"]*)")re"));
    const QRegularExpressionMatch match = nameAttribute.match(QString::fromUtf8(file.readAll()));
    return match.hasMatch() ? match.captured(1) : QStringLiteral("?");
}

// The names of the documents in folders 0, 1, 2, ... of the boards folder, in order; and
// whether anything else is there.
QStringList namesOnDisk()
{
    QStringList names;
    for (std::size_t index = 0; QFileInfo::exists(CKClipdeck::pathForBundleAtIndex(index)); ++index)
        names << documentName(CKClipdeck::pathForBundleAtIndex(index));
    return names;
}

// A sound whose feed is a flag: loading it counts, and fails when told to.
class TestSound : public CKSoundSource {
public:
    CKAudioFileEditor* editor() override
    {
        ++editorRequests;
        if (fails)
            setLoadFailedError();
        else
            setEditorLoaded(true);
        return nullptr;
    }
    int editorRequests = 0;
    bool fails = false;
};

// A controller that takes the sounds it is told of for playing.
class PlayingAppController : public AppController {
public:
    QList<const CKSoundSource*> playing;

protected:
    bool isSoundPlaying(const CKSoundSource& sound) const override { return playing.contains(&sound); }
};

std::shared_ptr<TestSound> addTestSound(CKClipdeck& clipdeck, std::size_t index)
{
    auto sound = std::make_shared<TestSound>();
    clipdeck.addSound(sound, index, false);
    return sound;
}

class Boards : public Shell {
protected:
    void TearDown() override
    {
        NotificationCenter::defaultCenter().removeObserver(this);
        Shell::TearDown();
    }

    void writeBoards(const QStringList& names)
    {
        for (qsizetype index = 0; index < names.size(); ++index)
            folder.writeBoard(std::size_t(index), contentsXML(names[index], {}));
    }

    // The hide and show notifications, as "hide <name>" / "show <name>".
    void recordShownBoards()
    {
        for (const QString& name : {AppController::ClipdeckDidHideNotification, AppController::ClipdeckDidShowNotification}) {
            NotificationCenter::defaultCenter().addObserver(this, name, nullptr, [this](const Notification& note) {
                const auto* board = static_cast<const CKClipdeck*>(note.object);
                shown << (note.name == AppController::ClipdeckDidHideNotification ? "hide " : "show ") + board->name();
            });
        }
    }

    QStringList shownName() const { return {controller->selectedClipdeckName(), window->windowTitle()}; }

    BoardsFolder folder;
    QStringList shown;
};

} // namespace

TEST_F(Boards, StartShowsTheBoardsOfTheFoldersAndTheOneShownLastTime)
{
    writeBoards({"Act 1", "Act 2", "Encore"});
    UserDefaults::standardUserDefaults().setInteger(2, AppController::SelectedClipdeckIndexKey);
    awake();
    EXPECT_EQ(&CKClipdeckHost::current(), controller.get());
    EXPECT_TRUE(CKSoundCachedFileSource::cacheOperationQueue().isSuspended());
    launch();
    EXPECT_FALSE(CKSoundCachedFileSource::cacheOperationQueue().isSuspended());
    EXPECT_EQ(controller->clipdeckNames(), (QStringList{"Act 1", "Act 2", "Encore"}));
    EXPECT_EQ(bar()->numberOfTabs(), 3);
    EXPECT_EQ(bar()->nameAtIndex(2), "Encore");
    EXPECT_EQ(bar()->selectedIndex(), 2);
    EXPECT_EQ(shownName(), (QStringList{"Encore", "Clipdeck - Encore"}));
    EXPECT_EQ(controller->selectedClipdeck(), controller->clipdeckAtIndex(2).get());
    // The board menu: no next board after the last.
    EXPECT_FALSE(window->nextClipdeckAction()->isEnabled());
    EXPECT_TRUE(window->previousClipdeckAction()->isEnabled());
    window->previousClipdeckAction()->trigger();
    EXPECT_EQ(controller->selectedClipdeckName(), "Act 2");
    EXPECT_TRUE(window->nextClipdeckAction()->isEnabled());
}

TEST_F(Boards, TabAndShiftTabInTheWindowSwitchBoardsButNotWhileANameIsTyped)
{
    writeBoards({"Act 1", "Act 2", "Encore"});
    awake();
    launch();
    const auto press = [&](int key, Qt::KeyboardModifiers modifiers = Qt::NoModifier) {
        QKeyEvent event(QEvent::KeyPress, key, modifiers);
        return window->handleWindowKey(&event);
    };
    EXPECT_TRUE(press(Qt::Key_Tab));
    EXPECT_EQ(controller->selectedClipdeckName(), "Act 2");
    EXPECT_TRUE(press(Qt::Key_Backtab, Qt::ShiftModifier));
    EXPECT_EQ(controller->selectedClipdeckName(), "Act 1");
    bar()->beginEditingNameAtIndex(0);
    ASSERT_TRUE(controller->isEditingName());
    press(Qt::Key_Tab);
    EXPECT_EQ(controller->selectedClipdeckName(), "Act 1");
}

TEST_F(Boards, AnEmptyBoardsFolderGetsOneBoardWrittenToFolderZero)
{
    awake();
    launch();
    EXPECT_EQ(controller->clipdeckNames(), QStringList{"My Clipdeck"});
    EXPECT_TRUE(waitUntil([] { return namesOnDisk() == QStringList{"My Clipdeck"}; }));
}

TEST_F(Boards, ABoardsFolderThatCannotBeReadEndsTheProgramAndTouchesNothing)
{
    // A file where the boards folder should be: it can be neither made nor listed.
    const QString boards = CKClipdeck::clipdecksFolder();
    QDir(boards).removeRecursively();
    BoardsFolder::touch(boards, "not a folder");
    awake();
    CKAlert* alert = waitForAlert();
    ASSERT_NE(alert, nullptr);
    EXPECT_EQ(alert->icon(), QMessageBox::Critical);
    EXPECT_EQ(controller->numberOfClipdecks(), 0);
    EXPECT_FALSE(controller->tabBarCanAddTab(bar()));
    answerAlert(CKAlert::FirstButtonReturn);
    EXPECT_TRUE(application().isTerminating());
    EXPECT_EQ(controller->numberOfClipdecks(), 0);
    EXPECT_TRUE(QFileInfo(boards).isFile());
    EXPECT_TRUE(trashedNames().isEmpty());
}

TEST_F(Boards, DeletingKeepsTheShownBoardShownAndTheFoldersInStep)
{
    const struct {
        const char* what;
        QStringList boards;
        qsizetype shownAt;
        qsizetype deleted;
        QStringList left;
        const char* shownAfter;
        QStringList notifications;
    } cases[] = {
        {"the shown last one", {"A", "B", "C"}, 2, 2, {"A", "B"}, "B", {"hide C", "show B"}},
        {"the shown middle one", {"A", "B", "C"}, 1, 1, {"A", "C"}, "C", {"hide B", "show C"}},
        {"one left of the shown", {"A", "B", "C"}, 2, 0, {"B", "C"}, "C", {}},
        {"one right of the shown", {"A", "B", "C"}, 0, 1, {"A", "C"}, "A", {}},
        {"the only one", {"A"}, 0, 0, {"My Clipdeck"}, "My Clipdeck", {"hide A", "show My Clipdeck"}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        BoardsFolder clean;
        writeBoards(c.boards);
        UserDefaults::standardUserDefaults().setInteger(c.shownAt, AppController::SelectedClipdeckIndexKey);
        awake();
        recordShownBoards();
        ASSERT_TRUE(controller->deleteClipdeckAtIndex(c.deleted));
        EXPECT_EQ(controller->clipdeckNames(), c.left);
        EXPECT_EQ(shownName(), (QStringList{c.shownAfter, QStringLiteral("Clipdeck - ") + c.shownAfter}));
        EXPECT_EQ(shown, c.notifications);
        EXPECT_EQ(bar()->numberOfTabs(), c.left.size());
        EXPECT_EQ(bar()->nameAtIndex(bar()->selectedIndex()), c.shownAfter);
        // Folders 0..n-1 hold the boards left, in order (a new board is written a moment later).
        for (const auto& board : controller->clipdecks())
            board->saveIfNeeded();
        EXPECT_EQ(namesOnDisk(), c.left);
        EXPECT_FALSE(QFileInfo::exists(CKClipdeck::clipdecksFolder() + "/tmp.clipdeck"));
        EXPECT_EQ(trashedNames().size(), 1);
        NotificationCenter::defaultCenter().removeObserver(this);
        shown.clear();
        controller.reset();
    }
}

TEST_F(Boards, ABoardWithSoundsIsDeletedOnlyAfterTheUserSaysSo)
{
    writeBoards({"A", "B"});
    awake();
    launch();
    addTestSound(*controller->clipdeckAtIndex(1), 3);
    controller->tabBarDidClickCloseButtonAtIndex(bar(), 1);
    CKAlert* alert = waitForAlert();
    ASSERT_NE(alert, nullptr);
    EXPECT_EQ(alert->text(), "Delete Clipdeck B?");
    answerAlert(CKAlert::DefaultReturn); // Cancel
    EXPECT_EQ(controller->clipdeckNames(), (QStringList{"A", "B"}));
    controller->tabBarDidClickCloseButtonAtIndex(bar(), 1);
    answerAlert(CKAlert::AlternateReturn); // Delete
    EXPECT_EQ(controller->clipdeckNames(), QStringList{"A"});
}

TEST_F(Boards, MovingATabMovesTheFoldersInStepAndShowsTheMovedBoard)
{
    writeBoards({"A", "B", "C", "D"});
    awake();
    recordShownBoards();
    const struct {
        qsizetype from, to;
        QStringList order;
    } moves[] = {
        {0, 2, {"B", "C", "A", "D"}},
        {3, 1, {"B", "D", "C", "A"}},
    };
    for (const auto& move : moves) {
        SCOPED_TRACE(move.from);
        controller->tabBarDidMoveTabAtIndex(bar(), move.from, move.to);
        EXPECT_EQ(controller->clipdeckNames(), move.order);
        EXPECT_EQ(namesOnDisk(), move.order);
        EXPECT_EQ(controller->selectedClipdeckIndex(), move.to);
        EXPECT_EQ(controller->selectedClipdeckName(), move.order[move.to]);
        EXPECT_FALSE(QFileInfo::exists(CKClipdeck::clipdecksFolder() + "/tmp.clipdeck"));
        for (qsizetype index = 0; index < 4; ++index)
            EXPECT_EQ(controller->clipdeckAtIndex(std::size_t(index))->boardIndex(), std::size_t(index));
    }
    // Moved, A stayed the board shown; then D came to the place shown.
    EXPECT_EQ(shown, (QStringList{"hide A", "show D"}));

    // No folder moves while a board whose folder would move imports.
    controller->clipdeckAtIndex(2)->setIsPreImporting(true);
    EXPECT_FALSE(controller->moveClipdeckAtIndex(0, 3));
    EXPECT_EQ(controller->clipdeckNames(), moves[1].order);
    EXPECT_EQ(namesOnDisk(), moves[1].order);
    controller->clipdeckAtIndex(2)->setIsPreImporting(false);
}

TEST_F(Boards, AFolderThatCannotMoveChangesNothingAndSaysSoOnce)
{
    writeBoards({"A", "B", "C", "D"});
    awake();
    launch();
    const QStringList before{"A", "B", "C", "D"};
    // Each refused change leaves everything as it was and shows one error.
    const auto expectUnchanged = [&] {
        EXPECT_EQ(controller->clipdeckNames(), before);
        EXPECT_EQ(namesOnDisk(), before);
        EXPECT_EQ(bar()->numberOfTabs(), 4);
        EXPECT_FALSE(QFileInfo::exists(CKClipdeck::clipdecksFolder() + "/tmp.clipdeck") &&
                     QFileInfo(CKClipdeck::clipdecksFolder() + "/tmp.clipdeck").isDir());
        CKAlert* alert = waitForAlert();
        ASSERT_NE(alert, nullptr);
        EXPECT_EQ(alert->text(), "The clipdecks could not be rearranged.");
        alert->pressButtonWithReturnCode(CKAlert::FirstButtonReturn);
        settleEventLoop();
        EXPECT_FALSE(CKSheetPresenter::shared().isShowingSheet());
    };

    // Something already named "tmp.clipdeck" is never overwritten: nothing moves.
    const QString parked = CKClipdeck::clipdecksFolder() + "/tmp.clipdeck";
    BoardsFolder::touch(parked, "someone else's");
    EXPECT_FALSE(controller->moveClipdeckAtIndex(0, 2));
    expectUnchanged();
    EXPECT_FALSE(controller->deleteClipdeckAtIndex(1));
    expectUnchanged();
    QFile::remove(parked);

    // A folder behind the first that cannot move: the moves already made go back.
    for (const auto& board : controller->clipdecks())
        board->saveIfNeeded();
    const Unmovable stuck(CKClipdeck::pathForBundleAtIndex(2));
    if (!stuck.made)
        return; // not permitted here: the case above stands for it
    EXPECT_FALSE(controller->moveClipdeckAtIndex(0, 3));
    expectUnchanged();
    EXPECT_FALSE(controller->deleteClipdeckAtIndex(0));
    expectUnchanged();
}

TEST_F(Boards, SixtyFourBoardsAtMostAndThoseBeyondAreNamedInOneMessage)
{
    QStringList names;
    for (int index = 0; index < 66; ++index)
        names << QStringLiteral("Board %1").arg(index);
    writeBoards(names);
    awake();
    launch(1);
    ASSERT_EQ(launchErrors.size(), 1);
    EXPECT_EQ(launchErrors[0], "Some clipdecks were not opened.|Clipdeck shows at most 64 clipdecks. Not opened: "
                               "Board 64, Board 65.");
    EXPECT_EQ(controller->numberOfClipdecks(), 64);
    EXPECT_FALSE(bar()->addButton()->isEnabled());
    EXPECT_FALSE(window->newClipdeckAction()->isEnabled());

    controller->createNewClipdeck();
    EXPECT_EQ(controller->numberOfClipdecks(), 64);
    // The name sheet asking for a new board's name makes none either.
    controller->nameController()->setClipdeck(nullptr);
    controller->nameController(controller->nameController(), "One More");
    EXPECT_EQ(controller->numberOfClipdecks(), 64);

    TempFolder elsewhere;
    const QString show = elsewhere.file("Late Show.clipdeck");
    QDir().mkpath(show);
    BoardsFolder::touch(show + "/Contents.xml", contentsXML("Late Show", {}));
    controller->openFiles({show});
    CKAlert* alert = waitForAlert();
    ASSERT_NE(alert, nullptr);
    EXPECT_EQ(alert->informativeText(), "Clipdeck shows at most 64 clipdecks. Not opened: Late Show.");
    EXPECT_EQ(controller->numberOfClipdecks(), 64);
}

TEST_F(Boards, AClipdeckFolderOpensAsACopyAtTheEndAndShows)
{
    writeBoards({"A"});
    TempFolder elsewhere;
    const QString show = elsewhere.file("Opening Night.clipdeck");
    QDir().mkpath(show + "/Cache");
    BoardsFolder::touch(show + "/Contents.xml", contentsXML("Opening Night", {}));
    awake();
    launch();
    controller->application(&application(), show);
    EXPECT_EQ(controller->clipdeckNames(), (QStringList{"A", "Opening Night"}));
    EXPECT_EQ(shownName(), (QStringList{"Opening Night", "Clipdeck - Opening Night"}));
    EXPECT_EQ(namesOnDisk(), (QStringList{"A", "Opening Night"}));
    EXPECT_TRUE(QFileInfo::exists(show + "/Contents.xml")); // the original stays

    // A folder that holds no board says so and adds nothing.
    const QString empty = elsewhere.file("Nothing.clipdeck");
    QDir().mkpath(empty);
    controller->application(&application(), empty);
    CKAlert* alert = waitForAlert();
    ASSERT_NE(alert, nullptr);
    EXPECT_EQ(alert->text(), "The clipdeck \"Nothing\" could not be imported.");
    EXPECT_EQ(controller->numberOfClipdecks(), 2);
    EXPECT_EQ(namesOnDisk(), (QStringList{"A", "Opening Night"}));
}

TEST_F(Boards, QuittingWritesARenameMadeJustBeforeAndAsksOnlyWhileABoardImports)
{
    writeBoards({"A"});
    awake();
    launch();
    controller->tabBarDidEndEditingName(bar(), "Finale", 0);
    EXPECT_FALSE(controller->isBusyImportingSounds()); // a save waiting is no reason to ask
    controller->clipdeckAtIndex(0)->setIsPreImporting(true);
    EXPECT_TRUE(controller->isBusyImportingSounds());
    controller->clipdeckAtIndex(0)->setIsPreImporting(false);
    application().terminate(TerminationRequest::Quit);
    EXPECT_TRUE(application().isTerminating());
    EXPECT_EQ(namesOnDisk(), QStringList{"Finale"});
}

TEST_F(Boards, RemoteBoardChangesAreNotApplied)
{
    writeBoards({"A", "B"});
    awake();
    EXPECT_FALSE(controller->addModel(std::make_shared<CKClipdeck>(), 0));
    EXPECT_FALSE(controller->rearrange(0, 1));
    EXPECT_FALSE(controller->deleteModel(0));
    EXPECT_EQ(controller->clipdeckNames(), (QStringList{"A", "B"}));
}

TEST_F(Boards, PreloadingLoadsTheShownSoundsOnceEachAndSkipsFailedOrImportingOnes)
{
    writeBoards({"A", "B"});
    awake();
    CKClipdeck& shownBoard = *controller->clipdeckAtIndex(0);
    const auto plain = addTestSound(shownBoard, 0);
    const auto damaged = addTestSound(shownBoard, 1);
    damaged->fails = true;
    auto waiting = std::make_shared<CKSoundCachedFileSource>();
    waiting->setPendingImport(true);
    shownBoard.addSound(waiting, 2, false);
    const auto hidden = addTestSound(*controller->clipdeckAtIndex(1), 0);

    // Paused (an import runs): nothing loads.
    controller->setLoadingEditors(false);
    controller->setupEditorLoading();
    settleEventLoop();
    EXPECT_EQ(plain->editorRequests, 0);
    controller->setLoadingEditors(true);
    ASSERT_TRUE(waitUntil([&] { return plain->isEditorLoaded() && damaged->error(); }));
    ASSERT_TRUE(waitUntil([&] { return controller->numberOfQueuedEditors() == 0; }));

    // Shown again, and another sound added: the damaged one is not tried again.
    controller->selectClipdeckAtIndex(0);
    addTestSound(shownBoard, 5);
    settleEventLoop();
    ASSERT_TRUE(waitUntil([&] { return controller->numberOfQueuedEditors() == 0; }));
    EXPECT_EQ(plain->editorRequests, 1);
    EXPECT_EQ(damaged->editorRequests, 1);
    EXPECT_FALSE(waiting->isEditorLoaded());
    EXPECT_EQ(hidden->editorRequests, 0);
}

TEST_F(Boards, TheCacheUnloadsTheLongestUnplayedIdleSoundsOfHiddenBoards)
{
    writeBoards({"A", "B", "C", "D", "E"});
    awake(std::make_unique<PlayingAppController>());
    controller->setLoadingEditors(false);
    // 130 loaded: 32 on each of A, B, C; 31 on D; on E one playing (played longest ago) and
    // two idle.
    std::vector<std::shared_ptr<TestSound>> sounds;
    SInt64 playID = 1000;
    for (std::size_t board = 0; board < 4; ++board) {
        for (std::size_t cell = 0; cell < (board == 3 ? 31u : 32u); ++cell) {
            sounds.push_back(addTestSound(*controller->clipdeckAtIndex(board), cell));
            sounds.back()->setEditorLoaded(true);
            sounds.back()->setLastPlayID(playID++);
        }
    }
    CKClipdeck& e = *controller->clipdeckAtIndex(4);
    const auto playing = addTestSound(e, 0);
    const auto idle1 = addTestSound(e, 1);
    const auto idle2 = addTestSound(e, 2);
    SInt64 oldest = 1;
    for (const auto& sound : {playing, idle1, idle2}) {
        sound->setEditorLoaded(true);
        sound->setLastPlayID(oldest++);
    }
    static_cast<PlayingAppController&>(*controller).playing << playing.get();
    ASSERT_EQ(controller->loadedSounds().size(), 130);

    controller->selectClipdeckAtIndex(1);
    EXPECT_EQ(controller->loadedSounds().size(), 128);
    EXPECT_TRUE(playing->isEditorLoaded());
    EXPECT_FALSE(idle1->isEditorLoaded());
    EXPECT_FALSE(idle2->isEditorLoaded());

    // Showing E: its sounds are never candidates; with nothing over the limit nothing goes.
    controller->selectClipdeckAtIndex(4);
    EXPECT_EQ(controller->loadedSounds().size(), 128);
}
