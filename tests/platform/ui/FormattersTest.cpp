// Time texts of the board's clocks and the editor's ruler, and the marker-name limit.
#include "platform/ui/ZEPDurationFormatter.h"
#include "platform/ui/ZEPMaxLengthFormatter.h"

#include <gtest/gtest.h>

#include <cmath>
#include <limits>

TEST(ZEPDurationFormatter, WritesSecondsAsShortTimeTextsRoundedOnce)
{
    enum Style { Plain, Cell, Milliseconds, CellMilliseconds };
    const struct {
        double seconds;
        Style style;
        const char* expected;
    } cases[] = {
        // A board cell's clock: minutes always, one zero allowed.
        {0, Cell, "0:00"},
        {59.6, Cell, "1:00"}, // never "0:60"
        {59.4, Cell, "0:59"},
        {61, Cell, "1:01"},
        {3600, Cell, "1:00:00"},
        {3599.5, Cell, "1:00:00"},
        {3723, Cell, "1:02:03"},
        {-61, Cell, "-1:01"},
        {-0.2, Cell, "0:00"}, // rounds to nothing: no sign
        {std::nan(""), Cell, "--:--"},
        {std::numeric_limits<double>::infinity(), Cell, "--:--"},
        // The editor's ruler: milliseconds, minutes only from a minute on.
        {0, Milliseconds, "0.000"},
        {59.6, Milliseconds, "59.600"},
        {59.9996, Milliseconds, "01:00.000"}, // never "59.1000"
        {61, Milliseconds, "01:01.000"},
        {3600, Milliseconds, "1:00:00.000"},
        {-4.25, Milliseconds, "-4.250"},
        {std::nan(""), Milliseconds, "--:--.---"},
        {4.25, CellMilliseconds, "0:04.250"},
        // No options: seconds alone below a minute, two-digit minutes above.
        {5, Plain, "5"},
        {59.6, Plain, "01:00"},
        {125, Plain, "02:05"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(testing::Message() << c.seconds << " in style " << c.style);
        ZEPDurationFormatter formatter;
        formatter.setAllowsOneZero(c.style == Cell || c.style == CellMilliseconds);
        formatter.setAlwaysShowMinutes(c.style == Cell || c.style == CellMilliseconds);
        formatter.setIncludeMilliseconds(c.style == Milliseconds || c.style == CellMilliseconds);
        EXPECT_EQ(formatter.stringForObjectValue(c.seconds).toStdString(), c.expected);
    }
}

TEST(ZEPDurationFormatter, AnswersNoTextForValuesThatAreNoNumbers)
{
    ZEPDurationFormatter formatter;
    EXPECT_TRUE(formatter.stringForObjectValue(QVariant()).isNull());
    EXPECT_TRUE(formatter.stringForObjectValue(QStringLiteral("12")).isNull());
    EXPECT_TRUE(formatter.stringForObjectValue(true).isNull());
    EXPECT_EQ(formatter.stringForObjectValue(qlonglong(75)), "01:15");
    EXPECT_EQ(formatter.stringForObjectValue(2.5f), "3");
}

TEST(ZEPMaxLengthFormatter, CutsShownTextsAndRefusesLongerEditsWithoutSplittingACharacter)
{
    ZEPMaxLengthFormatter formatter(32);
    const QString exact(32, QChar('m'));
    EXPECT_EQ(formatter.stringForObjectValue(exact + "overflow"), exact);
    EXPECT_EQ(formatter.stringForObjectValue(QStringLiteral("Intro")), "Intro");
    EXPECT_TRUE(formatter.isPartialStringValid(exact));
    EXPECT_FALSE(formatter.isPartialStringValid(exact + "x"));
    EXPECT_TRUE(formatter.stringForObjectValue(QVariantList{1}).isNull());

    // A character made of several code units (a flag, an accented letter) counts once and
    // is never cut in half.
    ZEPMaxLengthFormatter three(3);
    const QString flag = QString::fromUtf8("\xF0\x9F\x87\xA9\xF0\x9F\x87\xAA"); // two regional indicators
    const QString accented = QString::fromUtf8("e\xCC\x81");                    // e + combining acute
    EXPECT_EQ(three.stringForObjectValue(flag + accented + "ab"), flag + accented + "a");
    EXPECT_TRUE(three.isPartialStringValid(flag + flag + accented));
    EXPECT_FALSE(three.isPartialStringValid(flag + flag + accented + "a"));

    ZEPMaxLengthFormatter unlimited;
    EXPECT_EQ(unlimited.stringForObjectValue(exact + exact), exact + exact);
}
