#include "raster/gif_writer.h"

#include "platform/byte_codec.h"
#include "raster/color_quantizer.h"
#include "raster/exact_palette.h"
#include "raster/lzw_encoder.h"

namespace tlvx {

namespace {

void WriteGIFSignature(std::vector<uint8_t>& out) {
    for (char c : {'G', 'I', 'F', '8', '7', 'a'}) out.push_back(uint8_t(c));
}

void WriteScreenDescriptor(std::vector<uint8_t>& out, uint16_t width, uint16_t height) {
    AppendU16(out, width);
    AppendU16(out, height);
    out.push_back(0xF7);  // global table, 8-bit resolution, unsorted, 256 entries
    out.push_back(0);     // background index
    out.push_back(0);
}

void FillColorTable(std::vector<uint8_t>& out, const TQuantizedImage& image) {
    for (const auto& c : image.palette) {
        out.push_back(c.red);
        out.push_back(c.green);
        out.push_back(c.blue);
    }
}

void WriteImageDescriptor(std::vector<uint8_t>& out, uint16_t width, uint16_t height) {
    out.push_back(',');
    AppendU16(out, 0);
    AppendU16(out, 0);
    AppendU16(out, width);
    AppendU16(out, height);
    out.push_back(0);  // no local table, not interlaced
}

}  // namespace

std::vector<uint8_t> PaintRectToGIFBytes(const TPaintRect& rect) {
    // A picture of few colours (a counter, a chart) keeps them all: its
    // palette is built directly; only a picture of more is reduced.
    std::optional<TQuantizedImage> exact = ExactPalette(rect);
    TQuantizedImage image = exact ? std::move(*exact) : QuantizeColors(rect);
    std::vector<uint8_t> out;
    // The fixed part and a guess at the compressed data that fits pictures
    // of few colours; a busier one grows the vector.
    out.reserve(800 + image.indexes.size() / 2);
    WriteGIFSignature(out);
    WriteScreenDescriptor(out, image.width, image.height);
    FillColorTable(out, image);
    WriteImageDescriptor(out, image.width, image.height);
    LZWEncode(image.indexes.data(), image.indexes.size(), out);
    out.push_back(';');
    return out;
}

void PaintRectToGIF(const TPaintRect& rect, TStream& dest) {
    std::vector<uint8_t> bytes = PaintRectToGIFBytes(rect);
    dest.Write(bytes.data(), bytes.size());
}

}  // namespace tlvx
