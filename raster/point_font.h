// TPRText: a point-list font for rasters.
//
// Font stream, all numbers little-endian:
//   32 bytes  font name, zero-padded, no length byte
//    1 byte   cell width
//    1 byte   cell height
//   then for each character code 0..255: u16 point count n, n u16 points
//   (low byte x, high byte y inside the cell).
// Nothing draws with the font yet, and neither program loads it.
#pragma once

#include <array>
#include <cstdint>
#include <vector>

#include "platform/stream.h"

namespace tlvx {

using TPRFChar = std::vector<uint16_t>;  // points: low byte x, high byte y

struct TPRFont {
    std::array<char, 32> name{};
    uint8_t cellWidth = 12;
    uint8_t cellHeight = 14;
    std::vector<TPRFChar> glyphs = std::vector<TPRFChar>(256);
};

class TPRText {
public:
    TPRText() { Reset(); }

    // "Font for TPaintRect", cell 12 x 14, 256 empty glyphs.
    void Reset();
    // Reset, then the font stream from the stream's position. A stream that
    // ends early raises EReadError and leaves the font reset.
    void LoadFromStream(TStream& stream);

    const TPRFont& Font() const { return font_; }

private:
    TPRFont font_;
};

// The built-in font: the default name and cell size with no
// glyph points (546 bytes).
std::vector<uint8_t> DefaultFontBytes();

}  // namespace tlvx
