// Byte streams: the one stream type that BMP, GIF, skin images, blobs and
// atom streams read and write.
#pragma once

#include <cstddef>
#include <cstdint>
#include <stdexcept>
#include <string>
#include <vector>

namespace tlvx {

// Raised by ReadExact when the stream ends before the bytes asked for.
class EReadError : public std::runtime_error {
public:
    EReadError() : std::runtime_error("Stream read error") {}
};

class TStream {
public:
    virtual ~TStream() = default;

    // Reads up to count bytes; returns how many were read (0 at the end).
    virtual size_t Read(void* buffer, size_t count) = 0;
    // Writes all count bytes (or raises); returns count.
    virtual size_t Write(const void* buffer, size_t count) = 0;
    virtual uint64_t Position() const = 0;
    virtual void Seek(uint64_t position) = 0;
    virtual uint64_t Size() const = 0;
    virtual void SetSize(uint64_t size) = 0;

    // Reads exactly count bytes or raises EReadError.
    void ReadExact(void* buffer, size_t count);
    uint64_t Remaining() const {
        uint64_t p = Position(), s = Size();
        return p < s ? s - p : 0;
    }

    uint8_t ReadU8();
    uint16_t ReadU16();  // little-endian
    uint32_t ReadU32();  // little-endian
    void WriteU8(uint8_t v);
    void WriteU16(uint16_t v);
    void WriteU32(uint32_t v);
};

// A stream over a growing byte vector.
class TMemoryStream : public TStream {
public:
    TMemoryStream() = default;
    explicit TMemoryStream(std::vector<uint8_t> bytes) : data_(std::move(bytes)) {}
    explicit TMemoryStream(const std::string& bytes) : data_(bytes.begin(), bytes.end()) {}

    size_t Read(void* buffer, size_t count) override;
    size_t Write(const void* buffer, size_t count) override;
    uint64_t Position() const override { return pos_; }
    void Seek(uint64_t position) override { pos_ = position; }
    uint64_t Size() const override { return data_.size(); }
    void SetSize(uint64_t size) override;

    const std::vector<uint8_t>& Bytes() const { return data_; }
    std::vector<uint8_t>& Bytes() { return data_; }
    std::string Text() const { return std::string(data_.begin(), data_.end()); }

private:
    std::vector<uint8_t> data_;
    uint64_t pos_ = 0;
};

}  // namespace tlvx
