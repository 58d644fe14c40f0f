#include "store/capabilities.h"

#include <limits>

#include "platform/text.h"

namespace tlvx {

namespace {

bool IsItemSeparator(char c) { return c == '\n' || c == '\r' || c == ',' || c == ';'; }

bool IsLetter(char c) { return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z'); }
bool IsDigit(char c) { return c >= '0' && c <= '9'; }

void CheckName(std::string_view name) {
    bool ok = !name.empty() && (name[0] == '_' || IsLetter(name[0]));
    for (size_t i = 1; ok && i < name.size(); ++i)
        ok = name[i] == '_' || IsLetter(name[i]) || IsDigit(name[i]);
    if (!ok) throw ECapListError("\"" + std::string(name) + "\" is not a valid capability name");
}

}  // namespace

int32_t StrToInt(std::string_view text) {
    size_t i = 0;
    bool negative = false;
    if (i < text.size() && (text[i] == '+' || text[i] == '-')) negative = text[i++] == '-';
    int64_t value = 0;
    bool digits = false;
    for (; i < text.size(); ++i) {
        if (!IsDigit(text[i])) { digits = false; break; }
        digits = true;
        value = value * 10 + (text[i] - '0');
        if (value > int64_t(std::numeric_limits<int32_t>::max()) + 1) { digits = false; break; }
    }
    if (negative) value = -value;
    if (!digits || value > std::numeric_limits<int32_t>::max() ||
        value < std::numeric_limits<int32_t>::min())
        throw EConvertError("'" + std::string(text) + "' is not a valid integer value");
    return int32_t(value);
}

TCapList::TCapList(std::string_view text) {
    size_t pos = 0;
    while (pos < text.size()) {
        size_t end = pos;
        while (end < text.size() && !IsItemSeparator(text[end])) ++end;
        std::string_view item = TrimBlanks(text.substr(pos, end - pos));
        pos = end + 1;
        if (item.empty()) continue;
        size_t eq = item.find('=');
        if (eq == std::string_view::npos)
            throw ECapListError("'=' sign missing in capabilities string");
        int32_t value = StrToInt(TrimBlanks(item.substr(eq + 1)));
        std::string_view name = TrimBlanks(item.substr(0, eq));
        CheckName(name);
        items_.push_back({std::string(name), value});
    }
}

int32_t TCapList::ValueOf(std::string_view name) const {
    CheckName(name);
    for (const auto& e : items_)
        if (SameText(e.Name, name)) return e.Value;
    return -1;
}

std::string TCapabilities::ToString(std::string_view separator) {
    std::string out;
    for (int32_t i = 0; i < list_->Count(); ++i) {
        if (i > 0) out += separator;
        out += list_->Items(i).Name + "=" + std::to_string(list_->Items(i).Value);
    }
    return out;
}

int32_t TCapabilities::GetValue(std::string_view name) { return list_->ValueOf(name); }

bool TCapabilities::Supports(std::string_view required) {
    if (required.empty()) return true;
    TCapList wanted(required);
    for (int32_t i = 0; i < wanted.Count(); ++i) {
        const auto& e = wanted.Items(i);
        if (list_->ValueOf(e.Name) < e.Value) return false;
    }
    return true;
}

const char* const kStorageCapabilities =
    "DISTRIBUTED_STORAGE    = 0;"
    "ENUMERATION            = 2;"
    "TRANSACTIONS           = 3;"
    "PARALLEL_TRANSACTIONS  = 1;"
    "RECURSIVE_TRANSACTIONS = 1;"
    "ACCESS_MODEL_MREW      = 2;"
    "ACCESS_MODEL_MREW_FRAG = 1;"
    "ACCESS_MODEL_EXCLUSIVE = 0;"
    "ACCESS_MODEL_IGNORE    = 0;"
    "CACHE                  = 1;"
    "MULTITHREADED          = 0;"
    "EXCEPTIONS             = 1;"
    "RELIABILITY            = 2;"
    "CRC_PROTECTION         = 1;";

const char* const kBTreeCapabilities =
    "CURSOR_CLONE        = 1;"
    "GOTO_LINE_NUMBER    = 1;"
    "EXTRA_MODIFICATOR   = 1;"
    "MODIFICATING_CURSOR = 0;"
    "MULTI_CURSORING     = 1;"
    "NON_UNIQUE_KEYS     = 0;"
    "KEY_LENGTH          = 3;"
    "KEY_COUNT           = 6;";

const TCapList& StorageCapList() {
    static const TCapList list(kStorageCapabilities);
    return list;
}

const TCapList& BTreeCapList() {
    static const TCapList list(kBTreeCapabilities);
    return list;
}

}  // namespace tlvx
