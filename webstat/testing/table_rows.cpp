#include "webstat/testing/table_rows.h"

#include <cctype>
#include <cstddef>

namespace tlvx::test {
namespace {

std::string Trim(std::string text) {
    const auto blank = [](char c) { return std::isspace(static_cast<unsigned char>(c)) != 0; };
    while (!text.empty() && blank(text.back())) text.pop_back();
    size_t start = 0;
    while (start < text.size() && blank(text[start])) ++start;
    return text.substr(start);
}

}  // namespace

std::string TTableRow::Attr(std::string_view tag, std::string_view name, size_t nth) const {
    for (const THtmlTag& t : Tags) {
        if (t.Name != tag) continue;
        if (nth-- > 0) continue;
        for (const auto& [n, v] : t.Attributes)
            if (n == name) return v;
        return "";
    }
    return "";
}

std::vector<TTableRow> TableRows(std::string_view html, std::string_view after) {
    std::vector<TTableRow> rows;
    size_t at = after.empty() ? 0 : html.find(after);
    if (at == std::string_view::npos) return rows;
    at = html.find("<table", at);
    if (at == std::string_view::npos) return rows;
    int depth = 0;
    std::string* cell = nullptr;
    while (at < html.size()) {
        if (html[at] != '<') {
            if (cell) *cell += html[at];
            ++at;
            continue;
        }
        const size_t end = html.find('>', at);
        if (end == std::string_view::npos) break;
        const std::string_view tag = html.substr(at, end - at + 1);
        at = end + 1;
        std::vector<THtmlTag> scanned = ScanTags(tag);
        const bool closing = tag.size() > 1 && tag[1] == '/';
        std::string name;
        for (size_t i = closing ? 2 : 1; i < tag.size() && std::isalnum(static_cast<unsigned char>(tag[i])); ++i)
            name += char(std::tolower(static_cast<unsigned char>(tag[i])));
        if (name == "table") {
            depth += closing ? -1 : 1;
            if (depth == 0) break;
        }
        if (!closing && depth == 1 && name == "tr") {
            rows.emplace_back();
            cell = nullptr;
        }
        if (!closing && depth == 1 && name == "td") {
            if (rows.empty()) rows.emplace_back();
            rows.back().Cells.emplace_back();
            cell = &rows.back().Cells.back();
        }
        if (!closing && !rows.empty() && !scanned.empty()) rows.back().Tags.push_back(scanned.front());
    }
    for (TTableRow& row : rows)
        for (std::string& text : row.Cells) text = Trim(text);
    return rows;
}

std::vector<TTableRow> BodyRows(std::string_view html, std::string_view after, size_t headRows,
                                size_t tailRows) {
    std::vector<TTableRow> rows = TableRows(html, after);
    if (rows.size() <= headRows + tailRows) return {};
    return std::vector<TTableRow>(rows.begin() + std::ptrdiff_t(headRows), rows.end() - std::ptrdiff_t(tailRows));
}

std::vector<std::string> Column(const std::vector<TTableRow>& rows, size_t column) {
    std::vector<std::string> cells;
    for (const TTableRow& row : rows) cells.push_back(column < row.Cells.size() ? row.Cells[column] : "?");
    return cells;
}

}  // namespace tlvx::test
