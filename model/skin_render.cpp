// Composing the counter image of a skin: the number strip and its place on
// the background.
#include <algorithm>
#include <cmath>
#include <string>

#include "model/skin.h"

namespace tlvx {

namespace {

constexpr int64_t kMaxSide = 0xFFFF;
// The blank picture of an incomplete skin: this wide, as high as the
// default strip is wide, black.
constexpr uint16_t kPreviewWidth = 100;
// More cells than a strip can be wide are never visible.
constexpr int32_t kMaxPaddedDigits = 0xFFFF;

uint16_t ClampSide(int64_t side) { return uint16_t(std::clamp<int64_t>(side, 0, kMaxSide)); }

// A raster of the given size, or an empty one when a side is 0.
TPaintRect SizedRaster(int64_t width, int64_t height) {
    return TPaintRect::CreateSized(ClampSide(height), ClampSide(width));
}

// Draws all of src at (x, y) of dest, clipped pixel by pixel.
void DrawClipped(TPaintRect& dest, const TPaintRect& src, int64_t x, int64_t y) {
    if (src.Width() == 0 || src.Height() == 0) return;
    if (x >= dest.Width() || y >= dest.Height() || x + src.Width() <= 0 || y + src.Height() <= 0)
        return;
    CopyPaintRectBlock(dest, src, 0, 0, int32_t(x), int32_t(y), src.Width(), src.Height());
}

std::string PaddedNumber(int32_t value, int32_t minDigits) {
    std::string text = std::to_string(value);
    size_t width = size_t(std::clamp(minDigits, 0, kMaxPaddedDigits));
    if (text.size() < width) text.insert(0, width - text.size(), '0');
    return text;
}

}  // namespace

const TSkin::TPictures& TSkin::Pictures() const {
    if (!pictures_) {
        TPictures pictures;
        if (!background_.empty()) pictures.Background = DecodeSkinBitmap(background_);
        for (int d = 0; d < 10; ++d)
            if (!digits_[d].empty()) pictures.Digits[d] = DecodeSkinBitmap(digits_[d]);
        pictures_ = std::move(pictures);
    }
    return *pictures_;
}

TPaintRect TSkin::RenderNumber(int32_t width) const { return RenderStrip(width, Pictures().Digits); }

TPaintRect TSkin::RenderStrip(int32_t width, const TDigitRasters& digits) const {
    int64_t stripWidth = width == -1 ? layout_.NumberWidth : width;
    TPaintRect strip = SizedRaster(stripWidth, layout_.DigitHeight);
    strip.Clear(ColorToPixel(fillColor_));
    if (layout_.Align > saCentre) return strip;

    const std::string text = PaddedNumber(value_, layout_.MinDigits);
    const int64_t n = int64_t(text.size());
    const int64_t W = strip.Width();
    const int64_t gap = layout_.Gap;
    int64_t x0 = 0;
    if (layout_.Align == saCentre) {
        double total = double(n) * double(int64_t(digits[0].Width()) + gap);
        x0 = int64_t(std::nearbyint(double(W) / 2.0 - total / 2.0));
    }
    for (int64_t i = 1; i <= n; ++i) {
        char c = text[size_t(i - 1)];
        if (c < '0' || c > '9') continue;  // its cell stays empty
        const TPaintRect& digit = digits[c - '0'];
        int64_t w = digit.Width();
        int64_t x = 0;
        switch (layout_.Align) {
            case saLeft: x = (w + gap) * (i - 1); break;
            case saRight: x = W + gap - (w + gap) * (n - i + 1); break;
            default: x = x0 + (w + gap) * (i - 1); break;
        }
        DrawClipped(strip, digit, x, 0);
    }
    return strip;
}

const TPaintRect& TSkin::GetImage() {
    if (!IsComplete()) {
        if (preview_.Width() == 0) preview_.SetSize(kPreviewWidth, uint16_t(TSkinLayout{}.NumberWidth));
        return preview_;
    }
    const TPaintRect& background = Pictures().Background;
    const TDigitRasters& digits = Pictures().Digits;

    TPaintRect image = background;
    layout_.DigitHeight = digits[0].Height();
    if (layout_.FixedPosition) {
        DrawClipped(image, RenderStrip(layout_.NumberWidth, digits), layout_.NumberX,
                    layout_.NumberY);
    } else {
        TPaintRect strip = RenderStrip(background.Width(), digits);
        uint16_t top = image.Height();
        image.SetHeight(ClampSide(int64_t(top) + strip.Height()));
        DrawClipped(image, strip, 0, top);
    }
    composed_ = std::move(image);
    return composed_;
}

}  // namespace tlvx
