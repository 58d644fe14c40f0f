// BMP save and load of TPaintRect.
#include <cstring>

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
        std::memcpy(p, rows_[y].data(), size_t(width_) * 3);
    stream.Write(out.data(), out.size());
}

void TPaintRect::LoadFromStream(TStream& stream) {
    uint8_t h[bmp::kHeaderSize];
    if (stream.Remaining() < sizeof h) throw EBitmapFormatError("header cut short");
    stream.ReadExact(h, sizeof h);
    uint16_t bits = GetU16(h + bmp::kOffBitsPerPixel);
    if (bits != 24 && bits != 32) return;  // other depths are not ours to read

    // Everything below is checked against the stream before a byte of pixel
    // data is allocated: a damaged skin atom must not ask for gigabytes.
    uint32_t offset = GetU32(h + bmp::kOffPixelOffset);
    auto width = int32_t(GetU32(h + bmp::kOffWidth));
    auto height = int32_t(GetU32(h + bmp::kOffHeight));
    if (width <= 0 || width > 0xFFFF || height <= 0 || height > 0xFFFF)
        throw EBitmapFormatError("size " + std::to_string(width) + " x " + std::to_string(height));
    if (offset < bmp::kHeaderSize) throw EBitmapFormatError("pixel data inside the header");
    uint64_t stride = bits == 24 ? bmp::RowStride24(uint32_t(width)) : uint64_t(width) * 4;
    uint64_t need = uint64_t(offset) + stride * uint64_t(height);
    if (need > stream.Size()) throw EBitmapFormatError("pixel data past the end of the stream");

    std::vector<uint8_t> data(stride * uint64_t(height));
    stream.Seek(offset);
    stream.ReadExact(data.data(), data.size());

    SetSize(uint16_t(width), uint16_t(height));
    const uint8_t* p = data.data();
    for (int y = height - 1; y >= 0; --y, p += stride) {
        uint8_t* row = rows_[y].data();
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
