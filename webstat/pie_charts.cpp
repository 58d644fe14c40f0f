#include "webstat/pie_charts.h"

#include <algorithm>

#include "model/lang_collection.h"
#include "platform/integer_ratio.h"
#include "raster/gif_writer.h"
#include "webstat/ui_tables.h"
#include "webstat/ui_text_eng.h"

namespace tlvx {
namespace {

constexpr int32_t kFullCircle = 360;
constexpr uint16_t kPieSize = 220;
constexpr uint16_t kPieCentre = 110;
constexpr uint16_t kPieRadius = 100;

// Adds the slice from angle on; rounded shares may overshoot the circle by a
// degree or two, which is cut off rather than drawn over the first slice.
void AddSlice(std::vector<TPieSlice>& slices, int32_t from, int32_t to, size_t colour) {
    to = std::min(to, kFullCircle);
    if (from < to) slices.push_back({from, to, colour});
}

}  // namespace

TLanguagePie LanguagePie(TNameCounts counts) {
    TLanguagePie pie;
    std::erase_if(counts, [](const TNameCount& c) { return c.Count <= 0; });
    std::stable_sort(counts.begin(), counts.end(),
                     [](const TNameCount& a, const TNameCount& b) { return a.Count > b.Count; });
    for (const TNameCount& c : counts) pie.Total += c.Count;
    int64_t others = FoldSmallShares(counts);
    const size_t rows = std::min(counts.size(), kPieSlices);
    for (size_t i = rows; i < counts.size(); ++i) others += counts[i].Count;
    counts.resize(rows);
    int32_t angle = 0;
    for (size_t i = 0; i < rows; ++i) {
        const auto degrees = int32_t(RoundShare(counts[i].Count, pie.Total, kFullCircle));
        if (degrees > 5) {
            AddSlice(pie.Slices, angle, angle + degrees, i);
            angle += degrees;
        } else {
            others += counts[i].Count;
        }
    }
    if (others > 0) AddSlice(pie.Slices, angle, kFullCircle, kPieRestColour);
    pie.Rows = std::move(counts);
    return pie;
}

std::vector<TPieSlice> BrowserPieSlices(std::span<const int64_t, 7> counts) {
    int64_t sum = 0;
    for (int64_t c : counts) sum += std::max<int64_t>(c, 0);
    std::vector<TPieSlice> slices;
    int32_t angle = 0, rest = 0;
    for (size_t i = 0; i < counts.size(); ++i) {
        int32_t degrees = sum > 0 ? int32_t(RoundShare(std::max<int64_t>(counts[i], 0), sum, kFullCircle)) : 0;
        if (degrees > 5) {
            // The last row closes the circle over the rounding of the others.
            if (i == counts.size() - 1 && rest < 6) degrees = kFullCircle - angle;
            AddSlice(slices, angle, angle + degrees, i);
            angle += degrees;
        } else {
            rest += degrees;
        }
    }
    if (rest > 0) AddSlice(slices, angle, kFullCircle, kPieRestColour);
    return slices;
}

TPaintRect DrawPie(std::span<const TPieSlice> slices) {
    TPaintRect pie = TPaintRect::CreateSized(kPieSize, kPieSize);
    pie.Clear(0xFFFFFF);
    for (const TPieSlice& s : slices) {
        // The palette's numbers are class-library colours (0x00BBGGRR).
        const TPixel colour = ColorToPixel(ChartPalette1Colors[s.Colour]);
        pie.FilledSector(kPieCentre, kPieCentre, colour, colour, uint16_t(s.To), uint16_t(s.From), kPieRadius,
                         kPieRadius);
    }
    return pie;
}

const std::array<TBrowserRow, 7> kBrowserRows{{{"MSIE 4", bkMSIE4},
                                                {"MSIE 5", bkMSIE5},
                                                {"MSIE 6", bkMSIEOther},
                                                {"Lynx", bkLynx},
                                                {"Mozilla", bkMozilla},
                                                {"Opera", bkOpera},
                                                {UiText("Others"), bkOther}}};

TNameCounts LanguageCounts(INode& root) {
    TNameCounts counts;
    if (Ref<ILangCollection> languages = root.GetLanguages())
        for (const std::string& code : languages->GetCodes()) counts.push_back({code, languages->GetCount(code)});
    return counts;
}

std::array<int64_t, 7> BrowserCounts(INodeInfo& root) {
    std::array<int64_t, 7> counts{};
    if (Ref<IBrwCollection> browsers = root.GetBrowsers())
        for (size_t i = 0; i < kBrowserRows.size(); ++i) counts[i] = browsers->Count(BrowserSetOf(kBrowserRows[i].Kind));
    return counts;
}

std::optional<std::vector<uint8_t>> PieGif(ICounter2& counter, int32_t number) {
    if (number != kLanguagePieNumber && number != kBrowserPieNumber) return std::nullopt;
    Ref<INodeCollection> nodes = counter.GetNodes();
    Ref<INode> root = nodes ? nodes->GetRoot() : nullptr;
    Ref<INodeInfo> info = root ? root->GetInfo() : nullptr;
    std::vector<TPieSlice> slices;
    if (number == kLanguagePieNumber && root) slices = LanguagePie(LanguageCounts(*root)).Slices;
    if (number == kBrowserPieNumber && info) slices = BrowserPieSlices(BrowserCounts(*info));
    return PaintRectToGIFBytes(DrawPie(slices));
}

}  // namespace tlvx
