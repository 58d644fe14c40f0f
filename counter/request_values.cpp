#include "counter/request_values.h"

#include <algorithm>
#include <iostream>

#include "platform/text.h"

namespace tlvx {

bool IsSSICall(std::string_view callText) { return UpperAscii(callText) == "SSI"; }

int32_t ParseSkinNumber(std::string_view text) {
    if (text.empty()) return 0;
    int32_t value = 0;
    if (TryStrToInt(text, value)) return value;
    std::cerr << "warning: skin number is not a decimal number; skin 0 is drawn\n";
    return 0;
}

bool IsHexText(std::string_view text) {
    for (char c : text) {
        char u = UpperAsciiChar(c);
        if (!((u >= '0' && u <= '9') || (u >= 'A' && u <= 'F'))) return false;
    }
    return true;
}

int HexDigitValue(char ch) {
    static constexpr std::string_view kDigits = "0123456789ABCDEF";
    size_t at = kDigits.find(ch);
    return at == std::string_view::npos ? 0 : int(at);
}

uint64_t HexDigitWeight(char ch, unsigned power) {
    // 16^power wraps to 0 from power 16 on, as the digit's weight does.
    uint64_t weight = power >= 16 ? 0 : uint64_t(1) << (4 * power);
    return uint64_t(HexDigitValue(UpperAsciiChar(ch))) * weight;
}

int64_t ParseHexColor(std::string_view text) {
    if (text.empty() || !IsHexText(text)) return 0;
    uint64_t sum = 0;
    for (size_t i = 0; i < text.size(); ++i)
        sum += HexDigitWeight(text[i], unsigned(std::min<size_t>(text.size() - 1 - i, 16)));
    return int64_t(sum);
}

}  // namespace tlvx
