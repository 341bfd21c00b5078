// The view base: drawing geometry is y-up, converted once at the view's edge.
#include "platform/ui/AppKitExtensions.h"
#include "platform/ui/ZEPView.h"

#include "RenderedPicture.h"

#include <QMouseEvent>
#include <QPaintEvent>
#include <QTest>

#include <gtest/gtest.h>

namespace {

const QRgb kRed = qRgb(255, 0, 0), kBlue = qRgb(0, 0, 255), kGreen = qRgb(0, 255, 0);

// A picture whose top half is red and bottom half blue: upright when red is on top.
QImage redOverBlue(int width, int height)
{
    QImage image = solidImage(QColor(kBlue), width, height);
    QPainter painter(&image);
    painter.fillRect(0, 0, width, height / 2, QColor(kRed));
    return image;
}

// Draws with y-up formulas and records what reaches it.
class YUpView : public ZEPView {
public:
    explicit YUpView(bool flipped = false) : ZEPView(QRect(0, 0, 100, 60)), flipped_(flipped) {}
    bool isFlipped() const override { return flipped_; }

    QPointF lastLocation;
    QRectF lastDirtyRect;

protected:
    void drawRect(QPainter& painter, const QRectF& dirtyRect) override
    {
        lastDirtyRect = dirtyRect;
        painter.fillRect(QRectF(0, 0, 10, 10), QColor(kGreen));    // the origin's corner
        drawImageInRect(painter, redOverBlue(20, 20), QRectF(50, 30, 20, 20));
        tileInRect(painter, redOverBlue(8, 8), QRectF(80, 0, 20, 20), ZEPImageAlignment::BottomLeft,
                   QPainter::CompositionMode_SourceOver, 1.0);
    }
    void mousePressEvent(QMouseEvent* event) override { lastLocation = locationInView(event); }

private:
    bool flipped_;
};

} // namespace

TEST(ZEPView, DrawsGeometryUpwardFromTheBottomEdgeWithPicturesUpright)
{
    YUpView view;
    const QImage picture = renderedPicture(view);
    EXPECT_EQ(picture.pixel(5, 55), kGreen); // y-up (0, 0, 10, 10) is the bottom-left corner
    EXPECT_EQ(qAlpha(picture.pixel(5, 5)), 0);
    // The picture at y-up (50, 30) fills Qt rows 10 to 29, red on top.
    EXPECT_EQ(picture.pixel(60, 12), kRed);
    EXPECT_EQ(picture.pixel(60, 27), kBlue);
    // Tiles laid from the bottom-left: whole tiles at the bottom, upright, cut at the top.
    EXPECT_EQ(picture.pixel(82, 58), kBlue); // bottom half of the lowest tile
    EXPECT_EQ(picture.pixel(82, 53), kRed);  // its top half
    EXPECT_EQ(picture.pixel(82, 42), kBlue); // the third tile, cut to its lower half
    EXPECT_EQ(qAlpha(picture.pixel(82, 38)), 0);

    YUpView flipped(true);
    const QImage qtPicture = renderedPicture(flipped);
    EXPECT_EQ(qtPicture.pixel(5, 5), kGreen);
    EXPECT_EQ(qtPicture.pixel(60, 32), kRed);
}

TEST(ZEPView, MouseLocationsAndRedrawRectanglesCrossOverOnce)
{
    YUpView view;
    QTest::mousePress(&view, Qt::LeftButton, {}, QPoint(7, 50));
    EXPECT_EQ(view.lastLocation, QPointF(7, 10));
    EXPECT_EQ(view.convertRectToQt(QRectF(10, 0, 20, 15)), QRectF(10, 45, 20, 15));
    EXPECT_EQ(view.convertRectFromQt(view.convertRectToQt(QRectF(3, 4, 5, 6))), QRectF(3, 4, 5, 6));
    EXPECT_EQ(view.bounds(), QRectF(0, 0, 100, 60));

    // A paint of Qt's top strip reaches drawRect as the view's top strip.
    QPaintEvent paint(QRect(0, 0, 100, 10));
    QCoreApplication::sendEvent(&view, &paint);
    EXPECT_EQ(view.lastDirtyRect, QRectF(0, 50, 100, 10));

    YUpView flipped(true);
    QTest::mousePress(&flipped, Qt::LeftButton, {}, QPoint(7, 50));
    EXPECT_EQ(flipped.lastLocation, QPointF(7, 50));
}
