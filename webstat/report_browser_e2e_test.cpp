// The report as a site owner sees it: every page value opened in headless
// Chromium over both programs under lighttpd, on databases with one, forty
// and four hundred days of history and hits sent through tlvxcount just
// before. Then the same with hostile values stored through tlvxcount and
// reflected through every query field: no injected script may run.
//
// Set TLVX_SCREENSHOT_DIR to a directory to get a PNG of every page seen.
#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <memory>
#include <set>

#include "platform/html_escape.h"
#include "platform/text.h"
#include "platform/testing/headless_browser.h"
#include "webstat/page_table.h"
#include "webstat/testing/hostile_values.h"
#include "webstat/testing/html_scan.h"
#include "webstat/testing/page_parts.h"
#include "webstat/testing/report_server.h"

namespace tlvx {
namespace {

using test::TJsonValue;
using test::TReportFixture;
using test::TReportServer;

// What a page holds as the browser built it: its title, its images (the
// src as written, the address it resolved to, whether it decoded), the
// page values its links lead to, the summary panel's cells, the text of the
// content area, and anything
// that script injected into the page could have left: elements and
// attributes of the probes, event handlers of the payloads, script links,
// the marker a payload writes when it runs.
constexpr const char* kPageProbe = R"JS((() => {
  const all = [...document.querySelectorAll('*')];
  const handlers = [];
  for (const e of all)
    for (const a of e.attributes)
      if ((a.name.startsWith('on') && a.value.includes('xssran')) || a.name.includes('xssattr'))
        handlers.push(e.tagName + ' ' + a.name);
  const scriptLinks = [...document.querySelectorAll('[href],[src],[action]')]
    .map(e => e.getAttribute('href') || e.getAttribute('src') || e.getAttribute('action') || '')
    .filter(v => v.trim().toLowerCase().startsWith('javascript:'));
  return {
    title: document.title,
    images: [...document.images].map(i => ({src: i.getAttribute('src'), url: i.src,
                                            ok: i.complete && i.naturalWidth > 0})),
    links: [...document.links].map(a => a.href),
    cells: [...document.querySelectorAll('p.minitablehead, p.minitabletext')].map(p => p.textContent),
    content: ([...document.querySelectorAll('td')].find(t => t.style.padding === '8px') || {innerText: ''})
      .innerText.trim(),
    probes: document.getElementsByTagName('xssprobe').length,
    handlers: handlers,
    scriptLinks: scriptLinks,
    ran: window.xssran === 1,
    marked: document.documentElement.outerHTML.includes('PWNED') || document.title.includes('PWNED'),
  };
})())JS";

std::unique_ptr<test::THeadlessBrowser> StartBrowser() {
    if (test::FindChromium().empty()) return nullptr;
    return std::make_unique<test::THeadlessBrowser>();
}

// Writes the page's picture when screenshots are asked for.
void KeepScreenshot(test::THeadlessBrowser& browser, const std::string& name) {
    const char* dir = std::getenv("TLVX_SCREENSHOT_DIR");
    if (!dir || !*dir) return;
    std::filesystem::create_directories(dir);
    std::ofstream(std::string(dir) + "/" + name + ".png", std::ios::binary) << browser.ScreenshotPng();
}

// The pages of the menu, as their links name them.
std::set<std::string> MenuPageValues() {
    std::set<std::string> values;
    for (const TReportPage& page : ReportPages())
        if (page.HasMenuEntry()) values.insert(LowerAscii(page.Value));
    return values;
}

// A few hits of every kind the fixtures have, from addresses the fixtures
// do not use.
int SendHits(TReportServer& server) {
    struct THit {
        const char* Node;
        const char* Headers;
    };
    const THit hits[] = {
        {"index", "User-Agent: Mozilla/5.0 (Windows NT 10.0) Firefox/120.0\r\nAccept-Language: de-DE\r\n"},
        {"news.world", "Referer: http://www.search.example/?q=x\r\nUser-Agent: Opera/9.80\r\n"},
        {"shop.cart", "User-Agent: Mozilla/4.0 (compatible; MSIE 6.0)\r\nAccept-Language: fr\r\n"},
        {"news.world", "Referer: http://blog.example/post\r\n"},
        {"about", ""},
    };
    int n = 0;
    for (const THit& hit : hits) {
        const std::string from = "X-Forwarded-For: 198.51.100." + std::to_string(++n) + "\r\n";
        EXPECT_EQ(200, server.Count("id=site&node=" + std::string(hit.Node), from + hit.Headers).Status);
    }
    return n;
}

class ReportInBrowser : public ::testing::TestWithParam<TReportFixture> {};

TEST_P(ReportInBrowser, EveryPageLoadsWithItsPicturesMenuAndFigures) {
    std::unique_ptr<test::THeadlessBrowser> browser = StartBrowser();
    if (!browser) GTEST_SKIP() << "Chromium is not installed (Debian: apt-get install chromium)";
    TReportServer server(GetParam());
    const std::vector<std::string> before = test::SummaryCells(server.Report("id=site").Body);
    ASSERT_EQ(25u, before.size());
    const int sent = SendHits(server);
    const std::string totalHits = std::to_string(std::stoi(before[5]) + sent);
    const std::string script = server.ReportUrl("");
    const std::set<std::string> menu = MenuPageValues();

    for (const std::string& value : test::PageValuesToVisit()) {
        SCOPED_TRACE("page=" + value);
        const std::string url = server.ReportUrl("id=site&page=" + value);
        ASSERT_EQ(200, browser->Navigate(url)) << server.ErrorLog();
        KeepScreenshot(*browser, std::string(test::FixtureName(GetParam())) + "-" + (value.empty() ? "empty" : value));
        const TJsonValue page = browser->Evaluate(kPageProbe);
        const TReportPage& entry = PageOfCode(PageCodeOf(value));
        // (The browser drops the blank before an empty title.)
        std::string title = "Tallyvex2 web interface: " + std::string(entry.Title);
        if (title.ends_with(' ')) title.pop_back();
        EXPECT_EQ(title, page["title"].String());
        // No page, of the menu or any other, shows an empty content area.
        EXPECT_FALSE(page["content"].String().empty());

        // Every picture comes from the report program and decodes; the
        // logo and the name are on every page. (The marker cells' images
        // have no src, and show their cell's colour.)
        std::set<std::string> imageNumbers;
        for (const TJsonValue& image : page["images"].Items()) {
            if (image["src"].String().empty()) continue;
            const std::string& address = image["url"].String();
            const size_t number = address.find("imgind=");
            EXPECT_TRUE(address.starts_with(script) && address.find("img=1") != std::string::npos &&
                        number != std::string::npos)
                << address;
            EXPECT_TRUE(image["ok"].Bool()) << "does not decode: " << address;
            if (number != std::string::npos)
                imageNumbers.insert(address.substr(number + 7, address.find('&', number) - number - 7));
        }
        EXPECT_TRUE(imageNumbers.count("12") && imageNumbers.count("13"));

        // The menu leads to every page of the menu, of this counter.
        std::set<std::string> linked;
        for (const TJsonValue& link : page["links"].Items()) {
            const std::string& href = link.String();
            if (href.starts_with(script + "id=site&page=")) linked.insert(href.substr(href.find("&page=") + 6));
        }
        for (const std::string& target : menu) EXPECT_TRUE(linked.count(target)) << "no link to " << target;

        // The summary panel shows every hit, those just sent too.
        ASSERT_EQ(25u, page["cells"].Items().size());
        EXPECT_EQ(totalHits, page["cells"].Items()[5].String());
        EXPECT_EQ(0, page["probes"].Number());
        EXPECT_TRUE(page["handlers"].Items().empty()) << page["handlers"].Items()[0].String();
    }
    EXPECT_EQ(0, browser->DialogsOpened());
}

INSTANTIATE_TEST_SUITE_P(Histories, ReportInBrowser,
                         ::testing::Values(TReportFixture::OneDay, TReportFixture::FortyDays,
                                           TReportFixture::FourHundredDays),
                         [](const ::testing::TestParamInfo<TReportFixture>& info) {
                             std::string name(test::FixtureName(info.param));
                             std::erase(name, '-');
                             return name;
                         });

// Payloads that announce themselves when they run: they set window.xssran
// and write a marker built at run time (so that the escaped payload, shown
// as text, never holds it), or open a dialog.
std::vector<std::string> ScriptPayloads() {
    const std::string run = "window.xssran=1;document.title=String.fromCharCode(80,87,78,69,68)";
    return {"<script>" + run + "</script>",
            "\"><img src=x onerror=" + run + ">",
            "'><svg onload=" + run + ">",
            "\" autofocus onfocus=" + run + " x=\"",
            "javascript:" + run,
            "</title><script>" + run + "</script>",
            "x\r\nSet-Cookie: xssprobe=1\r\n\r\n<script>" + run + "</script>",
            // Long, yet short enough for the server's limit on a request
            // line with it in every field (longer ones the in-process sweep
            // sends).
            std::string(400, 'w') + "<script>" + run + "</script>",
            "\xCF\xF0\xE8\xE2\xE5\xF2<script>" + run + "</script>\xFF"};
}

// Only the headers a web server and the programs write, and cookies whose
// values are encoded and whose attributes are the program's own: nothing a
// value broke into.
void ExpectSoundHeaders(const test::THttpReply& reply) {
    static const std::set<std::string> known = {"content-type", "content-length", "set-cookie", "date", "server",
                                                "connection"};
    for (const auto& [name, value] : reply.Headers) {
        EXPECT_TRUE(known.count(LowerAscii(name))) << "header " << name << ": " << value;
        if (!SameText(name, "Set-Cookie")) continue;
        const size_t end = value.find("; ");
        const std::string pair = value.substr(0, end);
        // The bytes a cookie value may hold.
        for (const char c : pair)
            EXPECT_TRUE(c > ' ' && c < 0x7F && c != '"' && c != ',' && c != ';' && c != '\\') << value;
        for (size_t at = end; at != std::string::npos; at = value.find("; ", at + 2)) {
            const std::string attribute = LowerAscii(value.substr(at + 2, value.find('=', at) - at - 2));
            EXPECT_TRUE(attribute == "path" || attribute == "domain" || attribute == "expires") << value;
        }
    }
}

// The payloads' markup never stands raw in a page: no element of theirs,
// no attribute, no script link (html_scan.h reads the page as a browser's
// tokenizer does).
void ExpectNoRawPayload(const std::string& body) {
    EXPECT_EQ(std::vector<std::string>{}, test::PageFaults(body));
    for (const test::THtmlTag& tag : test::ScanTags(body)) {
        EXPECT_NE("svg", tag.Name);
        for (const auto& [name, value] : tag.Attributes)
            EXPECT_TRUE(!name.starts_with("on") && name != "autofocus" && !(name == "src" && value == "x"))
                << tag.Name << " " << name << "=" << value;
    }
    EXPECT_EQ(std::string::npos, body.find("<script>window.xssran"));
}

TEST(ReportUnderHostileInput, NoInjectedScriptRunsAndNoHeaderBreaks) {
    std::unique_ptr<test::THeadlessBrowser> browser = StartBrowser();
    if (!browser) GTEST_SKIP() << "Chromium is not installed (Debian: apt-get install chromium)";
    TReportServer server(TReportFixture::FortyDays);
    const std::vector<std::string> payloads = ScriptPayloads();

    // Stored: each payload as a node name, a referrer (query and header),
    // a browser and a language, through the counter program.
    int n = 0;
    for (const std::string& payload : payloads) {
        std::string header;  // a header value cannot hold a line break
        for (const char c : payload) header += c == '\r' || c == '\n' ? ' ' : c;
        const std::string from = "X-Forwarded-For: 203.0.113." + std::to_string(++n) + "\r\n";
        for (const std::string& query : {"id=site&node=" + test::QueryArg(payload),
                                         "id=site&node=page&referer=" + test::QueryArg(payload),
                                         "id=site&nocookies=1&node=" + test::QueryArg(payload)}) {
            const test::THttpReply hit = server.Count(query, from + "Referer: http://" + header + "/\r\nUser-Agent: " + header +
                                                              "\r\nAccept-Language: " + header + "\r\n");
            EXPECT_EQ(200, hit.Status);
            ExpectSoundHeaders(hit);
        }
    }

    // Reflected: every payload in every field of the MAIN page, a third of
    // them on each other page in turn, and of those one in the browser
    // (the in-process sweep sends every hostile value to every page).
    const std::vector<std::string> pages = test::PageValuesToVisit();
    for (size_t pageIndex = 0; pageIndex < pages.size(); ++pageIndex) {
        const std::string& value = pages[pageIndex];
        const bool everything = value == "main";
        for (size_t p = 0; p < payloads.size(); ++p) {
            if (!everything && p % 3 != pageIndex % 3) continue;
            SCOPED_TRACE("page=" + value + " payload #" + std::to_string(p));
            const std::string query = test::QueryWithEveryField("site", value, payloads[p]);
            const test::THttpReply raw = server.Report(query);
            EXPECT_EQ(200, raw.Status) << server.ErrorLog();
            ExpectSoundHeaders(raw);
            ExpectNoRawPayload(raw.Body);
            if (!everything && p != pageIndex % payloads.size()) continue;
            browser->Navigate(server.ReportUrl(query));
            const TJsonValue page = browser->Evaluate(kPageProbe);
            EXPECT_FALSE(page["ran"].Bool());
            EXPECT_FALSE(page["marked"].Bool());
            EXPECT_EQ(0, page["probes"].Number());
            EXPECT_TRUE(page["handlers"].Items().empty()) << page["handlers"].Items()[0].String();
            EXPECT_TRUE(page["scriptLinks"].Items().empty()) << page["scriptLinks"].Items()[0].String();
            if (p == 0) KeepScreenshot(*browser, "hostile-" + (value.empty() ? std::string("empty") : value));
        }
    }
    EXPECT_EQ(0, browser->DialogsOpened());
}

}  // namespace
}  // namespace tlvx
