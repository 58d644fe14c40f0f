#include "platform/html_escape.h"

#include "platform/web_fields.h"

namespace tlvx {
namespace {

// The named reference of a byte that HtmlText escapes, or nullptr.
const char* NamedReference(char c) {
    switch (c) {
        case '&': return "&amp;";
        case '<': return "&lt;";
        case '>': return "&gt;";
        case '"': return "&quot;";
        case '\'': return "&#39;";
        default: return nullptr;
    }
}

bool NeedsNumericInAttr(unsigned char c) { return c <= 0x20 || c == 0x7F || c == '=' || c == '`'; }

}  // namespace

std::string HtmlText(std::string_view text) {
    std::string out;
    out.reserve(text.size());
    for (char c : text) {
        if (const char* ref = NamedReference(c)) out += ref;
        else out += c;
    }
    return out;
}

std::string HtmlAttr(std::string_view text) {
    std::string out;
    out.reserve(text.size());
    for (char c : text) {
        const unsigned char u = static_cast<unsigned char>(c);
        if (const char* ref = NamedReference(c)) {
            out += ref;
        } else if (NeedsNumericInAttr(u)) {
            out += "&#";
            out += std::to_string(u);
            out += ';';
        } else {
            out += c;
        }
    }
    return out;
}

std::string UrlArg(std::string_view text) {
    return PercentEncode(text, [](unsigned char u) {
        return (u >= 'A' && u <= 'Z') || (u >= 'a' && u <= 'z') || (u >= '0' && u <= '9') || u == '-' ||
               u == '.' || u == '_' || u == '~' || u >= 0x80;
    });
}

}  // namespace tlvx
