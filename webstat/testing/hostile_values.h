// What the report tests throw at every page: the page values of the page
// table (pages that join it later are covered with no change here), and
// hostile and boundary values for every query field a page reads.
#pragma once

#include <string>
#include <string_view>
#include <vector>

namespace tlvx::test {

// Markup and script, quotes for quoted and unquoted attributes, a script
// link, a header break, a very long value, Windows-1251 bytes, numbers out
// of every range and none at all. The markup carries the probes of
// html_scan.h.
std::vector<std::string> HostileValues();

// Every query field a report page reads, besides id and page.
inline constexpr std::string_view kPageQueryFields[] = {"nodename", "group",  "kind", "from",  "dates",
                                                        "compare",  "timesort", "node", "refname", "podr",
                                                        "sort",     "period", "show", "month", "ref"};

// Every page value of the page table in lower case, then the empty value
// and one the table does not hold.
std::vector<std::string> PageValuesToVisit();

// value as a query argument as a browser sends it: URL-encoded, bytes from
// 0x80 up included.
std::string QueryArg(std::string_view value);

// "id=ID&page=PAGE" and every page field set to value, each a QueryArg.
std::string QueryWithEveryField(const std::string& id, const std::string& page, const std::string& value);

}  // namespace tlvx::test
