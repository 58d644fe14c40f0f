// Counter objects hung on the lines of report lists, and the orders such
// lists are sorted in.
#pragma once

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

// The orders of a report list; whoever sorts names one with every sort.
// A name-count list holds its count in Hits.
enum class TListOrder {
    Text,           // line text ascending, byte by byte (ordinal, case-sensitive)
    Hits,           // descending, as are the three below
    Visits,
    Visitors,
    Time,           // a NaN time (a damaged record) ranks as the earliest
    HitsAscending,  // Hits ascending
};

// -1 when a goes before b under order, 1 when after, 0 when order sees no
// difference between them.
int CompareCObjects(const TCObjectLine& a, const TCObjectLine& b, TListOrder order);

// Sorts list under order; lines that compare equal keep their order.
void SortCObjects(TCObjectList& list, TListOrder order);

}  // namespace tlvx
