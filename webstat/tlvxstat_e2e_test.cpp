// tlvxstat beside tlvxcount as CGI programs under lighttpd, spoken to over
// HTTP: hits counted by the one are reported by the other.
#include <gtest/gtest.h>

#include <atomic>
#include <filesystem>
#include <thread>

#include "model/counter2.h"
#include "platform/clock.h"
#include "platform/text.h"
#include "platform/testing/http_client.h"
#include "platform/testing/lighttpd.h"
#include "platform/testing/run_program.h"
#include "raster/testing/gif_decode.h"
#include "webstat/image_action.h"
#include "webstat/main_module.h"
#include "webstat/page_table.h"
#include "webstat/testing/html_scan.h"
#include "webstat/testing/page_parts.h"
#include "webstat/testing/report_server.h"
#include "webstat/testing/table_rows.h"

namespace tlvx {
namespace {

namespace fs = std::filesystem;
using test::HttpGet;
using test::THttpReply;

std::string Base64(const std::string& text) {
    static const char* digits = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/";
    std::string out;
    for (size_t i = 0; i < text.size(); i += 3) {
        uint32_t n = uint32_t(uint8_t(text[i])) << 16;
        if (i + 1 < text.size()) n |= uint32_t(uint8_t(text[i + 1])) << 8;
        if (i + 2 < text.size()) n |= uint8_t(text[i + 2]);
        out += digits[n >> 18 & 63];
        out += digits[n >> 12 & 63];
        out += i + 1 < text.size() ? digits[n >> 6 & 63] : '=';
        out += i + 2 < text.size() ? digits[n & 63] : '=';
    }
    return out;
}

// The server: tlvxcount and tlvxstat in cgi-bin, behind HTTP basic
// authentication for tlvxstat; a second tlvxstat in cgi-bin/anon that
// anyone reaches. Counter 7 is guarded by the access list (ann only).
class ReportServer : public ::testing::Test {
protected:
    void SetUp() override {
        server_.InstallCgi(TLVX_TLVXCOUNT, "tlvxcount");
        stat_ = server_.InstallCgi(TLVX_TLVXSTAT, "tlvxstat");
        server_.InstallCgi(TLVX_TLVXSTAT, "anon/tlvxstat");
        fs::create_directories(Images());
        ASSERT_EQ(0, test::RunProgram({TLVX_REPORT_IMAGES, Images()}, {}).ExitCode);
        const std::string conf = "<Base:7>\nDataBaseName=" + Database() + "\nImagesDirectory=" + Images() +
                                 "\nShowServerTime=1\nSiteName=Seven\n</Base>\n";
        for (const std::string dir : {"/", "/anon/"}) {
            test::WriteWholeFile(server_.CgiDir() + dir + "tlvx2.conf", conf);
            test::WriteWholeFile(server_.CgiDir() + dir + ".tlvx2access", "7 ann\n");
        }
        test::WriteWholeFile(server_.Dir() + "/users", "ann:secret\ncarol:secret\n");
        server_.AddModule("mod_auth");
        server_.AddModule("mod_authn_file");
        server_.AddConf("auth.backend = \"plain\"\n"
                        "auth.backend.plain.userfile = \"" + server_.Dir() + "/users\"\n"
                        "auth.require = (\"/cgi-bin/tlvxstat\" => (\"method\" => \"basic\", "
                        "\"realm\" => \"tlvx\", \"require\" => \"valid-user\"))\n");
        server_.Start();
    }
    std::string Database() const { return server_.Dir() + "/seven.orv"; }
    std::string Images() const { return server_.Dir() + "/images"; }
    std::string Install(const std::vector<std::string>& env = {"PATH=/usr/bin:/bin"}) {
        return test::RunProgram({stat_, "-install", "7"}, env).Out;
    }
    THttpReply Report(const std::string& query, const std::string& user = "ann") {
        const std::string auth = user.empty() ? "" : "Authorization: Basic " + Base64(user + ":secret") + "\r\n";
        return HttpGet(server_.Port(), "/cgi-bin/tlvxstat?" + query, auth);
    }
    THttpReply Anonymous(const std::string& query) {
        return HttpGet(server_.Port(), "/cgi-bin/anon/tlvxstat?" + query);
    }
    THttpReply Hit(const std::string& node, const std::string& headers = "") {
        return HttpGet(server_.Port(), "/cgi-bin/tlvxcount?id=7&node=" + node, headers);
    }

    test::TLighttpd server_;
    std::string stat_;
};

TEST_F(ReportServer, InstallFromTheConsoleOnlyThenTheFrameCountsTheHitsSent) {
    // Started as a web server starts it, the switch is no install.
    const std::string web = Install({"GATEWAY_INTERFACE=CGI/1.1", "REQUEST_METHOD=GET", "QUERY_STRING=-install+7"});
    EXPECT_EQ(std::string::npos, web.find("DataBase"));
    EXPECT_NE(std::string::npos, web.find("Content-Type: text/html"));
    Anonymous("-install+7");
    EXPECT_FALSE(fs::exists(Database()));
    // Before the install: the frame and the notice, and no file.
    const THttpReply before = Report("id=7");
    EXPECT_EQ(200, before.Status);
    EXPECT_NE(std::string::npos, test::ContentArea(before.Body).find("No statistics yet"));
    EXPECT_FALSE(fs::exists(Database()));

    EXPECT_EQ("Tallyvex2 DataBase successfully created!\n", Install());
    ASSERT_TRUE(fs::exists(Database()));
    // Five hits, two of them on today's hot page.
    for (const std::string node : {"index", "news", "news.sport", "news.sport", "about"})
        EXPECT_EQ(200, Hit(node, "Referer: http://www.search.example/q\r\n").Status);
    const std::string bytes = test::ReadWholeFile(Database());

    for (const TReportPage& page : ReportPages()) {
        SCOPED_TRACE(page.Value);
        const THttpReply reply = Report("id=7&page=" + std::string(page.Value));
        ASSERT_EQ(200, reply.Status) << server_.ErrorLog();
        EXPECT_EQ("text/html", reply.Header("Content-Type"));
        EXPECT_EQ("Tallyvex2 web interface: " + std::string(page.Title), test::PageTitle(reply.Body));
        for (const test::TMenuState& entry : test::MenuStates(reply.Body))
            EXPECT_EQ(entry.Current, page.HasMenuEntry() && entry.Page == LowerAscii(page.Value)) << entry.Page;
        EXPECT_TRUE(test::PageFaults(reply.Body).empty());
        const std::vector<std::string> cells = test::SummaryCells(reply.Body);
        ASSERT_EQ(25u, cells.size());
        EXPECT_EQ("5", cells[5]);   // total hits
        EXPECT_EQ("5", cells[7]);   // today's
        EXPECT_EQ("news.sport", cells[21]);
        EXPECT_EQ("2", cells[23]);
        EXPECT_NE("", test::ServerTimeLine(reply.Body));
    }
    // The weekday and hour pages spread the same five hits; the visitor
    // list shows where they came from.
    const auto hits = [](const std::string& page) {
        const std::vector<std::string> cells = test::CellTexts(test::ContentArea(page), "tabletext");
        int sum = 0;
        for (size_t i = 0; i < cells.size(); i += 2) sum += std::stoi(cells[i]);
        return sum;
    };
    EXPECT_EQ(5, hits(Report("id=7&page=weeks").Body));
    EXPECT_EQ(5, hits(Report("id=7&page=times&kind=hours").Body));
    EXPECT_NE(std::string::npos, Report("id=7&page=visitors&sort=1").Body.find("<p class=\"tabletext\">127.0.0.1</p>"));
    // The reports read the database and leave it as it was.
    EXPECT_EQ(bytes, test::ReadWholeFile(Database()));
}

TEST_F(ReportServer, ImageRoadServesThePicturesAndAnswers404) {
    for (int32_t n = 3; n <= kLastImageNumber; ++n) {
        const THttpReply image = Report("id=7&img=1&imgind=" + std::to_string(n));
        EXPECT_EQ(200, image.Status) << n;
        EXPECT_EQ("image/gif", image.Header("Content-Type"));
        EXPECT_EQ(test::ReadWholeFile(Images() + "/" + std::string(ImageFileName(n))), image.Body) << n;
        EXPECT_EQ("GIF87a", image.Body.substr(0, 6));
    }
    // The pies are drawn by the MAIN page; until then there are none.
    for (const std::string imgind : {"1", "2", "0", "14", "x"}) {
        const THttpReply missing = Report("id=7&img=1&imgind=" + imgind);
        EXPECT_EQ(404, missing.Status) << imgind;
        EXPECT_EQ("text/html", missing.Header("Content-Type"));
    }
}

TEST_F(ReportServer, AccessListBehindBasicAuthentication) {
    ASSERT_EQ("Tallyvex2 DataBase successfully created!\n", Install());
    EXPECT_EQ(401, HttpGet(server_.Port(), "/cgi-bin/tlvxstat?id=7").Status);  // the server's own guard
    const THttpReply carol = Report("id=7", "carol");
    EXPECT_EQ(403, carol.Status);
    EXPECT_EQ(std::string(kForbiddenBody), carol.Body);
    EXPECT_EQ(200, Report("id=7", "ann").Status);
    // Past the server's guard, no user: refused on the guarded id only.
    EXPECT_EQ(403, Anonymous("id=7&page=times").Status);
    EXPECT_EQ(403, Anonymous("id=7&img=1&imgind=12").Status);
    EXPECT_EQ(200, Anonymous("id=8").Status);
    EXPECT_EQ(200, Report("id=8", "carol").Status);
}

// The general page redraws its pies on every view while other requests
// fetch them: every picture served is a whole one.
TEST_F(ReportServer, PiesServedBesideTheirRedrawingAreWhole) {
    ASSERT_EQ("Tallyvex2 DataBase successfully created!\n", Install());
    const std::vector<std::string> agents{"Mozilla/4.0 (compatible; MSIE 6.0; Windows NT 5.1)",
                                          "Opera/9.80 (Windows NT 6.1; U; ru) Presto/2.10.289",
                                          "Mozilla/5.0 (X11; Linux x86_64; rv:120.0) Gecko/20100101 Firefox/120.0"};
    const std::vector<std::string> languages{"ru,en;q=0.5", "en-us", "de-de", "uk"};
    for (size_t i = 0; i < 12; ++i)
        EXPECT_EQ(200, Hit("index", "User-Agent: " + agents[i % agents.size()] + "\r\nAccept-Language: " +
                                        languages[i % languages.size()] + "\r\n")
                           .Status);
    const THttpReply main = Report("id=7");
    ASSERT_EQ(200, main.Status);
    EXPECT_NE(std::string::npos, main.Body.find("img=1&imgind=1\" alt=\"Diagram of used languages\">"));

    std::atomic<int> broken{0}, served{0};
    std::vector<std::thread> threads;
    for (int t = 0; t < 2; ++t)
        threads.emplace_back([&] {
            for (int i = 0; i < 2; ++i)
                if (Report("id=7").Status != 200) ++broken;
        });
    for (int t = 0; t < 2; ++t)
        threads.emplace_back([&, t] {
            for (int i = 0; i < 5; ++i) {
                const THttpReply pie = Report("id=7&img=1&imgind=" + std::to_string(1 + (t + i) % 2));
                try {
                    const test::TDecodedGif gif =
                        test::DecodeWithGiflib(std::vector<uint8_t>(pie.Body.begin(), pie.Body.end()));
                    if (pie.Status != 200 || gif.width != 220 || gif.height != 220) ++broken;
                    else ++served;
                } catch (const std::exception&) {
                    ++broken;
                }
            }
        });
    for (std::thread& t : threads) t.join();
    EXPECT_EQ(0, broken.load()) << server_.ErrorLog();
    EXPECT_EQ(10, served.load());
    // Nothing but the pictures is left in the images directory.
    for (const fs::directory_entry& entry : fs::directory_iterator(Images()))
        EXPECT_TRUE(entry.path().extension() == ".gif") << entry.path();
}

// Hits sent to the counter come back on the pages page and the referrals
// page; a referrer's D link leads to its detail report.
TEST_F(ReportServer, PagesAndReferralsOfTheHitsSent) {
    ASSERT_EQ("Tallyvex2 DataBase successfully created!\n", Install());
    for (const std::string node : {"index", "news.sport", "news.sport", "about"})
        EXPECT_EQ(200, Hit(node, "Referer: http://www.search.example/q\r\n").Status);

    const std::string nodes = test::ContentArea(Report("id=7&page=nodes&kind=hits").Body);
    std::vector<std::string> names;
    for (const test::TTableRow& row : test::TableRows(nodes, "<h2>Pages:")) names.push_back(row.Cells.at(0));
    // The head, then the pages with hits of their own: not the group news.
    EXPECT_EQ((std::vector<std::string>{"&nbsp;", "news.sport", "about", "index"}), names);
    EXPECT_NE(std::string::npos, nodes.find("<p class=\"tableleft\">news</p>"));  // in the time diagram

    const std::string refs = test::ContentArea(Report("id=7&page=refs").Body);
    const std::vector<test::TTableRow> rows = test::TableRows(refs);
    ASSERT_EQ(3u, rows.size()) << refs;
    const std::string source = rows[2].Cells.at(0);
    EXPECT_NE(std::string::npos, source.find("SEARCH.EXAMPLE")) << source;
    EXPECT_EQ("4", rows[2].Cells.at(3));
    const std::string detail = rows[2].Attr("a", "href");
    ASSERT_EQ(0u, detail.find("/cgi-bin/tlvxstat?id=7&page=refs&podr=1&refname=")) << detail;
    const std::string report = test::ContentArea(Report(detail.substr(detail.find('?') + 1)).Body);
    EXPECT_NE(std::string::npos, report.find("<h1>Referral detailed statistics<br>" + source + "</h1>")) << report;
    EXPECT_EQ(3u, test::TableRows(report).size());
}

// Both programs at moments of the test's choice (report_server.h), asked
// under the site's own host, over a database installed at 00:01 on
// Sunday 2026-11-29.
class ClockedReport : public ::testing::Test {
protected:
    void SetUp() override {
        server_.SetHost("www.mysite.example");
        server_.SetClock(EncodeDateTime(2026, 11, 29, 0, 1));
        ASSERT_TRUE(server_.Install());
    }
    // One hit at when from client address 198.51.100.client.
    void Hit(double when, int client, const std::string& query) {
        server_.SetClock(when);
        const std::string from = "X-Forwarded-For: 198.51.100." + std::to_string(client) + "\r\n";
        ASSERT_EQ(200, server_.Count("id=site&" + query, from).Status) << server_.ErrorLog();
    }
    std::string Content(const std::string& query) { return test::ContentArea(server_.Report("id=site&" + query).Body); }
    // The first column of the figures the page lists in "tabletext" pairs.
    std::vector<std::string> Counts(const std::string& query) {
        const std::vector<std::string> cells = test::CellTexts(Content(query), "tabletext");
        std::vector<std::string> counts;
        for (size_t i = 0; i < cells.size(); i += 2) counts.push_back(cells[i]);
        return counts;
    }
    Ref<ICounter2> Open() {
        Ref<ICounter2> counter;
        OpenCounter2(server_.Database(), counter, TSkinStreams{}, true, "");
        EXPECT_TRUE(counter);
        return counter;
    }

    test::TReportServer server_{std::nullopt};
};

// Hits on every whole hour of the month's last day, at 23:59:59.999 and at
// the next midnight, each in its own hour, day and weekday; asked at 23:59
// the next day, the Pages page's ruler ends today.
TEST_F(ClockedReport, ExactHoursLandInTheirHourDayAndWeekday) {
    for (int hour = 0; hour < 24; ++hour) Hit(EncodeDateTime(2026, 11, 30, hour), hour + 1, "node=index");
    Hit(EncodeDateTime(2026, 11, 30, 23, 59, 59, 999), 30, "node=index");
    Hit(EncodeDateTime(2026, 12, 1), 31, "node=index");
    server_.SetClock(EncodeDateTime(2026, 12, 1, 23, 59));

    std::vector<std::string> hours(24, "1");
    hours.front() = hours.back() = "2";
    EXPECT_EQ(hours, Counts("page=times"));
    EXPECT_EQ((std::vector<std::string>{"25", "1", "0", "0", "0", "0", "0"}), Counts("page=weeks"));
    // The dynamics' figures: visitors, site views and hits of the whole
    // history, yesterday and today (three days of history).
    const std::string din = Content("page=din");
    std::vector<std::string> figures;
    const std::string cell = "<td align=center width=20 style=\"border-top:1px solid black;\">";
    for (size_t at = din.find(cell); at != std::string::npos; at = din.find(cell, at + 1))
        figures.push_back(test::TextBetween(din, cell, "</td>", at));
    ASSERT_EQ(9u, figures.size()) << din;
    EXPECT_EQ("25", figures[5]);
    EXPECT_EQ("1", figures[8]);
    const std::string nodes = Content("page=nodes");
    EXPECT_NE(std::string::npos, nodes.find("% align=right>01.12</td>\r\n</td></tr></table>")) << nodes;
}

// Without cookies, on a server that sets no URL variable: a referrer on the
// site's own host is the page before (no entry, no source of that name); an
// address back on each of three days is one of each day's visitors, and the
// root's visitors are the site's total.
TEST_F(ClockedReport, WithoutCookiesTheOwnHostIsThePreviousPageAndEachDayCountsItsVisitors) {
    const double day = EncodeDateTime(2026, 11, 30);
    Hit(day + 0.4, 7, "nocookies=1&node=index&referer=http%3A%2F%2Fwww.google.com%2Fsearch");
    Hit(day + 0.41, 7, "nocookies=1&node=news&referer=http%3A%2F%2Fwww.mysite.example%2Findex.html");
    Hit(day + 1.4, 7, "nocookies=1&node=index");
    Hit(day + 2.4, 7, "nocookies=1&node=index");
    Hit(day + 2.5, 8, "nocookies=1&node=index");
    server_.SetClock(day + 2.9);

    Ref<ICounter2> counter = Open();
    Ref<INodeCollection> nodes = counter->GetNodes();
    Ref<INodeInfo> root = nodes->GetRoot()->GetInfo();
    EXPECT_EQ((StringArray{"GOOGLE.COM", "UNKNOWN"}), root->GetSourceNames());
    EXPECT_EQ(0, nodes->GetNodeInfo("news", false)->GetEntries());
    EXPECT_EQ(4, nodes->GetNodeInfo("index", false)->GetEntries());
    EXPECT_EQ(1, root->GetDayVisitors(day, day));
    EXPECT_EQ(1, root->GetDayVisitors(day + 1, day + 1));
    EXPECT_EQ(2, root->GetDayVisitors(day + 2, day + 2));
    EXPECT_EQ(2, root->GetVisitors());
    EXPECT_EQ(2, counter->GetSettings().TotalVisitors);
    EXPECT_EQ(1, nodes->GetNodeInfo("news", false)->GetVisitors());
    counter.reset();
    EXPECT_EQ(std::string::npos, Content("page=refs").find("MYSITE.EXAMPLE"));
}

// Without cookies, an address seen on a day of last month and, with two
// others, on three days of this one: each day shows its three visitors; a
// month or total short of the whole history shows "---", the whole
// history's total the general page's three.
TEST_F(ClockedReport, TheCalendarCountsAVisitorOfSeveralDaysOnce) {
    Hit(EncodeDateTime(2026, 11, 30, 10), 1, "nocookies=1&node=index");
    for (int day = 3; day <= 5; ++day)
        for (int client = 1; client <= 3; ++client)
            for (int minute : {0, 1})
                Hit(EncodeDateTime(2026, 12, day, 10, client * 5 + minute), client, "nocookies=1&node=index");
    server_.SetClock(EncodeDateTime(2026, 12, 5, 18));
    const auto visitors = [this](const std::string& query, const std::string& heading) {
        return test::Column(test::BodyRows(Content(query), "<h2>" + heading + "</h2>", 1, 1), 3);
    };
    std::vector<std::string> december{"0", "0", "3", "3", "3"};
    december.resize(31, "&nbsp;");
    december.push_back("---");
    EXPECT_EQ(december, visitors("page=calendar", "December 2026"));
    std::string general;
    for (const test::TTableRow& row : test::TableRows(Content("page=main"), "<h2>TOTAL:</h2>"))
        if (row.Cells.at(0) == "Visitors") general = row.Cells.at(1);
    EXPECT_EQ("3", general);
    EXPECT_EQ((std::vector<std::string>{"---", "---", general}),
              visitors("page=calendar&period=all", "monthly for all period"));
}

}  // namespace
}  // namespace tlvx
