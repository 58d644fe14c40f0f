// The visitor list over sites whose visitors are known: the page sizes and
// periods offered as the list and the history grow, the order of each sort
// mode, the period filter, both footers, and the address, region and
// organisation of a visitor.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "model/ipv4.h"
#include "platform/clock.h"
#include "store/storage_factory.h"
#include "webstat/geo_collection.h"
#include "webstat/testing/page_parts.h"
#include "webstat/testing/report_fixtures.h"
#include "webstat/testing/report_site.h"

namespace tlvx {
namespace {

using test::TPlannedHit;
using test::TReportSite;

// Today of the report requests, at midnight.
double Today() { return EncodeDateTime(2026, 12, 8); }

TPlannedHit Hit(uint32_t visitor, const std::string& address, double when) {
    TPlannedHit hit;
    hit.When = when;
    hit.Visitor = visitor;
    hit.Node = "index";
    hit.Address = address;
    return hit;
}

// The page-size or period choices after a heading: each choice's text, the
// current one (plain text, no link) marked with a leading "*".
std::vector<std::string> Choices(const std::string& page, const std::string& heading) {
    const size_t from = page.find("<h2>" + heading);
    const size_t to = page.find("</h2>", from);
    std::vector<std::string> choices;
    constexpr std::string_view open = "<span class=\"navig2\">";
    for (size_t at = page.find(open, from); at < to; at = page.find(open, at)) {
        at += open.size();
        std::string text = page.substr(at, page.find("</span>", at) - at);
        if (text.starts_with("<a ")) text = text.substr(text.find('>') + 1, text.find("</a>") - text.find('>') - 1);
        else text = "*" + text;
        choices.push_back(text);
    }
    return choices;
}

// The rows of the first table (before the history) or of the second, each
// as its seven cell texts.
using TRows = std::vector<std::vector<std::string>>;
TRows Rows(const std::string& page, bool history) {
    const size_t split = page.find("<h2>History of visits:");
    const std::string part = history ? page.substr(split) : page.substr(0, split);
    const std::vector<std::string> cells = test::CellTexts(part, "tabletext");
    TRows rows;
    for (size_t i = 0; i + 7 <= cells.size(); i += 7) rows.emplace_back(cells.begin() + long(i), cells.begin() + long(i + 7));
    return rows;
}
std::vector<std::string> Addresses(const TRows& rows) {
    std::vector<std::string> addresses;
    for (const auto& row : rows) addresses.push_back(row[0]);
    return addresses;
}

std::string Footer(const std::string& page, const std::string& caption) {
    const size_t at = page.find(">" + caption + " - ");
    if (at == std::string::npos) return "";
    const size_t start = at + caption.size() + 4;
    return page.substr(start, page.find("</td>", start) - start);
}

// count visitors with one hit each, the first on the history's first day,
// the others today.
std::vector<TPlannedHit> CrowdPlan(uint32_t count, int historyDays) {
    std::vector<TPlannedHit> hits;
    for (uint32_t v = 0; v < count; ++v) {
        const double when = v == 0 ? Today() - (historyDays - 1) + 0.5 : Today() + (600.0 + v) / 1440;
        hits.push_back(Hit(v, "", when));
    }
    return hits;
}

TEST(VisitorsPage, ChoicesFollowTheListAndTheHistory) {
    struct TCase {
        uint32_t Visitors;
        int Days;
        std::string Show;
        std::vector<std::string> Sizes, Periods;
        size_t Rows;
    };
    const std::vector<TCase> cases = {
        {10, 1, "", {"*10"}, {"*Today"}, 10},
        {11, 2, "", {"*10", "25"}, {"*Today", "Yesterday"}, 10},
        {12, 5, "25", {"10", "*25"}, {"*Today", "Yesterday"}, 12},
        {25, 7, "25", {"10", "*25"}, {"*Today", "Yesterday", "7 days"}, 25},
        {26, 30, "50", {"10", "25", "*50"}, {"*Today", "Yesterday", "7 days", "30 days"}, 26},
        {50, 90, "100", {"10", "25", "50"}, {"*Today", "Yesterday", "7 days", "30 days", "90 days"}, 50},
        {51, 90, "100", {"10", "25", "50", "*100"}, {"*Today", "Yesterday", "7 days", "30 days", "90 days"}, 51},
    };
    for (const TCase& c : cases) {
        SCOPED_TRACE(std::to_string(c.Visitors) + " visitors, " + std::to_string(c.Days) + " days");
        const TReportSite site(test::TPlannedDatabase(CrowdPlan(c.Visitors, c.Days)).Path());
        const std::string page = test::ContentArea(site.Get("id=site&page=visitors&show=" + c.Show).Body);
        EXPECT_EQ(c.Sizes, Choices(page, "The most active visitors:"));
        EXPECT_EQ(c.Periods, Choices(page, "History of visits:"));
        EXPECT_EQ(c.Rows, Rows(page, false).size());
        EXPECT_EQ(std::to_string(c.Visitors), Footer(page, "Total records"));
        // Today's visitors: all but the first, who came on the first day.
        EXPECT_EQ(std::to_string(c.Days == 1 ? c.Visitors : c.Visitors - 1), Footer(page, "Total records by period"));
    }
}

// Four visitors (hits, site views, first and last visit):
//   A 192.168.1.200  5 hits, 4 views, today - 3 .. today 09:02
//   B 10.0.0.1       4 hits, 1 view,  yesterday 08:00 .. 08:06
//   C 200.1.2.3      2 hits, 2 views, today - 6 .. today - 5
//   D 128.0.0.1      3 hits, 3 views, today - 2 .. yesterday 12:00
std::vector<TPlannedHit> FourPlan() {
    const double d = Today(), h = 1.0 / 24, m = 1.0 / 1440;
    const std::string a = "192.168.1.200", b = "10.0.0.1", c = "200.1.2.3", e = "128.0.0.1";
    return {Hit(2, c, d - 6 + 12 * h),        Hit(2, c, d - 5 + 12 * h),        Hit(0, a, d - 3 + 10 * h),
            Hit(0, a, d - 2 + 10 * h),        Hit(3, e, d - 2 + 2 * h),         Hit(3, e, d - 2 + 20 * h),
            Hit(1, b, d - 1 + 8 * h),         Hit(1, b, d - 1 + 8 * h + 2 * m), Hit(1, b, d - 1 + 8 * h + 4 * m),
            Hit(1, b, d - 1 + 8 * h + 6 * m), Hit(0, a, d - 1 + 10 * h),        Hit(3, e, d - 1 + 12 * h),
            Hit(0, a, d + 9 * h),             Hit(0, a, d + 9 * h + 2 * m)};
}

// A geo store with an area for 192.168.0.0/16 and one with markup for
// 200.0.0.0/8.
void MakeGeoDatabase(const std::string& file) {
    auto storage = StorageFactory().OpenStorage(0, 0, file, "", "class={6E27C938-CE61-4829-AB29-1DC38028DF73}");
    auto transaction = storage->StartTransaction();
    auto geo = TGeoCollection::InitNew(transaction->OpenRootAtom());
    const auto add = [&](const char* network, const char* mask, const char* area) {
        TNetDescription entry;
        entry.Area = area;
        geo->AddNetwork(uint32_t(ParseIPv4(network)), uint32_t(ParseIPv4(mask)), entry);
    };
    add("192.168.0.0", "255.255.0.0", "Hometown");
    add("200.0.0.0", "255.0.0.0", "<i>Far</i>");
    geo.reset();
    transaction->Commit();
}

class VisitorsOfFour : public ::testing::Test {
protected:
    void SetUp() override {
        const std::string geo = site_.Dir() + "/geo.orv";
        MakeGeoDatabase(geo);
        std::string conf = site_.StandardConf();
        conf.insert(conf.find("</Base>"), "GeoDataBaseName=" + geo +
                                              "\nVIPNetwork=192.168.0.0/16,Home net\nVIPNetwork=10.0.0.0/8,<b>lan</b>\n"
                                              "VIPNetwork=0.0.0.0/0,Internet\n");
        site_.WriteConf(conf);
    }

    std::string Content(const std::string& query) {
        return test::ContentArea(site_.Get("id=site&page=visitors" + query).Body);
    }

    static const test::TPlannedDatabase& Database() {
        static const test::TPlannedDatabase database(FourPlan());
        return database;
    }
    TReportSite site_{Database().Path()};
};

using TAddresses = std::vector<std::string>;

TEST_F(VisitorsOfFour, EachSortModeOrdersTheFirstTable) {
    const TAddresses byViews{"192.168.1.200", "128.0.0.1", "200.1.2.3", "10.0.0.1"};
    EXPECT_EQ(Addresses(Rows(Content(""), false)), byViews);
    EXPECT_EQ(Addresses(Rows(Content("&sort=5"), false)), byViews);
    EXPECT_EQ(Addresses(Rows(Content("&sort=1"), false)),
              (TAddresses{"10.0.0.1", "128.0.0.1", "192.168.1.200", "200.1.2.3"}));
    EXPECT_EQ(Addresses(Rows(Content("&sort=2"), false)),
              (TAddresses{"192.168.1.200", "128.0.0.1", "10.0.0.1", "200.1.2.3"}));
    EXPECT_EQ(Addresses(Rows(Content("&sort=3"), false)),
              (TAddresses{"200.1.2.3", "192.168.1.200", "128.0.0.1", "10.0.0.1"}));
    EXPECT_EQ(Addresses(Rows(Content("&sort=4"), false)),
              (TAddresses{"192.168.1.200", "10.0.0.1", "128.0.0.1", "200.1.2.3"}));
    for (const char* bad : {"0", "6", "-1", "x", "4x"}) EXPECT_EQ(Addresses(Rows(Content(std::string("&sort=") + bad), false)), byViews) << bad;
}

TEST_F(VisitorsOfFour, RowsShowAddressRegionOrganisationAndVisits) {
    const TRows rows = Rows(Content("&sort=1"), false);
    ASSERT_EQ(4u, rows.size());
    EXPECT_EQ(rows[0], (std::vector<std::string>{"10.0.0.1", "?", "&lt;B&gt;LAN&lt;/B&gt;", "4", "1", "07.12.26",
                                                 "07.12.26:08.06.00"}));
    EXPECT_EQ(rows[1], (std::vector<std::string>{"128.0.0.1", "?", "INTERNET", "3", "3", "06.12.26",
                                                 "07.12.26:12.00.00"}));
    EXPECT_EQ(rows[2], (std::vector<std::string>{"192.168.1.200", "Hometown", "HOME NET", "5", "4", "05.12.26",
                                                 "08.12.26:09.02.00"}));
    EXPECT_EQ(rows[3], (std::vector<std::string>{"200.1.2.3", "&lt;i&gt;Far&lt;/i&gt;", "INTERNET", "2", "2", "02.12.26",
                                                 "03.12.26:12.00.00"}));
    EXPECT_EQ("4", Footer(Content(""), "Total records"));

    // Without the geo database every region is "?".
    site_.WriteConf(site_.StandardConf());
    for (const auto& row : Rows(Content(""), false)) EXPECT_EQ("?", row[1]);
    for (const auto& row : Rows(Content(""), false)) EXPECT_EQ("?", row[2]);
}

TEST_F(VisitorsOfFour, PeriodsFilterTheHistoryNewestFirst) {
    struct TCase {
        const char* Period;
        TAddresses Shown;
    };
    const std::vector<TCase> cases = {{"", {"192.168.1.200"}},
                                      {"today", {"192.168.1.200"}},
                                      {"soon", {"192.168.1.200"}},
                                      {"yest", {"128.0.0.1", "10.0.0.1"}},
                                      {"7", {"192.168.1.200", "128.0.0.1", "10.0.0.1", "200.1.2.3"}},
                                      {"30", {"192.168.1.200", "128.0.0.1", "10.0.0.1", "200.1.2.3"}}};
    for (const TCase& c : cases) {
        const std::string page = Content(std::string("&sort=1&period=") + c.Period);
        EXPECT_EQ(Addresses(Rows(page, true)), c.Shown) << c.Period;
        EXPECT_EQ(std::to_string(c.Shown.size()), Footer(page, "Total records by period")) << c.Period;
        // The first table keeps its own order whatever the period.
        EXPECT_EQ(Addresses(Rows(page, false)).front(), "10.0.0.1") << c.Period;
    }
    // Seven days of history: no 30 days to offer.
    EXPECT_EQ(Choices(Content("&period=yest"), "History of visits:"),
              (std::vector<std::string>{"Today", "*Yesterday", "7 days"}));
}

TEST_F(VisitorsOfFour, LinksRepeatTheQueryEscaped) {
    const std::string page = Content("&sort=1&show=25&period=%22x");
    EXPECT_NE(std::string::npos,
              page.find("<a class=\"navig2\" href=\"/cgi-bin/tlvxstat?page=visitors&id=site&show=25&period=%22x&sort=4\">"
                        "Hits</a>"));
    EXPECT_NE(std::string::npos,
              page.find("<a class=\"navig2\" href=\"/cgi-bin/tlvxstat?show=25&page=visitors&id=site&period=yest\">"
                        "Yesterday</a>"));
    EXPECT_NE(std::string::npos,
              page.find("<h2>The most active visitors:&nbsp;&nbsp;\r\n<span class=\"navig2\">"
                        "<a class=\"navig2\" href=\"/cgi-bin/tlvxstat?sort=1&period=%22x&page=visitors&id=site&show=10\">"
                        "10</a></span>\r\n</h2>\r\n<br>"));
    EXPECT_EQ(std::string::npos, page.find("\"x"));
}

}  // namespace
}  // namespace tlvx
