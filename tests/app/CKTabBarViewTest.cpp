// The tab bar against a delegate that records what it hears: folding, borrowed names,
// clicks, drags, renames and sounds dropped on tabs (offscreen platform).
#include "app/CKDumbButton.h"
#include "app/CKPathExtensions.h"
#include "app/CKTabBarLayer.h"
#include "app/CKTabBarView.h"

#include "AppTestSupport.h"
#include "platform/TimeSource.h"
#include "support/SettleEventLoop.h"

#include <QAction>
#include <QLineEdit>
#include <QMenu>
#include <QMimeData>
#include <QMouseEvent>

#include <cmath>

using namespace clipdeck::test;

namespace {

class TabBar : public ::testing::Test {
protected:
    void SetUp() override
    {
        window.resize(1100, 60);
        bar = new CKTabBarView(QRect(0, 0, 1000, 24), &window);
        bar->setGeometry(0, 10, 1000, 24);
        bar->setDelegate(&delegate);
        window.show();
        ASSERT_TRUE(waitUntil([&] { return window.isVisible(); }));
    }

    void addTabs(int count)
    {
        for (int i = 0; i < count; ++i)
            bar->addTabWithName(QStringLiteral("Board %1").arg(i));
        bar->updateLayerFrames();
        delegate.calls.clear();
    }
    QStringList shownNames() const
    {
        QStringList names;
        for (qsizetype i = 0; i < bar->visibleTabs(); ++i)
            names << bar->tabAtIndex(i)->name();
        return names;
    }
    QStringList ownNames() const
    {
        QStringList names;
        for (qsizetype i = 0; i < bar->numberOfTabs(); ++i)
            names << bar->nameAtIndex(i);
        return names;
    }

    // A point in the bar (y-up, as its geometry) as a widget position.
    QPointF at(qreal x, qreal y = 10) const { return bar->convertPointToQt(QPointF(x, y)); }
    QPointF middleOfTab(qsizetype position) const { return at(bar->rectOfTabAtIndex(position).center().x()); }
    QPointF closeButtonOf(qsizetype position) const
    {
        const CKTabBarLayer* tab = bar->tabAtIndex(position);
        return at(tab->frame().x() + tab->closeButtonFrame().center().x(), 10);
    }

    void mouse(QEvent::Type type, const QPointF& position, Qt::MouseButtons buttons = Qt::LeftButton)
    {
        QMouseEvent event(type, position, bar->mapToGlobal(position), Qt::LeftButton, buttons, Qt::NoModifier);
        QApplication::sendEvent(bar, &event);
    }
    void click(const QPointF& position)
    {
        mouse(QEvent::MouseButtonPress, position);
        mouse(QEvent::MouseButtonRelease, position, Qt::NoButton);
    }
    void doubleClick(const QPointF& position)
    {
        click(position);
        mouse(QEvent::MouseButtonDblClick, position);
        mouse(QEvent::MouseButtonRelease, position, Qt::NoButton);
    }
    void dragTab(const QPointF& from, qreal byX, int steps = 8)
    {
        mouse(QEvent::MouseButtonPress, from);
        for (int step = 1; step <= steps; ++step)
            mouse(QEvent::MouseMove, from + QPointF(byX * step / steps, 0));
        mouse(QEvent::MouseButtonRelease, from + QPointF(byX, 0), Qt::NoButton);
    }

    // A sound dragged from the grid over the bar.
    QMimeData* soundData(const QString& text = QStringLiteral("0 5"))
    {
        auto* data = new QMimeData;
        data->setData(CKSoundPasteboardItem::Type, text.toUtf8());
        return data;
    }
    void dragSound(QEvent::Type type, const QPointF& position, QMimeData* data,
                   Qt::KeyboardModifiers modifiers = Qt::NoModifier)
    {
        if (type == QEvent::DragEnter) {
            QDragEnterEvent event(position.toPoint(), Qt::CopyAction | Qt::MoveAction, data, Qt::LeftButton, modifiers);
            QApplication::sendEvent(bar, &event);
            lastAccepted = event.isAccepted();
        } else if (type == QEvent::DragMove) {
            QDragMoveEvent event(position.toPoint(), Qt::CopyAction | Qt::MoveAction, data, Qt::LeftButton, modifiers);
            QApplication::sendEvent(bar, &event);
            lastAccepted = event.isAccepted();
            lastAction = event.dropAction();
        } else {
            QDropEvent event(position, Qt::CopyAction | Qt::MoveAction, data, Qt::LeftButton, modifiers);
            QApplication::sendEvent(bar, &event);
            lastAccepted = event.isAccepted();
        }
    }

    QWidget window;
    CKTabBarView* bar = nullptr;
    RecordingTabBarDelegate delegate;
    bool lastAccepted = false;
    Qt::DropAction lastAction = Qt::IgnoreAction;
};

} // namespace

TEST_F(TabBar, FoldsTheTabsThatDoNotFitIntoTheMenuOfTheLastTabShown)
{
    const struct {
        int barWidth;
        int tabs;
        qsizetype visible;
        double tabWidth;
    } cases[] = {
        {1000, 1, 1, 200.0},              // one tab in a wide bar: the widest tab
        {1000, 5, 5, (1000 - 44) / 5.0},  // they fit, each between 150 and 200
        {1000, 8, 6, (1000 - 44) / 6.0},  // 956 / 8 is under 150: six show, 159.3 wide
        {400, 3, 2, (400 - 44) / 2.0},    // 356 / 150 = 2.4: two show
        {1000, 64, 6, (1000 - 44) / 6.0}, // all 64 boards
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(QStringLiteral("%1 tabs in %2").arg(c.tabs).arg(c.barWidth).toStdString());
        bar->removeAllTabs();
        bar->setGeometry(0, 10, c.barWidth, 24);
        addTabs(c.tabs);
        EXPECT_EQ(bar->visibleTabs(), c.visible);
        EXPECT_EQ(bar->numberOfHiddenTabs(), c.tabs - c.visible);
        EXPECT_NEAR(bar->tabWidth(), c.tabWidth, 1e-9);
        for (qsizetype i = 0; i < bar->numberOfTabs(); ++i) {
            const CKTabBarLayer* tab = bar->tabAtIndex(i);
            EXPECT_EQ(tab->isHidden(), i >= c.visible) << i;
            // The chevron shows on the last tab shown, and only when tabs are folded.
            EXPECT_EQ(tab->dropDownMenuButtonVisible(), c.visible < c.tabs && i == c.visible - 1) << i;
            if (i < c.visible) {
                EXPECT_EQ(tab->frame(), CKIntegralRect(bar->rectOfTabAtIndex(i))) << i;
            }
        }
    }

    // Eight in 1000: the menu lists positions 5, 6 and 7, the selected one checked.
    bar->removeAllTabs();
    bar->setGeometry(0, 10, 1000, 24);
    addTabs(8);
    std::unique_ptr<QMenu> menu(bar->popupMenu());
    QStringList items;
    for (QAction* item : menu->actions())
        items << item->text() + (item->isChecked() ? "*" : "");
    EXPECT_EQ(items, (QStringList{"Board 5", "Board 6", "Board 7"}));
}

TEST_F(TabBar, TheLastTabShownStandsForAFoldedBoardChosenFromTheMenuAndGivesItsNameBackLater)
{
    addTabs(8);
    std::unique_ptr<QMenu> menu(bar->popupMenu());
    menu->actions().at(2)->trigger(); // "Board 7"
    EXPECT_EQ(delegate.calls, QStringList{"select 7"});
    EXPECT_EQ(bar->selectedIndex(), 7);
    CKTabBarLayer* last = bar->tabAtIndex(5);
    EXPECT_TRUE(last->isSelected());
    EXPECT_EQ(last->name(), "Board 7");
    EXPECT_EQ(bar->overridenIndexForIndex(5), 7);

    // Clicking it again selects the same board: nothing changes.
    delegate.calls.clear();
    click(middleOfTab(5));
    EXPECT_TRUE(delegate.calls.isEmpty()) << delegate.calls.join(", ").toStdString();
    EXPECT_EQ(bar->selectedIndex(), 7);

    // A board that shows is selected: the last tab still stands for board 7.
    click(middleOfTab(2));
    EXPECT_EQ(bar->selectedIndex(), 2);
    EXPECT_EQ(last->name(), "Board 7");

    // The bar grows until nothing folds: the tab stands for itself and shows its own name.
    bar->setGeometry(0, 10, 1900, 24);
    bar->updateLayerFrames();
    EXPECT_EQ(bar->numberOfHiddenTabs(), 0);
    EXPECT_EQ(bar->overridenIndexForIndex(5), 5);
    EXPECT_EQ(last->name(), "Board 5");
    EXPECT_EQ(shownNames(), ownNames());
}

TEST_F(TabBar, ATabStandingForARemovedBoardStandsForItselfAgainAndOthersFollowTheirBoards)
{
    addTabs(8);
    std::unique_ptr<QMenu> menu(bar->popupMenu());
    menu->actions().at(2)->trigger(); // the last tab shown stands for board 7
    bar->selectTabAtIndexNoOverride(1);

    bar->removeTabAtIndex(6); // board 7 is now board 6
    EXPECT_EQ(bar->overridenIndexForIndex(5), 6);
    EXPECT_EQ(bar->tabAtIndex(5)->name(), "Board 7");

    bar->removeTabAtIndex(6); // and now it is gone
    EXPECT_EQ(bar->overridenIndexForIndex(5), 5);
    EXPECT_EQ(bar->tabAtIndex(5)->name(), "Board 5");
    EXPECT_EQ(bar->selectedIndex(), 1);
}

TEST_F(TabBar, RemovingTabsKeepsTheSelectedBoardSelected)
{
    addTabs(4);
    bar->selectTabAtIndexNoOverride(2);
    delegate.calls.clear();

    // A tab left of the selected one: the same board stays selected, nobody is told.
    bar->removeTabAtIndex(0);
    EXPECT_EQ(bar->selectedIndex(), 1);
    EXPECT_EQ(bar->nameAtIndex(bar->selectedIndex()), "Board 2");

    // The selected tab, with a tab at its place: no selection is announced, and that tab is
    // drawn selected at the next layout.
    bar->removeTabAtIndex(1);
    EXPECT_TRUE(delegate.calls.isEmpty()) << delegate.calls.join(", ").toStdString();
    bar->updateLayerFrames();
    EXPECT_TRUE(bar->tabAtIndex(1)->isSelected());
    EXPECT_EQ(bar->tabAtIndex(1)->name(), "Board 3");

    // The selected last tab: the one before it is selected, and that is announced.
    bar->removeTabAtIndex(1);
    EXPECT_EQ(delegate.calls, QStringList{"select 0"});
}

TEST_F(TabBar, ClicksSelectCloseAndAddAndAPressBesideTheTabsMovesTheWindow)
{
    addTabs(3);
    click(middleOfTab(1));
    click(closeButtonOf(2));
    EXPECT_EQ(delegate.calls, (QStringList{"select 1", "close 2"}));

    // No close button (its board imports): a click there selects the tab.
    delegate.showClose = false;
    bar->updateLayerFrames();
    delegate.calls.clear();
    click(closeButtonOf(2));
    EXPECT_EQ(delegate.calls, QStringList{"select 2"});

    // The add button asks the delegate each time it is refreshed.
    delegate.calls.clear();
    bar->addButton()->click();
    EXPECT_EQ(delegate.calls, QStringList{"new"});
    delegate.canAdd = false;
    bar->updateNewButton();
    EXPECT_FALSE(bar->addButton()->isEnabled());
    EXPECT_EQ(bar->addButton()->focusPolicy(), Qt::NoFocus);

    // Beside the tabs the bar is a title bar.
    delegate.calls.clear();
    const QPoint before = window.pos();
    dragTab(at(900), -120);
    EXPECT_TRUE(delegate.calls.isEmpty());
    EXPECT_NE(window.pos(), before);
}

TEST_F(TabBar, DraggingATabSlidesItsNeighboursAsideAndReportsTheMoveFromWhereItWasPressed)
{
    addTabs(4);
    const qreal width = bar->tabWidth();
    // Its left edge within a twentieth of a tab of slot 2: it lands there.
    dragTab(middleOfTab(0), 2 * width - width / 40);
    EXPECT_EQ(delegate.calls, QStringList{"move 0 2"}); // tab 0 was selected already
    EXPECT_EQ(shownNames(), (QStringList{"Board 1", "Board 2", "Board 0", "Board 3"}));
    for (qsizetype i = 0; i < 4; ++i)
        EXPECT_EQ(bar->tabAtIndex(i)->frame(), CKIntegralRect(bar->rectOfTabAtIndex(i))) << i;

    // A neighbour gives way once the tab's left edge is a twentieth of a tab from its slot.
    bar->removeAllTabs();
    addTabs(4);
    delegate.calls.clear();
    dragTab(middleOfTab(1), width - width / 20 - 2);
    EXPECT_EQ(delegate.calls.last(), "move 1 1");
    dragTab(middleOfTab(1), width - width / 20 + 2);
    EXPECT_EQ(delegate.calls.last(), "move 1 2");
}

TEST_F(TabBar, ADoubleClickRenamesInAFieldOverTheTabThatReturnEndsAndEscapeOrABlankNameCancels)
{
    addTabs(3);
    bar->selectTabAtIndexNoOverride(1);
    const struct {
        const char* typed;
        int key; // ends the edit
        const char* name;
    } cases[] = {
        {"Sound Effects", Qt::Key_Return, "Sound Effects"},
        {"Music", Qt::Key_Escape, "Sound Effects"}, // Escape keeps the old name
        {"   ", Qt::Key_Return, "Sound Effects"},   // a blank name is refused
        {"  Act 2 ", Qt::Key_Return, "Act 2"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.typed);
        delegate.calls.clear();
        doubleClick(middleOfTab(1));
        ASSERT_TRUE(bar->isEditing());
        QLineEdit* field = bar->textField();
        ASSERT_TRUE(field && field->isVisible());
        EXPECT_EQ(field->geometry(), bar->convertRectToQt(CKIntegralRect(bar->rectOfTabAtIndex(1))).toRect());
        EXPECT_EQ(field->selectedText(), field->text());
        field->setText(QString::fromUtf8(c.typed));
        QTest::keyClick(field, Qt::Key(c.key));
        EXPECT_FALSE(bar->isEditing());
        EXPECT_FALSE(field->isVisible());
        EXPECT_EQ(bar->nameAtIndex(1), c.name);
        EXPECT_EQ(delegate.calls, (QStringList{"begin editing 1", QStringLiteral("end editing 1 %1").arg(c.name)}));
    }

    // A click elsewhere in the bar ends the rename, keeping the typed name.
    doubleClick(middleOfTab(2));
    bar->textField()->setText("Cues");
    click(middleOfTab(0));
    EXPECT_EQ(bar->nameAtIndex(2), "Cues");
}

TEST_F(TabBar, ASoundHeldOverATabBlinksItsOutlineAndSelectsItAfterThirtyUpdates)
{
    ManualTimeSource clock;
    addTabs(3);
    std::unique_ptr<QMimeData> data(soundData());
    CKTabBarLayer* tab = bar->tabAtIndex(2);

    dragSound(QEvent::DragEnter, middleOfTab(2), data.get());
    EXPECT_TRUE(lastAccepted);
    EXPECT_TRUE(tab->isDraggingSoundOnTop());
    // Held still: an update every 0.05 s; the outline is off on updates 15, 16, 21 and 22.
    QList<unsigned> dark;
    for (unsigned step = 1; step < CKTabBarLayer::kDragStepsToSelect; ++step) {
        clock.advance(CKTabBarView::kDragUpdateInterval);
        ASSERT_EQ(tab->draggingStep(), step);
        if (!tab->showsDragOutline())
            dark << step;
    }
    EXPECT_EQ(dark, (QList<unsigned>{15, 16, 21, 22}));
    EXPECT_EQ(bar->selectedIndex(), 0);
    clock.advance(CKTabBarView::kDragUpdateInterval);
    EXPECT_EQ(bar->selectedIndex(), 2);
    EXPECT_EQ(delegate.calls, QStringList{"select 2"});
    EXPECT_FALSE(tab->showsDragOutline()); // the selected tab is never outlined

    // Leaving and coming back starts the count again.
    dragSound(QEvent::DragMove, middleOfTab(1), data.get());
    EXPECT_FALSE(tab->isDraggingSoundOnTop());
    clock.advance(10 * CKTabBarView::kDragUpdateInterval);
    EXPECT_EQ(bar->tabAtIndex(1)->draggingStep(), 10u);
    dragSound(QEvent::DragMove, middleOfTab(0), data.get());
    dragSound(QEvent::DragMove, middleOfTab(1), data.get());
    EXPECT_EQ(bar->tabAtIndex(1)->draggingStep(), 0u);
}

TEST_F(TabBar, ASoundDroppedOnATabGoesToTheBoardItStandsForAndBesideTheTabsNowhere)
{
    ManualTimeSource clock;
    addTabs(8);
    std::unique_ptr<QMenu> menu(bar->popupMenu());
    menu->actions().at(1)->trigger(); // the last tab shown stands for board 6
    bar->selectTabAtIndexNoOverride(0);
    delegate.calls.clear();
    std::unique_ptr<QMimeData> data(soundData("1 7"));

    // With Alt held the sound is copied and the tab is never selected.
    dragSound(QEvent::DragEnter, middleOfTab(5), data.get(), Qt::AltModifier);
    dragSound(QEvent::DragMove, middleOfTab(5), data.get(), Qt::AltModifier);
    EXPECT_EQ(lastAction, Qt::CopyAction);
    clock.advance(60 * CKTabBarView::kDragUpdateInterval);
    EXPECT_EQ(bar->selectedIndex(), 0);
    dragSound(QEvent::Drop, middleOfTab(5), data.get(), Qt::AltModifier);
    EXPECT_TRUE(lastAccepted);
    EXPECT_EQ(delegate.calls, QStringList{"drop 6 copy"});
    EXPECT_EQ(delegate.droppedSound.clipdeckIndex, 1);
    EXPECT_EQ(delegate.droppedSound.cellIndex, 7);
    EXPECT_FALSE(bar->tabAtIndex(5)->isDraggingSoundOnTop());

    // Beside the tabs, or something that is not a sound: refused, the delegate hears nothing.
    delegate.calls.clear();
    dragSound(QEvent::DragEnter, at(990), data.get());
    dragSound(QEvent::DragMove, at(990), data.get());
    EXPECT_FALSE(lastAccepted);
    dragSound(QEvent::Drop, at(990), data.get());
    EXPECT_FALSE(lastAccepted);
    QMimeData text;
    text.setText("0 5");
    dragSound(QEvent::DragEnter, middleOfTab(1), &text);
    EXPECT_FALSE(lastAccepted);
    std::unique_ptr<QMimeData> malformed(soundData("0; rm -rf"));
    dragSound(QEvent::DragEnter, middleOfTab(1), malformed.get());
    dragSound(QEvent::Drop, middleOfTab(1), malformed.get());
    EXPECT_FALSE(lastAccepted);
    EXPECT_TRUE(delegate.calls.isEmpty()) << delegate.calls.join(", ").toStdString();
}

TEST(TabBarLayer, HitTestsGoByXOnlyAndHiddenButtonsAreNeverHit)
{
    CKTabBarLayer tab;
    tab.setFrame(QRectF(100, 0, 160, 20));
    const QRectF close = tab.closeButtonFrame();
    EXPECT_EQ(close.topLeft(), QPointF(5, 3));
    const qreal closeX = 100 + close.center().x();
    EXPECT_TRUE(tab.pointIsInCloseButton(QPointF(closeX, 19))); // any height
    EXPECT_FALSE(tab.pointIsInCloseButton(QPointF(100 + close.right() + 1, 10)));
    EXPECT_FALSE(tab.pointIsInDropDownMenuButton(QPointF(100 + tab.dropDownMenuButtonFrame().center().x(), 10)));
    tab.setDropDownMenuButtonVisible(true);
    EXPECT_TRUE(tab.pointIsInDropDownMenuButton(QPointF(100 + tab.dropDownMenuButtonFrame().center().x(), 10)));
    EXPECT_LT(tab.textFrame().right(), tab.dropDownMenuButtonFrame().left());
    tab.setCloseVisible(false);
    EXPECT_FALSE(tab.pointIsInCloseButton(QPointF(closeX, 10)));

    tab.setName("Effects");
    EXPECT_EQ(tab.displayedText(), "Effects");
    tab.setFirstDeleteClick(true);
    EXPECT_EQ(tab.displayedText(), "Delete Effects?");
    EXPECT_FALSE(tab.contents().isNull());
}
