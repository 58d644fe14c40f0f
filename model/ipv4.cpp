#include "model/ipv4.h"

#include "platform/text.h"

namespace tlvx {

int64_t ParseIPv4(std::string_view text) {
    std::string t = TrimBytes(text) + ".";
    if (t.size() < 8 || t.size() > 16) return -1;
    for (char c : t)
        if (c != '.' && (c < '0' || c > '9')) return -1;
    int64_t result = 0;
    size_t from = 0;
    for (int part = 0; part < 4; ++part) {
        size_t dot = t.find('.', from);
        if (dot == std::string::npos || dot == from) return -1;
        int32_t v = 0;
        if (!TryStrToInt(std::string_view(t).substr(from, dot - from), v) || v < 0 || v > 255)
            return -1;
        result = result * 256 + v;
        from = dot + 1;
    }
    return from == t.size() ? result : -1;
}

uint32_t ParseClientIPv4(std::string_view text) {
    int64_t v = ParseIPv4(text);
    return v < 0 ? 0 : static_cast<uint32_t>(v);
}

std::string IPv4ToText(uint32_t address) {
    return std::to_string(address >> 24) + "." + std::to_string((address >> 16) & 0xFF) + "." +
           std::to_string((address >> 8) & 0xFF) + "." + std::to_string(address & 0xFF);
}

uint32_t NetworkMask(int bits) {
    if (bits <= 0) return 0;
    if (bits >= 32) return 0xFFFFFFFFu;
    return ~uint32_t(0) << (32 - bits);
}

bool InNetwork(uint32_t address, const TNetWork& network) {
    return (address & NetworkMask(network.Bits)) == network.Address;
}

bool ParseNetwork(std::string_view text, TNetWork& network) {
    size_t slash = text.find('/');
    if (slash == std::string_view::npos) return false;
    int64_t address = ParseIPv4(text.substr(0, slash));
    int32_t bits = 0;
    if (address < 0 || !TryStrToInt(text.substr(slash + 1), bits) || bits < 0 || bits > 32)
        return false;
    network = {static_cast<uint32_t>(address), static_cast<uint8_t>(bits)};
    return true;
}

}  // namespace tlvx
