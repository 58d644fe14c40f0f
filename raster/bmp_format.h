// Uncompressed Windows BMP as the rasters read and write it.
//
//  offset size field
//    0     2  signature "BM"
//    2     4  file size (stored row length * height + 54)
//    6     4  two reserved u16, 0
//   10     4  pixel data offset (54), counted from the start of the stream
//   14     4  info header size (40)
//   18     4  width
//   22     4  height (positive: rows bottom-up)
//   26     2  planes (1)
//   28     2  bits per pixel (24 written; 24 and 32 read)
//   30     4  compression (0)
//   34     4  image size (stored row length * height)
//   38    16  resolutions and colour counts, 0
// Rows follow bottom row first; 24-bit rows are padded with zero bytes to a
// multiple of 4, 32-bit rows (blue, green, red, unused) need no padding.
#pragma once

#include <cstdint>

namespace tlvx::bmp {

constexpr uint32_t kHeaderSize = 54;
constexpr uint32_t kInfoHeaderSize = 40;
constexpr uint16_t kSignature = 0x4D42;  // "BM"
constexpr uint32_t kOffPixelOffset = 10;
constexpr uint32_t kOffWidth = 18;
constexpr uint32_t kOffHeight = 22;
constexpr uint32_t kOffBitsPerPixel = 28;

// Bytes of one stored 24-bit row of width pixels.
constexpr uint64_t RowStride24(uint32_t width) { return (uint64_t(width) * 3 + 3) / 4 * 4; }

}  // namespace tlvx::bmp
