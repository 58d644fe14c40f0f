#include "webstat/testing/table_text.h"

#include <gtest/gtest.h>

namespace tlvx::test {
namespace {

TEST(TableText, RowsAsTheyReadWithTagsDroppedAndEntitiesDecoded) {
    const std::string html =
        "<table><TR><th class=x>Hour</th><td>Hits\r\n</td></tr>"
        "<tr><td><a href=\"?h=0\">0-1</a><td>1&nbsp;234 <b>x</b><td>&lt;b&gt;&#65;&amp;</td></tr>"
        "<tr><td><table><tr><td bgcolor=red></td></tr></table></td><td>MSIE 4<td>7</tr>"
        "</table><p>outside</p><tr-like>";
    const std::vector<std::vector<std::string>> rows = TableRows(html);
    ASSERT_EQ(4u, rows.size());
    EXPECT_EQ((std::vector<std::string>{"Hour", "Hits"}), rows[0]);
    EXPECT_EQ((std::vector<std::string>{"0-1", "1 234 x", "<b>A&"}), rows[1]);
    EXPECT_EQ((std::vector<std::string>{""}), rows[2]);  // the colour box inside the next row
    EXPECT_EQ((std::vector<std::string>{"", "MSIE 4", "7"}), rows[3]);
}

}  // namespace
}  // namespace tlvx::test
