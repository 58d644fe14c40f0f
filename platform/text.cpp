#include "platform/text.h"

namespace tlvx {

char UpperAsciiChar(char c) {
    auto u = static_cast<unsigned char>(c);
    return (u >= 'a' && u <= 'z') ? static_cast<char>(u - 'a' + 'A') : c;
}

char LowerAsciiChar(char c) {
    auto u = static_cast<unsigned char>(c);
    return (u >= 'A' && u <= 'Z') ? static_cast<char>(u - 'A' + 'a') : c;
}

std::string UpperAscii(std::string_view text) {
    std::string r(text);
    for (char& c : r) c = UpperAsciiChar(c);
    return r;
}

std::string LowerAscii(std::string_view text) {
    std::string r(text);
    for (char& c : r) c = LowerAsciiChar(c);
    return r;
}

int CompareText(std::string_view a, std::string_view b) {
    size_t n = a.size() < b.size() ? a.size() : b.size();
    for (size_t i = 0; i < n; ++i) {
        auto x = static_cast<unsigned char>(UpperAsciiChar(a[i]));
        auto y = static_cast<unsigned char>(UpperAsciiChar(b[i]));
        if (x != y) return x < y ? -1 : 1;
    }
    if (a.size() == b.size()) return 0;
    return a.size() < b.size() ? -1 : 1;
}

bool SameText(std::string_view a, std::string_view b) {
    return a.size() == b.size() && CompareText(a, b) == 0;
}

static bool SameAt(std::string_view text, size_t pos, std::string_view needle, bool caseSensitive) {
    for (size_t j = 0; j < needle.size(); ++j) {
        char x = text[pos + j], y = needle[j];
        if (caseSensitive ? x != y : UpperAsciiChar(x) != UpperAsciiChar(y)) return false;
    }
    return true;
}

size_t FindText(std::string_view text, std::string_view needle, bool caseSensitive, size_t from) {
    if (caseSensitive) return text.find(needle, from);
    if (from > text.size() || needle.size() > text.size() - from) return std::string_view::npos;
    for (size_t i = from; i + needle.size() <= text.size(); ++i)
        if (SameAt(text, i, needle, false)) return i;
    return std::string_view::npos;
}

bool StartsWithText(std::string_view text, std::string_view prefix, bool caseSensitive) {
    return prefix.size() <= text.size() && SameAt(text, 0, prefix, caseSensitive);
}

bool TryStrToInt(std::string_view text, int32_t& value) {
    size_t b = 0, e = text.size();
    while (b < e && IsBlankByte(text[b])) ++b;
    while (e > b && IsBlankByte(text[e - 1])) --e;
    if (b == e) return false;
    bool negative = false;
    if (text[b] == '+' || text[b] == '-') {
        negative = text[b] == '-';
        if (++b == e) return false;
    }
    int64_t v = 0;
    for (size_t i = b; i < e; ++i) {
        auto c = static_cast<unsigned char>(text[i]);
        if (c < '0' || c > '9') return false;
        v = v * 10 + (c - '0');
        if (v > int64_t(INT32_MAX) + 1) return false;  // stops growth long before overflow
    }
    if (negative) v = -v;
    if (v < INT32_MIN || v > INT32_MAX) return false;
    value = static_cast<int32_t>(v);
    return true;
}

}  // namespace tlvx
