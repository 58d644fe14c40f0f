// The clock: local date and time as days since 1899-12-30, the time-zone
// bias, and a millisecond tick counter. Tests install a fixed clock.
#pragma once

#include <cstdint>

namespace tlvx {

class IClock {
public:
    virtual ~IClock() = default;
    // Local date and time: whole days since 1899-12-30 plus the fraction of
    // the day, with milliseconds.
    virtual double Now() = 0;
    // Minutes to add to local time to get UTC (positive west of Greenwich,
    // as the original platform reports it).
    virtual int32_t BiasMinutes() = 0;
    // Milliseconds since some fixed moment; wraps at 2^32.
    virtual uint32_t TickCount() = 0;
};

IClock& Clock();
// Installs a clock for this process (nullptr restores the system clock).
// The caller keeps ownership.
void SetClock(IClock* clock);

// Date-time helpers shared by the store's stamps and the data model.
// Proleptic Gregorian, years 1 to 9999. Before 1899-12-30 the whole part is
// the (negative) day and the fraction's absolute value the time of day:
// 1899-12-29 06:00 is -1.25. Invalid fields or values raise
// std::invalid_argument; decoding rounds to the nearest millisecond.
// Converts a broken-down local date and time to the day count.
double EncodeDateTime(int year, int month, int day, int hour = 0, int minute = 0,
                      int second = 0, int millisecond = 0);
struct TDateParts {
    int year, month, day, hour, minute, second, millisecond;
    int dayOfWeek;  // 1 = Sunday ... 7 = Saturday
};
TDateParts DecodeDateTime(double dateTime);
// The days of a month (1-12) of a year, February 29 in leap years.
int DaysInMonth(int year, int month);

// A date-time rounded to the nearest millisecond, as its day and the
// milliseconds into that day (0 .. 86'399'999): the one rounding that
// DecodeDateTime and every split of a stored time into day, hour and weekday
// share. A time kept at whole seconds is a fraction that double arithmetic
// puts a hair below the hour (10:00 times 24 is 9.99999999994), and
// 23:59:59.9996 is the next day's midnight. day is a whole number as a
// double. A value that is no date (NaN, infinite, 10^15 days and beyond
// either way) keeps its day truncated (NaN stays NaN) with 0 milliseconds.
struct TRoundedDateTime {
    double day;
    int32_t millisecond;
};
TRoundedDateTime RoundToMillisecond(double dateTime);

}  // namespace tlvx
