// Parameter texts of name/value entries, such as "mode=readonly; class={...}".
//
// Grammar (no quoting; a value cannot hold an item separator; parsing never
// fails):
//   item separators  LF CR , ;
//   blanks           TAB SPACE, skipped before a name
//   delimiters       : =
// Repeatedly: skip separators and blanks; the name runs to the first
// delimiter or separator; after a delimiter the value runs to the next
// separator (a later ':' or '=' belongs to the value), else it is empty.
// Both are trimmed of blanks and control characters; an entry with an empty
// name is dropped. Duplicates stay; lookups find the first.
#pragma once

#include <memory>
#include <stdexcept>
#include <string>
#include <string_view>
#include <vector>

#include "platform/guid.h"
#include "store/capabilities.h"

namespace tlvx {

// A lookup of a name the list does not hold.
class EParamParserError : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
};

// "True", "Yes", "On", "1" and "False", "No", "Off", "0" in any letter case;
// anything else raises EConvertError "\"%s\" is not a valid boolean value".
bool StrToBoolean(std::string_view text);

// The braced 38-character GUID text; anything else raises EConvertError.
TGUID StrToGUIDValue(std::string_view text);

class TParam {
public:
    TParam(std::string name, std::string value) : Name(std::move(name)), Value(std::move(value)) {}

    std::string Name;
    std::string Value;  // the raw text

    bool IsNamed(std::string_view name) const;
    int32_t AsInteger() const { return StrToInt(Value); }
    bool AsBoolean() const { return StrToBoolean(Value); }
    TGUID AsGUID() const { return StrToGUIDValue(Value); }
};

class TParamList {
public:
    // Clears the list first.
    void Parse(std::string_view text);
    int32_t Count() const { return int32_t(items_.size()); }
    const TParam& Items(int32_t i) const { return items_.at(size_t(i)); }
    // Ignored when name is empty.
    void AddParam(std::string name, std::string value);
    // The first entry named name (any letter case), or null.
    const TParam* FindParam(std::string_view name) const;
    bool HasParam(std::string_view name) const { return FindParam(name) != nullptr; }
    // As FindParam; a missing name raises EParamParserError
    // "\"%s\" - unknown parameter".
    const TParam& ParamByName(std::string_view name) const;
    int32_t IntByName(std::string_view name) const { return ParamByName(name).AsInteger(); }

private:
    std::vector<TParam> items_;
};

}  // namespace tlvx
