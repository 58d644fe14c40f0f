// GIF's variable-width LZW for 8-bit palette indexes.
//
// Output: the minimum code size byte 8, the codes packed least significant
// bit first into sub-blocks (a length byte 1..255 and that many bytes; every
// block but the last is full), and the terminator byte 0.
//
// Codes start 9 bits wide after the clear code 256 and grow by a bit when
// the code just stored is 512, 1024 or 2048. Storing code 4094 is followed
// by the index just read as a code of its own and a clear code, so codes
// never exceed 4094. The end code 257 closes the data.
#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

namespace tlvx {

constexpr uint16_t kLzwClearCode = 256;
constexpr uint16_t kLzwEndCode = 257;
constexpr uint16_t kLzwLastCode = 4094;

// Appends the compressed data of count indexes to out.
void LZWEncode(const uint8_t* indexes, size_t count, std::vector<uint8_t>& out);

}  // namespace tlvx
