// The frame around every page: templates, tags, titles, links, markers and
// the style sheet.
#include "webstat/page_frame.h"

#include <gtest/gtest.h>

#include <fstream>

#include "webstat/page_table.h"
#include "webstat/page_templates.h"
#include "webstat/testing/html_scan.h"
#include "webstat/testing/page_parts.h"
#include "webstat/testing/report_site.h"

namespace tlvx {
namespace {

// The values the frame places, as one record.
struct TFrameValues {
    std::string ScriptName;
    std::string Id;
    int32_t PageCode = 0;
    std::string StyleSheet;
    std::string LinksBlock;
    std::string ImportantPanel;
    std::string TimePanel;
    std::string PageContent;
};

std::string GenerateReportPage(const TFrameValues& v) {
    TReportContext request;
    request.ScriptName = v.ScriptName;
    request.Id = v.Id;
    request.LinksBlock = v.LinksBlock;
    request.ImportantPanel = v.ImportantPanel;
    request.TimePanel = v.TimePanel;
    return GenerateReportPage(request, TFramePage{v.PageCode, v.StyleSheet, v.PageContent});
}

TFrameValues Values(std::string id, int32_t code = kMainPageCode) {
    TFrameValues v;
    v.ScriptName = "/cgi-bin/tlvxstat";
    v.Id = std::move(id);
    v.PageCode = code;
    v.StyleSheet = BuiltInStyleSheet();
    v.LinksBlock = "<!--links-->";
    v.ImportantPanel = "<!--important-->";
    v.TimePanel = "<!--time-->";
    v.PageContent = "<!--content-->";
    return v;
}

size_t Count(const std::string& text, const std::string& piece) {
    size_t n = 0;
    for (size_t at = text.find(piece); at != std::string::npos; at = text.find(piece, at + 1)) ++n;
    return n;
}

TEST(PageFrame, EveryTagAnsweredAndEveryPiecePlacedOnce) {
    const std::string page = GenerateReportPage(Values("site"));
    EXPECT_EQ(std::string::npos, page.find("<#"));
    EXPECT_TRUE(page.starts_with("<html>\r\n<head>\r\n<meta http-equiv=\"Content-Type\" content=\"text/html; "
                                 "charset=windows-1251\">\r\n"));
    EXPECT_TRUE(page.ends_with("</body>\r\n</html>\r\n"));
    // The script element's tag has no answer: nothing between the comment marks.
    EXPECT_NE(std::string::npos, page.find("<!--\r\n\r\n//-->"));
    EXPECT_EQ(1u, Count(page, "<!--links-->"));
    EXPECT_EQ(1u, Count(page, "<!--important-->"));
    EXPECT_EQ(1u, Count(page, "<!--content-->"));
    EXPECT_EQ("<!--content-->", test::ContentArea(page));
    // In the menu column and in the menu template's own tag.
    EXPECT_EQ(1u, Count(page, "<!--time-->"));
    // Header bar and its copy under the footer.
    EXPECT_EQ(2u, Count(page, "src=\"/cgi-bin/tlvxstat?img=1&imgind=12&id=site\" alt=\"LOGO\""));
    EXPECT_EQ(2u, Count(page, "src=\"/cgi-bin/tlvxstat?img=1&imgind=13&id=site\""));
    EXPECT_NE(std::string::npos, page.find("bgcolor=#FFFFFF>\r\n<tr>"));
    for (const char* colour : {"#CCE3F6", "#F2F9FF", "#F7FBFF", "#0172CF", "#CBD8FF"})
        EXPECT_NE(std::string::npos, page.find(std::string("bgcolor=") + colour)) << colour;
    EXPECT_TRUE(test::PageFaults(page).empty());
}

TEST(PageFrame, ContentIsPlacedAsItIsAndNeverScannedForTags) {
    TFrameValues v = Values("site");
    v.PageContent = "<p><#header> and <#contentmain></p>";
    EXPECT_EQ(v.PageContent, test::ContentArea(GenerateReportPage(v)));
}

TEST(PageFrame, LinksCarryTheIdEscapedAndPlainIdsUnchanged) {
    const std::string plain = GenerateReportPage(Values("site"));
    EXPECT_NE(std::string::npos, plain.find("href=\"/cgi-bin/tlvxstat?id=site&page=main\">General</a>"));
    EXPECT_NE(std::string::npos, plain.find("href=\"/cgi-bin/tlvxstat?id=site&page=times\">Hourly</a>"));

    const std::string none = GenerateReportPage(Values(""));
    EXPECT_NE(std::string::npos, none.find("src=\"/cgi-bin/tlvxstat?img=1&imgind=12&id=\""));
    EXPECT_NE(std::string::npos, none.find("href=\"/cgi-bin/tlvxstat?id=&page=about\">"));

    TFrameValues hostile = Values("\"><xssprobe xssattr=1>");
    hostile.ScriptName = "/cgi-bin/x\" xssattr=\"1";
    const std::string page = GenerateReportPage(hostile);
    EXPECT_TRUE(test::PageFaults(page).empty()) << test::PageFaults(page).front();
    EXPECT_NE(std::string::npos, page.find("x&quot;&#32;xssattr&#61;&quot;1?id=%22%3E%3Cxssprobe%20xssattr%3D1%3E&page=din\""));
}

TEST(PageFrame, TitlesAndMenuMarkersFollowTheCode) {
    EXPECT_EQ("Tallyvex2 web interface: Hourly", test::PageTitle(GenerateReportPage(Values("", 5))));
    EXPECT_EQ("Tallyvex2 web interface: General", test::PageTitle(GenerateReportPage(Values("", kUnlistedPageCode))));
    EXPECT_EQ("Tallyvex2 web interface: General", test::PageTitle(GenerateReportPage(Values("", 7))));
    EXPECT_EQ("Tallyvex2 web interface: ", test::PageTitle(GenerateReportPage(Values("", 12))));
    EXPECT_EQ("Tallyvex2 web interface: Visitors", test::PageTitle(GenerateReportPage(Values("", 16))));
    const std::string menu = MenuTemplate();
    // Spacer rows after Entry/Exit and after Hourly: the caption tags before them.
    const std::string spacer = "></a></p></td></tr>\r\n<tr><td colspan=2 height=10></td></tr>";
    std::vector<std::string> before;
    for (size_t at = menu.find(spacer); at != std::string::npos; at = menu.find(spacer, at + 1)) {
        const size_t tag = menu.rfind("<#", at);
        before.push_back(menu.substr(tag + 2, at - tag - 2));
    }
    EXPECT_EQ((std::vector<std::string>{"sentries", "stimes"}), before);
}

TEST(PageFrame, MarkerIsAThreeByThreeGridWithFourColouredCells) {
    for (bool current : {true, false}) {
        const std::string marker = MenuMarker(current);
        const std::string colour = current ? "#B91510" : "#5A6175";
        std::vector<bool> cells;
        const std::string cell = "<td width=3 height=3";
        for (size_t at = marker.find(cell); at != std::string::npos; at = marker.find(cell, at + 1)) {
            const std::string rest = marker.substr(at + cell.size());
            const bool coloured = rest.starts_with(" bgcolor=" + colour + "><img src=\"\" width=3 height=3></td>");
            EXPECT_TRUE(coloured || rest.starts_with("><img src=\"\" width=3 height=3></td>")) << rest.substr(0, 60);
            cells.push_back(coloured);
        }
        EXPECT_EQ((std::vector<bool>{true, false, true, false, true, false, false, false, true}), cells);
        EXPECT_TRUE(marker.starts_with("<table width=9 height=9 cellspacing=0 cellpadding=0 border=0>"));
    }
}

TEST(StyleSheet, FortyOneRulesInOrderWithTheRepeatedHoverRule) {
    const auto rules = StyleRules();
    ASSERT_EQ(41u, rules.size());
    EXPECT_EQ("BODY, P, TABLE, DIV, BR, FORM", rules.front().Selector);
    EXPECT_EQ("SPAN.Beta", rules.back().Selector);
    EXPECT_EQ(rules[16].Selector, rules[19].Selector);
    EXPECT_EQ("color: #6570CD; text-decoration: underline", rules[19].Properties);
    EXPECT_EQ("", rules[32].Properties);
    const std::string sheet = BuiltInStyleSheet();
    EXPECT_EQ(41u, Count(sheet, "}"));
    EXPECT_NE(std::string::npos, sheet.find("A.navig2:active, A.navig2:hover { color: #A80F0A }\r\nP.links"));
}

TEST(StyleSheet, TestCssBesideTheProgramReplacesTheWholeSheet) {
    const test::TReportSite site(test::TReportFixture::OneDay);
    {
        std::ofstream css(site.Dir() + "/cgi-bin/test.css", std::ios::binary);
        css << "P { color: red }\nA { color: blue }\r\n";
    }
    const std::string page = site.Get("id=site").Body;
    EXPECT_NE(std::string::npos, page.find("<style type=\"text/css\">\r\nP { color: red }\r\nA { color: blue }\r\n</style>"));
    EXPECT_EQ(std::string::npos, page.find("SPAN.Beta"));
}

}  // namespace
}  // namespace tlvx
