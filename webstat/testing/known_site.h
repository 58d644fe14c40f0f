// Small counter databases whose every figure a test chooses: hits recorded
// through the data model on chosen nodes, days and referrers, for value
// tests of the report pages that the fixtures' random histories cannot
// pin down (a page last seen exactly 8 days ago, a source with one
// transition).
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "webstat/testing/report_site.h"

namespace tlvx::test {

// One hit on a node and on the whole site.
struct TKnownHit {
    std::string Node;
    int32_t Day = 0;        // days from today (FixtureNow()); negative: past
    std::string Referrer;   // the source as stored ("GOOGLE.COM"); "" UNKNOWN
    bool NewVisitor = true;
    double Hour = 12;       // time of day
};

struct TKnownSite {
    int32_t StartDay = -19;  // the history's start, days from today
    double StartHour = 10;
    std::vector<TKnownHit> Hits;
    // The settings' site totals; by default the number of hits and of
    // hits with NewVisitor.
    std::optional<int32_t> TotalHits, TotalVisitors;
};

// Twenty days of history from 10:00 (now is 15:00: twenty days rounded or
// truncated, 20 pixels a day in a diagram), 14 hits of 9 new visitors.
// Pages: index from the first day to today (8 hits, 3 visitors), about
// last seen 7 days ago (2, 2), old 8 days ago (1, 1), news.sport 3 days
// ago (3, 3), its group news without hits of its own. Sources of the site,
// by their latest transition: SEARCH.EXAMPLE today (2), YESTERDAY.EXAMPLE
// yesterday (4 over 8 days), UNKNOWN 3 days ago (3), RECENT.EXAMPLE 13 days
// ago (2), OLD.EXAMPLE 14 days ago (2), FIRST.EXAMPLE on the first day (1).
TKnownSite KnownPagesAndSources();

// Creates the database path (which must not exist) and records the hits in
// order under a clock set to each hit's time.
void BuildKnownDatabase(const TKnownSite& site, const std::string& path);

// A report program's directory (report_site.h) whose counter "site" holds
// the known site; Content answers a query with the page's content area.
class TKnownReportSite {
public:
    explicit TKnownReportSite(const TKnownSite& known);
    // The content area of "id=site&" + query; fails the test when the
    // answer is not a sound page.
    std::string Content(const std::string& query) const;
    const TReportSite& Site() const { return site_; }

private:
    TReportSite site_;
};

}  // namespace tlvx::test
