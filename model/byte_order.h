// Byte reversal for index keys that must sort by numeric value: integers
// stored big-endian compare in the index's unsigned byte order.
#pragma once

#include <cstdint>
#include <string>

namespace tlvx {

// Reverses the order of the size bytes at buffer in place. An odd size (and
// a size below 2) leaves the buffer unchanged.
void ReverseBytes(void* buffer, int32_t size);

// The 4 bytes of value, most significant first: the key of a day number or
// an IPv4 address in an index ordered by numeric value.
std::string BigEndianKey32(uint32_t value);
uint32_t FromBigEndianKey32(const std::string& key);

}  // namespace tlvx
