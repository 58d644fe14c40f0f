// Small 8-bit text routines shared by every layer: bytes go through
// unsigned char, and only ASCII letters change case.
#pragma once

#include <string_view>

namespace tlvx {

// True for the bytes that trimming removes: 0x00..0x20.
inline bool IsBlankByte(char c) { return static_cast<unsigned char>(c) <= 0x20; }

// The text without leading and trailing bytes up to 0x20.
inline std::string_view TrimBlanks(std::string_view s) {
    while (!s.empty() && IsBlankByte(s.front())) s.remove_prefix(1);
    while (!s.empty() && IsBlankByte(s.back())) s.remove_suffix(1);
    return s;
}

// Equal texts when ASCII letter case is ignored.
inline bool SameAsciiText(std::string_view a, std::string_view b) {
    auto lower = [](char c) { return (c >= 'A' && c <= 'Z') ? char(c - 'A' + 'a') : c; };
    if (a.size() != b.size()) return false;
    for (size_t i = 0; i < a.size(); ++i)
        if (lower(a[i]) != lower(b[i])) return false;
    return true;
}

}  // namespace tlvx
