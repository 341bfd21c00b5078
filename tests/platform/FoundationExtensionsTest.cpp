#include "platform/FoundationExtensions.h"

#include <QRegularExpression>
#include <gtest/gtest.h>

TEST(FoundationExtensions, QueueFirstElementAndNearestNumber)
{
    QVariantList queue;
    EXPECT_FALSE(car(queue));
    EXPECT_FALSE(zepPop(queue));
    zepPush(queue, QVariant("a.wav"));
    zepPush(queue, QVariant("b.wav"));
    EXPECT_EQ(car(queue)->toString(), "a.wav");
    EXPECT_EQ(zepPop(queue)->toString(), "a.wav");
    EXPECT_EQ(zepPop(queue)->toString(), "b.wav");
    EXPECT_TRUE(queue.isEmpty());

    const uint32_t rates[] = {8000, 22050, 44100, 48000, 96000};
    const QVariantList numbers = arrayWithUInt32Values(rates, 5);
    EXPECT_EQ(closestNumberToNumber(numbers, 44000)->toLongLong(), 44100);
    EXPECT_EQ(closestNumberToNumber(numbers, 1e9)->toLongLong(), 96000);
    EXPECT_FALSE(closestNumberToNumber({}, 1));
}

TEST(FoundationExtensions, NewUuidStringsAreUpperCaseWithoutBraces)
{
    const QString uuid = stringWithNewUUID();
    EXPECT_TRUE(QRegularExpression("^[0-9A-F]{8}-[0-9A-F]{4}-[0-9A-F]{4}-[0-9A-F]{4}-[0-9A-F]{12}$").match(uuid).hasMatch())
        << uuid.toStdString();
    EXPECT_NE(uuid, stringWithNewUUID());
}
