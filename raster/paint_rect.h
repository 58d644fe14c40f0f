// TPaintRect: the in-memory picture of both programs.
//
// A 24-bit raster held row by row (row 0 at the top), each pixel stored as
// the three bytes blue, green, red -- the order of a 24-bit BMP row. Every
// drawing call takes its colour as a pixel value 0x00RRGGBB (blue in the
// lowest byte); class-library colours (TColor, 0x00BBGGRR) go through
// ColorToPixel first.
//
// Coordinates are unsigned 16-bit where the callers pass screen positions;
// argument orders are kept exactly as the callers use them (note the
// height-before-width and end-before-start orders).
#pragma once

#include <cstdint>
#include <stdexcept>
#include <string>
#include <vector>

#include "platform/stream.h"

namespace tlvx {

using TPixel = uint32_t;  // 0x00RRGGBB
using TColor = uint32_t;  // 0x00BBGGRR (class-library order)

// A BMP stream that cannot be a picture: short, oversized or inconsistent
// header fields. Raised before anything is allocated or read from the data.
class EBitmapFormatError : public std::runtime_error {
public:
    explicit EBitmapFormatError(const std::string& what)
        : std::runtime_error("Invalid bitmap: " + what) {}
};

// round(sin(pi / n * i) * r), halves to even.
int32_t SinScaled(int32_t i, int32_t r, int32_t n);
// round(cos(pi / n * i) * r), halves to even.
int32_t CosScaled(int32_t i, int32_t r, int32_t n);
// Exchanges the lowest and the third byte: TColor <-> pixel value.
TPixel ColorToPixel(TColor colour);
// The colour as its three stored bytes: blue, green, red.
void ColorToRGBBytes(TColor colour, uint8_t bytes[3]);
// bytes[2] := c0, bytes[1] := c1, bytes[0] := c2.
void SetRGBBytes(uint8_t c0, uint8_t c1, uint8_t c2, uint8_t bytes[3]);
// width * height * 3.
int32_t BlockByteCount(uint16_t width, uint16_t height);

class TPaintRect {
public:
    TPaintRect() = default;  // 0 x 0, no rows
    // Note the order: height first.
    static TPaintRect CreateSized(uint16_t height, uint16_t width);

    uint16_t Height() const { return height_; }
    uint16_t Width() const { return width_; }
    // The stored bytes of row y (Width() * 3 of them); y must be < Height().
    const uint8_t* Row(uint16_t y) const { return &pixels_[RowOffset(y)]; }
    uint8_t* Row(uint16_t y) { return &pixels_[RowOffset(y)]; }

    // Resizes keeping the content top-left anchored; new pixels are black.
    // A width or height of 0 changes nothing.
    void SetSize(uint16_t width, uint16_t height);
    void SetHeight(uint16_t height) { SetSize(width_, height); }
    void SetWidth(uint16_t width) { SetSize(width, height_); }

    // Stores the pixel when it lies inside the raster, else nothing.
    void SetPixel(int32_t x, int32_t y, TPixel colour);
    // The stored bytes (blue, green, red); zeros outside the raster.
    void ReadPixel(int32_t x, int32_t y, uint8_t bytes[3]) const;
    void GetPixel(uint16_t x, uint16_t y, uint8_t bytes[3]) const { ReadPixel(x, y, bytes); }
    // The pixel value at (x, y); 0 outside the raster.
    TPixel PixelAt(int32_t x, int32_t y) const;

    // Fills the rectangle only when it lies wholly inside; a rectangle that
    // sticks out draws nothing.
    void FillRect(uint16_t x, uint16_t y, TPixel colour, uint16_t height, uint16_t width);
    void Clear(TPixel colour) { FillRect(0, 0, colour, height_, width_); }
    // Straight line between two points that both lie inside the raster.
    void Line(uint16_t x1, uint16_t y1, TPixel colour, uint16_t y2, uint16_t x2);

    // Block transfer with a buffer of height rows of width * 3 bytes, top row
    // first, no padding; nothing unless the block lies wholly inside.
    void GetBlock(uint16_t x, uint16_t y, uint8_t* buffer, uint16_t height, uint16_t width) const;
    void PutBlock(uint16_t x, uint16_t y, const uint8_t* buffer, uint16_t height, uint16_t width);

    // Writes a 24-bit bottom-up BMP at the stream's position.
    void SaveToStream(TStream& stream) const;
    // Reads a 24- or 32-bit BMP whose header starts at the stream's position
    // (the pixel data offset counts from the stream's beginning). Any other
    // depth leaves the raster unchanged. Raises EBitmapFormatError for a
    // header the stream cannot hold; the raster is unchanged then.
    void LoadFromStream(TStream& stream);
    // The same from a BMP held in memory (offsets count from bytes).
    void LoadFromMemory(const uint8_t* bytes, size_t size);
    void LoadFromFile(const std::string& fileName);

    // Pie sectors: angles in whole degrees, 0 straight up, clockwise; rX the
    // horizontal and rY the vertical radius.
    void SectorOutline(uint16_t cx, uint16_t cy, TPixel colour, uint16_t endAngle,
                       uint16_t startAngle, uint16_t rY, uint16_t rX);
    void FilledSector(uint16_t cx, uint16_t cy, TPixel fillColour, TPixel borderColour,
                      uint16_t endAngle, uint16_t startAngle, uint16_t rY, uint16_t rX);
    // Boundary fill of the 4-connected region around the seed; the region is
    // bounded by borderColour and fillColour pixels and the raster's edges.
    void FloodFill(uint16_t x, uint16_t y, TPixel fillColour, TPixel borderColour);

    bool operator==(const TPaintRect& other) const = default;

private:
    // Takes height stored rows, bottom row first, stride bytes apart.
    void TakeBmpRows(const uint8_t* p, uint16_t bits, uint64_t stride, uint16_t width, uint16_t height);
    size_t RowOffset(uint16_t y) const { return size_t(y) * width_ * 3; }

    // All rows in one block, top row first, without padding: a picture is
    // one allocation, not one per row.
    std::vector<uint8_t> pixels_;
    uint16_t height_ = 0;
    uint16_t width_ = 0;
};

// Copies the block (srcX, srcY, width, height) of src to (destX, destY) of
// dest. The block must lie inside src; in dest it is clipped pixel by pixel,
// so destination positions may be negative or run past the edges.
void CopyPaintRectBlock(TPaintRect& dest, const TPaintRect& src, uint16_t srcX, uint16_t srcY,
                        int32_t destX, int32_t destY, uint16_t width, uint16_t height);

}  // namespace tlvx
