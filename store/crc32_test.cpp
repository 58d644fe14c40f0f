// The table-sliced CRC against the plain bit-by-bit definition, over every
// length and alignment that the eight-byte steps and the tail can meet.
#include <gtest/gtest.h>

#include <random>
#include <vector>

#include "store/crc32.h"

namespace tlvx {
namespace {

uint32_t BitwiseCrc(uint32_t c, const uint8_t* p, size_t n) {
    for (size_t i = 0; i < n; ++i) {
        c ^= p[i];
        for (int k = 0; k < 8; ++k) c = (c & 1) ? (c >> 1) ^ 0xEDB88320u : c >> 1;
    }
    return c;
}

TEST(Crc32, SlicedEqualsBitwiseForAllLengthsAndOffsets) {
    std::mt19937 rng(7);
    std::vector<uint8_t> bytes(300);
    for (auto& b : bytes) b = uint8_t(rng());
    for (size_t offset = 0; offset < 9; ++offset)
        for (size_t n = 0; n + offset <= bytes.size(); n += (n < 40 ? 1 : 13)) {
            const uint32_t start = uint32_t(rng());
            uint32_t crc = start;
            UpdateCrc32(crc, bytes.data() + offset, n);
            ASSERT_EQ(crc, BitwiseCrc(start, bytes.data() + offset, n)) << offset << " " << n;
        }
}

TEST(Crc32, PiecewiseEqualsWhole) {
    std::mt19937 rng(11);
    std::vector<uint8_t> bytes(5000);
    for (auto& b : bytes) b = uint8_t(rng());
    const uint32_t whole = Crc32(bytes.data(), bytes.size());
    for (int round = 0; round < 50; ++round) {
        uint32_t crc = 0;
        for (size_t at = 0; at < bytes.size();) {
            const size_t n = std::min<size_t>(bytes.size() - at, rng() % 70);
            UpdateCrc32(crc, bytes.data() + at, n);
            at += n;
        }
        ASSERT_EQ(crc, whole);
    }
}

}  // namespace
}  // namespace tlvx
