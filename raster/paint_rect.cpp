#include "raster/paint_rect.h"

#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <cstring>
#include <numbers>

namespace tlvx {

namespace {

void StorePixel(uint8_t* p, TPixel colour) {
    p[0] = uint8_t(colour);
    p[1] = uint8_t(colour >> 8);
    p[2] = uint8_t(colour >> 16);
}

bool BlockInside(uint32_t x, uint32_t y, uint32_t height, uint32_t width, uint16_t rasterHeight,
                 uint16_t rasterWidth) {
    return height != 0 && width != 0 && x < rasterWidth && y < rasterHeight &&
           x + width <= rasterWidth && y + height <= rasterHeight;
}

int Sign(int v) { return (v > 0) - (v < 0); }

}  // namespace

// std::nearbyint rounds halves to even under the default rounding mode.
int32_t SinScaled(int32_t i, int32_t r, int32_t n) {
    return int32_t(std::nearbyint(std::sin(std::numbers::pi / n * i) * r));
}

int32_t CosScaled(int32_t i, int32_t r, int32_t n) {
    return int32_t(std::nearbyint(std::cos(std::numbers::pi / n * i) * r));
}

TPixel ColorToPixel(TColor colour) {
    return (colour & 0x00FF00u) | (colour & 0xFFu) << 16 | (colour >> 16 & 0xFFu);
}

void ColorToRGBBytes(TColor colour, uint8_t bytes[3]) {
    bytes[0] = uint8_t(colour >> 16);
    bytes[1] = uint8_t(colour >> 8);
    bytes[2] = uint8_t(colour);
}

void SetRGBBytes(uint8_t c0, uint8_t c1, uint8_t c2, uint8_t bytes[3]) {
    bytes[2] = c0;
    bytes[1] = c1;
    bytes[0] = c2;
}

int32_t BlockByteCount(uint16_t width, uint16_t height) { return int32_t(width) * height * 3; }

TPaintRect TPaintRect::CreateSized(uint16_t height, uint16_t width) {
    TPaintRect r;
    r.SetSize(width, height);
    return r;
}

void TPaintRect::SetSize(uint16_t width, uint16_t height) {
    if (width == 0 || height == 0) return;
    const size_t rowBytes = size_t(width) * 3;
    if (width == width_) {
        pixels_.resize(rowBytes * height, 0);
    } else {
        std::vector<uint8_t> resized(rowBytes * height, 0);
        const size_t kept = size_t(std::min(width, width_)) * 3;
        for (uint16_t y = 0; y < std::min(height, height_); ++y)
            std::memcpy(&resized[y * rowBytes], Row(y), kept);
        pixels_ = std::move(resized);
    }
    height_ = height;
    width_ = width;
}

void TPaintRect::SetPixel(int32_t x, int32_t y, TPixel colour) {
    if (x < 0 || y < 0 || x >= width_ || y >= height_) return;
    StorePixel(Row(uint16_t(y)) + size_t(x) * 3, colour);
}

void TPaintRect::ReadPixel(int32_t x, int32_t y, uint8_t bytes[3]) const {
    if (x < 0 || y < 0 || x >= width_ || y >= height_) {
        bytes[0] = bytes[1] = bytes[2] = 0;
        return;
    }
    std::memcpy(bytes, Row(uint16_t(y)) + size_t(x) * 3, 3);
}

TPixel TPaintRect::PixelAt(int32_t x, int32_t y) const {
    uint8_t b[3];
    ReadPixel(x, y, b);
    return TPixel(b[0]) | TPixel(b[1]) << 8 | TPixel(b[2]) << 16;
}

void TPaintRect::FillRect(uint16_t x, uint16_t y, TPixel colour, uint16_t height, uint16_t width) {
    if (!BlockInside(x, y, height, width, height_, width_)) return;
    for (uint32_t row = y; row < uint32_t(y) + height; ++row) {
        uint8_t* p = Row(uint16_t(row)) + size_t(x) * 3;
        for (uint32_t i = 0; i < width; ++i, p += 3) StorePixel(p, colour);
    }
}

void TPaintRect::Line(uint16_t x1, uint16_t y1, TPixel colour, uint16_t y2, uint16_t x2) {
    if (x1 >= width_ || x2 >= width_ || y1 >= height_ || y2 >= height_) return;
    int dx = int(x2) - x1, dy = int(y2) - y1;
    int sx = Sign(dx), sy = Sign(dy);
    int adx = std::abs(dx), ady = std::abs(dy);
    int n = std::max(adx, ady) + 1;
    int ex = 0, ey = 0, x = x1, y = y1;
    // n + 1 steps: the first point is set twice and both ends are reached.
    for (int i = 0; i <= n; ++i) {
        SetPixel(x, y, colour);
        ex += adx + 1;
        ey += ady + 1;
        if (ex > n) {
            ex -= n;
            x += sx;
        }
        if (ey > n) {
            ey -= n;
            y += sy;
        }
    }
}

void TPaintRect::GetBlock(uint16_t x, uint16_t y, uint8_t* buffer, uint16_t height,
                          uint16_t width) const {
    if (!BlockInside(x, y, height, width, height_, width_)) return;
    size_t rowBytes = size_t(width) * 3;
    for (uint32_t i = 0; i < height; ++i, buffer += rowBytes)
        std::memcpy(buffer, Row(uint16_t(y + i)) + size_t(x) * 3, rowBytes);
}

void TPaintRect::PutBlock(uint16_t x, uint16_t y, const uint8_t* buffer, uint16_t height,
                          uint16_t width) {
    if (!BlockInside(x, y, height, width, height_, width_)) return;
    size_t rowBytes = size_t(width) * 3;
    for (uint32_t i = 0; i < height; ++i, buffer += rowBytes)
        std::memcpy(Row(uint16_t(y + i)) + size_t(x) * 3, buffer, rowBytes);
}

void CopyPaintRectBlock(TPaintRect& dest, const TPaintRect& src, uint16_t srcX, uint16_t srcY,
                        int32_t destX, int32_t destY, uint16_t width, uint16_t height) {
    if (!BlockInside(srcX, srcY, height, width, src.Height(), src.Width())) return;
    // Clip the block to the destination, then copy the visible part row by row.
    int32_t left = std::max(0, -destX), top = std::max(0, -destY);
    int32_t right = std::min<int32_t>(width, int32_t(dest.Width()) - destX);
    int32_t bottom = std::min<int32_t>(height, int32_t(dest.Height()) - destY);
    if (left >= right || top >= bottom) return;
    size_t bytes = size_t(right - left) * 3;
    for (int32_t row = top; row < bottom; ++row)
        std::memcpy(dest.Row(uint16_t(destY + row)) + size_t(destX + left) * 3,
                    src.Row(uint16_t(srcY + row)) + size_t(srcX + left) * 3, bytes);
}

}  // namespace tlvx
