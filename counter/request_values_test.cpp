#include "counter/request_values.h"

#include <gtest/gtest.h>

#include "counter/pixel_image.h"
#include "model/error_notes.h"

namespace tlvx {
namespace {

TEST(RequestValues, CallAndSkin) {
    EXPECT_TRUE(IsSSICall("ssi"));
    EXPECT_TRUE(IsSSICall("SsI"));
    EXPECT_FALSE(IsSSICall(" SSI"));
    EXPECT_FALSE(IsSSICall(""));

    ResetErrorNotes();
    EXPECT_EQ(0, ParseSkinNumber(""));
    EXPECT_EQ(3, ParseSkinNumber("3"));
    EXPECT_EQ(-2, ParseSkinNumber("-2"));
    // Not numbers: skin 0, and the hit of the request stays.
    EXPECT_EQ(0, ParseSkinNumber("abc"));
    EXPECT_EQ(0, ParseSkinNumber("99999999999"));
    EXPECT_EQ(0, ParseSkinNumber("1.5"));
    EXPECT_FALSE(ErrorFlag());
}

TEST(RequestValues, HexColourReadsAnyLengthWithoutOverflow) {
    EXPECT_EQ(0, ParseHexColor(""));
    EXPECT_EQ(0xFF, ParseHexColor("0000ff"));
    EXPECT_EQ(0xFF0000, ParseHexColor("FF0000"));
    EXPECT_EQ(0xABCDEF, ParseHexColor("aBcDeF"));
    EXPECT_EQ(0, ParseHexColor("00G0FF"));
    EXPECT_EQ(0, ParseHexColor("#0000FF"));
    EXPECT_EQ(0, ParseHexColor("0000FF "));
    EXPECT_EQ(int64_t(0xFFFFFFFFFFFFFFFFull), ParseHexColor("FFFFFFFFFFFFFFFF"));
    // Longer texts wrap modulo 2^64: the low digits, the ones a pixel uses,
    // stay exact.
    EXPECT_EQ(0x123456, ParseHexColor(std::string(40, 'F') + "0000000000123456") & 0xFFFFFFFFFFFFFF);
    EXPECT_EQ(0x0000FF, ParseHexColor(std::string(1000, '0') + "0000FF"));
    EXPECT_EQ(0u, HexDigitWeight('F', 16));
    EXPECT_EQ(0xF0u, HexDigitWeight('f', 1));
    EXPECT_EQ(0, HexDigitValue('g'));
    EXPECT_TRUE(IsHexText(""));
}

TEST(PixelImage, GifOfOnePixelInClassLibraryColourOrder) {
    std::vector<uint8_t> red = OnePixelGIF(0x0000FF);
    ASSERT_EQ(799u, red.size());
    EXPECT_EQ(std::string("GIF87a\x01\x00\x01\x00\xF7\x00\x00\xFF\x00\x00", 16),
              std::string(red.begin(), red.begin() + 16));
    EXPECT_EQ(std::string("\x08\x04\x00\x01\x04\x04\x00\x3B", 8),
              std::string(red.end() - 8, red.end()));
    std::vector<uint8_t> blue = OnePixelGIF(0xFF0000);
    EXPECT_EQ(std::string("\x00\x00\xFF", 3), std::string(blue.begin() + 13, blue.begin() + 16));
    // Bits above the colour's 24 are ignored.
    EXPECT_EQ(red, OnePixelGIF(0x12000000FFull));
}

}  // namespace
}  // namespace tlvx
