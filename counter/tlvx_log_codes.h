// The small classifications and text splits of hit-log records.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

namespace tlvx {

// First case-sensitive match: "Opera" 12, "MSIE 5" 2, "MSIE 4" 1, "MSIE 6" 3,
// "Mozilla" 8, "libc" 15, else 0.
uint8_t GetBrowserCode(std::string_view userAgent);
// The system code in the high four bits: "Windows NT 5" 0x50, "Windows 95"
// 0x10, "Windows 98" 0x20, "Windows XP" 0x60, "Windows ME" 0x30,
// "Windows NT 4" 0x40, "FreeBSD" 0xB0, "Linux" 0xA0, "Unix" 0xC0, else 0.
uint8_t GetOSCode(std::string_view userAgent);
// 640x480 1, 800x600 2, 1024x768 3, 1280x1024 4, 1600x1200 5, else 0.
uint8_t GetScreenCode(int32_t width, int32_t height);

// A text cut into the key that back-references compare and the rest that a
// referencing record stores.
struct TTextSplit {
    std::string Key;
    std::string Rest;
};
// Key: up to and including the last '/'.
TTextSplit SplitUrlDirectory(std::string_view url);
// Key: the parent path before the last '.'; rest: the last name.
TTextSplit SplitNodeParent(std::string_view node);
// After a leading "HTTP://" or "FTP://" (any case): key up to and including
// the first '/', "" when there is none.
TTextSplit SplitReferrer(std::string_view referrer);

}  // namespace tlvx
