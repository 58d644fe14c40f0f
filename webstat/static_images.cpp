#include "webstat/static_images.h"

#include <array>
#include <fstream>
#include <stdexcept>
#include <string_view>

#include "raster/gif_writer.h"
#include "raster/paint_rect.h"
#include "webstat/image_action.h"

namespace tlvx {
namespace {

// Colours as pixel values 0xRRGGBB: the frame's own, so the pictures sit
// on the header bar and the white content area.
constexpr TPixel kHeaderBlue = 0xCCE3F6;
constexpr TPixel kNavy = 0x1F4384;
constexpr TPixel kDarkThread = 0x0172CF;
constexpr TPixel kWhite = 0xFFFFFF;
constexpr TPixel kGrow = 0x3B8A5E;
constexpr TPixel kFall = 0xA93432;
constexpr TPixel kPaper = 0xF7FBFF;

TPaintRect Canvas(uint16_t width, uint16_t height, TPixel background) {
    TPaintRect rect = TPaintRect::CreateSized(height, width);
    rect.Clear(background);
    return rect;
}

// A 5 x 7 letter of the name, '#' set, scaled by 2.
using TGlyph = std::array<std::string_view, 7>;
constexpr TGlyph kT{"#####", "..#..", "..#..", "..#..", "..#..", "..#..", "..#.."};
constexpr TGlyph kA{".###.", "#...#", "#...#", "#####", "#...#", "#...#", "#...#"};
constexpr TGlyph kL{"#....", "#....", "#....", "#....", "#....", "#....", "#####"};
constexpr TGlyph kY{"#...#", "#...#", ".#.#.", "..#..", "..#..", "..#..", "..#.."};
constexpr TGlyph kV{"#...#", "#...#", "#...#", "#...#", ".#.#.", ".#.#.", "..#.."};
constexpr TGlyph kE{"#####", "#....", "#....", "####.", "#....", "#....", "#####"};
constexpr TGlyph kX{"#...#", "#...#", ".#.#.", "..#..", ".#.#.", "#...#", "#...#"};
constexpr TGlyph k2{".###.", "#...#", "....#", "...#.", "..#..", ".#...", "#####"};

void DrawGlyph(TPaintRect& rect, const TGlyph& glyph, int32_t left, int32_t top, TPixel colour) {
    for (int32_t y = 0; y < 7; ++y)
        for (int32_t x = 0; x < 5; ++x)
            if (glyph[size_t(y)][size_t(x)] == '#')
                for (int32_t d = 0; d < 4; ++d) rect.SetPixel(left + 2 * x + d % 2, top + 2 * y + d / 2, colour);
}

// "TALLYVEX2" in navy on the header bar's colour.
TPaintRect DrawName() {
    const std::array<const TGlyph*, 9> letters{&kT, &kA, &kL, &kL, &kY, &kV, &kE, &kX, &k2};
    TPaintRect rect = Canvas(9 * 12 + 6, 22, kHeaderBlue);
    for (size_t i = 0; i < letters.size(); ++i) DrawGlyph(rect, *letters[i], 4 + int32_t(i) * 12, 4, kNavy);
    return rect;
}

// A blue tile with three white bars of rising height: a counter's chart.
TPaintRect DrawLogo() {
    TPaintRect rect = Canvas(48, 48, kHeaderBlue);
    rect.FillRect(4, 4, kDarkThread, 40, 40);
    rect.FillRect(11, 26, kWhite, 14, 7);
    rect.FillRect(21, 18, kWhite, 22, 7);
    rect.FillRect(31, 10, kWhite, 30, 7);
    return rect;
}

// A 9 x 9 triangle pointing up (a rise) or down (a fall).
TPaintRect DrawArrow(bool up) {
    TPaintRect rect = Canvas(9, 9, kWhite);
    for (int32_t row = 0; row < 5; ++row) {
        const int32_t y = up ? 2 + row : 6 - row;
        for (int32_t x = 4 - row; x <= 4 + row; ++x) rect.SetPixel(x, y, up ? kGrow : kFall);
    }
    return rect;
}

// 16 x 16 icons on the content area's paper.
TPaintRect DrawCalendar() {
    TPaintRect rect = Canvas(16, 16, kPaper);
    rect.FillRect(1, 2, kNavy, 13, 14);
    rect.FillRect(2, 5, kWhite, 9, 12);
    for (uint16_t y = 6; y <= 12; y += 3)
        for (uint16_t x = 3; x <= 12; x += 3) rect.FillRect(x, y, kDarkThread, 2, 2);
    return rect;
}

TPaintRect DrawGlobe(bool counted) {
    TPaintRect rect = Canvas(16, 16, kPaper);
    rect.FilledSector(8, 8, kDarkThread, kNavy, 360, 0, 6, 6);
    rect.Line(2, 8, kWhite, 8, 14);
    rect.Line(8, 2, kWhite, 14, 8);
    if (counted) rect.FillRect(11, 11, kFall, 4, 4);
    return rect;
}

// A box with an arrow going in, out, or both.
TPaintRect DrawDoor(bool in, bool out) {
    TPaintRect rect = Canvas(16, 16, kPaper);
    rect.FillRect(8, 2, kNavy, 12, 7);
    rect.FillRect(9, 3, kWhite, 10, 5);
    if (in) {
        rect.Line(0, 6, kGrow, 6, 10);
        rect.Line(8, 4, kGrow, 6, 10);
        rect.Line(8, 8, kGrow, 6, 10);
    }
    if (out) {
        rect.Line(0, 11, kFall, 11, 6);
        rect.Line(0, 11, kFall, 9, 2);
        rect.Line(0, 11, kFall, 13, 2);
    }
    return rect;
}

// Two links of a chain: where visitors come from.
TPaintRect DrawLinks() {
    TPaintRect rect = Canvas(16, 16, kPaper);
    rect.SectorOutline(5, 8, kNavy, 360, 0, 3, 4);
    rect.SectorOutline(11, 8, kDarkThread, 360, 0, 3, 4);
    return rect;
}

TPaintRect DrawStatic(int32_t number) {
    switch (number) {
        case 3: return DrawCalendar();
        case 4: return DrawGlobe(false);
        case 5: return DrawGlobe(true);
        case 6: return DrawDoor(true, false);
        case 7: return DrawDoor(false, true);
        case 8: return DrawDoor(true, true);
        case 9: return DrawLinks();
        case 10: return DrawArrow(true);
        case 11: return DrawArrow(false);
        case 12: return DrawLogo();
        case 13: return DrawName();
    }
    throw std::out_of_range("no static picture number " + std::to_string(number));
}

}  // namespace

std::vector<uint8_t> StaticImageGIF(int32_t number) { return PaintRectToGIFBytes(DrawStatic(number)); }

void WriteStaticImages(const std::string& directory) {
    std::string dir = directory;
    if (!dir.empty() && dir.back() != '/') dir += '/';
    for (int32_t number = kFirstStaticImage; number <= kLastImageNumber; ++number) {
        const std::string path = dir + std::string(ImageFileName(number));
        const std::vector<uint8_t> gif = StaticImageGIF(number);
        std::ofstream out(path, std::ios::binary | std::ios::trunc);
        out.write(reinterpret_cast<const char*>(gif.data()), std::streamsize(gif.size()));
        out.close();
        if (!out) throw std::runtime_error("cannot write " + path);
    }
}

}  // namespace tlvx
