// Name=value fields of a request: query and form fields, cookies.
//
// Input is hostile: every byte sequence parses to something, decoded values
// may hold any byte (NUL, CR, LF included), and nothing is truncated.
#pragma once

#include "platform/text.h"

#include <cstddef>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

namespace tlvx {

// Fields in the order they arrived. Names compare ASCII case-insensitively;
// a lookup gives the first field of that name.
class TWebFields {
public:
    void Add(std::string name, std::string value);
    // The first value of name, or "" when there is none.
    std::string Value(std::string_view name) const;
    bool Has(std::string_view name) const;
    size_t Count() const { return fields_.size(); }
    const std::string& Name(size_t i) const { return fields_[i].first; }
    const std::string& ValueAt(size_t i) const { return fields_[i].second; }

private:
    const std::pair<std::string, std::string>* Find(std::string_view name) const;
    std::vector<std::pair<std::string, std::string>> fields_;
};

// %XX (either letter case) becomes its byte; a '%' not followed by two hex
// digits stays as it is. With plusIsSpace, '+' becomes a blank.
std::string PercentDecode(std::string_view text, bool plusIsSpace);

// "a=1&b=2" as in a query string or an x-www-form-urlencoded body: split at
// '&', name before the first '=', both decoded with '+' as blank. A piece
// without '=' is a name with the empty value; empty pieces are skipped.
TWebFields ParseUrlEncodedFields(std::string_view text);

// A Cookie header: pairs split at ';', name and value trimmed of blanks
// (bytes up to 0x20), the value %XX-decoded ('+' kept). Pieces without a
// name are skipped.
TWebFields ParseCookieFields(std::string_view text);

// Every byte for which keep is false as %XX (upper-case hex), the others as
// they are.
std::string PercentEncode(std::string_view text, bool (*keep)(unsigned char));

// A cookie value made safe for a Set-Cookie header: every byte outside the
// cookie octets (controls, blank, '"', ',', ';', '\\', 0x7F and up) and '%'
// itself becomes %XX, so ParseCookieFields gives back the original bytes.
std::string EncodeCookieValue(std::string_view value);

// True for a non-empty HTTP token (letters, digits and !#$%&'*+-.^_`|~).
bool IsHttpToken(std::string_view text);

}  // namespace tlvx
