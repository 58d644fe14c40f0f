// The weekday page over a site whose hits per weekday are known: the page's
// bytes, the figures of the whole site, of a group and of a page, the bars
// against the busiest day, and the empty database.
#include <gtest/gtest.h>

#include <array>
#include <string>
#include <vector>

#include "platform/clock.h"
#include "webstat/testing/page_parts.h"
#include "webstat/testing/report_fixtures.h"
#include "webstat/testing/report_site.h"
#include "webstat/ui_tables.h"

namespace tlvx {
namespace {

using test::CellTexts;
using test::TPlannedHit;
using test::TReportSite;

// Hits of Monday 2026-11-30 to Sunday 2026-12-06: the busiest day 8, one
// day half as many, one day none. Every third hit is on "index", the others
// on news.sport.
constexpr std::array<int, 7> kDayHits{8, 2, 0, 1, 4, 3, 5};

std::vector<TPlannedHit> WeekPlan() {
    std::vector<TPlannedHit> hits;
    uint32_t visitor = 0;
    for (int day = 0; day < 7; ++day)
        for (int k = 0; k < kDayHits[size_t(day)]; ++k) {
            TPlannedHit hit;
            hit.When = EncodeDateTime(2026, 11, 30, 9 + k, 15) + day;
            hit.Visitor = visitor++;
            hit.Node = k % 3 == 2 ? "index" : "news.sport";
            hits.push_back(hit);
        }
    return hits;
}

class WeeksPage : public ::testing::Test {
protected:
    std::string Content(const std::string& query) {
        return test::ContentArea(site_.Get("id=site&page=weeks" + query).Body);
    }

    static const test::TPlannedDatabase& Database() {
        static const test::TPlannedDatabase database(WeekPlan());
        return database;
    }
    TReportSite site_{Database().Path()};
};

std::vector<std::string> Column(const std::vector<std::string>& cells, size_t column) {
    std::vector<std::string> values;
    for (size_t i = column; i < cells.size(); i += 2) values.push_back(cells[i]);
    return values;
}

TEST_F(WeeksPage, WholeSiteBytes) {
    const std::string form =
        "\r\n<input type=hidden name=page value=\"weeks\">";
    const std::string submit =
        "\r\n<select name=nodename style=\"width:250px;\">";
    const std::string expectedStart =
        "<h1>Daily statistics for all site</h1>"
        "\r\n<p class=\"navig2\"><a class=\"navig2\" href=\"/cgi-bin/tlvxstat?id=site&page=weeks\">For all site</a></p>"
        "\r\n<table cellspacing=0 cellpadding=0 border=0><tr><td>" +
        std::string(FormBoxOpen) + "For group:" + std::string(FormBoxBody) +
        "\r\n<form action=\"/cgi-bin/tlvxstat\">"
        "\r\n<input type=hidden name=id value=site>" + form +
        "\r\n<input type=hidden name=group value=\"1\">" + submit +
        "\r\n<option value=news>news"
        "\r\n</select>"
        "\r\n<br>"
        "\r\n<p align=right><input type=submit value=\"Show\" style=\"width:200px; background-color:white; "
        "border:1px solid black;\"></p>"
        "\r\n</form>" + std::string(FormBoxClose) +
        "\r\n</td><td width=10>&nbsp</td><td align=right>"
        "\r\n" + std::string(FormBoxOpen) + "For page:" + std::string(FormBoxBody) +
        "\r\n<form action=\"/cgi-bin/tlvxstat\">"
        "\r\n<input type=hidden name=id value=site>" + form + submit +
        "\r\n<option value=index>index"
        "\r\n<option value=news>news"
        "\r\n<option value=news.sport>news.sport"
        "\r\n</select>"
        "\r\n<br>"
        "\r\n<p align=right><input type=submit value=\"Show\" style=\"width:200px; background-color:white; "
        "border:1px solid black;\"></p>"
        "\r\n</form>"
        "\r\n" + std::string(FormBoxClose) +
        "\r\n</td></tr></table>"
        "\r\n<br>"
        "\r\n<table cellspacing=0 cellpadding=3 border=0>"
        "\r\n<tr bgcolor=#BDCFE3>"
        "\r\n<td style=\"border-bottom:1px solid white; border-left:1px solid white;\"><p class=\"tablehead\">Day of week</p></td>"
        "\r\n<td style=\"border-bottom:1px solid white; border-left:1px solid white;\"><p class=\"tablehead\">Hits</p></td>"
        "\r\n<td style=\"border-bottom:1px solid white; border-left:1px solid white;\"><p class=\"tablehead\">%</p></td>"
        "\r\n<td style=\"border-bottom:1px solid white; border-left:1px solid white;\"><p class=\"tablehead\">Diagram</p></td>"
        "\r\n</tr>"
        "\r\n<tr bgcolor=#FFFFFF>"
        "\r\n<td style=\"border-left:1px solid #CFCFCF; border-top:1px solid #CFCFCF;\"><p class=\"tableleft\">Monday</td>"
        "\r\n<td style=\"border-left:1px solid #F1F1F1; border-top:1px solid #CFCFCF;\" align=center><p class=\"tabletext\">8</p></td>"
        "\r\n<td style=\"border-left:1px solid #F1F1F1; border-top:1px solid #CFCFCF;\" align=center><p class=\"tabletext\">34.78%</p></td>"
        "\r\n<td style=\"border-right:1px solid #CFCFCF; border-left:1px solid #CFCFCF; border-top:1px solid #CFCFCF;\"  bgcolor=white valign=middle align=left>"
        "\r\n<table width=100% cellspacing=0 cellpadding=0 border=0>"
        "\r\n<tr>"
        "\r\n<td height=10 bgcolor=#63AB7D><img height=10 width=400 src=\"\"></td><td width=100%></td>"
        "\r\n</tr>"
        "\r\n</table>"
        "\r\n</td>"
        "\r\n</tr>"
        "\r\n<tr bgcolor=#F7FBFF>"
        "\r\n<td style=\"border-left:1px solid #CFCFCF; border-top:1px solid #F1F1F1;\"><p class=\"tableleft\">Tuesday</td>";
    const std::string expectedEnd =
        "\r\n<tr bgcolor=#FFFFFF>"
        "\r\n<td style=\"border-left:1px solid #CFCFCF; border-top:1px solid #F1F1F1;border-bottom:1px solid #CFCFCF;\"><p class=\"tableleft\">Sunday</td>"
        "\r\n<td style=\"border-left:1px solid #F1F1F1; border-top:1px solid #F1F1F1;border-bottom:1px solid #CFCFCF;\" align=center><p class=\"tabletext\">5</p></td>"
        "\r\n<td style=\"border-left:1px solid #F1F1F1; border-top:1px solid #F1F1F1;border-bottom:1px solid #CFCFCF;\" align=center><p class=\"tabletext\">21.74%</p></td>"
        "\r\n<td style=\"border-right:1px solid #CFCFCF; border-left:1px solid #CFCFCF; border-top:1px solid #F1F1F1;border-bottom:1px solid #CFCFCF;\"  bgcolor=white valign=middle align=left>"
        "\r\n<table width=100% cellspacing=0 cellpadding=0 border=0>"
        "\r\n<tr>"
        "\r\n<td height=10 bgcolor=#63AB7D><img height=10 width=250 src=\"\"></td><td width=100%></td>"
        "\r\n</tr>"
        "\r\n</table>"
        "\r\n</td>"
        "\r\n</tr>"
        "\r\n</table><br><br>";
    const std::string page = Content("");
    EXPECT_EQ(expectedStart, page.substr(0, expectedStart.size()));
    ASSERT_GE(page.size(), expectedEnd.size());
    EXPECT_EQ(expectedEnd, page.substr(page.size() - expectedEnd.size()));
}

TEST_F(WeeksPage, FiguresSharesAndBars) {
    // The whole site: the busiest day 400 pixels, half as many 200.
    const std::vector<std::string> site = CellTexts(Content(""), "tabletext");
    EXPECT_EQ(Column(site, 0), (std::vector<std::string>{"8", "2", "0", "1", "4", "3", "5"}));
    EXPECT_EQ(Column(site, 1),
              (std::vector<std::string>{"34.78%", "8.70%", "0.00%", "4.35%", "17.39%", "13.04%", "21.74%"}));
    EXPECT_EQ(test::BarWidths(Content("")), (std::vector<int>{400, 100, 0, 50, 200, 150, 250}));
    EXPECT_EQ(CellTexts(Content(""), "tableleft"),
              (std::vector<std::string>{"Monday", "Tuesday", "Wednesday", "Thursday", "Friday", "Saturday", "Sunday"}));

    // group=1 without a node, or with one that names none, is the site once:
    // the root's own figures are the whole site's.
    EXPECT_EQ(site, CellTexts(Content("&group=1"), "tabletext"));
    const std::string unknown = Content("&group=1&nodename=nosuch");
    EXPECT_TRUE(unknown.starts_with("<h1>Daily statistics for group nosuch</h1>")) << unknown.substr(0, 80);
    EXPECT_EQ(site, CellTexts(unknown, "tabletext"));
    EXPECT_TRUE(Content("&nodename=nosuch").starts_with("<h1>Daily statistics for page nosuch</h1>"));

    // The group news holds the news.sport hits: two of every three.
    const std::string group = Content("&nodename=news&group=1");
    EXPECT_TRUE(group.starts_with("<h1>Daily statistics for group news</h1>"));
    EXPECT_EQ(Column(CellTexts(group, "tabletext"), 0), (std::vector<std::string>{"6", "2", "0", "1", "3", "2", "4"}));
    EXPECT_EQ(test::BarWidths(group), (std::vector<int>{400, 133, 0, 67, 200, 133, 267}));
    EXPECT_EQ(Column(CellTexts(Content("&nodename=index"), "tabletext"), 0),
              (std::vector<std::string>{"2", "0", "0", "0", "1", "1", "1"}));

    // The group's own node has no hits: zero bars and no shares.
    const std::string alone = Content("&nodename=news");
    EXPECT_EQ(CellTexts(alone, "tabletext"),
              (std::vector<std::string>{"0", "&nbsp", "0", "&nbsp", "0", "&nbsp", "0", "&nbsp", "0", "&nbsp", "0",
                                        "&nbsp", "0", "&nbsp"}));
    EXPECT_EQ(test::BarWidths(alone), std::vector<int>(7, 0));
    EXPECT_NE(std::string::npos, alone.find("<td style=\"border-left:1px solid #CFCFCF; border-top:1px solid #CFCFCF;\" "
                                            "align=center><p class=\"tabletext\">&nbsp</p></td>"));
}

TEST(WeeksPageEmpty, SevenZeroRows) {
    const TReportSite site(test::TReportFixture::Empty);
    const std::string page = test::ContentArea(site.Get("id=site&page=weeks&group=1").Body);
    EXPECT_EQ(test::BarWidths(page), std::vector<int>(7, 0));
    const std::vector<std::string> cells = CellTexts(page, "tabletext");
    ASSERT_EQ(14u, cells.size());
    for (size_t i = 0; i < cells.size(); ++i) EXPECT_EQ(i % 2 == 0 ? "0" : "&nbsp", cells[i]);
    // No node yet: both lists are empty.
    EXPECT_EQ(std::string::npos, page.find("<option"));
}

}  // namespace
}  // namespace tlvx
