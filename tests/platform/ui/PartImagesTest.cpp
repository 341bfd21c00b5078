#include "platform/ui/PartImages.h"

#include "RenderedPicture.h"

#include <gtest/gtest.h>

namespace {

const QRgb kRed = qRgb(255, 0, 0), kGreen = qRgb(0, 255, 0), kBlue = qRgb(0, 0, 255);
const QRgb kNone = 0;

// Which colour each pixel along a line of the picture has.
std::vector<QRgb> row(const QImage& picture, int y)
{
    std::vector<QRgb> colours;
    for (int x = 0; x < picture.width(); ++x)
        colours.push_back(qAlpha(picture.pixel(x, y)) ? picture.pixel(x, y) : kNone);
    return colours;
}

std::vector<QRgb> column(const QImage& picture, int x)
{
    std::vector<QRgb> colours;
    for (int y = 0; y < picture.height(); ++y)
        colours.push_back(qAlpha(picture.pixel(x, y)) ? picture.pixel(x, y) : kNone);
    return colours;
}

std::vector<QRgb> runs(std::initializer_list<std::pair<int, QRgb>> parts)
{
    std::vector<QRgb> colours;
    for (const auto& [count, colour] : parts)
        colours.insert(colours.end(), count, colour);
    return colours;
}

} // namespace

TEST(ThreePartImage, PutsCapsAtTheEndsAndStretchesTheFillBetween)
{
    const QImage horizontal = ThreePartImage(QRectF(5, 7, 20, 4), solidImage(kRed, 3, 2), solidImage(kGreen, 1, 1),
                                             solidImage(kBlue, 5, 9), false, QPainter::CompositionMode_SourceOver, 1.0, false);
    ASSERT_EQ(horizontal.size(), QSize(20, 4));
    const auto expectedRow = runs({{3, kRed}, {12, kGreen}, {5, kBlue}});
    for (int y = 0; y < 4; ++y)
        EXPECT_EQ(row(horizontal, y), expectedRow) << "row " << y;

    const QImage vertical = ThreePartImage(QRectF(0, 0, 4, 20), solidImage(kRed, 2, 3), solidImage(kGreen, 1, 1),
                                           solidImage(kBlue, 9, 5), true, QPainter::CompositionMode_SourceOver, 1.0, true);
    ASSERT_EQ(vertical.size(), QSize(4, 20));
    for (int x = 0; x < 4; ++x)
        EXPECT_EQ(column(vertical, x), runs({{3, kRed}, {12, kGreen}, {5, kBlue}})) << "column " << x;
}

TEST(ThreePartImage, MissingPartsDrawNothingAndTakeNoRoom)
{
    const QImage noStart = ThreePartImage(QRectF(0, 0, 10, 2), QImage(), solidImage(kGreen, 1, 1), solidImage(kBlue, 2, 2),
                                          false, QPainter::CompositionMode_SourceOver, 1.0, false);
    EXPECT_EQ(row(noStart, 0), runs({{8, kGreen}, {2, kBlue}}));

    // Without caps, the fill covers the rectangle and not a pixel more.
    QImage picture(14, 2, QImage::Format_ARGB32_Premultiplied);
    picture.fill(Qt::transparent);
    QPainter painter(&picture);
    ZEPDrawThreePartImage(painter, QRectF(2, 0, 10, 2), QImage(), solidImage(kGreen, 1, 1), QImage(), false,
                          QPainter::CompositionMode_SourceOver, 1.0, true, true);
    painter.end();
    EXPECT_EQ(row(picture, 0), runs({{2, kNone}, {10, kGreen}, {2, kNone}}));

    const QImage nothing = ThreePartImage(QRectF(0, 0, 10, 2), QImage(), QImage(), QImage(), false,
                                          QPainter::CompositionMode_SourceOver, 1.0, false);
    EXPECT_TRUE(isTransparent(nothing));
    EXPECT_TRUE(ThreePartImage(QRectF(0, 0, 0, 5), solidImage(kRed, 1, 1), QImage(), QImage(), false,
                               QPainter::CompositionMode_SourceOver, 1.0, false)
                    .isNull());
}

TEST(NinePartImage, KeepsCornersAtTheirSizeAndStretchesEdgesAndCentre)
{
    // Corners of different sizes: the left column is as wide as the top-left corner, the
    // right as the top-right, the top row as high as the top-left, the bottom as the
    // bottom-left.
    const QRgb tl = qRgb(1, 0, 0), t = qRgb(2, 0, 0), tr = qRgb(3, 0, 0), l = qRgb(4, 0, 0), c = qRgb(5, 0, 0),
               r = qRgb(6, 0, 0), bl = qRgb(7, 0, 0), b = qRgb(8, 0, 0), br = qRgb(9, 0, 0);
    const QImage picture = NinePartImage(QRectF(0, 0, 12, 10), solidImage(tl, 2, 3), solidImage(t, 1, 1), solidImage(tr, 4, 3),
                                         solidImage(l, 1, 1), solidImage(c, 1, 1), solidImage(r, 1, 1), solidImage(bl, 2, 1),
                                         solidImage(b, 1, 1), solidImage(br, 4, 1), QPainter::CompositionMode_SourceOver, 1.0, false);
    ASSERT_EQ(picture.size(), QSize(12, 10));
    EXPECT_EQ(row(picture, 0), runs({{2, tl}, {6, t}, {4, tr}}));
    EXPECT_EQ(row(picture, 2), runs({{2, tl}, {6, t}, {4, tr}}));
    EXPECT_EQ(row(picture, 3), runs({{2, l}, {6, c}, {4, r}}));
    EXPECT_EQ(row(picture, 8), runs({{2, l}, {6, c}, {4, r}}));
    EXPECT_EQ(row(picture, 9), runs({{2, bl}, {6, b}, {4, br}}));
}

TEST(ZEPDrawNinePartImage, DrawsUprightThroughAnUpwardPainterWhenNotFlipped)
{
    // A corner whose top row differs from its bottom row shows the orientation.
    QImage topLeft = solidImage(kBlue, 3, 3);
    for (int x = 0; x < 3; ++x)
        topLeft.setPixel(x, 0, kRed);
    const QImage edge = solidImage(kGreen, 1, 1);
    const QRectF rect(2, 1, 10, 8);
    const auto draw = [&](bool yUp) {
        QImage picture(14, 12, QImage::Format_ARGB32_Premultiplied);
        picture.fill(Qt::transparent);
        QPainter painter(&picture);
        QRectF target = rect;
        if (yUp) {
            painter.translate(0, picture.height());
            painter.scale(1, -1);
            target = QRectF(rect.x(), picture.height() - rect.bottom(), rect.width(), rect.height());
        }
        ZEPDrawNinePartImage(painter, target, topLeft, edge, edge, edge, edge, edge, edge, edge, edge,
                             QPainter::CompositionMode_SourceOver, 1.0, true, !yUp);
        return picture;
    };
    const QImage flipped = draw(false);
    EXPECT_EQ(flipped.pixel(2, 1), kRed);  // top row of the corner at the top
    EXPECT_EQ(flipped.pixel(2, 3), kBlue);
    EXPECT_EQ(flipped.pixel(11, 8), kGreen);
    EXPECT_EQ(draw(true), flipped);
}

TEST(ZEPDrawNinePartImage, HonoursCompositingOpacityAndPixelAlignment)
{
    const QColor halfRed(255, 0, 0, 128);
    const auto drawOverBlue = [&](QPainter::CompositionMode op, qreal opacity) {
        QImage picture = solidImage(kBlue, 4, 4);
        QPainter painter(&picture);
        const QImage part = solidImage(halfRed, 1, 1);
        ZEPDrawNinePartImage(painter, QRectF(0, 0, 4, 4), part, part, part, part, part, part, part, part, part, op,
                             opacity, true, true);
        painter.end();
        return QColor::fromRgba(picture.pixel(2, 2));
    };
    const QColor copied = drawOverBlue(QPainter::CompositionMode_Source, 1.0);
    EXPECT_EQ(copied.blue(), 0);
    EXPECT_NEAR(copied.alpha(), 128, 1);
    const QColor blended = drawOverBlue(QPainter::CompositionMode_SourceOver, 1.0);
    EXPECT_EQ(blended.alpha(), 255);
    EXPECT_GT(blended.blue(), 100);
    EXPECT_GT(blended.red(), 100);
    const QColor faint = drawOverBlue(QPainter::CompositionMode_SourceOver, 0.5);
    EXPECT_LT(faint.red(), blended.red());

    // Parts of a rectangle at fractions of a pixel meet on whole pixels, without a seam.
    QImage picture(12, 8, QImage::Format_ARGB32_Premultiplied);
    picture.fill(Qt::transparent);
    QPainter painter(&picture);
    const QImage corner = solidImage(kRed, 2, 2), edge = solidImage(kGreen, 1, 1);
    ZEPDrawNinePartImage(painter, QRectF(0.6, 0.6, 9.7, 5.8), corner, edge, corner, edge, edge, edge, corner, edge,
                         corner, QPainter::CompositionMode_SourceOver, 1.0, true, true);
    painter.end();
    for (int y = 0; y < 8; ++y)
        for (int x = 0; x < 12; ++x)
            EXPECT_EQ(qAlpha(picture.pixel(x, y)), (x >= 1 && x < 10 && y >= 1 && y < 6) ? 255 : 0)
                << "pixel " << x << "," << y;
}
