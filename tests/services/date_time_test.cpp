#include "host/services/date_time.h"

#include <gtest/gtest.h>

namespace tavik {
namespace {

TEST(DateTime, EncodeDecodeRoundTripsCalendarBoundaries) {
    for (const TDateParts p : {TDateParts{2000, 2, 29, 23, 59, 59}, TDateParts{2100, 1, 1, 0, 0, 0},
                               TDateParts{1980, 1, 1, 0, 0, 0}, TDateParts{2026, 12, 7, 12, 30, 5}}) {
        const TDateParts back = DecodeDateTime(EncodeDateTime(p));
        EXPECT_EQ(back.Year, p.Year);
        EXPECT_EQ(back.Month, p.Month);
        EXPECT_EQ(back.Day, p.Day);
        EXPECT_EQ(back.Hour, p.Hour);
        EXPECT_EQ(back.Minute, p.Minute);
        EXPECT_EQ(back.Second, p.Second);
    }
}

TEST(DateTime, DateOfCutsTheTimeAndIncDaysCrossesMonths) {
    const TDateTime t = EncodeDateTime({2026, 3, 1, 17, 4, 3});
    EXPECT_EQ(DateOf(t), EncodeDateTime({2026, 3, 1, 0, 0, 0}));
    EXPECT_EQ(IncDays(DateOf(t), -1), EncodeDateTime({2026, 2, 28, 0, 0, 0}));
    EXPECT_EQ(TimeToStr(t), "17:04:03");
}

TEST(DateTime, FileTimesConvertToLocalTimeAndBack) {
    const std::time_t utc = 1'765'000'000;
    EXPECT_EQ(DateTimeToFileTime(FileTimeToDateTime(utc)), utc);
}

}  // namespace
}  // namespace tavik
