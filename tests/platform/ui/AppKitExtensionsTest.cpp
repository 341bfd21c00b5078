// Colours, tinted images, colours kept in stored dictionaries, and the named transformers.
#include "platform/ui/AppKitExtensions.h"
#include "platform/ui/ZEPDisabledColorTransformer.h"
#include "platform/ui/ZEPDisplayNameTransformer.h"

#include "platform/UserDefaults.h"
#include "RenderedPicture.h"
#include "support/TestEnvironment.h"

#include <QGuiApplication>
#include <QPalette>
#include <QUrl>

#include <gtest/gtest.h>

using clipdeck::test::TempFolder;

TEST(AppKitExtensions, AlphaIsMultipliedAndTintsKeepShapeAndLightness)
{
    EXPECT_EQ(colorWithMultipliedAlphaComponent(QColor(10, 20, 30, 200), 0.5), QColor(10, 20, 30, 100));
    EXPECT_EQ(colorWithMultipliedAlphaComponent(QColor(10, 20, 30, 200), 3.0).alpha(), 255);

    // A white disc on transparency, tinted light grey: the same size and outline, grey.
    QImage disc(16, 16, QImage::Format_ARGB32_Premultiplied);
    disc.fill(Qt::transparent);
    {
        QPainter painter(&disc);
        painter.setBrush(Qt::white);
        painter.setPen(Qt::NoPen);
        painter.drawEllipse(2, 2, 12, 12);
    }
    const QImage tinted = colorizedImageWithColor(disc, QColor::fromRgbF(0.9f, 0.9f, 0.9f));
    ASSERT_EQ(tinted.size(), disc.size());
    EXPECT_EQ(qAlpha(tinted.pixel(0, 0)), 0);
    const QColor centre = tinted.pixelColor(8, 8);
    EXPECT_EQ(centre.alpha(), 255);
    EXPECT_NEAR(centre.redF(), 0.9, 0.01);
    const QImage blue = colorizedImageWithColor(disc, QColor(0, 0, 255));
    EXPECT_GT(blue.pixelColor(8, 8).blue(), blue.pixelColor(8, 8).red());
    EXPECT_TRUE(colorizedImageWithColor(QImage(), Qt::red).isNull());
}

TEST(AppKitExtensions, TilesStartWholeAtTheAlignedCorner)
{
    const QImage tile = solidImage(QColor(Qt::red), 8, 8);
    QImage picture = solidImage(QColor(Qt::white), 40, 20);
    {
        QPainter painter(&picture);
        // Top-left on a Qt painter: whole tiles from (4, 2), cut at the right and bottom.
        QImage marked = tile;
        marked.setPixel(0, 0, qRgb(0, 0, 255)); // each tile's own top-left corner
        tileInRect(painter, marked, QRectF(4, 2, 20, 12), ZEPImageAlignment::TopLeft,
                   QPainter::CompositionMode_SourceOver, 1.0);
    }
    EXPECT_EQ(picture.pixel(4, 2), qRgb(0, 0, 255));
    EXPECT_EQ(picture.pixel(12, 10), qRgb(0, 0, 255));
    EXPECT_EQ(picture.pixel(23, 13), qRgb(255, 0, 0));
    EXPECT_EQ(picture.pixel(24, 10), qRgb(255, 255, 255)); // outside the rectangle
    EXPECT_EQ(picture.pixel(10, 14), qRgb(255, 255, 255));
}

TEST(AppKitExtensions, ColoursInADictionaryReadBackEqualAlsoThroughTheDefaults)
{
    const QColor trackOne = QColor::fromRgbF(0.530728f, 0.542986f, 0.479391f);
    const QColor translucent = QColor::fromRgbF(0.25f, 0.25f, 0.25f, 0.5f);
    QVariantMap settings;
    setColorForKey(settings, trackOne, "trackOneColor");
    setColorForKey(settings, translucent, "playbackMarkerBG");
    setColorForKey(settings, QColor(), "nothing"); // an invalid colour stores nothing
    EXPECT_FALSE(settings.contains("nothing"));
    EXPECT_EQ(colorForKey(settings, "trackOneColor"), trackOne);

    TempFolder folder;
    {
        UserDefaults defaults(folder.file("defaults.plist"));
        defaults.setObject(settings, "editorSettings");
        defaults.synchronize();
    }
    UserDefaults reread(folder.file("defaults.plist"));
    const QVariantMap stored = reread.dictionaryForKey("editorSettings");
    EXPECT_EQ(colorForKey(stored, "trackOneColor"), trackOne);
    EXPECT_EQ(colorForKey(stored, "playbackMarkerBG"), translucent);

    // Anything else under a key is no colour.
    const QVariantMap junk{{"short", QVariantList{1, 0}}, {"text", "red"}, {"range", QVariantList{2, 0, 0, 1}}};
    for (const QString& key : junk.keys())
        EXPECT_FALSE(colorForKey(junk, key).isValid()) << key.toStdString();
    EXPECT_FALSE(colorForKey(junk, "absent").isValid());
}

TEST(ValueTransformers, NamedTransformersTurnStateIntoColoursAndPathsIntoNames)
{
    ValueTransformer::setValueTransformer(ZEPDisabledColorTransformer::disabledColorTransformer(),
                                          "ZEPDisabledColorTransformer");
    ValueTransformer::setValueTransformer(std::make_shared<ZEPDisplayNameTransformer>(), "ZEPDisplayNameTransformer");

    auto colors = ValueTransformer::valueTransformerForName("ZEPDisabledColorTransformer");
    ASSERT_TRUE(colors);
    EXPECT_EQ(colors->transformedValueClass(), QMetaType::fromType<QColor>());
    EXPECT_FALSE(colors->allowsReverseTransformation());
    const QPalette palette = QGuiApplication::palette();
    EXPECT_EQ(colors->transformedValue(true).value<QColor>(), palette.color(QPalette::Active, QPalette::WindowText));
    EXPECT_EQ(colors->transformedValue(false).value<QColor>(), palette.color(QPalette::Disabled, QPalette::WindowText));
    EXPECT_EQ(colors->transformedValue(QVariant()).value<QColor>(),
              palette.color(QPalette::Disabled, QPalette::WindowText));

    auto names = ValueTransformer::valueTransformerForName("ZEPDisplayNameTransformer");
    ASSERT_TRUE(names);
    const struct {
        QVariant value;
        QVariant name;
    } cases[] = {
        {QStringLiteral("/home/stage/Sounds/Applause.wav"), QStringLiteral("Applause.wav")},
        {QStringLiteral("file:///home/stage/My%20Sounds/"), QStringLiteral("My Sounds")},
        {QUrl::fromLocalFile("/tmp/Cue 12.aiff"), QStringLiteral("Cue 12.aiff")},
        {42, QVariant()},
        {QString(), QVariant()},
    };
    for (const auto& c : cases)
        EXPECT_EQ(names->transformedValue(c.value), c.name) << c.value.toString().toStdString();

    ValueTransformer::setValueTransformer(nullptr, "ZEPDisplayNameTransformer");
    EXPECT_FALSE(ValueTransformer::valueTransformerForName("ZEPDisplayNameTransformer"));
    EXPECT_FALSE(ValueTransformer::valueTransformerForName("NoSuchTransformer"));
}
