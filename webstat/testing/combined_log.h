// Lines of a web server's access log in the Combined Log Format, read for
// replaying a real site's traffic through the counter:
//
//   1.2.3.4 - - [17/May/2015:10:05:03 +0000] "GET /path HTTP/1.1" 200 123 "referrer" "agent"
#pragma once

#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace tlvx::test {

struct TLogLine {
    std::string Client;  // the client's address as logged
    double When = 0;     // GMT as a day count
    std::string Method;
    std::string Path;   // the request's path without its query
    std::string Query;  // what follows "?", "" for none
    int Status = 0;
    std::string Referrer;  // "" for "-"
    std::string Agent;     // "" for "-"
};

// One line, or nothing when it is no such line. A user agent whose closing
// quote is missing runs to the end of the line.
std::optional<TLogLine> ParseCombinedLogLine(std::string_view line);

// The lines of a whole log that parse.
std::vector<TLogLine> ParseCombinedLog(std::string_view text);

// The counter node of a page view, "" when the line is none: a GET answered
// 200 whose path names no picture, style sheet, script or download, and no
// feed (the blog's feeds are its pages with "flav=" in the query).
// The path's segments become the node's names, each "." in a segment a
// "_" (the dot parts a node's names); "/" is the main page "index".
std::string PageViewNode(const TLogLine& line);

}  // namespace tlvx::test
