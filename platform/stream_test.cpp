#include "platform/stream.h"

#include <gtest/gtest.h>

namespace tlvx {
namespace {

TEST(MemoryStream, LittleEndianRoundTripAndShortRead) {
    TMemoryStream s;
    s.WriteU32(0x11223344);
    s.WriteU16(0xA1B2);
    s.WriteU8(0xFF);
    ASSERT_EQ(s.Size(), 7u);
    EXPECT_EQ(s.Bytes()[0], 0x44);
    EXPECT_EQ(s.Bytes()[4], 0xB2);
    s.Seek(0);
    EXPECT_EQ(s.ReadU32(), 0x11223344u);
    EXPECT_EQ(s.ReadU16(), 0xA1B2u);
    EXPECT_EQ(s.ReadU8(), 0xFFu);
    EXPECT_EQ(s.Remaining(), 0u);
    EXPECT_THROW(s.ReadU8(), EReadError);
}

TEST(MemoryStream, WritePastEndGrowsAndSetSizeClampsPosition) {
    TMemoryStream s;
    s.Seek(3);
    s.WriteU8(7);
    ASSERT_EQ(s.Size(), 4u);
    EXPECT_EQ(s.Bytes()[0], 0);
    s.SetSize(2);
    EXPECT_EQ(s.Position(), 2u);
    uint8_t b;
    EXPECT_EQ(s.Read(&b, 1), 0u);
}

}  // namespace
}  // namespace tlvx
