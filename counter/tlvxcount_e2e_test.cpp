// tlvxcount as a CGI program under lighttpd, spoken to over HTTP.
#include <gtest/gtest.h>

#include <atomic>
#include <filesystem>
#include <map>
#include <thread>

#include "counter/pixel_image.h"
#include "counter/tlvx_log_format.h"
#include "model/counter2.h"
#include "model/error_notes.h"
#include "platform/file.h"
#include "platform/testing/http_client.h"
#include "platform/testing/lighttpd.h"
#include "platform/testing/run_program.h"

namespace tlvx {
namespace {

using test::HttpGet;
using test::THttpReply;

std::string Bytes(const std::vector<uint8_t>& v) { return std::string(v.begin(), v.end()); }

// The name=value pairs of a reply's Set-Cookie headers, in order.
std::vector<std::pair<std::string, std::string>> SetCookies(const THttpReply& reply) {
    std::vector<std::pair<std::string, std::string>> cookies;
    for (const std::string& header : reply.All("Set-Cookie")) {
        std::string pair = header.substr(0, header.find(';'));
        size_t eq = pair.find('=');
        cookies.emplace_back(pair.substr(0, eq), pair.substr(eq + 1));
    }
    return cookies;
}

// A Cookie request header replaying what the reply set.
std::string CookieHeader(const THttpReply& reply) {
    std::string header = "Cookie: ";
    for (const auto& [name, value] : SetCookies(reply)) header += name + "=" + value + "; ";
    return header + "\r\n";
}

class CounterServer : public ::testing::Test {
protected:
    void SetUp() override {
        program_ = server_.InstallCgi(TLVX_TLVXCOUNT, "tlvxcount");
        WriteConf("");
        server_.Start();
    }
    void WriteConf(const std::string& extraBlockLines) {
        test::WriteWholeFile(server_.CgiDir() + "/tlvx2.conf",
                             "HostInterval=720\n<Base:7>\nDataBaseName=" + Database() +
                                 "\nBinaryLog=" + LogFile() + "\n" + extraBlockLines + "</Base>\n");
    }
    std::string Database() const { return server_.Dir() + "/seven.orv"; }
    std::string LogFile() const { return server_.Dir() + "/hits.log"; }
    std::string DefaultDatabase() const { return server_.CgiDir() + "/tlvxcount.orv"; }

    std::string Install(const std::vector<std::string>& env = {"PATH=/usr/bin:/bin"}) {
        return test::RunProgram({program_, "-install", "7"}, env).Out;
    }
    THttpReply Get(const std::string& query, const std::string& headers = "") {
        return HttpGet(server_.Port(), "/cgi-bin/tlvxcount" + query, headers);
    }
    // The database as it was committed, read through a read-only open.
    Ref<ICounter2> Open() {
        Ref<ICounter2> counter;
        OpenCounter2(Database(), counter, TSkinStreams{}, true, "");
        EXPECT_TRUE(counter);
        return counter;
    }
    TCounterSettings Settings() { return Open()->GetSettings(); }
    int32_t Reloads(const std::string& node) {
        Ref<ICounter2> counter = Open();
        Ref<INodeCollection> nodes = counter->GetNodes();
        Ref<INode> found = node.empty() ? nodes->GetRoot() : nodes->FindNode(node, false);
        return found ? found->GetInfo()->GetReloads() : -1;
    }

    test::TLighttpd server_;
    std::string program_;
};

TEST_F(CounterServer, WithoutDatabaseAnswersOnePixelAndCreatesNothing) {
    THttpReply black = Get("?id=7&node=main");
    EXPECT_EQ(200, black.Status);
    EXPECT_EQ("image/gif", black.Header("Content-Type"));
    EXPECT_EQ(Bytes(OnePixelGIF(0)), black.Body);
    ASSERT_EQ(799u, black.Body.size());
    EXPECT_EQ(std::string("\0\0\0", 3), black.Body.substr(13, 3));
    EXPECT_TRUE(black.All("Set-Cookie").empty());

    // BBGGRR: 0000FF is red.
    THttpReply red = Get("?id=7&style=point&color=0000ff");
    EXPECT_EQ(Bytes(OnePixelGIF(0x0000FF)), red.Body);
    EXPECT_EQ(std::string("\xFF\0\0", 3), red.Body.substr(13, 3));

    THttpReply ssi = Get("?call=Ssi&node=main");
    EXPECT_EQ(200, ssi.Status);
    EXPECT_EQ("text/html", ssi.Header("Content-Type"));
    EXPECT_EQ("0", ssi.Header("Content-Length"));
    EXPECT_EQ("", ssi.Body);

    EXPECT_FALSE(std::filesystem::exists(Database()));
    EXPECT_FALSE(std::filesystem::exists(DefaultDatabase()));
}

TEST_F(CounterServer, InstallRunsOnlyFromTheConsole) {
    // Started as a web server starts it, the switch is no install.
    std::string web = Install({"GATEWAY_INTERFACE=CGI/1.1", "REQUEST_METHOD=GET",
                               "QUERY_STRING=-INSTALL+7"});
    EXPECT_EQ(std::string::npos, web.find("DataBase"));
    EXPECT_NE(std::string::npos, web.find("Content-Type: image/gif"));
    EXPECT_FALSE(std::filesystem::exists(Database()));

    EXPECT_EQ("Tallyvex2 DataBase successfully created!\n\n", Install());
    ASSERT_TRUE(std::filesystem::exists(Database()));
    TCounterSettings fresh = Settings();
    EXPECT_EQ(0, fresh.TotalHits);
    EXPECT_EQ(720, fresh.DefaultInterval);
    // Again: the database is opened, left as it was, and reported.
    const std::string before = test::ReadWholeFile(Database());
    EXPECT_EQ("Tallyvex2 DataBase successfully created!\n\n", Install());
    EXPECT_EQ(before, test::ReadWholeFile(Database()));

    // A database file that cannot be made.
    test::WriteWholeFile(server_.CgiDir() + "/tlvx2.conf",
                         "<Base:7>\nDataBaseName=" + server_.Dir() + "/no/such/dir/x.orv\n</Base>\n");
    EXPECT_EQ("Tallyvex DataBase NOT created!!!\n\n", Install());
}

TEST_F(CounterServer, FirstHitThenReloadWithReplayedCookies) {
    ASSERT_EQ("Tallyvex2 DataBase successfully created!\n\n", Install());
    const std::string g = Open()->GetDatabaseGUIDString().substr(1, 36);

    THttpReply first = Get("?id=7&node=main", "Referer: http://www.example.com/index.html\r\n"
                                              "Accept-Language: ru,en;q=0.5\r\n");
    EXPECT_EQ(200, first.Status);
    EXPECT_EQ("image/gif", first.Header("Content-Type"));
    auto cookies = SetCookies(first);
    ASSERT_EQ(5u, cookies.size()) << first.Head;
    const std::string s = cookies[0].second;
    EXPECT_EQ(g, cookies[0].first);
    EXPECT_EQ(36u, s.size());
    EXPECT_EQ(g + "_lastdate", cookies[1].first);
    EXPECT_EQ(s + "_lastvisit", cookies[2].first);
    EXPECT_EQ("main", cookies[2].second);
    EXPECT_EQ(g + "_userid", cookies[3].first);
    EXPECT_EQ(36u, cookies[3].second.size());
    EXPECT_EQ(s + "_outref", cookies[4].first);
    EXPECT_EQ("EXAMPLE.COM", cookies[4].second);
    for (const std::string& header : first.All("Set-Cookie")) {
        EXPECT_NE(std::string::npos, header.find("; expires=")) << header;
        EXPECT_EQ(header.size() - 4, header.rfind(" GMT")) << header;
        EXPECT_EQ(std::string::npos, header.find("path=")) << header;
    }
    TCounterSettings one = Settings();
    EXPECT_EQ(1, one.TotalHits);
    EXPECT_EQ(1, one.TotalVisits);
    EXPECT_EQ(1, one.TotalVisitors);
    EXPECT_EQ("main", Open()->GetMainNodeName());
    // The picture shows the total with this hit: what the database draws.
    {
        TMemoryStream drawn;
        Open()->DrawCounterImage(&drawn, 0);
        EXPECT_TRUE(drawn.Text() == first.Body);
        EXPECT_EQ("GIF87a", first.Body.substr(0, 6));
    }

    // The browser sends the cookies back: a reload within the session.
    THttpReply second = Get("?id=7&node=main", CookieHeader(first));
    auto renewed = SetCookies(second);
    ASSERT_EQ(5u, renewed.size());
    EXPECT_EQ(cookies[0], renewed[0]);  // same session
    EXPECT_EQ(cookies[3], renewed[3]);  // same visitor
    EXPECT_EQ(cookies[4], renewed[4]);  // the session's outside referrer kept
    TCounterSettings two = Settings();
    EXPECT_EQ(2, two.TotalHits);
    EXPECT_EQ(1, two.TotalVisits);
    EXPECT_EQ(1, two.TotalVisitors);
    EXPECT_EQ(1, Reloads("main"));
    EXPECT_EQ(1, Reloads(""));
    {
        Ref<ICounter2> counter = Open();
        Ref<INodeInfo> info = counter->GetNodes()->FindNode("main", false)->GetInfo();
        EXPECT_EQ(2, info->GetHits());
        EXPECT_EQ(1, info->GetEntries());
        EXPECT_EQ(1, info->GetExits());  // a reload is still one exit
    }

    // The next page of the session: an exit moves from main to news.
    THttpReply third = Get("?id=7&node=news", CookieHeader(second));
    ASSERT_EQ(5u, SetCookies(third).size());
    {
        Ref<ICounter2> counter = Open();
        Ref<INodeCollection> nodes = counter->GetNodes();
        EXPECT_EQ(0, nodes->FindNode("main", false)->GetInfo()->GetExits());
        EXPECT_EQ(1, nodes->FindNode("news", false)->GetInfo()->GetExits());
        EXPECT_EQ(0, nodes->FindNode("news", false)->GetInfo()->GetEntries());
        EXPECT_EQ("main->news", counter->GetPaths()->GetPath(*StrToGuid("{" + s + "}")));
    }

    // A hit log record per hit, all on today's page.
    const std::string log = test::ReadWholeFile(LogFile());
    ASSERT_GT(log.size(), 46u + 20u);
    EXPECT_EQ("TLVX2-BINARY-LOG", log.substr(0, 16));
    EXPECT_EQ(std::string("\x01\x00\x00\x00\x2E\x00\x00\x00", 8), log.substr(18, 8));
    EXPECT_EQ("TLVX2PAGE", log.substr(46, 9));
    EXPECT_EQ(3, uint8_t(log[46 + 13]));
}

TEST_F(CounterServer, AnswersPixelSsiAndSkinsByteExact) {
    ASSERT_EQ("Tallyvex2 DataBase successfully created!\n\n", Install());
    THttpReply white = Get("?id=7&node=p&style=point");
    EXPECT_EQ("image/gif", white.Header("Content-Type"));
    EXPECT_EQ(Bytes(OnePixelGIF(0xFFFFFF)), white.Body);
    THttpReply blue = Get("?id=7&node=p&style=point&color=FF0000");
    EXPECT_EQ(Bytes(OnePixelGIF(0xFF0000)), blue.Body);
    EXPECT_EQ(std::string("\0\0\xFF", 3), blue.Body.substr(13, 3));
    // "Point" is no point: the counter image.
    THttpReply capital = Get("?id=7&node=p&style=Point");
    EXPECT_GT(capital.Body.size(), 799u);

    THttpReply ssi = Get("?id=7&node=s&call=SSI");
    EXPECT_EQ("text/html", ssi.Header("Content-Type"));
    EXPECT_EQ("", ssi.Body);
    EXPECT_EQ(5u, SetCookies(ssi).size());

    // A skin that is no number draws skin 0 and keeps the hit.
    THttpReply bad = Get("?id=7&node=k&skin=abc");
    EXPECT_EQ("image/gif", bad.Header("Content-Type"));
    auto drawn = [this] {
        TMemoryStream gif;
        Open()->DrawCounterImage(&gif, 0);
        return gif.Text();
    };
    EXPECT_TRUE(drawn() == bad.Body);
    EXPECT_EQ(5, Settings().TotalHits);
    // A skin that does not exist draws skin 0 too.
    THttpReply missing = Get("?id=7&node=k&skin=99");
    EXPECT_TRUE(drawn() == missing.Body);
    EXPECT_EQ(6, Settings().TotalHits);
}

TEST_F(CounterServer, HeaderInjectionReachesNoHeader) {
    ASSERT_EQ("Tallyvex2 DataBase successfully created!\n\n", Install());
    const std::string query =
        "?id=7&node=x%0D%0ASet-Cookie:%20evil=1%0D%0AX-Evil:%201"
        "&referer=http://a.example%0D%0AX-Evil:%202/";
    THttpReply first = Get(query, "Referer: http://b.example/\r\n");
    ASSERT_EQ(200, first.Status);
    for (const auto& [name, value] : first.Headers) {
        EXPECT_NE("X-Evil", name);
        EXPECT_EQ(std::string::npos, value.find_first_of("\r\n")) << name;
        if (name == "Set-Cookie") {
            EXPECT_NE("evil=", value.substr(0, 5));
        }
    }
    EXPECT_EQ(std::string::npos, first.Head.find("\nX-Evil"));
    EXPECT_EQ(std::string::npos, first.Head.find("\nSet-Cookie: evil"));
    auto cookies = SetCookies(first);
    ASSERT_EQ(5u, cookies.size());
    EXPECT_EQ("x%0D%0ASet-Cookie:%20evil=1%0D%0AX-Evil:%201", cookies[2].second);

    // The node comes back whole: the second hit is the same page.
    Get(query, CookieHeader(first));
    EXPECT_EQ(1, Reloads("x\r\nSet-Cookie: evil=1\r\nX-Evil: 1"));
}

TEST_F(CounterServer, GarbledCookiesCostOnlyTheirIds) {
    ASSERT_EQ("Tallyvex2 DataBase successfully created!\n\n", Install());
    const std::string g = Open()->GetDatabaseGUIDString().substr(1, 36);
    THttpReply reply = Get("?id=7&node=main", "Cookie: " + g + "=garbage; " + g +
                                                  "_userid=also-garbage; " + g +
                                                  "_lastdate=yesterday\r\n");
    auto cookies = SetCookies(reply);
    ASSERT_EQ(5u, cookies.size());
    EXPECT_NE("garbage", cookies[0].second);
    EXPECT_TRUE(StrToGuid("{" + cookies[3].second + "}").has_value());
    EXPECT_EQ(1, Settings().TotalHits);
}

TEST_F(CounterServer, BrokenHitLogCostsOnlyTheRecord) {
    ASSERT_EQ("Tallyvex2 DataBase successfully created!\n\n", Install());
    std::filesystem::create_directories(LogFile());  // a directory: no log opens
    THttpReply reply = Get("?id=7&node=main");
    EXPECT_EQ("image/gif", reply.Header("Content-Type"));
    EXPECT_EQ(5u, SetCookies(reply).size());
    EXPECT_GT(reply.Body.size(), 799u);
    EXPECT_EQ(1, Settings().TotalHits);
}

TEST_F(CounterServer, SkippedAddressesAreNotCounted) {
    WriteConf("SkipNetwork=10.1.2.3/24\n");
    ASSERT_EQ("Tallyvex2 DataBase successfully created!\n\n", Install());
    // Host bits set: the entry matches nothing.
    EXPECT_EQ(5u, SetCookies(Get("?id=7&node=main")).size());
    EXPECT_EQ(1, Settings().TotalHits);
    WriteConf("SkipNetwork=127.0.0.0/8\n");
    THttpReply skipped = Get("?id=7&node=main");
    EXPECT_EQ("image/gif", skipped.Header("Content-Type"));
    EXPECT_TRUE(skipped.All("Set-Cookie").empty());
    EXPECT_EQ(1, Settings().TotalHits);
}

TEST_F(CounterServer, DottedNodesCountGroupVisitsOnTheirParents) {
    ASSERT_EQ("Tallyvex2 DataBase successfully created!\n\n", Install());
    Get("?id=7&node=a.b");  // one visitor makes a and a.b
    THttpReply first = Get("?id=7&node=a.b.c");  // a second visitor, new to all three
    Get("?id=7&node=a.b.c", CookieHeader(first));  // the same visit again: nothing more
    Ref<ICounter2> counter = Open();
    Ref<INodeCollection> nodes = counter->GetNodes();
    auto group = [&](const char* path) {
        Ref<INodeInfo> info = nodes->FindNode(path, false)->GetInfo();
        return std::make_pair(info->GetGroupVisits(), info->GetGroupVisitors());
    };
    EXPECT_EQ(std::make_pair(2, 2), group("a"));
    EXPECT_EQ(std::make_pair(1, 1), group("a.b"));
    EXPECT_EQ(std::make_pair(0, 0), group("a.b.c"));
    EXPECT_EQ(2, nodes->FindNode("a.b.c", false)->GetInfo()->GetHits());
    EXPECT_EQ(2, nodes->FindNode("a.b", false)->GetInfo()->GetGroupHits());
    EXPECT_EQ(3, nodes->FindNode("a", false)->GetInfo()->GetGroupHits());
}

size_t Occurrences(const std::string& text, const std::string& part) {
    size_t n = 0;
    for (size_t at = text.find(part); at != std::string::npos; at = text.find(part, at + 1)) ++n;
    return n;
}

// A node path beyond 255 bytes or 16 names is answered as a skipped hit on
// both roads: the picture, no cookie, nothing stored, one line in the log.
// (A path of 1,000 names held the lock for seconds and added megabytes.)
TEST_F(CounterServer, NodePathsBeyondTheLimitsAreNotRecorded) {
    ASSERT_EQ("Tallyvex2 DataBase successfully created!\n\n", Install());
    const auto installed = std::filesystem::file_size(Database());
    std::string bomb, deep;
    for (int i = 0; i < 1000; ++i) bomb += "a.";
    for (int i = 0; i < 17; ++i) deep.append("n").append(std::to_string(i)).append(".");
    for (const std::string& node : {bomb, deep, std::string(256, 'x')})
        for (const char* road : {"", "&nocookies=1"}) {
            THttpReply reply = Get("?id=7&node=" + node + road);
            EXPECT_EQ("image/gif", reply.Header("Content-Type"));
            EXPECT_GT(reply.Body.size(), 799u);  // the counter, not the pixel of a failure
            EXPECT_TRUE(reply.All("Set-Cookie").empty());
        }
    EXPECT_EQ(0, Settings().TotalHits);
    EXPECT_EQ(installed, std::filesystem::file_size(Database()));
    EXPECT_EQ(6u, Occurrences(server_.ErrorLog(), "its node path")) << server_.ErrorLog();

    // At the limits: 16 names in 255 bytes are counted, at a bounded cost.
    std::string deepest;
    for (int i = 0; i < 16; ++i) {
        if (i) deepest += '.';
        deepest.append(15, char('a' + i));
    }
    ASSERT_EQ(255u, deepest.size());
    THttpReply counted = Get("?id=7&node=" + deepest);
    auto cookies = SetCookies(counted);
    ASSERT_EQ(5u, cookies.size());
    EXPECT_EQ(deepest, cookies[2].second);
    EXPECT_EQ(1, Settings().TotalHits);
    EXPECT_TRUE(Open()->GetNodes()->NodeExists(deepest));
    EXPECT_LT(std::filesystem::file_size(Database()) - installed, 256u * 1024);

    // A last-visit cookie no hit could have written reads as none: the next
    // page is the session's entry, and the forged page is no previous page.
    std::string header = "Cookie: ";
    cookies[2].second = std::string(256, 'x');
    for (const auto& [name, value] : cookies) header += name + "=" + value + "; ";
    Get("?id=7&node=main", header + "\r\n");
    Ref<ICounter2> counter = Open();
    EXPECT_EQ(1, counter->GetNodes()->FindNode("main", false)->GetInfo()->GetEntries());
    EXPECT_EQ(2, counter->GetSettings().TotalHits);
}

TEST_F(CounterServer, HitWithoutNodeCountsTheSiteOnce) {
    WriteConf("CanAddNode=0\n");
    ASSERT_EQ("Tallyvex2 DataBase successfully created!\n\n", Install());
    THttpReply reply = Get("?id=7", "User-Agent: Mozilla/5.0\r\n");
    EXPECT_GT(reply.Body.size(), 799u);
    EXPECT_TRUE(reply.All("Set-Cookie").empty());
    // A node the configuration does not let hits create: the browser count
    // does not make it either.
    Get("?id=7&node=fresh", "User-Agent: Mozilla/5.0\r\n");
    Ref<ICounter2> counter = Open();
    EXPECT_EQ(2, counter->GetSettings().TotalHits);
    Ref<INodeCollection> nodes = counter->GetNodes();
    EXPECT_FALSE(nodes->NodeExists("fresh"));
    EXPECT_EQ(2, nodes->GetRoot()->GetInfo()->GetBrowsers()->Count(0xFF));
    EXPECT_EQ(2, nodes->GetRoot()->GetInfo()->GetHits());
}

TEST_F(CounterServer, HitsWithoutCookiesCountByAddress) {
    ASSERT_EQ("Tallyvex2 DataBase successfully created!\n\n", Install());
    THttpReply first = Get("?id=7&node=main&nocookies=1");
    EXPECT_TRUE(first.All("Set-Cookie").empty());
    EXPECT_GT(first.Body.size(), 799u);
    Get("?id=7&node=main&nocookies=1");
    Get("?id=7&node=&nocookies=1");  // no node: nothing
    TCounterSettings s = Settings();
    EXPECT_EQ(2, s.TotalHits);
    EXPECT_EQ(1, s.TotalVisits);
    EXPECT_EQ(1, s.TotalVisitors);
    EXPECT_FALSE(std::filesystem::exists(LogFile()));
}

// Parallel hits queue for the database's lock, in arrival order, each for up
// to 3 s: the last of n clients waits for the n - 1 ahead of it. The sanitizer
// tree's program holds the lock some ten times as long as the release one
// (up to 0.4 s on a busy machine), so there a shorter queue makes the same
// demand of the wait, and fewer hits keep the run as short.
#if defined(__SANITIZE_ADDRESS__)
constexpr int kParallelClients = 4, kHitsPerParallelClient = 25;
#else
constexpr int kParallelClients = 8, kHitsPerParallelClient = 250;
#endif

TEST_F(CounterServer, ParallelClientsLoseNoHit) {
    ASSERT_EQ("Tallyvex2 DataBase successfully created!\n\n", Install());
    constexpr int kClients = kParallelClients, kHits = kHitsPerParallelClient;
    std::atomic<int> pictures{0}, others{0};
    std::vector<std::thread> clients;
    for (int c = 0; c < kClients; ++c)
        clients.emplace_back([&, c] {
            THttpReply last;
            for (int i = 0; i < kHits; ++i) {
                // Each client is one visitor going round three pages.
                const std::string node = "page" + std::to_string(i % 3);
                last = Get("?id=7&node=" + node, i ? CookieHeader(last) : "");
                // 799 bytes would be the pixel of an open that gave up.
                if (last.Status == 200 && last.Body.size() > 799 && SetCookies(last).size() == 5)
                    ++pictures;
                else
                    ++others;
                (void)c;
            }
        });
    for (auto& t : clients) t.join();
    EXPECT_EQ(0, others.load()) << server_.ErrorLog();
    EXPECT_EQ(kClients * kHits, pictures.load());
    TCounterSettings s = Settings();
    EXPECT_EQ(kClients * kHits, s.TotalHits);
    EXPECT_EQ(kClients, s.TotalVisitors);
    EXPECT_EQ(kClients, s.TotalVisits);
}

TEST_F(CounterServer, HitThatCannotGetTheDatabaseSaysSoInTheErrorLog) {
    ASSERT_EQ("Tallyvex2 DataBase successfully created!\n\n", Install());
    {
        // A reader that holds on for longer than a hit waits.
        auto reader = RealFileSystem().Open(Database(), TFileAccess::Read, TDisposition::OpenExisting);
        THttpReply reply = Get("?id=7&node=main");
        EXPECT_EQ(200, reply.Status);
        EXPECT_EQ(Bytes(OnePixelGIF(kNoDatabaseColor)), reply.Body);
        EXPECT_TRUE(reply.All("Set-Cookie").empty());
    }
    const std::string log = server_.ErrorLog();
    EXPECT_NE(std::string::npos, log.find("hit not counted")) << log;
    EXPECT_NE(std::string::npos, log.find(Database())) << log;
    EXPECT_NE(std::string::npos, log.find("still locked by another open: no request finished with it for 3000 ms")) << log;
    EXPECT_EQ(0, Settings().TotalHits);
}

}  // namespace
}  // namespace tlvx
