#include "platform/byte_codec.h"

#include <gtest/gtest.h>

#include <random>
#include <string>
#include <vector>

namespace tlvx {
namespace {

TEST(ByteCodec, GoldenBytesOfEveryWidth) {
    uint8_t b[8];
    PutU16(b, 0x1234);
    EXPECT_EQ(std::vector<uint8_t>(b, b + 2), (std::vector<uint8_t>{0x34, 0x12}));
    PutU32(b, 0x89ABCDEF);
    EXPECT_EQ(std::vector<uint8_t>(b, b + 4), (std::vector<uint8_t>{0xEF, 0xCD, 0xAB, 0x89}));
    PutU64(b, 0x0102030405060708ull);
    EXPECT_EQ(std::vector<uint8_t>(b, b + 8),
              (std::vector<uint8_t>{8, 7, 6, 5, 4, 3, 2, 1}));
    PutInt32(b, -2);
    EXPECT_EQ(std::vector<uint8_t>(b, b + 4), (std::vector<uint8_t>{0xFE, 0xFF, 0xFF, 0xFF}));
    EXPECT_EQ(GetInt32(b), -2);
    // 1.0 is 0x3FF0000000000000.
    PutDouble(b, 1.0);
    EXPECT_EQ(std::vector<uint8_t>(b, b + 8),
              (std::vector<uint8_t>{0, 0, 0, 0, 0, 0, 0xF0, 0x3F}));
    PutU32BE(b, 0x89ABCDEF);
    EXPECT_EQ(std::vector<uint8_t>(b, b + 4), (std::vector<uint8_t>{0x89, 0xAB, 0xCD, 0xEF}));
    EXPECT_EQ(GetU32BE(b), 0x89ABCDEFu);
}

TEST(ByteCodec, RandomValuesRoundTripThroughEveryForm) {
    std::mt19937_64 rng(7);
    for (int i = 0; i < 1000; ++i) {
        const uint64_t v = rng();
        const double d = std::bit_cast<double>(rng() & ~(0x7FFull << 52));  // finite
        uint8_t b[8];
        PutU16(b, uint16_t(v));
        EXPECT_EQ(GetU16(b), uint16_t(v));
        PutU32(b, uint32_t(v));
        EXPECT_EQ(GetU32(b), uint32_t(v));
        PutU64(b, v);
        EXPECT_EQ(GetU64(b), v);
        PutDouble(b, d);
        EXPECT_EQ(GetDouble(b), d);

        std::string s;
        std::vector<uint8_t> bytes;
        AppendU8(s, uint8_t(v));
        AppendU16(s, uint16_t(v));
        AppendU32(s, uint32_t(v));
        AppendU64(s, v);
        AppendDouble(s, d);
        AppendU8(bytes, uint8_t(v));
        AppendU16(bytes, uint16_t(v));
        AppendU32(bytes, uint32_t(v));
        AppendU64(bytes, v);
        AppendDouble(bytes, d);
        ASSERT_EQ(s.size(), 23u);
        EXPECT_EQ(std::string(bytes.begin(), bytes.end()), s);

        size_t pos = 0;
        TByteReader r(s, pos);
        EXPECT_EQ(r.U8(), uint8_t(v));
        EXPECT_EQ(r.U16(), uint16_t(v));
        EXPECT_EQ(r.U32(), uint32_t(v));
        EXPECT_EQ(r.U64(), v);
        EXPECT_EQ(r.Double(), d);
        EXPECT_EQ(pos, s.size());
    }
}

struct EShort {};
void ThrowShort() { throw EShort{}; }

TEST(ByteCodec, ReaderRefusesToReadPastTheEnd) {
    const std::string s("\x01\x02\x03", 3);
    size_t pos = 0;
    TByteReader r(s, pos, ThrowShort);
    EXPECT_EQ(r.U16(), 0x0201);
    EXPECT_THROW(r.U16(), EShort);
    EXPECT_EQ(pos, 2u) << "a refused read leaves the position";
    EXPECT_EQ(r.Take(1), "\x03");
    EXPECT_THROW(r.U8(), EShort);

    size_t far = 10;  // a position already beyond the buffer
    TByteReader beyond(s, far);
    EXPECT_THROW(beyond.Take(0), std::out_of_range);
    size_t huge = 1;
    TByteReader wraps(s, huge);
    EXPECT_THROW(wraps.Take(SIZE_MAX), std::out_of_range);
}

}  // namespace
}  // namespace tlvx
