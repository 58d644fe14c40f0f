// NODES over sites whose every page and day is known (known_site.h: index
// from the first day to today, about last seen 7 days ago, old 8;
// news.sport 3 days ago, its group news without hits of its own): the bytes of the
// page, the table's order, shares and bars under each sort, the pages left
// out of the table but kept in the time diagram, the diagram's widths and
// state colours, and days the clock got wrong.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <set>
#include <string>
#include <vector>

#include "platform/clock.h"
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

const TKnownReportSite& KnownPagesSite() {
    static const TKnownReportSite site(test::KnownPagesAndSources());
    return site;
}

// The pages table without its head; the time diagram without its head,
// ruler and legend.
std::vector<TTableRow> PagesRows(const std::string& content) { return test::BodyRows(content, "<h2>Pages:", 1); }
std::vector<TTableRow> DiagramRows(const std::string& content) {
    return test::BodyRows(content, "Time diagram of pages", 1, 2);
}

// The width and colour of each row's bar: the cell after the bar's
// 10-pixel spacer.
std::vector<std::string> Bars(const std::vector<TTableRow>& rows) {
    std::vector<std::string> bars;
    for (const TTableRow& row : rows) bars.push_back(row.Attr("td", "width", 7) + " " + row.Attr("td", "bgcolor", 7));
    return bars;
}

std::string Day(int32_t offset) {
    return "&nbsp;" + FormatDateTime("dd.mm.yy", std::trunc(test::FixtureNow()) + offset) + "&nbsp;";
}

TEST(NodesPage, GoldenBytes) {
    test::ExpectGolden("nodes_known.html", KnownPagesSite().Content("page=nodes"));
    test::ExpectGolden("nodes_known_visitors_last.html",
                       KnownPagesSite().Content("page=nodes&kind=visitors&dates=last"));
}

TEST(NodesPage, TableOrderSharesAndBarsUnderEachSort) {
    const TKnownReportSite& site = KnownPagesSite();
    // By path: the group news, without hits of its own, is not listed.
    std::vector<TTableRow> rows = PagesRows(site.Content("page=nodes"));
    EXPECT_EQ((std::vector<std::string>{"about", "index", "news.sport", "old"}), Column(rows, 0));
    EXPECT_EQ((std::vector<std::string>{"2", "8", "3", "1"}), Column(rows, 1));
    // Shares of the settings' 14 hits and 9 visitors.
    EXPECT_EQ((std::vector<std::string>{"14.3", "57.1", "21.4", "7.1"}), Column(rows, 2));
    EXPECT_EQ((std::vector<std::string>{"22.2", "33.3", "33.3", "11.1"}), Column(rows, 4));
    // Hit bars of 300 pixels at the 8 hits of index: 112.5 and 37.5
    // round to even.
    std::vector<std::string> widths = Bars(rows);
    EXPECT_EQ((std::vector<std::string>{"75 #63A795", "300 #63A795", "112 #63A795", "38 #63A795"}), widths);

    rows = PagesRows(site.Content("page=nodes&kind=hits"));
    EXPECT_EQ((std::vector<std::string>{"index", "news.sport", "about", "old"}), Column(rows, 0));

    // By visitors, most first; the bars in the visitors' colour at 3.
    rows = PagesRows(site.Content("page=nodes&kind=visitors"));
    const std::vector<std::string> visitors = Column(rows, 3);
    EXPECT_EQ((std::vector<std::string>{"3", "3", "2", "1"}), visitors);
    const std::vector<std::string> names = Column(rows, 0);
    EXPECT_EQ((std::vector<std::string>{"about", "old"}), std::vector<std::string>(names.begin() + 2, names.end()));
    widths = Bars(rows);
    EXPECT_EQ((std::vector<std::string>{"300 #E2908C", "300 #E2908C", "200 #E2908C", "100 #E2908C"}), widths);
}

// The choices of both sorts: the current one plain, the others links.
TEST(NodesPage, SortChoicesLinkEverythingButTheCurrentOne) {
    const TKnownReportSite& site = KnownPagesSite();
    const std::string hits = "<a class=\"navig2\" href=\"/cgi-bin/tlvxstat?id=site&page=nodes&kind=hits\">Hits</a>";
    const std::string visitors = "<a class=\"navig2\" href=\"/cgi-bin/tlvxstat?id=site&page=nodes&kind=visitors\">Visitors</a>";
    const std::string alphabet = "<a class=\"navig2\" href=\"/cgi-bin/tlvxstat?id=site&page=nodes\">Alphabet</a>";
    const auto has = [](const std::string& content, const std::string& what) {
        return content.find(what) != std::string::npos;
    };
    std::string content = site.Content("page=nodes");
    EXPECT_TRUE(has(content, "(" + hits + "&nbsp;:&nbsp;" + visitors + "&nbsp;:&nbsp;Alphabet)"));
    content = site.Content("page=nodes&kind=visitors");
    EXPECT_TRUE(has(content, "(" + hits + "&nbsp;:&nbsp;Visitors&nbsp;:&nbsp;" + alphabet + ")"));
    // An unknown kind (the comparison is exact) offers all three.
    content = site.Content("page=nodes&kind=Hits");
    EXPECT_TRUE(has(content, "(" + hits + "&nbsp;:&nbsp;" + visitors + "&nbsp;:&nbsp;" + alphabet + ")"));

    const std::string first = "<a class=\"navig2\" href=\"/cgi-bin/tlvxstat?id=site&page=nodes&dates=first\">The first</a>";
    content = site.Content("page=nodes&dates=last");
    EXPECT_TRUE(has(content, "<span class=\"navig2\">" + first + "</span>&nbsp;:&nbsp;<span class=\"navig2\">The last</span>"));
    content = site.Content("page=nodes&dates=x");
    EXPECT_TRUE(has(content, "<a class=\"navig2\" href=\"/cgi-bin/tlvxstat?id=site&page=nodes\">Alphabet</a>"));
}

TEST(NodesPage, TimeDiagramListsEveryPageWithWidthsAndStates) {
    const std::vector<TTableRow> rows = DiagramRows(KnownPagesSite().Content("page=nodes"));
    // news has no hits of its own but is in the diagram.
    EXPECT_EQ((std::vector<std::string>{"about", "index", "news", "news.sport", "old"}), Column(rows, 0));
    EXPECT_EQ((std::vector<std::string>{Day(-7), Day(-19), Day(-3), Day(-3), Day(-8)}), Column(rows, 1));
    EXPECT_EQ((std::vector<std::string>{Day(-7), Day(0), Day(-3), Day(-3), Day(-8)}), Column(rows, 4));
    // 20 pixels a day; index spans the whole history from its first day.
    std::vector<std::string> widths, states;
    for (const TTableRow& row : rows) {
        // The cells of the diagram's inner table, then the state swatch.
        widths.push_back(row.Attr("td", "width", 3) + "+" + row.Attr("td", "width", 4) + "+" + row.Attr("td", "width", 5));
        states.push_back(row.Attr("td", "bgcolor", 7));
    }
    EXPECT_EQ((std::vector<std::string>{"240+20+140", "0+400+0", "320+20+60", "320+20+60", "220+20+160"}), widths);
    // Seen today, 7 days ago (within the week), 8 days ago.
    EXPECT_EQ((std::vector<std::string>{"#EFE5A3", "#5AA27A", "#EFE5A3", "#EFE5A3", "#C7593B"}), states);

    const auto order = [](const std::string& query) { return Column(DiagramRows(KnownPagesSite().Content(query)), 0); };
    const std::vector<std::string> byFirst = order("page=nodes&dates=first");
    EXPECT_EQ((std::vector<std::string>{"index", "old", "about"}), std::vector<std::string>(byFirst.begin(), byFirst.begin() + 3));
    const std::vector<std::string> byLast = order("page=nodes&dates=last");
    EXPECT_EQ("index", byLast.front());
    EXPECT_EQ((std::vector<std::string>{"about", "old"}), std::vector<std::string>(byLast.end() - 2, byLast.end()));
}

TEST(NodesPage, SettingsWithoutTotalsShowZeroShares) {
    TKnownSite known = test::KnownPagesAndSources();
    known.TotalHits = 0;
    known.TotalVisitors = 0;
    const std::vector<TTableRow> rows = PagesRows(TKnownReportSite(known).Content("page=nodes"));
    EXPECT_EQ(std::vector<std::string>(4, "0.0"), Column(rows, 2));
    EXPECT_EQ(std::vector<std::string>(4, "0.0"), Column(rows, 4));
}

// A page whose latest record lies after today (the clock ran ahead while
// it was counted) shows its first day twice; pages without any hit leave a
// table with its head only and bars of nothing.
TEST(NodesPage, DaysFromAClockThatWentWrong) {
    TKnownSite known;
    known.StartDay = -9;
    known.Hits = {{"future", -2, ""}, {"future", 3, ""}, {"today", 0, ""}};
    const std::string content = TKnownReportSite(known).Content("page=nodes&dates=first");
    const std::vector<TTableRow> rows = DiagramRows(content);
    ASSERT_EQ(2u, rows.size());
    EXPECT_EQ("future", rows[0].Cells[0]);
    EXPECT_EQ(Day(-2), rows[0].Cells[1]);
    EXPECT_EQ(Day(-2), rows[0].Cells[4]);

    TKnownSite empty;
    empty.Hits = {};
    const std::string none = TKnownReportSite(empty).Content("page=nodes");
    EXPECT_EQ(1u, test::TableRows(none, "<h2>Pages:").size());
    EXPECT_EQ(3u, test::TableRows(none, "Time diagram of pages").size());  // head, ruler, legend
}

}  // namespace
}  // namespace tlvx
