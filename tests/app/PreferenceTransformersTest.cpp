// The value transformers of the preference panes, both ways, and the names they are found by.
#include "app/CKPercentageTransformer.h"
#include "app/CKPlaybackPreferencesController.h"
#include "app/CKStringToURLTransformer.h"

#include <gtest/gtest.h>

#include <QUrl>

TEST(CKPercentageTransformer, ShowsFractionsAsPercentagesAndReadsOnlyNumbersBack)
{
    struct Shown {
        unsigned precision;
        QVariant value;
        QVariant text;
    };
    for (const Shown& c : {Shown{0, 0.5, "50%"}, Shown{0, 0.33, "33%"}, Shown{0, 1, "100%"}, Shown{1, 0.3333, "33.3%"},
                           Shown{2, 0.0, "0.00%"}, Shown{0, "not a number", QVariant()}}) {
        EXPECT_EQ(CKPercentageTransformer(c.precision).transformedValue(c.value), c.text)
            << c.precision << " " << c.value.toString().toStdString();
    }

    struct Read {
        QString text;
        QVariant fraction;
    };
    const CKPercentageTransformer transformer;
    for (const Read& c : {Read{"50%", 0.5}, Read{"  50%  ", 0.5}, Read{"12.5", 0.125}, Read{"-10 %", -0.1},
                          Read{".5%", 0.005}, Read{"abc", QVariant()}, Read{"", QVariant()}, Read{"%50", QVariant()}}) {
        const QVariant read = transformer.reverseTransformedValue(c.text);
        ASSERT_EQ(read.isValid(), c.fraction.isValid()) << c.text.toStdString();
        if (read.isValid()) {
            EXPECT_DOUBLE_EQ(read.toDouble(), c.fraction.toDouble()) << c.text.toStdString();
        }
    }
}

TEST(CKStringToURLTransformer, PassesStringsAndURLsAndNothingElse)
{
    const CKStringToURLTransformer transformer;
    const QString folder = QStringLiteral("file:///var/log/clipdeck/");
    EXPECT_EQ(transformer.transformedValue(folder), QVariant(QUrl(folder)));
    EXPECT_EQ(transformer.transformedValue(QUrl(folder)), QVariant(QUrl(folder)));
    EXPECT_EQ(transformer.reverseTransformedValue(QUrl(folder)), QVariant(folder));
    EXPECT_EQ(transformer.reverseTransformedValue(folder), QVariant(folder));
    for (const QVariant& other : {QVariant(42), QVariant(0.5), QVariant(QStringList{"a"}), QVariant()}) {
        EXPECT_FALSE(transformer.transformedValue(other).isValid());
        EXPECT_FALSE(transformer.reverseTransformedValue(other).isValid());
    }
}

TEST(PreferenceTransformers, ThePlaybackPaneRegistersThemUnderTheirNames)
{
    CKPlaybackPreferencesController::initialize();
    const auto percentage = ValueTransformer::valueTransformerForName("CKPercentageTransformerNoPrecision");
    ASSERT_TRUE(percentage);
    EXPECT_EQ(percentage->transformedValue(0.5), "50%");
    const auto url = ValueTransformer::valueTransformerForName("CKStringToURLTransformer");
    ASSERT_TRUE(url);
    EXPECT_TRUE(url->allowsReverseTransformation());
    EXPECT_EQ(url->transformedValueClass(), QMetaType::fromType<QUrl>());
}
