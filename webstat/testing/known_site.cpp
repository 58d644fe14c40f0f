#include "webstat/testing/known_site.h"

#include <gtest/gtest.h>

#include <cmath>
#include <filesystem>
#include <stdexcept>

#include "model/counter2.h"
#include "model/counter_install.h"
#include "model/error_notes.h"
#include "platform/clock.h"
#include "platform/testing/fixed_sources.h"
#include "raster/default_skin.h"
#include "webstat/testing/html_scan.h"
#include "webstat/testing/page_parts.h"
#include "webstat/testing/report_fixtures.h"

namespace tlvx::test {

TKnownSite KnownPagesAndSources() {
    TKnownSite site;
    site.StartDay = -19;
    site.Hits = {
        {"index", -19, "FIRST.EXAMPLE"},        {"index", -14, "OLD.EXAMPLE"},
        {"index", -14, "OLD.EXAMPLE", false},   {"index", -13, "RECENT.EXAMPLE"},
        {"index", -13, "RECENT.EXAMPLE", false}, {"old", -8, "YESTERDAY.EXAMPLE"},
        {"about", -7, "YESTERDAY.EXAMPLE"},     {"about", -7, "YESTERDAY.EXAMPLE"},
        {"news.sport", -3, ""},                 {"news.sport", -3, ""},
        {"news.sport", -3, ""},                 {"index", -1, "YESTERDAY.EXAMPLE", false},
        {"index", 0, "SEARCH.EXAMPLE", false},  {"index", 0, "SEARCH.EXAMPLE", false},
    };
    return site;
}

void BuildKnownDatabase(const TKnownSite& site, const std::string& path) {
    IClock* previous = &Clock();
    const double today = std::trunc(FixtureNow());
    TSettableClock clock(today + site.StartDay + site.StartHour / 24);
    TSequenceGuids guids;
    SetClock(&clock);
    SetGuidSource(&guids);
    ResetErrorNotes();
    try {
        TNWPaintRectList defSkin;
        LoadDefaultSkin(defSkin);
        const TDefaultSkinStreams skin(defSkin);
        Ref<ICounter2> counter;
        OpenCounter2(path, counter, skin.Streams(), false, "");
        if (!counter) throw std::runtime_error("cannot create " + path);
        TCounterSettings settings = counter->GetSettings();
        settings.StartTime = clock.now;
        settings.TotalHits = site.TotalHits.value_or(int32_t(site.Hits.size()));
        int32_t visitors = 0;
        for (const TKnownHit& hit : site.Hits) visitors += hit.NewVisitor ? 1 : 0;
        settings.TotalVisitors = site.TotalVisitors.value_or(visitors);
        counter->SetSettings(settings);
        Ref<INodeCollection> nodes = counter->GetNodes();
        uint32_t address = 0x0A000001;
        for (const TKnownHit& hit : site.Hits) {
            clock.now = today + hit.Day + hit.Hour / 24;
            THitFacts facts;
            facts.ip = address++;
            facts.when = clock.now;
            facts.referrer = hit.Referrer;
            facts.newVisit = true;
            facts.newDay = true;
            facts.newVisitor = hit.NewVisitor;
            nodes->RecordNodeHit(hit.Node, true, facts);
            nodes->RecordSiteHit(facts);
        }
    } catch (...) {
        SetGuidSource(nullptr);
        SetClock(previous);
        throw;
    }
    SetGuidSource(nullptr);
    SetClock(previous);
    if (ErrorFlag()) throw std::runtime_error("a hit made an error note in " + path);
}

TKnownReportSite::TKnownReportSite(const TKnownSite& known) : site_(TReportFixture::Empty) {
    std::filesystem::remove(site_.Database());
    BuildKnownDatabase(known, site_.Database());
}

std::string TKnownReportSite::Content(const std::string& query) const {
    const TReportAnswer answer = site_.Get("id=site&" + query);
    EXPECT_EQ(0, answer.ExitCode) << query << ": " << answer.Err;
    EXPECT_EQ(200, answer.Status) << query;
    EXPECT_EQ(std::vector<std::string>{}, PageFaults(answer.Body)) << query;
    return ContentArea(answer.Body);
}

}  // namespace tlvx::test
