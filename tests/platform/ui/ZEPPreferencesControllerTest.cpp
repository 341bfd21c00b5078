// The preferences window: panes on a toolbar, switched by it, remembered across windows.
#include "platform/ui/ZEPPreferencesController.h"
#include "platform/ui/ZEPPreferencesViewController.h"

#include "platform/UserDefaults.h"
#include "support/TestEnvironment.h"

#include <QAction>
#include <QLabel>
#include <QTest>
#include <QToolBar>
#include <QToolButton>
#include <QVBoxLayout>

#include <gtest/gtest.h>

using clipdeck::test::TempFolder;
using clipdeck::test::waitUntil;

namespace {

// A pane that records what the window tells it.
class DummyPane : public ZEPPreferencesViewController {
public:
    DummyPane(QString title, QSize size, QStringList* log) : title_(std::move(title)), log_(log)
    {
        auto* layout = new QVBoxLayout(this);
        layout->addWidget(new QLabel(title_, this));
        setFixedSize(size);
    }
    QString title() const override { return title_; }
    QString toolbarImageName() const override { return "prefs_toolbar_" + title_.toLower(); }
    QString identifier() const override { return title_; }
    void viewWillAppear() override { log_->append(title_ + " appears"); }
    void viewWillDisappear() override { log_->append(title_ + " disappears"); }

private:
    QString title_;
    QStringList* log_;
};

class Preferences : public ::testing::Test {
protected:
    TempFolder folder;
    UserDefaults defaults{folder.file("defaults.plist")};
    QStringList log;

    std::unique_ptr<ZEPPreferencesController> makeWindow()
    {
        auto controller = std::make_unique<ZEPPreferencesController>(&defaults);
        controller->addController(new DummyPane("General", QSize(300, 120), &log));
        controller->addController(new DummyPane("Playback", QSize(420, 260), &log));
        return controller;
    }

    static void clickToolbarButton(ZEPPreferencesController& controller, int index)
    {
        QAction* action = controller.toolbar()->actions().at(index);
        auto* button = qobject_cast<QToolButton*>(controller.toolbar()->widgetForAction(action));
        ASSERT_TRUE(button);
        QTest::mouseClick(button, Qt::LeftButton);
    }
};

} // namespace

TEST_F(Preferences, TheToolbarSwitchesPanesAndTheWindowFollowsThePane)
{
    auto controller = makeWindow();
    ASSERT_EQ(controller->toolbar()->actions().size(), 2);
    EXPECT_EQ(controller->toolbar()->actions().at(1)->text(), "Playback");
    controller->showWindow();
    ASSERT_TRUE(waitUntil([&] { return controller->window()->isVisible(); }));
    auto* general = controller->controllers().at(0);
    auto* playback = controller->controllers().at(1);
    EXPECT_EQ(controller->selectedController(), general);
    EXPECT_EQ(controller->window()->windowTitle(), "General");
    EXPECT_TRUE(general->isVisible());
    EXPECT_EQ(log, QStringList{"General appears"});
    const QSize generalSize = controller->window()->size();

    clickToolbarButton(*controller, 1);
    EXPECT_EQ(controller->selectedController(), playback);
    EXPECT_TRUE(playback->isVisible());
    EXPECT_FALSE(general->isVisible());
    EXPECT_TRUE(controller->toolbar()->actions().at(1)->isChecked());
    EXPECT_FALSE(controller->toolbar()->actions().at(0)->isChecked());
    EXPECT_EQ(controller->window()->windowTitle(), "Playback");
    EXPECT_TRUE(waitUntil([&] { return controller->window()->size() != generalSize; }));
    EXPECT_GE(controller->window()->height(), 260);
    EXPECT_EQ(log, (QStringList{"General appears", "General disappears", "Playback appears"}));

    // The shown pane's button again changes nothing.
    clickToolbarButton(*controller, 1);
    EXPECT_EQ(log.size(), 3);

    // Closing the window tells the pane; showing it again tells it once more.
    controller->window()->close();
    EXPECT_EQ(log.last(), "Playback disappears");
    controller->showWindow();
    EXPECT_EQ(log.last(), "Playback appears");
    EXPECT_EQ(controller->selectedController(), playback);
}

TEST_F(Preferences, ANewWindowOpensOnTheLastPaneChosen)
{
    {
        auto first = makeWindow();
        first->showWindow();
        clickToolbarButton(*first, 1);
    }
    EXPECT_EQ(defaults.stringForKey(ZEPPreferencesController::LastPaneKey), "Playback");
    auto second = makeWindow();
    second->showWindow();
    EXPECT_EQ(second->selectedController()->title(), "Playback");

    // A remembered pane that no longer exists gives the first pane.
    defaults.setObject("Remote", ZEPPreferencesController::LastPaneKey);
    auto third = makeWindow();
    third->showWindow();
    EXPECT_EQ(third->selectedController()->title(), "General");
    EXPECT_FALSE(third->selectControllerWithIdentifier("Remote"));
}
