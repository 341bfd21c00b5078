#include "platform/UndoManager.h"

#include "support/TestEnvironment.h"

#include <QCoreApplication>

#include <gtest/gtest.h>

namespace {

// A value whose every change registers its inverse, the way the edit model does.
struct Counter {
    UndoManager& undo;
    int value = 0;

    void set(int newValue)
    {
        const int oldValue = value;
        undo.registerUndoWithTarget(this, [this, oldValue] { set(oldValue); });
        value = newValue;
    }
};

} // namespace

TEST(UndoManager, UndoRegistersIntoRedoAndRedoIntoUndo)
{
    UndoManager undo;
    undo.setGroupsByEvent(false);
    Counter counter{undo};
    counter.set(1);
    counter.set(2);
    undo.setActionName("Second");

    undo.undo();
    EXPECT_EQ(counter.value, 1);
    EXPECT_TRUE(undo.canRedo());
    EXPECT_EQ(undo.redoActionName(), "Second");
    undo.undo();
    EXPECT_EQ(counter.value, 0);
    EXPECT_FALSE(undo.canUndo());

    undo.redo();
    undo.redo();
    EXPECT_EQ(counter.value, 2);
    EXPECT_EQ(undo.undoActionName(), "Second");
    undo.undo();
    EXPECT_EQ(counter.value, 1);

    // A new change outside undo and redo forgets what could be redone.
    counter.set(7);
    EXPECT_FALSE(undo.canRedo());
}

TEST(UndoManager, GroupsUndoAsOneStepInReverseOrder)
{
    UndoManager undo;
    std::vector<int> ran;
    undo.beginUndoGrouping();
    undo.registerUndoWithTarget(&ran, [&] { ran.push_back(1); });
    undo.beginUndoGrouping(); // nested groups fold into the outer one
    undo.registerUndoWithTarget(&ran, [&] { ran.push_back(2); });
    undo.endUndoGrouping();
    undo.registerUndoWithTarget(&ran, [&] { ran.push_back(3); });
    undo.setActionName("Cut");
    EXPECT_THROW(undo.undo(), std::logic_error); // a group is still open
    undo.endUndoGrouping();

    EXPECT_EQ(undo.undoActionName(), "Cut");
    undo.undo();
    EXPECT_EQ(ran, (std::vector<int>{3, 2, 1}));
    EXPECT_FALSE(undo.canUndo());
}

TEST(UndoManager, RegistrationsOfOneEventLoopPassFormOneGroup)
{
    UndoManager undo;
    Counter counter{undo};
    counter.set(1);
    counter.set(2);
    QCoreApplication::processEvents(); // the pass ends
    counter.set(3);
    undo.undo(); // closes the open group first
    EXPECT_EQ(counter.value, 2);
    undo.undo();
    EXPECT_EQ(counter.value, 0);
}

TEST(UndoManager, RemovingATargetsActionsAndDisablingRegistration)
{
    UndoManager undo;
    undo.setGroupsByEvent(false);
    Counter a{undo}, b{undo};
    a.set(1);
    b.set(1);
    undo.disableUndoRegistration();
    a.set(5); // not recorded
    undo.enableUndoRegistration();
    EXPECT_THROW(undo.enableUndoRegistration(), std::logic_error);

    undo.removeAllActionsWithTarget(&b);
    undo.undo();
    EXPECT_EQ(a.value, 0); // a's one recorded step restores the value before it
    EXPECT_EQ(b.value, 1);
    EXPECT_FALSE(undo.canUndo());

    undo.setLevelsOfUndo(2);
    a.set(10);
    a.set(11);
    a.set(12);
    undo.undo();
    undo.undo();
    EXPECT_FALSE(undo.canUndo());
    EXPECT_EQ(a.value, 10);
}
