// CALENDAR: the figures of the whole site, a group, a page or one referral
// source day by day. A row a day of a month (the current one, or the one
// "month" names as yyyy-mm), of the last 30 days ("period=30"), or a row a
// month since the history began ("period=all"). A row holds the hits, site
// views and visitors of its days (a referral: its transitions to the node
// or the site) and a bar against the busiest row; the table ends with the
// total and the average per day over the days of the table that the
// history covers. Days after today have empty cells; today's row is marked.
// A row or total of several days shows visitors only where the database
// holds their distinct number (SpanVisitors), "---" elsewhere.
//
// The subject: "nodename" with "group" (the group and every page below it)
// or without (the page); "kind=ref" with "ref" (the source) and "node" (the
// page it led to, else "nodename"; the site when empty or unknown).
#include <algorithm>
#include <optional>
#include <string>
#include <vector>

#include "model/time_split.h"
#include "platform/clock.h"
#include "platform/html_builder.h"
#include "webstat/choice_links.h"
#include "webstat/distribution_frame.h"
#include "webstat/page_builders.h"
#include "webstat/report_math.h"
#include "webstat/report_queries.h"
#include "webstat/ui_text_eng.h"

namespace tlvx {
namespace {

enum class TCalendarView { Month, LastDays, AllMonths };

// A month as whole months since the year 0: year * 12 + month - 1.
using TMonth = int64_t;

constexpr int64_t kLastDaysShown = 30;
// The monthly view reaches back at most this far: a start of the history
// further back can only be a damaged settings record.
constexpr int64_t kLongestHistoryDays = 36525;  // 100 years

TMonth MonthOfDay(int64_t day) {
    const TDateParts parts = DecodeDateTime(double(day));
    return TMonth(parts.year) * 12 + parts.month - 1;
}
int YearOf(TMonth month) { return int(month / 12); }
int MonthNumberOf(TMonth month) { return int(month % 12) + 1; }
int64_t FirstDayOf(TMonth month) { return int64_t(EncodeDateTime(YearOf(month), MonthNumberOf(month), 1)); }
int64_t LastDayOf(TMonth month) { return FirstDayOf(month) + DaysInMonth(YearOf(month), MonthNumberOf(month)) - 1; }

// "yyyy-mm" of a month of the years 1 to 9999; nothing for any other text.
std::optional<TMonth> ParseMonth(const std::string& text) {
    if (text.size() != 7 || text[4] != '-') return std::nullopt;
    const auto number = [&](size_t at, size_t count) {
        int value = 0;
        for (size_t i = at; i < at + count; ++i) {
            if (text[i] < '0' || text[i] > '9') return -1;
            value = value * 10 + (text[i] - '0');
        }
        return value;
    };
    const int year = number(0, 4), month = number(5, 2);
    if (year < 1 || month < 1 || month > 12) return std::nullopt;
    return TMonth(year) * 12 + month - 1;
}

// "&month=yyyy-mm", as ParseMonth reads it.
void WriteMonthArg(THtmlBuilder& html, TMonth month) {
    html.Add("&month=").Date("yyyy-mm", double(FirstDayOf(month)));
}

// What the calendar counts, and the days it covers.
struct TCalendar {
    bool Referral = false;
    std::string Source;  // the source of a referral
    // The node as found: "" for the whole site (also for a name that names
    // no node); Group sums it with every node below it.
    std::string NodeName;
    bool Group = false;
    Ref<INode> Node;      // null only without a node tree
    Ref<INodeInfo> Info;  // the node's, for a referral

    int64_t Today = 0;
    int64_t FirstDay = 0;  // of the history, never after today
    // The subject's distinct visitors since the history began, as the
    // General page shows them; not read for a referral.
    int64_t AllTimeVisitors = 0;
    TCalendarView View = TCalendarView::Month;
    TMonth Month = 0;  // shown in the month view, within the history
};

TCalendar ReadRequest(const TReportContext& ctx) {
    TCalendar c;
    const double now = ctx.Now;
    c.Today = DayNumber(now);
    const TCounterSettings settings = ctx.Counter->GetSettings();
    const int64_t history = std::min<int64_t>(HistoryDays(now, settings.StartTime), kLongestHistoryDays);
    c.FirstDay = std::max(c.Today - history + 1, int64_t(EncodeDateTime(1, 1, 1)));

    const std::string period = ctx.Query("period");
    c.View = period == "all" ? TCalendarView::AllMonths : period == "30" ? TCalendarView::LastDays : TCalendarView::Month;
    const TMonth first = MonthOfDay(c.FirstDay), current = MonthOfDay(c.Today);
    c.Month = std::clamp(ParseMonth(ctx.Query("month")).value_or(current), first, current);

    c.Source = ctx.Query("ref");
    c.Referral = ctx.Query("kind") == "ref" && !c.Source.empty();
    if (c.Referral) {
        std::string node = ctx.Query("node");
        if (node.empty()) node = ctx.Query("nodename");
        Ref<INodeCollection> nodes = ctx.Counter->GetNodes();
        c.Node = node.empty() ? nullptr : nodes->FindNode(node, false);
        if (c.Node) c.NodeName = node;
        else c.Node = nodes->GetRoot();
        c.Info = c.Node ? c.Node->GetInfo() : nullptr;
        return c;
    }
    TDistributionNode choice = ChooseDistributionNode(ctx);
    c.Node = std::move(choice.Node);
    if (choice.Found) {
        c.NodeName = choice.Name;
        c.Group = choice.Group;
        c.AllTimeVisitors = PeriodVisitors(*ctx.Counter, TPeriod::AllTime, c.NodeName, c.Group, now);
    } else {
        c.AllTimeVisitors = settings.TotalVisitors;
    }
    return c;
}

// The figures of a run of days: hits, site views and visitors, or a
// referral's transitions as Hits.
struct TFigures {
    int64_t Hits = 0;
    int64_t Views = 0;
    // Each day's visitors added up: a visitor of three days counts three
    // times. What the average per day divides.
    int64_t DayVisitors = 0;
    std::optional<int64_t> Visitors;  // distinct; none where unknown
};

// One row of the table: a day, or a month in the monthly view.
struct TRow {
    int64_t FirstDay = 0;
    int64_t LastDay = 0;
    std::optional<TFigures> Figures;  // none for a day after today
};

// The rows of the view, their days only.
std::vector<TRow> RowsOfView(const TCalendar& c) {
    std::vector<TRow> rows;
    if (c.View == TCalendarView::AllMonths) {
        for (TMonth m = MonthOfDay(c.FirstDay); m <= MonthOfDay(c.Today); ++m)
            rows.push_back({FirstDayOf(m), std::min(LastDayOf(m), c.Today), std::nullopt});
        return rows;
    }
    const int64_t first = c.View == TCalendarView::LastDays ? c.Today - kLastDaysShown + 1 : FirstDayOf(c.Month);
    const int64_t last = c.View == TCalendarView::LastDays ? c.Today : LastDayOf(c.Month);
    for (int64_t day = first; day <= last; ++day) rows.push_back({day, day, std::nullopt});
    return rows;
}

// The distinct visitors of the days first to last, where the database
// holds them; dayVisitors is the sum of those days' visitors. The database
// counts visitors once a day and once for all time, so beyond a single day
// the only distinct figure is the all-time one: it stands for a run that
// covers the whole history up to today. The history starts at the
// settings' start for every subject: a node's creation time is no bound,
// as a clock set back dates hits before it.
std::optional<int64_t> SpanVisitors(const TCalendar& c, int64_t first, int64_t last, int64_t dayVisitors) {
    if (first == last) return dayVisitors;
    first = std::max(first, c.FirstDay);
    last = std::min(last, c.Today);
    if (first == c.FirstDay && last == c.Today) return c.AllTimeVisitors;
    // One day of the history, in a run that starts before it or ends after
    // today.
    if (first == last && c.Node) return c.Node->GetDayVisitors(c.Group, double(first), double(first));
    return std::nullopt;
}

// The figures of every row up to today: a node's days in one walk, added up
// by row; a referral's transitions a row at a time.
std::vector<TRow> ReadRows(const TCalendar& c) {
    std::vector<TRow> rows = RowsOfView(c);
    std::vector<TDayFigures> days;
    if (!c.Referral && c.Node && !rows.empty())
        days = c.Node->GetDayFigures(c.Group, double(rows.front().FirstDay), double(c.Today));
    auto day = days.begin();
    for (TRow& row : rows) {
        if (row.FirstDay > c.Today) break;
        TFigures& f = row.Figures.emplace();
        if (c.Referral) {
            if (c.Info) f.Hits = c.Info->GetSourceDayTransitions(c.Source, double(row.FirstDay), double(row.LastDay));
            continue;
        }
        for (; day != days.end() && day->Day <= row.LastDay; ++day) {
            f.Hits += day->Hits;
            f.Views += day->Visits;
            f.DayVisitors += day->Visitors;
        }
        f.Visitors = SpanVisitors(c, row.FirstDay, row.LastDay, f.DayVisitors);
    }
    return rows;
}

// Where a page of the calendar leads: the same subject, then more.
void WriteSubjectHref(THtmlBuilder& html, const TReportContext& ctx, const TCalendar& c) {
    if (c.Referral) {
        PageHref(html, ctx, "page=calendar&kind=ref&ref=").Url(c.Source).Add("&node=").Url(c.NodeName);
    } else if (c.NodeName.empty()) {
        PageHref(html, ctx, "page=calendar");
    } else if (c.Group) {
        PageHref(html, ctx, "page=calendar&group=1&nodename=").Url(c.NodeName);
    } else {
        PageHref(html, ctx, "page=calendar&kind=page&nodename=").Url(c.NodeName);
    }
}

void WriteHeading(THtmlBuilder& html, const TReportContext& ctx, const TCalendar& c) {
    if (c.Referral) {
        html.Add("<h1>").Trusted(UiText("Referral calendar statistics")).Add("</h1>");
        html.Line("<h2>").Trusted(UiText("by referral ")).Text(c.Source).Add("</h2>");
        html.Line("<p class=\"navig2\">");
        if (c.NodeName.empty()) html.Trusted(UiText("For whole site"));
        else html.Trusted(UiText("For page")).Add(": ").Text(c.NodeName);
        html.Add(" &nbsp; <a class=\"navig2\" href=\"");
        PageHref(html, ctx, "page=refs&node=").Url(c.NodeName);
        html.Add("\">").Trusted(UiText("All referrals")).Add("</a></p>");
        return;
    }
    html.Add("<h1>").Trusted(UiText("Calendar statistics")).Add("</h1>");
    html.Line("<h2>");
    if (c.NodeName.empty()) html.Trusted(UiText("for all site"));
    else if (c.Group) html.Trusted(UiText("By group of pages ")).Text(c.NodeName);
    else html.Trusted(UiText("By page ")).Text(c.NodeName);
    html.Add("</h2>");
    WriteNodeChoice(html, ctx, "calendar", nullptr);
}

// The views: the month before and after the one shown (within the history),
// the current month, every month, the last 30 days.
void WriteViewChoices(THtmlBuilder& html, const TReportContext& ctx, const TCalendar& c) {
    const auto monthLink = [&ctx, &c](TMonth month) {
        return [&ctx, &c, month](THtmlBuilder& h) {
            WriteSubjectHref(h, ctx, c);
            WriteMonthArg(h, month);
        };
    };
    const auto periodLink = [&ctx, &c](THtmlLiteral arg) {
        return [&ctx, &c, arg](THtmlBuilder& h) { WriteSubjectHref(h, ctx, c); h.Add(arg); };
    };
    const bool monthView = c.View == TCalendarView::Month;
    const TMonth current = MonthOfDay(c.Today);
    std::vector<TChoice> choices;
    if (monthView && c.Month > MonthOfDay(c.FirstDay))
        choices.push_back({false, UiText("last month"), monthLink(c.Month - 1)});
    choices.push_back({monthView && c.Month == current, UiText("Current month"), periodLink("")});
    if (monthView && c.Month < current) choices.push_back({false, UiText("next month"), monthLink(c.Month + 1)});
    choices.push_back({c.View == TCalendarView::AllMonths, UiText("monthly for all period"), periodLink("&period=all")});
    choices.push_back({c.View == TCalendarView::LastDays, UiText("for last 30 days"), periodLink("&period=30")});
    html.Line("<p class=\"navig2\">");
    WriteChoices(html, choices, "&nbsp;|&nbsp;", TChoiceSpans::None);
    html.Add("</p><br>");
}

void WritePeriodHeading(THtmlBuilder& html, const TCalendar& c) {
    html.Line("<h2>");
    if (c.View == TCalendarView::AllMonths) html.Trusted(UiText("monthly for all period"));
    else if (c.View == TCalendarView::LastDays) html.Trusted(UiText("for last 30 days"));
    else html.Trusted(EnglishText.MonthNames[size_t(MonthNumberOf(c.Month) - 1)]).Add(" ").Int(YearOf(c.Month));
    html.Add("</h2>");
}

THtmlBuilder RowLabel(const TReportContext& ctx, const TCalendar& c, const TRow& row) {
    THtmlBuilder label;
    if (c.View == TCalendarView::AllMonths) {
        const TMonth month = MonthOfDay(row.FirstDay);
        label.Add("<a class=\"navig2\" href=\"");
        WriteSubjectHref(label, ctx, c);
        WriteMonthArg(label, month);
        label.Add("\">").Trusted(EnglishText.MonthNames[size_t(MonthNumberOf(month) - 1)]).Add(" ").Int(YearOf(month));
        return label.Add("</a>");
    }
    const bool today = row.FirstDay == c.Today;
    if (today) label.Add("<b>");
    label.Date("dd.mm.yyyy", double(row.FirstDay)).Add("&nbsp;");
    label.Trusted(EnglishText.WeekdayShortNames[size_t(IsoDayOfWeek(double(row.FirstDay)) - 1)]);
    if (today) label.Add(", ").Trusted(UiText("today")).Add("</b>");
    return label;
}

// The figures of a row, or of the total; "&nbsp;" for none, "---" for
// visitors not known.
void WriteFigureCells(THtmlBuilder& html, const TCalendar& c, const std::optional<TFigures>& f, TRunPlace place) {
    WriteNumberCell(html, f ? std::optional<int64_t>(f->Hits) : std::nullopt, place);
    if (c.Referral) return;
    WriteNumberCell(html, f ? std::optional<int64_t>(f->Views) : std::nullopt, place);
    if (f) WriteNumberCell(html, f->Visitors, place, "---");
    else WriteNumberCell(html, std::nullopt, place);
}

// The days of the table that the history covers: what the average divides by.
int64_t CoveredDays(const TCalendar& c, const std::vector<TRow>& rows) {
    if (rows.empty()) return 1;
    const int64_t first = std::max(rows.front().FirstDay, c.FirstDay);
    const int64_t last = std::min(rows.back().LastDay, c.Today);
    return std::max<int64_t>(1, last - first + 1);
}

void WriteTable(THtmlBuilder& html, const TReportContext& ctx, const TCalendar& c, const std::vector<TRow>& rows) {
    if (c.Referral)
        WriteDistributionTableHead(html, {UiText("Period"), UiText("Transitions"), UiText("Diagram")});
    else
        WriteDistributionTableHead(html, {UiText("Period"), UiText("Hits"), UiText("Site&nbsp;views"),
                                          UiText("Visitors"), UiText("Diagram")});
    int64_t busiest = 0;
    TFigures total;
    for (const TRow& row : rows) {
        if (!row.Figures) continue;
        busiest = std::max(busiest, row.Figures->Hits);
        total.Hits += row.Figures->Hits;
        total.Views += row.Figures->Views;
        total.DayVisitors += row.Figures->DayVisitors;
    }
    if (!c.Referral && !rows.empty())
        total.Visitors = SpanVisitors(c, rows.front().FirstDay, rows.back().LastDay, total.DayVisitors);
    for (size_t k = 0; k < rows.size(); ++k) {
        const TRunPlace place{k == 0, false};
        if (c.View != TCalendarView::AllMonths && rows[k].FirstDay == c.Today) html.Line("<tr bgcolor=#FFF2CC>");
        else if (k % 2 == 0) html.Line("<tr bgcolor=#FFFFFF>");
        else html.Line("<tr bgcolor=#F7FBFF>");
        WriteLabelCell(html, RowLabel(ctx, c, rows[k]), place);
        WriteFigureCells(html, c, rows[k].Figures, place);
        WriteBarCell(html, rows[k].Figures ? std::optional<int64_t>(rows[k].Figures->Hits) : std::nullopt, busiest,
                     place);
        html.Line("</tr>");
    }
    html.Line("<tr bgcolor=#E0EEF6>");
    WriteLabelCell(html, UiText("Total:"), {true, false});
    WriteFigureCells(html, c, total, {true, false});
    html.Line("<td>&nbsp;</td></tr>");
    const int64_t days = CoveredDays(c, rows);
    html.Line("<tr bgcolor=#E0EEF6>");
    WriteLabelCell(html, UiText("Average per day"), {false, true});
    const auto average = [&](int64_t sum) { WriteFloatCell(html, "0.0", double(sum) / double(days), {false, true}); };
    average(total.Hits);
    if (!c.Referral) {
        average(total.Views);
        average(total.DayVisitors);
    }
    html.Line("<td>&nbsp;</td></tr>");
    html.Line("</table><br><br>");
}

}  // namespace

std::string BuildCalendarPage(const TReportContext& context) {
    const TCalendar calendar = ReadRequest(context);
    THtmlBuilder html;
    WriteHeading(html, context, calendar);
    WritePeriodHeading(html, calendar);
    WriteViewChoices(html, context, calendar);
    WriteTable(html, context, calendar, ReadRows(calendar));
    return html.Take();
}

}  // namespace tlvx
