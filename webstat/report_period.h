// The periods the report pages sum their figures over: the days of each
// come from PeriodRange (report_math.h), the sums from the period routines
// (report_queries.h).
#pragma once

#include <cstdint>

namespace tlvx {

enum class TPeriod : int32_t {
    Today = 0,
    Yesterday = 1,
    ThisWeek = 2,        // from the latest Sunday
    ThisMonth = 3,       // from its first day
    SinceWeekAgo = 4,    // today - 7 to today: eight days
    Since30DaysAgo = 5,  // today - 30 to today
    AllTime = 6,         // since the node was made
};

}  // namespace tlvx
