#include "store/crc32.h"

#include <array>

#include "platform/byte_codec.h"

namespace tlvx {
namespace {

// Slicing by 8: table k holds the CRC of a byte followed by k zero bytes, so
// eight bytes are folded in per step; the result equals the byte loop.
using TCrcTables = std::array<std::array<uint32_t, 256>, 8>;

constexpr TCrcTables MakeTables() {
    TCrcTables t{};
    for (uint32_t i = 0; i < 256; ++i) {
        uint32_t c = i;
        for (int k = 0; k < 8; ++k) c = (c & 1) ? (c >> 1) ^ 0xEDB88320u : c >> 1;
        t[0][i] = c;
    }
    for (uint32_t i = 0; i < 256; ++i)
        for (size_t k = 1; k < 8; ++k) t[k][i] = (t[k - 1][i] >> 8) ^ t[0][t[k - 1][i] & 0xFF];
    return t;
}

constexpr TCrcTables kTables = MakeTables();

}  // namespace

void UpdateCrc32(uint32_t& crc, const void* buffer, size_t count) {
    const auto* p = static_cast<const uint8_t*>(buffer);
    uint32_t c = crc;
    const auto& t = kTables;
    for (; count >= 8; count -= 8, p += 8) {
        const uint32_t lo = c ^ GetU32(p);
        const uint32_t hi = GetU32(p + 4);
        c = t[7][lo & 0xFF] ^ t[6][(lo >> 8) & 0xFF] ^ t[5][(lo >> 16) & 0xFF] ^ t[4][lo >> 24] ^
            t[3][hi & 0xFF] ^ t[2][(hi >> 8) & 0xFF] ^ t[1][(hi >> 16) & 0xFF] ^ t[0][hi >> 24];
    }
    for (; count > 0; --count, ++p) c = t[0][(c ^ *p) & 0xFF] ^ (c >> 8);
    crc = c;
}

}  // namespace tlvx
