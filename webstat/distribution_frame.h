// What the weekday page and the hour page share: the node they show, their
// heading with the link to the whole site and the two node-choice forms,
// and the table pieces (head row, count cells with share and bar).
#pragma once

#include <cstdint>
#include <initializer_list>
#include <optional>
#include <string>
#include <string_view>

#include "model/counter2.h"
#include "platform/html_builder.h"
#include "webstat/report_context.h"

namespace tlvx {

// The node of "nodename" (the root when it is empty or names no node) and
// whether the page sums the nodes below it ("group" non-empty). The root
// already holds the whole site's figures, so it never adds its subtree.
struct TDistributionNode {
    std::string Name;  // "nodename" as given
    bool Group = false;
    Ref<INode> Node;   // null only without a node collection
    bool Found = false;  // Name names a node: Node is that node, not the root
    bool Subtree = false;
};
TDistributionNode ChooseDistributionNode(const TReportContext& context);

// The heading's three wordings: for a group, for a page, for the site.
struct THeadingTexts {
    THtmlLiteral Group, Page, Site;
};
// "<h1>" + title + "</h1>", the page's first text: the group or page
// wording followed by the name as given, or the site's wording.
void WriteDistributionHeading(THtmlBuilder& html, const TDistributionNode& choice, const THeadingTexts& texts);

// The link to the whole site's figures and the framed forms "For group:"
// and "For page:" that choose a node. pageValue is the page's value of
// "page"; a non-null kind is carried in both forms as a hidden field.
void WriteNodeChoice(THtmlBuilder& html, const TReportContext& context, THtmlLiteral pageValue,
                     const std::string* kind);

// The table's opening and its head row of "tablehead" cells.
void WriteDistributionTableHead(THtmlBuilder& html, std::initializer_list<THtmlLiteral> captions);

// Where a row stands in its run of rows: the first has a dark top border,
// the last a dark bottom border.
struct TRunPlace {
    bool First = false;
    bool Last = false;
};

// A label cell ("tableleft", dark left border) holding a trusted text, or
// the HTML of a builder.
void WriteLabelCell(THtmlBuilder& html, THtmlLiteral label, TRunPlace place);
void WriteLabelCell(THtmlBuilder& html, const THtmlBuilder& label, TRunPlace place);
// The label of an hour: "0-1" ... "23-24".
THtmlBuilder HourLabel(int32_t hour);

// The hits, share and bar cells of a row: count in decimal; its share of
// total by "0.00%" ("&nbsp" when total is 0); a bar of count / maximum x 400
// pixels, halves to even (0 when maximum is 0).
void WriteCountCells(THtmlBuilder& html, int64_t count, int64_t total, int64_t maximum, TRunPlace place);
// Its pieces: the count (the text none for none), and the bar alone (empty
// for none).
void WriteNumberCell(THtmlBuilder& html, std::optional<int64_t> count, TRunPlace place,
                     THtmlLiteral none = "&nbsp;");
// A number cell of a value by a FormatFloat pattern.
void WriteFloatCell(THtmlBuilder& html, THtmlLiteral pattern, double value, TRunPlace place);
void WriteBarCell(THtmlBuilder& html, std::optional<int64_t> count, int64_t maximum, TRunPlace place);

}  // namespace tlvx
