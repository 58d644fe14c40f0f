#include "webstat/testing/table_text.h"

#include <algorithm>
#include <cstdlib>

#include "platform/text.h"

namespace tlvx::test {
namespace {

// Text with its tags dropped, its entities decoded and its blanks (and
// &nbsp;) collapsed to one, trimmed.
std::string PlainText(std::string_view html) {
    std::string text;
    for (size_t at = 0; at < html.size();) {
        const char c = html[at];
        if (c == '<') {
            const size_t end = html.find('>', at);
            at = end == std::string_view::npos ? html.size() : end + 1;
            text += ' ';
            continue;
        }
        if (c == '&') {
            const size_t end = html.find(';', at);
            const std::string_view entity = end == std::string_view::npos || end - at > 10 ? "" : html.substr(at + 1, end - at - 1);
            std::string decoded;
            if (entity == "nbsp") decoded = " ";
            else if (entity == "amp") decoded = "&";
            else if (entity == "lt") decoded = "<";
            else if (entity == "gt") decoded = ">";
            else if (entity == "quot") decoded = "\"";
            else if (entity.starts_with('#')) decoded = std::string(1, char(std::atoi(std::string(entity.substr(1)).c_str())));
            if (!decoded.empty()) {
                text += decoded;
                at = end + 1;
                continue;
            }
        }
        text += c == '\r' || c == '\n' || c == '\t' ? ' ' : c;
        ++at;
    }
    std::string collapsed;
    for (const char c : text)
        if (c != ' ' || (!collapsed.empty() && collapsed.back() != ' ')) collapsed += c;
    while (!collapsed.empty() && collapsed.back() == ' ') collapsed.pop_back();
    return collapsed;
}

// The position of the next "<name" tag (any letter case) at or after from.
size_t FindTag(const std::string& lower, std::string_view name, size_t from) {
    for (size_t at = lower.find(name, from); at != std::string::npos; at = lower.find(name, at + 1)) {
        const char next = at + name.size() < lower.size() ? lower[at + name.size()] : '>';
        if (next == '>' || next == ' ' || next == '\t' || next == '\r' || next == '\n') return at;
    }
    return std::string::npos;
}

}  // namespace

std::vector<std::vector<std::string>> TableRows(std::string_view html) {
    const std::string lower = LowerAscii(html);
    std::vector<std::vector<std::string>> rows;
    for (size_t row = FindTag(lower, "<tr", 0); row != std::string::npos;) {
        const size_t next = FindTag(lower, "<tr", row + 3);
        const size_t end = std::min(next, lower.find("</table", row));
        std::vector<std::string> cells;
        for (size_t cell = lower.find("<t", row + 3); cell < end; cell = lower.find("<t", cell + 2)) {
            if (lower.compare(cell, 3, "<td") != 0 && lower.compare(cell, 3, "<th") != 0) continue;
            if (FindTag(lower, lower.substr(cell, 3), cell) != cell) continue;
            const size_t stop = std::min({end, FindTag(lower, "<td", cell + 3), FindTag(lower, "<th", cell + 3),
                                    lower.find("</td", cell), lower.find("</th", cell)});
            const size_t open = lower.find('>', cell);
            if (open == std::string::npos || open >= stop) continue;
            cells.push_back(PlainText(html.substr(open + 1, stop - open - 1)));
        }
        if (!cells.empty()) rows.push_back(std::move(cells));
        row = next;
    }
    return rows;
}

}  // namespace tlvx::test
