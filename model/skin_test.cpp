#include "model/skin.h"

#include <gtest/gtest.h>

#include "model/testing/skin_pictures.h"
#include "platform/byte_codec.h"
#include "raster/gif_writer.h"

namespace tlvx {
namespace {

using test::DefaultSkinStreamBytes;
using test::TDefaultSkinPictures;

constexpr TPixel kPaperPixel = 0xB9B3CF;  // ColorToPixel(kSkinDefaultFillColor)

TSkin& LoadInto(TSkin& skin, const std::vector<uint8_t>& bytes) {
    TMemoryStream s(bytes);
    if (!skin.LoadFromStream(&s)) throw std::runtime_error("skin stream did not load");
    return skin;
}

// True when the 5 x 14 picture of digit d lies at (x, y) of image.
bool DigitAt(const TPaintRect& image, int d, int x, int y) {
    TPaintRect digit = DrawDefaultDigit(d);
    for (int dy = 0; dy < digit.Height(); ++dy)
        for (int dx = 0; dx < digit.Width(); ++dx)
            if (image.PixelAt(x + dx, y + dy) != digit.PixelAt(dx, dy)) return false;
    return true;
}

bool ColumnsArePaper(const TPaintRect& image, int from, int to, int y0, int y1) {
    for (int y = y0; y < y1; ++y)
        for (int x = from; x < to; ++x)
            if (image.PixelAt(x, y) != kPaperPixel) return false;
    return true;
}

TEST(SkinStream, DefaultSkinLayoutByteForByte) {
    std::vector<uint8_t> b = DefaultSkinStreamBytes();
    ASSERT_EQ(b.size(), 15891u);  // 329 + 12010 + 10 * 278 + 768 + 4
    EXPECT_EQ(b[0], 20);
    EXPECT_EQ(std::string(b.begin() + 1, b.begin() + 21), "Tally-vex Skin Image");
    for (size_t i = 21; i < 255; ++i) ASSERT_EQ(b[i], 0) << i;
    EXPECT_EQ(GetU32(&b[255]), 1u);
    const std::vector<uint8_t> layout = {2, 6, 0, 0, 0, 14, 0, 0, 0, 0, 0, 0, 0, 0,
                                         3, 0, 0, 0, 25, 0, 0, 0, 81, 0, 0, 0};
    EXPECT_EQ(std::vector<uint8_t>(b.begin() + 259, b.begin() + 285), layout);
    EXPECT_EQ(GetU32(&b[285]), 12010u);
    for (int i = 1; i <= 10; ++i) EXPECT_EQ(GetU32(&b[285 + 4 * i]), 278u);

    // The pictures: background, then digit 0, then digits 1..9.
    EXPECT_EQ(std::vector<uint8_t>(b.begin() + 329, b.begin() + 329 + 12010),
              test::BmpBytes(DrawDefaultBackground()));
    for (int d = 0; d < 10; ++d) {
        auto at = b.begin() + 329 + 12010 + 278 * d;
        EXPECT_EQ(std::vector<uint8_t>(at, at + 278), test::BmpBytes(DrawDefaultDigit(d))) << d;
    }
    size_t texts = 329 + 12010 + 2780;
    EXPECT_EQ(b[texts], test::kTestSkinTexts.URL.size());
    EXPECT_EQ(b[texts + 256], test::kTestSkinTexts.Author.size());
    EXPECT_EQ(b[texts + 512], test::kTestSkinTexts.Name.size());
    EXPECT_EQ(std::vector<uint8_t>(b.end() - 4, b.end()),
              (std::vector<uint8_t>{0xB9, 0xB3, 0xCF, 0}));
}

TEST(SkinStream, SaveLoadSaveGivesTheSameBytes) {
    std::vector<uint8_t> first = DefaultSkinStreamBytes();
    TSkin skin;
    LoadInto(skin, first);
    EXPECT_TRUE(skin.IsComplete());
    EXPECT_EQ(skin.Texts(), test::kTestSkinTexts);
    EXPECT_EQ(skin.FillColor(), kSkinDefaultFillColor);
    EXPECT_EQ(skin.Layout(), TSkinLayout{});
    TMemoryStream again;
    again.Write("stale bytes that must go", 24);
    skin.SaveToStream(&again);
    EXPECT_EQ(again.Bytes(), first);

    // A changed layout, texts and colour survive the round trip too.
    TSkinLayout layout{saRight, 4, 14, 7, 1, -1, 3, 40};
    skin.SetLayout(layout);
    skin.SetTexts({std::string(300, 'u'), "", "x"});
    skin.SetFillColor(0x010203);
    TMemoryStream changed;
    skin.SaveToStream(&changed);
    TSkin other;
    LoadInto(other, changed.Bytes());
    EXPECT_EQ(other.Layout(), layout);
    EXPECT_EQ(other.Texts().URL, std::string(255, 'u'));
    EXPECT_EQ(other.Texts().Name, "x");
    EXPECT_EQ(other.FillColor(), 0x010203u);
}

TEST(SkinStream, StreamWithoutTextsAndColourTakesTheDefaults) {
    // A digit 0 whose top-left pixel differs from the paper shows where the
    // fill colour comes from.
    TDefaultSkinPictures pictures;
    TPaintRect zero = DrawDefaultDigit(0);
    zero.SetPixel(0, 0, 0x123456);
    pictures.Streams[1] = TMemoryStream(test::BmpBytes(zero));
    TSkin skin;
    skin.SetImages(pictures.Pointers());
    skin.SetTexts({});
    EXPECT_EQ(skin.GetDefaultColor(), 0x563412u);
    TMemoryStream full;
    skin.SaveToStream(&full);

    std::vector<uint8_t> bytes = full.Bytes();
    bytes.resize(329 + 12010 + 2780);
    TSkin old;
    old.SetFillColor(0);
    LoadInto(old, bytes);
    EXPECT_EQ(old.Texts(), DefaultSkinTexts());
    EXPECT_EQ(old.FillColor(), 0x563412u);

    // Texts written all empty read back as the defaults as well.
    TSkin blank;
    LoadInto(blank, full.Bytes());
    EXPECT_EQ(blank.Texts(), DefaultSkinTexts());

    EXPECT_EQ(TSkin().GetDefaultColor(), 0xFFFFFFu);  // no digit 0 at all
}

TEST(SkinStream, EveryTruncationIsRejectedAndLeavesTheSkinAlone) {
    std::vector<uint8_t> full = DefaultSkinStreamBytes();
    const size_t pictures = 329 + 12010 + 2780, texts = pictures + 768;
    TSkinLayout marker{saLeft, 2, 9, 1, 0, 1, 1, 10};
    for (size_t len = 0; len < full.size(); ++len) {
        TSkin skin;
        skin.SetLayout(marker);
        TMemoryStream s(std::vector<uint8_t>(full.begin(), full.begin() + long(len)));
        bool ok = skin.LoadFromStream(&s);
        // Only the two shapes of older streams are whole.
        ASSERT_EQ(ok, len == pictures || len == texts) << len;
        if (!ok) {
            ASSERT_FALSE(skin.IsComplete()) << len;
            ASSERT_EQ(skin.Layout(), marker) << len;
        }
    }
    EXPECT_FALSE(TSkin().LoadFromStream(nullptr));
}

TEST(SkinStream, LyingSizeTableIsRejectedBeforeAllocating) {
    std::vector<uint8_t> full = DefaultSkinStreamBytes();
    auto withSize = [&](int slot, int32_t size) {
        std::vector<uint8_t> b = full;
        PutU32(&b[285 + 4 * slot], uint32_t(size));
        return b;
    };
    const std::vector<std::vector<uint8_t>> bad = {
        withSize(0, -1),          withSize(10, -278),
        withSize(0, INT32_MAX),   withSize(5, 0x7FFFFF00),
        withSize(0, 12010 + 2780 + 768 + 4 + 1),  // one byte more than there is
    };
    for (size_t i = 0; i < bad.size(); ++i) {
        TSkin skin;
        TMemoryStream s(bad[i]);
        EXPECT_FALSE(skin.LoadFromStream(&s)) << i;
        EXPECT_FALSE(skin.IsComplete()) << i;
    }

    // Sizes that add up but cut the pictures in the wrong places: the
    // pictures are no bitmaps then.
    std::vector<uint8_t> shifted = withSize(0, 12000);
    PutU32(&shifted[285 + 40], 288);
    TSkin skin;
    TMemoryStream s(shifted);
    EXPECT_FALSE(skin.LoadFromStream(&s));

    // A bitmap header claiming a huge picture.
    std::vector<uint8_t> huge = full;
    PutU32(&huge[329 + 18], 60000);
    PutU32(&huge[329 + 22], 60000);
    TMemoryStream h(huge);
    EXPECT_FALSE(skin.LoadFromStream(&h));
}

TEST(SkinStream, IncompleteSkinSavesNothingAndShowsThePreview) {
    TDefaultSkinPictures pictures;
    TSkinImageStreams streams = pictures.Pointers();
    streams[7] = nullptr;  // digit 6
    TSkin skin;
    skin.SetImages(streams);
    EXPECT_FALSE(skin.IsComplete());
    EXPECT_EQ(skin.GetSizes().Size[6], 0);
    EXPECT_EQ(skin.GetSizes().Size[0], 12010);
    TMemoryStream out;
    out.Write("keep", 4);
    skin.SaveToStream(&out);
    EXPECT_EQ(out.Text(), "keep");
    skin.SaveToStream(nullptr);

    const TPaintRect& preview = skin.GetImage();
    EXPECT_EQ(preview.Width(), 100);
    EXPECT_EQ(preview.Height(), 81);
    EXPECT_EQ(preview.PixelAt(50, 40), 0u);
}

TEST(SkinRender, FiveFiveFiveOnTheDefaultSkin) {
    TSkin skin;
    LoadInto(skin, DefaultSkinStreamBytes());
    skin.SetValue(555);
    const TPaintRect& image = skin.GetImage();
    ASSERT_EQ(image.Width(), 81);
    ASSERT_EQ(image.Height(), 63);
    TPaintRect background = DrawDefaultBackground();
    for (int y = 0; y < 49; ++y)
        for (int x = 0; x < 81; ++x) ASSERT_EQ(image.PixelAt(x, y), background.PixelAt(x, y));

    // Six cells of 5 + 3 pixels centred on 81: 40.5 - 24 = 16.5, even: 16.
    const int digits[6] = {0, 0, 0, 5, 5, 5};
    for (int i = 0; i < 6; ++i) EXPECT_TRUE(DigitAt(image, digits[i], 16 + 8 * i, 49)) << i;
    EXPECT_TRUE(ColumnsArePaper(image, 0, 16, 49, 63));
    for (int i = 0; i < 5; ++i) EXPECT_TRUE(ColumnsArePaper(image, 21 + 8 * i, 24 + 8 * i, 49, 63));
    EXPECT_TRUE(ColumnsArePaper(image, 61, 81, 49, 63));

    // The GIF decoded by giflib shows the same pixels.
    test::TDecodedGif gif = test::DecodeGif(PaintRectToGIFBytes(image));
    ASSERT_EQ(gif.Width, 81);
    ASSERT_EQ(gif.Height, 63);
    for (int y = 0; y < 63; ++y)
        for (int x = 0; x < 81; ++x) ASSERT_EQ(gif.At(x, y), image.PixelAt(x, y)) << x << "," << y;
}

// The pictures the load decoded are kept for the image: pictures handed in
// later replace them.
TEST(SkinRender, PicturesSetAfterALoadAreTheOnesDrawn) {
    TSkin skin;
    LoadInto(skin, DefaultSkinStreamBytes());
    skin.SetValue(555);
    ASSERT_TRUE(DigitAt(skin.GetImage(), 5, 40, 49));
    TDefaultSkinPictures pictures;
    TSkinImageStreams streams = pictures.Pointers();
    streams[1 + 5] = streams[1 + 7];
    skin.SetImages(streams);
    EXPECT_TRUE(DigitAt(skin.GetImage(), 7, 40, 49));
    EXPECT_TRUE(DigitAt(skin.RenderNumber(81), 7, 40, 0));
}

TEST(SkinRender, CentrePlacementRoundsHalvesToEven) {
    TSkin skin;
    LoadInto(skin, DefaultSkinStreamBytes());
    skin.SetValue(1234567);  // 7 cells: 40.5 - 28 = 12.5 -> 12, nothing cut
    const TPaintRect& seven = skin.GetImage();
    for (int i = 0; i < 7; ++i) EXPECT_TRUE(DigitAt(seven, i + 1, 12 + 8 * i, 49)) << i;

    skin.SetValue(1234567890);  // 10 cells: 0.5 -> 0
    const TPaintRect& ten = skin.GetImage();
    EXPECT_TRUE(DigitAt(ten, 1, 0, 49));
    EXPECT_TRUE(DigitAt(ten, 0, 72, 49));

    // A fixed strip 83 wide: 41.5 - 24 = 17.5 -> 18, drawn inside the
    // background, which keeps its size.
    TSkinLayout fixed;
    fixed.FixedPosition = 1;
    fixed.NumberWidth = 83;
    fixed.NumberX = -1;
    fixed.NumberY = 20;
    skin.SetLayout(fixed);
    skin.SetValue(42);
    const TPaintRect& inside = skin.GetImage();
    ASSERT_EQ(inside.Width(), 81);
    ASSERT_EQ(inside.Height(), 49);
    EXPECT_TRUE(DigitAt(inside, 4, 18 + 8 * 4 - 1, 20));
    EXPECT_TRUE(DigitAt(inside, 2, 18 + 8 * 5 - 1, 20));
    EXPECT_TRUE(ColumnsArePaper(inside, 0, 17, 20, 34));
    EXPECT_EQ(inside.PixelAt(40, 19), DrawDefaultBackground().PixelAt(40, 19));
}

TEST(SkinRender, LeftRightAndUnknownAlignment) {
    TSkin skin;
    LoadInto(skin, DefaultSkinStreamBytes());
    TSkinLayout layout;
    layout.MinDigits = 3;
    layout.Align = saLeft;
    skin.SetLayout(layout);
    skin.SetValue(7);
    TPaintRect left = skin.RenderNumber(-1);
    EXPECT_EQ(left.Width(), 81);
    EXPECT_EQ(left.Height(), 14);
    EXPECT_TRUE(DigitAt(left, 0, 0, 0));
    EXPECT_TRUE(DigitAt(left, 0, 8, 0));
    EXPECT_TRUE(DigitAt(left, 7, 16, 0));

    layout.Align = saRight;  // the last digit ends at the right edge
    skin.SetLayout(layout);
    TPaintRect right = skin.RenderNumber(50);
    EXPECT_EQ(right.Width(), 50);
    EXPECT_TRUE(DigitAt(right, 7, 45, 0));
    EXPECT_TRUE(DigitAt(right, 0, 37, 0));
    EXPECT_TRUE(DigitAt(right, 0, 29, 0));
    EXPECT_TRUE(ColumnsArePaper(right, 0, 29, 0, 14));

    layout.Align = 3;
    skin.SetLayout(layout);
    EXPECT_TRUE(ColumnsArePaper(skin.RenderNumber(-1), 0, 81, 0, 14));
}

TEST(SkinRender, MinusSignLeavesItsCellEmpty) {
    TSkin skin;
    LoadInto(skin, DefaultSkinStreamBytes());
    skin.SetValue(-5);  // "0000-5"
    const TPaintRect& image = skin.GetImage();
    for (int i = 0; i < 4; ++i) EXPECT_TRUE(DigitAt(image, 0, 16 + 8 * i, 49)) << i;
    EXPECT_TRUE(ColumnsArePaper(image, 48, 56, 49, 63));
    EXPECT_TRUE(DigitAt(image, 5, 56, 49));

    skin.SetValue(INT32_MIN);  // longer than the strip: clipped, no harm
    EXPECT_EQ(skin.GetImage().Width(), 81);
}

TEST(SkinRender, AbsurdLayoutFromAStreamStaysBounded) {
    std::vector<uint8_t> b = DefaultSkinStreamBytes();
    PutU32(&b[259 + 1], uint32_t(INT32_MAX));  // MinDigits
    PutU32(&b[259 + 14], uint32_t(INT32_MIN));  // Gap
    PutU32(&b[259 + 22], uint32_t(-5));         // NumberWidth
    TSkin skin;
    LoadInto(skin, b);
    EXPECT_EQ(skin.GetImage().Width(), 81);
    EXPECT_EQ(skin.GetImage().Height(), 63);
    b[259 + 13] = 1;  // fixed, with a negative width: no strip at all
    TSkin fixed;
    LoadInto(fixed, b);
    EXPECT_EQ(fixed.GetImage().Height(), 49);
}

}  // namespace
}  // namespace tlvx
