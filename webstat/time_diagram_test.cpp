// The rows of the time diagrams and the date ruler under them.
#include "webstat/time_diagram.h"

#include <gtest/gtest.h>

#include <random>
#include <string>

#include "platform/clock.h"

namespace tlvx {
namespace {

size_t Count(const std::string& text, const std::string& what) {
    size_t n = 0;
    for (size_t at = text.find(what); at != std::string::npos; at = text.find(what, at + 1)) ++n;
    return n;
}

TEST(SpanWidths, CellsNeverNegativeAndFillTheDiagram) {
    std::mt19937 random(11);
    for (int round = 0; round < 20000; ++round) {
        const int64_t start = 40000 + int64_t(random() % 30);
        const int64_t days = 1 + int64_t(random() % 800);
        const int64_t today = start + days - 1;
        // Mostly sound rows; some begin before the start, end after today
        // or end before they begin.
        const int64_t first = start - 3 + int64_t(random() % (days + 6));
        const int64_t last = first - 3 + int64_t(random() % (days + 6));
        const TSpanWidths w = SpanWidths(start, first, last, today, days, 400);
        ASSERT_GE(w.Before, 0);
        ASSERT_GE(w.Span, 0);
        ASSERT_GE(w.After, 0);
        const int64_t sum = w.Before + w.Span + w.After;
        ASSERT_LE(sum, 400);
        if (start <= first && first <= last && last <= today) {
            ASSERT_GE(sum, 398) << first << " " << last;
        }
    }
    // The first day of the history, seen today only: one day's width at
    // the left edge, not a negative gap.
    EXPECT_EQ(0, SpanWidths(100, 100, 100, 109, 10, 400).Before);
    EXPECT_EQ(40, SpanWidths(100, 100, 100, 109, 10, 400).Span);
    EXPECT_EQ(360, SpanWidths(100, 100, 100, 109, 10, 400).After);
    // A whole-history row is the whole diagram.
    EXPECT_EQ(400, SpanWidths(100, 100, 109, 109, 10, 400).Span);
    for (int64_t days : {0, -1, -5}) {
        const TSpanWidths none = SpanWidths(100, 100, 100, 100, days, 400);
        EXPECT_EQ(0, none.Before + none.Span + none.After);
    }
}

TEST(DateRuler, TicksAndLabelsByLength) {
    const double start = EncodeDateTime(2025, 12, 31, 10, 30);
    // One day: one tick and one label, no division by the missing others.
    EXPECT_EQ("<table width=100% cellspacing=0 cellpadding=0 border=0 style=\"font-size:11px;\"><tr>"
              "\r\n<td width=12%>|</td>\r\n</tr>\r\n<tr><td width=12%>31.12</td>\r\n</td></tr></table>",
              BuildDateRuler(start, 1));
    // Four days: the first and three more 29 % wide (88 / 3 rounded).
    EXPECT_EQ("<table width=100% cellspacing=0 cellpadding=0 border=0 style=\"font-size:11px;\"><tr>"
              "\r\n<td width=12%>|</td>"
              "\r\n<td width=29% align=right>|</td>\r\n<td width=29% align=right>|</td>\r\n<td width=29% align=right>|</td>"
              "\r\n</tr>\r\n<tr><td width=12%>31.12</td>"
              "\r\n<td width=29% align=right>01.01</td>\r\n<td width=29% align=right>02.01</td>"
              "\r\n<td width=29% align=right>03.01</td>\r\n</td></tr></table>",
              BuildDateRuler(start, 4));
    // Five days: five fixed ticks; a quarter is 1 day (5 / 4 rounded).
    const std::string five = BuildDateRuler(start, 5);
    EXPECT_EQ(5u, Count(five, ">|</td>"));
    EXPECT_NE(std::string::npos, five.find("<td width=25% align=center>01.01</td>")) << five;
    EXPECT_NE(std::string::npos, five.find("<td width=12% align=right>04.01</td></tr></table>")) << five;
    // Ten days: a quarter of 2.5 rounds to 2 (halves to even).
    EXPECT_NE(std::string::npos, BuildDateRuler(start, 10).find("<td width=25% align=center>02.01</td>"));
    // Short labels up to 365 days, with the year from 366 on.
    const std::string year = BuildDateRuler(start, 365);
    EXPECT_NE(std::string::npos, year.find("<td width=12% align=right>30.12</td>")) << year;
    const std::string leap = BuildDateRuler(start, 366);
    EXPECT_NE(std::string::npos, leap.find("<tr><td width=12%>31.12.25</td>")) << leap;
    // A quarter of 366 days is 91.5, which rounds to 92.
    EXPECT_NE(std::string::npos, leap.find("<td width=25% align=center>02.04.26</td>")) << leap;
    EXPECT_NE(std::string::npos, leap.find("<td width=12% align=right>31.12.26</td>")) << leap;
    // No history: nothing but the frame.
    EXPECT_EQ(0u, Count(BuildDateRuler(start, 0), "align=right"));
}

}  // namespace
}  // namespace tlvx
