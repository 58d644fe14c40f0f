// The stored records of a node's statistics, coded field by field.
//
// All integers are int32 little-endian unless said otherwise; date-times are
// 8-byte IEEE doubles (days since 1899-12-30, time of day as fraction), often
// at offsets that are not multiples of 8. Index keys that are integers (day
// numbers, IPv4 addresses) are their 4 bytes big-endian (BigEndianKey32), so
// the index walks them in numeric order.
//
// Info atom links:
//   1 link index: key = a parent's dotted path, value = its node atom number
//     as decimal text          2 name (text)
//   3 TAtomID of the info atom (24 bytes)     4 TNodeCounters (56 bytes)
//   5 day index (key = day number)            6 TWeekHourBlock (800 bytes)
//   7 IP index (key = address)                8 previous-page index (value =
//     int32 count)              9 source index (its index atom carries, as
//     link 1, 32 zero bytes)    10 browser atom    11 language atom
// Day atom (value of the day index): TNodeDayRecord; links 2 IP list,
// 3 source list, 4 int32 visitor counter, 5 source transition list.
// Source entry (value of the source index): the source name as text; links
// 1 TSourceWeekdays, 2 TSourceRecord, 3 useful-since date-time (8 bytes).
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

namespace tlvx {

enum TInfoLink : int32_t {
    ilLinks = 1,
    ilName = 2,
    ilAtomID = 3,
    ilCounters = 4,
    ilDays = 5,
    ilWeekHours = 6,
    ilIPs = 7,
    ilPrevNodes = 8,
    ilSources = 9,
    ilBrowsers = 10,
    ilLanguages = 11,
};

enum TDayLink : int32_t {
    dlIPList = 2,
    dlSourceList = 3,
    dlVisitorCount = 4,
    dlTransitionList = 5,
};

enum TSourceLink : int32_t {
    slWeekdays = 1,
    slRecord = 2,
    slUsefulSince = 3,
};

// The node's counter record. Files written before GroupVisitors existed hold
// 52 bytes; the missing field reads as 0.
struct TNodeCounters {
    static constexpr int32_t kSize = 56;
    int32_t Hits = 0;           //  0
    int32_t Visits = 0;         //  4
    int32_t GroupHits = 0;      //  8
    int32_t GroupVisits = 0;    // 12
    int32_t Visitors = 0;       // 16
    int32_t Counter5 = 0;       // 20
    int32_t Entries = 0;        // 24
    int32_t Counter7 = 0;       // 28
    int32_t Exits = 0;          // 32
    double Created = 0;         // 36
    int32_t Interval = -1;      // 44, minutes; -1 = not set
    int32_t Reloads = 0;        // 48
    int32_t GroupVisitors = 0;  // 52

    friend bool operator==(const TNodeCounters&, const TNodeCounters&) = default;
    std::array<uint8_t, kSize> ToBytes() const;
    // Bytes beyond size read as 0.
    static TNodeCounters FromBytes(const uint8_t* bytes, size_t size);
};

// Total, then the hits of each hour of the day.
struct THourRow {
    static constexpr int32_t kSize = 100;
    int32_t Total = 0;
    std::array<int32_t, 24> Hours{};
    friend bool operator==(const THourRow&, const THourRow&) = default;
};

// Days[0..6] are Monday..Sunday (stored at 0, 100, ..., 600), AllDays at 700.
struct TWeekHourBlock {
    static constexpr int32_t kSize = 800;
    std::array<THourRow, 7> Days{};
    THourRow AllDays;
    // isoWeekday 1 = Monday ... 7 = Sunday.
    THourRow& Day(int32_t isoWeekday) { return Days.at(size_t(isoWeekday - 1)); }
    friend bool operator==(const TWeekHourBlock&, const TWeekHourBlock&) = default;
    std::vector<uint8_t> ToBytes() const;
    static TWeekHourBlock FromBytes(const uint8_t* bytes, size_t size);
};

// Value atom of the day index. Records written before NewVisitors existed
// are 108 bytes long.
struct TNodeDayRecord {
    static constexpr int32_t kSize = 112;
    static constexpr int32_t kLegacySize = 108;
    static constexpr int32_t kHitsOffset = 0;
    static constexpr int32_t kVisitsOffset = 4;
    static constexpr int32_t kHourRowOffset = 8;
    static constexpr int32_t kNewVisitorsOffset = 108;
    int32_t Hits = 0;
    int32_t Visits = 0;
    THourRow HourRow;
    int32_t NewVisitors = 0;
    friend bool operator==(const TNodeDayRecord&, const TNodeDayRecord&) = default;
    std::array<uint8_t, kSize> ToBytes() const;
    static TNodeDayRecord FromBytes(const uint8_t* bytes, size_t size);
};

// One row of a day's IP list; IP is the caller's value, not byte-reversed.
struct TIPDayRow {
    static constexpr int32_t kSize = 16;
    uint32_t IP = 0;
    int32_t Hits = 0;
    int32_t Visits = 0;
    int32_t NewDays = 0;
    friend bool operator==(const TIPDayRow&, const TIPDayRow&) = default;
};

// One row of a day's source or transition list; Number is the source
// entry's atom number (high 32 bits 0). Number 0 names no source.
struct TSourceDayRow {
    static constexpr int32_t kSize = 24;
    uint64_t Number = 0;
    int32_t Hits = 0;
    int32_t Visits = 0;
    int32_t Visitors = 0;
    friend bool operator==(const TSourceDayRow&, const TSourceDayRow&) = default;
};

// Value atom of the IP index.
struct TIPRecord {
    static constexpr int32_t kSize = 28;
    int32_t Hits = 0;       //  0
    int32_t Visits = 0;     //  4
    double LastHit = 0;     //  8
    int32_t NewDays = 0;    // 16
    double FirstHit = 0;    // 20
    friend bool operator==(const TIPRecord&, const TIPRecord&) = default;
    std::array<uint8_t, kSize> ToBytes() const;
    static TIPRecord FromBytes(const uint8_t* bytes, size_t size);
};

// [0] transitions in total, [1..7] by weekday (1 = Monday).
struct TSourceWeekdays {
    static constexpr int32_t kSize = 32;
    std::array<int32_t, 8> Counts{};
    friend bool operator==(const TSourceWeekdays&, const TSourceWeekdays&) = default;
    std::array<uint8_t, kSize> ToBytes() const;
    static TSourceWeekdays FromBytes(const uint8_t* bytes, size_t size);
};

struct TSourceRecord {
    static constexpr int32_t kSize = 32;
    int32_t Hits = 0;         //  0
    int32_t Visits = 0;       //  4
    double LastTime = 0;      //  8
    int32_t Visitors = 0;     // 16
    double FirstTime = 0;     // 20
    int32_t Transitions = 0;  // 28
    friend bool operator==(const TSourceRecord&, const TSourceRecord&) = default;
    std::array<uint8_t, kSize> ToBytes() const;
    static TSourceRecord FromBytes(const uint8_t* bytes, size_t size);
};

// Result rows of the address queries.
struct TIPRow {
    uint32_t IP = 0;
    int32_t Hits = 0;
    int32_t Visits = 0;
    int32_t NewDays = 0;
    double LastHit = 0;
    friend bool operator==(const TIPRow&, const TIPRow&) = default;
};
using TIPArray = std::vector<TIPRow>;
using trefarray = std::vector<TSourceDayRow>;
using FloatArray = std::vector<double>;

// The day index key of a date-time: its DayNumber (time_split.h).
std::string DayKey(double when);

}  // namespace tlvx
