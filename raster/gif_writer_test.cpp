#include "raster/gif_writer.h"

#include <gtest/gtest.h>

#include <cstring>
#include <map>
#include <random>

#include "raster/color_quantizer.h"
#include "raster/lzw_encoder.h"
#include "raster/testing/gif_decode.h"

namespace tlvx {
namespace {

using test::DecodeWithGiflib;
using TDecoded = test::TDecodedGif;

std::vector<uint8_t> Gif(const TPaintRect& r) {
    TMemoryStream s;
    PaintRectToGIF(r, s);
    return s.Bytes();
}

std::vector<uint8_t> Header(uint16_t w, uint16_t h) {
    std::vector<uint8_t> b = {'G', 'I', 'F', '8', '7', 'a', uint8_t(w), uint8_t(w >> 8),
                              uint8_t(h), uint8_t(h >> 8), 0xF7, 0, 0};
    return b;
}

// A picture of `colors` distinct colours in random places, each used at
// least once.
TPaintRect RandomPicture(uint16_t w, uint16_t h, int colors, std::mt19937& rng) {
    std::vector<uint32_t> palette;
    std::map<uint32_t, bool> seen;
    while (int(palette.size()) < colors) {
        uint32_t c = rng() & 0xFFFFFF;
        if (!seen[c]) {
            seen[c] = true;
            palette.push_back(c);
        }
    }
    auto r = TPaintRect::CreateSized(h, w);
    for (int i = 0; i < w * h; ++i)
        r.SetPixel(i % w, i / w, palette[i < colors ? i : rng() % colors]);
    return r;
}

TEST(GifWriterTest, OneWhitePixelByteForByte) {
    auto r = TPaintRect::CreateSized(1, 1);
    r.Clear(0xFFFFFF);
    auto b = Gif(r);
    ASSERT_EQ(b.size(), 799u);
    auto expected = Header(1, 1);
    expected.insert(expected.end(), {255, 255, 255});
    for (int i = 1; i < 256; ++i) expected.insert(expected.end(), {128, 128, 128});
    expected.insert(expected.end(), {',', 0, 0, 0, 0, 1, 0, 1, 0, 0, 8, 4, 0x00, 0x01, 0x04, 0x04,
                                     0, ';'});
    EXPECT_EQ(b, expected);
}

TEST(GifWriterTest, ThreePixelsOfOneColourAndTheEmptyPicture) {
    auto r = TPaintRect::CreateSized(1, 3);
    r.Clear(0x123456);
    auto b = Gif(r);
    ASSERT_EQ(b.size(), 800u);
    EXPECT_EQ(b[13], 0x12);
    EXPECT_EQ(b[14], 0x34);
    EXPECT_EQ(b[15], 0x56);
    EXPECT_EQ(std::vector<uint8_t>(b.end() - 9, b.end()),
              (std::vector<uint8_t>{8, 5, 0x00, 0x01, 0x08, 0x0C, 0x08, 0, ';'}));

    auto empty = Gif(TPaintRect());
    ASSERT_EQ(empty.size(), 799u);
    auto expected = Header(0, 0);
    for (int i = 0; i < 256; ++i) expected.insert(expected.end(), {128, 128, 128});
    expected.insert(expected.end(), {',', 0, 0, 0, 0, 0, 0, 0, 0, 0, 8, 4, 0x00, 0x01, 0x04, 0x04,
                                     0, ';'});
    EXPECT_EQ(empty, expected);
}

TEST(GifWriterTest, AppendsAtTheStreamPosition) {
    TMemoryStream s(std::string("xyz"));
    s.Seek(3);
    PaintRectToGIF(TPaintRect::CreateSized(2, 2), s);
    EXPECT_EQ(s.Text().substr(0, 9), "xyzGIF87a");
}

TEST(GifWriterTest, PaletteFollowsFallingCountWithBottomRowFirstOnTies) {
    auto r = TPaintRect::CreateSized(2, 3);
    // Top row: A B B; bottom row: C A C. Counts A 2, B 2, C 2: the bottom row
    // meets C first, then A, then B.
    r.SetPixel(0, 0, 0xA00000);
    r.SetPixel(1, 0, 0x00B000);
    r.SetPixel(2, 0, 0x00B000);
    r.SetPixel(0, 1, 0x0000C0);
    r.SetPixel(1, 1, 0xA00000);
    r.SetPixel(2, 1, 0x0000C0);
    auto q = QuantizeColors(r);
    EXPECT_EQ(q.palette[0], (TPaletteColor{0, 0, 0xC0}));
    EXPECT_EQ(q.palette[1], (TPaletteColor{0xA0, 0, 0}));
    EXPECT_EQ(q.palette[2], (TPaletteColor{0, 0xB0, 0}));
    EXPECT_EQ(q.palette[3], TPaletteColor{});
    EXPECT_EQ(q.indexes, (std::vector<uint8_t>{1, 2, 2, 0, 1, 0}));
    r.SetPixel(0, 0, 0x00B000);  // now B leads with 3
    EXPECT_EQ(QuantizeColors(r).palette[0], (TPaletteColor{0, 0xB0, 0}));
}

TEST(GifWriterTest, RandomPicturesDecodeExactlyUpTo256Colours) {
    std::mt19937 rng(2024);
    for (int colors : {1, 2, 3, 16, 100, 255, 256}) {
        for (auto [w, h] : {std::pair<uint16_t, uint16_t>{17, 5}, {200, 200}, {1, 300}}) {
            if (colors > w * h) continue;
            TPaintRect r = RandomPicture(w, h, colors, rng);
            TDecoded d = DecodeWithGiflib(Gif(r));
            ASSERT_EQ(d.width, w);
            ASSERT_EQ(d.height, h);
            for (int i = 0; i < w * h; ++i)
                ASSERT_EQ(d.pixels[i], r.PixelAt(i % w, i / w))
                    << colors << " colours, pixel " << i;
        }
    }
}

TEST(GifWriterTest, BeyondPaletteSizeEveryPixelGetsItsNearestEntry) {
    std::mt19937 rng(7);
    for (int colors : {257, 300}) {
        TPaintRect r = RandomPicture(120, 90, colors, rng);
        auto bytes = Gif(r);
        TDecoded d = DecodeWithGiflib(bytes);
        std::vector<uint32_t> palette;
        for (int i = 0; i < 256; ++i)
            palette.push_back(uint32_t(bytes[13 + 3 * i]) << 16 | bytes[14 + 3 * i] << 8 |
                              bytes[15 + 3 * i]);
        auto distance = [](uint32_t a, uint32_t b) {
            int d = 0;
            for (int s = 0; s < 24; s += 8) {
                int x = int(a >> s & 0xFF) - int(b >> s & 0xFF);
                d += x * x;
            }
            return d;
        };
        int exact = 0;
        for (int i = 0; i < 120 * 90; ++i) {
            uint32_t want = r.PixelAt(i % 120, i / 120);
            int best = distance(want, palette[0]);
            for (uint32_t p : palette) best = std::min(best, distance(want, p));
            ASSERT_EQ(distance(want, d.pixels[i]), best) << i;
            exact += d.pixels[i] == want;
        }
        EXPECT_GT(exact, 120 * 90 * 2 / 3);
    }
}

TEST(GifWriterTest, CountTableHolds2049ColoursAndNarrowsBlueFirstAt2050) {
    auto picture = [](int colors) {
        auto r = TPaintRect::CreateSized(1, uint16_t(colors));
        for (int i = 0; i < colors; ++i) r.SetPixel(i, 0, TPixel(i) | 0x400000);  // blue = i & 0xFF, green = i >> 8
        return r;
    };
    auto q = QuantizeColors(picture(2049));
    EXPECT_EQ(q.colorCount, 2049u);
    EXPECT_EQ(q.redMask & q.greenMask & q.blueMask, 255);
    q = QuantizeColors(picture(2050));
    EXPECT_EQ(q.blueMask, 254);
    EXPECT_EQ(q.redMask, 255);
    EXPECT_EQ(q.greenMask, 255);
    EXPECT_EQ(q.colorCount, 1025u);  // pairs differing in blue's lowest bit merge
    // Masked colours only: the palette loses blue's lowest bit.
    for (const auto& c : q.palette) EXPECT_EQ(c.blue & 1, 0);
}

TEST(GifWriterTest, ManyColoursNarrowBlueRedGreenInTurn) {
    std::mt19937 rng(11);
    auto r = TPaintRect::CreateSized(100, 100);
    for (int y = 0; y < 100; ++y)
        for (int x = 0; x < 100; ++x) r.SetPixel(x, y, rng() & 0xFFFFFF);
    auto q = QuantizeColors(r);
    // 10000 random colours need about two bits dropped from each channel;
    // the rotation keeps the masks within one bit of each other.
    EXPECT_LE(q.colorCount, 2049u);
    int bits[3] = {__builtin_popcount(q.redMask), __builtin_popcount(q.greenMask),
                   __builtin_popcount(q.blueMask)};
    EXPECT_LE(bits[2], bits[0]);
    EXPECT_LE(bits[0], bits[1]);
    EXPECT_LE(bits[1] - bits[2], 1);
    EXPECT_NO_THROW(DecodeWithGiflib(Gif(r)));
}

// Sub-blocks of a GIF's image data, as their lengths.
std::vector<int> BlockLengths(const std::vector<uint8_t>& gif) {
    std::vector<int> lengths;
    size_t at = 792;
    while (gif.at(at) != 0) {
        lengths.push_back(gif[at]);
        at += gif[at] + 1;
    }
    EXPECT_EQ(at, gif.size() - 2);
    return lengths;
}

TEST(GifWriterTest, LongRunsStepCodeSizesAndClearAfter4094) {
    // 65535 x 120 pixels of one colour: string lengths grow by one per code,
    // so the table fills (and clears) twice on the way.
    auto r = TPaintRect::CreateSized(120, 65535);
    r.Clear(0x336699);
    auto bytes = Gif(r);
    TDecoded d = DecodeWithGiflib(bytes);
    ASSERT_EQ(d.pixels.size(), size_t(65535) * 120);
    for (uint32_t p : d.pixels) ASSERT_EQ(p, 0x336699u);
    auto lengths = BlockLengths(bytes);
    ASSERT_GT(lengths.size(), 2u);
    for (size_t i = 0; i + 1 < lengths.size(); ++i) ASSERT_EQ(lengths[i], 255);
}

// A reference decoder of the LZW data, to see exactly which indexes the
// codes stand for (giflib stops at the picture's size).
std::vector<uint8_t> DecodeLzw(const std::vector<uint8_t>& data) {
    std::vector<uint8_t> bytes;
    size_t at = 1;
    while (data.at(at) != 0) {
        bytes.insert(bytes.end(), data.begin() + at + 1, data.begin() + at + 1 + data[at]);
        at += data[at] + 1;
    }
    std::vector<std::vector<uint8_t>> table;
    auto reset = [&] {
        table.assign(258, {});
        for (int i = 0; i < 256; ++i) table[i] = {uint8_t(i)};
    };
    reset();
    std::vector<uint8_t> out, previous;
    size_t bit = 0;
    int size = 9;
    for (;;) {
        uint32_t code = 0;
        for (int i = 0; i < size; ++i, ++bit)
            if (bit / 8 < bytes.size() && (bytes[bit / 8] >> (bit % 8) & 1)) code |= 1u << i;
        if (code == kLzwEndCode) break;
        if (code == kLzwClearCode) {
            reset();
            size = 9;
            previous.clear();
            continue;
        }
        std::vector<uint8_t> entry;
        if (code < table.size())
            entry = table[code];
        else {
            entry = previous;
            entry.push_back(previous.at(0));
        }
        if (!previous.empty()) {
            auto added = previous;
            added.push_back(entry[0]);
            table.push_back(added);
        }
        out.insert(out.end(), entry.begin(), entry.end());
        previous = entry;
        if (table.size() == (1u << size) && size < 12) ++size;
    }
    return out;
}

TEST(LzwEncoderTest, ClearOnTheLastIndexAddsNoStrayPixel) {
    // One index repeated: the k-th code covers k indexes, so code 4094 is
    // stored while reading index 3837 * 3838 / 2 + 1.
    const size_t n = 3837 * 3838 / 2 + 1;
    std::vector<uint8_t> indexes(n, 5), out;
    LZWEncode(indexes.data(), n, out);
    EXPECT_EQ(DecodeLzw(out), indexes);
    indexes.push_back(5);
    out.clear();
    LZWEncode(indexes.data(), indexes.size(), out);
    EXPECT_EQ(DecodeLzw(out), indexes);
}

TEST(LzwEncoderTest, RandomIndexStreamsDecodeToThemselves) {
    std::mt19937 rng(5);
    for (int alphabet : {2, 4, 256}) {
        std::vector<uint8_t> indexes(30000), out;
        for (auto& i : indexes) i = uint8_t(rng() % alphabet);
        LZWEncode(indexes.data(), indexes.size(), out);
        EXPECT_EQ(DecodeLzw(out), indexes) << alphabet;
    }
}

}  // namespace
}  // namespace tlvx
