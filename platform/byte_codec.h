// The one byte codec of every stored and sent layout: fixed-width integers
// and doubles written and read byte by byte, never by casting structs, so a
// file means the same on any host.
//
// Put*/Get* work on a buffer the caller has sized; Append* grow a byte
// string or vector; TByteReader walks a buffer and refuses to read past its
// end. Everything is little-endian unless its name ends in BE. A double is
// its IEEE-754 bits as a little-endian 64-bit word.
#pragma once

#include <bit>
#include <cstddef>
#include <cstdint>
#include <stdexcept>
#include <string_view>

namespace tlvx {

inline void PutU16(uint8_t* p, uint16_t v) {
    p[0] = static_cast<uint8_t>(v);
    p[1] = static_cast<uint8_t>(v >> 8);
}
inline void PutU32(uint8_t* p, uint32_t v) {
    for (int i = 0; i < 4; ++i) p[i] = static_cast<uint8_t>(v >> (8 * i));
}
inline void PutU64(uint8_t* p, uint64_t v) {
    for (int i = 0; i < 8; ++i) p[i] = static_cast<uint8_t>(v >> (8 * i));
}
inline void PutInt32(uint8_t* p, int32_t v) { PutU32(p, static_cast<uint32_t>(v)); }
inline void PutDouble(uint8_t* p, double v) { PutU64(p, std::bit_cast<uint64_t>(v)); }

inline uint16_t GetU16(const uint8_t* p) { return static_cast<uint16_t>(p[0] | (p[1] << 8)); }
inline uint32_t GetU32(const uint8_t* p) {
    return uint32_t(p[0]) | uint32_t(p[1]) << 8 | uint32_t(p[2]) << 16 | uint32_t(p[3]) << 24;
}
inline uint64_t GetU64(const uint8_t* p) { return uint64_t(GetU32(p)) | uint64_t(GetU32(p + 4)) << 32; }
inline int32_t GetInt32(const uint8_t* p) { return static_cast<int32_t>(GetU32(p)); }
inline double GetDouble(const uint8_t* p) { return std::bit_cast<double>(GetU64(p)); }

// Most significant byte first: index keys that must sort by numeric value
// under an unsigned byte compare.
inline void PutU32BE(uint8_t* p, uint32_t v) {
    for (int i = 0; i < 4; ++i) p[i] = static_cast<uint8_t>(v >> (24 - 8 * i));
}
inline uint32_t GetU32BE(const uint8_t* p) {
    return uint32_t(p[0]) << 24 | uint32_t(p[1]) << 16 | uint32_t(p[2]) << 8 | uint32_t(p[3]);
}

// Appending forms, for a std::string or a std::vector<uint8_t>.
template <class Bytes>
void AppendU8(Bytes& out, uint8_t v) {
    out.push_back(static_cast<typename Bytes::value_type>(v));
}
template <class Bytes>
void AppendU16(Bytes& out, uint16_t v) {
    AppendU8(out, static_cast<uint8_t>(v));
    AppendU8(out, static_cast<uint8_t>(v >> 8));
}
template <class Bytes>
void AppendU32(Bytes& out, uint32_t v) {
    AppendU16(out, static_cast<uint16_t>(v));
    AppendU16(out, static_cast<uint16_t>(v >> 16));
}
template <class Bytes>
void AppendU64(Bytes& out, uint64_t v) {
    AppendU32(out, static_cast<uint32_t>(v));
    AppendU32(out, static_cast<uint32_t>(v >> 32));
}
template <class Bytes>
void AppendDouble(Bytes& out, double v) {
    AppendU64(out, std::bit_cast<uint64_t>(v));
}

// Reads fields from bytes starting at pos, advancing pos. A read past the
// end calls onShort, which throws the caller's own error (a damaged page, a
// short record); without one, or should it return, std::out_of_range is
// thrown. Nothing is read from beyond the buffer either way.
class TByteReader {
public:
    using TOnShort = void (*)();
    TByteReader(std::string_view bytes, size_t& pos, TOnShort onShort = nullptr)
        : bytes_(bytes), pos_(pos), onShort_(onShort) {}

    uint8_t U8() { return Bytes(1)[0]; }
    uint16_t U16() { return GetU16(Bytes(2)); }
    uint32_t U32() { return GetU32(Bytes(4)); }
    uint64_t U64() { return GetU64(Bytes(8)); }
    double Double() { return GetDouble(Bytes(8)); }

    // The next n bytes as they stand.
    std::string_view Take(size_t n) {
        if (pos_ > bytes_.size() || bytes_.size() - pos_ < n) {
            if (onShort_) onShort_();
            throw std::out_of_range("Read past the end of a byte buffer");
        }
        std::string_view b = bytes_.substr(pos_, n);
        pos_ += n;
        return b;
    }

private:
    const uint8_t* Bytes(size_t n) { return reinterpret_cast<const uint8_t*>(Take(n).data()); }

    std::string_view bytes_;
    size_t& pos_;
    TOnShort onShort_;
};

}  // namespace tlvx
