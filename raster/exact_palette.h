// The palette of a picture that has at most 256 distinct colours, built
// straight from its pixels.
//
// Such a picture needs no colour reduction: QuantizeColors would count each
// colour once, keep every one of them and order them by falling pixel count,
// the colour met first (bottom row first) winning a tie. ExactPalette gives
// that same result -- palette, indexes, full masks, colour count -- with one
// pass over the pixels and a small table, without the counting table,
// the per-pixel entry numbers or the nearest-colour search.
#pragma once

#include <optional>

#include "raster/color_quantizer.h"
#include "raster/paint_rect.h"

namespace tlvx {

// Nothing when the picture has more than 256 distinct colours.
std::optional<TQuantizedImage> ExactPalette(const TPaintRect& rect);

}  // namespace tlvx
