// The routines the report pages share over an open counter database: the
// period sums of a node, the best page and referrer of a day, the most
// frequent entry and exit pages, and the lists of node paths for the
// selection forms. They read through ICounter2 and the node interfaces
// only and change nothing.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

#include "model/counter2.h"
#include "webstat/report_period.h"

namespace tlvx {

// Period sums of a node: the node of path (the root when path is empty),
// with every node below it when subtree is set. A period with days sums the
// node's day records over PeriodRange (report_math.h) for the local date
// now; AllTime is the node's total since its creation (GetHits, plus
// GetGroupHits with subtree; visits likewise; visitors for both visitor
// routines). 0 for a value outside TPeriod and for a path that names no
// node. A page passes the request's one clock reading as now.
int64_t PeriodHits(ICounter2& counter, TPeriod period, std::string_view path, bool subtree, double now);
int64_t PeriodVisits(ICounter2& counter, TPeriod period, std::string_view path, bool subtree, double now);
int64_t PeriodNewVisitors(ICounter2& counter, TPeriod period, std::string_view path, bool subtree, double now);
int64_t PeriodVisitors(ICounter2& counter, TPeriod period, std::string_view path, bool subtree, double now);

// The best of a day: a count and what it belongs to. Name is "" and Count 0
// when nothing had any; the pages show "&nbsp;" then.
struct THotItem {
    int32_t Count = 0;
    std::string Name;
};

// The page with the most hits on day, among every node path but the main
// node's name: the first of equal counts in ListAllNodePaths order.
THotItem HotPage(ICounter2& counter, double day);

// The referrer host with the most transitions on day among the root's
// sources, leaving out "UNKNOWN" and the own host (upper-cased): the first
// of equal counts in the sources' order.
THotItem HotReferral(ICounter2& counter, std::string_view ownHost, double day);

// The most frequent entry page and exit page over every node path but the
// main node's name, each the first of equal counts, with its count and its
// share of all entries (exits) of every page, the main page's included, in
// whole per cent, halves to even; a page is "" when no page but the main
// page has any. Each side's count and share are set only when its total is
// above 0, else they keep the caller's values.
struct TEntryExitPages {
    std::string EntryPage;
    std::string ExitPage;
    int32_t EntryCount = 0;
    int32_t ExitCount = 0;
    int32_t EntryShare = 0;
    int32_t ExitShare = 0;
};
void BestEntryExitPages(ICounter2& counter, TEntryExitPages& best);

// Every node's dotted paths, each parent before the nodes below it.
StringArray ListAllNodePaths(ICounter2& counter);
// Those paths of ListAllNodePaths whose node has a child, in the same order.
StringArray ListGroupPaths(ICounter2& counter);
// The same from the paths ListAllNodePaths gave, for a page that shows both
// lists without walking the tree twice.
StringArray ListGroupPaths(ICounter2& counter, const StringArray& allPaths);

}  // namespace tlvx
