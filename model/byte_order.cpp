#include "model/byte_order.h"

#include <algorithm>
#include <stdexcept>

#include "platform/byte_codec.h"
namespace tlvx {

void ReverseBytes(void* buffer, int32_t size) {
    if (size < 2 || size % 2 != 0) return;
    auto* p = static_cast<uint8_t*>(buffer);
    std::reverse(p, p + size);
}

std::string BigEndianKey32(uint32_t value) {
    uint8_t key[4];
    PutU32BE(key, value);
    return std::string(reinterpret_cast<const char*>(key), 4);
}

uint32_t FromBigEndianKey32(const std::string& key) {
    if (key.size() != 4) throw std::invalid_argument("Key is not 4 bytes long");
    return GetU32BE(reinterpret_cast<const uint8_t*>(key.data()));
}

}  // namespace tlvx
