#include "model/node_period_walk.h"

#include <algorithm>
#include <cmath>
#include <vector>

#include "model/byte_order.h"
#include "model/time_split.h"
#include "platform/byte_codec.h"
#include "store/access_modes.h"

namespace tlvx {

namespace {

// The day key the cursor stands on, false when it is no day key.
bool DayKey(IIndexerCursor& cursor, uint32_t& value) {
    uint8_t key[5];
    if (cursor.ReadKey(key, 5) != 4) return false;
    value = GetU32BE(key);
    return true;
}

// The keys are the day numbers' 4 bytes big-endian, so in the index's byte
// order the days 0 and above come first and the negative days after them.
// Calls at(day, cursor) for the keys lo..hi (as unsigned values) in order.
template <class F>
void WalkKeys(IIndexer& days, uint32_t lo, uint32_t hi, F at) {
    Ref<IIndexerCursor> cursor = days.NewCursor();
    if (!cursor->Seek(BigEndianKey32(lo), smGreaterOrEqual)) return;
    do {
        uint32_t value;
        if (!DayKey(*cursor, value)) continue;
        if (value > hi) break;
        at(static_cast<int32_t>(value), *cursor);
    } while (cursor->Next());
}

// The key values lo..hi that a range covers, as one or two spans in the
// index's order (see WalkKeys): span(lo, hi) for each.
template <class F>
void ForEachKeySpan(const TDayRange& range, F span) {
    if (range.Empty()) return;
    if (range.First < 0)
        span(static_cast<uint32_t>(static_cast<int32_t>(range.First)),
             static_cast<uint32_t>(static_cast<int32_t>(std::min<int64_t>(range.Last, -1))));
    if (range.Last >= 0)
        span(static_cast<uint32_t>(std::max<int64_t>(range.First, 0)), static_cast<uint32_t>(range.Last));
}

template <class F>
void WalkRange(IIndexer* days, const TDayRange& range, F at) {
    if (!days) return;
    ForEachKeySpan(range, [&](uint32_t lo, uint32_t hi) { WalkKeys(*days, lo, hi, at); });
}

}  // namespace

bool ClampedDay(double when, int64_t& day) {
    if (std::isnan(when)) return false;
    const double whole = WholeDay(when);
    if (whole < double(kFirstDateDay)) day = kFirstDateDay;
    else if (whole > double(kLastDateDay)) day = kLastDateDay;
    else day = static_cast<int64_t>(whole);
    return true;
}

TDayRange DayRangeOf(double fromDate, double toDate) {
    TDayRange range;
    int64_t first = 0, last = 0;
    if (!ClampedDay(fromDate, first) || !ClampedDay(toDate, last)) return range;
    // A period that begins after the span or ends before it holds no day.
    if (WholeDay(fromDate) > double(kLastDateDay) || WholeDay(toDate) < double(kFirstDateDay))
        return range;
    range.First = first;
    range.Last = last;
    return range;
}

namespace {

// Keys lo..hi of every index, day by day: each round visits, in index
// order, the cursors that stand on the smallest day any of them stands on.
void WalkKeysOfAll(const std::vector<IIndexer*>& days, uint32_t lo, uint32_t hi, int32_t count,
                   const TDayBytesOfVisit& visit) {
    constexpr uint64_t kDone = UINT64_MAX;
    std::vector<Ref<IIndexerCursor>> cursors(days.size());
    std::vector<uint64_t> at(days.size(), kDone);  // the day key a cursor stands on
    // Moves cursor i to its next day key within lo..hi (moved: it stands on
    // a key to look at) and returns it, kDone past the end.
    auto stand = [&](size_t i, bool moved) {
        IIndexerCursor& c = *cursors[i];
        for (bool on = moved; on; on = c.Next()) {
            uint32_t value;
            if (!DayKey(c, value)) continue;
            return value <= hi ? uint64_t(value) : kDone;
        }
        return kDone;
    };
    uint64_t day = kDone;
    for (size_t i = 0; i < days.size(); ++i) {
        if (!days[i]) continue;
        cursors[i] = days[i]->NewCursor();
        at[i] = stand(i, cursors[i]->Seek(BigEndianKey32(lo), smGreaterOrEqual));
        day = std::min(day, at[i]);
    }
    std::vector<uint8_t> bytes(size_t(std::max(count, 0)));
    while (day != kDone) {
        uint64_t next = kDone;
        for (size_t i = 0; i < at.size(); ++i) {
            if (at[i] == day) {
                IIndexerCursor& c = *cursors[i];
                const int32_t n = c.ReadValue(0, bytes.data(), count);
                if (n >= 0) visit(i, static_cast<int32_t>(day), bytes.data(), size_t(n));
                at[i] = stand(i, c.Next());
            }
            next = std::min(next, at[i]);
        }
        day = next;
    }
}

}  // namespace

void WalkDayBytesOfAll(const std::vector<IIndexer*>& days, const TDayRange& range, int32_t count,
                       const TDayBytesOfVisit& visit) {
    ForEachKeySpan(range, [&](uint32_t lo, uint32_t hi) { WalkKeysOfAll(days, lo, hi, count, visit); });
}

void WalkDays(IIndexer* days, const TDayRange& range, const TDayVisit& visit) {
    WalkRange(days, range, [&](int32_t day, IIndexerCursor& cursor) {
        Ref<IVirtualAtom> dayAtom = cursor.GetValueWithMode(amRead);
        if (dayAtom) visit(day, *dayAtom);
    });
}

void WalkDayBytes(IIndexer* days, const TDayRange& range, int32_t count, const TDayBytesVisit& visit) {
    std::vector<uint8_t> bytes(size_t(std::max(count, 0)));
    WalkRange(days, range, [&](int32_t day, IIndexerCursor& cursor) {
        int32_t n = cursor.ReadValue(0, bytes.data(), count);
        if (n >= 0) visit(day, bytes.data(), size_t(n));
    });
}

Ref<IVirtualAtom> FindDay(IIndexer* days, int64_t day) {
    if (!days || day < kFirstDateDay || day > kLastDateDay) return nullptr;
    Ref<IVirtualAtom> dayAtom;
    days->FindWithMode(BigEndianKey32(static_cast<uint32_t>(static_cast<int32_t>(day))), amRead, dayAtom);
    return dayAtom;
}

bool LastStoredDay(IIndexer* days, int32_t& day) {
    if (!days) return false;
    Ref<IIndexerCursor> cursor = days->NewCursor();
    if (cursor->IsEmpty()) return false;
    // The greatest day not below 0; only when there is none, the greatest
    // negative one, which is the last key of all.
    bool found = cursor->Seek(BigEndianKey32(0x7FFFFFFF), smLessOrEqual) || cursor->Last();
    while (found) {
        std::string key = cursor->GetKey();
        if (key.size() == 4) {
            day = static_cast<int32_t>(FromBigEndianKey32(key));
            return true;
        }
        found = cursor->Prior();
    }
    return false;
}

}  // namespace tlvx
