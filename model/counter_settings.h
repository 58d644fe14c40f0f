// TCounterSettings: the settings record of a counter database, the data of
// root child 0, coded field by field.
//
//  offset type    field
//    0    i32     TotalVisits     site visits, the number the counter draws
//    4    i32     TotalHits
//    8    i32     TotalVisitors   new visitors
//   12    i32     DefaultInterval visit interval in minutes
//   16    u8      CanAddNode      a hit on an unknown path creates the node
//   17    double  StartTime       start of the statistics history
//   25    i32     (no reader)
//   29    u8      (no reader)
//   30    u8      (no reader)
//   31    16      (no reader)
//   47    double  CreationTime
//   55    u8      (no reader)
// Doubles are IEEE little-endian, unaligned.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>

namespace tlvx {

struct TCounterSettings {
    static constexpr size_t kSize = 56;

    // The member defaults are a new database's values, the times aside.
    int32_t TotalVisits = 0;
    int32_t TotalHits = 0;
    int32_t TotalVisitors = 0;
    int32_t DefaultInterval = 720;
    uint8_t CanAddNode = 1;
    double StartTime = 0;
    int32_t Unused25 = 0;
    uint8_t Unused29 = 0;
    uint8_t Unused30 = 1;
    std::array<uint8_t, 16> Unused31{};
    double CreationTime = 0;
    uint8_t Unused55 = 1;

    void ToBytes(uint8_t out[kSize]) const;
    // Reads size bytes; a shorter record reads as if padded with zeros.
    static TCounterSettings FromBytes(const uint8_t* bytes, size_t size);

    friend bool operator==(const TCounterSettings&, const TCounterSettings&) = default;
};

// The settings of a database created at now.
TCounterSettings NewCounterSettings(double now);

}  // namespace tlvx
