// REFS over sites whose every source and day is known (known_site.h: by
// their latest transition SEARCH today (2), YESTERDAY yesterday (4 over 8
// days), UNKNOWN 3 days ago (3, the hits without a referrer), RECENT 13 days
// ago (2), OLD 14 days ago (2), FIRST on the first day (1)): the bytes of the
// page, the order, figures, shares and bars of each compare choice, the
// time diagram's widths and state colours, the detail report of one
// source, and days the clock got wrong.
#include <gtest/gtest.h>

#include <cmath>
#include <string>
#include <vector>

#include "platform/format_date_time.h"
#include "webstat/testing/golden_file.h"
#include "webstat/testing/known_site.h"
#include "webstat/testing/table_rows.h"

namespace tlvx {
namespace {

using test::TKnownReportSite;
using test::TKnownSite;
using test::Column;
using test::TTableRow;

const TKnownReportSite& KnownSourcesSite() {
    static const TKnownReportSite site(test::KnownPagesAndSources());
    return site;
}

// The sources' table without its two head rows; the time diagram without
// its head, ruler and legend.
std::vector<TTableRow> MainRows(const std::string& content) { return test::BodyRows(content, "", 2); }
std::vector<TTableRow> TimeRows(const std::string& content) {
    return test::BodyRows(content, "Referral time diagram", 1, 2);
}

// Each row's bar: the width of its table and its cell's colour.
std::vector<std::string> Bars(const std::vector<TTableRow>& rows) {
    std::vector<std::string> bars;
    for (const TTableRow& row : rows) bars.push_back(row.Attr("table", "width") + " " + row.Attr("td", "bgcolor", 9));
    return bars;
}

std::string Day(int32_t offset) { return FormatDateTime("dd.mm.yy", std::trunc(test::FixtureNow()) + offset); }

bool Has(const std::string& content, const std::string& what) { return content.find(what) != std::string::npos; }

TEST(RefsPage, GoldenBytes) {
    test::ExpectGolden("refs_known.html", KnownSourcesSite().Content("page=refs"));
    test::ExpectGolden("refs_known_perday_first.html",
                       KnownSourcesSite().Content("page=refs&compare=2&timesort=first&nodename=index"));
    test::ExpectGolden("refs_known_detail.html",
                       KnownSourcesSite().Content("page=refs&podr=1&refname=YESTERDAY.EXAMPLE&compare=4"));
}

TEST(RefsPage, EachCompareChoiceOrdersFiguresSharesAndBars) {
    const TKnownReportSite& site = KnownSourcesSite();
    // Transitions, most first; the head shows visitors as the figure.
    std::vector<TTableRow> rows = MainRows(site.Content("page=refs"));
    EXPECT_EQ((std::vector<std::string>{"YESTERDAY.EXAMPLE", "UNKNOWN", "OLD.EXAMPLE", "RECENT.EXAMPLE",
                                        "SEARCH.EXAMPLE", "FIRST.EXAMPLE"}),
              Column(rows, 0));
    EXPECT_EQ((std::vector<std::string>{"4", "3", "2", "2", "2", "1"}), Column(rows, 3));
    // A day each: 4 over the 8 days from first to last, 3 on one day...
    EXPECT_EQ((std::vector<std::string>{"0.50", "3.00", "2.00", "2.00", "2.00", "1.00"}), Column(rows, 4));
    // ... of all 14 transitions.
    EXPECT_EQ((std::vector<std::string>{"28.57", "21.43", "14.29", "14.29", "14.29", "7.14"}), Column(rows, 5));
    // Visitors the sources brought, of the site's 9.
    EXPECT_EQ((std::vector<std::string>{"3", "3", "1", "1", "0", "1"}), Column(rows, 6));
    EXPECT_EQ((std::vector<std::string>{"33.33", "33.33", "11.11", "11.11", "0.00", "11.11"}), Column(rows, 7));
    EXPECT_EQ((std::vector<std::string>{"200 #A45080", "150 #A45080", "100 #A45080", "100 #A45080", "100 #A45080",
                                        "50 #A45080"}),
              Bars(rows));

    // Per day, most first, bars at the 3.00 of UNKNOWN.
    rows = MainRows(site.Content("page=refs&compare=2"));
    EXPECT_EQ("UNKNOWN", Column(rows, 0).front());
    EXPECT_EQ("YESTERDAY.EXAMPLE", Column(rows, 0).back());
    EXPECT_EQ((std::vector<std::string>{"200 #9A66B5", "133 #9A66B5", "133 #9A66B5", "133 #9A66B5", "67 #9A66B5",
                                        "33 #9A66B5"}),
              Bars(rows));

    // Hits and site views of each source against the root's own.
    rows = MainRows(site.Content("page=refs&compare=4"));
    EXPECT_EQ((std::vector<std::string>{"4", "3", "2", "2", "2", "1"}), Column(rows, 6));
    EXPECT_EQ("28.57", Column(rows, 7).front());
    EXPECT_EQ("200 #63A795", Bars(rows).front());
    rows = MainRows(site.Content("page=refs&compare=5"));
    EXPECT_EQ("556F8E", Bars(rows).front().substr(Bars(rows).front().size() - 6));
    // Audience, and an unknown value that compares visitors too with a
    // bar of no colour.
    EXPECT_EQ("UNKNOWN", Column(MainRows(site.Content("page=refs&compare=3")), 0).front());
    rows = MainRows(site.Content("page=refs&compare=9"));
    EXPECT_EQ("UNKNOWN", Column(rows, 0).front());
    EXPECT_EQ("200 #", Bars(rows).front());
}

TEST(RefsPage, ChoicesTitleAndNode) {
    const TKnownReportSite& site = KnownSourcesSite();
    std::string content = site.Content("page=refs");
    EXPECT_TRUE(Has(content, "Diagram (Transitions : <span class=\"navig2\"><a class=\"navig2\" "
                             "href=\"/cgi-bin/tlvxstat?id=site&page=refs&compare=2&node=\">"
                             "Transitions &nbspper&nbsp day</a></span> : "));
    EXPECT_TRUE(Has(content, "<h1>Statistics of transitions<br>For whole site</h1>\r\n<table"));
    // Every choice is a link under an unknown value.
    EXPECT_TRUE(Has(site.Content("page=refs&compare=x"), "page=refs&compare=1&node=\">Transitions</a>"));

    // A page's sources, with the way back to the whole site.
    content = site.Content("page=refs&node=news.sport&compare=3");
    EXPECT_TRUE(Has(content, "<h1>Statistics of transitions<br>For page: news.sport</h1>\r\n"
                             "<p class=\"navig2\"><a class=\"navig2\" href=\"/cgi-bin/tlvxstat?id=site&page=refs"
                             "&compare=3\">For whole site</a></p>"));
    EXPECT_EQ((std::vector<std::string>{"UNKNOWN"}), Column(MainRows(content), 0));
    EXPECT_EQ((std::vector<std::string>{"100.00"}), Column(MainRows(content), 7));
    // An unknown node: the whole site's sources, and its links keep the
    // value asked for.
    content = site.Content("page=refs&node=nosuch&compare=2");
    EXPECT_TRUE(Has(content, "For whole site</h1>"));
    EXPECT_TRUE(Has(content, "&page=refs&compare=2\">For whole site</a>"));
    EXPECT_TRUE(Has(content, "page=refs&podr=1&refname=UNKNOWN&node=nosuch\""));
    EXPECT_EQ(6u, MainRows(content).size());
}

TEST(RefsPage, TimeDiagramWidthsStatesAndOrder) {
    std::vector<TTableRow> rows = TimeRows(KnownSourcesSite().Content("page=refs"));
    EXPECT_EQ((std::vector<std::string>{"FIRST.EXAMPLE", "OLD.EXAMPLE", "RECENT.EXAMPLE", "SEARCH.EXAMPLE",
                                        "UNKNOWN", "YESTERDAY.EXAMPLE"}),
              Column(rows, 0));
    EXPECT_EQ((std::vector<std::string>{Day(-19), Day(-14), Day(-13), Day(0), Day(-3), Day(-8)}), Column(rows, 1));
    EXPECT_EQ((std::vector<std::string>{Day(-19), Day(-14), Day(-13), Day(0), Day(-3), Day(-1)}), Column(rows, 4));
    std::vector<std::string> widths, states;
    for (const TTableRow& row : rows) {
        // The cells of the diagram's inner table, then the state swatch.
        widths.push_back(row.Attr("td", "width", 3) + "+" + row.Attr("td", "width", 4) + "+" + row.Attr("td", "width", 5));
        states.push_back(row.Attr("td", "bgcolor", 7));
    }
    // 20 pixels a day over 20 days; every row fills the 400.
    EXPECT_EQ((std::vector<std::string>{"0+20+380", "100+20+280", "120+20+260", "380+20+0", "320+20+60", "220+160+20"}),
              widths);
    // One transition: white whatever its days; then yesterday or today,
    // 13 days ago (within two weeks), 14 days ago.
    EXPECT_EQ((std::vector<std::string>{"#FFFFFF", "#C7593B", "#EFE5A3", "#5AA27A", "#EFE5A3", "#5AA27A"}), states);

    rows = TimeRows(KnownSourcesSite().Content("page=refs&timesort=first"));
    EXPECT_EQ("FIRST.EXAMPLE", Column(rows, 0).front());
    EXPECT_EQ("SEARCH.EXAMPLE", Column(rows, 0).back());
    rows = TimeRows(KnownSourcesSite().Content("page=refs&timesort=last"));
    EXPECT_EQ("SEARCH.EXAMPLE", Column(rows, 0).front());
    EXPECT_EQ("FIRST.EXAMPLE", Column(rows, 0).back());
}

TEST(RefsPage, DetailReportOfAKnownAndAnUnknownSource) {
    const TKnownReportSite& site = KnownSourcesSite();
    std::string content = site.Content("page=refs&podr=1&refname=OLD.EXAMPLE&compare=4");
    EXPECT_TRUE(Has(content, "<h1>Referral detailed statistics<br>OLD.EXAMPLE</h1>"));
    EXPECT_TRUE(Has(content, "href=\"/cgi-bin/tlvxstat?id=site&page=refs&compare=4&node=\">All referrals</a>"));
    // Its one row, measured against every source: 2 of 14 transitions,
    // 2 of the root's 14 hits, the bar at the largest hits (4).
    std::vector<TTableRow> rows = MainRows(content);
    ASSERT_EQ(1u, rows.size());
    EXPECT_EQ((std::vector<std::string>{"OLD.EXAMPLE", "&nbsp;&raquo&nbsp;", "&nbsp;&raquo&nbsp;", "2", "2.00",
                                        "14.29", "2", "14.29", ""}),
              rows[0].Cells);
    EXPECT_EQ("100 #63A795", Bars(rows).front());
    rows = TimeRows(content);
    ASSERT_EQ(1u, rows.size());
    EXPECT_EQ("100", rows[0].Attr("td", "width", 3));
    EXPECT_EQ("20", rows[0].Attr("td", "width", 4));
    EXPECT_FALSE(Has(content, "<form"));

    // A source the page never had: a notice and the way back only.
    content = site.Content("page=refs&podr=1&refname=NOPE.EXAMPLE&node=index");
    EXPECT_TRUE(Has(content, "<h1>Referral detailed statistics<br>NOPE.EXAMPLE</h1>"));
    EXPECT_TRUE(Has(content, "For page: index</p>"));
    EXPECT_TRUE(Has(content, "&page=refs&compare=&node=index\">All referrals</a>"));
    EXPECT_FALSE(Has(content, "<table"));
    // Without podr the name is ignored: the full list.
    EXPECT_EQ(6u, MainRows(site.Content("page=refs&refname=OLD.EXAMPLE")).size());
}

// Sources used less than once a day: no bar at all under compare=2.
TEST(RefsPage, PerDayBelowOneGivesNoBars) {
    TKnownSite known;
    known.StartDay = -12;
    known.Hits = {{"a", -10, "SLOW.EXAMPLE"}, {"b", -6, "SLOWER.EXAMPLE"}, {"b", -2, "SLOWER.EXAMPLE"},
                  {"a", -1, "SLOW.EXAMPLE"}};
    const std::vector<TTableRow> rows = MainRows(TKnownReportSite(known).Content("page=refs&compare=2"));
    EXPECT_EQ((std::vector<std::string>{"0.40", "0.20"}), Column(rows, 4));
    EXPECT_EQ((std::vector<std::string>{"0 #9A66B5", "0 #9A66B5"}), Bars(rows));
}

// A source first used after today gets no per-day figure; one whose latest
// transition lies before its first (the clock went back) counts one day,
// and neither draws a negative width. No visitor at all leaves the
// figure's shares blank.
TEST(RefsPage, DaysFromAClockThatWentWrong) {
    TKnownSite known;
    known.StartDay = -10;
    known.Hits = {{"p", 3, "AHEAD.EXAMPLE", false}, {"p", -1, "BACK.EXAMPLE", false},
                  {"p", -5, "BACK.EXAMPLE", false}};
    const std::string content = TKnownReportSite(known).Content("page=refs");
    const std::vector<TTableRow> rows = MainRows(content);
    EXPECT_EQ((std::vector<std::string>{"BACK.EXAMPLE", "AHEAD.EXAMPLE"}), Column(rows, 0));
    EXPECT_EQ((std::vector<std::string>{"2.00", "&nbsp;"}), Column(rows, 4));
    EXPECT_EQ((std::vector<std::string>{"&nbsp;", "&nbsp;"}), Column(rows, 7));
    for (const TTableRow& row : TimeRows(content))
        for (size_t i = 3; i <= 5; ++i) EXPECT_GE(std::stoi(row.Attr("td", "width", i)), 0);

    TKnownSite empty;
    const std::string none = TKnownReportSite(empty).Content("page=refs");
    EXPECT_EQ(2u, test::TableRows(none).size());                          // the head's two rows
    EXPECT_EQ(3u, test::TableRows(none, "Referral time diagram").size());  // head, ruler, legend
}

}  // namespace
}  // namespace tlvx
