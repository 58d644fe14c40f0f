// Frequency-based reduction of a 24-bit raster to 256 palette colours.
//
// The colours are counted in a fixed table of at most 2049 entries (bottom
// row first, left to right, as a BMP stores them). When a picture holds more
// distinct colours, one channel mask drops another low bit (blue, then red,
// then green, round and round) and the count starts over. The 256 most
// frequent masked colours become the palette in falling order of count (the
// colour met first wins a tie); every other colour maps to its nearest
// palette entry.
#pragma once

#include <array>
#include <cstdint>
#include <vector>

#include "raster/paint_rect.h"

namespace tlvx {

struct TPaletteColor {
    uint8_t red = 128, green = 128, blue = 128;  // unused slots stay grey
    bool operator==(const TPaletteColor&) const = default;
};

struct TQuantizedImage {
    uint16_t width = 0, height = 0;
    std::array<TPaletteColor, 256> palette;
    // width * height palette indexes, top row first, left to right.
    std::vector<uint8_t> indexes;
    // The channel masks the final count used (255 = all bits kept).
    uint8_t redMask = 255, greenMask = 255, blueMask = 255;
    // Distinct masked colours counted in the final round.
    uint32_t colorCount = 0;
};

constexpr uint32_t kMaxCountedColors = 2049;
constexpr uint32_t kColorHashSlots = 5191;

TQuantizedImage QuantizeColors(const TPaintRect& rect);

}  // namespace tlvx
