#include "raster/point_font.h"

#include <cstring>

namespace tlvx {

namespace {

constexpr char kDefaultName[] = "Font for TPaintRect";

}  // namespace

void TPRText::Reset() {
    font_ = TPRFont{};
    std::memcpy(font_.name.data(), kDefaultName, sizeof kDefaultName - 1);
}

void TPRText::LoadFromStream(TStream& stream) {
    Reset();
    TPRFont font;
    stream.ReadExact(font.name.data(), font.name.size());
    font.cellWidth = stream.ReadU8();
    font.cellHeight = stream.ReadU8();
    for (auto& glyph : font.glyphs) {
        uint16_t n = stream.ReadU16();
        // Checked before allocating, so a damaged count cannot ask for more
        // than the stream holds.
        if (stream.Remaining() < uint64_t(n) * 2) throw EReadError();
        glyph.resize(n);
        for (auto& point : glyph) point = stream.ReadU16();
    }
    font_ = std::move(font);
}

std::vector<uint8_t> DefaultFontBytes() {
    TMemoryStream out;
    char name[32] = {};
    std::memcpy(name, kDefaultName, sizeof kDefaultName - 1);
    out.Write(name, sizeof name);
    out.WriteU8(12);
    out.WriteU8(14);
    for (int c = 0; c < 256; ++c) out.WriteU16(0);
    return out.Bytes();
}

}  // namespace tlvx
