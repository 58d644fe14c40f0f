// Pie sectors and the boundary fill that paints their inside.
#include <cmath>
#include <numbers>
#include <vector>

#include "raster/paint_rect.h"

namespace tlvx {

void TPaintRect::SectorOutline(uint16_t cx, uint16_t cy, TPixel colour, uint16_t endAngle,
                               uint16_t startAngle, uint16_t rY, uint16_t rX) {
    // k sub-steps per degree keep neighbouring arc points close on big radii.
    int32_t k = int32_t(std::nearbyint(std::sqrt(double(rY)) + std::sqrt(double(rX)))) + 1;
    int32_t first = int32_t(startAngle) * k, last = int32_t(endAngle) * k;
    if (first >= last) return;
    uint16_t px = cx, py = cy;
    for (int32_t t = first; t < last; ++t) {
        // Points off the raster wrap to large unsigned values, so the
        // segments that touch them draw nothing.
        auto x = uint16_t(cx + SinScaled(t, rX, 180 * k));
        auto y = uint16_t(cy - CosScaled(t, rY, 180 * k));
        Line(px, py, colour, y, x);
        px = x;
        py = y;
    }
    Line(px, py, colour, cy, cx);
}

void TPaintRect::FilledSector(uint16_t cx, uint16_t cy, TPixel fillColour, TPixel borderColour,
                              uint16_t endAngle, uint16_t startAngle, uint16_t rY, uint16_t rX) {
    SectorOutline(cx, cy, borderColour, endAngle, startAngle, rY, rX);
    int32_t span = int32_t(endAngle) - startAngle;
    if (span <= 2) return;  // too narrow to hold a seed inside its outline
    double mid = (startAngle + std::nearbyint(span / 2.0)) * std::numbers::pi / 180.0;
    auto x = uint16_t(cx + int32_t(std::nearbyint(std::sin(mid) * (int32_t(rX) - 2))));
    auto y = uint16_t(cy - int32_t(std::nearbyint(std::cos(mid) * (int32_t(rY) - 2))));
    FloodFill(x, y, fillColour, borderColour);
}

void TPaintRect::FloodFill(uint16_t x, uint16_t y, TPixel fillColour, TPixel borderColour) {
    fillColour &= 0xFFFFFF;
    borderColour &= 0xFFFFFF;
    SetPixel(x, y, fillColour);
    // An explicit stack: a whole pie is far too deep for recursion.
    std::vector<std::pair<int32_t, int32_t>> pending{{x, y}};
    auto visit = [&](int32_t nx, int32_t ny) {
        if (nx < 0 || ny < 0 || nx >= width_ || ny >= height_) return;
        TPixel c = PixelAt(nx, ny);
        if (c == borderColour || c == fillColour) return;
        SetPixel(nx, ny, fillColour);
        pending.emplace_back(nx, ny);
    };
    while (!pending.empty()) {
        auto [px, py] = pending.back();
        pending.pop_back();
        visit(px, py - 1);
        visit(px, py + 1);
        visit(px - 1, py);
        visit(px + 1, py);
    }
}

}  // namespace tlvx
