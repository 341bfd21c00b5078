// The main window's toolbar over real board folders (offscreen window): the segments of
// board commands and of navigation by their tags, clicked as a user clicks them; the pop-up
// of boards; and the enabling of every board command as it applies.
#include "app/AppController.h"
#include "app/CKButton.h"
#include "app/CKClipdeckView.h"
#include "app/CKClipdeckNameController.h"
#include "app/CKSegmentedControl.h"

#include "../clipdeck/BoardTestSupport.h"
#include "AppTestSupport.h"
#include "ShellFixture.h"
#include "platform/NotificationCenter.h"
#include "platform/UserDefaults.h"
#include "platform/ui/ZEPImageNamed.h"

#include <QAction>
#include <QLineEdit>
#include <QMenu>
#include <QPushButton>

using namespace clipdeck::test;

namespace {

using Command = AppController::ClipdeckCommand;

class Toolbar : public Shell {
protected:
    void TearDown() override
    {
        NotificationCenter::defaultCenter().removeObserver(this);
        Shell::TearDown();
    }

    // Boards on disk, then the program started over them, showing the board at shown.
    void start(const QStringList& names, qsizetype shown = 0)
    {
        for (qsizetype index = 0; index < names.size(); ++index)
            folder.writeBoard(std::size_t(index), contentsXML(names[index], {}));
        UserDefaults::standardUserDefaults().setInteger(shown, AppController::SelectedClipdeckIndexKey);
        awake();
        launch();
        for (const QString& name : {AppController::ClipdeckDidHideNotification, AppController::ClipdeckDidShowNotification}) {
            NotificationCenter::defaultCenter().addObserver(this, name, nullptr, [this](const Notification& note) {
                const auto* board = static_cast<const CKClipdeck*>(note.object);
                notices << (note.name == AppController::ClipdeckDidHideNotification ? "hide " : "show ") + board->name();
            });
        }
    }

    // A click on the segment of tag, as the mouse makes it.
    static void click(CKSegmentedControl* control, int tag)
    {
        QTest::mouseClick(control, Qt::LeftButton, Qt::NoModifier,
                          control->rectForSegment(control->segmentForTag(tag)).center());
        QCoreApplication::processEvents();
    }

    // What shows: the board, the selected tab, the title and the pop-up button's title.
    QStringList shown() const
    {
        return {controller->selectedClipdeckName(), bar()->nameAtIndex(bar()->selectedIndex()), window->windowTitle(),
                window->clipdeckMenuButton()->title()};
    }
    static QStringList showing(const QString& name) { return {name, name, "Clipdeck - " + name, name}; }

    BoardsFolder folder;
    QStringList notices;
};

} // namespace

TEST_F(Toolbar, TheBoardCommandSegmentsAddRenameAndDeleteByTag)
{
    start({"Act 1", "Act 2"}, 1);
    CKSegmentedControl* commands = window->clipdeckControl();
    ASSERT_EQ(commands->segmentCount(), 3);
    for (const char* image : {"toolbar-add", "toolbar-rename", "toolbar-delete", "toolbar-previous", "toolbar-next"})
        EXPECT_FALSE(ZEPImageNamed(QString::fromLatin1(image)).isNull()) << image;

    click(commands, CKClipdeckWindow::kNewClipdeckTag);
    EXPECT_EQ(controller->clipdeckNames(), (QStringList{"Act 1", "Act 2", "My Clipdeck"}));
    EXPECT_EQ(shown(), showing("My Clipdeck"));

    click(commands, CKClipdeckWindow::kRenameClipdeckTag);
    auto* sheet = qobject_cast<CKClipdeckNameController*>(waitForSheet());
    ASSERT_NE(sheet, nullptr);
    EXPECT_EQ(sheet->nameTextField()->text(), "My Clipdeck");
    sheet->nameTextField()->setText("Finale");
    sheet->okButton()->click();
    EXPECT_FALSE(CKSheetPresenter::shared().isShowingSheet());
    EXPECT_EQ(shown(), showing("Finale"));

    // An empty board goes without a question; the one before it shows.
    click(commands, CKClipdeckWindow::kDeleteClipdeckTag);
    EXPECT_EQ(controller->clipdeckNames(), (QStringList{"Act 1", "Act 2"}));
    EXPECT_EQ(shown(), showing("Act 2"));

    // Tags the control does not have do nothing.
    for (int tag : {2, -2, 42})
        controller->clipdeckControlClicked(tag);
    EXPECT_EQ(controller->clipdeckNames(), (QStringList{"Act 1", "Act 2"}));
    EXPECT_FALSE(CKSheetPresenter::shared().isShowingSheet());
}

TEST_F(Toolbar, TheNavigationSegmentsGoToTheNextAndPreviousBoardByTag)
{
    start({"Act 1", "Act 2", "Encore"}, 1);
    CKSegmentedControl* navigation = window->navigationControl();
    const struct {
        int tag;
        bool byMouse;
        const char* shows;
    } steps[] = {
        {CKClipdeckWindow::kNextClipdeckTag, true, "Encore"},
        {CKClipdeckWindow::kPreviousClipdeckTag, true, "Act 2"},
        {CKClipdeckWindow::kPreviousClipdeckTag, true, "Act 1"},
        // At the ends the segments are off; the command itself goes round.
        {CKClipdeckWindow::kPreviousClipdeckTag, true, "Act 1"},
        {CKClipdeckWindow::kPreviousClipdeckTag, false, "Encore"},
        {CKClipdeckWindow::kNextClipdeckTag, false, "Act 1"},
        {0, false, "Act 1"},
        {2, false, "Act 1"},
    };
    for (const auto& step : steps) {
        SCOPED_TRACE(QStringLiteral("tag %1 to %2").arg(step.tag).arg(step.shows).toStdString());
        if (step.byMouse)
            click(navigation, step.tag);
        else
            controller->segmentedToolbarClicked(step.tag);
        EXPECT_EQ(shown(), showing(step.shows));
    }
    EXPECT_EQ(notices, (QStringList{"hide Act 2", "show Encore", "hide Encore", "show Act 2", "hide Act 2", "show Act 1",
                                    "hide Act 1", "show Encore", "hide Encore", "show Act 1"}));
}

TEST_F(Toolbar, ThePopUpListsTheBoardsAndChoosingOneShowsItAsASelectionDoes)
{
    start({"Act 1", "Act 2", "Interval", "Encore"}, 0);
    std::unique_ptr<QMenu> menu(controller->clipdeckMenu());
    QStringList items;
    for (QAction* item : menu->actions())
        items << QStringLiteral("%1%2=%3").arg(item->isChecked() ? "*" : "", item->text()).arg(item->data().toInt());
    EXPECT_EQ(items, (QStringList{"*Act 1=0", "Act 2=1", "Interval=2", "Encore=3"}));

    menu->actions().at(2)->trigger();
    EXPECT_EQ(shown(), showing("Interval"));
    // The grid, the drawer and the remote follow these; the next start shows it again.
    EXPECT_EQ(notices, (QStringList{"hide Act 1", "show Interval"}));
    EXPECT_TRUE(waitUntil([&] { return window->clipdeckView()->clipdeck() == controller->clipdeckAtIndex(2); }));
    EXPECT_EQ(UserDefaults::standardUserDefaults().integerForKey(AppController::SelectedClipdeckIndexKey), 2);

    // Chosen while a tab's name is typed: the name is kept and the chosen board shows.
    bar()->beginEditingNameAtIndex(0);
    bar()->textField()->setText("Overture");
    menu.reset(controller->clipdeckMenu());
    EXPECT_TRUE(menu->actions().at(2)->isChecked());
    menu->actions().at(3)->trigger();
    EXPECT_FALSE(controller->isEditingName());
    EXPECT_EQ(controller->clipdeckNames().first(), "Overture");
    EXPECT_EQ(shown(), showing("Encore"));

    // A board that is no longer there is not chosen (nor wrapped round to).
    notices.clear();
    for (int tag : {-1, 4, 99})
        controller->selectClipdeckFromToolbarMenu(tag);
    EXPECT_EQ(shown(), showing("Encore"));
    EXPECT_TRUE(notices.isEmpty());
}

TEST_F(Toolbar, TheButtonPopsTheMenuOfBoardsUp)
{
    start({"Act 1", "Act 2"}, 0);
    QTest::mouseClick(window->clipdeckMenuButton(), Qt::LeftButton);
    ASSERT_TRUE(waitUntil([] { return qobject_cast<QMenu*>(QApplication::activePopupWidget()) != nullptr; }));
    auto* menu = qobject_cast<QMenu*>(QApplication::activePopupWidget());
    EXPECT_EQ(menu->objectName(), "clipdeckMenu");
    ASSERT_EQ(menu->actions().size(), 2);
    menu->actions().at(1)->trigger();
    menu->close();
    EXPECT_EQ(shown(), showing("Act 2"));
}

TEST_F(Toolbar, EveryBoardCommandIsEnabledOnlyWhenItApplies)
{
    start({"Act 1", "Act 2", "Encore"}, 0);
    // Each command's menu item and toolbar control say the same as the one answer.
    const auto states = [&] {
        QStringList off;
        const struct {
            const char* name;
            Command command;
            QAction* item;
            CKSegmentedControl* control;
            int tag;
        } commands[] = {
            {"new", Command::New, window->newClipdeckAction(), window->clipdeckControl(), CKClipdeckWindow::kNewClipdeckTag},
            {"rename", Command::Rename, window->renameClipdeckAction(), window->clipdeckControl(),
             CKClipdeckWindow::kRenameClipdeckTag},
            {"delete", Command::Delete, window->deleteClipdeckAction(), window->clipdeckControl(),
             CKClipdeckWindow::kDeleteClipdeckTag},
            {"next", Command::Next, window->nextClipdeckAction(), window->navigationControl(),
             CKClipdeckWindow::kNextClipdeckTag},
            {"previous", Command::Previous, window->previousClipdeckAction(), window->navigationControl(),
             CKClipdeckWindow::kPreviousClipdeckTag},
        };
        for (const auto& command : commands) {
            const bool enabled = controller->validateUserInterfaceItem(command.command);
            EXPECT_EQ(command.item->isEnabled(), enabled) << command.name;
            EXPECT_EQ(command.control->isSegmentEnabled(command.tag), enabled) << command.name;
            if (!enabled)
                off << command.name;
        }
        EXPECT_EQ(window->clipdeckMenuButton()->isEnabled(), controller->validateUserInterfaceItem(Command::Choose));
        return off;
    };
    EXPECT_EQ(states(), QStringList{"previous"});
    controller->selectClipdeckAtIndex(1);
    EXPECT_EQ(states(), QStringList{});
    controller->selectClipdeckAtIndex(2);
    EXPECT_EQ(states(), QStringList{"next"});

    // A board preparing an import is not deleted; a click on the faded segment does nothing.
    controller->shownClipdeck()->setIsPreImporting(true);
    controller->validateMenuItems();
    EXPECT_EQ(states(), (QStringList{"delete", "next"}));
    click(window->clipdeckControl(), CKClipdeckWindow::kDeleteClipdeckTag);
    EXPECT_EQ(controller->numberOfClipdecks(), 3);
    controller->shownClipdeck()->setIsPreImporting(false);

    for (int made = 3; made < AppController::kMaximumClipdecks; ++made)
        controller->addNewClipdeck();
    controller->validateMenuItems();
    EXPECT_EQ(states(), QStringList{"new"});
    click(window->clipdeckControl(), CKClipdeckWindow::kNewClipdeckTag);
    EXPECT_EQ(controller->numberOfClipdecks(), AppController::kMaximumClipdecks);
}
