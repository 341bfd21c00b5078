// The path helpers the board window's drawing shares.
#include "app/CKPathExtensions.h"

#include <gtest/gtest.h>

TEST(CKPathExtensions, RoundedRectanglesThatRoundToTheSamePixelsAndRadiusShareOnePath)
{
    const QPainterPath& a = CKRoundedRectPath(QRectF(10.2, 10.7, 100.4, 20.1), 4.9);
    const QPainterPath& b = CKRoundedRectPath(QRectF(10, 10, 101, 21), 4.2); // 4.9 and 4.2 are both 4
    EXPECT_EQ(&a, &b);
    EXPECT_EQ(a.boundingRect(), QRectF(10, 10, 101, 21));
    EXPECT_NE(&CKRoundedRectPath(QRectF(10, 10, 101, 21), 5), &a);
    EXPECT_NE(&CKRoundedRectPath(QRectF(11, 10, 101, 21), 4), &a);
    EXPECT_EQ(CKIntegralRect(QRectF(0.5, -0.5, 1, 1)), QRectF(0, -1, 2, 2));
}

TEST(CKPathExtensions, AnOpenLastSubpathIsClosedAndAClosedOneIsNotClosedTwice)
{
    EXPECT_TRUE(CKClosedPath(QPainterPath()).isEmpty());

    QPainterPath open;
    open.moveTo(0, 0);
    open.lineTo(10, 0);
    open.lineTo(10, 10);
    const QPainterPath closed = CKClosedPath(open);
    ASSERT_EQ(closed.elementCount(), 4);
    EXPECT_EQ(QPointF(closed.elementAt(3)), QPointF(0, 0));

    EXPECT_EQ(CKClosedPath(closed).elementCount(), 4);
    EXPECT_EQ(open.elementCount(), 3); // the original stays as it was
}
