// A counter database whose day figures are chosen, for tests that check a
// page's numbers by hand: each day of the history has its hits, site views,
// visitors and new visitors, recorded through the node collection with
// those flags, so every figure is known without the hit road's rules.
//
// The first hit of each day lands on the group "shop", the others on its
// page "shop.book"; "shop" is the main node. The settings hold the sums and
// the first day as the start of the history.
#pragma once

#include <cstdint>
#include <functional>
#include <string>
#include <string_view>
#include <vector>

#include "model/counter2.h"
#include "webstat/testing/report_site.h"

namespace tlvx::test {

struct TPlannedDay {
    int32_t Hits = 0;
    int32_t Views = 0;     // the first Views hits begin a visit
    int32_t Visitors = 0;  // the first Visitors hits are a visitor's first of the day
    int32_t New = 0;       // the first New hits are new visitors
    int32_t Referred = 0;  // the first Referred hits come from kPlannedReferrer
};

// The outside site the referred hits of a planned day come from.
inline constexpr std::string_view kPlannedReferrer = "SEARCH.EXAMPLE";

// days[0] is the first day of the history, days.back() the day of now;
// every day's hits are recorded from 08:00 on, a minute apart. more, when
// given, adds what else a test needs (languages, browsers, returning
// visitors) in the same transaction, the clock at now.
void BuildPlannedHistory(const std::string& path, const std::vector<TPlannedDay>& days, double now,
                         const std::function<void(ICounter2&)>& more = {});

// A report site (report_site.h) whose counter "site" holds a planned
// history ending at now, when its requests run.
class TPlannedSite {
public:
    explicit TPlannedSite(const std::vector<TPlannedDay>& days, const std::function<void(ICounter2&)>& more = {},
                          double now = FixtureNow());
    TPlannedSite(const TPlannedSite&) = delete;
    TPlannedSite& operator=(const TPlannedSite&) = delete;

    // The content area of the answer to "id=site&" + query. Raises
    // std::runtime_error unless the answer is a sound page (status 200,
    // nothing PageFaults finds).
    std::string Content(const std::string& query) const;
    TReportSite& Site() { return site_; }

private:
    TReportSite site_;
};

}  // namespace tlvx::test
