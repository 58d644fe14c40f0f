// Readers of the counter request's small query values: the answer kind, the
// skin number and the colour of the one-pixel image.
#pragma once

#include <cstdint>
#include <string_view>

namespace tlvx {

// True when call is "SSI" in any letter case: the server-side-include
// answer (an empty text/html body) instead of a picture.
bool IsSSICall(std::string_view callText);

// 0 for the empty text, otherwise the decimal int32 value. A text that is
// no such number draws skin 0; it is only warned about on stderr, since the
// hit of the same request is sound and must not be rolled back for it.
int32_t ParseSkinNumber(std::string_view text);

// True when every character, upper-cased, is one of 0-9 and A-F (true for
// the empty text; callers test the length first).
bool IsHexText(std::string_view text);
// Position of ch in "0123456789ABCDEF"; 0 for any other character.
int HexDigitValue(char ch);
// HexDigitValue(upper-cased ch) * 16^power, modulo 2^64.
uint64_t HexDigitWeight(char ch, unsigned power);

// The hexadecimal number of text, 0 when it is empty or not all hex digits.
// Digits beyond the sixteenth wrap around modulo 2^64 rather than overflow;
// the colour of a pixel only uses the low 24 bits, which stay exact.
int64_t ParseHexColor(std::string_view text);

}  // namespace tlvx
