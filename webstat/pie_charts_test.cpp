#include "webstat/pie_charts.h"

#include <gtest/gtest.h>

#include <array>
#include <cmath>
#include <numbers>
#include <string>

#include "raster/gif_writer.h"
#include "raster/testing/gif_decode.h"
#include "webstat/ui_tables.h"

namespace tlvx {
namespace {

// The colour a slice must show: the HTML colour of its legend swatch, so a
// picture with red and blue exchanged fails.
uint32_t LegendColour(size_t index) { return uint32_t(std::stoul(std::string(ChartPalette1[index].substr(1)), nullptr, 16)); }

// The point at radius 50 in the middle of a slice.
std::pair<int, int> MiddleOf(const TPieSlice& s) {
    const double mid = (s.From + s.To) / 2.0 * std::numbers::pi / 180;
    return {110 + int(std::lround(std::sin(mid) * 50)), 110 - int(std::lround(std::cos(mid) * 50))};
}

void ExpectSlicesDrawn(const TPaintRect& pie, const std::vector<TPieSlice>& slices) {
    for (const TPieSlice& s : slices) {
        const auto [x, y] = MiddleOf(s);
        EXPECT_EQ(pie.PixelAt(x, y), LegendColour(s.Colour)) << "slice " << s.From << ".." << s.To;
    }
    EXPECT_EQ(pie.PixelAt(5, 5), 0xFFFFFFu);
    EXPECT_EQ(pie.PixelAt(214, 214), 0xFFFFFFu);
}

TNameCounts Languages(std::initializer_list<int64_t> counts) {
    TNameCounts list;
    for (int64_t c : counts) list.push_back({std::string("L").append(std::to_string(list.size())), c});
    return list;
}

TEST(LanguagePie, OneLanguageIsTheWholeCircle) {
    const TLanguagePie pie = LanguagePie({{"RU", 7}, {"EN", 0}});
    ASSERT_EQ(pie.Rows.size(), 1u);
    EXPECT_EQ(pie.Total, 7);
    EXPECT_EQ(pie.Slices, (std::vector<TPieSlice>{{0, 360, 0}}));
    const TPaintRect raster = DrawPie(pie.Slices);
    ExpectSlicesDrawn(raster, pie.Slices);
    EXPECT_EQ(raster.PixelAt(110, 200), LegendColour(0));  // below the centre
    EXPECT_EQ(raster.PixelAt(30, 110), LegendColour(0));   // left of it
}

TEST(LanguagePie, TenEqualLanguagesGiveEightSlicesAndTheGreyRest) {
    const TLanguagePie pie = LanguagePie(Languages({5, 5, 5, 5, 5, 5, 5, 5, 5, 5}));
    ASSERT_EQ(pie.Rows.size(), 8u);
    EXPECT_EQ(pie.Total, 50);
    ASSERT_EQ(pie.Slices.size(), 9u);
    for (size_t i = 0; i < 8; ++i) EXPECT_EQ(pie.Slices[i], (TPieSlice{int32_t(36 * i), int32_t(36 * i + 36), i}));
    EXPECT_EQ(pie.Slices[8], (TPieSlice{288, 360, kPieRestColour}));
    ExpectSlicesDrawn(DrawPie(pie.Slices), pie.Slices);
}

// The folded shares count in the total: 40, 40 and twenty of 1 show 40 %
// each and a grey fifth, not 50 % each and no grey.
TEST(LanguagePie, FoldedSharesStayInTheTotalAndTheGreySlice) {
    TNameCounts counts = Languages({40, 40});
    for (int i = 0; i < 20; ++i) counts.push_back({std::string("S").append(std::to_string(i)), 1});
    const TLanguagePie pie = LanguagePie(counts);
    ASSERT_EQ(pie.Rows.size(), 2u);
    EXPECT_EQ(pie.Total, 100);
    EXPECT_EQ(pie.Slices, (std::vector<TPieSlice>{{0, 144, 0}, {144, 288, 1}, {288, 360, kPieRestColour}}));
}

// 4 degrees is no slice of its own: it joins the grey rest after the last
// drawn slice. Rows stay sorted by count, the first of equals first.
TEST(LanguagePie, NarrowSharesJoinTheRest) {
    const TLanguagePie pie = LanguagePie({{"A", 30}, {"B", 58}, {"C", 1}, {"D", 1}, {"E", 30}});
    // C and D are 0.8 % each: folded. 30 / 120 * 360 = 90, 58 -> 174.
    ASSERT_EQ(pie.Rows.size(), 3u);
    EXPECT_EQ(pie.Rows[0].Name, "B");
    EXPECT_EQ(pie.Rows[1].Name, "A");
    EXPECT_EQ(pie.Rows[2].Name, "E");
    EXPECT_EQ(pie.Slices, (std::vector<TPieSlice>{{0, 174, 0}, {174, 264, 1}, {264, 354, 2}, {354, 360, 8}}));

    // 15 of 1000 is 1.5 %, kept in the table, but 5.4 degrees: no slice of
    // its own, so the grey rest carries it.
    const TLanguagePie narrow = LanguagePie({{"A", 500}, {"B", 485}, {"C", 15}});
    EXPECT_EQ(narrow.Rows.size(), 3u);
    EXPECT_EQ(narrow.Slices, (std::vector<TPieSlice>{{0, 180, 0}, {180, 355, 1}, {355, 360, kPieRestColour}}));
}

TEST(LanguagePie, NoLanguagesNoSlices) {
    const TLanguagePie pie = LanguagePie({});
    EXPECT_TRUE(pie.Rows.empty());
    EXPECT_TRUE(pie.Slices.empty());
    const TPaintRect raster = DrawPie(pie.Slices);
    for (int y = 0; y < 220; y += 7)
        for (int x = 0; x < 220; x += 7) ASSERT_EQ(raster.PixelAt(x, y), 0xFFFFFFu);
}

TEST(BrowserPie, TheLastRowClosesTheCircle) {
    // 1/3 each of MSIE 4, Mozilla and Others: 120 degrees each.
    const std::array<int64_t, 7> thirds{1, 0, 0, 0, 1, 0, 1};
    EXPECT_EQ(BrowserPieSlices(thirds), (std::vector<TPieSlice>{{0, 120, 0}, {120, 240, 4}, {240, 360, 6}}));
    // Seven rows of 1: 51 degrees each, the last stretched to 360.
    const std::array<int64_t, 7> sevenths{1, 1, 1, 1, 1, 1, 1};
    const std::vector<TPieSlice> slices = BrowserPieSlices(sevenths);
    ASSERT_EQ(slices.size(), 7u);
    EXPECT_EQ(slices[5], (TPieSlice{255, 306, 5}));
    EXPECT_EQ(slices[6], (TPieSlice{306, 360, 6}));
    ExpectSlicesDrawn(DrawPie(slices), slices);
}

TEST(BrowserPie, PooledRowsOfSixDegreesOrMoreKeepTheirGreySlice) {
    // Three rows of 2 degrees (6 pooled): the last row keeps its size.
    const std::array<int64_t, 7> counts{2, 2, 2, 0, 0, 174, 180};
    EXPECT_EQ(BrowserPieSlices(counts),
              (std::vector<TPieSlice>{{0, 174, 5}, {174, 354, 6}, {354, 360, kPieRestColour}}));
    // One row of 5 degrees pooled: the last row closes, the grey slice is
    // left nothing.
    const std::array<int64_t, 7> small{5, 0, 0, 0, 0, 175, 180};
    EXPECT_EQ(BrowserPieSlices(small), (std::vector<TPieSlice>{{0, 175, 5}, {175, 360, 6}}));
    const std::array<int64_t, 7> none{};
    EXPECT_TRUE(BrowserPieSlices(none).empty());
}

TEST(PieGif, DecodesToThePicture) {
    const std::vector<TPieSlice> slices{{0, 90, 0}, {90, 200, 2}, {200, 360, kPieRestColour}};
    const TPaintRect pie = DrawPie(slices);
    const std::vector<uint8_t> bytes = PaintRectToGIFBytes(pie);
    const test::TDecodedGif gif = test::DecodeWithGiflib(bytes);
    ASSERT_EQ(gif.width, 220);
    ASSERT_EQ(gif.height, 220);
    for (int y = 0; y < 220; ++y)
        for (int x = 0; x < 220; ++x) ASSERT_EQ(gif.At(x, y), pie.PixelAt(x, y)) << x << "," << y;
    for (const TPieSlice& s : slices) {
        const auto [x, y] = MiddleOf(s);
        EXPECT_EQ(gif.At(x, y), LegendColour(s.Colour));
    }
}

}  // namespace
}  // namespace tlvx
