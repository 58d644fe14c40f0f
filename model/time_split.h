// Splitting a stored date-time into the day, hour and weekday under which
// the statistics file a hit and the report pages show it. Every such split
// goes through here, so that a hit, the records it lands in and the pages
// that read them agree on its day and hour.
#pragma once

#include <cstdint>

namespace tlvx {

// The parts of a date-time rounded to the millisecond first, as
// DecodeDateTime rounds (RoundToMillisecond, platform/clock.h): a hit
// stored at 10:00:00.000 is in hour 10, not 9, and 23:59:59.9996 belongs to
// the next day's hour 0.
struct TTimeSplit {
    int32_t Day = 0;      // days since 1899-12-30
    int32_t Hour = 0;     // 0 .. 23
    int32_t Weekday = 1;  // 1 = Monday ... 7 = Sunday
};

// Raises std::out_of_range when the day lies outside int32 (NaN too).
TTimeSplit SplitTime(double when);

// Single parts of SplitTime, raising as it does.
int32_t DayNumber(double when);
int32_t HourOfDay(double when);
int32_t IsoDayOfWeek(double when);

// The day SplitTime finds, for values that may be no date (a stored time
// read from a damaged file): a whole number as a double, never raising; NaN
// stays NaN and a value beyond int32 days is not cut.
double WholeDay(double when);

}  // namespace tlvx
