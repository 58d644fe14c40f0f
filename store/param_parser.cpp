#include "store/param_parser.h"

#include "platform/text.h"

namespace tlvx {

namespace {

bool IsSeparator(char c) { return c == '\n' || c == '\r' || c == ',' || c == ';'; }
bool IsSkippedBlank(char c) { return c == '\t' || c == ' '; }
bool IsDelimiter(char c) { return c == ':' || c == '='; }

}  // namespace

bool StrToBoolean(std::string_view text) {
    for (const char* word : {"True", "Yes", "On", "1"})
        if (SameText(text, word)) return true;
    for (const char* word : {"False", "No", "Off", "0"})
        if (SameText(text, word)) return false;
    std::string message = "\"";
    message.append(text).append("\" is not a valid boolean value");
    throw EConvertError(message);
}

TGUID StrToGUIDValue(std::string_view text) {
    auto g = StrToGuid(text);
    if (!g) {
        std::string message = "'";
        message.append(text).append("' is not a valid GUID value");
        throw EConvertError(message);
    }
    return *g;
}

bool TParam::IsNamed(std::string_view name) const { return SameText(Name, name); }

void TParamList::Parse(std::string_view text) {
    items_.clear();
    size_t i = 0, n = text.size();
    while (i < n) {
        while (i < n && (IsSeparator(text[i]) || IsSkippedBlank(text[i]))) ++i;
        if (i >= n) break;
        size_t nameStart = i;
        while (i < n && !IsDelimiter(text[i]) && !IsSeparator(text[i])) ++i;
        std::string_view name = text.substr(nameStart, i - nameStart);
        std::string_view value;
        if (i < n && IsDelimiter(text[i])) {
            size_t valueStart = ++i;
            while (i < n && !IsSeparator(text[i])) ++i;
            value = text.substr(valueStart, i - valueStart);
        }
        AddParam(TrimBytes(name), TrimBytes(value));
    }
}

void TParamList::AddParam(std::string name, std::string value) {
    if (name.empty()) return;
    items_.emplace_back(std::move(name), std::move(value));
}

const TParam* TParamList::FindParam(std::string_view name) const {
    for (const auto& p : items_)
        if (p.IsNamed(name)) return &p;
    return nullptr;
}

const TParam& TParamList::ParamByName(std::string_view name) const {
    const TParam* p = FindParam(name);
    if (!p) throw EParamParserError("\"" + std::string(name) + "\" - unknown parameter");
    return *p;
}

}  // namespace tlvx
