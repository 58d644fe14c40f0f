#include "webstat/testing/html_scan.h"

#include <cctype>

namespace tlvx::test {
namespace {

bool IsSpace(char c) { return c == ' ' || c == '\t' || c == '\n' || c == '\r' || c == '\f'; }
bool IsLetter(char c) { return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z'); }
char Lower(char c) { return (c >= 'A' && c <= 'Z') ? char(c - 'A' + 'a') : c; }

std::string LowerText(std::string_view s) {
    std::string out(s);
    for (char& c : out) c = Lower(c);
    return out;
}

// The position of a raw-text element's closing tag, in the lower-cased
// page.
size_t SkipRawText(std::string_view lower, size_t pos, const std::string& name) {
    const size_t close = lower.find("</" + name, pos);
    return close == std::string::npos ? lower.size() : close;
}

}  // namespace

std::vector<THtmlTag> ScanTags(std::string_view html) {
    const std::string lower = LowerText(html);
    std::vector<THtmlTag> tags;
    size_t i = 0;
    while (i < html.size()) {
        if (html[i] != '<') {
            ++i;
            continue;
        }
        if (html.substr(i, 4) == "<!--") {
            const size_t end = html.find("-->", i + 4);
            i = end == std::string_view::npos ? html.size() : end + 3;
            continue;
        }
        if (i + 1 < html.size() && (html[i + 1] == '/' || html[i + 1] == '!' || html[i + 1] == '?')) {
            const size_t end = html.find('>', i + 1);
            i = end == std::string_view::npos ? html.size() : end + 1;
            continue;
        }
        if (i + 1 >= html.size() || !IsLetter(html[i + 1])) {
            ++i;
            continue;
        }
        THtmlTag tag;
        size_t p = i + 1;
        while (p < html.size() && !IsSpace(html[p]) && html[p] != '/' && html[p] != '>') tag.Name += Lower(html[p++]);
        for (;;) {
            while (p < html.size() && (IsSpace(html[p]) || html[p] == '/')) ++p;
            if (p >= html.size() || html[p] == '>') break;
            std::string name(1, Lower(html[p++]));  // a first '=' belongs to the name
            while (p < html.size() && !IsSpace(html[p]) && html[p] != '/' && html[p] != '>' && html[p] != '=')
                name += Lower(html[p++]);
            while (p < html.size() && IsSpace(html[p])) ++p;
            std::string value;
            if (p < html.size() && html[p] == '=') {
                ++p;
                while (p < html.size() && IsSpace(html[p])) ++p;
                if (p < html.size() && (html[p] == '"' || html[p] == '\'')) {
                    const char quote = html[p++];
                    while (p < html.size() && html[p] != quote) value += html[p++];
                    if (p < html.size()) ++p;
                } else {
                    while (p < html.size() && !IsSpace(html[p]) && html[p] != '>') value += html[p++];
                }
            }
            tag.Attributes.emplace_back(std::move(name), std::move(value));
        }
        i = p < html.size() ? p + 1 : html.size();
        if (tag.Name == "script" || tag.Name == "style" || tag.Name == "title" || tag.Name == "textarea")
            i = SkipRawText(lower, i, tag.Name);
        tags.push_back(std::move(tag));
    }
    return tags;
}

std::vector<std::string> PageFaults(std::string_view html) {
    std::vector<std::string> faults;
    for (const THtmlTag& tag : ScanTags(html)) {
        if (tag.Name.find("xssprobe") != std::string::npos) faults.push_back("injected element <" + tag.Name + ">");
        for (const auto& [name, value] : tag.Attributes) {
            if (name.find("xssattr") != std::string::npos)
                faults.push_back("injected attribute " + name + " in <" + tag.Name + ">");
            if (name == "href" || name == "src" || name == "action") {
                size_t start = 0;
                while (start < value.size() && static_cast<unsigned char>(value[start]) <= 0x20) ++start;
                if (LowerText(value.substr(start)).starts_with("javascript:"))
                    faults.push_back("javascript: in " + name + " of <" + tag.Name + ">");
            }
        }
    }
    const std::string lower = LowerText(html);
    for (const std::string word : {"nan", "inf"}) {
        for (size_t at = lower.find(word); at != std::string::npos; at = lower.find(word, at + 1)) {
            const bool before = at > 0 && IsLetter(lower[at - 1]);
            const bool after = at + word.size() < lower.size() && IsLetter(lower[at + word.size()]);
            if (!before && !after) faults.push_back("\"" + word + "\" printed as a number");
        }
    }
    if (lower.find("-0.0") != std::string::npos) faults.push_back("-0.0 printed");
    if (lower.find("width=-") != std::string::npos || lower.find("width=\"-") != std::string::npos)
        faults.push_back("a negative width");
    return faults;
}

}  // namespace tlvx::test
