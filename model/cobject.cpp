#include "model/cobject.h"

#include <algorithm>
#include <cmath>
#include <limits>

namespace tlvx {

namespace {
template <class T>
int Descending(T a, T b) {
    return a > b ? -1 : (a < b ? 1 : 0);
}

// A damaged record can hold a NaN time; ranking it as the earliest time keeps
// the order total, which the sort relies on.
double TimeKey(double t) { return std::isnan(t) ? -std::numeric_limits<double>::infinity() : t; }
}  // namespace

int CompareCObjects(const TCObjectLine& a, const TCObjectLine& b, TListOrder order) {
    switch (order) {
        case TListOrder::Hits: return Descending(a.Object.Hits, b.Object.Hits);
        case TListOrder::Visits: return Descending(a.Object.Visits, b.Object.Visits);
        case TListOrder::Visitors: return Descending(a.Object.Visitors, b.Object.Visitors);
        case TListOrder::Time: return Descending(TimeKey(a.Object.Time), TimeKey(b.Object.Time));
        case TListOrder::HitsAscending: return Descending(b.Object.Hits, a.Object.Hits);
        case TListOrder::Text: break;
    }
    // std::string compares as unsigned bytes: Windows-1251 letters sort after
    // every ASCII one, as an ordinal comparison has them.
    int c = a.Text.compare(b.Text);
    return c < 0 ? -1 : (c > 0 ? 1 : 0);
}

void SortCObjects(TCObjectList& list, TListOrder order) {
    std::stable_sort(list.begin(), list.end(), [order](const TCObjectLine& a, const TCObjectLine& b) {
        return CompareCObjects(a, b, order) < 0;
    });
}

}  // namespace tlvx
