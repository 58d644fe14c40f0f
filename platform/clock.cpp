// The system clock, the installed-clock seam and the day-count date helpers.
//
// Day counts: the whole part is the number of days since 1899-12-30 (the
// proleptic Gregorian calendar throughout), the fraction is the time of day.
// Before 1899-12-30 the whole part is negative but the time of day still
// counts up with the fraction's absolute value, as in the classic day-count
// convention: 1899-12-29 06:00 is -1.25, not -0.75. Such values do not order
// numerically within a day; nothing in this system stores dates that early.
// Valid years are 1 to 9999.
#include "platform/clock.h"

#include <time.h>

#include <atomic>
#include <cmath>
#include <stdexcept>

namespace tlvx {
namespace {

constexpr int64_t kMsPerDay = 86'400'000;

// Days from 1970-01-01 to a proleptic Gregorian date (H. Hinnant's algorithm).
constexpr int64_t DaysFromCivil(int64_t y, int m, int d) {
    y -= m <= 2;
    const int64_t era = (y >= 0 ? y : y - 399) / 400;
    const int64_t yoe = y - era * 400;
    const int64_t doy = (153 * (m + (m > 2 ? -3 : 9)) + 2) / 5 + d - 1;
    const int64_t doe = yoe * 365 + yoe / 4 - yoe / 100 + doy;
    return era * 146097 + doe - 719468;
}

void CivilFromDays(int64_t z, int& year, int& month, int& day) {
    z += 719468;
    const int64_t era = (z >= 0 ? z : z - 146096) / 146097;
    const int64_t doe = z - era * 146097;
    const int64_t yoe = (doe - doe / 1460 + doe / 36524 - doe / 146096) / 365;
    const int64_t doy = doe - (365 * yoe + yoe / 4 - yoe / 100);
    const int64_t mp = (5 * doy + 2) / 153;
    day = static_cast<int>(doy - (153 * mp + 2) / 5 + 1);
    month = static_cast<int>(mp < 10 ? mp + 3 : mp - 9);
    year = static_cast<int>(yoe + era * 400 + (month <= 2));
}

constexpr int64_t kEpochOffset = DaysFromCivil(1899, 12, 30);  // -25569
constexpr int64_t kFirstDay = DaysFromCivil(1, 1, 1) - kEpochOffset;
constexpr int64_t kLastDay = DaysFromCivil(9999, 12, 31) - kEpochOffset;

bool IsLeap(int y) { return (y % 4 == 0 && y % 100 != 0) || y % 400 == 0; }


class TSystemClock : public IClock {
public:
    double Now() override {
        timespec ts{};
        clock_gettime(CLOCK_REALTIME, &ts);
        tm local{};
        localtime_r(&ts.tv_sec, &local);
        return EncodeDateTime(local.tm_year + 1900, local.tm_mon + 1, local.tm_mday,
                              local.tm_hour, local.tm_min, local.tm_sec > 59 ? 59 : local.tm_sec,
                              static_cast<int>(ts.tv_nsec / 1'000'000));
    }

    int32_t BiasMinutes() override {
        time_t now = time(nullptr);
        tm local{};
        localtime_r(&now, &local);
        return static_cast<int32_t>(-local.tm_gmtoff / 60);
    }

    uint32_t TickCount() override {
        timespec ts{};
        clock_gettime(CLOCK_MONOTONIC, &ts);
        uint64_t ms = static_cast<uint64_t>(ts.tv_sec) * 1000u +
                      static_cast<uint64_t>(ts.tv_nsec) / 1'000'000u;
        return static_cast<uint32_t>(ms);
    }
};

TSystemClock systemClock;
std::atomic<IClock*> installedClock{nullptr};

}  // namespace

IClock& Clock() {
    IClock* c = installedClock.load();
    return c ? *c : systemClock;
}

void SetClock(IClock* clock) { installedClock.store(clock); }

double EncodeDateTime(int year, int month, int day, int hour, int minute, int second,
                      int millisecond) {
    if (year < 1 || year > 9999 || month < 1 || month > 12 || day < 1 ||
        day > DaysInMonth(year, month) || hour < 0 || hour > 23 || minute < 0 || minute > 59 ||
        second < 0 || second > 59 || millisecond < 0 || millisecond > 999)
        throw std::invalid_argument("Invalid argument to date encode");
    const int64_t days = DaysFromCivil(year, month, day) - kEpochOffset;
    const int64_t ms = ((hour * 60 + minute) * 60 + second) * 1000LL + millisecond;
    const double fraction = static_cast<double>(ms) / kMsPerDay;
    return days >= 0 ? static_cast<double>(days) + fraction : static_cast<double>(days) - fraction;
}

TRoundedDateTime RoundToMillisecond(double dateTime) {
    const double whole = std::trunc(dateTime);
    if (!(std::fabs(whole) < 1e15)) return {whole, 0};
    // The time of day counts up with the fraction's absolute value, before
    // 1899-12-30 too.
    const int64_t ms = std::llround(std::fabs(dateTime - whole) * kMsPerDay);
    if (ms >= kMsPerDay) return {whole + 1, static_cast<int32_t>(ms - kMsPerDay)};
    return {whole, static_cast<int32_t>(ms)};
}

TDateParts DecodeDateTime(double dateTime) {
    if (!std::isfinite(dateTime) || dateTime < static_cast<double>(kFirstDay) - 1 ||
        dateTime >= static_cast<double>(kLastDay) + 1)
        throw std::invalid_argument("Invalid argument to date decode");
    const TRoundedDateTime rounded = RoundToMillisecond(dateTime);
    const int64_t days = static_cast<int64_t>(rounded.day);
    const int64_t ms = rounded.millisecond;
    if (days < kFirstDay || days > kLastDay)
        throw std::invalid_argument("Invalid argument to date decode");

    TDateParts p{};
    CivilFromDays(days + kEpochOffset, p.year, p.month, p.day);
    p.hour = static_cast<int>(ms / 3'600'000);
    p.minute = static_cast<int>(ms / 60'000 % 60);
    p.second = static_cast<int>(ms / 1000 % 60);
    p.millisecond = static_cast<int>(ms % 1000);
    // Day 0 (1899-12-30) was a Saturday.
    p.dayOfWeek = static_cast<int>(((days % 7 + 7) % 7 + 6) % 7) + 1;
    return p;
}

int DaysInMonth(int year, int month) {
    static const int days[12] = {31, 28, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
    return month == 2 && IsLeap(year) ? 29 : days[month - 1];
}

}  // namespace tlvx
