#include "platform/stream.h"

#include <algorithm>
#include <cstring>

#include "platform/byte_codec.h"
namespace tlvx {

void TStream::ReadExact(void* buffer, size_t count) {
    auto* out = static_cast<uint8_t*>(buffer);
    while (count > 0) {
        size_t got = Read(out, count);
        if (got == 0) throw EReadError();
        out += got;
        count -= got;
    }
}

uint8_t TStream::ReadU8() {
    uint8_t b;
    ReadExact(&b, 1);
    return b;
}

uint16_t TStream::ReadU16() {
    uint8_t b[2];
    ReadExact(b, 2);
    return GetU16(b);
}

uint32_t TStream::ReadU32() {
    uint8_t b[4];
    ReadExact(b, 4);
    return GetU32(b);
}

void TStream::WriteU8(uint8_t v) { Write(&v, 1); }

void TStream::WriteU16(uint16_t v) {
    uint8_t b[2];
    PutU16(b, v);
    Write(b, 2);
}

void TStream::WriteU32(uint32_t v) {
    uint8_t b[4];
    PutU32(b, v);
    Write(b, 4);
}

size_t TMemoryStream::Read(void* buffer, size_t count) {
    if (pos_ >= data_.size()) return 0;
    size_t n = std::min<uint64_t>(count, data_.size() - pos_);
    std::memcpy(buffer, data_.data() + pos_, n);
    pos_ += n;
    return n;
}

size_t TMemoryStream::Write(const void* buffer, size_t count) {
    if (count == 0) return 0;
    if (pos_ + count > data_.size()) data_.resize(pos_ + count);
    std::memcpy(data_.data() + pos_, buffer, count);
    pos_ += count;
    return count;
}

void TMemoryStream::SetSize(uint64_t size) {
    data_.resize(size);
    if (pos_ > size) pos_ = size;
}

}  // namespace tlvx
