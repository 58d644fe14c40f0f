#include "model/time_split.h"

#include <stdexcept>

#include "platform/clock.h"

namespace tlvx {

TTimeSplit SplitTime(double when) {
    const TRoundedDateTime rounded = RoundToMillisecond(when);
    if (!(rounded.day >= -2147483648.0 && rounded.day <= 2147483647.0))
        throw std::out_of_range("Date-time outside the range of day numbers");
    TTimeSplit split;
    split.Day = static_cast<int32_t>(rounded.day);
    split.Hour = rounded.millisecond / 3'600'000;
    // Day 0, 1899-12-30, was a Saturday.
    const int64_t fromMonday = ((int64_t(split.Day) + 5) % 7 + 7) % 7;
    split.Weekday = static_cast<int32_t>(fromMonday + 1);
    return split;
}

int32_t DayNumber(double when) { return SplitTime(when).Day; }
int32_t HourOfDay(double when) { return SplitTime(when).Hour; }
int32_t IsoDayOfWeek(double when) { return SplitTime(when).Weekday; }

double WholeDay(double when) { return RoundToMillisecond(when).day; }

}  // namespace tlvx
