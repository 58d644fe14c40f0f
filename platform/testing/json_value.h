// A small JSON reader and writer for test drivers that speak JSON to other
// programs (the browser's DevTools protocol): values parse into a tree,
// strings are written quoted. Numbers are doubles; \u escapes become UTF-8.
#pragma once

#include <map>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

namespace tlvx::test {

class TJsonValue {
public:
    enum class TKind { Null, Bool, Number, String, Array, Object };

    // Raises std::runtime_error on text that is not one JSON value.
    static TJsonValue Parse(std::string_view text);

    TKind Kind() const { return kind_; }
    bool IsNull() const { return kind_ == TKind::Null; }
    bool Bool() const { return kind_ == TKind::Bool && bool_; }
    double Number() const { return kind_ == TKind::Number ? number_ : 0; }
    // The string, or "" for any other kind.
    const std::string& String() const { return string_; }
    const std::vector<TJsonValue>& Items() const { return items_; }
    const std::map<std::string, TJsonValue>& Members() const { return members_; }
    // The member of that name, or a null value when there is none.
    const TJsonValue& operator[](const std::string& name) const;
    bool Has(const std::string& name) const { return members_.count(name) != 0; }

private:
    friend class TJsonParser;
    TKind kind_ = TKind::Null;
    bool bool_ = false;
    double number_ = 0;
    std::string string_;
    std::vector<TJsonValue> items_;
    std::map<std::string, TJsonValue> members_;
};

// text as a JSON string literal, quotes included (bytes >= 0x80 pass as
// they are, so UTF-8 stays UTF-8).
std::string JsonQuote(std::string_view text);

}  // namespace tlvx::test
