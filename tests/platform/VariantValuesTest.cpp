#include "platform/VariantValues.h"

#include <gtest/gtest.h>

TEST(VariantValues, NumbersBoolsAndStringsReadLeniently)
{
    const struct {
        QVariant value;
        double number;
        qint64 integer;
        bool flag;
    } cases[] = {
        {1, 1, 1, true},
        {qlonglong(1) << 40, double(qlonglong(1) << 40), qlonglong(1) << 40, true},
        {-2.5, -2.5, -2, true},
        {true, 1, 1, true},
        {false, 0, 0, false},
        {"12abc", 12, 12, true},
        {"  3.5", 3.5, 3, true},
        {"abc", 0, 0, false},
        {"YES", 0, 0, true},
        {"yes", 0, 0, true},
        {"True", 0, 0, true},
        {"NO", 0, 0, false},
        {"0", 0, 0, false},
        {"9007199254740993", 9007199254740993.0, 9007199254740993LL, true},
        {QVariant(), 0, 0, false},
        {QVariantList{1}, 0, 0, false},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.value.toString().toStdString());
        EXPECT_DOUBLE_EQ(variant::doubleValue(c.value), c.number);
        EXPECT_EQ(variant::integerValue(c.value), c.integer);
        EXPECT_EQ(variant::boolValue(c.value), c.flag);
    }
}
