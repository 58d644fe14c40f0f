#include "model/skin.h"

#include <cstring>

#include "model/stream_bytes.h"
#include "platform/byte_codec.h"

namespace tlvx {

namespace {

constexpr TColor kWhite = 0xFFFFFF;

std::vector<uint8_t> BytesOf(TStream* stream) {
    return stream ? WholeStreamBytes(*stream) : std::vector<uint8_t>{};
}

void Append(std::vector<uint8_t>& out, const uint8_t* bytes, size_t count) {
    out.insert(out.end(), bytes, bytes + count);
}

std::vector<uint8_t> ReadBytes(TStream& stream, int32_t count) {
    std::vector<uint8_t> bytes(static_cast<size_t>(count));
    if (count > 0) stream.ReadExact(bytes.data(), bytes.size());
    return bytes;
}

}  // namespace

TPaintRect DecodeSkinBitmap(const std::vector<uint8_t>& bytes) {
    TPaintRect rect;
    rect.LoadFromMemory(bytes.data(), bytes.size());
    return rect;
}

TSkin::TSkin() = default;

bool TSkin::IsComplete() const {
    if (background_.empty()) return false;
    for (const auto& digit : digits_)
        if (digit.empty()) return false;
    return true;
}

void TSkin::SetImages(const TSkinImageStreams& streams) {
    std::vector<uint8_t> background = BytesOf(streams[0]);
    std::array<std::vector<uint8_t>, 10> digits;
    for (int d = 0; d < 10; ++d) digits[d] = BytesOf(streams[1 + d]);
    background_ = std::move(background);
    digits_ = std::move(digits);
    pictures_.reset();
}

TSkinSizes TSkin::GetSizes() const {
    TSkinSizes sizes;
    sizes.Size[kSkinSizeBackground] = int32_t(background_.size());
    for (int d = 0; d < 10; ++d) sizes.Size[SkinSizeSlot(d)] = int32_t(digits_[d].size());
    return sizes;
}

void TSkin::SaveToStream(TStream* stream) const {
    if (!stream || !IsComplete()) return;
    std::vector<uint8_t> out;
    auto signature = SkinSignatureBytes();
    Append(out, signature.data(), signature.size());
    uint8_t field[kSkinTextsSize];
    PutU32(field, uint32_t(kSkinStreamVersion));
    Append(out, field, 4);
    EncodeSkinLayout(layout_, field);
    Append(out, field, kSkinLayoutSize);
    EncodeSkinSizes(GetSizes(), field);
    Append(out, field, kSkinSizesSize);
    Append(out, background_.data(), background_.size());
    for (const auto& digit : digits_) Append(out, digit.data(), digit.size());
    EncodeSkinTexts(texts_, field);
    Append(out, field, kSkinTextsSize);
    PutU32(field, fillColor_);
    Append(out, field, kSkinColorSize);
    ReplaceStreamContent(*stream, out);
}

bool TSkin::LoadFromStream(TStream* stream) {
    if (!stream) return false;
    try {
        stream->Seek(0);
        uint8_t header[kSkinHeaderSize];
        stream->ReadExact(header, sizeof header);
        TSkinLayout layout = DecodeSkinLayout(header + kSkinSignatureSize + 4);
        TSkinSizes sizes = DecodeSkinSizes(header + kSkinSignatureSize + 4 + kSkinLayoutSize);

        // The size table is checked against what the stream holds before a
        // byte is allocated for it: a damaged atom must not ask for gigabytes.
        uint64_t promised = 0;
        for (int32_t size : sizes.Size) {
            if (size < 0) return false;
            promised += uint64_t(size);
        }
        if (promised > stream->Remaining()) return false;

        std::vector<uint8_t> background = ReadBytes(*stream, sizes.Size[kSkinSizeBackground]);
        std::array<std::vector<uint8_t>, 10> digits;
        for (int d = 0; d < 10; ++d) digits[d] = ReadBytes(*stream, sizes.Size[SkinSizeSlot(d)]);

        TSkinTexts texts = DefaultSkinTexts();
        if (stream->Remaining() > 0) {
            uint8_t bytes[kSkinTextsSize];
            stream->ReadExact(bytes, sizeof bytes);
            texts = DecodeSkinTexts(bytes);
            if (texts.AllEmpty()) texts = DefaultSkinTexts();
        }

        // Every picture that is there must be a bitmap; the strip is as high
        // as digit 0, which must be there. The pictures stay decoded for the
        // image.
        TPictures pictures;
        pictures.Digits[0] = DecodeSkinBitmap(digits[0]);
        if (!background.empty()) pictures.Background = DecodeSkinBitmap(background);
        for (int d = 1; d < 10; ++d)
            if (!digits[d].empty()) pictures.Digits[d] = DecodeSkinBitmap(digits[d]);
        layout.DigitHeight = pictures.Digits[0].Height();

        TColor fill = ColorToPixel(pictures.Digits[0].PixelAt(0, 0));
        if (stream->Remaining() > 0) fill = stream->ReadU32();

        pictures_ = std::move(pictures);
        background_ = std::move(background);
        digits_ = std::move(digits);
        layout_ = layout;
        texts_ = std::move(texts);
        fillColor_ = fill;
        return true;
    } catch (...) {
        return false;
    }
}

TColor TSkin::GetDefaultColor() const {
    if (digits_[0].empty()) return kWhite;
    try {
        return ColorToPixel(DecodeSkinBitmap(digits_[0]).PixelAt(0, 0));
    } catch (...) {
        return kWhite;
    }
}

}  // namespace tlvx
