#include "platform/guid.h"

#include <gtest/gtest.h>

#include <set>

namespace tlvx {
namespace {

const TGUID kSample{0x01234567, 0x89AB, 0xCDEF, {0xFE, 0xDC, 0xBA, 0x98, 0x76, 0x54, 0x32, 0x10}};

TEST(Guid, BytesAreLittleEndianFieldsThenD4) {
    auto b = kSample.ToBytes();
    const uint8_t want[16] = {0x67, 0x45, 0x23, 0x01, 0xAB, 0x89, 0xEF, 0xCD,
                              0xFE, 0xDC, 0xBA, 0x98, 0x76, 0x54, 0x32, 0x10};
    for (int i = 0; i < 16; ++i) EXPECT_EQ(b[i], want[i]) << i;
    EXPECT_EQ(TGUID::FromBytes(b.data()), kSample);
}

TEST(Guid, TextIsUpperCaseBracedAndRoundTrips) {
    EXPECT_EQ(GuidToStr(kSample), "{01234567-89AB-CDEF-FEDC-BA9876543210}");
    EXPECT_EQ(StrToGuid("{01234567-89ab-cdef-fedc-ba9876543210}"), kSample);
    EXPECT_EQ(GuidToStr(TGUID{}), "{00000000-0000-0000-0000-000000000000}");
    for (int i = 0; i < 50; ++i) {
        TGUID g = NewGuid();
        EXPECT_EQ(StrToGuid(GuidToStr(g)), g);
    }
}

TEST(Guid, StrictParseRejectsAnythingElse) {
    const char* bad[] = {
        "",
        "01234567-89AB-CDEF-FEDC-BA9876543210",     // no braces
        "{01234567-89AB-CDEF-FEDC-BA9876543210",    // no closing brace
        "{01234567-89AB-CDEF-FEDC-BA9876543210} ",  // trailing space
        " {01234567-89AB-CDEF-FEDC-BA9876543210}",
        "{01234567-89AB-CDEF-FEDCBA9876543210-}",   // dash misplaced
        "{0123456789AB-CDEF-FEDC-BA9876543210--}",
        "{01234567-89AB-CDEF-FEDC-BA987654321G}",   // not hex
        "{0123456 -89AB-CDEF-FEDC-BA9876543210}",
        "{+1234567-89AB-CDEF-FEDC-BA9876543210}",
        "(01234567-89AB-CDEF-FEDC-BA9876543210)",
        "{01234567-89AB-CDEF-FEDC-BA98765432100}",
    };
    for (const char* s : bad) EXPECT_FALSE(StrToGuid(s).has_value()) << s;
    std::string withNul = "{01234567-89AB-CDEF-FEDC-BA9876543210}";
    withNul[5] = '\0';
    EXPECT_FALSE(StrToGuid(withNul).has_value());
}

TEST(Guid, NewGuidsAreVersion4AndDistinct) {
    std::set<std::string> seen;
    for (int i = 0; i < 200; ++i) {
        TGUID g = NewGuid();
        EXPECT_EQ(g.D3 >> 12, 4);
        EXPECT_EQ(g.D4[0] & 0xC0, 0x80);
        EXPECT_TRUE(seen.insert(GuidToStr(g)).second);
    }
}

TEST(Guid, InstalledSourceIsUsedUntilRemoved) {
    struct TFixed : IGuidSource {
        uint32_t n = 0;
        TGUID Next() override { return TGUID{++n, 0, 0, {}}; }
    } fixed;
    SetGuidSource(&fixed);
    EXPECT_EQ(NewGuid().D1, 1u);
    EXPECT_EQ(NewGuid().D1, 2u);
    SetGuidSource(nullptr);
    EXPECT_EQ(NewGuid().D3 >> 12, 4);
    EXPECT_EQ(fixed.n, 2u);
}

}  // namespace
}  // namespace tlvx
