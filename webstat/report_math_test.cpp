#include "webstat/report_math.h"

#include <gtest/gtest.h>

#include <chrono>
#include <cmath>
#include <map>
#include <random>

#include "model/ipv4.h"
#include "platform/clock.h"
#include "platform/testing/fixed_sources.h"
#include "webstat/server_values.h"

namespace tlvx {
namespace {

TEST(ReportMath, AddressesAreOneCanonicalValue) {
    EXPECT_EQ(IpToStr(int64_t(192) << 24 | 168 << 16 | 1 << 8 | 1), "192.168.1.1");
    EXPECT_EQ(IpToStr(ParseIPv4("200.1.2.3")), "200.1.2.3");
    EXPECT_EQ(IpToStr(0), "0.0.0.0");
    EXPECT_EQ(IpToStr(UINT32_MAX), "255.255.255.255");
    EXPECT_EQ(IpToStr(int64_t(1) << 32), "");
    EXPECT_EQ(IpToStr(-1), "");
    // A visitor key holds the address with its bytes reversed; a negative
    // key (first byte 128 or more) must not print as "".
    const int32_t key = int32_t(0x0302'01C8u);  // 200.1.2.3 reversed
    EXPECT_EQ(AddressOfVisitorKey(key), uint32_t(ParseIPv4("200.1.2.3")));
    EXPECT_EQ(IpToStr(AddressOfVisitorKey(key)), "200.1.2.3");
    EXPECT_TRUE(InRange(5, 5, 5));
    EXPECT_TRUE(InRange(0xFFFFFFFFu, 0x80000000u, 0xFFFFFFFFu));
    EXPECT_FALSE(InRange(4, 5, 9));
}

TEST(ReportMath, NetworkNames) {
    TBaseConf conf;
    auto net = [](const char* text, const char* name) {
        TNetWork n;
        EXPECT_TRUE(ParseNetwork(text, n));
        return TDescribedNetWork{n.Address, n.Bits, name};
    };
    EXPECT_EQ(NetworkNameOf(uint32_t(ParseIPv4("10.0.0.1")), conf), "?");
    conf.VIPNetworks = {net("200.1.0.0/16", "wide"), net("200.1.2.0/24", "narrow"),
                        net("200.1.2.0/24", "narrow, later"), net("200.1.0.0/16", "wide, later"),
                        net("10.0.0.0/8", "ten")};
    EXPECT_EQ(NetworkNameOf(uint32_t(ParseIPv4("200.1.2.3")), conf), "narrow, later");
    EXPECT_EQ(NetworkNameOf(uint32_t(ParseIPv4("200.1.3.3")), conf), "wide, later");
    EXPECT_EQ(NetworkNameOf(uint32_t(ParseIPv4("10.255.0.9")), conf), "ten");
    EXPECT_EQ(NetworkNameOf(uint32_t(ParseIPv4("3.2.1.200")), conf), "?");  // 200.1.2.3 reversed
    conf.VIPNetworks.insert(conf.VIPNetworks.begin(), net("0.0.0.0/0", "everything"));
    EXPECT_EQ(NetworkNameOf(uint32_t(ParseIPv4("3.2.1.200")), conf), "everything");
    EXPECT_EQ(NetworkNameOf(uint32_t(ParseIPv4("255.255.255.255")), conf), "everything");
    EXPECT_EQ(NetworkNameOf(uint32_t(ParseIPv4("200.1.2.3")), conf), "narrow, later");
    // A network written with host bits still matches on its prefix.
    conf.VIPNetworks = {net("200.1.2.77/24", "sloppy")};
    EXPECT_EQ(NetworkNameOf(uint32_t(ParseIPv4("200.1.2.3")), conf), "sloppy");
}

TEST(ReportMath, MaximaAndAverages) {
    size_t i = 99;
    EXPECT_EQ(MaxIndex(std::vector<int32_t>{}, i), 0);
    EXPECT_EQ(i, 0u);
    EXPECT_EQ(MaxIndex(std::vector<int32_t>{-5, 0, -1}, i), 0);
    EXPECT_EQ(i, 0u);
    EXPECT_EQ(MaxIndex(std::vector<int32_t>{1, 7, 3, 7}, i), 7);
    EXPECT_EQ(i, 1u);
    EXPECT_EQ(AverageIncrease(std::vector<int32_t>{}), 0);
    EXPECT_EQ(AverageIncrease(std::vector<int32_t>{42}), 0);
    EXPECT_EQ(AverageIncrease(std::vector<int32_t>{3, 100, -7, 9}), 2);
    EXPECT_EQ(AverageIncrease(std::vector<int32_t>{INT32_MIN, INT32_MAX}), 4294967295.0);
    EXPECT_DOUBLE_EQ(AverageIncreaseF(std::vector<double>{1.5, 9, 2.5}), 0.5);
    EXPECT_EQ(AverageIncreaseF(std::vector<double>{1.5}), 0);
    EXPECT_EQ(GrowthImageIndex(0), 11);
    EXPECT_EQ(GrowthImageIndex(12.5), 11);
    EXPECT_EQ(GrowthImageIndex(-0.01), 10);
}

TEST(ReportMath, ChartScales) {
    const std::pair<int64_t, int64_t> table[] = {
        {-5, 10}, {0, 10}, {9, 10}, {10, 20}, {19, 20}, {20, 30}, {37, 40}, {40, 100}, {49, 100},
        {57, 100}, {99, 100}, {100, 200}, {123, 200}, {399, 400}, {450, 1000}, {999, 1000},
        {1'000'000, 2'000'000}, {999'999'999, 1'000'000'000}, {1'000'000'000, 2'000'000'000},
        {2'147'483'647, 3'000'000'000}, {4'999'999'999, 10'000'000'000},
        {INT64_MAX, INT64_MAX},
    };
    for (auto [max, scale] : table) EXPECT_EQ(RoundChartScale(max), scale) << max;
    // Every scale holds its maximum and is 1, 2, 3 or 4 times a power of ten.
    std::mt19937_64 random(3);
    for (int i = 0; i < 10000; ++i) {
        const int64_t max = int64_t(random() >> (3 + random() % 61));  // below 2^61
        const int64_t scale = RoundChartScale(max);
        ASSERT_GE(scale, max);
        int64_t lead = scale;
        while (lead % 10 == 0) lead /= 10;
        ASSERT_TRUE(lead >= 1 && lead <= 4) << max << " " << scale;
    }
}

TEST(ReportMath, NumberWithNoun) {
    // All three English forms are "days"; the rule still decides which entry.
    for (int32_t n : {1, 2, 5, 11, 21, 22, 111, 0, -3, 20, 25})
        EXPECT_EQ(NumberWithNoun(n), std::to_string(n) + " days");
}

TEST(ReportMath, FoldSmallShares) {
    TNameCounts list = {{"ru", 97}, {"en", 2}, {"de", 1}};
    EXPECT_EQ(FoldSmallShares(list), 1);
    EXPECT_EQ(list, (TNameCounts{{"ru", 97}, {"en", 2}}));

    // 0.5 % -> 0 and 1.5 % -> 2 (kept), 2.5 % -> 2 (kept); consecutive small
    // entries are all removed, none skipped after a removal.
    list = {{"a", 1}, {"b", 1}, {"c", 3}, {"d", 5}, {"e", 2}, {"f", 188}};
    EXPECT_EQ(FoldSmallShares(list), 4);
    EXPECT_EQ(list, (TNameCounts{{"c", 3}, {"d", 5}, {"f", 188}}));

    TNameCounts empty;
    EXPECT_EQ(FoldSmallShares(empty), 0);
    list = {{"a", 0}, {"b", 0}};
    EXPECT_EQ(FoldSmallShares(list), 0);
    EXPECT_EQ(list.size(), 2u);
    // Ten equal languages stay (10 % each).
    list.assign(10, {"x", 7});
    EXPECT_EQ(FoldSmallShares(list), 0);
    EXPECT_EQ(list.size(), 10u);
}

// Against a plain model: shares from exact rational arithmetic.
TEST(ReportMath, FoldSmallSharesAgainstAModel) {
    std::mt19937 random(5);
    for (int round = 0; round < 500; ++round) {
        TNameCounts list;
        const int n = int(random() % 40);
        for (int i = 0; i < n; ++i) list.push_back({std::to_string(i), int64_t(random() % (i % 3 ? 5 : 400))});
        int64_t sum = 0;
        for (auto& e : list) sum += e.Count;
        TNameCounts kept;
        int64_t removed = 0;
        for (auto& e : list) {
            // A whole per cent of 0 or 1 is a share below 1.5 % (1.5 % itself
            // rounds to 2).
            if (sum > 0 && e.Count * 200 < 3 * sum) removed += e.Count;
            else kept.push_back(e);
        }
        TNameCounts got = list;
        ASSERT_EQ(FoldSmallShares(got), removed);
        ASSERT_EQ(got, kept);
    }
}

TEST(ReportMath, ReferrerShares) {
    const TCObjectList sources = {
        {"UNKNOWN", TCObject(50, 0, 0)}, {"SEARCH.EXAMPLE", TCObject(30, 0, 0)},
        {"MYSITE.EXAMPLE", TCObject(90, 0, 0)}, {"NEWS.EXAMPLE", TCObject(30, 0, 0)},
        {"ONCE.EXAMPLE", TCObject(1, 0, 0)}, {"NEVER.EXAMPLE", TCObject(0, 0, 0)},
    };
    TReferrerShares r = ReferrerShares("www.mysite.example", sources);  // not normalised: no match
    EXPECT_EQ(r.TopName, "MYSITE.EXAMPLE");
    r = ReferrerShares("mysite.example", sources);
    EXPECT_EQ(r.TopName, "SEARCH.EXAMPLE");  // first of the equal counts
    EXPECT_EQ(r.Useful, 4);
    EXPECT_EQ(r.UsefulPercent, 67);   // 4 of 6
    EXPECT_EQ(r.UnknownPercent, 25);  // 50 of 201 = 24.9
    EXPECT_EQ(r.TopPercent, 15);      // 30 of 201 = 14.9
    r = ReferrerShares("x", {});
    EXPECT_EQ(r.Useful, 0);
    EXPECT_EQ(r.UsefulPercent, 0);
    EXPECT_EQ(r.TopName, "");
    r = ReferrerShares("x", {{"UNKNOWN", TCObject(0, 0, 0)}, {"A.B", TCObject(0, 0, 0)}});
    EXPECT_EQ(r.TopPercent, 0);
    EXPECT_EQ(r.UnknownPercent, 0);
    r = ReferrerShares("x", {{"A.B", TCObject(1, 0, 0)}, {"C.D", TCObject(1, 0, 0)}, {"E.F", TCObject(2, 0, 0)},
                             {"UNKNOWN", TCObject(4, 0, 0)}});
    EXPECT_EQ(r.TopPercent, 25);  // 2 of 8
    EXPECT_EQ(r.UnknownPercent, 50);
    EXPECT_EQ(r.UsefulPercent, 50);  // 2 of 4
}

TEST(ReportMath, GmtOffsets) {
    const std::pair<int32_t, const char*> table[] = {
        {0, "+00:00"}, {-180, "+03:00"}, {330, "-05:30"}, {-330, "+05:30"}, {30, "-00:30"},
        {59, "-00:59"}, {-45, "+00:45"}, {-765, "+12:45"}, {720, "-12:00"},
    };
    for (auto [bias, text] : table) EXPECT_EQ(GmtOffsetText(GmtOffsetOf(bias)), text) << bias;
    const TGmtOffset west = GmtOffsetOf(330);
    EXPECT_EQ(west.Hours, -5);
    EXPECT_EQ(west.Minutes, 30);
    EXPECT_TRUE(west.West);
    EXPECT_TRUE(west.Known);

    // The offset is the one in force at the clock's moment.
    TSettableClock clock(46364.5, -120);
    SetClock(&clock);
    EXPECT_EQ(GmtOffsetText(GetGmtOffset()), "+02:00");
    clock.bias = -180;  // summer time began
    EXPECT_EQ(GmtOffsetText(GetGmtOffset()), "+03:00");
    SetClock(nullptr);
}

TEST(ReportMath, EnvironmentValuesAreWhole) {
    const std::string long_value(5000, 'u');
    setenv("TLVX_TEST_ENV", long_value.c_str(), 1);
    EXPECT_EQ(GetEnvVar("TLVX_TEST_ENV"), long_value);
    setenv("TLVX_TEST_ENV", "", 1);
    EXPECT_EQ(GetEnvVar("TLVX_TEST_ENV"), "");
    unsetenv("TLVX_TEST_ENV");
    EXPECT_EQ(GetEnvVar("TLVX_TEST_ENV"), "");
}

// The period days against the calendar of the standard library, for every
// day of several years.
TEST(ReportMath, PeriodRangesAgainstTheCalendar) {
    using namespace std::chrono;
    const sys_days epoch = sys_days{1899y / 12 / 30};
    for (int32_t today = int32_t(EncodeDateTime(2023, 12, 20)); today < EncodeDateTime(2028, 1, 10); ++today) {
        const sys_days t = epoch + days{today};
        const year_month_day ymd{t};
        const int32_t weekStart = today - int32_t(weekday{t}.c_encoding());  // Sunday is 0
        const int32_t monthStart = int32_t((sys_days{ymd.year() / ymd.month() / 1} - epoch).count());
        const std::map<int32_t, std::pair<int32_t, int32_t>> expected = {
            {0, {today, today}},           {1, {today - 1, today - 1}}, {2, {weekStart, today}},
            {3, {monthStart, today}},      {4, {today - 7, today}},     {5, {today - 30, today}},
        };
        const double now = today + 0.999;  // the time of day does not move a range
        for (const auto& [code, range] : expected) {
            const std::optional<TDayRange> got = PeriodRange(TPeriod(code), now);
            ASSERT_TRUE(got) << code;
            ASSERT_EQ(got->From, range.first) << code << " " << today;
            ASSERT_EQ(got->To, range.second) << code << " " << today;
        }
    }
    for (int32_t code : {-1, 6, 7, 100}) EXPECT_FALSE(PeriodRange(TPeriod(code), 46364.5)) << code;
}

// The whole start day counts, the time of day does not; a start in the
// future (or a broken one) still gives a day to divide by.
TEST(ReportMath, HistoryDays) {
    const double today = EncodeDateTime(2026, 12, 8, 15, 0, 0);
    EXPECT_EQ(HistoryDays(today, EncodeDateTime(2026, 12, 8, 14, 59, 0)), 1);
    EXPECT_EQ(HistoryDays(today, EncodeDateTime(2026, 12, 1, 23, 59, 0)), 8);
    EXPECT_EQ(HistoryDays(today, EncodeDateTime(2026, 11, 8, 0, 0, 0)), 31);
    EXPECT_EQ(HistoryDays(today, today + 3), 1);
    EXPECT_EQ(HistoryDays(today, std::nan("")), 1);
}

}  // namespace
}  // namespace tlvx
