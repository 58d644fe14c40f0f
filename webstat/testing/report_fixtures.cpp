#include "webstat/testing/report_fixtures.h"

#include <fcntl.h>
#include <sys/file.h>
#include <unistd.h>

#include <algorithm>
#include <cmath>
#include <filesystem>
#include <map>
#include <mutex>
#include <sstream>
#include <stdexcept>

#include "counter/hit_roads.h"
#include "model/counter_install.h"
#include "model/error_notes.h"
#include "model/ipv4.h"
#include "model/testing/synthetic_site.h"
#include "platform/cgi_environment.h"
#include "platform/clock.h"
#include "platform/html_escape.h"
#include "platform/testing/fixed_sources.h"
#include "platform/web_fields.h"
#include "platform/web_request.h"
#include "platform/web_response.h"
#include "raster/default_skin.h"

namespace tlvx::test {
namespace {

constexpr std::array<std::string_view, 12> kNodes{
    "index", "news", "news.sport", "news.world", "news.world.europe", "shop", "shop.cart",
    "shop.books", "shop.books.fiction", "about",
    "\xED\xEE\xE2\xEE\xF1\xF2\xE8",  // "novosti" in Windows-1251
    kMarkupNode};

constexpr std::array<std::string_view, 6> kReferrers{
    "http://www.google.com/search?q=counter", "http://yandex.ru/yandsearch?text=stat",
    "http://news.example.org/item/7", "http://forum.example.net/t/1", "http://blog.example.com/p",
    "http://www.mysite.example/news"};

constexpr std::array<std::string_view, 5> kAgents{
    "Mozilla/4.0 (compatible; MSIE 6.0; Windows NT 5.1)",
    "Mozilla/5.0 (Windows NT 10.0; Win64; x64; rv:120.0) Gecko/20100101 Firefox/120.0",
    "Opera/9.80 (Windows NT 6.1; U; ru) Presto/2.10.289 Version/12.02",
    "Mozilla/5.0 (X11; Linux x86_64) AppleWebKit/537.36 (KHTML, like Gecko) Chrome/120.0 Safari/537.36",
    "Googlebot/2.1 (+http://www.google.com/bot.html)"};

constexpr std::array<std::string_view, 5> kLanguages{"ru,en;q=0.5", "en-us,en;q=0.7", "de-de", "uk", ""};

constexpr double kMinute = 1.0 / 1440;

struct TVisitorProfile {
    std::string Address;
    std::string_view Agent;
    std::string_view Language;
};

TVisitorProfile ProfileOf(uint32_t visitor) {
    return {IPv4ToText(0x50000000u + visitor * 97u + 11u), kAgents[visitor % kAgents.size()],
            kLanguages[(visitor / kAgents.size()) % kLanguages.size()]};
}

// Every eighth visitor is counted without cookies, by address.
bool CountsWithoutCookies(uint32_t visitor) { return visitor % 8 == 7; }

// One visitor's session of pages, minutes apart, starting at a random
// minute that leaves it wholly before latest.
void PlanSession(synthetic::TRandom& random, uint32_t visitor, double day, double latest,
                 std::vector<TPlannedHit>& hits) {
    const uint32_t pages = 1 + random.Below(4);
    const double room = std::max(1.0, (latest - day) / kMinute - 2.0 * pages - 1);
    const double start = day + (random.Below(uint32_t(room)) + 0.5) * kMinute;
    const uint32_t from = random.Below(10);
    for (uint32_t k = 0; k < pages; ++k) {
        TPlannedHit hit;
        hit.When = start + 2 * k * kMinute;
        hit.Visitor = visitor;
        // The markup page is hit only by the last day's burst.
        hit.Node = kNodes[random.Below(uint32_t(kNodes.size() - 1))];
        if (k == 0 && from < kReferrers.size()) hit.Referer = kReferrers[from];
        if (k > 0) hit.Referer = "http://www.mysite.example/";
        hit.WithoutCookies = CountsWithoutCookies(visitor);
        hits.push_back(std::move(hit));
    }
}

// A browser's cookies for one counter: name -> value, and whether each
// lives only as long as the browser's session.
struct TCookieJar {
    std::map<std::string, std::pair<std::string, bool>> Cookies;

    std::string Header() const {
        std::string header;
        for (const auto& [name, value] : Cookies) {
            if (!header.empty()) header += "; ";
            header += name + "=" + EncodeCookieValue(value.first);
        }
        return header;
    }
    void Take(const std::vector<TWebCookie>& set, double now) {
        for (const TWebCookie& c : set) {
            if (c.Expires != 0 && c.Expires < now) Cookies.erase(c.Name);
            else Cookies[c.Name] = {c.Value, c.Expires == 0};
        }
    }
    void EndSession() {
        std::erase_if(Cookies, [](const auto& entry) { return entry.second.second; });
    }
};

void RecordHit(ICounter2& counter, const TPlannedHit& hit, TCookieJar& jar) {
    const TVisitorProfile profile = ProfileOf(hit.Visitor);
    TMapEnvironment env;
    env.Set("GATEWAY_INTERFACE", "CGI/1.1");
    env.Set("REQUEST_METHOD", "GET");
    env.Set("HTTP_HOST", std::string(kFixtureHost));
    env.Set("SCRIPT_NAME", "/cgi-bin/tlvxcount");
    env.Set("QUERY_STRING", "id=site&node=" + UrlArg(hit.Node) + (hit.WithoutCookies ? "&nocookies=1" : ""));
    env.Set("REMOTE_ADDR", hit.Address.empty() ? profile.Address : hit.Address);
    env.Set("HTTP_USER_AGENT", std::string(profile.Agent));
    if (!profile.Language.empty()) env.Set("HTTP_ACCEPT_LANGUAGE", std::string(profile.Language));
    if (!hit.Referer.empty()) env.Set("HTTP_REFERER", hit.Referer);
    if (!jar.Cookies.empty()) env.Set("HTTP_COOKIE", jar.Header());
    const TWebRequest request(env, nullptr);
    std::ostringstream sink;
    TWebResponse response(sink);
    const TBaseConf noConf;
    if (hit.WithoutCookies) {
        HitWithoutCookies(request, response, counter, false, noConf);
    } else {
        HitWithCookies(request, response, counter, false, noConf);
        jar.Take(response.Cookies(), hit.When);
    }
}

// Installs a clock and GUID source for the build and puts back the
// previous clock (and the system GUIDs) afterwards.
class TBuildSources {
public:
    TBuildSources() : previous_(&Clock()) {
        SetClock(&clock_);
        SetGuidSource(&guids_);
    }
    ~TBuildSources() {
        SetGuidSource(nullptr);
        SetClock(previous_);
    }
    TSettableClock& Clock_() { return clock_; }

private:
    IClock* previous_;
    TSettableClock clock_;
    TSequenceGuids guids_;
};

std::string CacheKeyOfThisBinary() {
    const std::filesystem::path self = std::filesystem::read_symlink("/proc/self/exe");
    const auto size = std::filesystem::file_size(self);
    const auto stamp = std::filesystem::last_write_time(self).time_since_epoch().count();
    std::ostringstream key;
    key << std::hex << size << "-" << stamp;
    return key.str();
}

}  // namespace

std::string_view FixtureName(TReportFixture fixture) {
    switch (fixture) {
        case TReportFixture::Empty: return "empty";
        case TReportFixture::OneDay: return "one-day";
        case TReportFixture::FortyDays: return "forty-days";
        case TReportFixture::FourHundredDays: return "four-hundred-days";
    }
    return "?";
}

int32_t FixtureDays(TReportFixture fixture) {
    switch (fixture) {
        case TReportFixture::Empty: return 0;
        case TReportFixture::OneDay: return 1;
        case TReportFixture::FortyDays: return 40;
        case TReportFixture::FourHundredDays: return 400;
    }
    return 0;
}

double FixtureNow() { return EncodeDateTime(2026, 12, 8, 15, 0, 0); }

std::vector<TPlannedHit> FixtureHits(TReportFixture fixture, double now, bool withProbes) {
    std::vector<TPlannedHit> hits;
    const int32_t days = FixtureDays(fixture);
    if (days == 0) return hits;
    synthetic::TRandom random(0x7E57ull + uint64_t(days));
    const double today = std::trunc(now);
    uint32_t known = 0;  // visitors seen so far
    for (double day = today - days + 1; day <= today; ++day) {
        const double latest = day == today ? now : day + 1;
        // A busy single day; five to thirteen visitors a day over 40 days;
        // two to six over 400 days, which keeps its build short in the
        // sanitizer tree.
        const uint32_t visitors = days == 1    ? 24
                                  : days <= 40 ? 5 + uint32_t(int64_t(day) * 7 % 9)
                                               : 2 + uint32_t(int64_t(day) * 7 % 5);
        for (uint32_t v = 0; v < visitors; ++v) {
            const bool returning = known >= 4 && random.Below(100) >= 35;
            PlanSession(random, returning ? random.Below(known) : known++, day, latest, hits);
        }
    }
    // Today's burst: nine new visitors open the markup page from the markup
    // referrer, two more from the referrer with a quote.
    for (uint32_t b = 0; withProbes && b < 11; ++b) {
        TPlannedHit hit;
        hit.When = now - (30 + 2 * b) * kMinute;
        hit.Visitor = known++;
        hit.Node = kMarkupNode;
        hit.Referer = b < 9 ? kMarkupReferrer : kQuoteReferrer;
        hits.push_back(std::move(hit));
    }
    std::stable_sort(hits.begin(), hits.end(),
                     [](const TPlannedHit& a, const TPlannedHit& b) { return a.When < b.When; });
    return hits;
}

void BuildFixtureDatabase(TReportFixture fixture, const std::string& path, double now, bool withProbes) {
    BuildHitsDatabase(FixtureHits(fixture, now, withProbes), path, now);
}

void BuildHitsDatabase(const std::vector<TPlannedHit>& hits, const std::string& path, double now) {
    TBuildSources sources;
    TSettableClock& clock = sources.Clock_();
    ResetErrorNotes();
    clock.now = hits.empty() ? now - 1.0 / 24 : std::trunc(hits.front().When);
    {
        TNWPaintRectList defSkin;
        LoadDefaultSkin(defSkin);
        const TDefaultSkinStreams skin(defSkin);
        Ref<ICounter2> created;
        OpenCounter2(path, created, skin.Streams(), false, "");
        if (!created) throw std::runtime_error("cannot create the fixture database " + path);
    }
    // A month of days a transaction: fewer commits, the same records.
    constexpr double kDaysPerCommit = 30;
    std::map<uint32_t, TCookieJar> jars;
    for (size_t i = 0; i < hits.size();) {
        const double firstDay = std::trunc(hits[i].When);
        Ref<ICounter2> counter;
        OpenCounter2(path, counter, TSkinStreams{}, false, "");
        if (!counter) throw std::runtime_error("cannot open the fixture database " + path);
        while (i < hits.size() && std::trunc(hits[i].When) < firstDay + kDaysPerCommit) {
            const double day = std::trunc(hits[i].When);
            for (auto& [visitor, jar] : jars) jar.EndSession();
            for (; i < hits.size() && std::trunc(hits[i].When) == day; ++i) {
                clock.now = hits[i].When;
                RecordHit(*counter, hits[i], jars[hits[i].Visitor]);
            }
        }
        counter.reset();
        if (ErrorFlag()) throw std::runtime_error("a fixture hit made an error note");
    }
}

const std::string& FixtureDatabase(TReportFixture fixture) {
    static std::mutex mutex;
    static std::map<TReportFixture, std::string> known;
    std::lock_guard<std::mutex> guard(mutex);
    if (auto it = known.find(fixture); it != known.end()) return it->second;

    namespace fs = std::filesystem;
    const fs::path dir = fs::read_symlink("/proc/self/exe").parent_path() / "report_fixtures";
    fs::create_directories(dir);
    const std::string name(FixtureName(fixture));
    const fs::path target = dir / (name + "-" + CacheKeyOfThisBinary() + ".orv");
    if (!fs::exists(target)) {
        // One process builds, the others wait for it.
        const int lock = ::open((dir / ".lock").c_str(), O_CREAT | O_RDWR | O_CLOEXEC, 0644);
        if (lock < 0 || ::flock(lock, LOCK_EX) != 0) throw std::runtime_error("cannot lock " + dir.string());
        try {
            if (!fs::exists(target)) {
                for (const fs::directory_entry& entry : fs::directory_iterator(dir))
                    if (entry.path().filename().string().starts_with(name + "-")) fs::remove(entry.path());
                const fs::path building = target.string() + ".building";
                BuildFixtureDatabase(fixture, building.string(), FixtureNow());
                fs::rename(building, target);
            }
        } catch (...) {
            ::close(lock);
            throw;
        }
        ::close(lock);
    }
    return known[fixture] = target.string();
}

}  // namespace tlvx::test
