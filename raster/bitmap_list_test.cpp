#include "raster/bitmap_list.h"

#include <gtest/gtest.h>

#include <set>

#include "raster/default_skin.h"
#include "raster/gif_writer.h"
#include "raster/point_font.h"

namespace tlvx {
namespace {

TEST(BitmapListTest, ItemRestoresFromItsBitMapData) {
    TNWPaintRectList list;
    auto& item = list.Items().Add();
    item.SetRectWidth(5);  // the other side is still 0: nothing changes
    EXPECT_EQ(item.GetRectWidth(), 0);
    auto picture = DrawDefaultDigit(7);
    item.GetPaintRect() = picture;
    TMemoryStream data;
    item.WriteBitMap(data);
    EXPECT_EQ(data.Size(), 278u);

    TNWPaintRectList other;
    auto& restored = other.Items().Add();
    restored.SetRectHeight(14);
    restored.SetRectWidth(5);
    data.Seek(0);
    restored.ReadBitMap(data);
    EXPECT_EQ(restored.GetRectHeight(), 14);
    EXPECT_EQ(restored.GetRectWidth(), 5);
    EXPECT_EQ(restored.GetPaintRect(), picture);
    EXPECT_EQ(other.Items().GetOwner(), &other);
    EXPECT_THROW(other.Items().GetItem(1), std::out_of_range);
    EXPECT_THROW(other.Items().GetItem(-1), std::out_of_range);
}

TEST(BitmapListTest, SetItemsCopiesThePictures) {
    TNWPaintRectList a, b;
    a.Items().Add().GetPaintRect() = DrawDefaultDigit(3);
    b.SetItems(a.Items());
    a.Items()[0].GetPaintRect().Clear(0);
    ASSERT_EQ(b.Items().Count(), 1);
    EXPECT_EQ(b.Items()[0].GetPaintRect(), DrawDefaultDigit(3));
}

TEST(DefaultSkinTest, ElevenPicturesInTheirOrder) {
    TNWPaintRectList skin;
    skin.Items().Add();  // replaced, not kept
    LoadDefaultSkin(skin);
    ASSERT_EQ(skin.Items().Count(), kDefaultSkinItems);
    for (int i = 0; i < 10; ++i) {
        const auto& item = skin.Items()[i];
        EXPECT_EQ(item.GetRectWidth(), 5);
        EXPECT_EQ(item.GetRectHeight(), 14);
        EXPECT_EQ(item.GetPaintRect(), DrawDefaultDigit(i));
        TMemoryStream s;
        item.WriteBitMap(s);
        EXPECT_EQ(s.Size(), 278u);
    }
    const auto& background = skin.Items()[kDefaultSkinBackground];
    EXPECT_EQ(background.GetRectWidth(), 81);
    EXPECT_EQ(background.GetRectHeight(), 49);
    TMemoryStream s;
    background.WriteBitMap(s);
    EXPECT_EQ(s.Size(), 12010u);
}

TEST(DefaultSkinTest, DigitsAreDistinctOnTheSkinPaper) {
    const TPixel paper = ColorToPixel(kDefaultSkinPaper);
    for (int i = 0; i < 10; ++i) {
        auto d = DrawDefaultDigit(i);
        // The top-left pixel gives the skin's default fill colour.
        EXPECT_EQ(d.PixelAt(0, 0), paper) << i;
        for (int x = 0; x < 5; ++x) {
            EXPECT_EQ(d.PixelAt(x, 0), paper);
            EXPECT_EQ(d.PixelAt(x, 13), paper);
        }
        for (int j = 0; j < i; ++j) EXPECT_NE(d, DrawDefaultDigit(j)) << i << " " << j;
    }
    EXPECT_THROW(DrawDefaultDigit(10), std::out_of_range);
    // Background corners and bottom rows are paper, so the number strip
    // below it continues the same card.
    auto bg = DrawDefaultBackground();
    for (int x = 0; x < 81; ++x) EXPECT_EQ(bg.PixelAt(x, 48), paper) << x;
    EXPECT_EQ(bg.PixelAt(0, 0), paper);
    EXPECT_EQ(bg.PixelAt(80, 0), paper);
}

TEST(DefaultSkinTest, CounterImageKeepsItsFewColoursThroughGif) {
    // Background with a strip of six digits below, as the default layout
    // composes it, stays exact through the GIF writer.
    auto bg = DrawDefaultBackground();
    TPaintRect image = bg;
    image.SetSize(81, 63);
    image.FillRect(0, 49, ColorToPixel(kDefaultSkinPaper), 14, 81);
    for (int i = 0; i < 6; ++i) {
        auto d = DrawDefaultDigit(i == 5 ? 9 : i);
        CopyPaintRectBlock(image, d, 0, 0, 16 + 8 * i, 49, 5, 14);
    }
    auto gif = PaintRectToGIFBytes(image);
    EXPECT_EQ(gif[6], 81);
    EXPECT_EQ(gif[8], 63);
    std::set<TPixel> colours;
    for (int y = 0; y < 63; ++y)
        for (int x = 0; x < 81; ++x) colours.insert(image.PixelAt(x, y));
    EXPECT_LE(colours.size(), 256u);
}

TEST(PointFontTest, DefaultStreamLoadsEmptyGlyphs) {
    auto bytes = DefaultFontBytes();
    ASSERT_EQ(bytes.size(), 34u + 512u);
    TMemoryStream s(bytes);
    TPRText text;
    text.LoadFromStream(s);
    EXPECT_EQ(std::string(text.Font().name.data()), "Font for TPaintRect");
    EXPECT_EQ(text.Font().cellWidth, 12);
    EXPECT_EQ(text.Font().cellHeight, 14);
    ASSERT_EQ(text.Font().glyphs.size(), 256u);
    for (const auto& g : text.Font().glyphs) EXPECT_TRUE(g.empty());
}

TEST(PointFontTest, ReadsPointsAndKeepsTheNameBytes) {
    TMemoryStream s;
    char name[32];
    for (int i = 0; i < 32; ++i) name[i] = char('A' + i % 26);  // no terminator
    s.Write(name, 32);
    s.WriteU8(7);
    s.WriteU8(9);
    for (int c = 0; c < 256; ++c) {
        s.WriteU16(c == 'A' ? 2 : 0);
        if (c == 'A') {
            s.WriteU16(0x0102);
            s.WriteU16(0x0304);
        }
    }
    s.Seek(0);
    TPRText text;
    text.LoadFromStream(s);
    EXPECT_EQ(std::string(text.Font().name.data(), 32), std::string(name, 32));
    EXPECT_EQ(text.Font().cellWidth, 7);
    EXPECT_EQ(text.Font().glyphs['A'], (TPRFChar{0x0102, 0x0304}));

    // Cut short, or a count larger than the data: a read error, font reset.
    auto bytes = s.Bytes();
    bytes.resize(bytes.size() - 1);
    TMemoryStream shortStream(bytes);
    EXPECT_THROW(text.LoadFromStream(shortStream), EReadError);
    EXPECT_EQ(text.Font().cellWidth, 12);
    bytes = DefaultFontBytes();
    bytes[34] = 0xFF;
    bytes[35] = 0xFF;
    TMemoryStream hostile(bytes);
    EXPECT_THROW(text.LoadFromStream(hostile), EReadError);
}

}  // namespace
}  // namespace tlvx
