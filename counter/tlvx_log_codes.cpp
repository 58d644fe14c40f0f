#include "counter/tlvx_log_codes.h"

#include <utility>

#include "platform/text.h"

namespace tlvx {
namespace {

template <size_t N>
uint8_t FirstMatch(std::string_view text, const std::pair<const char*, uint8_t> (&table)[N]) {
    for (const auto& [needle, code] : table)
        if (text.find(needle) != std::string_view::npos) return code;
    return 0;
}

}  // namespace

uint8_t GetBrowserCode(std::string_view userAgent) {
    static const std::pair<const char*, uint8_t> kTable[] = {
        {"Opera", 12}, {"MSIE 5", 2}, {"MSIE 4", 1}, {"MSIE 6", 3}, {"Mozilla", 8}, {"libc", 15}};
    return FirstMatch(userAgent, kTable);
}

uint8_t GetOSCode(std::string_view userAgent) {
    static const std::pair<const char*, uint8_t> kTable[] = {
        {"Windows NT 5", 0x50}, {"Windows 95", 0x10}, {"Windows 98", 0x20},
        {"Windows XP", 0x60},   {"Windows ME", 0x30}, {"Windows NT 4", 0x40},
        {"FreeBSD", 0xB0},      {"Linux", 0xA0},      {"Unix", 0xC0}};
    return FirstMatch(userAgent, kTable);
}

uint8_t GetScreenCode(int32_t width, int32_t height) {
    static const int32_t kSizes[][2] = {{640, 480}, {800, 600}, {1024, 768}, {1280, 1024},
                                        {1600, 1200}};
    for (uint8_t i = 0; i < 5; ++i)
        if (kSizes[i][0] == width && kSizes[i][1] == height) return static_cast<uint8_t>(i + 1);
    return 0;
}

TTextSplit SplitUrlDirectory(std::string_view url) {
    size_t slash = url.rfind('/');
    if (slash == std::string_view::npos) return {"", std::string(url)};
    return {std::string(url.substr(0, slash + 1)), std::string(url.substr(slash + 1))};
}

TTextSplit SplitNodeParent(std::string_view node) {
    size_t dot = node.rfind('.');
    if (dot == std::string_view::npos) return {"", std::string(node)};
    return {std::string(node.substr(0, dot)), std::string(node.substr(dot + 1))};
}

TTextSplit SplitReferrer(std::string_view referrer) {
    std::string_view rest = referrer;
    if (StartsWithText(rest, "HTTP://", false)) rest.remove_prefix(7);
    else if (StartsWithText(rest, "FTP://", false)) rest.remove_prefix(6);
    size_t slash = rest.find('/');
    if (slash == std::string_view::npos) return {"", std::string(rest)};
    return {std::string(rest.substr(0, slash + 1)), std::string(rest.substr(slash + 1))};
}

}  // namespace tlvx
