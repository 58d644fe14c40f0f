// The 1 x 1 GIF the counter answers with for a "point" request, and when it
// has no database to count in.
#pragma once

#include <cstdint>
#include <vector>

#include "raster/paint_rect.h"

namespace tlvx {

// White: the pixel of a "point" request without a colour.
constexpr TColor kPointDefaultColor = 0xFFFFFF;
// Black: the pixel of an answer without a database and without a colour.
constexpr TColor kNoDatabaseColor = 0x000000;

// A GIF of one pixel of colour, a class-library colour (0x00BBGGRR: red in
// the lowest byte); bits above the low 24 are ignored.
std::vector<uint8_t> OnePixelGIF(uint64_t colour);

}  // namespace tlvx
