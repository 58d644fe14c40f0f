#include "webstat/testing/page_parts.h"

#include <algorithm>

namespace tlvx::test {
namespace {

std::string Between(std::string_view text, std::string_view open, std::string_view close, size_t from = 0) {
    const size_t a = text.find(open, from);
    if (a == std::string_view::npos) return "";
    const size_t b = text.find(close, a + open.size());
    if (b == std::string_view::npos) return "";
    return std::string(text.substr(a + open.size(), b - a - open.size()));
}

}  // namespace

std::string PageTitle(std::string_view page) { return Between(page, "<title>", "</title>"); }

std::string ContentArea(std::string_view page) {
    constexpr std::string_view open = "padding: 8px;\">\r\n";
    constexpr std::string_view close = "\r\n</td>\r\n</tr>\r\n</table>\r\n</td></tr>";
    const size_t a = page.find(open);
    const size_t footer = page.rfind("<tr><td height=30></td></tr>");
    if (a == std::string_view::npos || footer == std::string_view::npos) return "";
    const size_t b = page.rfind(close, footer);
    if (b == std::string_view::npos || b < a + open.size()) return "";
    return std::string(page.substr(a + open.size(), b - a - open.size()));
}

std::vector<TMenuState> MenuStates(std::string_view page) {
    constexpr std::string_view row = "<tr><td width=15 valign=middle align=center>";
    std::vector<TMenuState> states;
    for (size_t at = page.find(row); at != std::string_view::npos; at = page.find(row, at + 1)) {
        const size_t end = page.find("</tr>\r\n", page.find("navig1", at));
        const std::string_view entry = page.substr(at, end - at);
        TMenuState state;
        state.Current = entry.find("#B91510") != std::string_view::npos;
        state.Page = Between(entry, "&page=", "\"");
        states.push_back(state);
    }
    return states;
}

std::vector<std::string> SummaryCells(std::string_view page) {
    std::vector<std::string> cells;
    size_t at = 0;
    for (;;) {
        const size_t head = page.find("<p class=\"minitablehead\">", at);
        const size_t text = page.find("<p class=\"minitabletext\">", at);
        const size_t next = std::min(head, text);
        if (next == std::string_view::npos) break;
        const size_t start = page.find('>', next) + 1;
        const size_t end = page.find("</p>", start);
        cells.emplace_back(page.substr(start, end - start));
        at = end;
    }
    return cells;
}

std::vector<std::string> CellTexts(std::string_view html, std::string_view paragraphClass) {
    const std::string open = "<p class=\"" + std::string(paragraphClass) + "\">";
    std::vector<std::string> texts;
    for (size_t at = html.find(open); at != std::string_view::npos; at = html.find(open, at)) {
        at += open.size();
        const size_t end = std::min(html.find("</p>", at), html.find("</td>", at));
        texts.emplace_back(html.substr(at, end - at));
    }
    return texts;
}

std::vector<int> BarWidths(std::string_view html) {
    constexpr std::string_view open = "<img height=10 width=";
    std::vector<int> widths;
    for (size_t at = html.find(open); at != std::string_view::npos; at = html.find(open, at)) {
        at += open.size();
        const std::string_view digits = html.substr(at, html.find(' ', at) - at);
        int value = digits.empty() ? -1 : 0;
        for (char c : digits) value = (c >= '0' && c <= '9' && value >= 0) ? value * 10 + (c - '0') : -1;
        widths.push_back(value);
    }
    return widths;
}

std::string ServerTimeLine(std::string_view page) {
    const std::string line = Between(page, "<span class=\"smaller\">", "</span>");
    return line.starts_with("Now at server") ? line : "";
}

std::string TextBetween(std::string_view text, std::string_view from, std::string_view to, size_t start) {
    const size_t a = text.find(from, start);
    if (a == std::string_view::npos) return "";
    const size_t b = text.find(to, a + from.size());
    return std::string(text.substr(a + from.size(), b == std::string_view::npos ? std::string_view::npos
                                                                               : b - a - from.size()));
}

std::vector<std::string> ParagraphTexts(std::string_view html, std::string_view cls) {
    std::vector<std::string> texts;
    const std::string open = "<p class=\"" + std::string(cls) + "\">";
    for (size_t at = html.find(open); at != std::string_view::npos; at = html.find(open, at + 1)) {
        const size_t from = at + open.size();
        texts.emplace_back(html.substr(from, html.find("</p>", from) - from));
    }
    return texts;
}

}  // namespace tlvx::test
