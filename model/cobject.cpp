#include "model/cobject.h"

#include <algorithm>
#include <cmath>
#include <limits>

namespace tlvx {

int32_t CObjectSortMode = 1;

namespace {
template <class T>
int Descending(T a, T b) {
    return a > b ? -1 : (a < b ? 1 : 0);
}

// A damaged record can hold a NaN time; ranking it as the earliest time keeps
// the order total, which the sort relies on.
double TimeKey(double t) { return std::isnan(t) ? -std::numeric_limits<double>::infinity() : t; }

void NormaliseSortMode() {
    if (CObjectSortMode < 1 || CObjectSortMode > 5) CObjectSortMode = 1;
}

int CompareUnder(int32_t mode, const TCObjectLine& a, const TCObjectLine& b) {
    switch (mode) {
        case 2: return Descending(a.Object.Hits, b.Object.Hits);
        case 3: return Descending(a.Object.Visits, b.Object.Visits);
        case 4: return Descending(a.Object.Visitors, b.Object.Visitors);
        case 5: return Descending(TimeKey(a.Object.Time), TimeKey(b.Object.Time));
        default: {
            int c = a.Text.compare(b.Text);  // char_traits<char> compares as unsigned
            return c < 0 ? -1 : (c > 0 ? 1 : 0);
        }
    }
}
}  // namespace

int CompareCObjects(const TCObjectLine& a, const TCObjectLine& b) {
    NormaliseSortMode();
    return CompareUnder(CObjectSortMode, a, b);
}

int CompareCObjects(const TCObjectList& list, size_t index1, size_t index2) {
    return CompareCObjects(list.at(index1), list.at(index2));
}

void SortCObjects(TCObjectList& list) {
    NormaliseSortMode();
    int32_t mode = CObjectSortMode;
    std::stable_sort(list.begin(), list.end(), [mode](const TCObjectLine& a, const TCObjectLine& b) {
        return CompareUnder(mode, a, b) < 0;
    });
}

}  // namespace tlvx
