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

}  // namespace tlvx
