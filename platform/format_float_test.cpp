#include "platform/format_float.h"

#include <gtest/gtest.h>

#include <cmath>
#include <limits>
#include <stdexcept>

#include "platform/format_date_time.h"
#include "platform/integer_ratio.h"

namespace tlvx {
namespace {

struct TCase {
    const char* Pattern;
    double Value;
    const char* Expected;
};

// The patterns of the report pages, with the ties and the zero section.
TEST(FormatFloat, ReportPatterns) {
    const double inf = std::numeric_limits<double>::infinity();
    const TCase cases[] = {
        {"0.0", 0, "0.0"},          {"0.0", 12.34, "12.3"},     {"0.0", 0.25, "0.3"},
        {"0.0", -0.25, "-0.3"},     {"0.0", 0.35, "0.4"},       {"0.0", 0.15, "0.2"},
        {"0.0", 2.45, "2.5"},       {"0.0", 0.04999, "0.0"},    {"0.0", -0.04, "0.0"},
        {"0.0", 99.96, "100.0"},    {"0.0", 1e15, "1000000000000000.0"},
        {"0.0", 123456.75, "123456.8"},
        {"0.00", 1.005, "1.01"},    {"0.00", 2.0 / 3, "0.67"},  {"0.00", 0.125, "0.13"},
        {"0.00", 1e-300, "0.00"},   {"0.00", 5e-3, "0.01"},
        {"0.0%", 50, "50.0%"},      {"0.00%", 12.5, "12.50%"},  {"0.0%", 0, "0.0%"},
        {"+0.0;-0.0;0.0", 0, "0.0"},      {"+0.0;-0.0;0.0", 0.04, "0.0"},
        {"+0.0;-0.0;0.0", -0.04, "0.0"},  {"+0.0;-0.0;0.0", 0.05, "+0.1"},
        {"+0.0;-0.0;0.0", -0.05, "-0.1"}, {"+0.0;-0.0;0.0", 1.25, "+1.3"},
        {"+0.0;-0.0;0.0", -1.0 / 6, "-0.2"}, {"+0.0;-0.0;0.0", 7.0 / 6, "+1.2"},
        {"+0;-0;0", 0, "0"},        {"+0;-0;0", 3, "+3"},       {"+0;-0;0", -12, "-12"},
        {"+0;-0;0", 0.5, "+1"},     {"+0;-0;0", -0.4, "0"},
        {"+00;-00", 3, "+03"},      {"+00;-00", -5, "-05"},     {"+00;-00", 0, "+00"},
        {"+00;-00", 12, "+12"},     {"00", 0, "00"},            {"00", 30, "30"},
        {"00", 7, "07"},            {"0", -3.5, "-4"},          {"#.##", 0.5, ".5"},
        {"0.0#", 1.25, "1.25"},     {"0.0#", 1.2, "1.2"},       {"'x'0.0\"%\"", 1, "x1.0%"},
        {"0.0", std::nan(""), "0.0"}, {"+0.0;-0.0;0.0", -inf, "0.0"}, {"0.00%", inf, "0.00%"},
    };
    for (const TCase& c : cases)
        EXPECT_EQ(FormatFloat(c.Pattern, c.Value), c.Expected) << c.Pattern << " " << c.Value;
}

// Shares printed from integer counts: count * 100.0 / total never prints
// "-0.0", and every value with a dropped fraction below the tie rounds down.
TEST(FormatFloat, SharesOfIntegerCountsMatchExactDecimalRounding) {
    for (int64_t total = 1; total <= 400; ++total) {
        for (int64_t count = 0; count <= total; ++count) {
            const double share = double(count) * 100.0 / double(total);
            // Exact: tenths of a per cent, halves away from zero.
            const int64_t tenths = (count * 2000 / total + 1) / 2;
            const std::string expected = std::to_string(tenths / 10) + "." + std::to_string(tenths % 10);
            ASSERT_EQ(FormatFloat("0.0", share), expected) << count << "/" << total;
        }
    }
}

TEST(FormatFloat, PatternsOutsideTheSubsetAreRefused) {
    for (const char* p : {"0.0E+00", "#,##0", "0x0", "0;0;0;0", "'open"})
        EXPECT_THROW(FormatFloat(p, 1), std::invalid_argument) << p;
}

TEST(FormatDateTime, ReportPatterns) {
    const double t = 46364.5 + (13 * 3600 + 5 * 60 + 9) / 86400.0 - 0.5;  // 2026-12-08 13:05:09
    EXPECT_EQ(FormatDateTime("dd.mm.yy", t), "08.12.26");
    EXPECT_EQ(FormatDateTime("dd.mm", t), "08.12");
    EXPECT_EQ(FormatDateTime("dd.mm.yyyy", t), "08.12.2026");
    EXPECT_EQ(FormatDateTime("dd-mm-yyyy", t), "08-12-2026");
    EXPECT_EQ(FormatDateTime("dd.mm.yy:hh.nn.ss", t), "08.12.26:13.05.09");
    EXPECT_EQ(FormatDateTime("hh.nn.ss", t), "13.05.09");
    EXPECT_EQ(FormatDateTime("d.m.yy h:n:s", 36526.0 + 1.0 / 24 + 2.0 / 1440), "1.1.00 1:2:0");
    // A hair before midnight is the next day, not 23:59:60.
    EXPECT_EQ(FormatDateTime("dd.mm.yyyy hh.nn.ss", 36526.0 - 1e-10), "01.01.2000 00.00.00");
    EXPECT_EQ(FormatDateTime("dd.mm.yyyy", 0), "30.12.1899");
    EXPECT_EQ(FormatDateTime("dd.mm.yyyy", 73415), "31.12.2100");
    for (const char* p : {"ddd", "yyy", "y", "mmm", "hhh"})
        EXPECT_THROW(FormatDateTime(p, 1), std::invalid_argument) << p;
    EXPECT_THROW(FormatDateTime("dd", 1e12), std::invalid_argument);
}

TEST(IntegerRatio, HalvesToEvenAndTruncation) {
    // Per cent shares of 200: 0.5 %, 1.5 %, 2.5 %, 3.5 %.
    EXPECT_EQ(RoundShare(1, 200, 100), 0);
    EXPECT_EQ(RoundShare(3, 200, 100), 2);
    EXPECT_EQ(RoundShare(5, 200, 100), 2);
    EXPECT_EQ(RoundShare(7, 200, 100), 4);
    EXPECT_EQ(RoundShare(1, 3, 100), 33);
    EXPECT_EQ(RoundShare(2, 3, 100), 67);
    EXPECT_EQ(RoundRatio(-5, 2), -2);
    EXPECT_EQ(RoundRatio(-7, 2), -4);
    EXPECT_EQ(RoundRatio(5, -2), -2);
    EXPECT_EQ(RoundRatio(-3, 4), -1);
    EXPECT_EQ(RoundRatio(9, 0), 0);
    EXPECT_EQ(TruncShare(7, 10, 100), 70);  // Int(7 / 10 * 100) is 69 in floating point
    EXPECT_EQ(TruncShare(1, 3, 100), 33);
    EXPECT_EQ(TruncRatio(-7, 2), -3);
    EXPECT_EQ(TruncShare(5, 0, 100), 0);
    // No overflow in the product.
    EXPECT_EQ(RoundShare(INT64_MAX, INT64_MAX, 360), 360);
    EXPECT_EQ(TruncShare(INT32_MAX, 1, 400), int64_t(INT32_MAX) * 400);
    // Pie degrees of a third each.
    EXPECT_EQ(RoundShare(1, 3, 360), 120);
    EXPECT_EQ(RoundShare(1, 8, 360), 45);
    EXPECT_EQ(RoundShare(1, 16, 360), 22);  // 22.5 -> 22
    EXPECT_EQ(RoundShare(3, 16, 360), 68);  // 67.5 -> 68
    // Shares printed with decimals: the half of the last decimal rounds up.
    EXPECT_EQ(FormatFloat("0.00%", ShareValue(1, 800, 100)), "0.13%");
    EXPECT_EQ(FormatFloat("0.00%", ShareValue(2, 3, 100)), "66.67%");
    EXPECT_EQ(ShareValue(5, 0, 100), 0);
}

// Against exact rational arithmetic done another way: scaled by 2.
TEST(IntegerRatio, AgreesWithAnIndependentRule) {
    for (int64_t den = -13; den <= 13; ++den) {
        if (den == 0) continue;
        for (int64_t num = -60; num <= 60; ++num) {
            const double exact = double(num) / double(den);
            const int64_t floor = int64_t(std::floor(exact));
            const double frac = exact - double(floor);  // exact for these small values
            const int64_t expected = frac < 0.5 ? floor : frac > 0.5 ? floor + 1 : floor + (floor & 1);
            ASSERT_EQ(RoundRatio(num, den), expected) << num << "/" << den;
            ASSERT_EQ(TruncRatio(num, den), int64_t(std::trunc(exact))) << num << "/" << den;
        }
    }
}

}  // namespace
}  // namespace tlvx
