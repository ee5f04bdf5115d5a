#include "host/services/date_time.h"

#include <cstdio>

namespace tavik {

using namespace std::chrono;

TDateTime FileTimeToDateTime(std::time_t utcSeconds) {
    std::tm local{};
    localtime_r(&utcSeconds, &local);
    return EncodeDateTime({local.tm_year + 1900, local.tm_mon + 1, local.tm_mday, local.tm_hour,
                           local.tm_min, local.tm_sec});
}

std::time_t DateTimeToFileTime(TDateTime value) {
    const TDateParts p = DecodeDateTime(value);
    std::tm local{};
    local.tm_year = p.Year - 1900;
    local.tm_mon = p.Month - 1;
    local.tm_mday = p.Day;
    local.tm_hour = p.Hour;
    local.tm_min = p.Minute;
    local.tm_sec = p.Second;
    local.tm_isdst = -1;
    return std::mktime(&local);
}

TDateTime EncodeDateTime(const TDateParts& parts) {
    const year_month_day ymd{year{parts.Year}, month{static_cast<unsigned>(parts.Month)},
                             day{static_cast<unsigned>(parts.Day)}};
    return local_days{ymd} + hours{parts.Hour} + minutes{parts.Minute} + seconds{parts.Second};
}

TDateParts DecodeDateTime(TDateTime value) {
    const auto dayStart = floor<days>(value);
    const year_month_day ymd{dayStart};
    const hh_mm_ss hms{value - dayStart};
    return {static_cast<int>(ymd.year()),       static_cast<int>(static_cast<unsigned>(ymd.month())),
            static_cast<int>(static_cast<unsigned>(ymd.day())), static_cast<int>(hms.hours().count()),
            static_cast<int>(hms.minutes().count()), static_cast<int>(hms.seconds().count())};
}

TDateTime DateOf(TDateTime value) { return floor<days>(value); }

TDateTime IncDays(TDateTime value, int count) { return value + days{count}; }

TDateTime Now() { return FileTimeToDateTime(std::time(nullptr)); }

std::string TimeToStr(TDateTime value) {
    const TDateParts p = DecodeDateTime(value);
    char text[16];
    std::snprintf(text, sizeof text, "%02d:%02d:%02d", p.Hour, p.Minute, p.Second);
    return text;
}

int BerlinYear(std::int64_t utcSeconds) {
    const sys_seconds moment{seconds{utcSeconds + 3600}};
    return static_cast<int>(year_month_day{floor<days>(moment)}.year());
}

}  // namespace tavik
