// The 128-byte header of a storage file, little-endian throughout:
//
//   0  16  signature "QMZ-STORAGE", zero-padded (at most 16 characters)
//  16   8  position of the first hole table (0 = none)
//  24   8  position of the first atom table (0 = none)
//  32  16  data class GUID (binary layout)
//  48  16  storage identity GUID
//  64   8  creation stamp: u32 seconds of the local day, u32 day number
//  72   8  modification stamp, same form
//  80   2  flags: bit 0 marked read-only, bit 1 damaged
//  82   2  MaxVersion     84  2  MinVersion     86  1  zero
//  87   1  AtomSizeAlign (1..255)
//  88   8  logical size (128 for an empty store)
//  96   8  position of the chain summary (0 = none; store/chain_summary.h)
// 104   4  size of the chain summary in bytes
// 108  16  zero
// 124   4  CRC-32 (uninverted, from 0) of bytes 0..123
#pragma once

#include <array>
#include <cstdint>
#include <string>

#include "platform/guid.h"

namespace tlvx {

inline constexpr size_t kHeaderSize = 128;
inline constexpr uint16_t kFlagReadOnly = 1;
inline constexpr uint16_t kFlagDamaged = 2;

struct TStamp {
    uint32_t seconds = 0;  // seconds since local midnight
    uint32_t day = 0;      // whole days since 1899-12-30
    friend bool operator==(const TStamp&, const TStamp&) = default;
};

TStamp StampFromDateTime(double dateTime);
double StampToDateTime(const TStamp& stamp);

struct TOrvHeader {
    std::string signature;  // text up to the first zero byte
    uint64_t holeTablePos = 0;
    uint64_t atomTablePos = 0;
    TGUID dataClass;
    TGUID storageId;
    TStamp created;
    TStamp modified;
    uint16_t flags = 0;
    uint16_t maxVersion = 0;
    uint16_t minVersion = 0;
    uint8_t atomSizeAlign = 1;
    uint64_t logicalSize = 0;
    uint64_t summaryPos = 0;
    uint32_t summarySize = 0;
    uint32_t crc = 0;  // as stored at offset 124
    // The bytes as read; Encode keeps what the fields above do not cover
    // (reserved bytes), so a rewrite changes only what was set.
    std::array<uint8_t, kHeaderSize> raw{};

    // The 128 bytes with the CRC of bytes 0..123 at offset 124 (crc ignored).
    std::array<uint8_t, kHeaderSize> Encode() const;
    static TOrvHeader Decode(const uint8_t* bytes);
    // The CRC that Encode would store.
    uint32_t ComputeCrc() const;
};

}  // namespace tlvx
