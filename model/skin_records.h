// The records of the skin image stream, each coded field by field.
//
// Skin image stream (integers little-endian):
//
//  offset size      content
//    0     255      signature: short string, length 20, "Tally-vex Skin Image",
//                   rest zero
//  255       4      version, int32 = 1
//  259      26      TSkinLayout
//  285      44      TSkinSizes
//  329  sizes[0]    background BMP
//  ...  sizes[10]   digit 0 BMP
//  ...  sizes[1..9] digit 1 BMP ... digit 9 BMP
//  ...     768      TSkinTexts (may be missing when reading)
//  ...       4      fill colour, a TColor: red, green, blue, 0 (may be missing)
//
// Note the two orders: the size table puts digit 0 last, the pictures put it
// right after the background.
#pragma once

#include <array>
#include <cstdint>
#include <string>

#include "raster/paint_rect.h"

namespace tlvx {

inline constexpr size_t kSkinSignatureSize = 255;
inline constexpr char kSkinSignatureText[] = "Tally-vex Skin Image";
inline constexpr int32_t kSkinStreamVersion = 1;
inline constexpr size_t kSkinLayoutSize = 26;
inline constexpr size_t kSkinSizesSize = 44;
inline constexpr size_t kSkinTextsSize = 768;
inline constexpr size_t kSkinColorSize = 4;
// Signature, version, layout and size table.
inline constexpr size_t kSkinHeaderSize =
    kSkinSignatureSize + 4 + kSkinLayoutSize + kSkinSizesSize;  // 329

enum TSkinAlign : uint8_t { saLeft = 0, saRight = 1, saCentre = 2 };

// Where and how the number is drawn.
//
//  offset type  field
//    0    u8    Align (TSkinAlign)
//    1    i32   MinDigits
//    5    i32   DigitHeight
//    9    i32   NumberX
//   13    u8    FixedPosition
//   14    i32   Gap
//   18    i32   NumberY
//   22    i32   NumberWidth
struct TSkinLayout {
    uint8_t Align = saCentre;
    int32_t MinDigits = 6;
    int32_t DigitHeight = 14;
    int32_t NumberX = 0;
    // 1: the number strip lies inside the background at (NumberX, NumberY);
    // 0: it is appended below the background.
    uint8_t FixedPosition = 0;
    int32_t Gap = 3;
    int32_t NumberY = 25;
    int32_t NumberWidth = 81;

    friend bool operator==(const TSkinLayout&, const TSkinLayout&) = default;
};

void EncodeSkinLayout(const TSkinLayout& layout, uint8_t out[kSkinLayoutSize]);
TSkinLayout DecodeSkinLayout(const uint8_t in[kSkinLayoutSize]);

// Byte counts of the pictures: [0] background, [1..9] digits 1..9, [10]
// digit 0.
struct TSkinSizes {
    std::array<int32_t, 11> Size{};

    friend bool operator==(const TSkinSizes&, const TSkinSizes&) = default;
};

inline constexpr int kSkinSizeBackground = 0;
inline constexpr int kSkinSizeDigit0 = 10;
// The size-table slot of digit d.
constexpr int SkinSizeSlot(int digit) { return digit == 0 ? kSkinSizeDigit0 : digit; }

void EncodeSkinSizes(const TSkinSizes& sizes, uint8_t out[kSkinSizesSize]);
TSkinSizes DecodeSkinSizes(const uint8_t in[kSkinSizesSize]);

// Three 256-byte short strings: a length byte and up to 255 characters, the
// rest zero. Longer texts are cut to 255 characters when written.
struct TSkinTexts {
    std::string URL;
    std::string Author;
    std::string Name;

    bool AllEmpty() const { return URL.empty() && Author.empty() && Name.empty(); }
    friend bool operator==(const TSkinTexts&, const TSkinTexts&) = default;
};

// "http://", "Unknown author", "NoName": what a skin without texts shows.
TSkinTexts DefaultSkinTexts();

void EncodeSkinTexts(const TSkinTexts& texts, uint8_t out[kSkinTextsSize]);
TSkinTexts DecodeSkinTexts(const uint8_t in[kSkinTextsSize]);

// The 255-byte signature field.
std::array<uint8_t, kSkinSignatureSize> SkinSignatureBytes();

// The fill colour of a new skin (red 0xB9, green 0xB3, blue 0xCF).
inline constexpr TColor kSkinDefaultFillColor = 0xCFB3B9;

}  // namespace tlvx
