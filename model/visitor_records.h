// Stored records of the visitor store, packed little-endian with unaligned
// IEEE doubles (date-times: days since 1899-12-30, fraction = time of day).
//
//   TReturnCounters    16 bytes: int32 within 1 hour, 1 day, 7 days, 30 days
//   TVisitHistogram    24 bytes: int32 visitors with 1, 2, 3, 4-5, 6-10, >10
//                      visits
//   TVisitorRecord     24 bytes: @0 double LastHit, @8 int32 Visits,
//                      @12 double FirstVisit, @20 int32 Hits
//   TVisitorKeyRecord  24 bytes: @0 int32 Hits, @4 int32 Visits,
//                      @8 double LastTime, @16 double FirstTime
// A record read from a shorter atom has zeros for the missing bytes.
#pragma once

#include <array>
#include <cstdint>

#include "store/virtual_atom.h"

namespace tlvx {

struct TReturnCounters {
    int32_t Within1Hour = 0;
    int32_t Within1Day = 0;
    int32_t Within7Days = 0;
    int32_t Within30Days = 0;
    friend bool operator==(const TReturnCounters&, const TReturnCounters&) = default;
};

// Buckets in order: 1, 2, 3, 4-5, 6-10, more than 10 visits.
struct TVisitHistogram {
    std::array<int32_t, 6> Visitors{};
    friend bool operator==(const TVisitHistogram&, const TVisitHistogram&) = default;
};

struct TVisitorRecord {
    double LastHit = 0;
    int32_t Visits = 0;
    double FirstVisit = 0;
    int32_t Hits = 0;
};

struct TVisitorKeyRecord {
    int32_t Hits = 0;
    int32_t Visits = 0;
    double LastTime = 0;
    double FirstTime = 0;
};

inline constexpr int32_t kReturnCountersSize = 16;
inline constexpr int32_t kVisitHistogramSize = 24;
inline constexpr int32_t kVisitorRecordSize = 24;
inline constexpr int32_t kVisitorKeyRecordSize = 24;

std::array<uint8_t, kReturnCountersSize> EncodeReturnCounters(const TReturnCounters& r);
TReturnCounters DecodeReturnCounters(const uint8_t* bytes);
std::array<uint8_t, kVisitHistogramSize> EncodeVisitHistogram(const TVisitHistogram& h);
TVisitHistogram DecodeVisitHistogram(const uint8_t* bytes);
std::array<uint8_t, kVisitorRecordSize> EncodeVisitorRecord(const TVisitorRecord& r);
TVisitorRecord DecodeVisitorRecord(const uint8_t* bytes);
std::array<uint8_t, kVisitorKeyRecordSize> EncodeVisitorKeyRecord(const TVisitorKeyRecord& r);
TVisitorKeyRecord DecodeVisitorKeyRecord(const uint8_t* bytes);

// Each record at offset 0 of an atom.
TReturnCounters ReadReturnCounters(IVirtualAtom& atom);
void WriteReturnCounters(IVirtualAtom& atom, const TReturnCounters& r);
TVisitHistogram ReadVisitHistogram(IVirtualAtom& atom);
void WriteVisitHistogram(IVirtualAtom& atom, const TVisitHistogram& h);
TVisitorRecord ReadVisitorRecord(IVirtualAtom& atom);
void WriteVisitorRecord(IVirtualAtom& atom, const TVisitorRecord& r);
TVisitorKeyRecord ReadVisitorKeyRecord(IVirtualAtom& atom);
void WriteVisitorKeyRecord(IVirtualAtom& atom, const TVisitorKeyRecord& r);

// A date-time at offset 0 of an atom (a node time).
double ReadDateTimeAtom(IVirtualAtom& atom);
void WriteDateTimeAtom(IVirtualAtom& atom, double value);

}  // namespace tlvx
