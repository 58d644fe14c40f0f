// Dotted IPv4 addresses and networks.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace tlvx {

// "a.b.c.d" with blanks allowed around it: a*2^24 + b*2^16 + c*2^8 + d, or
// -1 when the text is no such address (three or five parts, a part above
// 255, an empty part, any character other than digits and dots).
int64_t ParseIPv4(std::string_view text);

// The address as the counter stores it: the 32-bit value of ParseIPv4, or 0
// (the address the hit road treats as unknown) when the text does not parse,
// e.g. an IPv6 client or a garbled header.
uint32_t ParseClientIPv4(std::string_view text);

// "a.b.c.d" of an address, most significant byte first.
std::string IPv4ToText(uint32_t address);

// A network: an address and the number of leading bits that count (0..32).
// The address is kept as written, not masked.
struct TNetWork {
    uint32_t Address = 0;
    uint8_t Bits = 0;
    friend bool operator==(const TNetWork&, const TNetWork&) = default;
};
using TNetWorks = std::vector<TNetWork>;

struct TDescribedNetWork {
    uint32_t Address = 0;
    uint8_t Bits = 0;
    std::string Description;
    friend bool operator==(const TDescribedNetWork&, const TDescribedNetWork&) = default;
};
using TDescribedNetWorks = std::vector<TDescribedNetWork>;

// The top `bits` bits set: 0 gives 0, 32 (or more) all ones.
uint32_t NetworkMask(int bits);

// True when (address and mask) equals the network's address as written, so
// an entry given with host bits set matches nothing.
bool InNetwork(uint32_t address, const TNetWork& network);

// "address/bits" with bits an integer 0..32; false for anything else.
bool ParseNetwork(std::string_view text, TNetWork& network);

}  // namespace tlvx
