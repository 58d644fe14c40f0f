// The page builders of the report program, one source file each
// (page_<name>.cpp), each registered by one line of the page table.
#pragma once

#include <string>

#include "webstat/report_context.h"

namespace tlvx {

// ABOUT: what the program shows, in a few lines; reads no statistics.
std::string BuildAboutPage(const TReportContext& context);

}  // namespace tlvx
