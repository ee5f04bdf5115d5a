#include "host/services/formatting.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <limits>

namespace tavik {
namespace {

TEST(FormatGrouped, DigitsAreGroupedInThreesWithPoints) {
    EXPECT_EQ(tavik_FormatGrouped(0), "0");
    EXPECT_EQ(tavik_FormatGrouped(999), "999");
    EXPECT_EQ(tavik_FormatGrouped(1000), "1.000");
    EXPECT_EQ(tavik_FormatGrouped(155'814'716), "155.814.716");
    EXPECT_EQ(tavik_FormatGrouped(-1'234'567), "-1.234.567");
    EXPECT_EQ(tavik_FormatGrouped(std::numeric_limits<std::int64_t>::min()), "-9.223.372.036.854.775.808");
}

TEST(FormatByteSize, SmallCountsAreBytesWithGermanGrouping) {
    EXPECT_EQ(tavik_FormatByteSize(0), "0 Bytes");
    EXPECT_EQ(tavik_FormatByteSize(1), "1 Byte");
    EXPECT_EQ(tavik_FormatByteSize(2), "2 Bytes");
    EXPECT_EQ(tavik_FormatByteSize(999), "999 Bytes");
    EXPECT_EQ(tavik_FormatByteSize(1000), "1.000 Bytes");
    EXPECT_EQ(tavik_FormatByteSize(1023), "1.023 Bytes");
}

TEST(FormatByteSize, NegativeCountsKeepTheirSign) {
    EXPECT_EQ(tavik_FormatByteSize(-1), "-1 Bytes");
    EXPECT_EQ(tavik_FormatByteSize(-1000), "-1.000 Bytes");
    EXPECT_EQ(tavik_FormatByteSize(-1750), "-1,71 KB");
}

TEST(FormatByteSize, LargerCountsUseUnitsOf1024WithTwoDecimals) {
    EXPECT_EQ(tavik_FormatByteSize(1024), "1,00 KB");
    EXPECT_EQ(tavik_FormatByteSize(1750), "1,71 KB");
    EXPECT_EQ(tavik_FormatByteSize(1536), "1,50 KB");
    EXPECT_EQ(tavik_FormatByteSize(1029), "1,00 KB");  // 1,0048... rounds down
    EXPECT_EQ(tavik_FormatByteSize(1030), "1,01 KB");  // 1,0058... rounds up
    EXPECT_EQ(tavik_FormatByteSize(1000 * 1024), "1.000,00 KB");
    EXPECT_EQ(tavik_FormatByteSize(1536LL * 1024), "1,50 MB");
    EXPECT_EQ(tavik_FormatByteSize(3LL << 30), "3,00 GB");
    EXPECT_EQ(tavik_FormatByteSize(5LL << 40), "5,00 TB");
}

TEST(FormatByteSize, AnAmountNeverShowsAs1024OfAUnit) {
    EXPECT_EQ(tavik_FormatByteSize(1024LL * 1024 - 1), "1,00 MB");
    EXPECT_EQ(tavik_FormatByteSize(1024LL * 1024 - 5), "1,00 MB");      // 1023,9951 KB would be 1024,00 KB
    EXPECT_EQ(tavik_FormatByteSize(1024LL * 1024 - 6), "1.023,99 KB");  // 1023,9941 KB
    EXPECT_EQ(tavik_FormatByteSize((1LL << 30) - 1), "1,00 GB");
    EXPECT_EQ(tavik_FormatByteSize((1LL << 40) - 1), "1,00 TB");
}

TEST(FormatByteSize, TerabytesAreTheLargestUnit) {
    EXPECT_EQ(tavik_FormatByteSize(1LL << 52), "4.096,00 TB");
    EXPECT_EQ(tavik_FormatByteSize(std::numeric_limits<std::int64_t>::max()), "8.388.608,00 TB");
    EXPECT_EQ(tavik_FormatByteSize(std::numeric_limits<std::int64_t>::min()), "-8.388.608,00 TB");
}

TEST(DateToStr, Format10IsDayMonthFourDigitYear) {
    const TDateTime t = EncodeDateTime({2026, 3, 7, 9, 5, 2});
    EXPECT_EQ(tavik_DateToStr(t, 10), "07.03.2026");
    EXPECT_EQ(tavik_DateToStr(EncodeDateTime({1999, 12, 31, 23, 59, 59}), 10), "31.12.1999");
}

TEST(DateToStr, OtherFormatsGiveTextsOfThatLength) {
    const TDateTime t = EncodeDateTime({2026, 3, 7, 9, 5, 2});
    EXPECT_EQ(tavik_DateToStr(t, 8), "07.03.26");
    EXPECT_EQ(tavik_DateToStr(t, 16), "07.03.2026 09:05");
    EXPECT_EQ(tavik_DateToStr(t, 19), "07.03.2026 09:05:02");
    EXPECT_EQ(tavik_DateToStr(t, 0), "07.03.2026");
    EXPECT_EQ(tavik_DateToStr(t, 42), "07.03.2026");
}

TEST(DateToStr, TheZeroValueMeansNoTimeAndGivesAnEmptyText) {
    EXPECT_EQ(tavik_DateToStr(TDateTime{}, 10), "");
    EXPECT_EQ(tavik_TimeToStr(TDateTime{}), "");
    EXPECT_EQ(tavik_TimeToStr(EncodeDateTime({2026, 3, 7, 0, 0, 1})), "00:00:01");
}

}  // namespace
}  // namespace tavik
