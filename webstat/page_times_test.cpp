// The hour page over a site whose hits per weekday and hour are known: the
// three views agree with the plan and with each other, bars are measured
// against the busiest hour of all days, and the view and node choices keep
// each other.
#include <gtest/gtest.h>

#include <array>
#include <string>
#include <vector>

#include "platform/clock.h"
#include "webstat/testing/page_parts.h"
#include "webstat/testing/report_fixtures.h"
#include "webstat/testing/report_site.h"

namespace tlvx {
namespace {

using test::CellTexts;
using test::TPlannedHit;
using test::TReportSite;

// Hits of weekday d (0 Monday) in hour h: one where (d + h) % 4 == 0, and
// five more on Wednesday at 13, which makes 13-14 the busiest hour (6). The
// first hit of an hour comes on the hour exactly, from Monday 2026-11-30
// into December.
int PlannedHits(int day, int hour) { return ((day + hour) % 4 == 0 ? 1 : 0) + (day == 2 && hour == 13 ? 5 : 0); }
constexpr int kGrandTotal = 47;

std::vector<TPlannedHit> HourPlan() {
    std::vector<TPlannedHit> hits;
    uint32_t visitor = 0;
    for (int day = 0; day < 7; ++day)
        for (int hour = 0; hour < 24; ++hour)
            for (int k = 0; k < PlannedHits(day, hour); ++k) {
                TPlannedHit hit;
                hit.When = EncodeDateTime(2026, 11, 30, hour, 2 * k) + day;
                hit.Visitor = visitor++;
                hit.Node = k % 2 == 0 ? "news.sport" : "news.world";
                hits.push_back(hit);
            }
    return hits;
}

class TimesPage : public ::testing::Test {
protected:
    std::string Content(const std::string& query) {
        return test::ContentArea(site_.Get("id=site&page=times" + query).Body);
    }
    // The hits column of a page.
    std::vector<int> Hits(const std::string& query) {
        const std::vector<std::string> cells = CellTexts(Content(query), "tabletext");
        std::vector<int> hits;
        for (size_t i = 0; i < cells.size(); i += 2) hits.push_back(std::stoi(cells[i]));
        return hits;
    }

    static const test::TPlannedDatabase& Database() {
        static const test::TPlannedDatabase database(HourPlan());
        return database;
    }
    TReportSite site_{Database().Path()};
};


TEST_F(TimesPage, ThreeViewsAgreeWithThePlanAndEachOther) {
    std::array<int, 24> allDays{};
    for (int d = 0; d < 7; ++d)
        for (int h = 0; h < 24; ++h) allDays[size_t(h)] += PlannedHits(d, h);

    // No grouping: 24 rows, the busiest hour's bar 400 pixels.
    const std::string ungrouped = Content("");
    EXPECT_EQ(Hits(""), std::vector<int>(allDays.begin(), allDays.end()));
    const std::vector<int> bars = test::BarWidths(ungrouped);
    ASSERT_EQ(24u, bars.size());
    EXPECT_EQ(400, bars[13]);
    EXPECT_EQ(133, bars[0]);  // 2 of 6
    EXPECT_EQ(CellTexts(ungrouped, "tabletext")[27], "12.77%");  // 6 of 47
    EXPECT_EQ(std::string::npos, ungrouped.find("class=\"title1\""));

    // By hours: 24 blocks of 7 rows, the weekdays in each hour.
    const std::vector<int> byHours = Hits("&kind=hours");
    ASSERT_EQ(168u, byHours.size());
    for (int h = 0; h < 24; ++h) {
        int sum = 0;
        for (int d = 0; d < 7; ++d) {
            EXPECT_EQ(PlannedHits(d, h), byHours[size_t(h * 7 + d)]) << "hour " << h << " day " << d;
            sum += byHours[size_t(h * 7 + d)];
        }
        EXPECT_EQ(allDays[size_t(h)], sum) << h;
    }
    const std::string hoursPage = Content("&kind=hours");
    EXPECT_NE(std::string::npos, hoursPage.find("<p class=\"title1\">by day of week, compose by hours</p>"));
    for (int bar : test::BarWidths(hoursPage)) EXPECT_LE(bar, 400);
    const std::vector<std::string> hourLabels = CellTexts(hoursPage, "tableleft");
    ASSERT_EQ(24u * 8, hourLabels.size());
    EXPECT_EQ((std::vector<std::string>(hourLabels.begin(), hourLabels.begin() + 9)),
              (std::vector<std::string>{"0-1", "Monday", "Tuesday", "Wednesday", "Thursday", "Friday", "Saturday",
                                        "Sunday", "1-2"}));
    EXPECT_EQ("23-24", hourLabels[23 * 8]);

    // By days: 7 blocks of 24 rows, the hours in each weekday.
    const std::vector<int> byDays = Hits("&kind=days");
    ASSERT_EQ(168u, byDays.size());
    for (int d = 0; d < 7; ++d)
        for (int h = 0; h < 24; ++h) EXPECT_EQ(PlannedHits(d, h), byDays[size_t(d * 24 + h)]) << d << " " << h;
    const std::vector<std::string> dayLabels = CellTexts(Content("&kind=days"), "tableleft");
    ASSERT_EQ(7u * 25, dayLabels.size());
    EXPECT_EQ("Monday", dayLabels[0]);
    EXPECT_EQ("0-1", dayLabels[1]);
    EXPECT_EQ("23-24", dayLabels[24]);
    EXPECT_EQ("Sunday", dayLabels[6 * 25]);

    // The letter case counts: DAYS is no view, so no grouping.
    EXPECT_EQ(Hits("&kind=DAYS"), Hits(""));
    EXPECT_EQ(std::string::npos, Content("&kind=DAYS").find("class=\"title1\""));
}

TEST_F(TimesPage, BlockRowsAndViewSelectorBytes) {
    const std::string days = Content("&kind=days&nodename=news&group=1");
    EXPECT_TRUE(days.starts_with("<h1>Hourly statistics for group news</h1>"
                                 "\r\n<p class=\"title1\">by day of week, compose by days</p>"
                                 "\r\n<p class=\"navig2\"><a class=\"navig2\" href=\"/cgi-bin/tlvxstat?id=site&page=times\">"
                                 "For all site</a></p>"))
        << days.substr(0, 300);
    EXPECT_NE(std::string::npos,
              days.find("\r\n<p class=\"navig2\"><span class=\"navig2\">Group by:</span> day of week&nbsp;|&nbsp;"
                        "<a class=\"navig2\" href=\"/cgi-bin/tlvxstat?id=site&page=times&nodename=news&group=1&kind=hours\">"
                        "hours</a>&nbsp;|&nbsp;<a class=\"navig2\" href=\"/cgi-bin/tlvxstat?id=site&page=times&nodename=news"
                        "&group=1\">don't group</a></p>\r\n<br>\r\n<table cellspacing=0 cellpadding=3 border=0>"));
    // A block opens its first row with a plain <tr>; the label spans it.
    EXPECT_NE(std::string::npos,
              days.find("\r\n</tr>\r\n<tr>\r\n<td rowspan=24 style=\"border-left:1px solid #CFCFCF; border-top:1px solid "
                        "#CFCFCF;border-bottom:1px solid #CFCFCF;\"><p class=\"tableleft\">Tuesday</td>"
                        "\r\n<td style=\"border-left:1px solid #CFCFCF; border-top:1px solid #CFCFCF;\">"
                        "<p class=\"tableleft\">0-1</td>\r\n<td style=\"border-left:1px solid #F1F1F1; border-top:1px solid "
                        "#CFCFCF;\" align=center><p class=\"tabletext\">0</p></td>"));
    EXPECT_NE(std::string::npos, days.find("</tr>\r\n<tr bgcolor=#FFFFFF>\r\n<td style=\"border-left:1px solid #CFCFCF; "
                                           "border-top:1px solid #F1F1F1;\"><p class=\"tableleft\">1-2</td>"));
    size_t blocks = 0, rows = 0;
    for (size_t at = days.find("\r\n<tr>\r\n<td rowspan=24"); at != std::string::npos;
         at = days.find("\r\n<tr>\r\n<td rowspan=24", at + 1))
        ++blocks;
    for (size_t at = days.find("<tr bgcolor=#"); at != std::string::npos; at = days.find("<tr bgcolor=#", at + 1)) ++rows;
    EXPECT_EQ(7u, blocks);
    EXPECT_EQ(1u + 7 * 23, rows);  // the head row and the blocks' other rows

    // By hours: Tuesday, Thursday and Saturday tinted.
    const std::string hours = Content("&kind=hours");
    EXPECT_NE(std::string::npos, hours.find("<tr bgcolor=#F7FBFF>\r\n<td style=\"border-left:1px solid #CFCFCF; "
                                            "border-top:1px solid #F1F1F1;\"><p class=\"tableleft\">Tuesday</td>"));
    EXPECT_NE(std::string::npos, hours.find("<tr bgcolor=#FFFFFF>\r\n<td style=\"border-left:1px solid #CFCFCF; border-top:1px "
                                            "solid #F1F1F1;border-bottom:1px solid #CFCFCF;\"><p class=\"tableleft\">Sunday</td>"));
}

TEST_F(TimesPage, ViewAndNodeChoicesKeepEachOther) {
    // Both forms carry the view; a hostile one stays a value.
    const std::string page = Content("&kind=hours");
    size_t kept = 0;
    for (size_t at = page.find("<input type=hidden name=kind value=\"hours\">"); at != std::string::npos;
         at = page.find("<input type=hidden name=kind value=\"hours\">", at + 1))
        ++kept;
    EXPECT_EQ(2u, kept);
    const std::string hostile = Content("&kind=%22%3E%3Cb%3E&nodename=a%26b&group=%3C");
    EXPECT_NE(std::string::npos, hostile.find("name=kind value=\"&quot;&gt;&lt;b&gt;\">"));
    EXPECT_NE(std::string::npos, hostile.find("&page=times&nodename=a%26b&group=%3C&kind=days\">"));
    EXPECT_EQ(std::string::npos, hostile.find("<b>"));

    // group=1 alone is the whole site once.
    EXPECT_EQ(Hits("&group=1&kind=hours"), Hits("&kind=hours"));
    // news holds every hit below it, itself none.
    EXPECT_EQ(Hits("&nodename=news&group=1"), Hits(""));
    EXPECT_EQ(Hits("&nodename=news"), std::vector<int>(24, 0));
    EXPECT_EQ(test::BarWidths(Content("&nodename=news&kind=days")), std::vector<int>(168, 0));
}

}  // namespace
}  // namespace tlvx
