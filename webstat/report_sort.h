// The order of the report pages' lists: lines of text, each with a
// TCObject of counters, sorted by a mode that the caller hands over with
// every sort (no list keeps it, and no global does).
#pragma once

#include <cstdint>

#include "model/cobject.h"

namespace tlvx {

// The sort modes of CompareReportItems.
enum TReportSortMode : int32_t {
    rsmText = 0,            // line text, byte by byte, ascending
    rsmCount = 1,           // a name-count list's count (held in Hits), descending
    rsmHits = 2,            // Hits, descending
    rsmVisitors = 3,        // Visitors, descending
    rsmHitsAscending = 4,   // Hits, ascending
    rsmVisits = 5,          // Visits, descending
};

// Negative when a goes before b, positive when after, 0 when mode sees no
// difference between them (every pair under a mode outside 0..5).
int CompareReportItems(const TCObjectLine& a, const TCObjectLine& b, int32_t mode);

// Sorts list by mode; lines that compare equal keep their order.
void SortReportItems(TCObjectList& list, int32_t mode);

}  // namespace tlvx
