#include "model/node_records.h"

#include <cstring>

#include "model/byte_order.h"
#include "model/time_split.h"
#include "platform/byte_codec.h"

namespace tlvx {

namespace {

// A copy of the stored bytes padded with zeros to the record's size.
template <size_t N>
std::array<uint8_t, N> Padded(const uint8_t* bytes, size_t size) {
    std::array<uint8_t, N> out{};
    if (bytes) std::memcpy(out.data(), bytes, size < N ? size : N);
    return out;
}

void PutHourRow(uint8_t* p, const THourRow& row) {
    PutInt32(p, row.Total);
    for (size_t h = 0; h < 24; ++h) PutInt32(p + 4 + 4 * h, row.Hours[h]);
}

THourRow GetHourRow(const uint8_t* p) {
    THourRow row;
    row.Total = GetInt32(p);
    for (size_t h = 0; h < 24; ++h) row.Hours[h] = GetInt32(p + 4 + 4 * h);
    return row;
}

}  // namespace

std::array<uint8_t, TNodeCounters::kSize> TNodeCounters::ToBytes() const {
    std::array<uint8_t, kSize> b{};
    PutInt32(&b[0], Hits);
    PutInt32(&b[4], Visits);
    PutInt32(&b[8], GroupHits);
    PutInt32(&b[12], GroupVisits);
    PutInt32(&b[16], Visitors);
    PutInt32(&b[20], Counter5);
    PutInt32(&b[24], Entries);
    PutInt32(&b[28], Counter7);
    PutInt32(&b[32], Exits);
    PutDouble(&b[36], Created);
    PutInt32(&b[44], Interval);
    PutInt32(&b[48], Reloads);
    PutInt32(&b[52], GroupVisitors);
    return b;
}

TNodeCounters TNodeCounters::FromBytes(const uint8_t* bytes, size_t size) {
    auto b = Padded<kSize>(bytes, size);
    TNodeCounters c;
    c.Hits = GetInt32(&b[0]);
    c.Visits = GetInt32(&b[4]);
    c.GroupHits = GetInt32(&b[8]);
    c.GroupVisits = GetInt32(&b[12]);
    c.Visitors = GetInt32(&b[16]);
    c.Counter5 = GetInt32(&b[20]);
    c.Entries = GetInt32(&b[24]);
    c.Counter7 = GetInt32(&b[28]);
    c.Exits = GetInt32(&b[32]);
    c.Created = GetDouble(&b[36]);
    c.Interval = GetInt32(&b[44]);
    c.Reloads = GetInt32(&b[48]);
    c.GroupVisitors = GetInt32(&b[52]);
    return c;
}

std::vector<uint8_t> TWeekHourBlock::ToBytes() const {
    std::vector<uint8_t> b(kSize);
    for (size_t d = 0; d < 7; ++d) PutHourRow(&b[100 * d], Days[d]);
    PutHourRow(&b[700], AllDays);
    return b;
}

TWeekHourBlock TWeekHourBlock::FromBytes(const uint8_t* bytes, size_t size) {
    auto b = Padded<kSize>(bytes, size);
    TWeekHourBlock block;
    for (size_t d = 0; d < 7; ++d) block.Days[d] = GetHourRow(&b[100 * d]);
    block.AllDays = GetHourRow(&b[700]);
    return block;
}

std::array<uint8_t, TNodeDayRecord::kSize> TNodeDayRecord::ToBytes() const {
    std::array<uint8_t, kSize> b{};
    PutInt32(&b[kHitsOffset], Hits);
    PutInt32(&b[kVisitsOffset], Visits);
    PutHourRow(&b[kHourRowOffset], HourRow);
    PutInt32(&b[kNewVisitorsOffset], NewVisitors);
    return b;
}

TNodeDayRecord TNodeDayRecord::FromBytes(const uint8_t* bytes, size_t size) {
    auto b = Padded<kSize>(bytes, size);
    TNodeDayRecord r;
    r.Hits = GetInt32(&b[kHitsOffset]);
    r.Visits = GetInt32(&b[kVisitsOffset]);
    r.HourRow = GetHourRow(&b[kHourRowOffset]);
    r.NewVisitors = GetInt32(&b[kNewVisitorsOffset]);
    return r;
}

std::array<uint8_t, TIPRecord::kSize> TIPRecord::ToBytes() const {
    std::array<uint8_t, kSize> b{};
    PutInt32(&b[0], Hits);
    PutInt32(&b[4], Visits);
    PutDouble(&b[8], LastHit);
    PutInt32(&b[16], NewDays);
    PutDouble(&b[20], FirstHit);
    return b;
}

TIPRecord TIPRecord::FromBytes(const uint8_t* bytes, size_t size) {
    auto b = Padded<kSize>(bytes, size);
    TIPRecord r;
    r.Hits = GetInt32(&b[0]);
    r.Visits = GetInt32(&b[4]);
    r.LastHit = GetDouble(&b[8]);
    r.NewDays = GetInt32(&b[16]);
    r.FirstHit = GetDouble(&b[20]);
    return r;
}

std::array<uint8_t, TSourceWeekdays::kSize> TSourceWeekdays::ToBytes() const {
    std::array<uint8_t, kSize> b{};
    for (size_t i = 0; i < 8; ++i) PutInt32(&b[4 * i], Counts[i]);
    return b;
}

TSourceWeekdays TSourceWeekdays::FromBytes(const uint8_t* bytes, size_t size) {
    auto b = Padded<kSize>(bytes, size);
    TSourceWeekdays w;
    for (size_t i = 0; i < 8; ++i) w.Counts[i] = GetInt32(&b[4 * i]);
    return w;
}

std::array<uint8_t, TSourceRecord::kSize> TSourceRecord::ToBytes() const {
    std::array<uint8_t, kSize> b{};
    PutInt32(&b[0], Hits);
    PutInt32(&b[4], Visits);
    PutDouble(&b[8], LastTime);
    PutInt32(&b[16], Visitors);
    PutDouble(&b[20], FirstTime);
    PutInt32(&b[28], Transitions);
    return b;
}

TSourceRecord TSourceRecord::FromBytes(const uint8_t* bytes, size_t size) {
    auto b = Padded<kSize>(bytes, size);
    TSourceRecord r;
    r.Hits = GetInt32(&b[0]);
    r.Visits = GetInt32(&b[4]);
    r.LastTime = GetDouble(&b[8]);
    r.Visitors = GetInt32(&b[16]);
    r.FirstTime = GetDouble(&b[20]);
    r.Transitions = GetInt32(&b[28]);
    return r;
}

std::string DayKey(double when) { return BigEndianKey32(static_cast<uint32_t>(DayNumber(when))); }

}  // namespace tlvx
