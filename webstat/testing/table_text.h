// The text of a page's tables as a person reads it: every table row as its
// cells' texts, tags dropped, entities decoded, blanks collapsed. Tests
// that know a page only by what it shows (not by its markup) read it so.
#pragma once

#include <string>
#include <string_view>
#include <vector>

namespace tlvx::test {

// The rows of every table of html, each as its cells' texts, in the order
// they end: the rows of a table inside a cell come before the row that
// holds it, whose cell keeps none of their text.
std::vector<std::vector<std::string>> TableRows(std::string_view html);

}  // namespace tlvx::test
