// TSkin: one counter skin -- a background picture, ten digit pictures and
// the layout that places the number -- loaded from and saved to the skin
// image stream (skin_records.h), and composed into the counter image.
#pragma once

#include <array>
#include <cstdint>
#include <optional>
#include <vector>

#include "model/skin_records.h"
#include "platform/stream.h"
#include "raster/paint_rect.h"

namespace tlvx {

// Background, then digits 0..9; a null stream stands for an empty picture.
using TSkinImageStreams = std::array<TStream*, 11>;

class TSkin {
public:
    // Default layout, value 555, default texts, fill colour
    // kSkinDefaultFillColor, no pictures.
    TSkin();
    TSkin(const TSkin&) = delete;
    TSkin& operator=(const TSkin&) = delete;

    // The background and all ten digits are present and non-empty.
    bool IsComplete() const;

    // Copies each whole stream (from position 0; the streams' positions are
    // kept).
    void SetImages(const TSkinImageStreams& streams);
    void SetLayout(const TSkinLayout& layout) { layout_ = layout; }
    void SetValue(int32_t value) { value_ = value; }
    void SetTexts(const TSkinTexts& texts) { texts_ = texts; }
    void SetFillColor(TColor color) { fillColor_ = color; }

    const TSkinLayout& Layout() const { return layout_; }
    int32_t Value() const { return value_; }
    const TSkinTexts& Texts() const { return texts_; }
    TColor FillColor() const { return fillColor_; }

    // The byte counts of the pictures in the size table's order.
    TSkinSizes GetSizes() const;

    // Nothing unless stream is set and the skin is complete; else the
    // stream's content is replaced by the skin image stream.
    void SaveToStream(TStream* stream) const;

    // Reads a skin image stream from position 0. False, with the skin
    // unchanged, for a null stream, a stream that ends early or whose size
    // table is negative or promises more bytes than the stream holds (checked
    // before anything is allocated), and for pictures that are no bitmaps.
    // The digit 0 picture must be present: the strip height is its height.
    bool LoadFromStream(TStream* stream);

    // A complete skin: the counter image of the value, composed afresh.
    // Otherwise the blank preview (100 wide, black). The raster belongs to
    // the skin and stays valid until the next call. Pictures handed in
    // through SetImages that are no bitmaps raise EBitmapFormatError.
    const TPaintRect& GetImage();

    // The colour of the top-left pixel of the digit 0 picture; white when
    // there is no readable digit 0 picture.
    TColor GetDefaultColor() const;

    // The number strip: width pixels wide (NumberWidth for -1), DigitHeight
    // high, in the fill colour, with the value padded to MinDigits digits
    // placed by Align. A character that is no digit (the minus sign of a
    // negative value) leaves its cell empty.
    TPaintRect RenderNumber(int32_t width) const;

private:
    using TDigitRasters = std::array<TPaintRect, 10>;
    // The pictures decoded; a missing one is an empty raster.
    struct TPictures {
        TPaintRect Background;
        TDigitRasters Digits;
    };
    // The pictures the load decoded to check them, or those handed in
    // through SetImages, decoded at first use.
    const TPictures& Pictures() const;
    TPaintRect RenderStrip(int32_t width, const TDigitRasters& digits) const;

    std::vector<uint8_t> background_;
    std::array<std::vector<uint8_t>, 10> digits_;
    TSkinLayout layout_;
    int32_t value_ = 555;
    TSkinTexts texts_ = DefaultSkinTexts();
    TColor fillColor_ = kSkinDefaultFillColor;
    mutable std::optional<TPictures> pictures_;
    TPaintRect composed_;
    TPaintRect preview_;  // made when first shown
};

// A raster from a BMP held in bytes; raises EBitmapFormatError or EReadError
// for bytes that are no bitmap.
TPaintRect DecodeSkinBitmap(const std::vector<uint8_t>& bytes);

}  // namespace tlvx
