// 8-bit text routines. Text is Windows-1251 bytes; every test on a byte
// goes through unsigned char, so bytes from 0x80 up are ordinary letters,
// never blanks or negative values. Case folding is ASCII only and keeps the
// length, so a position found in a folded copy is valid in the original.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

#include "platform/ascii_text.h"

namespace tlvx {


// Removes bytes <= 0x20 at both ends.
std::string TrimBytes(std::string_view text);

// ASCII letters a..z to A..Z (and back); every other byte unchanged.
char UpperAsciiChar(char c);
char LowerAsciiChar(char c);
std::string UpperAscii(std::string_view text);
std::string LowerAscii(std::string_view text);

// Ordinal comparison of the ASCII-upper-cased texts, bytes as unsigned:
// negative, 0 or positive.
int CompareText(std::string_view a, std::string_view b);
bool SameText(std::string_view a, std::string_view b);

// Position of the first occurrence of needle in text at or after from
// (std::string_view::npos when absent); case-insensitive unless caseSensitive.
size_t FindText(std::string_view text, std::string_view needle, bool caseSensitive,
                size_t from = 0);
inline bool ContainsText(std::string_view text, std::string_view needle, bool caseSensitive) {
    return FindText(text, needle, caseSensitive) != std::string_view::npos;
}
bool StartsWithText(std::string_view text, std::string_view prefix, bool caseSensitive);

// Decimal integer with optional blanks around it and an optional sign;
// false (and value unchanged) for anything else or a value outside int32.
bool TryStrToInt(std::string_view text, int32_t& value);

}  // namespace tlvx
