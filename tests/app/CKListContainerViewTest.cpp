// The list container: rows stacked top to bottom, the empty row, lazy layout.
#include "app/CKListContainerView.h"

#include "support/SettleEventLoop.h"

#include <QCoreApplication>
#include <QPointer>
#include <QScrollArea>

#include <gtest/gtest.h>

#include <utility>
#include <vector>

using clipdeck::test::settleEventLoop;

namespace {

QWidget* makeRow(int height)
{
    auto* row = new QWidget;
    row->resize(10, height);
    return row;
}

struct HeightRecorder : CKListContainerViewDelegate {
    void listContainerView(CKListContainerView*, float from, float to) override { changes.emplace_back(from, to); }
    std::vector<std::pair<float, float>> changes;
};

// A container with an empty row view, as the panes make it.
struct ListFixture {
    ListFixture() : list(new CKListContainerView(QRect(0, 0, 200, 100), &holder))
    {
        emptyRow = new QWidget;
        emptyRow->resize(200, 21);
        list->setEmptyRowView(emptyRow);
    }
    QWidget holder;
    CKListContainerView* list;
    QWidget* emptyRow;
};

} // namespace

TEST(CKListContainerViewTest, StacksRowsAtTheirOwnHeightsAndGrowsInsideAScrollArea)
{
    QScrollArea scrollArea;
    scrollArea.resize(220, 200);
    auto* list = new CKListContainerView(QRect(0, 0, 200, 10));
    scrollArea.setWidget(list);
    scrollArea.show();
    HeightRecorder recorder;
    list->setDelegate(&recorder);
    QWidget* rows[] = {makeRow(21), makeRow(30), makeRow(21)};
    for (QWidget* row : rows)
        list->addRow(row);
    settleEventLoop();
    EXPECT_EQ(rows[0]->geometry(), QRect(0, 0, list->width(), 21));
    EXPECT_EQ(rows[1]->geometry(), QRect(0, 21, list->width(), 30));
    EXPECT_EQ(rows[2]->geometry(), QRect(0, 51, list->width(), 21));
    EXPECT_EQ(list->height(), 72);
    EXPECT_EQ(list->width(), scrollArea.viewport()->width());
    ASSERT_FALSE(recorder.changes.empty());
    EXPECT_FLOAT_EQ(recorder.changes.back().second, 72);
    EXPECT_EQ(list->rectOfRowAtIndex(1), QRect(0, 21, list->width(), 30));
}

TEST(CKListContainerViewTest, IndexesOutOfRangeAppendOrDoNothing)
{
    ListFixture fixture;
    CKListContainerView& list = *fixture.list;
    QWidget* first = makeRow(21);
    QWidget* second = makeRow(21);
    list.addRow(first);
    list.addRow(second, 7); // past the end: appended
    QWidget* third = makeRow(21);
    list.addRow(third, 0);
    EXPECT_EQ(list.numberOfRows(), 3);
    EXPECT_EQ(list.indexOfRow(third), 0);
    EXPECT_EQ(list.indexOfRow(first), 1);
    EXPECT_EQ(list.indexOfRow(second), 2);

    for (int index : {3, 42, -1, CKListContainerView::kNotFound}) {
        list.removeRowAtIndex(index);
        EXPECT_EQ(list.numberOfRows(), 3) << index;
    }
    EXPECT_EQ(list.rowAtIndex(3), nullptr);
    EXPECT_EQ(list.rectOfRowAtIndex(3), QRect());
    EXPECT_EQ(list.rectOfRowAtIndex(CKListContainerView::kNotFound), QRect());
    EXPECT_EQ(list.indexOfRow(fixture.emptyRow), CKListContainerView::kNotFound);
}

TEST(CKListContainerViewTest, EmptyRowStandsInForNoRows)
{
    ListFixture fixture;
    CKListContainerView& list = *fixture.list;
    EXPECT_EQ(list.rowAtIndex(0), fixture.emptyRow);
    EXPECT_EQ(list.numberOfRows(), 0);

    QPointer<QWidget> row = makeRow(30);
    list.addRow(row);
    EXPECT_EQ(list.numberOfRows(), 1);
    EXPECT_EQ(list.rowAtIndex(0), row);
    EXPECT_EQ(list.rowAtIndex(1), nullptr); // the empty row went
    EXPECT_FALSE(list.emptyRowIsVisible());

    list.removeRowAtIndex(0);
    EXPECT_EQ(list.rowAtIndex(0), fixture.emptyRow);
    EXPECT_EQ(list.rowAtIndex(1), nullptr);
    EXPECT_EQ(list.numberOfRows(), 0);
    EXPECT_TRUE(list.emptyRowIsVisible());
    settleEventLoop();
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    EXPECT_TRUE(row.isNull()); // a removed row is deleted once the loop turns
    EXPECT_EQ(fixture.emptyRow->y(), 0);
}

TEST(CKListContainerViewTest, EmptyRowFlagCanOnlyBeSwitchedOff)
{
    ListFixture fixture;
    CKListContainerView& list = *fixture.list;
    list.setAlwaysDisplaysEmptyRowAtBottom(true);
    EXPECT_FALSE(list.alwaysDisplaysEmptyRowAtBottom());

    // With the flag, the empty row stays below the rows and is not counted as one.
    list.ohNoGCCSeemsToHaveComeDownWithACaseOfStupid();
    list.removeAllRows();
    list.addRow(makeRow(30));
    EXPECT_EQ(list.numberOfRows(), 1);
    EXPECT_EQ(list.rowAtIndex(1), fixture.emptyRow);
    EXPECT_TRUE(list.emptyRowIsVisible());
    settleEventLoop();
    EXPECT_EQ(fixture.emptyRow->y(), 30);

    list.setAlwaysDisplaysEmptyRowAtBottom(false);
    EXPECT_FALSE(list.alwaysDisplaysEmptyRowAtBottom());
    EXPECT_EQ(list.rowAtIndex(1), nullptr);
    EXPECT_EQ(list.numberOfRows(), 1);
}

TEST(CKListContainerViewTest, LayoutRequestsInOnePassGiveOneLayout)
{
    ListFixture fixture;
    CKListContainerView& list = *fixture.list;
    settleEventLoop();
    HeightRecorder recorder;
    list.setDelegate(&recorder);
    list.readjustEverything();
    list.readjustEverything();
    settleEventLoop();
    EXPECT_EQ(recorder.changes.size(), 1u);
}

TEST(CKListContainerViewTest, RowDeletedElsewhereLeavesTheList)
{
    ListFixture fixture;
    QWidget* kept = makeRow(21);
    QWidget* deleted = makeRow(21);
    fixture.list->addRow(kept);
    fixture.list->addRow(deleted);
    delete deleted;
    EXPECT_EQ(fixture.list->numberOfRows(), 1);
    EXPECT_EQ(fixture.list->rowAtIndex(0), kept);
}
