#pragma once
// Date-time values as the host framework uses them: local wall-clock time with a
// resolution of one second. A zero value means "no time known".
#include <chrono>
#include <cstdint>
#include <ctime>
#include <string>

namespace tavik {

using TDateTime = std::chrono::local_seconds;

struct TDateParts {
    int Year = 0, Month = 0, Day = 0, Hour = 0, Minute = 0, Second = 0;
};

// Conversions between the file system's UTC seconds and local date-times.
TDateTime FileTimeToDateTime(std::time_t utcSeconds);
std::time_t DateTimeToFileTime(TDateTime value);

TDateTime EncodeDateTime(const TDateParts& parts);
TDateParts DecodeDateTime(TDateTime value);

// The date part of a value: the same day at 00:00:00.
TDateTime DateOf(TDateTime value);
TDateTime IncDays(TDateTime value, int days);

// The current local time of the system clock.
TDateTime Now();

// The calendar year in Germany (Europe/Berlin) of a moment. Around the turn of a year Germany
// keeps standard time, UTC+1, in every year that ZIP or a file system can name; daylight saving
// never touches 31 December or 1 January, so one fixed hour decides the year exactly.
int BerlinYear(std::int64_t utcSeconds);

// "hh:mm:ss"
std::string TimeToStr(TDateTime value);

}  // namespace tavik
