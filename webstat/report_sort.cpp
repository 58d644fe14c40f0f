#include "webstat/report_sort.h"

#include <algorithm>

namespace tlvx {
namespace {

int Ascending(int64_t a, int64_t b) { return a < b ? -1 : (a > b ? 1 : 0); }

}  // namespace

int CompareReportItems(const TCObjectLine& a, const TCObjectLine& b, int32_t mode) {
    switch (mode) {
        // std::string compares as unsigned bytes: Windows-1251 letters sort
        // after every ASCII one, as an ordinal comparison has them.
        case rsmText: return a.Text.compare(b.Text) < 0 ? -1 : (a.Text == b.Text ? 0 : 1);
        case rsmCount:
        case rsmHits: return Ascending(b.Object.Hits, a.Object.Hits);
        case rsmVisitors: return Ascending(b.Object.Visitors, a.Object.Visitors);
        case rsmHitsAscending: return Ascending(a.Object.Hits, b.Object.Hits);
        case rsmVisits: return Ascending(b.Object.Visits, a.Object.Visits);
        default: return 0;
    }
}

void SortReportItems(TCObjectList& list, int32_t mode) {
    std::stable_sort(list.begin(), list.end(), [mode](const TCObjectLine& a, const TCObjectLine& b) {
        return CompareReportItems(a, b, mode) < 0;
    });
}

}  // namespace tlvx
