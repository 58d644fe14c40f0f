// The routines over a counter database, against a site whose every hit went
// through the counter program's own hit road (cookies, sessions, entries,
// exits and referrers as a browser sends them) under a fixed clock. The
// expected figures come from the plan of hits alone.
#include "webstat/report_queries.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <cmath>
#include <cstdlib>
#include <filesystem>
#include <map>
#include <memory>
#include <set>
#include <sstream>

#include "counter/hit_roads.h"
#include "model/error_notes.h"
#include "model/host.h"
#include "model/testing/skin_pictures.h"
#include "platform/clock.h"
#include "platform/format_date_time.h"
#include "platform/html_escape.h"
#include "platform/integer_ratio.h"
#include "platform/testing/fixed_sources.h"
#include "platform/testing/temp_dir.h"
#include "platform/web_fields.h"
#include "webstat/report_math.h"

namespace tlvx {
namespace {

// One visit: a visitor, the page it came from, the pages it saw a minute
// apart.
struct TSession {
    int Visitor = 0;
    double Start = 0;
    std::string Referer;
    std::vector<std::string> Pages;
};

// A browser: its address and the cookies it keeps until they expire.
struct TBrowser {
    std::string Address;
    std::vector<TWebCookie> Jar;

    std::string CookieHeader(double now) {
        std::erase_if(Jar, [&](const TWebCookie& c) { return c.Expires > 0 && c.Expires <= now; });
        std::string header;
        for (const TWebCookie& c : Jar) {
            if (!header.empty()) header += "; ";
            header += c.Name + "=" + EncodeCookieValue(c.Value);
        }
        return header;
    }
    void Keep(const std::vector<TWebCookie>& cookies) {
        for (const TWebCookie& c : cookies) {
            std::erase_if(Jar, [&](const TWebCookie& old) { return old.Name == c.Name; });
            Jar.push_back(c);
        }
    }
};

const char* const kPages[] = {"index", "news", "news.a", "news.b", "shop", "shop.cart.pay"};
const char* const kReferers[] = {"http://www.search.example/q?counter", "http://news.example/a",
                                 "", "http://www.mysite.example/links"};
constexpr const char* kOwnHost = "mysite.example";

// What the plan says: hits per page and day, the site's hits per day,
// sessions' first and last pages, and transitions per source host and day.
struct TSite {
    TTestTempDir Dir;
    std::string Path = Dir.File("site.orv");
    int32_t FirstDay = 0, LastDay = 0;
    std::map<std::string, std::map<int32_t, int64_t>> PageDayHits;
    std::map<int32_t, int64_t> SiteDayHits;
    std::map<std::string, int32_t> Entries, Exits;
    std::map<std::string, std::map<int32_t, int32_t>> SourceDayTransitions;
};

std::vector<TSession> PlanOfDay(int32_t day, int32_t index) {
    std::vector<TSession> sessions;
    const int count = (index * 5 + 3) % 6;  // some days have none
    for (int s = 0; s < count; ++s) {
        TSession session;
        session.Visitor = (index * 3 + s) % 8;
        session.Start = day + (8 + 2 * s) / 24.0 + (index % 7) / 1440.0;
        session.Referer = kReferers[(index + s * 3) % 4];
        const int pages = 1 + (index + s) % 4;
        for (int k = 0; k < pages; ++k) session.Pages.push_back(kPages[(index * 7 + s * 3 + k * 5) % 6]);
        sessions.push_back(session);
    }
    return sessions;
}

std::unique_ptr<TSite> BuildSite() {
    auto site = std::make_unique<TSite>();
    TSettableClock clock;
    TSequenceGuids guids;
    SetClock(&clock);
    SetGuidSource(&guids);
    test::TDefaultSkinPictures pictures;
    std::vector<TBrowser> browsers(8);
    for (size_t v = 0; v < browsers.size(); ++v) browsers[v].Address = "200.1.2." + std::to_string(10 + v);

    site->FirstDay = int32_t(EncodeDateTime(2026, 1, 20));
    site->LastDay = int32_t(EncodeDateTime(2026, 3, 3));
    for (int32_t day = site->FirstDay; day <= site->LastDay; ++day) {
        // One transaction a day, as a busy site's requests would see it; the
        // hits are those of single requests all the same.
        ResetErrorNotes();
        Ref<ICounter2> counter;
        OpenCounter2(site->Path, counter, pictures.Pointers(), false, "");
        EXPECT_TRUE(counter);
        if (!counter) return site;
        for (const TSession& session : PlanOfDay(day, day - site->FirstDay)) {
            TBrowser& browser = browsers[size_t(session.Visitor)];
            for (size_t k = 0; k < session.Pages.size(); ++k) {
                const std::string& page = session.Pages[k];
                clock.now = session.Start + double(k) / 1440;
                TMapEnvironment env({{"REQUEST_METHOD", "GET"},
                                     {"QUERY_STRING", "id=7&node=" + UrlArg(page)},
                                     {"REMOTE_ADDR", browser.Address},
                                     {"HTTP_USER_AGENT", "Mozilla/5.0 (X11; Linux x86_64)"},
                                     {"HTTP_ACCEPT_LANGUAGE", "ru,en;q=0.5"},
                                     {"HTTP_COOKIE", browser.CookieHeader(clock.now)}});
                if (k == 0 && !session.Referer.empty()) env.Set("HTTP_REFERER", session.Referer);
                const TWebRequest request(env, nullptr);
                std::ostringstream out;
                TWebResponse response(out);
                HitWithCookies(request, response, *counter, false, TBaseConf::Defaults());
                EXPECT_FALSE(ErrorFlag()) << page << " " << clock.now;
                browser.Keep(response.Cookies());

                ++site->PageDayHits[page][day];
                ++site->SiteDayHits[day];
            }
            ++site->Entries[session.Pages.front()];
            ++site->Exits[session.Pages.back()];
            const std::string source = NormaliseHost(session.Referer);
            if (!source.empty()) ++site->SourceDayTransitions[source][day];
        }
        counter.reset();  // commits the day
    }
    SetClock(nullptr);
    SetGuidSource(nullptr);
    ResetErrorNotes();
    return site;
}

class ReportQueriesTest : public ::testing::Test {
protected:
    static void SetUpTestSuite() {
        // Built in memory where the machine has a tmpfs: the commits of its
        // hits then sync nothing, and the site takes a fraction of the time.
        const char* old = std::getenv("TMPDIR");
        const std::string saved = old ? old : "";
        if (std::filesystem::is_directory("/dev/shm")) setenv("TMPDIR", "/dev/shm", 1);
        site_ = BuildSite().release();
        if (old) setenv("TMPDIR", saved.c_str(), 1);
        else unsetenv("TMPDIR");
    }
    static void TearDownTestSuite() {
        delete site_;
        site_ = nullptr;
    }
    void SetUp() override {
        SetClock(&clock_);
        ResetErrorNotes();
        OpenCounter2(site_->Path, counter_, TSkinStreams{}, true, "");
        ASSERT_TRUE(counter_);
    }
    void TearDown() override {
        counter_.reset();
        SetClock(nullptr);
        EXPECT_FALSE(ErrorFlag());
        ResetErrorNotes();
    }

    // The plan's hits of path (the site for "") on day, with every page
    // below path when subtree is set.
    int64_t PlannedHits(const std::string& path, bool subtree, int32_t day) const {
        int64_t sum = 0;
        if (path.empty()) {
            auto it = site_->SiteDayHits.find(day);
            sum += it == site_->SiteDayHits.end() ? 0 : it->second;
        }
        for (const auto& [page, days] : site_->PageDayHits) {
            const bool own = page == path;
            const bool below = subtree && (path.empty() || page.starts_with(path + "."));
            if (!own && !below) continue;
            auto it = days.find(day);
            sum += it == days.end() ? 0 : it->second;
        }
        return sum;
    }

    static TSite* site_;
    TSettableClock clock_;
    Ref<ICounter2> counter_;
};

TSite* ReportQueriesTest::site_ = nullptr;

TEST_F(ReportQueriesTest, NodePathLists) {
    const StringArray all = ListAllNodePaths(*counter_);
    const std::set<std::string> expected = {"index", "news", "news.a", "news.b", "shop", "shop.cart",
                                            "shop.cart.pay"};
    EXPECT_EQ(std::set<std::string>(all.begin(), all.end()), expected);
    // Each parent before what lies below it.
    for (size_t i = 0; i < all.size(); ++i)
        for (size_t j = 0; j < i; ++j) EXPECT_FALSE(all[j].starts_with(all[i] + ".")) << all[j];
    StringArray groups;
    for (const std::string& p : all)
        if (p == "news" || p == "shop" || p == "shop.cart") groups.push_back(p);
    EXPECT_EQ(ListGroupPaths(*counter_), groups);
}

// Every period code on days around the history's ends and around the
// starts of weeks (Sundays) and months: the history runs from Tuesday
// 2026-01-20 to Tuesday 2026-03-03; 1 February and 1 March are Sundays. For
// the site, groups, pages and a missing path.
std::vector<int32_t> Todays() {
    std::vector<int32_t> todays;
    for (const auto& [month, day] : {std::pair{1, 19}, {1, 20}, {1, 24}, {1, 25}, {1, 26}, {1, 31}, {2, 1},
                                    {2, 2}, {2, 14}, {2, 15}, {2, 28}, {3, 1}, {3, 2}, {3, 3}, {3, 4},
                                    {3, 10}, {3, 11}, {4, 2}, {4, 3}, {4, 4}})
        todays.push_back(int32_t(EncodeDateTime(2026, month, day)));
    return todays;
}

TEST_F(ReportQueriesTest, PeriodSums) {
    const std::string paths[] = {"", "news", "news.a", "shop", "shop.cart", "shop.cart.pay", "nosuch"};
    int nonZero = 0;
    for (const std::string& path : paths) {
        Ref<INode> node = path.empty() ? counter_->GetNodes()->GetRoot() : counter_->GetNodes()->FindNode(path, false);
        for (bool subtree : {false, true}) {
            // The node's visit figures of each day of the history, asked one
            // day at a time; the plan has no hits outside it.
            std::map<int32_t, std::array<int64_t, 3>> days;
            for (int32_t d = site_->FirstDay; node && (path == "" || path == "news") && d <= site_->LastDay; ++d)
                days[d] = {node->GetDayVisits(subtree, d, d), node->GetDayNewVisitors(subtree, d, d),
                           node->GetDayVisitors(subtree, d, d)};
            for (const int32_t today : Todays()) {
                const double now = today + 0.75;
                SCOPED_TRACE("today " + FormatDateTime("dd.mm.yyyy", today) + " path \"" + path + "\"" +
                             (subtree ? " subtree" : ""));
                for (int32_t code = 0; code <= 5; ++code) {
                    const TDayRange range = *PeriodRange(TPeriod(code), now);
                    int64_t hits = 0;
                    std::array<int64_t, 3> visits{};
                    for (auto d = int32_t(range.From); d <= int32_t(range.To); ++d) {
                        if (!node) continue;
                        hits += PlannedHits(path, subtree, d);
                        if (auto it = days.find(d); it != days.end())
                            for (size_t k = 0; k < 3; ++k) visits[k] += it->second[k];
                    }
                    ASSERT_EQ(PeriodHits(*counter_, TPeriod(code), path, subtree, now), hits) << "code " << code;
                    nonZero += hits > 0;
                    // The visit figures take the same road: two paths are enough.
                    if (path != "" && path != "news") continue;
                    ASSERT_EQ(PeriodVisits(*counter_, TPeriod(code), path, subtree, now), visits[0]) << "code " << code;
                    ASSERT_EQ(PeriodNewVisitors(*counter_, TPeriod(code), path, subtree, now), visits[1])
                        << "code " << code;
                    ASSERT_EQ(PeriodVisitors(*counter_, TPeriod(code), path, subtree, now), visits[2])
                        << "code " << code;
                }
                for (int32_t code : {-1, 7, 1000}) {
                    ASSERT_EQ(PeriodHits(*counter_, TPeriod(code), path, subtree, now), 0);
                    ASSERT_EQ(PeriodVisitors(*counter_, TPeriod(code), path, subtree, now), 0);
                }
            }
        }
    }
    EXPECT_GT(nonZero, 500);
}

TEST_F(ReportQueriesTest, AllTimeTotals) {
    clock_.now = site_->LastDay + 0.5;
    for (const std::string path : {"", "news", "news.a", "shop.cart"}) {
        for (bool subtree : {false, true}) {
            int64_t hits = 0;
            for (int32_t d = site_->FirstDay; d <= site_->LastDay; ++d) hits += PlannedHits(path, subtree, d);
            Ref<INodeInfo> info = path.empty() ? counter_->GetNodes()->GetRoot()->GetInfo()
                                               : counter_->GetNodes()->GetNodeInfo(path, false);
            // Top-level pages have no parent link to the root, so the root's
            // group figures stay as they are: its total with the subtree is
            // its own, not the day records of every page added again.
            if (path.empty() && subtree) hits = info->GetHits() + info->GetGroupHits();
            EXPECT_EQ(PeriodHits(*counter_, TPeriod::AllTime, path, subtree, clock_.now), hits) << path << subtree;
            EXPECT_EQ(PeriodVisits(*counter_, TPeriod::AllTime, path, subtree, clock_.now),
                      info->GetVisits() + (subtree ? info->GetGroupVisits() : 0));
            EXPECT_EQ(PeriodVisitors(*counter_, TPeriod::AllTime, path, subtree, clock_.now),
                      info->GetVisitors() + (subtree ? info->GetGroupVisitors() : 0));
            EXPECT_EQ(PeriodNewVisitors(*counter_, TPeriod::AllTime, path, subtree, clock_.now),
                      PeriodVisitors(*counter_, TPeriod::AllTime, path, subtree, clock_.now));
        }
    }
    EXPECT_EQ(PeriodHits(*counter_, TPeriod::AllTime, "nosuch", true, clock_.now), 0);
    EXPECT_EQ(PeriodHits(*counter_, TPeriod::AllTime, "", false, clock_.now), counter_->GetSettings().TotalHits);
}

TEST_F(ReportQueriesTest, HotPageOfEveryDay) {
    EXPECT_EQ(counter_->GetMainNodeName(), "index");
    const StringArray order = ListAllNodePaths(*counter_);
    int ties = 0, empty = 0;
    for (int32_t day = site_->FirstDay - 1; day <= site_->LastDay + 1; ++day) {
        THotItem expected;
        int64_t best = 0;
        int bestTies = 0;
        for (const std::string& path : order) {
            if (path == "index") continue;
            const auto& days = site_->PageDayHits[path];
            const auto it = days.find(day);
            const int64_t hits = it == days.end() ? 0 : it->second;
            if (hits > best) best = hits, expected = {int32_t(hits), path}, bestTies = 0;
            else if (hits == best && hits > 0) ++bestTies;
        }
        ties += bestTies > 0;
        empty += expected.Count == 0;
        const THotItem got = HotPage(*counter_, day + 0.25);
        EXPECT_EQ(got.Count, expected.Count) << FormatDateTime("dd.mm.yyyy", day);
        EXPECT_EQ(got.Name, expected.Name) << FormatDateTime("dd.mm.yyyy", day);
    }
    EXPECT_GT(ties, 0);   // the first of equal pages won somewhere
    EXPECT_GT(empty, 2);  // days without hits: 0 and no name
}

TEST_F(ReportQueriesTest, HotReferralOfEveryDay) {
    int ownWouldWin = 0, found = 0;
    const StringArray sources = counter_->GetNodes()->GetRoot()->GetInfo()->GetSourceNames();
    for (int32_t day = site_->FirstDay - 1; day <= site_->LastDay + 1; ++day) {
        THotItem expected;
        int32_t own = 0;
        for (const std::string& source : sources) {
            const auto& days = site_->SourceDayTransitions[source];
            const auto it = days.find(day);
            const int32_t n = it == days.end() ? 0 : it->second;
            if (source == "MYSITE.EXAMPLE") {
                own = n;
                continue;
            }
            if (source != "UNKNOWN" && n > expected.Count) expected = {n, source};
        }
        ownWouldWin += own > expected.Count;
        found += expected.Count > 0;
        const THotItem got = HotReferral(*counter_, kOwnHost, day);
        EXPECT_EQ(got.Count, expected.Count) << FormatDateTime("dd.mm.yyyy", day);
        EXPECT_EQ(got.Name, expected.Name) << FormatDateTime("dd.mm.yyyy", day);
        // Without an own host, the site's own pages count as a referrer.
        if (own > expected.Count) {
            EXPECT_EQ(HotReferral(*counter_, "", day).Name, "MYSITE.EXAMPLE");
        }
    }
    EXPECT_GT(ownWouldWin, 0);
    EXPECT_GT(found, 10);
}

TEST_F(ReportQueriesTest, BestEntryAndExitPages) {
    auto best = [](const std::map<std::string, int32_t>& counts, const StringArray& order, int32_t& max,
                   int64_t& total) {
        std::string page;
        max = 0, total = 0;
        for (const std::string& path : order) {
            const auto it = counts.find(path);
            const int32_t n = it == counts.end() ? 0 : it->second;
            total += n;  // the main page "index" too: shares are of all entries
            if (path != "index" && n > max) max = n, page = path;
        }
        return page;
    };
    const StringArray order = ListAllNodePaths(*counter_);
    int32_t entryMax, exitMax;
    int64_t entryTotal, exitTotal;
    const std::string entryPage = best(site_->Entries, order, entryMax, entryTotal);
    const std::string exitPage = best(site_->Exits, order, exitMax, exitTotal);
    ASSERT_GT(entryTotal, 0);
    ASSERT_GT(exitTotal, 0);

    TEntryExitPages got;
    BestEntryExitPages(*counter_, got);
    EXPECT_EQ(got.EntryPage, entryPage);
    EXPECT_EQ(got.ExitPage, exitPage);
    EXPECT_EQ(got.EntryCount, entryMax);
    EXPECT_EQ(got.ExitCount, exitMax);
    // Halves to even, as the floating-point unit rounds small exact ratios.
    EXPECT_EQ(got.EntryShare, int32_t(std::nearbyint(100.0 * entryMax / double(entryTotal))));
    EXPECT_EQ(got.ExitShare, int32_t(std::nearbyint(100.0 * exitMax / double(exitTotal))));

    // A caller's counts and shares stay when there is nothing to count.
    TEntryExitPages none{"x", "y", 5, 6, 7, 8};
    Ref<ICounter2> empty;
    TTestTempDir dir;
    test::TDefaultSkinPictures pictures;
    OpenCounter2(dir.File("empty.orv"), empty, pictures.Pointers(), false, "");
    ASSERT_TRUE(empty);
    BestEntryExitPages(*empty, none);
    EXPECT_EQ(none.EntryPage, "");
    EXPECT_EQ(none.ExitPage, "");
    EXPECT_EQ(none.EntryCount, 5);
    EXPECT_EQ(none.ExitShare, 8);
    EXPECT_EQ(HotPage(*empty, site_->LastDay).Count, 0);
    EXPECT_EQ(HotReferral(*empty, kOwnHost, site_->LastDay).Name, "");
    EXPECT_TRUE(ListAllNodePaths(*empty).empty());
    EXPECT_EQ(PeriodHits(*empty, TPeriod::Since30DaysAgo, "", true, clock_.now), 0);
}

}  // namespace
}  // namespace tlvx
