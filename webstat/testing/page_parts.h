// The parts of a framed report page that tests read: the title, the
// content area, the menu's entries with their markers, the cells of the
// summary panel. They know the frame's templates (page_templates.cpp).
#pragma once

#include <string>
#include <string_view>
#include <vector>

namespace tlvx::test {

// The text of the title element.
std::string PageTitle(std::string_view page);

// What the page builder put between the frame's content cell and its end
// ("" when the page is no framed page).
std::string ContentArea(std::string_view page);

// The menu in order: the page argument of each link ("main", "din", ...)
// and whether its marker is the current page's.
struct TMenuState {
    std::string Page;
    bool Current = false;
    friend bool operator==(const TMenuState&, const TMenuState&) = default;
};
std::vector<TMenuState> MenuStates(std::string_view page);

// The texts of the summary panel's cells in order: the figures table's 19
// (the head row's four, then five a row: label, total, yesterday, today,
// week growth), then the hot-page table's 6 (heads, names, counts).
std::vector<std::string> SummaryCells(std::string_view page);

// The server-time panel's line, from "Now at server" to the closing
// parenthesis ("" when the panel is off).
std::string ServerTimeLine(std::string_view page);

// The texts of a content area's table cells of one paragraph class, in
// order: "tabletext" for figures, "tableleft" for row labels, "tablehead"
// for column heads. A cell's text runs to its paragraph's or cell's end.
std::vector<std::string> CellTexts(std::string_view html, std::string_view paragraphClass);

// The widths of the bars of a content area ("<img height=10 width=N"), in
// order; -1 for a width that is no plain number.
std::vector<int> BarWidths(std::string_view html);

// The text between the first from (at or after start) and the next to
// after it; "" when from is missing, the rest when to is.
std::string TextBetween(std::string_view text, std::string_view from, std::string_view to, size_t start = 0);

// The texts of the paragraphs of a class (<p class="cls">...</p>) in order.
std::vector<std::string> ParagraphTexts(std::string_view html, std::string_view cls);

}  // namespace tlvx::test
