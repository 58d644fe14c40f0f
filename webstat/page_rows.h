// The borders of the rows of the pages' lists and diagrams: each row's top
// border is darker on the first row, and the last row closes the list with
// a bottom border.
#pragma once

#include <cstddef>

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

}  // namespace tlvx
