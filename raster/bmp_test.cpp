#include <gtest/gtest.h>

#include <fstream>
#include <random>

#include "platform/testing/temp_dir.h"
#include "raster/paint_rect.h"

namespace tlvx {
namespace {

TPaintRect RandomRect(uint16_t w, uint16_t h, uint32_t seed) {
    std::mt19937 rng(seed);
    auto r = TPaintRect::CreateSized(h, w);
    for (int y = 0; y < h; ++y)
        for (int x = 0; x < w; ++x) r.SetPixel(x, y, rng() & 0xFFFFFF);
    return r;
}

std::vector<uint8_t> Saved(const TPaintRect& r) {
    TMemoryStream s;
    r.SaveToStream(s);
    return s.Bytes();
}

uint32_t U32At(const std::vector<uint8_t>& b, size_t at) {
    return b[at] | b[at + 1] << 8 | b[at + 2] << 16 | uint32_t(b[at + 3]) << 24;
}

void PutU32At(std::vector<uint8_t>& b, size_t at, uint32_t v) {
    for (int i = 0; i < 4; ++i) b[at + i] = uint8_t(v >> (8 * i));
}

TEST(BmpTest, SizesAndHeaderFields) {
    EXPECT_EQ(Saved(TPaintRect::CreateSized(1, 1)).size(), 58u);
    EXPECT_EQ(Saved(TPaintRect::CreateSized(1, 4)).size(), 66u);
    EXPECT_EQ(Saved(TPaintRect::CreateSized(14, 5)).size(), 278u);
    auto b = Saved(TPaintRect::CreateSized(49, 81));
    ASSERT_EQ(b.size(), 12010u);
    EXPECT_EQ(b[0], 'B');
    EXPECT_EQ(b[1], 'M');
    EXPECT_EQ(U32At(b, 2), 12010u);
    EXPECT_EQ(U32At(b, 10), 54u);
    EXPECT_EQ(U32At(b, 14), 40u);
    EXPECT_EQ(U32At(b, 18), 81u);
    EXPECT_EQ(U32At(b, 22), 49u);
    EXPECT_EQ(b[26] | b[27] << 8, 1);
    EXPECT_EQ(b[28] | b[29] << 8, 24);
    EXPECT_EQ(U32At(b, 34), 12010u - 54);
    EXPECT_EQ(U32At(b, 50), 0u);
}

TEST(BmpTest, RowsAreBottomUpAndPadded) {
    auto r = TPaintRect::CreateSized(2, 1);
    r.SetPixel(0, 0, 0x112233);  // top
    r.SetPixel(0, 1, 0xAABBCC);  // bottom
    auto b = Saved(r);
    ASSERT_EQ(b.size(), 62u);
    EXPECT_EQ(std::vector<uint8_t>(b.begin() + 54, b.end()),
              (std::vector<uint8_t>{0xCC, 0xBB, 0xAA, 0, 0x33, 0x22, 0x11, 0}));
}

TEST(BmpTest, RoundTripsAtEveryPadding) {
    for (uint16_t w : {1, 2, 3, 4, 5, 7, 81}) {
        TPaintRect r = RandomRect(w, 13, w);
        TMemoryStream s(Saved(r));
        TPaintRect back;
        back.LoadFromStream(s);
        EXPECT_EQ(back, r) << w;
        EXPECT_EQ(s.Position(), s.Size());
    }
}

TEST(BmpTest, LoadsThirtyTwoBitDataDroppingTheFourthByte) {
    std::vector<uint8_t> b = Saved(TPaintRect::CreateSized(2, 3));
    b.resize(54);
    b[28] = 32;
    // Bottom row first: three pixels of 4 bytes each, then the top row.
    for (int i = 0; i < 6; ++i) {
        uint8_t v = uint8_t(0x10 * (i + 1));
        for (uint8_t c : {v, uint8_t(v + 1), uint8_t(v + 2), uint8_t(0xEE)}) b.push_back(c);
    }
    TMemoryStream s(b);
    TPaintRect r;
    r.LoadFromStream(s);
    ASSERT_EQ(r.Width(), 3);
    ASSERT_EQ(r.Height(), 2);
    EXPECT_EQ(r.PixelAt(0, 1), 0x121110u);
    EXPECT_EQ(r.PixelAt(2, 0), 0x626160u);
}

TEST(BmpTest, OtherDepthsLeaveTheRasterUnchanged) {
    std::vector<uint8_t> b = Saved(TPaintRect::CreateSized(4, 4));
    b[28] = 8;
    TPaintRect r = RandomRect(2, 2, 1), before = r;
    TMemoryStream s(b);
    r.LoadFromStream(s);
    EXPECT_EQ(r, before);
    EXPECT_EQ(s.Position(), 54u);
}

TEST(BmpTest, DamagedHeadersAreRejectedBeforeAllocation) {
    const std::vector<uint8_t> good = Saved(RandomRect(5, 14, 3));
    auto rejects = [&](std::vector<uint8_t> b, const char* what) {
        TPaintRect r = RandomRect(2, 2, 9), before = r;
        EXPECT_THROW(r.LoadFromMemory(b.data(), b.size()), EBitmapFormatError) << what;
        TMemoryStream s(std::move(b));
        EXPECT_THROW(r.LoadFromStream(s), EBitmapFormatError) << what;
        EXPECT_EQ(r, before) << what;
    };
    rejects(std::vector<uint8_t>(good.begin(), good.begin() + 53), "short header");
    rejects(std::vector<uint8_t>(good.begin(), good.end() - 1), "short data");
    auto b = good;
    PutU32At(b, 18, 65535);
    PutU32At(b, 22, 65535);
    rejects(b, "huge size");
    b = good;
    PutU32At(b, 22, uint32_t(-14));
    rejects(b, "negative height");
    b = good;
    PutU32At(b, 18, 0);
    rejects(b, "zero width");
    b = good;
    PutU32At(b, 18, 0x10005);
    rejects(b, "width beyond 16 bits");
    b = good;
    PutU32At(b, 10, 0xFFFFFFF0);
    rejects(b, "offset past the end");
    b = good;
    PutU32At(b, 10, 20);
    rejects(b, "offset inside the header");
    b = good;
    b[28] = 32;
    rejects(b, "32-bit rows longer than the data");
}

// The stream and the memory reader agree on every damaged header.
TEST(BmpTest, RandomCorruptionNeverReadsPastTheData) {
    const std::vector<uint8_t> good = Saved(RandomRect(7, 5, 4));
    std::mt19937 rng(77);
    for (int round = 0; round < 2000; ++round) {
        auto b = good;
        for (int n = 0; n < 3; ++n) b[rng() % 54] = uint8_t(rng());
        b.resize(rng() % (b.size() + 1));
        TPaintRect fromMemory;
        bool memoryThrew = false;
        try {
            fromMemory.LoadFromMemory(b.data(), b.size());
        } catch (const EBitmapFormatError&) {
            memoryThrew = true;
        }
        TMemoryStream s(std::move(b));
        TPaintRect r;
        bool streamThrew = false;
        try {
            r.LoadFromStream(s);
        } catch (const EBitmapFormatError&) {
            streamThrew = true;
        }
        EXPECT_LE(size_t(r.Width()) * r.Height(), s.Size());
        EXPECT_EQ(memoryThrew, streamThrew);
        EXPECT_EQ(fromMemory, r);
    }
}

TEST(BmpTest, LoadsFromAFile) {
    TTestTempDir dir;
    TPaintRect r = RandomRect(5, 14, 5);
    auto b = Saved(r);
    std::string path = dir.File("digit.bmp");
    std::ofstream(path, std::ios::binary).write(reinterpret_cast<const char*>(b.data()), b.size());
    TPaintRect back;
    back.LoadFromFile(path);
    EXPECT_EQ(back, r);
}

}  // namespace
}  // namespace tlvx
