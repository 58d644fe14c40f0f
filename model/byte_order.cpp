#include "model/byte_order.h"

#include <algorithm>
#include <stdexcept>

namespace tlvx {

void ReverseBytes(void* buffer, int32_t size) {
    if (size < 2 || size % 2 != 0) return;
    auto* p = static_cast<uint8_t*>(buffer);
    std::reverse(p, p + size);
}

std::string BigEndianKey32(uint32_t value) {
    std::string key(4, '\0');
    for (int i = 0; i < 4; ++i) key[i] = static_cast<char>(value >> (24 - 8 * i));
    return key;
}

uint32_t FromBigEndianKey32(const std::string& key) {
    if (key.size() != 4) throw std::invalid_argument("Key is not 4 bytes long");
    uint32_t v = 0;
    for (unsigned char c : key) v = (v << 8) | c;
    return v;
}

}  // namespace tlvx
