#include "platform/web_fields.h"

#include <cstring>

namespace tlvx {
namespace {

int HexValue(char c) {
    if (c >= '0' && c <= '9') return c - '0';
    if (c >= 'A' && c <= 'F') return c - 'A' + 10;
    if (c >= 'a' && c <= 'f') return c - 'a' + 10;
    return -1;
}

bool IsCookieOctet(unsigned char c) {
    return c == 0x21 || (c >= 0x23 && c <= 0x2B) || (c >= 0x2D && c <= 0x3A) ||
           (c >= 0x3C && c <= 0x5B) || (c >= 0x5D && c <= 0x7E);
}

template <class Fn>
void SplitAt(std::string_view text, char separator, Fn&& piece) {
    size_t start = 0;
    while (start <= text.size()) {
        size_t end = text.find(separator, start);
        if (end == std::string_view::npos) end = text.size();
        piece(text.substr(start, end - start));
        start = end + 1;
    }
}

}  // namespace

void TWebFields::Add(std::string name, std::string value) {
    fields_.emplace_back(std::move(name), std::move(value));
}

const std::pair<std::string, std::string>* TWebFields::Find(std::string_view name) const {
    for (const auto& f : fields_)
        if (SameText(f.first, name)) return &f;
    return nullptr;
}

std::string TWebFields::Value(std::string_view name) const {
    const auto* f = Find(name);
    return f ? f->second : std::string();
}

bool TWebFields::Has(std::string_view name) const { return Find(name) != nullptr; }

std::string PercentDecode(std::string_view text, bool plusIsSpace) {
    std::string out;
    out.reserve(text.size());
    for (size_t i = 0; i < text.size(); ++i) {
        char c = text[i];
        if (c == '%' && i + 2 < text.size() && HexValue(text[i + 1]) >= 0 &&
            HexValue(text[i + 2]) >= 0) {
            out += static_cast<char>(HexValue(text[i + 1]) * 16 + HexValue(text[i + 2]));
            i += 2;
        } else if (c == '+' && plusIsSpace) {
            out += ' ';
        } else {
            out += c;
        }
    }
    return out;
}

TWebFields ParseUrlEncodedFields(std::string_view text) {
    TWebFields fields;
    SplitAt(text, '&', [&](std::string_view piece) {
        if (piece.empty()) return;
        size_t eq = piece.find('=');
        if (eq == std::string_view::npos)
            fields.Add(PercentDecode(piece, true), std::string());
        else
            fields.Add(PercentDecode(piece.substr(0, eq), true),
                       PercentDecode(piece.substr(eq + 1), true));
    });
    return fields;
}

TWebFields ParseCookieFields(std::string_view text) {
    TWebFields fields;
    SplitAt(text, ';', [&](std::string_view piece) {
        size_t eq = piece.find('=');
        std::string_view name = TrimBlanks(piece.substr(0, eq));
        if (name.empty()) return;
        std::string_view value =
            eq == std::string_view::npos ? std::string_view() : TrimBlanks(piece.substr(eq + 1));
        fields.Add(std::string(name), PercentDecode(value, false));
    });
    return fields;
}

std::string PercentEncode(std::string_view text, bool (*keep)(unsigned char)) {
    static const char kHex[] = "0123456789ABCDEF";
    std::string out;
    out.reserve(text.size());
    for (char c : text) {
        auto b = static_cast<unsigned char>(c);
        if (keep(b)) {
            out += c;
        } else {
            out += '%';
            out += kHex[b >> 4];
            out += kHex[b & 15];
        }
    }
    return out;
}

std::string EncodeCookieValue(std::string_view value) {
    return PercentEncode(value, [](unsigned char b) { return IsCookieOctet(b) && b != '%'; });
}

bool IsHttpToken(std::string_view text) {
    if (text.empty()) return false;
    for (char c : text) {
        auto b = static_cast<unsigned char>(c);
        bool ok = (b >= '0' && b <= '9') || (b >= 'A' && b <= 'Z') || (b >= 'a' && b <= 'z') ||
                  (b != 0 && std::strchr("!#$%&'*+-.^_`|~", b) != nullptr);
        if (!ok) return false;
    }
    return true;
}

}  // namespace tlvx
