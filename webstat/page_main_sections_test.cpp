// The site sections of the general page: returns, transitions, entry and
// exit points, the language and browser tables, and the pies the image road
// draws for them from each counter's own database.
#include "webstat/page_main_sections.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <memory>
#include <string>
#include <vector>

#include "model/visitor_collection.h"
#include "raster/testing/gif_decode.h"
#include "webstat/testing/html_scan.h"
#include "webstat/testing/page_parts.h"
#include "webstat/testing/planned_history.h"
#include "webstat/testing/report_site.h"

namespace tlvx {
namespace {

using test::ParagraphTexts;
using test::TextBetween;
using test::TPlannedDay;

// The site: 41 days of one hit, one visit and one visitor; then 50
// visitors coming back within a day and 10 more within a week; Russian and
// English 40 hits each and twenty languages of one; three MSIE 6 browsers
// and one Opera; six entries, four on the main page shop and two on
// shop.book, and four exits, one on shop.
void Extras(ICounter2& counter) {
    Ref<IVisitorCollection> visitors = counter.GetVisitors();
    const double now = test::FixtureNow();
    for (int32_t v = 0; v < 60; ++v) {
        std::string id;
        const double first = now - (v < 50 ? 0.5 : 3.0);
        visitors->RegisterHit(id, 0x0B000000 + v, true, true, first);
        visitors->RegisterHit(id, 0x0B000000 + v, false, true, first + (v < 50 ? 0.25 : 2.5));
    }
    Ref<INodeCollection> nodes = counter.GetNodes();
    nodes->GetNodeInfo("shop", false)->AddEntries(4);
    nodes->GetNodeInfo("shop", false)->AddExits(1);
    nodes->GetNodeInfo("shop.book", true)->AddEntries(2);
    nodes->GetNodeInfo("shop.book", false)->AddExits(3);
    for (int i = 0; i < 40; ++i) {
        nodes->CountLanguage("RU");
        nodes->CountLanguage("EN-US");
    }
    for (int i = 0; i < 20; ++i) nodes->CountLanguage(std::string("X").append(std::to_string(i)));
    for (int i = 0; i < 3; ++i) nodes->CountBrowser("Mozilla/4.0 (compatible; MSIE 6.0; Windows NT 5.1)", "", true);
    nodes->CountBrowser("Opera/9.80 (Windows NT 6.1; U; ru) Presto/2.10.289 Version/12.02", "", true);
}

class SiteSections : public ::testing::Test {
protected:
    void Build(bool extras) {
        site_ = std::make_unique<test::TPlannedSite>(std::vector<TPlannedDay>(41, TPlannedDay{1, 1, 1, 1}),
                                                     extras ? Extras : std::function<void(ICounter2&)>{});
    }
    std::string Content() { return site_->Content("page=main"); }
    // Picture 1 (languages) or 2 (browsers) of a counter.
    test::TDecodedGif Pie(int number, const std::string& id = "site") {
        const std::string bytes = site_->Site().Get("id=" + id + "&img=1&imgind=" + std::to_string(number)).Body;
        return test::DecodeWithGiflib(std::vector<uint8_t>(bytes.begin(), bytes.end()));
    }
    std::unique_ptr<test::TPlannedSite> site_;
};

TEST_F(SiteSections, ReturnsSharesAndPies) {
    Build(true);
    const std::string page = Content();

    // Returns beyond the 41 site views show 100 % at most; the scale is 100.
    const std::string returns = TextBetween(page, "<h2>NUMBER of RETURNS ON SITE:</h2>", "<h2>STATISTICS of TRANSITIONS:");
    EXPECT_EQ(ParagraphTexts(returns, "tablehead"), (std::vector<std::string>{"daily", "weekly", "monthly"}));
    EXPECT_EQ(ParagraphTexts(returns, "tabletext"), (std::vector<std::string>{"100%", "100%", "100%", "50", "60", "60"}));
    EXPECT_NE(returns.find("<tr height=1><td width=100%></td><td width=0%></td><td width=0%></td><td></td></tr>"),
              std::string::npos);
    EXPECT_NE(returns.find("<tr height=1><td colspan=5 bgcolor=white></td></tr>"), std::string::npos);
    EXPECT_NE(returns.find(">&nbsp;100%</td></tr>"), std::string::npos);

    // Entries and exits: shares of all of them, the main page's included,
    // which is never named itself.
    const std::string points = TextBetween(page, "STATISTICS of ENTRY/EXIT POINTS:", "</table>");
    EXPECT_EQ(ParagraphTexts(points, "tabletext"),
              (std::vector<std::string>{"shop.book", "2", "33%", "shop.book", "3", "75%"}));

    // Languages: shares of every count (40 % each), the twenty single
    // ones in grey from 288 degrees on.
    const std::string languages = TextBetween(page, "Main browser language", "\r\n</table></td>");
    EXPECT_EQ(ParagraphTexts(languages, "tableleft"), (std::vector<std::string>{"EN-US", "RU"}));
    EXPECT_EQ(ParagraphTexts(languages, "tabletext"), (std::vector<std::string>{"40", "40.0%", "40", "40.0%"}));
    const test::TDecodedGif lang = Pie(1);
    ASSERT_EQ(lang.width, 220);
    EXPECT_EQ(lang.At(110 + 35, 110 - 35), 0x7387C1u);  // 45 degrees: the first slice
    EXPECT_EQ(lang.At(110, 110 + 50), 0xE6DEABu);       // 180 degrees: the second
    EXPECT_EQ(lang.At(110 - 35, 110 - 35), 0xCCCCCCu);  // 315 degrees: the grey rest
    EXPECT_EQ(lang.At(3, 3), 0xFFFFFFu);

    // Browsers: every row, in the table's order.
    const std::string browsers = TextBetween(page, "Type of browser", "\r\n</table>");
    EXPECT_EQ(ParagraphTexts(browsers, "tableleft"),
              (std::vector<std::string>{"MSIE 4", "MSIE 5", "MSIE 6", "Lynx", "Mozilla", "Opera", "Others"}));
    EXPECT_EQ(ParagraphTexts(browsers, "tabletext"),
              (std::vector<std::string>{"0", "0.0%", "0", "0.0%", "3", "75.0%", "0", "0.0%", "0", "0.0%", "1",
                                        "25.0%", "0", "0.0%"}));
    const test::TDecodedGif brw = Pie(2);
    EXPECT_EQ(brw.At(110 + 35, 110 - 35), 0xE26655u);  // MSIE 6, 0..270 degrees
    EXPECT_EQ(brw.At(110 - 35, 110 - 35), 0xDFD385u);  // Opera, 270..360

    EXPECT_NE(page.find("<img src=\"/cgi-bin/tlvxstat?id=site&img=1&imgind=1\" alt=\"Diagram of used languages\">"),
              std::string::npos);
    EXPECT_NE(page.find("<p class=\"navig2\"><a class=\"navig2\" href=\"/cgi-bin/tlvxstat?id=site&page=refs&nodename=\">"
                        "Statistics of transitions in detail...</a></p><br><br>"),
              std::string::npos);
}

TEST_F(SiteSections, NewDatabase) {
    Build(false);
    const std::string page = Content();
    const std::string returns = TextBetween(page, "<h2>NUMBER of RETURNS ON SITE:</h2>", "<h2>STATISTICS of TRANSITIONS:");
    EXPECT_EQ(ParagraphTexts(returns, "tabletext"), (std::vector<std::string>{"0%", "0%", "0%", "0", "0", "0"}));
    EXPECT_EQ(returns.find("<taBLE"), std::string::npos);
    EXPECT_EQ(ParagraphTexts(TextBetween(page, "Main browser language", "\r\n</table></td>"), "tableleft").size(), 0u);
    EXPECT_EQ(ParagraphTexts(TextBetween(page, "Type of browser", "\r\n</table>"), "tabletext")[1], "0.0%");
    EXPECT_NE(page.find("<p class=\"tableleft\">Most popular entry point</p></td><td><p class=\"tabletext\"></p></td>"
                        "<td align=center><p class=\"tabletext\">0</p></td><td align=center><p class=\"tabletext\">"
                        "0%</p></td></tr>"),
              std::string::npos);
    for (int number : {1, 2}) {
        const test::TDecodedGif pie = Pie(number);
        for (uint32_t pixel : pie.pixels) ASSERT_EQ(pixel, 0xFFFFFFu) << number;
    }
}

// Two counters that share one images directory: each shows the pies of its
// own database, in the colours of its own legend, whichever was drawn last.
TEST_F(SiteSections, CountersSharingTheImagesDirectoryShowTheirOwnPies) {
    Build(true);
    test::TReportSite& site = site_->Site();
    const std::string other = site.Dir() + "/other.orv";
    test::BuildPlannedHistory(other, {TPlannedDay{1, 1, 1, 1}}, test::FixtureNow(), [](ICounter2& counter) {
        Ref<INodeCollection> nodes = counter.GetNodes();
        for (int i = 0; i < 3; ++i) nodes->CountLanguage("DE");
        nodes->CountBrowser("Opera/9.80 (Windows NT 6.1; U; ru) Presto/2.10.289 Version/12.02", "", true);
    });
    site.WriteConf(site.StandardConf() + "<Base:other>\nDataBaseName=" + other + "\nImagesDirectory=" +
                   site.Images() + "\n</Base>\n");
    const std::string siteLanguages = site.Get("id=site&img=1&imgind=1").Body;
    const std::string otherPage = site.Get("id=other&page=main").Body;
    const test::TDecodedGif language = Pie(1, "other"), browser = Pie(2, "other");
    EXPECT_EQ(siteLanguages, site.Get("id=site&img=1&imgind=1").Body);
    EXPECT_NE(siteLanguages, site.Get("id=other&img=1&imgind=1").Body);

    // One language and one browser each fill the circle in the colour of
    // their legend's swatch.
    const auto swatchOf = [&](const std::string& label) {
        const size_t at = otherPage.rfind("<td bgcolor=#", otherPage.find(label));
        return uint32_t(std::stoul(otherPage.substr(at + 13, 6), nullptr, 16));
    };
    EXPECT_EQ(swatchOf(">DE</p>"), 0x7387C1u);
    EXPECT_EQ(swatchOf(">Opera</p>"), 0xDFD385u);
    for (const auto& [x, y] : {std::pair{110, 30}, std::pair{190, 110}, std::pair{110, 190}, std::pair{30, 110}}) {
        EXPECT_EQ(language.At(x, y), swatchOf(">DE</p>"));
        EXPECT_EQ(browser.At(x, y), swatchOf(">Opera</p>"));
    }
}

}  // namespace
}  // namespace tlvx
