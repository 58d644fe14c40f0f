// The calendar over a planned history that crosses a month end and a year
// end: every day's row against what was sent that day, for the site, a
// group, a page and a referral; the month links that stop at the history's
// ends; the monthly and 30-day views; the links that lead there; hostile
// values.
#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <vector>

#include "platform/clock.h"
#include "platform/format_date_time.h"
#include "platform/format_float.h"
#include "platform/html_escape.h"
#include "webstat/testing/hostile_values.h"
#include "webstat/testing/planned_history.h"
#include "webstat/testing/table_rows.h"

namespace tlvx {
namespace {

using test::TPlannedDay;

// 45 days up to Sunday 2027-01-10 15:00, the first on 2026-11-27.
constexpr int kDays = 45;
double Now() { return EncodeDateTime(2027, 1, 10, 15, 0); }
int64_t FirstDay() { return int64_t(Now()) - kDays + 1; }

TPlannedDay PlanOf(int d) {
    const int32_t hits = (d * 5) % 9;  // days without hits too
    const int32_t visitors = hits / 3 + (hits > 0);
    return {hits, (hits + 1) / 2, visitors, std::min(visitors, d % 3), hits % 4};
}

// What a subject of the calendar counts of a day's plan: the first hit of
// a day lands on "shop", the others on "shop.book".
enum class TSubject { Site, Group, Page, Referral, PageReferral };

std::vector<int32_t> Expected(TSubject subject, const TPlannedDay& p) {
    const auto book = [](int32_t n) { return std::max(0, n - 1); };
    switch (subject) {
        case TSubject::Site:
        case TSubject::Group: return {p.Hits, p.Views, p.Visitors};
        case TSubject::Page: return {book(p.Hits), book(p.Views), book(p.Visitors)};
        case TSubject::Referral: return {p.Referred};
        case TSubject::PageReferral: return {book(p.Referred)};
    }
    return {};
}

std::string QueryOf(TSubject subject) {
    switch (subject) {
        case TSubject::Site: return "page=calendar";
        case TSubject::Group: return "page=calendar&group=1&nodename=shop";
        case TSubject::Page: return "page=calendar&kind=page&nodename=shop.book";
        case TSubject::Referral: return "page=calendar&kind=ref&ref=SEARCH.EXAMPLE&node=";
        case TSubject::PageReferral: return "page=calendar&kind=ref&ref=SEARCH.EXAMPLE&node=shop.book";
    }
    return "";
}

class CalendarPage : public ::testing::Test {
protected:
    static test::TPlannedSite& Site() {
        static test::TPlannedSite* site = [] {
            std::vector<TPlannedDay> days;
            for (int d = 0; d < kDays; ++d) days.push_back(PlanOf(d));
            return new test::TPlannedSite(days, {}, Now());
        }();
        return *site;
    }
    static std::string Content(const std::string& query) { return Site().Content(query); }
};

// The rows of the day table under its period heading, less the head row.
std::vector<test::TTableRow> DayRows(const std::string& content, const std::string& heading) {
    std::vector<test::TTableRow> rows = test::TableRows(content, "<h2>" + heading + "</h2>");
    if (!rows.empty()) rows.erase(rows.begin());
    return rows;
}

TEST_F(CalendarPage, EveryDayRowHoldsWhatWasSentThatDay) {
    struct TMonthCase {
        const char* Arg;
        const char* Heading;
        int Year, Month, Length;
    };
    const TMonthCase months[] = {{"2026-11", "November 2026", 2026, 11, 30},
                                 {"2026-12", "December 2026", 2026, 12, 31},
                                 {"2027-01", "January 2027", 2027, 1, 31}};
    for (TSubject subject : {TSubject::Site, TSubject::Group, TSubject::Page, TSubject::Referral,
                             TSubject::PageReferral}) {
        for (const TMonthCase& m : months) {
            SCOPED_TRACE(QueryOf(subject) + " " + m.Arg);
            const std::string content = Content(QueryOf(subject) + "&month=" + m.Arg);
            const std::vector<test::TTableRow> rows = DayRows(content, m.Heading);
            ASSERT_EQ(rows.size(), size_t(m.Length) + 2);
            std::vector<int64_t> total(Expected(subject, {}).size());
            for (int k = 0; k < m.Length; ++k) {
                const test::TTableRow& row = rows[size_t(k)];
                const int64_t day = int64_t(EncodeDateTime(m.Year, m.Month, k + 1));
                const int d = int(day - FirstDay());
                EXPECT_EQ(row.Cells[0].substr(0, 10), FormatDateTime("dd.mm.yyyy", double(day)));
                EXPECT_EQ(row.Cells[0].find("today") != std::string::npos, day == int64_t(Now()));
                EXPECT_EQ(row.Attr("tr", "bgcolor") == "#FFF2CC", day == int64_t(Now()));
                const std::vector<int32_t> want = Expected(subject, d < kDays ? PlanOf(std::max(d, 0)) : TPlannedDay{});
                for (size_t c = 0; c < want.size(); ++c) {
                    // Days before the history hold nothing; days after today are blank.
                    const std::string cell = rows[size_t(k)].Cells[c + 1];
                    EXPECT_EQ(cell, d >= kDays ? "&nbsp;" : std::to_string(d < 0 ? 0 : want[c])) << k;
                    if (d >= 0 && d < kDays) total[c] += want[c];
                }
            }
            // No month covers the whole history: its visitors are not known.
            EXPECT_EQ(rows[size_t(m.Length)].Cells[0], "Total:");
            for (size_t c = 0; c < total.size(); ++c)
                EXPECT_EQ(rows[size_t(m.Length)].Cells[c + 1], c == 2 ? "---" : std::to_string(total[c]));

            // The month links stop at the history's first month and at now's.
            const std::string nav = content.substr(content.find("<p class=\"navig2\">", content.find(m.Heading)));
            const std::string line = nav.substr(0, nav.find("</p>"));
            EXPECT_EQ(line.find(">last month</a>") != std::string::npos, m.Month != 11) << line;
            EXPECT_EQ(line.find(">next month</a>") != std::string::npos, m.Month != 1) << line;
        }
    }
    // November: the average is over the four days from the history's start.
    const std::vector<test::TTableRow> november = DayRows(Content("page=calendar&month=2026-11"), "November 2026");
    int64_t hits = 0;
    for (int d = 0; d < 4; ++d) hits += PlanOf(d).Hits;
    EXPECT_EQ(november.back().Cells[0], "Average per day");
    EXPECT_EQ(november.back().Cells[1], FormatFloat("0.0", double(hits) / 4));
}

TEST_F(CalendarPage, MonthlyAndLastThirtyDaysViews) {
    const std::vector<test::TTableRow> months = DayRows(Content("page=calendar&period=all"), "monthly for all period");
    ASSERT_EQ(months.size(), 3u + 2);
    int64_t sums[3] = {};
    for (int d = 0; d < kDays; ++d) sums[d < 4 ? 0 : d < 35 ? 1 : 2] += PlanOf(d).Hits;
    const char* labels[] = {"November 2026", "December 2026", "January 2027"};
    for (size_t i = 0; i < 3; ++i) {
        EXPECT_EQ(months[i].Cells[0], labels[i]);
        EXPECT_EQ(months[i].Cells[1], std::to_string(sums[i]));
    }
    EXPECT_EQ(months[1].Attr("a", "href"), "/cgi-bin/tlvxstat?id=site&page=calendar&month=2026-12");

    // A month's visitors are not known; the whole history's are the
    // subject's all-time visitors as its general page (the fields after
    // "page=calendar") shows them.
    for (const std::string& query : {QueryOf(TSubject::Group), QueryOf(TSubject::Page)}) {
        std::string general;
        for (const test::TTableRow& row : test::TableRows(Content("page=main" + query.substr(13)), "<h2>TOTAL:</h2>"))
            if (row.Cells.at(0) == "Visitors") general = row.Cells.at(1);
        EXPECT_GT(std::stoi(general), 0);
        const std::string all = Content(query + "&period=all");
        EXPECT_EQ(test::Column(test::BodyRows(all, "<h2>monthly for all period</h2>", 1, 1), 3),
                  (std::vector<std::string>{"---", "---", "---", general}));
    }

    const std::vector<test::TTableRow> days = DayRows(Content(QueryOf(TSubject::Page) + "&period=30"), "for last 30 days");
    ASSERT_EQ(days.size(), 30u + 2);
    for (int k = 0; k < 30; ++k) {
        const int d = kDays - 30 + k;
        EXPECT_EQ(days[size_t(k)].Cells[0].substr(0, 10), FormatDateTime("dd.mm.yyyy", double(FirstDay() + d)));
        EXPECT_EQ(days[size_t(k)].Cells[1], std::to_string(Expected(TSubject::Page, PlanOf(d))[0])) << k;
    }
    EXPECT_EQ(days[30].Cells[3], "---");
}

// A month outside the history shows the nearest one; a month that is no
// month, the current one.
TEST_F(CalendarPage, MonthsOutsideTheHistoryAndHostileValues) {
    EXPECT_EQ(DayRows(Content("page=calendar&month=2026-10"), "November 2026").size(), 32u);
    EXPECT_EQ(DayRows(Content("page=calendar&month=9999-12"), "January 2027").size(), 33u);
    for (const char* month : {"2026-13", "2026-1", "x2026-11", "0000-01"})
        EXPECT_EQ(DayRows(Content(std::string("page=calendar&month=") + month), "January 2027").size(), 33u) << month;

    for (const std::string& value : test::HostileValues()) {
        const std::string arg = test::QueryArg(value);
        // Content raises for a page a value broke into.
        const std::string ref = Content("page=calendar&kind=ref&ref=" + arg + "&node=" + arg + "&month=" + arg);
        if (!value.empty()) {
            EXPECT_NE(ref.find(HtmlText(value)), std::string::npos);
        }
        Content("page=calendar&nodename=" + arg + "&group=" + arg + "&month=" + arg + "&period=" + arg);
    }
}

// The menu, the general page's "Calendar..." link, the group and page forms
// and the referrals' C column all lead to the calendar of their subject.
TEST_F(CalendarPage, TheLinksThatNameItLeadThere) {
    const auto hrefTo = [](const std::string& content, const std::string& start) {
        const size_t at = content.find("href=\"/cgi-bin/tlvxstat?id=site&" + start);
        return at == std::string::npos ? std::string() : content.substr(at + 32, content.find('"', at + 6) - at - 32);
    };
    EXPECT_EQ(hrefTo(Content("page=main"), "page=calendar"), "page=calendar");
    EXPECT_EQ(hrefTo(Content("page=main&nodename=shop&group=1"), "page=calendar"), QueryOf(TSubject::Group));
    EXPECT_EQ(hrefTo(Content("page=main&nodename=shop.book"), "page=calendar"), QueryOf(TSubject::Page));
    EXPECT_EQ(hrefTo(Content("page=refs"), "page=calendar&kind=ref&ref=SEARCH.EXAMPLE"), QueryOf(TSubject::Referral));
    EXPECT_NE(Content("page=refs&node=shop.book").find(QueryOf(TSubject::PageReferral)), std::string::npos);
    // The forms send page=calendar with the group's or page's fields.
    EXPECT_NE(Content("page=nodes").find("<input type=radio name=\"page\" value=\"calendar\">"), std::string::npos);
    EXPECT_NE(Content("page=calendar&nodename=shop&group=1&kind=GROUP").find("By group of pages shop"), std::string::npos);
    EXPECT_NE(Content("page=calendar&nodename=shop.book&kind=page").find("By page shop.book"), std::string::npos);
    // A name that names no node is the site's calendar.
    EXPECT_NE(Content("page=calendar&nodename=nosuch").find("<h2>for all site</h2>"), std::string::npos);
}

}  // namespace
}  // namespace tlvx
