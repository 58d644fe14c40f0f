// The two pie charts of the general page: the languages of the visitors'
// browsers and the kinds of browsers. The shares are whole degrees computed
// from the counts; the picture is a 220 x 220 raster with a circle of
// radius 100, slices laid clockwise from straight up. The image road draws
// them from the requested counter's database as pictures 1 and 2, so each
// counter shows its own; the general page only prints their tables.
#pragma once

#include <array>
#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "model/brw_collection.h"
#include "model/counter2.h"
#include "raster/paint_rect.h"
#include "webstat/report_math.h"

namespace tlvx {

// The slices of a pie are ChartPalette1's colours 0 to 7; colour 8, grey,
// is the pooled rest.
inline constexpr size_t kPieSlices = 8;
inline constexpr size_t kPieRestColour = 8;

struct TPieSlice {
    int32_t From = 0;  // degrees, 0 straight up, clockwise
    int32_t To = 0;
    size_t Colour = 0;  // index into ChartPalette1
    friend bool operator==(const TPieSlice&, const TPieSlice&) = default;
};

// The language table and pie.
struct TLanguagePie {
    TNameCounts Rows;  // the languages with rows, largest first (at most 8)
    int64_t Total = 0;  // every count, the folded ones included
    std::vector<TPieSlice> Slices;
};

// From the counts of the languages (any order; counts of 0 are left out):
// the small shares (whole per cent 0 or 1) are folded into the rest, the
// eight largest of the others get rows, and each row of more than 5 degrees
// its slice; the rest, if any, is the grey slice up to 360 degrees. Shares
// and degrees are of the total before folding, so the grey slice carries
// what was folded.
TLanguagePie LanguagePie(TNameCounts counts);

// The browser pie's slices from the seven counts in the order of the
// browser table's rows: a row of more than 5 degrees gets its slice, the
// last row's slice closes the circle when the smaller rows pooled before it
// come to less than 6 degrees, and whatever was pooled is the grey slice up
// to 360 degrees.
std::vector<TPieSlice> BrowserPieSlices(std::span<const int64_t, 7> counts);

// The picture of a pie: white, with the slices filled in their colours.
TPaintRect DrawPie(std::span<const TPieSlice> slices);

// The rows of the browser table, in order: the label (a fixed text) and the
// browsers it counts.
struct TBrowserRow {
    THtmlLiteral Label;
    TBrowserKind Kind;
};
extern const std::array<TBrowserRow, 7> kBrowserRows;

// What the pies show of a counter, from the root node (the whole site):
// the count of every language, and the browser counts in kBrowserRows order.
TNameCounts LanguageCounts(INode& root);
std::array<int64_t, 7> BrowserCounts(INodeInfo& root);

// The picture numbers of the image road that are pies.
inline constexpr int32_t kLanguagePieNumber = 1;
inline constexpr int32_t kBrowserPieNumber = 2;
// The GIF of pie number (kLanguagePieNumber or kBrowserPieNumber) of the
// counter's whole site; nothing for another number.
std::optional<std::vector<uint8_t>> PieGif(ICounter2& counter, int32_t number);

}  // namespace tlvx
