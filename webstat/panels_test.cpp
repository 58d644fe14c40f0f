// The panels every page shows, against the fixtures' plans of hits.
#include "webstat/panels.h"

#include <gtest/gtest.h>
#include <stdlib.h>
#include <time.h>

#include <cmath>
#include <map>
#include <optional>

#include "platform/clock.h"
#include "platform/format_float.h"
#include "platform/html_escape.h"
#include "webstat/server_values.h"
#include "webstat/testing/page_parts.h"
#include "webstat/testing/report_site.h"

namespace tlvx {
namespace {

using test::TReportFixture;
using test::TReportSite;

// The cells of the summary panel as the plan and the database give them.
std::vector<std::string> ExpectedCells(TReportFixture fixture, const std::string& database) {
    const double today = std::trunc(test::FixtureNow());
    std::map<double, int64_t> hits;
    const std::vector<test::TPlannedHit> plan = test::FixtureHits(fixture, test::FixtureNow());
    for (const test::TPlannedHit& hit : plan) ++hits[std::trunc(hit.When)];

    Ref<ICounter2> counter;
    OpenCounter2(database, counter, TSkinStreams{}, true, "");
    EXPECT_TRUE(counter);
    const TCounterSettings settings = counter->GetSettings();
    Ref<INodeInfo> root = counter->GetNodes()->GetRoot()->GetInfo();
    // Visitors counted with cookies and without agree with the site's total.
    EXPECT_EQ(root->GetVisitors(), settings.TotalVisitors);
    const auto growth = [&](double first, double last) {
        return FormatFloat("+0.0;-0.0;0.0", (last - first) / 6);
    };
    const auto row = [&](std::string label, int64_t total, int32_t (INodeInfo::*day)(double, double)) {
        const double yesterday = today - 1;
        return std::vector<std::string>{label, std::to_string(total),
                                        std::to_string(((*root).*day)(yesterday, yesterday)),
                                        std::to_string(((*root).*day)(today, today)),
                                        growth(((*root).*day)(today - 7, today - 7), ((*root).*day)(yesterday, yesterday))};
    };
    std::vector<std::string> cells{"Total", "Yesterday", "Today", "Week growth"};
    // Hits straight from the plan: every planned hit is one hit of the site.
    const std::vector<std::string> hitRow{"Hits", std::to_string(plan.size()), std::to_string(hits[today - 1]),
                                          std::to_string(hits[today]), growth(double(hits[today - 7]), double(hits[today - 1]))};
    EXPECT_EQ(row("Hits", settings.TotalHits, &INodeInfo::GetDayHits), hitRow);
    for (const auto& rowCells : {hitRow, row("Site&nbsp;views", settings.TotalVisits, &INodeInfo::GetDayVisits),
                                 row("Visitors", settings.TotalVisitors, &INodeInfo::GetDayVisitors)})
        cells.insert(cells.end(), rowCells.begin(), rowCells.end());
    cells.insert(cells.end(), {"Today's hot page", "Today's hot referral"});
    return cells;
}

TEST(SummaryPanel, FiguresAndGrowthAgainstThePlanOfHits) {
    bool someGrowth = false;
    for (TReportFixture fixture : {TReportFixture::OneDay, TReportFixture::FortyDays, TReportFixture::FourHundredDays}) {
        SCOPED_TRACE(test::FixtureName(fixture));
        const TReportSite site(fixture);
        std::vector<std::string> cells = test::SummaryCells(site.Get("id=site&page=weeks").Body);
        ASSERT_EQ(25u, cells.size());
        const std::vector<std::string> hot(cells.begin() + 21, cells.end());
        cells.resize(21);
        EXPECT_EQ(ExpectedCells(fixture, site.Database()), cells);
        for (size_t i : {8u, 13u, 18u}) someGrowth |= cells[i] != "0.0";
        // Today's burst on the markup page from the markup referrer: both
        // written as text.
        EXPECT_EQ((std::vector<std::string>{HtmlText(test::kMarkupNode),
                                            "&lt;XSSPROBE XSSATTR=2&gt;.EVIL.EXAMPLE", "11", "9"}),
                  hot);
    }
    EXPECT_TRUE(someGrowth);
}

TEST(SummaryPanel, EmptyDatabaseShowsZerosAndBlankHotCells) {
    const TReportSite site(TReportFixture::Empty);
    const std::vector<std::string> cells = test::SummaryCells(site.Get("id=site").Body);
    EXPECT_EQ((std::vector<std::string>{"Total", "Yesterday", "Today", "Week growth",
                                        "Hits", "0", "0", "0", "0.0",
                                        "Site&nbsp;views", "0", "0", "0", "0.0",
                                        "Visitors", "0", "0", "0", "0.0",
                                        "Today's hot page", "Today's hot referral", "&nbsp;", "&nbsp;", "0", "0"}),
              cells);
}

TEST(ServerTimePanel, DateWeekdayTimeAndOffsetOfTheClock) {
    TReportSite site(TReportFixture::OneDay);
    EXPECT_EQ("Now at server: 08.12.2026, Tuesday,<br> 15.00.00(GMT +03:00)",
              test::ServerTimeLine(site.Get("id=site").Body));
    site.SetClockBias(0);
    EXPECT_TRUE(test::ServerTimeLine(site.Get("id=site").Body).ends_with("(GMT +00:00)"));
    site.SetClockBias(330);
    EXPECT_TRUE(test::ServerTimeLine(site.Get("id=site").Body).ends_with("(GMT -05:30)"));
    // Only when the configuration asks for it.
    site.WriteConf("<Base:site>\nDataBaseName=" + site.Database() + "\n</Base>\n");
    EXPECT_EQ("", test::ServerTimeLine(site.Get("id=site").Body));
}

// The offset of the system's time zone, as the TZ variable sets it.
class SystemTimeZone : public ::testing::Test {
protected:
    void SetUp() override {
        const char* tz = getenv("TZ");
        saved_ = tz ? std::optional<std::string>(tz) : std::nullopt;
    }
    void TearDown() override {
        if (saved_) setenv("TZ", saved_->c_str(), 1);
        else unsetenv("TZ");
        tzset();
    }
    static std::string OffsetShown(const char* tz) {
        setenv("TZ", tz, 1);
        tzset();
        const std::string panel = BuildTimePanel(Clock().Now(), GetGmtOffset());
        const size_t at = panel.find("(GMT ");
        return at == std::string::npos ? "" : panel.substr(at, 12);
    }
    std::optional<std::string> saved_;
};

TEST_F(SystemTimeZone, OffsetOfUtcEastAndWest) {
    EXPECT_EQ("(GMT +00:00)", OffsetShown("UTC"));
    EXPECT_EQ("(GMT +03:00)", OffsetShown("XXX-3"));
    EXPECT_EQ("(GMT -05:30)", OffsetShown("XXX+5:30"));
}

TEST(LinksBlock, ConfiguredLinksCaptionsAndTheHostFallback) {
    TBaseConf conf;
    conf.SiteName = "<b>My site</b>";
    conf.SiteAdminMail = {"admin@my.example", ""};
    conf.WebMasterMail = {"web@my.example", "Webmaster"};
    EXPECT_EQ("\r\n<p class=\"links\"><b>My site</b></p>"
              "\r\n<p class=\"links\"><a target=_blank class=\"links\" href=\"http://MY.EXAMPLE\">MY.EXAMPLE</a></p>"
              "\r\n<p class=\"links\"><a class=\"links\" href=\"mailto:web@my.example\">Webmaster</a></p>"
              "\r\n<p class=\"links\"><a class=\"links\" href=\"mailto:admin@my.example\">admin@my.example</a></p>",
              BuildLinksBlock(true, conf, "MY.EXAMPLE", "http://ignored.example/"));
    conf.SiteURL = {"www.my.example", ""};
    EXPECT_NE(std::string::npos,
              BuildLinksBlock(true, conf, "MY.EXAMPLE", "").find("href=\"http://www.my.example\">www.my.example</a>"));

    // Without a configuration: the host of the request, escaped.
    EXPECT_EQ("\r\n<p class=\"links\">&lt;B&gt;.EXAMPLE</p>"
              "\r\n<p class=\"links\"><a target=_blank class=\"links\" href=\"http://&lt;B&gt;&#32;X.EXAMPLE\">"
              "&lt;B&gt;.EXAMPLE</a></p>",
              BuildLinksBlock(false, TBaseConf{}, "<B> X.EXAMPLE", "http://www.<b>.example/cgi-bin/tlvxstat"));
}

}  // namespace
}  // namespace tlvx
