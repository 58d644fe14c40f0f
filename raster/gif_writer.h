// PaintRectToGIF: a raster as a complete single-image GIF87a file.
//
//  offset size content
//    0     6  "GIF87a"
//    6     4  logical screen width, height (u16)
//   10     1  0xF7: global table of 256 entries, 8-bit colour resolution
//   11     2  background index 0, aspect 0
//   13   768  colour table: red, green, blue of palette entries 0..255
//  781     1  ","
//  782     9  image left 0, top 0, width, height (u16), packed byte 0
//  791   ...  LZW data (minimum code size 8, sub-blocks, terminator 0)
//  end-1   1  ";"
// No transparency, no extensions, no interlacing.
#pragma once

#include <cstdint>
#include <vector>

#include "platform/stream.h"
#include "raster/paint_rect.h"

namespace tlvx {

// Appends the GIF at dest's position; the raster is not changed.
void PaintRectToGIF(const TPaintRect& rect, TStream& dest);
// The same GIF as bytes.
std::vector<uint8_t> PaintRectToGIFBytes(const TPaintRect& rect);

}  // namespace tlvx
