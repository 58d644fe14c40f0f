#include "webstat/static_images.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <set>
#include <stdexcept>

#include "model/testing/skin_pictures.h"
#include "platform/testing/temp_dir.h"
#include "webstat/image_action.h"
#include "webstat/testing/report_site.h"

namespace tlvx {
namespace {

TEST(StaticImages, EveryPictureIsAGifOfItsSizeAndTheArrowsPointTheirWay) {
    const std::map<int32_t, std::pair<int, int>> sizes{
        {3, {16, 16}}, {4, {16, 16}}, {5, {16, 16}}, {6, {16, 16}},  {7, {16, 16}},   {8, {16, 16}},
        {9, {16, 16}}, {10, {9, 9}},  {11, {9, 9}},  {12, {48, 48}}, {13, {114, 22}}};
    std::set<std::string> distinct;
    for (const auto& [number, size] : sizes) {
        const std::vector<uint8_t> gif = StaticImageGIF(number);
        EXPECT_EQ(gif, StaticImageGIF(number));
        const test::TDecodedGif picture = test::DecodeGif(gif);
        EXPECT_EQ(size, std::make_pair(picture.Width, picture.Height)) << number;
        distinct.insert(std::string(gif.begin(), gif.end()));
    }
    EXPECT_EQ(sizes.size(), distinct.size());
    // up.gif rises in green: its tip at the top; down.gif falls in red.
    const test::TDecodedGif up = test::DecodeGif(StaticImageGIF(10));
    const test::TDecodedGif down = test::DecodeGif(StaticImageGIF(11));
    EXPECT_EQ(0x3B8A5Eu, up.At(4, 2));
    EXPECT_EQ(0xFFFFFFu, up.At(0, 2));
    EXPECT_EQ(0x3B8A5Eu, up.At(0, 6));
    EXPECT_EQ(0xA93432u, down.At(4, 6));
    EXPECT_EQ(0xA93432u, down.At(0, 2));
    for (int32_t number : {0, 1, 2, 14}) EXPECT_THROW(StaticImageGIF(number), std::out_of_range);
}

TEST(StaticImages, WrittenUnderTheirFileNames) {
    TTestTempDir dir;
    WriteStaticImages(dir.Path());
    for (int32_t number = kFirstStaticImage; number <= kLastImageNumber; ++number) {
        const std::vector<uint8_t> gif = StaticImageGIF(number);
        EXPECT_EQ(std::string(gif.begin(), gif.end()),
                  test::FileBytes(dir.File(std::string(ImageFileName(number)))));
    }
    EXPECT_FALSE(std::filesystem::exists(dir.File("lang.gif")));
    EXPECT_THROW(WriteStaticImages(dir.File("missing")), std::runtime_error);
}

}  // namespace
}  // namespace tlvx
