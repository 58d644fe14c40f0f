// The page table drives the dispatch, the title and the menu alike.
#include "webstat/page_table.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <set>

#include "platform/text.h"
#include "webstat/main_module.h"
#include "webstat/page_builders.h"
#include "webstat/testing/page_parts.h"
#include "webstat/testing/report_site.h"

namespace tlvx {
namespace {

using test::TReportFixture;
using test::TReportSite;

TEST(PageTable, ValuesAndCodesAreTheDispatchTable) {
    std::set<std::string_view> values, markers;
    std::set<int32_t> codes;
    for (const TReportPage& page : ReportPages()) {
        EXPECT_TRUE(values.insert(page.Value).second) << page.Value;
        EXPECT_TRUE(codes.insert(page.Code).second) << page.Code;
        EXPECT_EQ(UpperAscii(page.Value), page.Value);
        if (page.HasMenuEntry()) {
            EXPECT_TRUE(markers.insert(page.Menu.MarkerTag).second);
        }
    }
    EXPECT_EQ((std::set<int32_t>{0, 1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 12, 13, 16}), codes);
    EXPECT_EQ(11u, markers.size());
    EXPECT_EQ(6, PageCodeOf("weeks"));
    EXPECT_EQ(6, PageCodeOf("WeEkS"));
    EXPECT_EQ(16, PageCodeOf("VISITORS"));
    for (std::string_view unlisted : {"", "week", "weeks ", "MAIN\r\n", "\xC0\xC1"})
        EXPECT_EQ(kUnlistedPageCode, PageCodeOf(unlisted)) << unlisted;
    EXPECT_EQ(&PageOfCode(kUnlistedPageCode), &PageOfCode(kMainPageCode));
    EXPECT_EQ(&PageOfCode(15), &PageOfCode(kMainPageCode));
}

// The menu as the frame must show it for a page code: every entry in table
// order, the one of the code (MAIN for an unlisted value) marked.
std::vector<test::TMenuState> ExpectedMenu(int32_t code) {
    std::vector<test::TMenuState> menu;
    for (const TReportPage& page : ReportPages())
        if (page.HasMenuEntry())
            menu.push_back({LowerAscii(page.Value), page.Code == (code == kUnlistedPageCode ? 0 : code)});
    return menu;
}

std::string MixedCase(std::string_view value) {
    std::string mixed(value);
    for (size_t i = 0; i < mixed.size(); i += 2) mixed[i] = LowerAsciiChar(mixed[i]);
    return mixed;
}

TEST(PageTable, EveryValueInAnyCaseGivesItsTitleMenuMarkerAndContent) {
    const TReportSite site(TReportFixture::OneDay);
    for (const TReportPage& page : ReportPages()) {
        for (const std::string& value : {LowerAscii(page.Value), std::string(page.Value), MixedCase(page.Value)}) {
            SCOPED_TRACE(value);
            const test::TReportAnswer answer = site.Get("id=site&page=" + value);
            ASSERT_EQ(200, answer.Status);
            EXPECT_EQ(0, answer.ExitCode) << answer.Err;
            EXPECT_EQ("Tallyvex2 web interface: " + std::string(page.Title), test::PageTitle(answer.Body));
            EXPECT_EQ(ExpectedMenu(page.Code), test::MenuStates(answer.Body));
            // No page is blank: a report this version does not make says so
            // and leads back to the general page.
            const std::string content = test::ContentArea(answer.Body);
            EXPECT_FALSE(content.empty());
            EXPECT_EQ(page.Builder == BuildNotIncludedPage,
                      content == "\r\n<p class=\"navig2\">This report is not part of this version of Tallyvex2. "
                                 "Back to the <a class=\"navig2\" href=\"/cgi-bin/tlvxstat?id=site&page=main\">"
                                 "General</a> page.</p>");
        }
    }
    for (const std::string value : {"", "nosuchpage", "main%20", "%C0"}) {
        SCOPED_TRACE(value);
        const test::TReportAnswer answer = site.Get("id=site&page=" + value);
        EXPECT_EQ("Tallyvex2 web interface: General", test::PageTitle(answer.Body));
        EXPECT_EQ(ExpectedMenu(kUnlistedPageCode), test::MenuStates(answer.Body));
        EXPECT_EQ(test::ContentArea(site.Get("id=site&page=main").Body), test::ContentArea(answer.Body));
    }
    // No page value at all: the MAIN page too.
    EXPECT_EQ(ExpectedMenu(kMainPageCode), test::MenuStates(site.Get("id=site").Body));
}

TEST(PageTable, AboutNeedsNoDatabaseButEveryPageSaysThereAreNoStatistics) {
    const TReportSite site(TReportFixture::Empty);
    std::filesystem::remove(site.Database());
    const std::string about = test::ContentArea(site.Get("id=site&page=about").Body);
    EXPECT_TRUE(about.starts_with(std::string(kNoStatisticsNotice))) << about;
    EXPECT_NE(std::string::npos, about.find("About Tallyvex2"));
    EXPECT_EQ(kNoStatisticsNotice, test::ContentArea(site.Get("id=site&page=times").Body));
}

}  // namespace
}  // namespace tlvx
