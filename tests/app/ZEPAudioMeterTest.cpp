// The level meter as drawn under Qt's offscreen platform, its peak aged on a clock the
// test moves by hand.
#include "app/ZEPAudioMeter.h"
#include "platform/TimeSource.h"

#include "../platform/ui/RenderedPicture.h"

#include <gtest/gtest.h>

namespace {

const QColor kBackground(0, 0, 255);
const QColor kLit(0, 255, 0);
const QColor kDisabled(128, 128, 128);

// A meter of the given frame over solid 100 x 10 images: what is lit, unlit and low can be
// told apart pixel by pixel.
struct MeterFixture {
    explicit MeterFixture(QRect frame) : meter(frame)
    {
        meter.setBackgroundImage(solidImage(kBackground, 100, 10));
        meter.setLitImage(solidImage(kLit, 100, 10));
        meter.setDisabledImage(solidImage(kDisabled, 100, 10));
    }
    QImage picture() { return renderedPicture(meter); }

    ManualTimeSource clock;
    ZEPAudioMeter meter;
};

QColor colourAt(const QImage& picture, int x, int y) { return QColor::fromRgba(picture.pixel(x, y)); }

// How many columns of the bottom row, from the left, are lit; fails unless every other
// column of the images' 100 is background and nothing is drawn right of them.
::testing::AssertionResult litColumns(const QImage& picture, int expected)
{
    const int y = picture.height() - 5;
    for (int x = 0; x < picture.width(); ++x) {
        const QColor want = x < expected ? kLit : x < 100 ? kBackground : QColor(Qt::transparent);
        const QColor got = colourAt(picture, x, y);
        if (got.rgba() != want.rgba())
            return ::testing::AssertionFailure() << "column " << x << " is " << qPrintable(got.name(QColor::HexArgb))
                                                 << ", wanted " << qPrintable(want.name(QColor::HexArgb));
    }
    return ::testing::AssertionSuccess();
}

} // namespace

TEST(ZEPAudioMeterTest, LightsItsImagesInProportionAndNeverPaintsOutsideThem)
{
    struct Case {
        const char* what;
        float maximum;
        float value;
        float stored;
        int lit;
    };
    const Case cases[] = {
        {"silence", 1.0f, 0.0f, 0.0f, 0},
        {"half", 1.0f, 0.5f, 0.5f, 50},
        {"full scale is stored as the maximum", 0.8f, 1.0f, 0.8f, 100},
        {"just under full scale stays above the maximum", 0.8f, 0.99f, 0.99f, 100},
        {"a failed read's raw decibels", 1.0f, -96.0f, -96.0f, 0},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        // Wider than its images: the meter draws at the images' size.
        MeterFixture fixture(QRect(0, 0, 140, 10));
        fixture.meter.setMaxValue(c.maximum);
        fixture.meter.setFloatValue(c.value);
        EXPECT_FLOAT_EQ(fixture.meter.floatValue(), c.stored);
        EXPECT_TRUE(litColumns(fixture.picture(), c.lit));
    }
}

TEST(ZEPAudioMeterTest, ClippedPeakFillsTheMeterOnlyWhenAskedTo)
{
    MeterFixture fixture(QRect(0, 0, 100, 10));
    fixture.meter.setFloatValue(0.25f);
    fixture.meter.setPeakValue(1.2f);
    EXPECT_TRUE(litColumns(fixture.picture(), 100));

    // The bar follows the value, and a peak above the maximum shows no indicator.
    fixture.meter.setIndicatesPeakWithFullMeter(false);
    fixture.meter.setPeakColor(Qt::red);
    EXPECT_TRUE(litColumns(fixture.picture(), 25));
}

TEST(ZEPAudioMeterTest, PeakIndicatorFadesOutOverTwoSeconds)
{
    MeterFixture fixture(QRect(0, 0, 100, 10));
    fixture.meter.setPeakColor(Qt::red);
    fixture.meter.setFloatValue(0.25f);
    fixture.meter.setPeakValue(0.5f);

    // A 2-point bar ending at the peak, inset a point top and bottom.
    QImage picture = fixture.picture();
    EXPECT_EQ(colourAt(picture, 48, 5), QColor(Qt::red));
    EXPECT_EQ(colourAt(picture, 49, 1), QColor(Qt::red));
    EXPECT_EQ(colourAt(picture, 49, 0), kBackground);
    EXPECT_EQ(colourAt(picture, 50, 5), kBackground);

    fixture.clock.advance(1.5);
    picture = fixture.picture();
    const QColor faded = colourAt(picture, 49, 5); // red at 0.25 over the background
    EXPECT_NEAR(faded.red(), 64, 2);
    EXPECT_NEAR(faded.blue(), 191, 2);
    EXPECT_FLOAT_EQ(fixture.meter.peakValue(), 0.5f);

    fixture.clock.advance(0.5);
    EXPECT_TRUE(litColumns(fixture.picture(), 25));
    EXPECT_FLOAT_EQ(fixture.meter.peakValue(), 0.0f);

    // Without a colour the indicator is the lit image's slice at the peak.
    fixture.meter.setPeakColor(QColor());
    fixture.meter.setPeakValue(0.5f);
    picture = fixture.picture();
    EXPECT_EQ(colourAt(picture, 48, 0), kLit);
    EXPECT_EQ(colourAt(picture, 49, 9), kLit);
    EXPECT_EQ(colourAt(picture, 47, 5), kBackground);
}

TEST(ZEPAudioMeterTest, TallMeterLightsFromTheBottom)
{
    MeterFixture fixture(QRect(0, 0, 10, 100));
    ASSERT_TRUE(fixture.meter.isVertical());
    fixture.meter.setFloatValue(0.25f);
    const QImage picture = fixture.picture();
    for (int y = 0; y < 100; ++y) {
        const QColor want = y >= 75 ? kLit : kBackground;
        ASSERT_EQ(colourAt(picture, 0, y), want) << "row " << y;
        ASSERT_EQ(colourAt(picture, 9, y), want) << "row " << y;
    }
}

TEST(ZEPAudioMeterTest, LowZoneIsDrawnOverTheBar)
{
    MeterFixture fixture(QRect(0, 0, 100, 10));
    fixture.meter.setFloatValue(0.5f);
    fixture.meter.setLowLevel(0.25f);
    const QImage picture = fixture.picture();
    EXPECT_EQ(colourAt(picture, 24, 5), kDisabled);
    EXPECT_EQ(colourAt(picture, 25, 5), kLit);
    EXPECT_EQ(colourAt(picture, 50, 5), kBackground);
}

TEST(ZEPAudioMeterTest, DrawsItselfOnlyWhenAskedTo)
{
    MeterFixture fixture(QRect(0, 0, 100, 10));
    fixture.meter.setFloatValue(0.5f);
    EXPECT_TRUE(fixture.meter.needsDisplay());
    fixture.meter.setAutoDraws(false);
    fixture.meter.setFloatValue(0.6f);
    EXPECT_FALSE(fixture.meter.needsDisplay());
}
