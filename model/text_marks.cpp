#include "model/text_marks.h"

#include "platform/text.h"

namespace tlvx {

namespace {
// Repeated replacement can grow a text geometrically (say "ab" by "baa");
// past this much work the result is given up as for a self-containing
// replace.
constexpr size_t kMaxRepeatedWork = size_t(16) << 20;

bool EndsWith(const std::string& text, std::string_view tail, bool caseSensitive) {
    return text.size() >= tail.size() &&
           FindText(std::string_view(text).substr(text.size() - tail.size()), tail, caseSensitive) == 0;
}
}  // namespace

std::string Between(std::string_view text, std::string_view startMark, std::string_view endMark,
                    bool caseSensitive, bool allowNoEnd) {
    if (text.empty() || startMark.empty() || endMark.empty()) return {};
    size_t start = FindText(text, startMark, caseSensitive);
    if (start == std::string_view::npos) return {};
    std::string_view rest = text.substr(start + startMark.size());
    size_t end = FindText(rest, endMark, caseSensitive);
    if (end != std::string_view::npos) return std::string(rest.substr(0, end));
    return allowNoEnd ? std::string(rest) : std::string();
}

static std::string ReplaceSinglePass(std::string_view text, std::string_view find,
                                     std::string_view replace, bool caseSensitive) {
    std::string result;
    size_t from = 0;
    for (;;) {
        size_t at = FindText(text, find, caseSensitive, from);
        if (at == std::string_view::npos) break;
        result.append(text.substr(from, at - from));
        result.append(replace);
        from = at + find.size();
    }
    result.append(text.substr(from));
    return result;
}

// Replacing the first occurrence and searching again from the start, done
// in one sweep: the bytes moved to done hold no occurrence, so the first
// time done ends with find that is the first occurrence of the whole text;
// the replacement goes back in front of the unread bytes to be read again.
static std::string ReplaceRepeated(std::string_view text, std::string_view find,
                                   std::string_view replace, bool caseSensitive) {
    if (ContainsText(replace, find, false)) return {};
    std::string done;
    std::string unread(text.rbegin(), text.rend());  // next byte at the back
    for (size_t work = 0; !unread.empty(); ++work) {
        if (work > kMaxRepeatedWork) return {};
        done.push_back(unread.back());
        unread.pop_back();
        if (EndsWith(done, find, caseSensitive)) {
            done.resize(done.size() - find.size());
            unread.append(replace.rbegin(), replace.rend());
        }
    }
    return done;
}

std::string ReplaceAll(std::string_view text, std::string_view find, std::string_view replace,
                       bool caseSensitive, bool repeated) {
    if (find.empty()) return {};
    return repeated ? ReplaceRepeated(text, find, replace, caseSensitive)
                    : ReplaceSinglePass(text, find, replace, caseSensitive);
}

}  // namespace tlvx
