#include "model/skin_records.h"

#include <algorithm>
#include <cstring>

#include "platform/byte_codec.h"

namespace tlvx {

namespace {

constexpr size_t kShortStringSize = 256;

void PutShortString(uint8_t* out, const std::string& text) {
    size_t n = std::min<size_t>(text.size(), kShortStringSize - 1);
    std::memset(out, 0, kShortStringSize);
    out[0] = uint8_t(n);
    std::memcpy(out + 1, text.data(), n);
}

std::string GetShortString(const uint8_t* in) {
    return std::string(reinterpret_cast<const char*>(in + 1), in[0]);
}

}  // namespace

void EncodeSkinLayout(const TSkinLayout& l, uint8_t out[kSkinLayoutSize]) {
    out[0] = l.Align;
    PutU32(out + 1, uint32_t(l.MinDigits));
    PutU32(out + 5, uint32_t(l.DigitHeight));
    PutU32(out + 9, uint32_t(l.NumberX));
    out[13] = l.FixedPosition;
    PutU32(out + 14, uint32_t(l.Gap));
    PutU32(out + 18, uint32_t(l.NumberY));
    PutU32(out + 22, uint32_t(l.NumberWidth));
}

TSkinLayout DecodeSkinLayout(const uint8_t in[kSkinLayoutSize]) {
    TSkinLayout l;
    l.Align = in[0];
    l.MinDigits = int32_t(GetU32(in + 1));
    l.DigitHeight = int32_t(GetU32(in + 5));
    l.NumberX = int32_t(GetU32(in + 9));
    l.FixedPosition = in[13];
    l.Gap = int32_t(GetU32(in + 14));
    l.NumberY = int32_t(GetU32(in + 18));
    l.NumberWidth = int32_t(GetU32(in + 22));
    return l;
}

void EncodeSkinSizes(const TSkinSizes& sizes, uint8_t out[kSkinSizesSize]) {
    for (size_t i = 0; i < sizes.Size.size(); ++i) PutU32(out + 4 * i, uint32_t(sizes.Size[i]));
}

TSkinSizes DecodeSkinSizes(const uint8_t in[kSkinSizesSize]) {
    TSkinSizes sizes;
    for (size_t i = 0; i < sizes.Size.size(); ++i) sizes.Size[i] = int32_t(GetU32(in + 4 * i));
    return sizes;
}

TSkinTexts DefaultSkinTexts() { return {"http://", "Unknown author", "NoName"}; }

void EncodeSkinTexts(const TSkinTexts& texts, uint8_t out[kSkinTextsSize]) {
    PutShortString(out, texts.URL);
    PutShortString(out + kShortStringSize, texts.Author);
    PutShortString(out + 2 * kShortStringSize, texts.Name);
}

TSkinTexts DecodeSkinTexts(const uint8_t in[kSkinTextsSize]) {
    return {GetShortString(in), GetShortString(in + kShortStringSize),
            GetShortString(in + 2 * kShortStringSize)};
}

std::array<uint8_t, kSkinSignatureSize> SkinSignatureBytes() {
    std::array<uint8_t, kSkinSignatureSize> bytes{};
    constexpr size_t n = sizeof kSkinSignatureText - 1;
    bytes[0] = uint8_t(n);
    std::memcpy(bytes.data() + 1, kSkinSignatureText, n);
    return bytes;
}

}  // namespace tlvx
