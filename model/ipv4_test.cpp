#include <gtest/gtest.h>

#include <cstring>

#include "model/byte_order.h"
#include "model/ipv4.h"

namespace tlvx {
namespace {

TEST(ParseIPv4Test, Addresses) {
    EXPECT_EQ(ParseIPv4("192.168.0.1"), 0xC0A80001);
    EXPECT_EQ(ParseIPv4("  10.0.0.1 \t"), 0x0A000001);
    EXPECT_EQ(ParseIPv4("0.0.0.0"), 0);
    EXPECT_EQ(ParseIPv4("255.255.255.255"), 0xFFFFFFFFll);
    EXPECT_EQ(ParseIPv4("010.001.000.009"), 0x0A010009);
    for (const char* bad : {"", "1.2.3", "1.2.3.4.5", "1.2.3.256", "1..3.4", ".1.2.3", "1.2.3.",
                            "1.2.3.4.", "-1.2.3.4", "1.2.3.4a", "::1", "::ffff:1.2.3.4",
                            "fe80::1", "1 .2.3.4", "0001.2.3.4444", "1.2.3.4/24",
                            "unknown", "1,2,3,4", "1111.1.1.1"}) {
        EXPECT_EQ(ParseIPv4(bad), -1) << bad;
    }
}

TEST(ParseIPv4Test, ClientAddressOfGarbageIsUnknownNotBroadcast) {
    EXPECT_EQ(ParseClientIPv4("1.2.3.4"), 0x01020304u);
    EXPECT_EQ(ParseClientIPv4("::1"), 0u);
    EXPECT_EQ(ParseClientIPv4(""), 0u);
    EXPECT_EQ(ParseClientIPv4("255.255.255.255"), 0xFFFFFFFFu);
}

TEST(ParseIPv4Test, TextRoundTrip) {
    for (uint32_t a : {0u, 1u, 0x7F000001u, 0xC0A80001u, 0xFFFFFFFFu, 0x0A00FF10u})
        EXPECT_EQ(ParseIPv4(IPv4ToText(a)), int64_t(a)) << IPv4ToText(a);
}

TEST(NetworkTest, MaskAndMatch) {
    EXPECT_EQ(NetworkMask(0), 0u);
    EXPECT_EQ(NetworkMask(32), 0xFFFFFFFFu);
    EXPECT_EQ(NetworkMask(24), 0xFFFFFF00u);
    EXPECT_EQ(NetworkMask(1), 0x80000000u);
    EXPECT_EQ(NetworkMask(40), 0xFFFFFFFFu);
    EXPECT_EQ(NetworkMask(-3), 0u);

    TNetWork all{0, 0};
    EXPECT_TRUE(InNetwork(0xDEADBEEF, all));
    TNetWork host{0x0A010203, 32};
    EXPECT_TRUE(InNetwork(0x0A010203, host));
    EXPECT_FALSE(InNetwork(0x0A010204, host));
    TNetWork lan{0x0A010200, 24};
    EXPECT_TRUE(InNetwork(0x0A0102FF, lan));
    EXPECT_FALSE(InNetwork(0x0A010300, lan));
    // Written with host bits set, the entry matches nothing.
    TNetWork sloppy{0x0A010203, 24};
    EXPECT_FALSE(InNetwork(0x0A010203, sloppy));
}

TEST(NetworkTest, ParseNetworkText) {
    TNetWork n;
    ASSERT_TRUE(ParseNetwork("0.0.0.0/0", n));
    EXPECT_EQ(n, (TNetWork{0, 0}));
    ASSERT_TRUE(ParseNetwork("10.1.2.3/32", n));
    EXPECT_EQ(n, (TNetWork{0x0A010203, 32}));
    ASSERT_TRUE(ParseNetwork(" 192.168.0.0 / 16 ", n));
    EXPECT_EQ(n, (TNetWork{0xC0A80000, 16}));
    n = {7, 7};
    for (const char* bad : {"10.0.0.0", "10.0.0.0/", "10.0.0.0/33", "10.0.0.0/-1", "10.0.0/8",
                            "/8", "10.0.0.0/8/8", "10.0.0.0/x", "::/0", "10.0.0.0/4294967304"}) {
        EXPECT_FALSE(ParseNetwork(bad, n)) << bad;
        EXPECT_EQ(n, (TNetWork{7, 7})) << bad;
    }
}

TEST(ReverseBytesTest, EvenSizesOnly) {
    uint8_t four[4] = {1, 2, 3, 4};
    ReverseBytes(four, 4);
    EXPECT_EQ(std::memcmp(four, "\x04\x03\x02\x01", 4), 0);
    uint8_t three[3] = {1, 2, 3};
    ReverseBytes(three, 3);
    EXPECT_EQ(std::memcmp(three, "\x01\x02\x03", 3), 0);
    uint8_t eight[8] = {1, 2, 3, 4, 5, 6, 7, 8};
    ReverseBytes(eight, 8);
    EXPECT_EQ(std::memcmp(eight, "\x08\x07\x06\x05\x04\x03\x02\x01", 8), 0);
    ReverseBytes(nullptr, 0);
    ReverseBytes(eight, -2);
    EXPECT_EQ(eight[0], 8);
}

TEST(ReverseBytesTest, BigEndianKeysSortNumerically) {
    EXPECT_EQ(BigEndianKey32(0x01020304), std::string("\x01\x02\x03\x04", 4));
    uint32_t values[] = {0, 1, 255, 256, 0x7FFFFFFF, 0x80000000, 0xFFFFFFFF};
    for (size_t i = 0; i + 1 < std::size(values); ++i) {
        EXPECT_LT(BigEndianKey32(values[i]), BigEndianKey32(values[i + 1]));
        EXPECT_EQ(FromBigEndianKey32(BigEndianKey32(values[i])), values[i]);
    }
    EXPECT_THROW(FromBigEndianKey32("abc"), std::invalid_argument);
    // The key is the reversed bytes of the little-endian integer.
    uint32_t v = 0x0A0B0C0D;
    uint8_t le[4] = {0x0D, 0x0C, 0x0B, 0x0A};
    ReverseBytes(le, 4);
    EXPECT_EQ(std::string(reinterpret_cast<char*>(le), 4), BigEndianKey32(v));
}

}  // namespace
}  // namespace tlvx
