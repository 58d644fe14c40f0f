// BMP save and load of TPaintRect.
#include <cstring>
#include <optional>

#include "platform/byte_codec.h"
#include "platform/file.h"
#include "raster/bmp_format.h"
#include "raster/paint_rect.h"

namespace tlvx {

void TPaintRect::SaveToStream(TStream& stream) const {
    uint32_t stride = uint32_t(bmp::RowStride24(width_));
    uint32_t imageSize = stride * height_;
    uint8_t h[bmp::kHeaderSize] = {};
    PutU16(h + 0, bmp::kSignature);
    PutU32(h + 2, imageSize + bmp::kHeaderSize);
    PutU32(h + bmp::kOffPixelOffset, bmp::kHeaderSize);
    PutU32(h + 14, bmp::kInfoHeaderSize);
    PutU32(h + bmp::kOffWidth, width_);
    PutU32(h + bmp::kOffHeight, height_);
    PutU16(h + 26, 1);
    PutU16(h + bmp::kOffBitsPerPixel, 24);
    PutU32(h + 34, imageSize);
    std::vector<uint8_t> out(h, h + sizeof h);
    out.resize(size_t(bmp::kHeaderSize) + imageSize, 0);
    uint8_t* p = out.data() + bmp::kHeaderSize;
    for (int y = height_ - 1; y >= 0; --y, p += stride)
        std::memcpy(p, Row(uint16_t(y)), size_t(width_) * 3);
    stream.Write(out.data(), out.size());
}

namespace {

// Where a header says the rows are and how they are laid out.
struct TBmpRows {
    uint16_t bits = 0;
    uint32_t offset = 0;  // from the start of the stream
    uint16_t width = 0, height = 0;
    uint64_t stride = 0;
};

// The rows of a 24- or 32-bit header, checked against a stream of
// streamSize bytes before a byte of pixel data is allocated: a damaged skin
// atom must not ask for gigabytes. Nothing for other depths.
std::optional<TBmpRows> CheckBmpHeader(const uint8_t* h, uint64_t streamSize) {
    TBmpRows rows;
    rows.bits = GetU16(h + bmp::kOffBitsPerPixel);
    if (rows.bits != 24 && rows.bits != 32) return std::nullopt;  // not ours to read
    rows.offset = GetU32(h + bmp::kOffPixelOffset);
    auto width = int32_t(GetU32(h + bmp::kOffWidth));
    auto height = int32_t(GetU32(h + bmp::kOffHeight));
    if (width <= 0 || width > 0xFFFF || height <= 0 || height > 0xFFFF)
        throw EBitmapFormatError("size " + std::to_string(width) + " x " + std::to_string(height));
    if (rows.offset < bmp::kHeaderSize) throw EBitmapFormatError("pixel data inside the header");
    rows.width = uint16_t(width);
    rows.height = uint16_t(height);
    rows.stride = rows.bits == 24 ? bmp::RowStride24(rows.width) : uint64_t(rows.width) * 4;
    if (rows.offset + rows.stride * rows.height > streamSize)
        throw EBitmapFormatError("pixel data past the end of the stream");
    return rows;
}

}  // namespace

void TPaintRect::LoadFromStream(TStream& stream) {
    uint8_t h[bmp::kHeaderSize];
    if (stream.Remaining() < sizeof h) throw EBitmapFormatError("header cut short");
    stream.ReadExact(h, sizeof h);
    const std::optional<TBmpRows> rows = CheckBmpHeader(h, stream.Size());
    if (!rows) return;
    std::vector<uint8_t> data(rows->stride * rows->height);
    stream.Seek(rows->offset);
    stream.ReadExact(data.data(), data.size());
    TakeBmpRows(data.data(), rows->bits, rows->stride, rows->width, rows->height);
}

void TPaintRect::LoadFromMemory(const uint8_t* bytes, size_t size) {
    if (size < bmp::kHeaderSize) throw EBitmapFormatError("header cut short");
    const std::optional<TBmpRows> rows = CheckBmpHeader(bytes, size);
    if (rows) TakeBmpRows(bytes + rows->offset, rows->bits, rows->stride, rows->width, rows->height);
}

void TPaintRect::TakeBmpRows(const uint8_t* p, uint16_t bits, uint64_t stride, uint16_t width,
                             uint16_t height) {
    SetSize(width, height);
    for (int y = height - 1; y >= 0; --y, p += stride) {
        uint8_t* row = Row(uint16_t(y));
        if (bits == 24) {
            std::memcpy(row, p, size_t(width) * 3);
        } else {
            for (int x = 0; x < width; ++x) std::memcpy(row + x * 3, p + x * 4, 3);
        }
    }
}

void TPaintRect::LoadFromFile(const std::string& fileName) {
    TFileOptions options;
    options.randomAccess = false;
    auto file = FileSystem().Open(fileName, TFileAccess::Read, TDisposition::OpenExisting, options);
    std::vector<uint8_t> bytes(file->Size());
    if (file->ReadAt(bytes.data(), bytes.size(), 0) != bytes.size())
        throw EReadError();
    TMemoryStream stream(std::move(bytes));
    LoadFromStream(stream);
}

}  // namespace tlvx
