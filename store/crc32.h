// The CRC-32 of every check in the storage file: the reflected table-driven
// CRC with polynomial 0xEDB88320, but with no inversion at the start or the
// end. The register starts with the value the caller passes (the store always
// passes 0), so "123456789" gives 0x2DFD2D88, not the usual 0xCBF43926, and a
// run of zero bytes from 0 stays 0 (an all-zero table slot checks as valid).
#pragma once

#include <cstddef>
#include <cstdint>

namespace tlvx {

void UpdateCrc32(uint32_t& crc, const void* buffer, size_t count);

// The CRC of one buffer from the register value 0.
inline uint32_t Crc32(const void* buffer, size_t count) {
    uint32_t crc = 0;
    UpdateCrc32(crc, buffer, count);
    return crc;
}

}  // namespace tlvx
