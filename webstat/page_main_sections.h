// The sections that close the general page of the whole site: returns,
// transitions, entry and exit points, and the languages and browsers with
// their pie charts (which the image road draws).
#pragma once

#include <cstdint>
#include <string>

#include "model/counter_settings.h"
#include "webstat/report_context.h"

namespace tlvx {

// periodDays: the days of the history, today included (at least 1).
void WriteMainSiteSections(THtmlBuilder& html, const TReportContext& context, int32_t periodDays,
                           const TCounterSettings& settings);

}  // namespace tlvx
