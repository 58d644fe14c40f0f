#include "raster/color_quantizer.h"

#include <algorithm>
#include <cstring>
#include <memory>

namespace tlvx {

namespace {

constexpr uint16_t kEmptySlot = 0xFFFF;

struct TColorEntry {
    uint32_t color;  // masked pixel value 0x00RRGGBB
    uint32_t count;
    uint8_t index;
};

// The colour-count table: a fixed pool of entries and an open-addressing
// hash of entry numbers over the masked colours.
class TColorTable {
public:
    TColorTable() { entries_.reserve(kMaxCountedColors); }

    void Clear() {
        entries_.clear();
        std::memset(slots_, 0xFF, sizeof slots_);
    }

    // The entry number of the masked colour, counted once more; -1 when the
    // colour is new and the table is full.
    int32_t Count(uint32_t color) {
        uint32_t r = color >> 16 & 0xFF, g = color >> 8 & 0xFF, b = color & 0xFF;
        uint32_t slot = (r + g) * (g + b) * (b + r) % kColorHashSlots;
        for (;;) {
            uint16_t e = slots_[slot];
            if (e == kEmptySlot) break;
            if (entries_[e].color == color) {
                ++entries_[e].count;
                return e;
            }
            if (++slot == kColorHashSlots) slot = 0;
        }
        if (entries_.size() == kMaxCountedColors) return -1;
        slots_[slot] = uint16_t(entries_.size());
        entries_.push_back({color, 1, 0});
        return int32_t(entries_.size() - 1);
    }

    std::vector<TColorEntry>& Entries() { return entries_; }

private:
    std::vector<TColorEntry> entries_;
    uint16_t slots_[kColorHashSlots];
};

// One counting round over the picture in stored BMP order; fills entryOf
// (top-row-first layout) and returns false when the table overflowed.
bool CountColors(const TPaintRect& rect, uint32_t mask, TColorTable& table,
                 std::vector<uint16_t>& entryOf) {
    table.Clear();
    const uint16_t w = rect.Width();
    // Runs of one colour are common: they are counted without hashing, and
    // added to their entry when the run ends.
    uint32_t lastRaw = 0xFFFFFFFF, run = 0;
    int32_t lastEntry = 0;
    for (int y = rect.Height() - 1; y >= 0; --y) {
        const uint8_t* p = rect.Row(uint16_t(y));
        uint16_t* out = &entryOf[size_t(y) * w];
        for (uint16_t x = 0; x < w; ++x, p += 3) {
            uint32_t raw = uint32_t(p[0]) | uint32_t(p[1]) << 8 | uint32_t(p[2]) << 16;
            if (raw != lastRaw) {
                if (run > 0) table.Entries()[size_t(lastEntry)].count += run - 1;
                lastEntry = table.Count(raw & mask);
                if (lastEntry < 0) return false;
                lastRaw = raw;
                run = 0;
            }
            ++run;
            out[x] = uint16_t(lastEntry);
        }
    }
    if (run > 0) table.Entries()[size_t(lastEntry)].count += run - 1;
    return true;
}

// Drops one more low bit of one channel: green when red is narrower, else
// blue when red is not wider, else red.
void NarrowMasks(uint8_t& red, uint8_t& green, uint8_t& blue) {
    if (red < green)
        green = uint8_t(green << 1);
    else if (red <= blue)
        blue = uint8_t(blue << 1);
    else
        red = uint8_t(red << 1);
}

void ChoosePalette(std::vector<TColorEntry>& entries, TQuantizedImage& image) {
    const size_t chosen = std::min<size_t>(256, entries.size());
    for (size_t i = 0; i < chosen; ++i) {
        size_t best = 0;
        for (size_t e = 1; e < entries.size(); ++e)
            if (entries[e].count > entries[best].count) best = e;
        entries[best].index = uint8_t(i);
        entries[best].count = 0;
        uint32_t c = entries[best].color;
        image.palette[i] = {uint8_t(c >> 16), uint8_t(c >> 8), uint8_t(c)};
    }
    // Colours left over map to the nearest palette entry, lowest index on ties.
    for (auto& entry : entries) {
        if (entry.count == 0) continue;
        int r = int(entry.color >> 16 & 0xFF), g = int(entry.color >> 8 & 0xFF),
            b = int(entry.color & 0xFF);
        int bestDistance = -1;
        for (int i = 0; i < 256; ++i) {
            const auto& p = image.palette[size_t(i)];
            int d = (r - p.red) * (r - p.red) + (g - p.green) * (g - p.green) +
                    (b - p.blue) * (b - p.blue);
            if (bestDistance < 0 || d < bestDistance) {
                bestDistance = d;
                entry.index = uint8_t(i);
            }
        }
    }
}

}  // namespace

TQuantizedImage QuantizeColors(const TPaintRect& rect) {
    TQuantizedImage image;
    image.width = rect.Width();
    image.height = rect.Height();
    const size_t pixels = size_t(image.width) * image.height;
    std::vector<uint16_t> entryOf(pixels);
    auto table = std::make_unique<TColorTable>();
    for (;;) {
        uint32_t mask = uint32_t(image.redMask) << 16 | uint32_t(image.greenMask) << 8 |
                        image.blueMask;
        if (CountColors(rect, mask, *table, entryOf)) break;
        NarrowMasks(image.redMask, image.greenMask, image.blueMask);
    }
    auto& entries = table->Entries();
    image.colorCount = uint32_t(entries.size());
    ChoosePalette(entries, image);
    std::vector<uint8_t> indexOf(entries.size());
    for (size_t e = 0; e < entries.size(); ++e) indexOf[e] = entries[e].index;
    image.indexes.resize(pixels);
    uint8_t* out = image.indexes.data();
    const uint8_t* lookup = indexOf.data();
    const uint16_t* from = entryOf.data();
    for (size_t i = 0; i < pixels; ++i) out[i] = lookup[from[i]];
    return image;
}

}  // namespace tlvx
