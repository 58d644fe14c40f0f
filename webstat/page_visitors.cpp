// VISITORS: the visitors the counter recognised by their cookie. First the
// most active ones in the order "sort" asks for ("show" rows of them), then
// those whose last visit falls in the period "period", newest first. Each
// row: the address, its region in the geo database, the organisation of the
// configuration's described networks that owns it, hits, site views and the
// first and last visit.
#include <algorithm>
#include <cmath>
#include <vector>

#include "model/time_split.h"
#include "model/visitor_collection.h"
#include "platform/text.h"
#include "webstat/choice_links.h"
#include "webstat/geo_collection.h"
#include "webstat/page_builders.h"
#include "webstat/report_math.h"
#include "webstat/ui_text_eng.h"

namespace tlvx {
namespace {

// The orders of the visitor list.
enum class TVisitorOrder {
    Address = 1,     // ascending, first byte most significant
    LastVisit = 2,   // newest first
    FirstVisit = 3,  // oldest first
    Hits = 4,        // most first
    Visits = 5,      // most first
};

// The address of a visitor whose first key was read; 0 without a key.
uint32_t ReadAddress(const TVisitorEntry& visitor) {
    return visitor.FirstKey ? AddressOfVisitorKey(*visitor.FirstKey) : 0;
}

// The address a row shows: the visitor's first key, read when first asked.
uint32_t AddressOf(TVisitorEntry& visitor) {
    FirstVisitorKey(visitor);
    return ReadAddress(visitor);
}

// The visitors in the order a table lists them; the entries stay in place.
using TVisitorOrdering = std::vector<TVisitorEntry*>;

// Sorts stably by order: equal keys keep the list's order before.
void SortVisitors(TVisitorOrdering& list, TVisitorOrder order) {
    if (order == TVisitorOrder::Address)
        for (TVisitorEntry* visitor : list) AddressOf(*visitor);
    auto before = [order](const TVisitorEntry* a, const TVisitorEntry* b) {
        const TVisitorEntry& x = *a;
        const TVisitorEntry& y = *b;
        switch (order) {
            case TVisitorOrder::Address: return ReadAddress(x) < ReadAddress(y);
            case TVisitorOrder::LastVisit: return x.LastTime > y.LastTime;
            case TVisitorOrder::FirstVisit: return x.FirstTime < y.FirstTime;
            case TVisitorOrder::Hits: return x.Hits > y.Hits;
            case TVisitorOrder::Visits: return x.Visits > y.Visits;
        }
        return GuidToStr(x.VisitorId) > GuidToStr(y.VisitorId);
    };
    std::stable_sort(list.begin(), list.end(), before);
}

// The query values as given (links repeat them so) and what they mean.
struct TVisitorsQuery {
    std::string Sort, Show, Period;
    TVisitorOrder Order = TVisitorOrder::Visits;
    int32_t Rows = 10;
    std::string_view PeriodValue = "today";
    double Now = 0;

    explicit TVisitorsQuery(const TReportContext& context)
        : Sort(context.Query("sort")), Show(context.Query("show")), Period(context.Query("period")), Now(context.Now) {
        int32_t n = 0;
        if (TryStrToInt(Sort, n) && n >= 1 && n <= 5) Order = TVisitorOrder(n);
        if (TryStrToInt(Show, n) && (n == 10 || n == 25 || n == 50 || n == 100)) Rows = n;
        for (std::string_view p : {"today", "yest", "7", "30", "90"})
            if (Period == p) PeriodValue = p;
    }
};

// What the rows read besides the visitor: the geo database and the
// configuration's described networks.
struct TRowSources {
    Ref<IGeoCollection> Geo;
    const TBaseConf& Conf;
};

void WriteHeadCell(THtmlBuilder& html) {
    html.Line("<td style=\"border-bottom:1px solid white; border-left:1px solid white;\"><p class=\"tablehead\">");
}

// The seven captions; with query, "Hits", "Site views" and "The last
// visit" are links that sort the table by them.
void WriteVisitorTableHead(THtmlBuilder& html, const TReportContext& context, const TVisitorsQuery* query) {
    html.Line("<tr bgcolor=#BDCFE3>");
    struct TCaption {
        THtmlLiteral Text;
        THtmlLiteral SortArg;  // "" for a caption without a link
    };
    const TCaption captions[] = {{UiText("IP-address"), ""},          {UiText("Geography"), ""},
                                 {UiText("Organization"), ""},        {UiText("Hits"), "&sort=4"},
                                 {UiText("Site&nbsp;views"), "&sort=5"}, {UiText("The first visit"), ""},
                                 {UiText("The last visit"), "&sort=2"}};
    for (const TCaption& caption : captions) {
        WriteHeadCell(html);
        if (query && !caption.SortArg.View().empty()) {
            html.Add("<a class=\"navig2\" href=\"").Attr(context.ScriptName).Add("?page=visitors&id=").Url(context.Id);
            html.Add("&show=").Url(query->Show).Add("&period=").Url(query->Period).Add(caption.SortArg).Add("\">");
            html.Trusted(caption.Text).Add("</a>");
        } else {
            html.Trusted(caption.Text);
        }
        html.Add("</p></td>");
    }
    html.Line("</tr>");
}

void WriteVisitorRow(THtmlBuilder& html, const TVisitorEntry& visitor, size_t position, const TRowSources& sources) {
    const uint32_t address = ReadAddress(visitor);
    if (position % 2 == 0) html.Line("<tr bgcolor=#FFFFFF>");
    else html.Line("<tr bgcolor=#F7FBFF>");
    html.Line("<td style=\"border-left:1px solid #CFCFCF; border-top:1px solid #F1F1F1;\" align=left>"
              "<p class=\"tabletext\">")
        .Text(IpToStr(address))
        .Add("</p></td>");
    html.Line("<td style=\"border-left:1px solid #F1F1F1; border-top:1px solid #F1F1F1;\"><p class=\"tabletext\">")
        .Text(GeoRegionOf(address, sources.Geo))
        .Add("</p></td>");
    html.Line("<td style=\"border-left:1px solid #F1F1F1; border-top:1px solid #F1F1F1;\"><p class=\"tabletext\">")
        .Text(NetworkNameOf(address, sources.Conf))
        .Add("</p></td>");
    html.Line("<td style=\"border-left:1px solid #F1F1F1; border-top:1px solid #F1F1F1;\" align=center>"
              "<p class=\"tabletext\">")
        .Int(visitor.Hits)
        .Add("</p></td>");
    html.Line("<td style=\"border-left:1px solid #F1F1F1; border-top:1px solid #F1F1F1;\" align=center>"
              "<p class=\"tabletext\">")
        .Int(visitor.Visits)
        .Add("</p></td>");
    html.Line("<td style=\"border-left:1px solid #F1F1F1; border-top:1px solid #F1F1F1;\" align=center>"
              "<p class=\"tabletext\">")
        .Date("dd.mm.yy", visitor.FirstTime)
        .Add("</p></td>");
    html.Line("<td style=\"border-left:1px solid #F1F1F1; border-top:1px solid #F1F1F1; "
              "border-right:1px solid #CFCFCF;\" align=center><p class=\"tabletext\">")
        .Date("dd.mm.yy:hh.nn.ss", visitor.LastTime)
        .Add("</p></td>");
    html.Line("</tr>");
}

// The 1-pixel row under a table's footer, and the table's end.
void CloseVisitorTable(THtmlBuilder& html) {
    html.Line("<tr><td colspan=7 height=1 bgcolor=#CFCFCF></td></tr>");
    html.Line("</table><br>");
}

// "The most active visitors:" with the page sizes the list can fill, the
// table of the first rows in the asked order, and the count of all.
void WriteMostActive(THtmlBuilder& html, const TReportContext& context, const TVisitorsQuery& query,
                     const TVisitorOrdering& list, const TRowSources& sources) {
    const size_t count = list.size();
    html.Line("<h2>").Trusted(UiText("The most active visitors:")).Add("&nbsp;&nbsp;");
    struct TPageSize {
        int32_t Rows;
        THtmlLiteral Label;
    };
    static constexpr TPageSize kSizes[] = {{10, "10"}, {25, "25"}, {50, "50"}, {100, "100"}};
    const size_t offered = count > 50 ? 4 : count > 25 ? 3 : count > 10 ? 2 : 1;
    std::vector<TChoice> sizes;
    for (size_t i = 0; i < offered; ++i)
        sizes.push_back({kSizes[i].Rows == query.Rows, kSizes[i].Label, [&context, &query, i](THtmlBuilder& h) {
                             h.Attr(context.ScriptName).Add("?sort=").Url(query.Sort);
                             h.Add("&period=").Url(query.Period).Add("&page=visitors&id=").Url(context.Id);
                             h.Add("&show=").Int(kSizes[i].Rows);
                         }});
    html.Line();
    WriteChoices(html, sizes, "&nbsp;&nbsp;\r\n", TChoiceSpans::AroundEach);
    html.Line("</h2>");
    html.Line("<br>");

    html.Line("<table width=100% cellspacing=0 cellpadding=0 border=0>");
    WriteVisitorTableHead(html, context, &query);
    const size_t rows = std::min(count, size_t(query.Rows));
    for (size_t i = 0; i < rows; ++i) WriteVisitorRow(html, *list[i], i, sources);
    html.Line("<tr><td bgcolor=#E0EEF6  style=\"border-left:1px solid #CFCFCF; border-right:1px solid #CFCFCF; "
              "border-top:1px solid #CFCFCF;\" colspan=7>")
        .Trusted(UiText("Total records"))
        .Add(" - ")
        .Int(int64_t(count))
        .Add("</td></tr>");
    CloseVisitorTable(html);
}

// The periods of the history of visits and the days of history each needs.
struct TPeriodChoice {
    THtmlLiteral Value;
    THtmlLiteral Label;
    int32_t DaysNeeded;
    int32_t DaysBack;  // the period starts this many days before today
};
constexpr TPeriodChoice kPeriods[] = {{"today", UiText("Today"), 1, 0},
                                      {"yest", UiText("Yesterday"), 2, 1},
                                      {"7", UiText("7 days"), 7, 7},
                                      {"30", UiText("30 days"), 30, 30},
                                      {"90", UiText("90 days"), 90, 90}};

// The days whose visitors the history of visits lists.
struct TDayRange {
    double From = 0, To = 0;
    bool Holds(double day) const { return day >= From && day <= To; }
};

TDayRange HistoryRange(const TVisitorsQuery& query) {
    const TPeriodChoice& chosen =
        *std::find_if(std::begin(kPeriods), std::end(kPeriods),
                      [&](const TPeriodChoice& p) { return p.Value == query.PeriodValue; });
    const double today = DayNumber(query.Now);
    return {today - chosen.DaysBack, query.PeriodValue == "yest" ? today - 1 : today};
}

// Reads the address of every row the two tables show (list is in the
// order of the most active), then lets each visitor's atom go: the rows are
// formatted without the database.
void ReadShownAddresses(TVisitorOrdering& list, const TVisitorsQuery& query) {
    const TDayRange days = HistoryRange(query);
    for (size_t i = 0; i < list.size(); ++i)
        if (i < size_t(query.Rows) || days.Holds(WholeDay(list[i]->LastTime))) AddressOf(*list[i]);
    for (TVisitorEntry* visitor : list) visitor->Atom.reset();
}

// "History of visits:" with the periods the history covers, and the table
// of the visitors last seen in the chosen one, newest first.
void WriteHistory(THtmlBuilder& html, const TReportContext& context, const TVisitorsQuery& query,
                  TVisitorOrdering& list, double historyDays, const TRowSources& sources) {
    html.Line("<h2>").Trusted(UiText("History of visits:")).Add("&nbsp;&nbsp;");
    std::vector<TChoice> periods;
    for (const TPeriodChoice& period : kPeriods)
        if (historyDays >= period.DaysNeeded)
            periods.push_back({period.Value == query.PeriodValue, period.Label, [&context, &query, &period](THtmlBuilder& h) {
                                   h.Attr(context.ScriptName).Add("?show=").Url(query.Show);
                                   h.Add("&page=visitors&id=").Url(context.Id).Add("&period=").Trusted(period.Value);
                               }});
    html.Line();
    WriteChoices(html, periods, "&nbsp;&nbsp;\r\n", TChoiceSpans::AroundEach);
    html.Line("</h2><br>");

    const TDayRange days = HistoryRange(query);
    html.Line("<table cellspacing=0 cellpadding=0 border=0 width=100%>");
    WriteVisitorTableHead(html, context, nullptr);
    SortVisitors(list, TVisitorOrder::LastVisit);
    int64_t shown = 0;
    for (size_t i = 0; i < list.size(); ++i) {
        const double day = WholeDay(list[i]->LastTime);
        if (day > days.To) continue;
        if (day < days.From) break;
        WriteVisitorRow(html, *list[i], i, sources);
        ++shown;
    }
    html.Line("<tr><td bgcolor=#E0EEF6 style=\"border-left:1px solid #CFCFCF; border-right:1px solid #CFCFCF; "
              "border-top:1px solid #CFCFCF;\" colspan=7>")
        .Trusted(UiText("Total records by period"))
        .Add(" - ")
        .Int(shown)
        .Add("</td></tr>");
    CloseVisitorTable(html);
}

}  // namespace

std::string BuildVisitorsPage(const TReportContext& context) {
    THtmlBuilder html;
    html.Add("<h1>").Trusted(UiText("The site visitors")).Add("</h1>");
    Ref<IVisitorCollection> visitors = context.Counter->GetVisitors();
    if (!visitors) return html.Take();

    const TVisitorsQuery query(context);
    const TCounterSettings settings = context.Counter->GetSettings();
    TVisitorEntries entries = visitors->ListVisitorEntries(settings.StartTime);
    TVisitorOrdering list;
    list.reserve(entries.size());
    for (TVisitorEntry& entry : entries) list.push_back(&entry);
    TRowSources sources{nullptr, context.Conf};
    if (!context.Conf.GeoDataBaseName.empty()) OpenGeoCollection(context.Conf.GeoDataBaseName, sources.Geo);
    // Calendar days of history, today's included; a damaged start time
    // counts as no history before today.
    const double start = std::isfinite(settings.StartTime) ? settings.StartTime : context.Now;
    const double historyDays = WholeDay(context.Now) - WholeDay(start) + 1;

    SortVisitors(list, query.Order);
    ReadShownAddresses(list, query);
    // All read: ten thousand rows are formatted without the database.
    visitors.reset();
    context.ReleaseDatabase();
    WriteMostActive(html, context, query, list, sources);
    WriteHistory(html, context, query, list, historyDays, sources);
    return html.Take();
}

}  // namespace tlvx
