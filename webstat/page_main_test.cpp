// The general page over histories of 1, 8, 31 and 41 days whose every day
// figure is chosen: the columns at the 7/8 and 30/31 day thresholds, the
// scales and segments of the bars, the averages and their arrows, read as
// cell texts from the page a request gets.
#include <gtest/gtest.h>

#include <cmath>
#include <filesystem>
#include <string>
#include <vector>

#include "platform/format_float.h"
#include "platform/integer_ratio.h"
#include "webstat/report_math.h"
#include "webstat/testing/html_scan.h"
#include "webstat/testing/page_parts.h"
#include "webstat/testing/planned_history.h"
#include "webstat/testing/report_site.h"

namespace tlvx {
namespace {

using test::ParagraphTexts;
using test::TextBetween;
using test::TPlannedDay;
using test::TPlannedSite;

// The day k days before today.
TPlannedDay DayAgo(int32_t k) {
    const int32_t hits = 10 + k * 7 % 11;
    return {hits, hits - k % 3, 2 + k % 4, 1 + k % 2};
}

std::vector<TPlannedDay> History(int32_t days, TPlannedDay (*dayAgo)(int32_t) = DayAgo) {
    std::vector<TPlannedDay> plan;
    for (int32_t k = days - 1; k >= 0; --k) plan.push_back(dayAgo(k));
    return plan;
}

// ---- reading the page ----

// The per-cent widths in a piece of markup ("width=37%"), in order.
std::vector<int64_t> Widths(const std::string& html) {
    std::vector<int64_t> widths;
    for (size_t at = html.find("width="); at != std::string::npos; at = html.find("width=", at + 1)) {
        size_t end = at + 6;
        while (end < html.size() && std::isdigit(static_cast<unsigned char>(html[end]))) ++end;
        if (end > at + 6 && end < html.size() && html[end] == '%')
            widths.push_back(std::stoll(html.substr(at + 6, end - at - 6)));
    }
    return widths;
}

// The segments a bar shows: those of width 0 have no cell.
std::vector<int64_t> NonZero(std::vector<int64_t> widths) {
    std::erase(widths, 0);
    return widths;
}

// The row of a table section from its label to the next label.
std::string Row(const std::string& section, const std::string& label) {
    const std::string open = "<p class=\"tableleft\">" + label + "</p>";
    return TextBetween(section, open, "<p class=\"tableleft\">");
}

// ---- what the page must show ----

struct TSums {
    int64_t Today = 0, Yesterday = 0, Week = 0, Month = 0, All = 0;
};

// A figure of the plan over today, yesterday, today - 7 .. today and
// today - 30 .. today, and over the whole history.
TSums SumsOf(int32_t days, int32_t TPlannedDay::*figure) {
    TSums s;
    for (int32_t k = 0; k < days; ++k) {
        const int64_t v = DayAgo(k).*figure;
        if (k == 0) s.Today = v;
        if (k == 1) s.Yesterday = v;
        if (k <= 7) s.Week += v;
        if (k <= 30) s.Month += v;
        s.All += v;
    }
    return s;
}

std::string Average(int64_t sum, int64_t days) { return FormatFloat("0.0", double(sum) / double(days)); }

// The arrow and span of a change, from the sign of reference - recent.
std::string ArrowOf(int64_t recent, int64_t recentDays, int64_t reference, int64_t referenceDays) {
    const int64_t d = recentDays * reference - recent * referenceDays;
    return d > 0 ? "imgind=11\"></td><td width=33%><span class=\"infall\">"
           : d < 0 ? "imgind=10\"></td><td width=33%><span class=\"ingrow\">"
                   : "imgind=11\"></td><td width=33%><span>";
}

class MainPageOverPlannedHistory : public ::testing::TestWithParam<int32_t> {};

TEST_P(MainPageOverPlannedHistory, ColumnsBarsAndAverages) {
    const int32_t days = GetParam();
    const TPlannedSite site(History(days));
    const std::string page = site.Content("page=main");
    const bool week = days > 7, month = days > 30;

    EXPECT_NE(page.find("<p>Statistics for period:  " + NumberWithNoun(days) + " from "), std::string::npos);

    const TSums hits = SumsOf(days, &TPlannedDay::Hits), views = SumsOf(days, &TPlannedDay::Views),
                visitors = SumsOf(days, &TPlannedDay::Visitors), fresh = SumsOf(days, &TPlannedDay::New);

    // TOTAL: the main node "shop" has one hit a day, the light part.
    const std::string totals = TextBetween(page, "<h2>TOTAL:</h2>", "</table><br>");
    const int64_t scaleT = RoundChartScale(hits.All);
    const int64_t own = TruncShare(days, scaleT, 100), all = TruncShare(hits.All, scaleT, 100);
    EXPECT_EQ(Widths(TextBetween(Row(totals, "Hits"), "<tr height=12>", "</tr>")), NonZero({own, all - own}));
    EXPECT_EQ(ParagraphTexts(Row(totals, "Hits"), "tabletext").front(), std::to_string(hits.All));
    EXPECT_NE(totals.find("&nbsp;" + std::to_string(scaleT) + "&nbsp;"), std::string::npos);

    // FROM THEM: columns, figures, one scale, segments.
    const std::string periods = TextBetween(page, "<h2>FROM THEM</h2>", "<h2>AVERAGE VALUES:</h2>");
    std::vector<std::string> heads{"Today", "Yesterday"};
    if (week) heads.push_back("7 days");
    if (month) heads.push_back("30 days");
    EXPECT_EQ(ParagraphTexts(TextBetween(periods, "", "<p class=\"tableleft\">"), "tablehead"), heads);
    auto shown = [&](const TSums& s, bool dashes) {
        std::vector<std::string> cells{std::to_string(s.Today), std::to_string(s.Yesterday)};
        if (week) cells.push_back(dashes ? "---" : std::to_string(s.Week));
        if (month) cells.push_back(dashes ? "---" : std::to_string(s.Month));
        return cells;
    };
    auto numbers = [&](const std::string& label) {
        std::vector<std::string> cells = ParagraphTexts(Row(periods, label), "tabletext");
        cells.resize(heads.size());
        return cells;
    };
    EXPECT_EQ(numbers("Hits"), shown(hits, false));
    EXPECT_EQ(numbers("Site&nbsp;views"), shown(views, false));
    EXPECT_EQ(numbers("Visitors"), shown(visitors, true));
    EXPECT_EQ(numbers("New"), shown(fresh, false));
    const int64_t scale = RoundChartScale(month  ? hits.Month
                                          : week ? hits.Week
                                          : days > 1 ? hits.Today + hits.Yesterday
                                                     : hits.Today);
    EXPECT_NE(periods.find("<p class=\"tabletext\">&nbsp;" + std::to_string(scale) + "&nbsp;</p>"), std::string::npos);
    auto p = [&](int64_t x) { return TruncShare(x, scale, 100); };
    std::vector<int64_t> segments{p(hits.Today), p(hits.Yesterday)};
    if (week) segments.push_back(p(hits.Week) - p(hits.Today) - p(hits.Yesterday));
    if (month) segments.push_back(p(hits.Month) - p(hits.Week));
    EXPECT_EQ(Widths(TextBetween(Row(periods, "Hits"), "\r\n<tr>", "</tr>")), NonZero(segments));
    // The visitors row has two segments whatever the history.
    EXPECT_EQ(Widths(TextBetween(Row(periods, "Visitors"), "\r\n<tr>", "</tr>")),
              NonZero({p(visitors.Today), p(visitors.Yesterday)}));

    // AVERAGE VALUES: the 30 and 7 days' sums over the 31 and 8 days they
    // cover; changes against the next longer period.
    const std::string averages = TextBetween(page, "<h2>AVERAGE VALUES:</h2>", "</table><br><br>");
    const std::string hitsRow = Row(averages, "Hits");
    const std::vector<std::string> cells = ParagraphTexts(hitsRow, "tabletext");
    ASSERT_GE(cells.size(), 2u);
    EXPECT_EQ(cells[0], Average(hits.All, days));
    std::vector<std::string> expected{Average(hits.All, days)};
    if (month) expected.push_back(Average(hits.Month, 31));
    if (week) expected.push_back(Average(hits.Week, 8));
    expected.push_back(std::to_string(hits.Today));
    EXPECT_EQ(cells, expected);
    if (month) {
        EXPECT_NE(hitsRow.find(ArrowOf(hits.Month, 31, hits.All, days)), std::string::npos);
    }
    if (week) {
        const std::string arrow = month ? ArrowOf(hits.Week, 8, hits.Month, 31) : ArrowOf(hits.Week, 8, hits.All, days);
        EXPECT_NE(hitsRow.find(arrow), std::string::npos);
    }
    // Today shows an arrow only when it rises over the reference.
    const bool todayRises = week ? hits.Today * 8 > hits.Week : hits.Today * days > hits.All;
    const std::string todayCell = hitsRow.substr(hitsRow.rfind("<p class=\"tabletext\">"));
    EXPECT_EQ(todayCell.find("imgind=10\"></td><td width=33%><span class=\"ingrow\">") != std::string::npos,
              todayRises);
    EXPECT_EQ(todayCell.find("infall"), std::string::npos);
    // Hidden columns hold an empty table.
    size_t emptyTables = 0;
    const std::string emptyTable = "<table border=0 cellspacing=0 cellpadding=0><tr><td></td></tr></table>";
    for (size_t at = hitsRow.find(emptyTable); at != std::string::npos; at = hitsRow.find(emptyTable, at + 1))
        ++emptyTables;
    EXPECT_EQ(emptyTables, size_t(!week + !month));

    EXPECT_NE(page.find("page=din\">The dynamics in detail...</a>"), std::string::npos);
    EXPECT_NE(page.find("<h2>NUMBER of RETURNS ON SITE:</h2>"), std::string::npos);
}

INSTANTIATE_TEST_SUITE_P(Days, MainPageOverPlannedHistory, ::testing::Values(1, 8, 31, 41));

// Every day alike: each average equals the one it is compared with, and the
// page shows no change -- a plain span and the level arrow, exactly.
TEST(MainPage, EqualDaysShowNoChange) {
    const TPlannedSite site(History(41, [](int32_t) { return TPlannedDay{7, 3, 3, 1}; }));
    const std::string averages = TextBetween(site.Content("page=main"), "<h2>AVERAGE VALUES:</h2>", "</table><br><br>");
    for (const char* label : {"Hits", "Site&nbsp;views"}) {
        const std::string row = Row(averages, label);
        EXPECT_EQ(std::string::npos, row.find("infall")) << label;
        EXPECT_EQ(std::string::npos, row.find("ingrow")) << label;
        EXPECT_NE(std::string::npos, row.find("imgind=11\"></td><td width=33%><span>0.0%</span>")) << label;
    }
}

TEST(MainPage, PageGroupAndUnknownNode) {
    const TPlannedSite site(History(8));
    const TSums hits = SumsOf(8, &TPlannedDay::Hits);

    // The page: no own part, the whole hits bar dark; its heading, table and
    // the transitions link; the embedded dynamics close it, without forms.
    const std::string page = site.Content("page=main&nodename=shop.book");
    EXPECT_EQ(0u, page.find("\r\n<center><h1>GENERAL STATISTICS FOR PAGE :shop.book</h1></center><br>\r\n"
                            "<p>Statistics for period:  8 days from 01-12-2026</p>\r\n"
                            "<br><table  cellspacing=0 cellpadding=0 border=0>"));
    const std::string bookHits = Row(TextBetween(page, "<h2>TOTAL:</h2>", "</table><br>"), "Hits");
    const int64_t bookScale = RoundChartScale(hits.All - 8);
    EXPECT_EQ(Widths(TextBetween(bookHits, "<tr height=12>", "</tr>")),
              (std::vector<int64_t>{TruncShare(hits.All - 8, bookScale, 100)}));
    EXPECT_NE(bookHits.find("<tr height=12><td width="), std::string::npos);
    EXPECT_NE(bookHits.find(" bgcolor=#4D8767></td><td></td></tr>"), std::string::npos);
    EXPECT_NE(page.find("page=refs&nodename=shop.book&group=\">transitions...</a>"), std::string::npos);
    EXPECT_NE(page.find("<h1>The dynamics of views for page: shop.book</h1>"), std::string::npos);
    EXPECT_EQ(page.find("<form"), std::string::npos);
    EXPECT_TRUE(page.ends_with("</table><br><br>"));
    EXPECT_NE(page.find("<p class=\"\">Lifetime:</p></td><td><p class=\"\">8</p>"), std::string::npos);

    // The group: its own hits (one a day) are the light part of all of them.
    const std::string group = site.Content("page=main&nodename=shop&group=1");
    EXPECT_NE(group.find("<h1>GENERAL STATISTICS FOR GROUP :shop</h1>"), std::string::npos);
    const std::string groupTotals = TextBetween(group, "<h2>TOTAL:</h2>", "</table><br>");
    EXPECT_EQ(ParagraphTexts(Row(groupTotals, "Hits"), "tabletext").front(), std::to_string(hits.All));
    const int64_t scale = RoundChartScale(hits.All);
    EXPECT_EQ(Widths(TextBetween(Row(groupTotals, "Hits"), "<tr height=12>", "</tr>")),
              NonZero({TruncShare(8, scale, 100), TruncShare(hits.All, scale, 100) - TruncShare(8, scale, 100)}));
    EXPECT_EQ(group.find("transitions..."), std::string::npos);

    EXPECT_EQ(site.Content("page=main&nodename=no.such"),
              "\r\n<center><h1>GENERAL STATISTICS FOR PAGE :no.such</h1></center><br>");
}

}  // namespace
}  // namespace tlvx
