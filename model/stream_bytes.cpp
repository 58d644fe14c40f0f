#include "model/stream_bytes.h"

#include <stdexcept>

namespace tlvx {

std::vector<uint8_t> WholeStreamBytes(TStream& stream, uint64_t maxSize) {
    uint64_t size = stream.Size();
    if (size > maxSize) throw std::length_error("Stream too large");
    uint64_t position = stream.Position();
    std::vector<uint8_t> bytes(static_cast<size_t>(size));
    stream.Seek(0);
    try {
        if (!bytes.empty()) stream.ReadExact(bytes.data(), bytes.size());
    } catch (...) {
        stream.Seek(position);
        throw;
    }
    stream.Seek(position);
    return bytes;
}

void ReplaceStreamContent(TStream& stream, const std::vector<uint8_t>& bytes) {
    stream.SetSize(0);
    stream.Seek(0);
    if (!bytes.empty()) stream.Write(bytes.data(), bytes.size());
}

}  // namespace tlvx
