// The pure routines the report pages share: addresses, maxima and averages
// of series, chart scales, noun forms, shares for tables and pie charts, the
// time-zone offset and the days of a period. None keeps state or reads anything
// but its arguments.
//
// Addresses are one canonical value everywhere: a uint32 whose most
// significant byte is the first dotted part, as ParseIPv4 (model/ipv4.h)
// gives it, so 200.1.2.3 prints as "200.1.2.3" and lies in 200.1.0.0/16.
#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "model/base_conf.h"
#include "model/cobject.h"
#include "platform/html_builder.h"
#include "webstat/report_period.h"

namespace tlvx {

// "a.b.c.d" of an address; "" for a value outside 0 .. 2^32 - 1.
std::string IpToStr(int64_t address);

// The canonical address of a visitor key as IVisitorCollection's lists give
// it (the key's four bytes reversed).
uint32_t AddressOfVisitorKey(int32_t key);

// low <= value <= high.
inline bool InRange(uint32_t value, uint32_t low, uint32_t high) { return low <= value && value <= high; }

// The largest value above 0 and its index (the first of equal maxima); 0 and
// index 0 when no value is above 0.
int32_t MaxIndex(std::span<const int32_t> values, size_t& index);

// The average step of a series, (last - first) / (n - 1); 0 for fewer than
// two values.
double AverageIncrease(std::span<const int32_t> values);
double AverageIncreaseF(std::span<const double> values);

// The top of a bar chart's scale for a largest value: 10 below 10;
// otherwise the leading digit raised by one at the value's magnitude
// (37 -> 40, 123 -> 200), or the next power of ten when that would begin
// with 5 to 9 (49 -> 100, 450 -> 1000, 999 -> 1000). Worked in 64 bits, so
// a maximum near 2^31 gets 3,000,000,000; results beyond 2^63 - 1 are
// clamped to it.
int64_t RoundChartScale(int64_t maximum);

// n, a blank and the noun form of the English table: the many form for
// 5..20, else by n mod 10: 1 the one form, 2-4 the few form, anything else
// (0, 5-9, a negative remainder) the many form. 111 takes the one form.
std::string NumberWithNoun(int32_t n);
// The noun form alone.
THtmlLiteral DayNoun(int32_t n);

// A name with a count: one language or browser of a pie chart.
struct TNameCount {
    std::string Name;
    int64_t Count = 0;
    friend bool operator==(const TNameCount&, const TNameCount&) = default;
};
using TNameCounts = std::vector<TNameCount>;

// Removes every entry whose share of the sum of all counts, in whole per
// cent (halves to even), is 0 or 1, and returns the sum of the removed
// counts: the pooled "other" slice. The sum is taken once, before removing.
// An empty list or a sum of 0 is left as it is and gives 0.
int64_t FoldSmallShares(TNameCounts& list);

// The figures of the transitions section of the general page, from the
// root's source list (each line's Hits is its transition count).
struct TReferrerShares {
    int32_t Useful = 0;          // sources with more than one transition
    int32_t UsefulPercent = 0;   // of the number of sources
    int32_t UnknownPercent = 0;  // "UNKNOWN" of all transitions
    int32_t TopPercent = 0;      // the top source of all transitions
    std::string TopName;         // "" when there is none
};
// The top source is the first with the most transitions among those named
// neither "UNKNOWN" nor the own host (upper-cased). Shares in whole per cent,
// halves to even; 0 when there is nothing to divide by.
TReferrerShares ReferrerShares(std::string_view ownHost, const TCObjectList& sources);

// part / whole x 100 for a share printed with decimals ("0.0", "0.00"):
// one division of the exact product, so the printer's rounding sees an
// exact half as a half; 0 when whole is not above 0.
double SharePercent(int64_t part, int64_t whole);

// The image index of a change shown beside an average: 11 ("down.gif")
// when the recent average lies at or below its reference (change >= 0),
// else 10 ("up.gif").
int32_t GrowthImageIndex(double change);

// The offset of local time from GMT.
struct TGmtOffset {
    int32_t Hours = 0;    // whole hours of the offset, negative west of GMT
    int32_t Minutes = 0;  // the remaining minutes, 0..59
    bool West = false;    // the offset is negative (also when Hours is 0)
    bool Known = true;
};
// From the minutes to add to local time to get GMT (IClock::BiasMinutes).
TGmtOffset GmtOffsetOf(int32_t biasMinutes);
// "+03:00", "-05:30", "-00:30", "+00:00": the sign taken from the offset.
std::string GmtOffsetText(const TGmtOffset& offset);

// The description of the longest of the configuration's VIPNetworks that
// holds address (between equal lengths the later entry; a /0 network holds
// every address), or "?" when none does.
std::string NetworkNameOf(uint32_t address, const TBaseConf& conf);

// The days of period for the local date and time now: whole day numbers,
// both ends inclusive. Nothing for AllTime (it has no day range) and for a
// value outside the enumeration.
struct TDayRange {
    double From = 0;
    double To = 0;
};
std::optional<TDayRange> PeriodRange(TPeriod period, double now);

// The calendar days of a history that began at startTime, the day of now
// included: WholeDay(now) - WholeDay(startTime) + 1 (time_split.h), and at
// least 1, so that a start time in the future (a clock set back) divides by
// 1, not by 0 or a negative count.
int32_t HistoryDays(double now, double startTime);

}  // namespace tlvx
