#include "model/node_period_walk.h"

#include <algorithm>
#include <cmath>

#include "model/byte_order.h"
#include "store/access_modes.h"

namespace tlvx {

namespace {

// The keys are the day numbers' 4 bytes big-endian, so in the index's byte
// order the days 0 and above come first and the negative days after them.
// Walks keys lo..hi (as unsigned values) in order.
void WalkKeys(IIndexer& days, uint32_t lo, uint32_t hi, const TDayVisit& visit) {
    Ref<IIndexerCursor> cursor = days.NewCursor();
    if (!cursor->Seek(BigEndianKey32(lo), smGreaterOrEqual)) return;
    do {
        std::string key = cursor->GetKey();
        if (key.size() != 4) continue;  // no day key
        uint32_t value = FromBigEndianKey32(key);
        if (value > hi) break;
        Ref<IVirtualAtom> dayAtom = cursor->GetValueWithMode(amRead);
        if (dayAtom) visit(static_cast<int32_t>(value), *dayAtom);
    } while (cursor->Next());
}

}  // namespace

bool ClampedDay(double when, int64_t& day) {
    if (std::isnan(when)) return false;
    double whole = std::trunc(when);
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
    if (std::trunc(fromDate) > double(kLastDateDay) || std::trunc(toDate) < double(kFirstDateDay))
        return range;
    range.First = first;
    range.Last = last;
    return range;
}

void WalkDays(IIndexer* days, const TDayRange& range, const TDayVisit& visit) {
    if (!days || range.Empty()) return;
    if (range.First < 0)
        WalkKeys(*days, static_cast<uint32_t>(static_cast<int32_t>(range.First)),
                 static_cast<uint32_t>(static_cast<int32_t>(std::min<int64_t>(range.Last, -1))), visit);
    if (range.Last >= 0)
        WalkKeys(*days, static_cast<uint32_t>(std::max<int64_t>(range.First, 0)),
                 static_cast<uint32_t>(range.Last), visit);
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
