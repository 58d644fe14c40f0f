#include "webstat/testing/planned_history.h"

#include <cmath>
#include <filesystem>
#include <stdexcept>

#include "model/counter2.h"
#include "model/error_notes.h"
#include "model/testing/skin_pictures.h"
#include "platform/clock.h"
#include "platform/testing/fixed_sources.h"
#include "webstat/testing/html_scan.h"
#include "webstat/testing/page_parts.h"

namespace tlvx::test {

void BuildPlannedHistory(const std::string& path, const std::vector<TPlannedDay>& days, double now,
                         const std::function<void(ICounter2&)>& more) {
    IClock* previous = &Clock();
    TSettableClock clock(now);
    TSequenceGuids guids;
    SetClock(&clock);
    SetGuidSource(&guids);
    ResetErrorNotes();
    const double first = std::trunc(now) - double(days.size()) + 1;
    {
        TDefaultSkinPictures pictures;
        Ref<ICounter2> counter;
        OpenCounter2(path, counter, pictures.Pointers(), false, "");
        if (!counter) throw std::runtime_error("cannot create " + path);
        counter->SetMainNodeName("shop");
        Ref<INodeCollection> nodes = counter->GetNodes();
        TCounterSettings settings = counter->GetSettings();
        settings.TotalHits = settings.TotalVisits = settings.TotalVisitors = 0;
        for (size_t d = 0; d < days.size(); ++d) {
            const TPlannedDay& plan = days[d];
            for (int32_t i = 0; i < plan.Hits; ++i) {
                THitFacts hit;
                hit.ip = 0x0A000001u + uint32_t(i);
                hit.when = first + double(d) + (8 * 60 + i) / 1440.0;
                hit.newVisit = i < plan.Views;
                hit.newDay = i < plan.Visitors;
                hit.newVisitor = i < plan.New;
                if (i < plan.Referred) hit.referrer = kPlannedReferrer;
                clock.now = hit.when;
                nodes->RecordNodeHit(i == 0 ? "shop" : "shop.book", true, hit);
                nodes->RecordSiteHit(hit);
            }
            settings.TotalHits += plan.Hits;
            settings.TotalVisits += plan.Views;
            settings.TotalVisitors += plan.New;
        }
        settings.StartTime = first + 0.25;
        counter->SetSettings(settings);
        nodes.reset();
        clock.now = now;
        if (more) more(*counter);
    }
    SetGuidSource(nullptr);
    SetClock(previous);
    if (ErrorFlag()) throw std::runtime_error("a planned hit made an error note");
}

TPlannedSite::TPlannedSite(const std::vector<TPlannedDay>& days, const std::function<void(ICounter2&)>& more,
                           double now)
    : site_(TReportFixture::Empty) {
    std::filesystem::remove(site_.Database());
    BuildPlannedHistory(site_.Database(), days, now, more);
    site_.SetNow(now);
}

std::string TPlannedSite::Content(const std::string& query) const {
    const TReportAnswer answer = site_.Get("id=site&" + query);
    if (answer.Status != 200 || answer.ExitCode != 0) throw std::runtime_error(query + ": no page: " + answer.Err);
    if (const std::vector<std::string> faults = PageFaults(answer.Body); !faults.empty())
        throw std::runtime_error(query + ": " + faults.front());
    return ContentArea(answer.Body);
}

}  // namespace tlvx::test
