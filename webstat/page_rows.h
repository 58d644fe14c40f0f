// Pieces of the pages' lists and diagrams: the borders of the rows (each
// row's top border is darker on the first row, and the last row closes the
// list with a bottom border) and the rows of a legend.
#pragma once

#include <cstddef>
#include <string_view>

#include "platform/html_builder.h"

namespace tlvx {

// The colour of row k's top border (without its "#").
inline THtmlBuilder& TopBorder(THtmlBuilder& html, size_t k) {
    return k == 0 ? html.Add("CFCFCF") : html.Add("F1F1F1");
}

// The bottom border of the last row; nothing on the others.
inline THtmlBuilder& BottomBorder(THtmlBuilder& html, bool last) {
    return last ? html.Add("border-bottom:1px solid #CFCFCF;") : html;
}

// One row of a diagram's legend: text, then a 13-pixel swatch (swatchRow,
// a table row); rowOpen is the row's start tag.
inline void LegendRow(THtmlBuilder& html, THtmlLiteral rowOpen, std::string_view text, THtmlLiteral swatchRow) {
    html.Line(rowOpen);
    html.Line("<td align=right valign=middle><span class=\"smaller\">").Trusted(text).Add(":&nbsp;</span></td>");
    html.Line("<td valign=middle align=center width=20>");
    html.Line("<table width=13 height=13 cellspacing=0 cellpadding=0 border=0>");
    html.Line(swatchRow);
    html.Line("</table>");
    html.Line("</td>");
    html.Line("</tr>");
}

}  // namespace tlvx
