// The grid's y-up geometry: cell placement, the cell's inner rectangles, the slider, the key
// cap, the hit test, and the percent text of the volume bubble.
#include "app/CKClipdeckButtonLayer.h"
#include "app/CKClipdeckButtonLayoutManager.h"
#include "app/CKQwertyKeyLayer.h"
#include "app/CKSliderLayer.h"

#include <gtest/gtest.h>

#include <cmath>
#include <ostream>

// Rectangles in failure messages.
QT_BEGIN_NAMESPACE
inline void PrintTo(const QRectF& r, std::ostream* out) { *out << "(" << r.x() << ", " << r.y() << ", " << r.width() << ", " << r.height() << ")"; }
QT_END_NAMESPACE

namespace {

bool near(const QRectF& a, const QRectF& b)
{
    return std::abs(a.x() - b.x()) < 1e-9 && std::abs(a.y() - b.y()) < 1e-9 && std::abs(a.width() - b.width()) < 1e-9 &&
           std::abs(a.height() - b.height()) < 1e-9;
}

TEST(CKClipdeckButtonLayoutManager, PlacesCellsRowZeroAtTheTopWithElevenPointGaps)
{
    CKClipdeckButtonLayoutManager layout;
    layout.setNumberOfRows(4);
    layout.setNumberOfColumns(8);
    // 800 x 400: cells of 90.375 x 91.75 before they are made integral.
    EXPECT_EQ(layout.rectOfCellAtIndex(0, QSizeF(800, 400)), QRectF(0, 308, 91, 92));
    EXPECT_EQ(layout.rectOfCellAtIndex(31, QSizeF(800, 400)), QRectF(709, 0, 91, 92));
    EXPECT_EQ(layout.rectOfCellAtIndex(9, QSizeF(800, 400)), QRectF(101, 205, 91, 93));
    // Outside the grid, and grids without rows or columns: no rectangle, no cell placed.
    EXPECT_TRUE(layout.rectOfCellAtIndex(32, QSizeF(800, 400)).isEmpty());
    EXPECT_TRUE(layout.layoutCellsInBounds(QRectF(0, 0, 820, 420), 40).size() == 32);
    layout.setNumberOfRows(0);
    EXPECT_TRUE(layout.layoutCellsInBounds(QRectF(0, 0, 820, 420), 32).isEmpty());
    layout.setNumberOfRows(4);
    layout.setNumberOfColumns(0);
    EXPECT_TRUE(layout.layoutCellsInBounds(QRectF(0, 0, 820, 420), 32).isEmpty());
    // Fewer cells than the grid holds: only those are placed, inside the 10-point margin.
    layout.setNumberOfColumns(8);
    const QList<QRectF> frames = layout.layoutCellsInBounds(QRectF(0, 0, 820, 420), 3);
    ASSERT_EQ(frames.size(), 3);
    EXPECT_EQ(frames[0], QRectF(10, 318, 91, 92));
}

TEST(CKClipdeckButtonLayoutManager, PreferredSizeAddsMarginsAndGaps)
{
    EXPECT_EQ(CKClipdeckButtonLayoutManager::preferredSizeOfSizes({}), QSizeF(60, 52));
    EXPECT_EQ(CKClipdeckButtonLayoutManager::preferredSizeOfSizes({QSizeF(10, 20), QSizeF(30, 5)}), QSizeF(90, 93));
}

TEST(CKClipdeckButtonLayer, InnerRectanglesFollowTheCellSize)
{
    struct Case {
        QRectF bounds;
        double spacing;
        QRectF text, key, action, slider;
    };
    // s = max(3, round(W / 50)); (w, h) = (W - 4s, H - 2s).
    const Case cases[] = {
        // s = 3, (w, h) = (88, 86); the action button is higher than wide: squared upwards.
        {QRectF(0, 0, 100, 92), 3, QRectF(3, 3, 176.0 / 3 - 3, 86), QRectF(176.0 / 3 - 1.5, 6 + 2 * 83.0 / 5, 26.4 - 3, 3 * 83.0 / 5),
         QRectF(176.0 / 3 + 6, 3 + (2 * 83.0 / 5 - (176.0 / 9 - 3)) / 2, 176.0 / 9 - 3, 176.0 / 9 - 3),
         QRectF(12 + 8 * 88.0 / 9, 3, 88.0 / 9, 86)},
        // s = 4, (w, h) = (184, 84); the action button is wider than high: squared sideways.
        {QRectF(0, 0, 200, 92), 4, QRectF(4, 4, 368.0 / 3 - 4, 84), QRectF(368.0 / 3 - 2, 40, 55.2 - 4, 48),
         QRectF(368.0 / 3 + 8 + (368.0 / 9 - 4 - 32) / 2, 4, 32, 32), QRectF(16 + 8 * 184.0 / 9, 4, 184.0 / 9, 84)},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.bounds.width());
        EXPECT_EQ(CKClipdeckButtonLayer::intercellSpacingInBounds(c.bounds), c.spacing);
        EXPECT_PRED2(near, CKClipdeckButtonLayer::rectOfTextInBounds(c.bounds), c.text);
        EXPECT_PRED2(near, CKClipdeckButtonLayer::rectOfKeyInBounds(c.bounds), c.key);
        const QRectF action = CKClipdeckButtonLayer::rectOfDropDownMenuInBounds(c.bounds);
        EXPECT_PRED2(near, action, c.action);
        EXPECT_DOUBLE_EQ(action.width(), action.height()); // always square
        EXPECT_PRED2(near, CKClipdeckButtonLayer::rectOfSliderInBounds(c.bounds), c.slider);
    }
}

TEST(CKSliderLayer, KnobSizeAndPositionFollowTheValue)
{
    CKSliderLayer slider;
    slider.setFrame(QRectF(90, 3, 10, 86));
    EXPECT_EQ(slider.sliderSize(), QSizeF(6, 12));
    EXPECT_EQ(slider.rectOfSliderRailInBounds(QRectF(0, 0, 10, 86)), QRectF(2, 0, 6, 86));
    // 0.5 after creation: the knob in the middle, minimum at the bottom.
    EXPECT_EQ(slider.rectOfSliderKnobInBounds(QRectF(0, 0, 10, 86)), QRectF(2, 37, 6, 12));
    int actions = 0;
    slider.setAction([&actions](CKSliderLayer*) { ++actions; });
    slider.setDoubleValue(2.0);
    EXPECT_EQ(slider.doubleValue(), 1.0);
    slider.setDoubleValue(1.0); // unchanged: no action
    EXPECT_EQ(actions, 1);
    EXPECT_EQ(slider.frameOfSliderHandle(), QRectF(92, 77, 6, 12));
    EXPECT_TRUE(slider.pointIsOnSliderHandle(QPointF(95, 80)));
    slider.setDoubleValue(-1);
    EXPECT_EQ(slider.doubleValue(), 0.0);
    // A slider narrower than 7.5 points: a knob 3 wide and 6 high.
    slider.setFrame(QRectF(0, 0, 7, 50));
    EXPECT_EQ(slider.sliderSize(), QSizeF(3, 6));
    // An empty range puts the knob at the bottom.
    slider.setMaxValue(0.0);
    EXPECT_EQ(slider.rectOfSliderKnobInBounds(QRectF(0, 0, 7, 50)).y(), 0.0);
}

TEST(CKQwertyKeyLayer, CaptionIsOneCharacterSizedToTheCap)
{
    CKQwertyKeyLayer cap;
    cap.setFrame(QRectF(0, 0, 30, 32));
    EXPECT_EQ(cap.characterFrame(), QRectF(0, -2, 30, 30));
    EXPECT_EQ(cap.characterFontSize(), 17.0);
    cap.setCharacterValue(QStringLiteral("ab"), 0);
    EXPECT_EQ(cap.characterValue(), QStringLiteral("a"));
    EXPECT_TRUE(cap.hasListeners());
    cap.clearKey();
    EXPECT_FALSE(cap.hasListeners());
    cap.setIsDisabled(true);
    EXPECT_EQ(cap.opacity(), 0.3);
}

} // namespace
