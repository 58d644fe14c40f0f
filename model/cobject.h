// Counter objects hung on the lines of report lists, and the process-wide
// comparison such lists are sorted with.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

namespace tlvx {

struct TCObject {
    int32_t Hits = 0;
    int32_t Visits = 0;
    int32_t Visitors = 0;
    double Time = 0;  // date-time

    TCObject() = default;
    TCObject(int32_t hits, int32_t visits, int32_t visitors)
        : Hits(hits), Visits(visits), Visitors(visitors) {}
    TCObject(int32_t hits, int32_t visits, int32_t visitors, double time)
        : Hits(hits), Visits(visits), Visitors(visitors), Time(time) {}
};

// One line of a report list and the counters it carries; the list owns them.
struct TCObjectLine {
    std::string Text;
    TCObject Object;
};
using TCObjectList = std::vector<TCObjectLine>;

// Selects the order of CompareCObjects: 1 line text ascending (ordinal,
// case-sensitive), 2 Hits, 3 Visits, 4 Visitors, 5 Time, 2..5 descending.
// Whoever sorts sets it just before sorting.
extern int32_t CObjectSortMode;

// -1, 0 or 1 for lines index1 and index2 of list under CObjectSortMode; a
// mode outside 1..5 is first set back to 1. An index outside the list
// raises std::out_of_range.
int CompareCObjects(const TCObjectList& list, size_t index1, size_t index2);
int CompareCObjects(const TCObjectLine& a, const TCObjectLine& b);

// Sorts list under CObjectSortMode; lines that compare equal keep their
// order.
void SortCObjects(TCObjectList& list);

}  // namespace tlvx
