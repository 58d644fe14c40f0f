#include "webstat/geo_text.h"

#include <algorithm>

#include "model/ipv4.h"
#include "model/text_marks.h"
#include "platform/file.h"
#include "platform/text.h"

namespace tlvx {

namespace {

constexpr std::string_view kNetMark = "net ";
// The tags, each with the TAB that opens its field. Searching for TAB + tag
// rather than the bare tag keeps a tag that is part of another field's text
// ("*MEMO:" inside a country text, say) from being taken for the field
// itself. The mask always ends in a TAB before the first field, so every
// field has one.
constexpr std::string_view kCountryTag = "\t*COUNTRY:";
constexpr std::string_view kAreaTag = "\t*AREA:";
constexpr std::string_view kPointTag = "\t*POINT:";
constexpr std::string_view kMemoTag = "\t*MEMO:";

std::string FieldText(std::string_view line, std::string_view tag) {
    return TrimBytes(Between(line, tag, "\t", true, true));
}

// A text as one field: no byte that would end the field or the line.
std::string FieldValue(std::string_view text) {
    std::string value(text);
    std::replace_if(value.begin(), value.end(), [](char c) { return c == '\t' || c == '\r' || c == '\n'; },
                    ' ');
    return value;
}

}  // namespace

std::vector<std::string_view> SplitTextLines(std::string_view text) {
    std::vector<std::string_view> lines;
    size_t pos = 0;
    while (pos < text.size()) {
        size_t end = std::min(text.find_first_of("\r\n", pos), text.size());
        lines.push_back(text.substr(pos, end - pos));
        pos = end;
        if (pos < text.size() && text[pos] == '\r') ++pos;
        if (pos < text.size() && text[pos] == '\n') ++pos;
    }
    return lines;
}

bool ParseNetworkLine(std::string_view text, TNetDescription& entry) {
    const std::string trimmed = TrimBytes(text);
    std::string_view line = trimmed;
    size_t blank = line.find(' ');
    if (blank == std::string_view::npos) return false;
    int64_t network = ParseIPv4(line.substr(0, blank));
    int64_t mask = ParseIPv4(Between(line, kNetMark, "\t", true, true));
    if (network < 0 || mask < 0) return false;
    entry.Network = uint32_t(network);
    entry.Mask = uint32_t(mask);
    entry.Country = FieldText(line, kCountryTag);
    entry.Area = FieldText(line, kAreaTag);
    entry.Point = FieldText(line, kPointTag);
    entry.Memo = FieldText(line, kMemoTag);
    return true;
}

std::string FormatNetworkLine(const TNetDescription& entry) {
    std::string line = IPv4ToText(entry.Network) + " " + std::string(kNetMark) + IPv4ToText(entry.Mask);
    for (auto [tag, text] : {std::pair{kCountryTag, &entry.Country}, std::pair{kAreaTag, &entry.Area},
                             std::pair{kPointTag, &entry.Point}, std::pair{kMemoTag, &entry.Memo}}) {
        line += tag;
        line += FieldValue(*text);
    }
    return line;
}

bool ParseCountryLine(std::string_view line, std::string& key, std::string& names) {
    std::string trimmed = TrimBytes(line);
    size_t tab = trimmed.find('\t');
    if (tab == std::string::npos) return false;
    std::string k = UpperAscii(TrimBytes(std::string_view(trimmed).substr(0, tab)));
    if (k.empty()) return false;
    key = std::move(k);
    names = trimmed.substr(tab + 1);
    std::replace(names.begin(), names.end(), '\t', '=');
    return true;
}

TNetCountry SplitCountryNames(std::string_view names) {
    size_t eq = names.find('=');
    if (eq == std::string_view::npos) return {"", std::string(names)};
    return {std::string(names.substr(0, eq)), std::string(names.substr(eq + 1))};
}

bool ReadGeoTextFile(const std::string& fileName, std::string& text) {
    if (!FileSystem().Exists(fileName)) return false;
    TFileOptions options;
    options.lock = false;
    auto file = FileSystem().Open(fileName, TFileAccess::Read, TDisposition::OpenExisting, options);
    text.assign(size_t(file->Size()), '\0');
    text.resize(file->ReadAt(text.data(), text.size(), 0));
    return true;
}

void WriteGeoTextFile(const std::string& fileName, std::string_view text) {
    TFileOptions options;
    options.lock = false;
    options.randomAccess = false;
    auto file = FileSystem().Open(fileName, TFileAccess::ReadWrite, TDisposition::CreateAlways, options);
    file->WriteAt(text.data(), text.size(), 0);
}

}  // namespace tlvx
