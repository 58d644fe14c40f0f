// 8-bit text routines. Text is Windows-1251 bytes; every test on a byte
// goes through unsigned char, so bytes from 0x80 up are ordinary letters,
// never blanks or negative values. Case folding is ASCII only and keeps the
// length, so a position found in a folded copy is valid in the original.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

namespace tlvx {

// True for the bytes that trimming removes: 0x00..0x20.
inline bool IsBlankByte(char c) { return static_cast<unsigned char>(c) <= 0x20; }

// Removes bytes <= 0x20 at both ends: a view into text, or a copy.
inline std::string_view TrimBlanks(std::string_view text) {
    while (!text.empty() && IsBlankByte(text.front())) text.remove_prefix(1);
    while (!text.empty() && IsBlankByte(text.back())) text.remove_suffix(1);
    return text;
}
inline std::string TrimBytes(std::string_view text) { return std::string(TrimBlanks(text)); }

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
