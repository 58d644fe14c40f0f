#include "raster/default_skin.h"

#include <stdexcept>

namespace tlvx {

namespace {

constexpr TPixel kPaper = 0xB9B3CF;  // ColorToPixel(kDefaultSkinPaper)
constexpr TPixel kInk = 0x232650;
constexpr TPixel kInkShade = 0x6E6C8F;  // half way between ink and paper

// Digit glyphs, 5 x 14: '#' ink, '+' shaded corner, '.' paper. The top and
// bottom rows stay empty so that the digits breathe inside the strip.
constexpr const char* kDigitGlyphs[10][kDefaultDigitHeight] = {
    {".....", "+###+", "#...#", "#...#", "#...#", "#...#", "#...#",
     "#...#", "#...#", "#...#", "#...#", "#...#", "+###+", "....."},
    {".....", "..#..", ".##..", "+.#..", "..#..", "..#..", "..#..",
     "..#..", "..#..", "..#..", "..#..", "..#..", ".###.", "....."},
    {".....", "+###+", "#...#", "....#", "....#", "....#", "...+#",
     "..+#.", ".+#..", "+#...", "#....", "#....", "#####", "....."},
    {".....", "+###+", "#...#", "....#", "....#", "....#", ".###+",
     "....#", "....#", "....#", "....#", "#...#", "+###+", "....."},
    {".....", "...#.", "..##.", "..##.", ".#.#.", ".#.#.", "#..#.",
     "#..#.", "#####", "...#.", "...#.", "...#.", "...#.", "....."},
    {".....", "#####", "#....", "#....", "#....", "#....", "####+",
     "....#", "....#", "....#", "....#", "#...#", "+###+", "....."},
    {".....", "+###+", "#...#", "#....", "#....", "#....", "####+",
     "#...#", "#...#", "#...#", "#...#", "#...#", "+###+", "....."},
    {".....", "#####", "....#", "....#", "...#.", "...#.", "...#.",
     "..#..", "..#..", "..#..", "..#..", "..#..", "..#..", "....."},
    {".....", "+###+", "#...#", "#...#", "#...#", "#...#", "+###+",
     "#...#", "#...#", "#...#", "#...#", "#...#", "+###+", "....."},
    {".....", "+###+", "#...#", "#...#", "#...#", "#...#", "#...#",
     "+####", "....#", "....#", "....#", "#...#", "+###+", "....."},
};

TPixel Blend(TPixel a, TPixel b, int num, int den) {
    TPixel out = 0;
    for (int shift = 0; shift < 24; shift += 8) {
        int ca = int(a >> shift & 0xFF), cb = int(b >> shift & 0xFF);
        out |= TPixel(ca + (cb - ca) * num / den) << shift;
    }
    return out;
}

// The framed panel: a one-pixel ink border with cut corners, a soft
// vertical gradient inside and a shadow to the lower right.
void DrawPanel(TPaintRect& r, int left, int top, int right, int bottom) {
    constexpr TPixel kTop = 0xE8E5F3, kBottom = 0xC6C0DB, kShadow = 0x9D96B8;
    for (int y = top + 1; y < bottom; ++y) {
        TPixel c = Blend(kTop, kBottom, y - top - 1, bottom - top - 2);
        r.FillRect(uint16_t(left + 1), uint16_t(y), c, 1, uint16_t(right - left - 1));
    }
    r.Line(uint16_t(left + 1), uint16_t(top), kInk, uint16_t(top), uint16_t(right - 1));
    r.Line(uint16_t(left + 1), uint16_t(bottom), kInk, uint16_t(bottom), uint16_t(right - 1));
    r.Line(uint16_t(left), uint16_t(top + 1), kInk, uint16_t(bottom - 1), uint16_t(left));
    r.Line(uint16_t(right), uint16_t(top + 1), kInk, uint16_t(bottom - 1), uint16_t(right));
    for (int x : {left, right})
        for (int y : {top, bottom}) r.SetPixel(x, y, kInkShade);
    r.Line(uint16_t(left + 2), uint16_t(bottom + 1), kShadow, uint16_t(bottom + 1),
           uint16_t(right));
    r.Line(uint16_t(right + 1), uint16_t(top + 2), kShadow, uint16_t(bottom), uint16_t(right + 1));
}

// A rising bar chart standing on a base line: the counter's emblem.
void DrawBars(TPaintRect& r, int left, int base) {
    constexpr int kHeights[] = {9, 14, 11, 19, 16, 25, 31};
    constexpr int kBars = int(sizeof kHeights / sizeof kHeights[0]);
    constexpr int kBarWidth = 6, kStep = 9;
    constexpr TPixel kFirst = 0x4FA3BA, kLast = 0x3A4A9C;
    for (int i = 0; i < kBars; ++i) {
        TPixel body = Blend(kFirst, kLast, i, kBars - 1);
        TPixel light = Blend(body, 0xFFFFFF, 2, 5), dark = Blend(body, 0x000000, 1, 4);
        int x = left + i * kStep, top = base - kHeights[i];
        r.FillRect(uint16_t(x), uint16_t(top), body, uint16_t(kHeights[i]), kBarWidth);
        r.Line(uint16_t(x), uint16_t(top), light, uint16_t(base - 1), uint16_t(x));
        r.Line(uint16_t(x), uint16_t(top), light, uint16_t(top), uint16_t(x + kBarWidth - 1));
        r.Line(uint16_t(x + kBarWidth - 1), uint16_t(top + 1), dark, uint16_t(base - 1),
               uint16_t(x + kBarWidth - 1));
    }
    r.Line(uint16_t(left - 3), uint16_t(base), kInk, uint16_t(base),
           uint16_t(left + kBars * kStep));
}

}  // namespace

TPaintRect DrawDefaultDigit(int digit) {
    if (digit < 0 || digit > 9) throw std::out_of_range("digit");
    auto r = TPaintRect::CreateSized(kDefaultDigitHeight, kDefaultDigitWidth);
    for (int y = 0; y < kDefaultDigitHeight; ++y)
        for (int x = 0; x < kDefaultDigitWidth; ++x) {
            char c = kDigitGlyphs[digit][y][x];
            r.SetPixel(x, y, c == '#' ? kInk : c == '+' ? kInkShade : kPaper);
        }
    return r;
}

TPaintRect DrawDefaultBackground() {
    auto r = TPaintRect::CreateSized(kDefaultBackgroundHeight, kDefaultBackgroundWidth);
    r.Clear(kPaper);
    DrawPanel(r, 3, 3, 76, 44);
    DrawBars(r, 9, 40);
    return r;
}

void LoadDefaultSkin(TNWPaintRectList& list) {
    TNWPRCollection fresh(&list);
    for (int i = 0; i < kDefaultSkinItems; ++i) {
        TPaintRect picture = i == kDefaultSkinBackground ? DrawDefaultBackground()
                                                         : DrawDefaultDigit(i);
        TMemoryStream bitmap;
        picture.SaveToStream(bitmap);
        bitmap.Seek(0);
        auto& item = fresh.Add();
        item.SetRectHeight(picture.Height());
        item.SetRectWidth(picture.Width());
        item.ReadBitMap(bitmap);
    }
    list.SetItems(fresh);
}

}  // namespace tlvx
