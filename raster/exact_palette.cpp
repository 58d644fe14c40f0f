#include "raster/exact_palette.h"

#include <algorithm>
#include <array>
#include <numeric>

#include "platform/byte_codec.h"

namespace tlvx {

namespace {

constexpr int kMaxColors = 256;

// The colours met so far, numbered in the order met: an open-addressing
// table of 1024 slots, so at most a quarter full. A slot holds the colour
// with bit 24 set, 0 when free.
class TColorNumbers {
public:
    // The number of colour (0x00RRGGBB), a new one when it was not met
    // before; -1 when it is new and 256 colours are numbered.
    int Number(uint32_t colour) {
        const uint32_t key = colour | kUsed;
        uint32_t slot = (colour * 0x9E3779B1u) >> (32 - kSlotBits);
        for (;;) {
            if (keys_[slot] == key) return numbers_[slot];
            if (keys_[slot] == 0) break;
            slot = (slot + 1) & (kSlots - 1);
        }
        if (count_ == kMaxColors) return -1;
        keys_[slot] = key;
        numbers_[slot] = uint8_t(count_);
        colours_[size_t(count_)] = colour;
        return count_++;
    }

    int Count() const { return count_; }
    uint32_t Colour(int number) const { return colours_[size_t(number)]; }

private:
    static constexpr int kSlotBits = 10;
    static constexpr uint32_t kSlots = 1u << kSlotBits;
    static constexpr uint32_t kUsed = 1u << 24;

    std::array<uint32_t, kSlots> keys_{};
    std::array<uint8_t, kSlots> numbers_;
    std::array<uint32_t, kMaxColors> colours_;
    int count_ = 0;
};

}  // namespace

std::optional<TQuantizedImage> ExactPalette(const TPaintRect& rect) {
    TQuantizedImage image;
    image.width = rect.Width();
    image.height = rect.Height();
    const size_t width = image.width;
    image.indexes.resize(width * image.height);

    // Number the colours in the order the counting quantizer meets them:
    // bottom row first, left to right. A run of one colour is looked up
    // once and counted when it ends.
    TColorNumbers numbers;
    std::array<uint32_t, kMaxColors> counts{};
    uint32_t lastColour = 0xFFFFFFFF, run = 0;
    int last = 0;
    auto visit = [&](uint32_t colour) {
        if (colour != lastColour) {
            counts[size_t(last)] += run;
            last = numbers.Number(colour);
            lastColour = colour;
            run = 0;
        }
        ++run;
        return last;
    };
    for (int y = image.height - 1; y >= 0 && width > 0; --y) {
        const uint8_t* p = rect.Row(uint16_t(y));
        uint8_t* out = &image.indexes[size_t(y) * width];
        // A pixel and the first byte of the next one in a single load; the
        // row's last pixel byte by byte.
        for (size_t x = 0; x + 1 < width; ++x, p += 3) {
            if (visit(GetU32(p) & 0xFFFFFF) < 0) return std::nullopt;
            out[x] = uint8_t(last);
        }
        if (visit(uint32_t(p[0]) | uint32_t(p[1]) << 8 | uint32_t(p[2]) << 16) < 0) return std::nullopt;
        out[width - 1] = uint8_t(last);
    }
    counts[size_t(last)] += run;

    // Palette order: falling count, the colour met first winning a tie.
    const int count = numbers.Count();
    std::array<uint8_t, kMaxColors> byCount;
    std::iota(byCount.begin(), byCount.begin() + count, uint8_t(0));
    std::stable_sort(byCount.begin(), byCount.begin() + count,
                     [&](uint8_t a, uint8_t b) { return counts[a] > counts[b]; });
    std::array<uint8_t, kMaxColors> indexOf;
    for (int i = 0; i < count; ++i) {
        const uint32_t c = numbers.Colour(byCount[size_t(i)]);
        image.palette[size_t(i)] = {uint8_t(c >> 16), uint8_t(c >> 8), uint8_t(c)};
        indexOf[byCount[size_t(i)]] = uint8_t(i);
    }
    for (uint8_t& index : image.indexes) index = indexOf[index];
    image.colorCount = uint32_t(count);
    return image;
}

}  // namespace tlvx
