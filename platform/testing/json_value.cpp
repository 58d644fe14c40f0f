#include "platform/testing/json_value.h"

#include <cstdlib>
#include <stdexcept>

namespace tlvx::test {

class TJsonParser {
public:
    explicit TJsonParser(std::string_view text) : text_(text) {}

    TJsonValue Document() {
        TJsonValue value = Value(0);
        SkipBlanks();
        if (pos_ != text_.size()) Fail("text after the value");
        return value;
    }

private:
    // Nesting deeper than this is no protocol message but a runaway.
    static constexpr int kMaxDepth = 200;

    [[noreturn]] void Fail(const char* why) const {
        throw std::runtime_error(std::string("JSON: ") + why + " at " + std::to_string(pos_));
    }
    void SkipBlanks() {
        while (pos_ < text_.size() && (text_[pos_] == ' ' || text_[pos_] == '\t' || text_[pos_] == '\n' || text_[pos_] == '\r'))
            ++pos_;
    }
    bool Take(char c) {
        SkipBlanks();
        if (pos_ < text_.size() && text_[pos_] == c) {
            ++pos_;
            return true;
        }
        return false;
    }
    void Expect(char c) {
        if (!Take(c)) Fail("unexpected character");
    }
    bool TakeWord(std::string_view word) {
        if (text_.substr(pos_, word.size()) != word) return false;
        pos_ += word.size();
        return true;
    }

    TJsonValue Value(int depth) {
        if (depth > kMaxDepth) Fail("nested too deep");
        SkipBlanks();
        if (pos_ >= text_.size()) Fail("missing value");
        TJsonValue v;
        const char c = text_[pos_];
        if (c == '{') {
            ++pos_;
            v.kind_ = TJsonValue::TKind::Object;
            if (Take('}')) return v;
            do {
                SkipBlanks();
                std::string name = StringLiteral();
                Expect(':');
                v.members_[name] = Value(depth + 1);
            } while (Take(','));
            Expect('}');
        } else if (c == '[') {
            ++pos_;
            v.kind_ = TJsonValue::TKind::Array;
            if (Take(']')) return v;
            do v.items_.push_back(Value(depth + 1));
            while (Take(','));
            Expect(']');
        } else if (c == '"') {
            v.kind_ = TJsonValue::TKind::String;
            v.string_ = StringLiteral();
        } else if (TakeWord("true") || TakeWord("false")) {
            v.kind_ = TJsonValue::TKind::Bool;
            v.bool_ = text_[pos_ - 1] == 'e' && text_[pos_ - 2] == 'u';
        } else if (TakeWord("null")) {
        } else {
            const std::string number(text_.substr(pos_, text_.find_first_of(",]} \t\r\n", pos_) - pos_));
            char* end = nullptr;
            v.number_ = std::strtod(number.c_str(), &end);
            if (number.empty() || end != number.c_str() + number.size()) Fail("bad number");
            v.kind_ = TJsonValue::TKind::Number;
            pos_ += number.size();
        }
        return v;
    }

    unsigned Hex4() {
        if (pos_ + 4 > text_.size()) Fail("short \\u escape");
        unsigned n = 0;
        for (int i = 0; i < 4; ++i) {
            const char h = text_[pos_++];
            n = n * 16 + (h >= '0' && h <= '9' ? h - '0' : h >= 'a' && h <= 'f' ? h - 'a' + 10
                          : h >= 'A' && h <= 'F' ? h - 'A' + 10 : (Fail("bad \\u escape"), 0));
        }
        return n;
    }

    static void AppendUtf8(std::string& out, unsigned cp) {
        if (cp < 0x80) {
            out += char(cp);
        } else if (cp < 0x800) {
            out += char(0xC0 | cp >> 6);
            out += char(0x80 | (cp & 63));
        } else if (cp < 0x10000) {
            out += char(0xE0 | cp >> 12);
            out += char(0x80 | (cp >> 6 & 63));
            out += char(0x80 | (cp & 63));
        } else {
            out += char(0xF0 | cp >> 18);
            out += char(0x80 | (cp >> 12 & 63));
            out += char(0x80 | (cp >> 6 & 63));
            out += char(0x80 | (cp & 63));
        }
    }

    std::string StringLiteral() {
        if (pos_ >= text_.size() || text_[pos_] != '"') Fail("expected a string");
        ++pos_;
        std::string out;
        for (;;) {
            if (pos_ >= text_.size()) Fail("unterminated string");
            const char c = text_[pos_++];
            if (c == '"') return out;
            if (c != '\\') {
                out += c;
                continue;
            }
            if (pos_ >= text_.size()) Fail("unterminated escape");
            switch (const char e = text_[pos_++]) {
                case 'b': out += '\b'; break;
                case 'f': out += '\f'; break;
                case 'n': out += '\n'; break;
                case 'r': out += '\r'; break;
                case 't': out += '\t'; break;
                case 'u': {
                    unsigned cp = Hex4();
                    if (cp >= 0xD800 && cp < 0xDC00 && TakeWord("\\u")) {
                        const unsigned low = Hex4();
                        cp = 0x10000 + ((cp - 0xD800) << 10) + (low - 0xDC00);
                    }
                    AppendUtf8(out, cp);
                    break;
                }
                default: out += e;
            }
        }
    }

    std::string_view text_;
    size_t pos_ = 0;
};

TJsonValue TJsonValue::Parse(std::string_view text) { return TJsonParser(text).Document(); }

const TJsonValue& TJsonValue::operator[](const std::string& name) const {
    static const TJsonValue null;
    const auto it = members_.find(name);
    return it == members_.end() ? null : it->second;
}

std::string JsonQuote(std::string_view text) {
    static const char* hex = "0123456789abcdef";
    std::string out = "\"";
    for (const char c : text) {
        const auto u = static_cast<unsigned char>(c);
        if (c == '"' || c == '\\') {
            out += '\\';
            out += c;
        } else if (u < 0x20) {
            out += "\\u00";
            out += hex[u >> 4];
            out += hex[u & 15];
        } else {
            out += c;
        }
    }
    return out + "\"";
}

}  // namespace tlvx::test
