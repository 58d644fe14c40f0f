#include "store/crc32.h"

#include <array>

namespace tlvx {
namespace {

constexpr std::array<uint32_t, 256> MakeTable() {
    std::array<uint32_t, 256> table{};
    for (uint32_t i = 0; i < 256; ++i) {
        uint32_t c = i;
        for (int k = 0; k < 8; ++k) c = (c & 1) ? (c >> 1) ^ 0xEDB88320u : c >> 1;
        table[i] = c;
    }
    return table;
}

constexpr std::array<uint32_t, 256> kTable = MakeTable();

}  // namespace

void UpdateCrc32(uint32_t& crc, const void* buffer, size_t count) {
    const auto* p = static_cast<const uint8_t*>(buffer);
    uint32_t c = crc;
    for (size_t i = 0; i < count; ++i) c = kTable[(c ^ p[i]) & 0xFF] ^ (c >> 8);
    crc = c;
}

}  // namespace tlvx
