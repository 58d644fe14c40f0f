// A real site's traffic through both programs under lighttpd: the page
// views of a public web site's access log (10,000 lines of May 2015, kept
// outside the repository) sent to tlvxcount at their logged times from
// their logged clients, browsers and referrers; then the report, asked on
// each day of the log, must show the views of that day and the day before,
// all views in its total, and the day's hot page and hot referral as the
// test counts them from the log itself; and, once the program has those
// pages, the views per hour of the day, per browser and per referring site.
//
// The log is found through $TLVX_REALLOG, or as shared/data/reallog/
// apache_logs.xz beside the checkout; without it the test is skipped. Each
// hit is a process of its own, so the test replays the log's first lines
// unless TLVX_REALLOG_LINES asks for more (see below).
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <filesystem>
#include <map>

#include "model/host.h"
#include "platform/html_escape.h"
#include "platform/testing/run_program.h"
#include "platform/text.h"
#include "webstat/page_table.h"
#include "webstat/testing/combined_log.h"
#include "webstat/testing/hostile_values.h"
#include "webstat/testing/page_parts.h"
#include "webstat/testing/report_server.h"
#include "webstat/testing/table_text.h"

namespace tlvx {
namespace {

namespace fs = std::filesystem;
using test::TLogLine;

std::string FindRealLog() {
    if (const char* path = std::getenv("TLVX_REALLOG"); path && *path) return fs::exists(path) ? path : "";
    for (const char* up : {"/..", "/../.."}) {
        const std::string path = std::string(TLVX_SOURCE_DIR) + up + "/shared/data/reallog/apache_logs.xz";
        if (fs::exists(path)) return fs::canonical(path).string();
    }
    return "";
}

// The site whose log it is: the Host of every request, so that its own
// pages are no outside referrer.
constexpr const char* kLoggedSite = "www.semicomplete.com";

struct TView {
    const TLogLine* Line;
    std::string Node;
};

// The most of a day's counts and the names that have it.
struct TDayTop {
    int32_t Count = 0;
    std::vector<std::string> Names;
};
TDayTop TopOf(const std::map<std::string, int32_t>& counts) {
    TDayTop top;
    for (const auto& [name, count] : counts) {
        if (count > top.Count) top = {count, {}};
        if (count == top.Count) top.Names.push_back(name);
    }
    return top;
}

// The browser kinds of the MAIN page's browser table, as its rows name
// them, by the marks of the user agents of the time.
std::string BrowserRow(std::string_view agent) {
    const std::string upper = UpperAscii(agent);
    if (const size_t msie = upper.find("MSIE"); msie != std::string::npos) {
        const size_t version = upper.find_first_not_of(' ', msie + 4);
        const char digit = version == std::string::npos ? ' ' : upper[version];
        return digit == '4' ? "MSIE 4" : digit == '5' ? "MSIE 5" : "MSIE 6";
    }
    if (upper.find("LYNX") != std::string::npos) return "Lynx";
    if (upper.find("OPERA") != std::string::npos) return "Opera";
    if (upper.find("MOZILLA") != std::string::npos) return "Mozilla";
    return "Others";
}

// The rows of a report page whose first cell with text is one of names,
// by that name, from that cell on (a legend row begins with its colour).
std::map<std::string, std::vector<std::string>> RowsNamed(const std::string& page,
                                                          const std::map<std::string, int32_t>& names) {
    std::map<std::string, std::vector<std::string>> rows;
    for (std::vector<std::string>& row : test::TableRows(page)) {
        const auto first = std::find_if(row.begin(), row.end(), [](const std::string& c) { return !c.empty(); });
        if (first != row.end() && names.count(*first) && !rows.count(*first))
            rows[*first] = std::vector<std::string>(first, row.end());
    }
    return rows;
}

bool HasPage(int32_t code) { return PageOfCode(code).Code == code && PageOfCode(code).Builder != nullptr; }

TEST(RealSiteLog, ReportsShowThePageViewsSentPerDayAndTheDaysTopPagesAndReferrers) {
    const std::string log = FindRealLog();
    if (log.empty())
        GTEST_SKIP() << "the real site's log is not here: set TLVX_REALLOG to apache_logs.xz, or put it in "
                        "shared/data/reallog/ beside the checkout";
    const test::TProgramRun unpacked = test::RunProgram({"/usr/bin/xz", "-dc", log}, {});
    ASSERT_EQ(0, unpacked.ExitCode) << unpacked.Err;
    const std::vector<TLogLine> lines = test::ParseCombinedLog(unpacked.Out);
    ASSERT_EQ(10000u, lines.size());

    // The first lines of the log, so that the run stays short: two days in
    // the release tree, the first day's first hours in the slower sanitizer
    // tree. TLVX_REALLOG_LINES sets another number, or "all".
#if defined(__SANITIZE_ADDRESS__)
    size_t replayed = 1000;
#else
    size_t replayed = 3000;
#endif
    if (const char* n = std::getenv("TLVX_REALLOG_LINES"); n && *n)
        replayed = std::string(n) == "all" ? lines.size() : std::stoul(n);
    std::vector<TView> views;
    for (size_t i = 0; i < std::min(replayed, lines.size()); ++i)
        if (std::string node = test::PageViewNode(lines[i]); !node.empty()) views.push_back({&lines[i], std::move(node)});
    ASSERT_FALSE(views.empty());

    // The test's own count from the log, per day: views, views per page,
    // outside referrals per referring host. The main page does not count
    // as a hot page, nor the site itself or no referrer as a referral.
    const std::string ownHost = NormaliseHost(std::string("http://") + kLoggedSite);
    std::map<int32_t, int32_t> perDay;
    std::map<std::string, int32_t> perHour, perBrowser, perSource;
    std::map<int32_t, std::map<std::string, int32_t>> pagesPerDay, referrersPerDay;
    for (const TView& view : views) {
        const auto day = int32_t(std::trunc(view.Line->When));
        ++perDay[day];
        const int hour = int(std::lround((view.Line->When - day) * 1440)) / 60;
        ++perHour[std::to_string(hour) + "-" + std::to_string(hour + 1)];
        ++perBrowser[BrowserRow(view.Line->Agent)];
        // A referrer on the site itself is the page before: no source.
        const std::string source = NormaliseHost(view.Line->Referrer);
        if (source != ownHost) ++perSource[source.empty() ? "UNKNOWN" : source];
        if (view.Node != "index") ++pagesPerDay[day][view.Node];
        if (const std::string host = NormaliseHost(view.Line->Referrer); !host.empty() && host != ownHost)
            ++referrersPerDay[day][host];
    }

    // GMT is local time here: the log's times are the counter's.
    test::TReportServer server(std::nullopt);
    server.SetHost(kLoggedSite);
    server.SetClock(std::trunc(views.front().Line->When), 0);
    ASSERT_TRUE(server.Install());
    // The logged referrer goes in the query, as the counter's page snippet
    // sends it; the cookie-less road, since a log keeps no cookies.
    for (const TView& view : views) {
        const TLogLine& line = *view.Line;
        server.SetClock(line.When, 0);
        std::string headers = "X-Forwarded-For: " + line.Client + "\r\n";
        if (!line.Agent.empty()) headers += "User-Agent: " + line.Agent + "\r\n";
        const std::string query = "id=site&nocookies=1&node=" + test::QueryArg(view.Node) +
                                  "&referer=" + test::QueryArg(line.Referrer);
        ASSERT_EQ(200, server.Count(query, headers).Status) << server.ErrorLog();
    }

    // The pages over the whole history, as far as the program has them: the
    // hours of the day, the browsers, the referral sources.
    server.SetClock(std::trunc(views.back().Line->When) + 0.999, 0);
    if (HasPage(5)) {
        const auto rows = RowsNamed(server.Report("id=site&page=times").Body, perHour);
        for (const auto& [hour, count] : perHour)
            EXPECT_TRUE(rows.count(hour) && rows.at(hour).size() > 1 && rows.at(hour)[1] == std::to_string(count))
                << "hour " << hour << ": " << count;
    }
    if (HasPage(0)) {
        const auto rows = RowsNamed(server.Report("id=site&page=main").Body, perBrowser);
        for (const auto& [browser, count] : perBrowser)
            EXPECT_TRUE(rows.count(browser) && rows.at(browser).size() > 1 && rows.at(browser)[1] == std::to_string(count))
                << browser << ": " << count << " shown: " << (rows.count(browser) ? rows.at(browser)[1] : "none");
    }
    if (HasPage(8)) {
        const std::string refs = server.Report("id=site&page=refs").Body;
        const auto rows = RowsNamed(refs, perSource);
        for (const auto& [source, count] : perSource)
            EXPECT_TRUE(rows.count(source) && rows.at(source).size() > 3 && rows.at(source)[3] == std::to_string(count))
                << source << ": " << count;
        EXPECT_TRUE(RowsNamed(refs, {{ownHost, 0}}).empty());
    }

    for (const auto& [day, count] : perDay) {
        SCOPED_TRACE("day " + std::to_string(day));
        server.SetClock(day + 0.999, 0);
        const std::vector<std::string> cells = test::SummaryCells(server.Report("id=site").Body);
        ASSERT_EQ(25u, cells.size());
        EXPECT_EQ(std::to_string(views.size()), cells[5]);  // total hits
        EXPECT_EQ(std::to_string(perDay.count(day - 1) ? perDay[day - 1] : 0), cells[6]);
        EXPECT_EQ(std::to_string(count), cells[7]);
        const TDayTop page = TopOf(pagesPerDay[day]);
        EXPECT_EQ(std::to_string(page.Count), cells[23]);
        EXPECT_NE(page.Names.end(), std::find_if(page.Names.begin(), page.Names.end(), [&](const std::string& n) {
                      return HtmlText(n) == cells[21];
                  })) << cells[21];
        const TDayTop referrer = TopOf(referrersPerDay[day]);
        EXPECT_EQ(std::to_string(referrer.Count), cells[24]);
        EXPECT_NE(referrer.Names.end(), std::find_if(referrer.Names.begin(), referrer.Names.end(),
                                                     [&](const std::string& n) { return HtmlText(n) == cells[22]; }))
            << cells[22];
    }
}

}  // namespace
}  // namespace tlvx
