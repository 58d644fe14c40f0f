#include "raster/paint_rect.h"

#include <gtest/gtest.h>

#include <set>
#include <utility>
#include <vector>

namespace tlvx {
namespace {

using Points = std::set<std::pair<int, int>>;

Points PixelsOf(const TPaintRect& r, TPixel colour) {
    Points out;
    for (int y = 0; y < r.Height(); ++y)
        for (int x = 0; x < r.Width(); ++x)
            if (r.PixelAt(x, y) == colour) out.insert({x, y});
    return out;
}

TEST(PaintRectTest, ColourHelpersSwapRedAndBlue) {
    EXPECT_EQ(ColorToPixel(0x0000FF), 0xFF0000u);  // class-library red
    EXPECT_EQ(ColorToPixel(0x123456), 0x563412u);
    uint8_t b[3];
    ColorToRGBBytes(0xCFB3B9, b);
    EXPECT_EQ(b[0], 0xCF);
    EXPECT_EQ(b[1], 0xB3);
    EXPECT_EQ(b[2], 0xB9);
    SetRGBBytes(1, 2, 3, b);
    EXPECT_EQ(b[0], 3);
    EXPECT_EQ(b[2], 1);
    EXPECT_EQ(SinScaled(30, 10, 180), 5);   // 5.0
    EXPECT_EQ(CosScaled(180, 7, 180), -7);
}

TEST(PaintRectTest, SetSizeKeepsTopLeftAndIgnoresZeroSides) {
    auto r = TPaintRect::CreateSized(2, 2);
    r.Clear(0x112233);
    r.SetSize(0, 5);
    r.SetSize(5, 0);
    EXPECT_EQ(r.Width(), 2);
    EXPECT_EQ(r.Height(), 2);
    r.SetSize(3, 3);
    EXPECT_EQ(PixelsOf(r, 0x112233), (Points{{0, 0}, {1, 0}, {0, 1}, {1, 1}}));
    EXPECT_EQ(PixelsOf(r, 0).size(), 5u);
    r.SetSize(1, 2);
    EXPECT_EQ(r.PixelAt(0, 1), 0x112233u);
}

TEST(PaintRectTest, PixelsOutsideAreIgnoredAndReadAsZero) {
    auto r = TPaintRect::CreateSized(2, 3);
    r.Clear(0xFFFFFF);
    r.SetPixel(-1, 0, 0x010203);
    r.SetPixel(3, 0, 0x010203);
    r.SetPixel(0, 2, 0x010203);
    EXPECT_TRUE(PixelsOf(r, 0x010203).empty());
    uint8_t b[3] = {9, 9, 9};
    r.ReadPixel(3, 0, b);
    EXPECT_EQ(b[0] | b[1] | b[2], 0);
    r.SetPixel(2, 1, 0xA1B2C3);
    r.GetPixel(2, 1, b);
    EXPECT_EQ(b[0], 0xC3);  // stored blue first
    EXPECT_EQ(b[2], 0xA1);
}

TEST(PaintRectTest, FillRectAndBlocksDoNotClip) {
    auto r = TPaintRect::CreateSized(4, 4);
    r.FillRect(1, 1, 0xFF, 2, 0);  // width 0
    r.FillRect(2, 0, 0xFF, 1, 3);  // one past the right edge
    EXPECT_TRUE(PixelsOf(r, 0xFF).empty());
    r.FillRect(1, 2, 0xFF, 2, 3);
    EXPECT_EQ(PixelsOf(r, 0xFF).size(), 6u);

    std::vector<uint8_t> block(BlockByteCount(2, 2), 0x77);
    r.PutBlock(3, 3, block.data(), 2, 2);  // sticks out: nothing
    EXPECT_TRUE(PixelsOf(r, 0x777777).empty());
    r.PutBlock(0, 0, block.data(), 2, 2);
    EXPECT_EQ(PixelsOf(r, 0x777777), (Points{{0, 0}, {1, 0}, {0, 1}, {1, 1}}));
    std::vector<uint8_t> out(BlockByteCount(3, 1));
    r.GetBlock(1, 3, out.data(), 1, 3);
    EXPECT_EQ(out[0], 0xFF);
    EXPECT_EQ(out[1], 0);
    EXPECT_EQ(out[6], 0xFF);
}

TEST(PaintRectTest, BlockCopyClipsToTheTarget) {
    auto src = TPaintRect::CreateSized(2, 3);
    src.Clear(0xABCDEF);
    auto dest = TPaintRect::CreateSized(3, 4);
    CopyPaintRectBlock(dest, src, 0, 0, -1, 2, 3, 2);  // left and bottom edges cut
    EXPECT_EQ(PixelsOf(dest, 0xABCDEF), (Points{{0, 2}, {1, 2}}));
    CopyPaintRectBlock(dest, src, 0, 0, 3, -1, 3, 2);  // right and top edges cut
    EXPECT_EQ(PixelsOf(dest, 0xABCDEF).size(), 3u);
    EXPECT_EQ(dest.PixelAt(3, 0), 0xABCDEFu);
    CopyPaintRectBlock(dest, src, 1, 0, 0, 0, 3, 2);  // not inside src: nothing
    CopyPaintRectBlock(dest, src, 0, 0, 4, 0, 3, 2);  // wholly outside: nothing
    EXPECT_EQ(PixelsOf(dest, 0xABCDEF).size(), 3u);
}

TEST(PaintRectTest, LineSetsTheHandCheckedPixels) {
    auto r = TPaintRect::CreateSized(8, 8);
    r.Line(0, 0, 0xFF, 1, 3);
    EXPECT_EQ(PixelsOf(r, 0xFF), (Points{{0, 0}, {1, 0}, {2, 1}, {3, 1}}));
    r.Clear(0);
    r.Line(5, 6, 0xFF, 1, 3);  // (5,6) to (3,1): steep, right to left
    EXPECT_EQ(PixelsOf(r, 0xFF),
              (Points{{5, 6}, {5, 5}, {4, 4}, {4, 3}, {3, 2}, {3, 1}}));
    r.Clear(0);
    r.Line(2, 2, 0xFF, 2, 2);
    EXPECT_EQ(PixelsOf(r, 0xFF), (Points{{2, 2}}));
    r.Line(0, 0, 0xEE, 0, 8);  // end point at x = Width
    r.Line(0, 8, 0xEE, 0, 0);
    EXPECT_TRUE(PixelsOf(r, 0xEE).empty());
}

TEST(PaintRectTest, NarrowSectorsKeepOnlyTheirOutline) {
    auto r = TPaintRect::CreateSized(21, 21);
    r.FilledSector(10, 10, 0xF00000, 0xFF, 90, 90, 8, 8);  // 0 degrees
    EXPECT_TRUE(PixelsOf(r, 0xFF).empty());
    r.FilledSector(10, 10, 0xF00000, 0xFF, 2, 0, 8, 8);  // 2 degrees
    EXPECT_TRUE(PixelsOf(r, 0xF00000).empty());
    // A sliver straight up from the centre to the rim.
    Points outline = PixelsOf(r, 0xFF);
    EXPECT_TRUE(outline.count({10, 10}));
    EXPECT_TRUE(outline.count({10, 2}));
    for (auto [x, y] : outline) {
        EXPECT_GE(y, 2);
        EXPECT_LE(y, 10);
        EXPECT_GE(x, 10);
        EXPECT_LE(x, 11);
    }
}

TEST(PaintRectTest, QuarterSectorFillsExactlyItsQuadrant) {
    auto r = TPaintRect::CreateSized(21, 21);
    r.FilledSector(10, 10, 0xF00000, 0xFF, 180, 90, 8, 8);  // lower right quarter
    Points fill = PixelsOf(r, 0xF00000), border = PixelsOf(r, 0xFF);
    // The two radii: (10,10)-(18,10) and (10,10)-(10,18).
    for (int i = 0; i <= 8; ++i) {
        EXPECT_TRUE(border.count({10 + i, 10})) << i;
        EXPECT_TRUE(border.count({10, 10 + i})) << i;
    }
    EXPECT_TRUE(fill.count({13, 13}));
    EXPECT_TRUE(fill.count({11, 11}));
    EXPECT_FALSE(fill.count({16, 16}));  // outside the arc (distance 8.5)
    for (auto [x, y] : fill) {
        EXPECT_GT(x, 10);
        EXPECT_GT(y, 10);
        EXPECT_LE((x - 10) * (x - 10) + (y - 10) * (y - 10), 72);
    }
    EXPECT_GT(fill.size(), 30u);
}

TEST(PaintRectTest, FullPieFillsTheDiscWithoutDeepRecursion) {
    auto r = TPaintRect::CreateSized(220, 220);
    r.Clear(0xFFFFFF);
    r.FilledSector(110, 110, 0x00A000, 0x000000, 360, 0, 105, 105);
    size_t filled = PixelsOf(r, 0x00A000).size();
    double disc = 3.14159 * 105 * 105;
    EXPECT_GT(filled, disc * 0.95);
    EXPECT_LT(filled, disc);
    EXPECT_EQ(r.PixelAt(0, 0), 0xFFFFFFu);
}

TEST(PaintRectTest, FloodFillStopsAtBorderAndEdges) {
    auto r = TPaintRect::CreateSized(5, 6);
    r.Line(3, 0, 0x1, 4, 3);  // a wall at x = 3
    r.FloodFill(0, 0, 0x2, 0x1);
    EXPECT_EQ(PixelsOf(r, 0x2).size(), 15u);
    EXPECT_EQ(PixelsOf(r, 0).size(), 10u);
}

}  // namespace
}  // namespace tlvx
