#include "platform/clock.h"

#include <gtest/gtest.h>

#include <cmath>
#include <ctime>
#include <stdexcept>

namespace tlvx {
namespace {

TEST(DateTime, KnownDayCounts) {
    EXPECT_EQ(EncodeDateTime(1899, 12, 30), 0.0);
    EXPECT_EQ(EncodeDateTime(1899, 12, 31), 1.0);
    EXPECT_EQ(EncodeDateTime(1900, 3, 1), 61.0);  // 1900 is not a leap year
    EXPECT_EQ(EncodeDateTime(1970, 1, 1), 25569.0);
    EXPECT_EQ(EncodeDateTime(2000, 1, 1), 36526.0);
    EXPECT_EQ(EncodeDateTime(2026, 12, 8, 12), 46364.5);
    EXPECT_EQ(EncodeDateTime(2000, 1, 1, 6), 36526.25);
    EXPECT_EQ(EncodeDateTime(1, 1, 1), -693593.0);
    EXPECT_EQ(EncodeDateTime(9999, 12, 31), 2958465.0);
    EXPECT_EQ(EncodeDateTime(1600, 2, 29), -109512.0);
}

TEST(DateTime, DaysBeforeTheEpochKeepTheTimeAsAbsoluteFraction) {
    EXPECT_EQ(EncodeDateTime(1899, 12, 29), -1.0);
    EXPECT_EQ(EncodeDateTime(1899, 12, 29, 6), -1.25);
    TDateParts p = DecodeDateTime(-1.25);
    EXPECT_EQ(p.year, 1899);
    EXPECT_EQ(p.month, 12);
    EXPECT_EQ(p.day, 29);
    EXPECT_EQ(p.hour, 6);
    // A fraction alone below zero is still day 0 (the whole part is -0).
    p = DecodeDateTime(-0.5);
    EXPECT_EQ(p.day, 30);
    EXPECT_EQ(p.hour, 12);
}

TEST(DateTime, DecodeKnownValues) {
    TDateParts p = DecodeDateTime(46364.5);
    EXPECT_EQ(p.year, 2026);
    EXPECT_EQ(p.month, 12);
    EXPECT_EQ(p.day, 8);
    EXPECT_EQ(p.hour, 12);
    EXPECT_EQ(p.minute, 0);
    EXPECT_EQ(p.dayOfWeek, 3);  // Tuesday
    EXPECT_EQ(DecodeDateTime(36526).dayOfWeek, 7);  // Saturday
    EXPECT_EQ(DecodeDateTime(0).dayOfWeek, 7);
    EXPECT_EQ(DecodeDateTime(1).dayOfWeek, 1);
    EXPECT_EQ(DecodeDateTime(-1).dayOfWeek, 6);
    // A value a hair below midnight rounds up to the next day.
    p = DecodeDateTime(36526.0 - 1e-10);
    EXPECT_EQ(p.year, 2000);
    EXPECT_EQ(p.day, 1);
    EXPECT_EQ(p.hour, 0);
}

TEST(DateTime, RoundTripsToTheMillisecond) {
    uint32_t seed = 12345;
    auto next = [&seed](uint32_t n) {
        seed = seed * 1103515245u + 12345u;
        return (seed >> 8) % n;
    };
    for (int i = 0; i < 20000; ++i) {
        int y = 1 + static_cast<int>(next(9999)), m = 1 + static_cast<int>(next(12));
        int d = 1 + static_cast<int>(next(28)), h = static_cast<int>(next(24));
        int mi = static_cast<int>(next(60)), s = static_cast<int>(next(60));
        int ms = static_cast<int>(next(1000));
        TDateParts p = DecodeDateTime(EncodeDateTime(y, m, d, h, mi, s, ms));
        ASSERT_EQ(p.year, y);
        ASSERT_EQ(p.month, m);
        ASSERT_EQ(p.day, d);
        ASSERT_EQ(p.hour, h);
        ASSERT_EQ(p.minute, mi);
        ASSERT_EQ(p.second, s);
        ASSERT_EQ(p.millisecond, ms);
    }
    // Every day of a few leap and non-leap years.
    for (double day = EncodeDateTime(1999, 1, 1); day < EncodeDateTime(2005, 1, 1); day += 1) {
        TDateParts p = DecodeDateTime(day);
        ASSERT_EQ(EncodeDateTime(p.year, p.month, p.day), day);
    }
}

TEST(DateTime, InvalidArgumentsAreRefused) {
    EXPECT_THROW(EncodeDateTime(2001, 2, 29), std::invalid_argument);
    EXPECT_THROW(EncodeDateTime(2000, 13, 1), std::invalid_argument);
    EXPECT_THROW(EncodeDateTime(0, 1, 1), std::invalid_argument);
    EXPECT_THROW(EncodeDateTime(2000, 1, 1, 24), std::invalid_argument);
    EXPECT_THROW(EncodeDateTime(2000, 1, 1, 0, 0, 0, 1000), std::invalid_argument);
    EXPECT_NO_THROW(EncodeDateTime(2000, 2, 29));
    EXPECT_THROW(DecodeDateTime(NAN), std::invalid_argument);
    EXPECT_THROW(DecodeDateTime(1e300), std::invalid_argument);
    EXPECT_THROW(DecodeDateTime(2958466), std::invalid_argument);
}

TEST(Clock, SystemClockMatchesLocalTime) {
    time_t t = time(nullptr);
    tm local{};
    localtime_r(&t, &local);
    double now = Clock().Now();
    double want = EncodeDateTime(local.tm_year + 1900, local.tm_mon + 1, local.tm_mday,
                                 local.tm_hour, local.tm_min, local.tm_sec);
    EXPECT_NEAR(now, want, 5.0 / 86400);
    EXPECT_EQ(Clock().BiasMinutes(), -static_cast<int32_t>(local.tm_gmtoff / 60));
    uint32_t a = Clock().TickCount(), b = Clock().TickCount();
    EXPECT_LE(b - a, 1000u);
}

TEST(Clock, InstalledClockIsUsedUntilRemoved) {
    struct TFixed : IClock {
        double Now() override { return 46364.5; }
        int32_t BiasMinutes() override { return -180; }
        uint32_t TickCount() override { return 42; }
    } fixed;
    SetClock(&fixed);
    EXPECT_EQ(Clock().Now(), 46364.5);
    EXPECT_EQ(Clock().BiasMinutes(), -180);
    EXPECT_EQ(Clock().TickCount(), 42u);
    SetClock(nullptr);
    EXPECT_GT(Clock().Now(), 46000.0);
}

}  // namespace
}  // namespace tlvx
