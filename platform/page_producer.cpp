#include "platform/page_producer.h"

#include "platform/text.h"

namespace tlvx {
namespace {

// Parses the tag that starts at text[start] ("<#"); returns the position
// after its ">", or npos when the tag is not closed.
size_t ParseTag(std::string_view text, size_t start, std::string& name, TTagParams& params) {
    size_t i = start + 2;
    const size_t nameStart = i;
    while (i < text.size() && !IsBlankByte(text[i]) && text[i] != '>') ++i;
    name.assign(text.substr(nameStart, i - nameStart));
    params.clear();
    for (;;) {
        while (i < text.size() && IsBlankByte(text[i])) ++i;
        if (i >= text.size()) return std::string_view::npos;
        if (text[i] == '>') return i + 1;
        TTagParam param;
        const size_t keyStart = i;
        while (i < text.size() && !IsBlankByte(text[i]) && text[i] != '>' && text[i] != '=') ++i;
        param.Name.assign(text.substr(keyStart, i - keyStart));
        if (i < text.size() && text[i] == '=') {
            ++i;
            if (i < text.size() && (text[i] == '"' || text[i] == '\'')) {
                const char quote = text[i];
                const size_t close = text.find(quote, i + 1);
                if (close == std::string_view::npos) return std::string_view::npos;
                param.Value.assign(text.substr(i + 1, close - i - 1));
                i = close + 1;
            } else {
                const size_t valueStart = i;
                while (i < text.size() && !IsBlankByte(text[i]) && text[i] != '>') ++i;
                param.Value.assign(text.substr(valueStart, i - valueStart));
            }
        }
        params.push_back(std::move(param));
    }
}

}  // namespace

std::string ExpandTags(std::string_view text, const TTagHandler& handler) {
    std::string out;
    out.reserve(text.size());
    std::string name;
    TTagParams params;
    size_t pos = 0;
    while (pos < text.size()) {
        const size_t tag = text.find("<#", pos);
        if (tag == std::string_view::npos) break;
        const size_t end = ParseTag(text, tag, name, params);
        if (end == std::string_view::npos) break;
        out.append(text.substr(pos, tag - pos));
        if (handler) out += handler(name, params);
        pos = end;
    }
    out.append(text.substr(pos));
    return out;
}

}  // namespace tlvx
