// Counter databases with a known history for the report tests, made through
// the counter program's own hit road (HitWithCookies, HitWithoutCookies)
// under a fixed clock and numbered GUIDs, so that every build gives the same
// bytes.
//
// The site: a main page "index", groups news.* and shop.* three levels deep,
// a page named in Windows-1251, and a page and two referrer hosts whose
// names carry markup (the probes of html_scan.h). Visitors come back over the
// days, some without cookies, with five browsers and five languages, from
// five referrer sites, the own site and none. On the last day a burst of
// hits on the markup page from the markup referrer makes both today's hot
// page and hot referral.
//
// Building the 400-day database takes seconds, so each is built once per
// test binary and kept beside it (FixtureDatabase); tests copy it.
#pragma once

#include <array>
#include <cstdint>
#include <ostream>
#include <string>
#include <string_view>
#include <vector>

#include "platform/testing/temp_dir.h"

namespace tlvx::test {

enum class TReportFixture { Empty, OneDay, FortyDays, FourHundredDays };
inline constexpr std::array<TReportFixture, 4> kAllReportFixtures{
    TReportFixture::Empty, TReportFixture::OneDay, TReportFixture::FortyDays,
    TReportFixture::FourHundredDays};

std::string_view FixtureName(TReportFixture fixture);
// How test output names a fixture.
inline void PrintTo(TReportFixture fixture, std::ostream* out) { *out << FixtureName(fixture); }
int32_t FixtureDays(TReportFixture fixture);

// Tuesday 2026-12-08 15:00 local time: the moment the fixtures' histories
// end and the report tests run at.
double FixtureNow();

// The node names and referrers that carry markup.
inline constexpr std::string_view kMarkupNode = "<xssprobe xssattr=1>";
inline constexpr std::string_view kMarkupReferrer = "http://<xssprobe xssattr=2>.evil.example/x";
inline constexpr std::string_view kQuoteReferrer = "http://q\"xssattr=3.example/";
// The own site of the fixtures' report requests (HTTP_HOST).
inline constexpr std::string_view kFixtureHost = "www.mysite.example";

// One request of a fixture's history, as the counter program receives it.
struct TPlannedHit {
    double When = 0;
    uint32_t Visitor = 0;  // index of the visitor (its address, browser, cookies)
    std::string Node;
    std::string Referer;  // the Referer header, "" for none
    bool WithoutCookies = false;
    std::string Address;  // the client's address; "" for the visitor's own
};

// The hits of a fixture whose history ends at now, in time order; without
// probes, the last day's burst on the markup page is left out (a demo's
// history).
std::vector<TPlannedHit> FixtureHits(TReportFixture fixture, double now, bool withProbes = true);

// Creates the database path (which must not exist) with the default skin
// and records the hits of FixtureHits(fixture, now, withProbes) through the
// hit road. Raises std::runtime_error when a hit made an error note.
void BuildFixtureDatabase(TReportFixture fixture, const std::string& path, double now,
                          bool withProbes = true);

// Creates the database path (which must not exist) with the default skin
// and records hits, in time order, through the hit road as the fixtures
// are. The history starts on the first hit's day (on now's day without
// hits). Raises std::runtime_error when a hit made an error note.
void BuildHitsDatabase(const std::vector<TPlannedHit>& hits, const std::string& path, double now);

// The database of a plan of hits ending before FixtureNow(), built once in
// a directory of its own and removed with the object: a test suite keeps
// one in a function's static and copies it into a TReportSite per test.
class TPlannedDatabase {
public:
    explicit TPlannedDatabase(const std::vector<TPlannedHit>& hits) {
        BuildHitsDatabase(hits, Path(), FixtureNow());
    }
    std::string Path() const { return dir_.File("planned.orv"); }

private:
    TTestTempDir dir_;
};

// The fixture's database ending at FixtureNow(), built at first use into a
// folder beside the test binary and kept there while the binary stays the
// same; several test processes may ask at once. Do not write to it: copy it.
const std::string& FixtureDatabase(TReportFixture fixture);

}  // namespace tlvx::test
