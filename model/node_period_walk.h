// Walking the stored days of a period in a node's day index.
//
// A period is every day whose day number (the whole part of a date-time)
// lies from the first date's day to the last date's day, both included. The
// walk seeks the period's first day with a cursor and stops after its last,
// so its cost follows the days of the period, not the days ever stored.
#pragma once

#include <cstdint>
#include <functional>
#include <vector>

#include "store/indexer.h"
#include "store/virtual_atom.h"

namespace tlvx {

// Day numbers of 0001-01-01 and 9999-12-31, the span of valid dates.
inline constexpr int64_t kFirstDateDay = -693593;
inline constexpr int64_t kLastDateDay = 2958465;

// A period in whole days, cut to the span of valid dates. Empty when the
// first day lies after the last (also for a NaN date).
struct TDayRange {
    int64_t First = 1;
    int64_t Last = 0;

    bool Empty() const { return First > Last; }
    // Days in the period, 0 when empty.
    int64_t Days() const { return Empty() ? 0 : Last - First + 1; }
};

// The day number of a date-time cut to the span of valid dates; false for NaN.
bool ClampedDay(double when, int64_t& day);
TDayRange DayRangeOf(double fromDate, double toDate);

// Calls visit with each day of range that the day index holds, in ascending
// day order, and the day's atom opened for reading; the atom and the cursor
// are released before this returns. A null index holds no days.
using TDayVisit = std::function<void(int32_t day, IVirtualAtom& dayAtom)>;
void WalkDays(IIndexer* days, const TDayRange& range, const TDayVisit& visit);

// Calls visit with each day of range that the day index holds, in ascending
// day order, and the first bytes (up to count) of the day atom's data, read
// without opening the atom where the storage allows it.
using TDayBytesVisit = std::function<void(int32_t day, const uint8_t* bytes, size_t size)>;
void WalkDayBytes(IIndexer* days, const TDayRange& range, int32_t count, const TDayBytesVisit& visit);

// As WalkDayBytes over several day indexes at once: day by day across the
// indexes, so that what many nodes recorded on one day (which lies together
// in the file) is read together. visit gets the index's place in days.
// Every index stays open until the walk ends: only for a read-only database.
using TDayBytesOfVisit = std::function<void(size_t index, int32_t day, const uint8_t* bytes, size_t size)>;
void WalkDayBytesOfAll(const std::vector<IIndexer*>& days, const TDayRange& range, int32_t count,
                       const TDayBytesOfVisit& visit);

// The day atom of one day opened for reading, null when the index has none.
Ref<IVirtualAtom> FindDay(IIndexer* days, int64_t day);

// The greatest day number the index holds (in numeric, not byte, order);
// false for an empty index.
bool LastStoredDay(IIndexer* days, int32_t& day);

}  // namespace tlvx
