#include "raster/exact_palette.h"

#include <gtest/gtest.h>

#include <random>

namespace tlvx {
namespace {

// Runs of random length in `colors` random colours, each used when the
// picture has room: the shape of counters and charts, where most pixels
// repeat their left neighbour.
TPaintRect RunsPicture(uint16_t w, uint16_t h, int colors, std::mt19937& rng) {
    std::vector<TPixel> palette;
    for (int i = 0; i < colors; ++i) palette.push_back(rng() & 0xFFFFFF);
    auto r = TPaintRect::CreateSized(h, w);
    TPixel colour = palette[0];
    for (int i = 0; i < w * h; ++i) {
        if (i < colors) colour = palette[size_t(i)];
        else if (rng() % 4 == 0) colour = palette[rng() % palette.size()];
        r.SetPixel(i % w, i / w, colour);
    }
    return r;
}

// The direct palette is the counting quantizer's result, field for field,
// whenever the colours fit; beyond 256 it steps aside.
TEST(ExactPaletteTest, AgreesWithTheCountingQuantizer) {
    std::mt19937 rng(33);
    int beyond = 0;
    for (int round = 0; round < 300; ++round) {
        const uint16_t w = uint16_t(1 + rng() % 90), h = uint16_t(1 + rng() % 40);
        const int colors = 1 + int(rng() % 300);
        const TPaintRect r = RunsPicture(w, h, colors, rng);
        const TQuantizedImage counted = QuantizeColors(r);
        const std::optional<TQuantizedImage> exact = ExactPalette(r);
        if (counted.colorCount > 256) {
            EXPECT_FALSE(exact) << round;
            ++beyond;
            continue;
        }
        ASSERT_TRUE(exact) << round;
        EXPECT_EQ(exact->palette, counted.palette) << round;
        EXPECT_EQ(exact->indexes, counted.indexes) << round;
        EXPECT_EQ(exact->colorCount, counted.colorCount);
        EXPECT_EQ(exact->width, w);
        EXPECT_EQ(exact->height, h);
        EXPECT_EQ(exact->redMask & exact->greenMask & exact->blueMask, 255);
    }
    EXPECT_GT(beyond, 10);
    const std::optional<TQuantizedImage> empty = ExactPalette(TPaintRect());
    ASSERT_TRUE(empty);
    EXPECT_EQ(empty->colorCount, 0u);
    EXPECT_EQ(empty->palette, QuantizeColors(TPaintRect()).palette);
}

}  // namespace
}  // namespace tlvx
