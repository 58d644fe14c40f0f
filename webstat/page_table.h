// The one table of the report pages. Each line registers a page: its value
// of the query field "page", its page code, its title, its menu entry and
// its builder. The dispatch, the title of the head and the menu all read it,
// so they cannot disagree.
//
// Registering a page:
//   {"TIMES", 5, "Hourly", {"timestab", "timeslink", "stimes", "Hourly", kSpacerAfter},
//    BuildTimesPage, kReadsStatistics},
// A report this version does not make names BuildNotIncludedPage, so that
// no page shows an empty content area. The lines stand in the order of the
// menu.
#pragma once

#include <cstdint>
#include <span>
#include <string_view>

#include "platform/web_request.h"
#include "webstat/report_context.h"

namespace tlvx {

// One entry of the left menu: the menu template's three tags for it (the
// current-page marker, the link, the caption) and the caption's text. The
// link is script + "?id=" + id + "&page=" + the page value in lower case.
struct TMenuEntry {
    std::string_view MarkerTag;
    std::string_view LinkTag;
    std::string_view CaptionTag;
    std::string_view Caption;
    bool SpacerAfter = false;  // a blank row of 10 pixels follows the entry
};

inline constexpr bool kSpacerAfter = true;
inline constexpr bool kReadsStatistics = true;
inline constexpr bool kReadsNoStatistics = false;

struct TReportPage {
    std::string_view Value;  // the query's page value, upper-cased
    int32_t Code;
    std::string_view Title;  // follows "Tallyvex2 web interface: "
    TMenuEntry Menu;         // no entry when its Caption is empty
    TPageBuilder Builder;
    // Without a database only the pages that read no statistics are built;
    // every page shows the notice that there are no statistics yet.
    bool NeedsDatabase;

    bool HasMenuEntry() const { return !Menu.Caption.empty(); }
};

// Every page, in menu order, then the pages without a menu entry.
std::span<const TReportPage> ReportPages();

inline constexpr int32_t kMainPageCode = 0;
// The code of a page value the table does not hold (also the empty value);
// it is answered, titled and marked in the menu as the MAIN page.
inline constexpr int32_t kUnlistedPageCode = 14;

// The code of a page value: upper-cased (ASCII letters only) and compared
// exactly with the table; kUnlistedPageCode for any other value.
int32_t PageCodeOf(std::string_view pageValue);
// The code of the request's query field "page".
int32_t GetPageNumber(const TWebRequest& request);
// The table line of a code; the MAIN page's for kUnlistedPageCode and for
// any code the table does not hold.
const TReportPage& PageOfCode(int32_t code);

}  // namespace tlvx
