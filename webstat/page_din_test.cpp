// The dynamics page: bar lengths, the averages over whole days, the rate
// cells, the columns at the thresholds, the forms, and the page embedded in
// the general page of a page or group.
#include "webstat/page_din.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <string>
#include <vector>

#include "platform/cgi_environment.h"
#include "platform/format_float.h"
#include "platform/integer_ratio.h"
#include "platform/web_request.h"
#include "webstat/testing/html_scan.h"
#include "webstat/testing/known_site.h"
#include "webstat/testing/page_parts.h"
#include "webstat/testing/planned_history.h"
#include "webstat/testing/report_site.h"
#include "webstat/ui_tables.h"

namespace tlvx {
namespace {

using test::TPlannedDay;
using test::TPlannedSite;

size_t Count(const std::string& text, const std::string& what) {
    size_t n = 0;
    for (size_t at = text.find(what); at != std::string::npos; at = text.find(what, at + 1)) ++n;
    return n;
}

// The texts of the cells of the figures row under the bars.
std::vector<std::string> Figures(const std::string& page) {
    const std::string open = "<td align=center width=20 style=\"border-top:1px solid black;\">";
    std::vector<std::string> figures;
    for (size_t at = page.find(open); at != std::string::npos; at = page.find(open, at + 1)) {
        const size_t from = at + open.size();
        figures.push_back(page.substr(from, page.find("</td>", from) - from));
    }
    return figures;
}

// The value cells of a row of a table of changes.
std::vector<std::string> RateCells(const std::string& page, const std::string& label) {
    const size_t row = page.find("<p class=\"tableleft\">" + label + "</p>");
    std::vector<std::string> cells;
    const std::string open = "<p class=\"tabletext\">";
    const size_t end = page.find("</tr>", row);
    for (size_t at = page.find(open, row); at < end; at = page.find(open, at + 1)) {
        const size_t from = at + open.size();
        cells.push_back(page.substr(from, page.find("</p>", from) - from));
    }
    return cells;
}

TEST(DinPage, BarLengths) {
    EXPECT_EQ(BarLength(8, 8, TBarPart::Empty), 0);
    EXPECT_EQ(BarLength(8, 8, TBarPart::Filled), 150);
    EXPECT_EQ(BarLength(8, 4, TBarPart::Empty), 75);
    EXPECT_EQ(BarLength(8, 4, TBarPart::Filled), 75);
    EXPECT_EQ(BarLength(8, 6, TBarPart::Filled), 112);  // 112.5, halves to even
    EXPECT_EQ(BarLength(8, 6, TBarPart::Empty), 38);   // 37.5
    EXPECT_EQ(BarLength(0, 0, TBarPart::Empty), 0);
    EXPECT_EQ(BarLength(0, 0, TBarPart::Filled), 0);
    EXPECT_EQ(BarLength(8, 4, TBarPart(3)), 0);
    EXPECT_EQ(BarLength(2147483647, 2147483647, TBarPart::Filled), 150);
}

// Two days: yesterday 8 hits, 4 views, 2 visitors; today 4, 4, 1. The
// largest figure (8) fills its bar; half of it fills half.
TEST(DinPage, BarsOfATwoDayHistory) {
    const TPlannedSite site({{8, 4, 2, 2}, {4, 4, 1, 0}});
    const std::string page = site.Content("page=din");
    EXPECT_EQ(0u, page.find("<h1>The dynamics of the site audience</h1>\r\n<table cellspacing=0"));
    // Visitors, views, hits of: the history (2 new visitors, 8 views and 12
    // hits over 2 days), yesterday, today.
    EXPECT_EQ(Figures(page), (std::vector<std::string>{"1", "4", "6", "2", "4", "8", "1", "4", "4"}));
    EXPECT_NE(page.find("\r\n<td width=25 valign=bottom align=center>"
                        "\r\n<table width=15 cellspacing=0 cellpadding=0 border=0>"
                        "\r\n<tr height=0 bgcolor=#FFFFFF><td></td></tr>"
                        "\r\n<tr height=150 bgcolor=#ABD7BF><td style=\"border-top:1px solid #000000;"
                        "border-right:1px solid #000000;border-left:1px solid #000000;\"><img width=1 "
                        "height=150 src=\"\"></td></tr>\r\n</table>\r\n</td>"),
              std::string::npos);
    EXPECT_NE(page.find("<tr height=75 bgcolor=#FFFFFF><td></td></tr>\r\n<tr height=75 bgcolor=#ABD7BF>"),
              std::string::npos);
    EXPECT_NE(page.find("<tr height=38 bgcolor=#FFFFFF><td></td></tr>\r\n<tr height=112 bgcolor=#33815A>"),
              std::string::npos);
    // Three periods shown, no 7 or 30 days; the tables have three columns.
    EXPECT_EQ(Count(page, "<font size=-2>"), 3u);
    EXPECT_EQ(Count(page, "colspan=3 style="), 2u);
    EXPECT_EQ(RateCells(page, "Hits"), (std::vector<std::string>{"+8.0", "-4.0"}));
    EXPECT_EQ(RateCells(page, "Average change of Unknown (%)"), (std::vector<std::string>{"---", "---"}));
    EXPECT_TRUE(page.ends_with("</select>\r\n<br><p align=right><input type=submit value=\"Show\" "
                               "style=\"border:1px solid black; width:100; background-color:white;\"></p>"
                               "\r\n</form>\r\n" +
                               std::string(FormBoxClose) + "</td>\r\n</tr>\r\n</table>"));
}

// k days before today: a figure that changes from day to day.
TPlannedDay DayAgo(int32_t k) { return {20 + k * 13 % 17, 10 + k % 5, 3 + k % 3, 1}; }

std::vector<TPlannedDay> History(int32_t days, TPlannedDay (*dayAgo)(int32_t) = DayAgo) {
    std::vector<TPlannedDay> plan;
    for (int32_t k = days - 1; k >= 0; --k) plan.push_back(dayAgo(k));
    return plan;
}

TEST(DinPage, AveragesOverWholeDaysAndRates) {
    const TPlannedSite site(History(41));
    const std::string page = site.Content("page=din");
    int64_t all = 0, month = 0, week = 0;
    for (int32_t k = 0; k < 41; ++k) all += DayAgo(k).Hits;
    for (int32_t k = 1; k <= 30; ++k) month += DayAgo(k).Hits;
    for (int32_t k = 1; k <= 7; ++k) week += DayAgo(k).Hits;
    const std::vector<std::string> figures = Figures(page);
    ASSERT_EQ(figures.size(), 15u);
    EXPECT_EQ(figures[2], std::to_string(RoundRatio(all, 41)));
    EXPECT_EQ(figures[5], std::to_string(RoundRatio(month, 30)));
    EXPECT_EQ(figures[8], std::to_string(RoundRatio(week, 7)));
    EXPECT_EQ(figures[11], std::to_string(DayAgo(1).Hits));
    EXPECT_EQ(figures[14], std::to_string(DayAgo(0).Hits));
    auto rate = [](int32_t from, int32_t to) {
        return FormatFloat("+0.0;-0.0;0.0", double(DayAgo(to).Hits - DayAgo(from).Hits) / (from - to));
    };
    EXPECT_EQ(RateCells(page, "Hits"), (std::vector<std::string>{rate(31, 1), rate(8, 1), rate(2, 1), rate(1, 0)}));
    EXPECT_EQ(Count(page, "colspan=5 style="), 2u);
    // The site's figures once, group or not.
    EXPECT_EQ(site.Content("page=din&group=1"), page);
}

// A referrer counts as new in the period of its first transition: the 30
// and the 7 days before today, yesterday, today. An old referrer seen
// again and a visit from nowhere are no new referrer.
TEST(DinPage, NewReferrersUnderThePeriodOfTheirFirstTransition) {
    test::TKnownSite known;
    known.StartDay = -40;
    known.Hits = {{"index", -35, "OLD.EXAMPLE"}, {"index", -10, "TENDAYS.EXAMPLE"},
                  {"index", -1, "YESTERDAY.EXAMPLE"}, {"index", 0, "TODAY.EXAMPLE", true, 0},
                  {"index", 0, "OLD.EXAMPLE"}, {"index", 0, ""}};
    const test::TKnownReportSite site(known);
    EXPECT_EQ(RateCells(site.Content("page=din"), "Increase of referrals"),
              (std::vector<std::string>{"+2", "+1", "+1", "+1"}));
}

TEST(DinPage, ColumnsAtTheThresholds) {
    for (const auto& [days, columns] : std::vector<std::pair<int32_t, size_t>>{{7, 3}, {8, 4}, {30, 4}, {31, 5}}) {
        const TPlannedSite site(History(days, [](int32_t) { return TPlannedDay{2, 1, 1, 1}; }));
        const std::string page = site.Content("page=din");
        EXPECT_EQ(Count(page, "<font size=-2>"), columns) << days;
        EXPECT_EQ(Count(page, "colspan=" + std::to_string(columns) + " style="), 2u) << days;
        EXPECT_EQ(Count(page, "For 30 days"), columns == 5 ? 2u : 0u) << days;
        EXPECT_EQ(Count(page, "For 7 days"), columns >= 4 ? 2u : 0u) << days;
    }
}

TEST(DinPage, GroupPageUnknownNodeAndEmbedded) {
    const TPlannedSite site(History(8));
    const std::string group = site.Content("page=din&nodename=shop&group=1");
    EXPECT_EQ(0u, group.find("<h1>The dynamics of views for group: shop</h1>"));
    // The group's days hold every hit of the site.
    const std::vector<std::string> groupFigures = Figures(group), siteFigures = Figures(site.Content("page=din"));
    ASSERT_EQ(groupFigures.size(), 12u);
    EXPECT_EQ(std::vector<std::string>(groupFigures.begin() + 3, groupFigures.end()),
              std::vector<std::string>(siteFigures.begin() + 3, siteFigures.end()));
    EXPECT_NE(group.find("</table><br><br>\r\n<table cellspacing=0"), std::string::npos);

    const std::string unknown = site.Content("page=din&nodename=%3Cxssprobe%3E");
    EXPECT_EQ(0u, unknown.find("<h1>The dynamics of views for page: &lt;xssprobe&gt;</h1>\r\n"
                               "<p>There is no page or group of that name.</p>"));
    EXPECT_NE(unknown.find("<option value=\"shop.book\">shop.book"), std::string::npos);

    const std::string main = site.Content("page=main&nodename=shop&group=1");
    const size_t din = main.find("<h1>The dynamics of views for group: shop</h1>");
    ASSERT_NE(din, std::string::npos);
    EXPECT_EQ(main.substr(din), group.substr(0, group.find("\r\n<table cellspacing=0 cellpadding=0 border=0>\r\n"
                                                           "<tr><img")));
}

TEST(DinPage, FormsGolden) {
    TMapEnvironment env;
    env.Set("QUERY_STRING", "id=7&page=din");
    const TWebRequest request(env, nullptr);
    TReportContext context;
    context.QueryFields = request.QueryFields();
    context.ScriptName = "/cgi-bin/tlvxstat";
    context.Id = "7\"";
    const std::string box = std::string("\r\n") + std::string(FormBoxOpen);
    EXPECT_EQ(BuildDinForms({"news"}, {"index", "a&b"}, context),
              "\r\n<table cellspacing=0 cellpadding=0 border=0>"
              "\r\n<tr><img width=300 height=1 src=\"\"><td></td><td></td><td><img width=300 height=1 src=\"\"></td></tr><tr>"
              "\r\n<td width=200 valign=top>" +
                  box + "By group of pages " + std::string(FormBoxBody) +
                  "\r\n<form action=\"/cgi-bin/tlvxstat\">"
                  "\r\n<input name=id type=hidden value=\"7&quot;\">"
                  "\r\n<input name=page type=hidden value=din>"
                  "\r\n<input type=hidden name=group value=1>"
                  "\r\n<select name=nodename style=\"width:300px;\">"
                  "\r\n<option value=\"news\">news"
                  "\r\n</select>"
                  "\r\n<br><p align=right><input type=submit value=\"Show\" style=\"border:1px solid black; "
                  "width:100; background-color:white;\"></p>"
                  "\r\n</form>\r\n" +
                  std::string(FormBoxClose) + "</td>" +
                  "\r\n<td width=10%>&nbsp;</td>"
                  "\r\n<td width=45% valign=top>" +
                  box + "By page " + std::string(FormBoxBody) +
                  "\r\n<form action=\"/cgi-bin/tlvxstat\">"
                  "\r\n<input name=id type=hidden value=\"7&quot;\">"
                  "\r\n<input name=page type=hidden value=din>"
                  "\r\n<select name=nodename style=\"width:300px;\">"
                  "\r\n<option value=\"index\">index"
                  "\r\n<option value=\"a&amp;b\">a&amp;b"
                  "\r\n</select>"
                  "\r\n<br><p align=right><input type=submit value=\"Show\" style=\"border:1px solid black; "
                  "width:100; background-color:white;\"></p>"
                  "\r\n</form>\r\n" +
                  std::string(FormBoxClose) + "</td>" + "\r\n</tr>\r\n</table>");
}

}  // namespace
}  // namespace tlvx
