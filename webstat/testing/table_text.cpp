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

// One open table: the row being read and the cell being read.
struct TOpenTable {
    std::vector<std::string> Row;
    std::string Cell;  // the cell's markup so far
    bool InCell = false;
    bool InRow = false;
};

}  // namespace

std::vector<std::vector<std::string>> TableRows(std::string_view html) {
    std::vector<std::vector<std::string>> rows;
    std::vector<TOpenTable> open;
    auto endCell = [&] {
        if (open.empty() || !open.back().InCell) return;
        open.back().Row.push_back(PlainText(open.back().Cell));
        open.back().Cell.clear();
        open.back().InCell = false;
    };
    auto endRow = [&] {
        endCell();
        if (open.empty() || !open.back().InRow) return;
        if (!open.back().Row.empty()) rows.push_back(std::move(open.back().Row));
        open.back().Row.clear();
        open.back().InRow = false;
    };
    for (size_t at = 0; at < html.size();) {
        if (html[at] != '<') {
            const size_t next = std::min(html.find('<', at), html.size());
            if (!open.empty() && open.back().InCell) open.back().Cell.append(html.substr(at, next - at));
            at = next;
            continue;
        }
        const size_t close = std::min(html.find('>', at), html.size() - 1);
        const std::string_view tag = html.substr(at, close + 1 - at);
        size_t nameEnd = 1;
        while (nameEnd < tag.size() && tag[nameEnd] != ' ' && tag[nameEnd] != '>' && tag[nameEnd] != '\t' &&
               tag[nameEnd] != '\r' && tag[nameEnd] != '\n')
            ++nameEnd;
        const std::string name = LowerAscii(tag.substr(1, nameEnd - 1));
        if (name == "table") {
            open.emplace_back();
        } else if (name == "/table") {
            endRow();
            if (!open.empty()) open.pop_back();
        } else if (name == "tr") {
            endRow();
            if (!open.empty()) open.back().InRow = true;
        } else if (name == "/tr") {
            endRow();
        } else if (name == "td" || name == "th") {
            endCell();
            if (!open.empty()) {
                open.back().InRow = true;
                open.back().InCell = true;
            }
        } else if (name == "/td" || name == "/th") {
            endCell();
        } else if (!open.empty() && open.back().InCell) {
            open.back().Cell += ' ';
        }
        at = close + 1;
    }
    return rows;
}

}  // namespace tlvx::test
