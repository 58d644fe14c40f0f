// The rows of a table on a report page, as a browser groups them: cells
// and tags of nested tables (a bar drawn as a table in a cell) stay inside
// the cell of the outer row that holds them.
#pragma once

#include <string>
#include <string_view>
#include <vector>

#include "webstat/testing/html_scan.h"

namespace tlvx::test {

struct TTableRow {
    std::vector<std::string> Cells;  // the text of each cell, tags removed, trimmed
    std::vector<THtmlTag> Tags;      // every start tag of the row, nested ones too

    // The value of attribute name of the nth tag named tag in the row ("" when
    // there is none).
    std::string Attr(std::string_view tag, std::string_view name, size_t nth = 0) const;
};

// The rows of the first table that starts at or after the first `after`
// in html (the whole html when after is empty); empty when there is none.
std::vector<TTableRow> TableRows(std::string_view html, std::string_view after = {});

// The rows of that table less its first headRows and last tailRows (a head
// and a ruler or legend below the rows); empty when it has no more.
std::vector<TTableRow> BodyRows(std::string_view html, std::string_view after, size_t headRows,
                                size_t tailRows = 0);

// The texts of one column of rows ("?" for a row without that cell).
std::vector<std::string> Column(const std::vector<TTableRow>& rows, size_t column);

}  // namespace tlvx::test
