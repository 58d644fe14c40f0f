// The page builders of the report program.
//
// Adding a page:
//  1. page_<name>.cpp defines std::string Build<Name>Page(const
//     TReportContext&), declared here; it returns the content area's HTML,
//     each line a CR LF and its text, written through THtmlBuilder;
//  2. its line in page_table.cpp names the builder instead of nullptr;
//  3. tests: value tests over the fixtures of webstat/testing
//     (TReportSite::Get, then ContentArea and friends of page_parts.h); the
//     sweep of report_sweep_test.cpp covers the new page by itself;
//  4. bench/report_bench.cpp: its variants beside the plain page value.
#pragma once

#include <string>

#include "webstat/report_context.h"

namespace tlvx {

// ABOUT: what the program shows, in a few lines; reads no statistics.
std::string BuildAboutPage(const TReportContext& context);
// WEEKS: the hits of a page, a group or the site by day of the week.
std::string BuildWeeksPage(const TReportContext& context);
// TIMES: the same by hour of the day, over all days or by weekday.
std::string BuildTimesPage(const TReportContext& context);
// VISITORS: the most active visitors and the visitors of a period.
std::string BuildVisitorsPage(const TReportContext& context);

// MAIN: the general statistics of the site, a page or a group (page_main.cpp).
std::string BuildMainPage(const TReportContext& context);

// DIN: the dynamics of the site, a page or a group (page_din.cpp).
std::string BuildDinPage(const TReportContext& context);

// NODES: every page with its hits, visitors and a bar, the forms to one
// group's or one page's reports, and the time diagram of the pages.
// Query: "kind" (hits, visitors, else by path), "dates" (first, last,
// else by path).
std::string BuildNodesPage(const TReportContext& context);
// Whether node has at least one child: the nodes the group form offers.
bool HasEntries(INode& node);

// CALENDAR: the figures of the site, a group, a page ("nodename", "group")
// or a referral source ("kind=ref", "ref", "node") day by day over a month
// ("month" as yyyy-mm, else the current one), the last 30 days
// ("period=30") or month by month ("period=all").
std::string BuildCalendarPage(const TReportContext& context);

// A report this version does not make: a one-line notice with a link back
// to the general page.
std::string BuildNotIncludedPage(const TReportContext& context);

// REFS: the referral sources of a page ("node", else "nodename"; the whole
// site when empty or unknown) with their figures ("compare" 1-5), shares,
// bars and time diagram ("timesort" first, last, else by name); with
// "podr" and "refname" both set, that one source's rows.
std::string BuildRefsPage(const TReportContext& context);

}  // namespace tlvx
