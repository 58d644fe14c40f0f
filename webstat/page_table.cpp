#include "webstat/page_table.h"

#include <array>

#include "platform/text.h"
#include "webstat/page_builders.h"
#include "webstat/ui_text_eng.h"

namespace tlvx {
namespace {

// The titles and captions are the English table's (UiText checks each
// wording when this compiles). RETS and REGION have no title of their own
// and read "General"; BRW and LANGS have an empty one.
const std::array<TReportPage, 15> kPages{{
    {"MAIN", 0, UiText("General"), {"maintab", "mainlink", "smain", UiText("General")}, BuildMainPage, kReadsStatistics},
    {"DIN", 3, UiText("Dynamics"), {"dintab", "dinlink", "sdin", UiText("Dynamics")}, BuildDinPage, kReadsStatistics},
    {"NODES", 4, UiText("Pages"), {"nodetab", "pagelink", "snodes", UiText("Pages")}, BuildNodesPage, kReadsStatistics},
    {"REFS", 8, UiText("Referrals"), {"reftab", "reflink", "sref", UiText("Referrals")}, BuildRefsPage, kReadsStatistics},
    {"VISITORS", 16, UiText("Visitors"), {"vistab", "vislink", "svis", UiText("Visitors")}, BuildVisitorsPage, kReadsStatistics},
    {"GEO", 10, UiText("Geography"), {"geotab", "geolink", "sgeo", UiText("Geography")}, BuildNotIncludedPage, kReadsNoStatistics},
    {"PATHS", 9, UiText("Entry/Exit points"), {"entrtab", "pathslink", "sentries", UiText("Entry/Exit points"), kSpacerAfter}, BuildNotIncludedPage, kReadsNoStatistics},
    {"CALENDAR", 2, UiText("Calendar"), {"caltab", "calenlink", "scal", UiText("Calendar")}, BuildCalendarPage, kReadsStatistics},
    {"WEEKS", 6, UiText("Daily"), {"weektab", "weeklink", "sweek", UiText("Daily")}, BuildWeeksPage, kReadsStatistics},
    {"TIMES", 5, UiText("Hourly"), {"timestab", "timeslink", "stimes", UiText("Hourly"), kSpacerAfter}, BuildTimesPage, kReadsStatistics},
    {"ABOUT", 1, UiText("About Tallyvex"), {"abouttab", "aboutlink", "sabout", UiText("About Tallyvex")}, BuildAboutPage, kReadsNoStatistics},
    {"RETS", 7, UiText("General"), {}, BuildNotIncludedPage, kReadsNoStatistics},
    {"REGION", 11, UiText("General"), {}, BuildNotIncludedPage, kReadsNoStatistics},
    {"BRW", 12, "", {}, BuildNotIncludedPage, kReadsNoStatistics},
    {"LANGS", 13, "", {}, BuildNotIncludedPage, kReadsNoStatistics},
}};

}  // namespace

std::span<const TReportPage> ReportPages() { return kPages; }

int32_t PageCodeOf(std::string_view pageValue) {
    const std::string upper = UpperAscii(pageValue);
    for (const TReportPage& page : kPages)
        if (page.Value == upper) return page.Code;
    return kUnlistedPageCode;
}

int32_t GetPageNumber(const TWebRequest& request) {
    return PageCodeOf(request.QueryFields().Value("page"));
}

const TReportPage& PageOfCode(int32_t code) {
    for (const TReportPage& page : kPages)
        if (page.Code == code) return page;
    return kPages[0];
}

}  // namespace tlvx
