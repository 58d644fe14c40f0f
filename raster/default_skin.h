// The default counter skin both programs carry: eleven pictures, items 0 to
// 9 the digits "0" to "9" (5 x 14 each) and item 10 the background (81 x
// 49). The pictures are drawn from tables in the code when a program starts.
//
// With the default skin layout the number strip (14 rows of the fill colour
// TColor 0xCFB3B9, digits centred with 3-pixel gaps) is appended below the
// background, so a counter image is 81 x 63. The digits' paper is that fill
// colour, and the background is a framed panel on the same colour, so the
// strip reads as the lower part of one card.
#pragma once

#include "raster/bitmap_list.h"
#include "raster/paint_rect.h"

namespace tlvx {

constexpr int kDefaultSkinItems = 11;
constexpr int kDefaultSkinBackground = 10;  // item index of the background
constexpr uint16_t kDefaultDigitWidth = 5, kDefaultDigitHeight = 14;
constexpr uint16_t kDefaultBackgroundWidth = 81, kDefaultBackgroundHeight = 49;
// The skin's paper colour as a class-library colour (red 0xB9, green 0xB3,
// blue 0xCF).
constexpr TColor kDefaultSkinPaper = 0xCFB3B9;

// The picture of one digit 0..9.
TPaintRect DrawDefaultDigit(int digit);
TPaintRect DrawDefaultBackground();

// Restores the eleven pictures into list, in their order, the way a stored
// list is read back: each item gets its height and width, then its picture
// as BMP data. Items already in the list are replaced.
void LoadDefaultSkin(TNWPaintRectList& list);

}  // namespace tlvx
