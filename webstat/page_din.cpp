// DIN: average figures per day as bars, the average day-to-day change of
// the figures, and how the set of referrers grows.
#include "webstat/page_din.h"

#include <array>
#include <cmath>
#include <optional>
#include <span>
#include <string_view>

#include "model/time_split.h"
#include "platform/integer_ratio.h"
#include "webstat/page_builders.h"
#include "webstat/report_math.h"
#include "webstat/report_queries.h"
#include "webstat/ui_tables.h"
#include "webstat/ui_text_eng.h"

namespace tlvx {
namespace {

// The days the page reads, one figure each: today - 31 .. today. The 30-day
// rate runs over the first 31 of them, the averages over the last 30 and 7
// before today.
constexpr int32_t kSeriesDays = 32;

struct TDayFigures {
    int32_t Visits = 0, Hits = 0, Visitors = 0;
};

// Everything the page shows of one node, asked once each.
struct TDinFigures {
    int32_t Days = 1;  // of the history, today included
    std::array<TDayFigures, kSeriesDays> Series{};  // [k] is today - 31 + k
    TDayFigures History;                             // totals since the start
    std::array<int32_t, 4> NewSources{};             // 30 days, 7 days, yesterday, today
    std::array<int32_t, 4> UsefulBefore{};
    FloatArray UnknownShares;  // the 30 days before today
};

constexpr int32_t kToday = kSeriesDays - 1;

TDayFigures SumOfDays(const TDinFigures& f, int32_t first, int32_t last) {
    TDayFigures sum;
    for (int32_t k = first; k <= last; ++k) {
        sum.Visits += f.Series[size_t(k)].Visits;
        sum.Hits += f.Series[size_t(k)].Hits;
        sum.Visitors += f.Series[size_t(k)].Visitors;
    }
    return sum;
}

TDayFigures Average(const TDayFigures& sum, int64_t days) {
    return {int32_t(RoundRatio(sum.Visits, days)), int32_t(RoundRatio(sum.Hits, days)),
            int32_t(RoundRatio(sum.Visitors, days))};
}

TDinFigures ReadFigures(ICounter2& counter, INode& node, INodeInfo& info, bool subtree, double now) {
    TDinFigures f;
    const double today = DayNumber(now);
    f.Days = HistoryDays(now, counter.GetSettings().StartTime);
    for (int32_t k = 0; k < kSeriesDays; ++k) {
        const double day = today - kToday + k;
        f.Series[size_t(k)] = {node.GetDayVisits(subtree, day, day), node.GetDayHits(subtree, day, day),
                               node.GetDayVisitors(subtree, day, day)};
    }
    f.History = {info.GetVisits(), info.GetHits(), info.GetVisitors()};
    if (subtree) {
        f.History.Visits += info.GetGroupVisits();
        f.History.Hits += info.GetGroupHits();
        f.History.Visitors += info.GetGroupVisitors();
    }
    const std::array<double, 4> moments{now - 30, now - 7, now - 1, now};
    // Referrers first seen in each period, the periods of the averages: the
    // 30 and the 7 days before today, yesterday, today.
    const std::array<double, 4> lastDays{today - 1, today - 1, today - 1, today};
    for (size_t i = 0; i < moments.size(); ++i) {
        f.NewSources[i] = info.CountSourcesFirstSeen(moments[i], lastDays[i]);
        f.UsefulBefore[i] = info.CountSourcesUsefulBefore(moments[i]);
    }
    f.UnknownShares = info.GetUnknownShares(now - 30);
    return f;
}

// ---- averages as bars ----

struct TPeriodBars {
    THtmlLiteral Label;
    std::array<THtmlLiteral, 3> Colours;  // visitors, site views, hits
    TDayFigures Figures;
    bool Shown;
};

std::array<TPeriodBars, 5> PeriodBars(const TDinFigures& f) {
    constexpr std::array<THtmlLiteral, 3> kDark{"#913535", "#356091", "#33815A"};
    constexpr std::array<THtmlLiteral, 3> kMiddle{"#D58383", "#789FCE", "#63AB7D"};
    constexpr std::array<THtmlLiteral, 3> kLight{"#F4BDBD", "#BAD7F9", "#ABD7BF"};
    // Averages over whole days: the 30 and the 7 days before today.
    return {{{UiText("For all<br>history"), kDark, Average(f.History, f.Days), true},
             {UiText("For 30<br>days"), kMiddle, Average(SumOfDays(f, kToday - 30, kToday - 1), 30), f.Days > 30},
             {UiText("For 7<br>days"), kMiddle, Average(SumOfDays(f, kToday - 7, kToday - 1), 7), f.Days > 7},
             {UiText("Yesterday"), kLight, f.Series[kToday - 1], true},
             {UiText("Today"), kLight, f.Series[kToday], true}}};
}

// A period's figures in the bars' order: visitors, site views, hits.
std::array<int32_t, 3> BarOrder(const TDayFigures& d) { return {d.Visitors, d.Visits, d.Hits}; }

void Bar(THtmlBuilder& html, int32_t max, int32_t value, THtmlLiteral colour) {
    const int32_t filled = BarLength(max, value, TBarPart::Filled);
    html.Line("<td width=25 valign=bottom align=center>");
    html.Line("<table width=15 cellspacing=0 cellpadding=0 border=0>");
    html.Line("<tr height=").Int(BarLength(max, value, TBarPart::Empty)).Add(" bgcolor=#FFFFFF><td></td></tr>");
    html.Line("<tr height=").Int(filled).Add(" bgcolor=").Trusted(colour)
        .Add("><td style=\"border-top:1px solid #000000;border-right:1px solid #000000;"
             "border-left:1px solid #000000;\"><img width=1 height=")
        .Int(filled).Add(" src=\"\"></td></tr>");
    html.Line("</table>");
    html.Line("</td>");
}

void LegendSwatch(THtmlBuilder& html, bool first, THtmlLiteral colour, THtmlLiteral caption) {
    if (first) html.Line("<td valign=middle><p>");
    else html.Line("<br><p>");
    html.Add("<table height=20 border=0 cellspacing=0 cellpadding=0><tr><td bgcolor=").Trusted(colour);
    if (first) html.Add(" width=20");
    else html.Add(" width=20 height=20");
    html.Add(" style=\"border:1px solid black;\"><img height=20 width=1 src=\"\"></td><td>&nbsp;-&nbsp;")
        .Trusted(caption).Add("</td></tr></table></p>");
}

void AveragesBlock(THtmlBuilder& html, const TDinFigures& f) {
    const std::array<TPeriodBars, 5> periods = PeriodBars(f);
    // One scale for every bar: the largest of all fifteen figures, shown or
    // not.
    std::array<int32_t, 15> all{};
    for (size_t p = 0; p < periods.size(); ++p) {
        const TDayFigures& d = periods[p].Figures;
        all[p * 3] = d.Visits;
        all[p * 3 + 1] = d.Hits;
        all[p * 3 + 2] = d.Visitors;
    }
    size_t at = 0;
    const int32_t max = MaxIndex(all, at);

    html.Line("<table cellspacing=0 cellpadding=0 border=0>");
    html.Line("<tr><td><h2>").Trusted(UiText("Average (per day)")).Add("</h2></td></tr>");
    html.Line("<tr><td>");
    html.Line("<table width=100% cellspacing=0 cellpadding=0 border=0><tr>");
    html.Line("<td width=20>&nbsp;</td>");
    for (const TPeriodBars& p : periods) {
        if (!p.Shown) continue;
        const std::array<int32_t, 3> values = BarOrder(p.Figures);
        for (size_t i = 0; i < 3; ++i) Bar(html, max, values[i], p.Colours[i]);
        html.Line("<td width=20></td>");
    }
    html.Line("</tr>");
    html.Line("<tr>");
    html.Line("<td width=20 style=\"border-top:1px solid black;\">&nbsp;</td>");
    for (const TPeriodBars& p : periods) {
        if (!p.Shown) continue;
        for (int32_t value : BarOrder(p.Figures))
            html.Line("<td align=center width=20 style=\"border-top:1px solid black;\">").Int(value).Add("</td>");
        html.Line("<td width=20 style=\"border-top:1px solid black;\">&nbsp;</td>");
    }
    html.Line("</tr>");
    html.Line("<tr>");
    html.Line("<td width=20>&nbsp;</td>");
    for (const TPeriodBars& p : periods) {
        if (!p.Shown) continue;
        html.Line("<td colspan=3 align=center><font size=-2>").Trusted(p.Label).Add("</font></td>");
        html.Line("<td width=20>&nbsp;</td>");
    }
    html.Line("</tr>");
    html.Line("</table>");
    html.Line("</td>");
    html.Line("<td width=50></td>");
    LegendSwatch(html, true, "#63AB7D", UiText("Hits"));
    LegendSwatch(html, false, "#789FCE", UiText("Site&nbsp;views"));
    LegendSwatch(html, false, "#D58383", UiText("Visitors"));
    html.Line("</tr>");
    html.Line("</table>");
    html.Add("<br><br><br>");
}

// ---- the tables of changes ----

// The four columns of a table of changes: 30 days, 7 days, yesterday,
// today; the first two only with enough history. Each value is written by
// the row's pattern; a column without one shows "---".
struct TRateRow {
    THtmlLiteral Label;
    THtmlLiteral Pattern;
    std::array<std::optional<double>, 4> Values;
};

std::array<bool, 4> ShownColumns(int32_t days) { return {days > 30, days > 7, true, true}; }

void BorderedCell(THtmlBuilder& html, bool lastInRow, bool lastRow) {
    html.Add(" style=\"border-top:1px solid #6493C1;border-left:1px solid #6493C1;");
    if (lastInRow) html.Add("border-right:1px solid #6493C1;");
    if (lastRow) html.Add("border-bottom:1px solid #6493C1;");
    html.Add("\">");
}

void RateTable(THtmlBuilder& html, int32_t days, THtmlLiteral groupCaption, std::span<const TRateRow> rows) {
    constexpr std::array<THtmlLiteral, 4> kCaptions{UiText("For 30 days"), UiText("For 7 days"),
                                                        UiText("Yesterday"), UiText("Today")};
    const std::array<bool, 4> shown = ShownColumns(days);
    html.Line("<table cellspacing=0 cellpadding=0 border=0>");
    html.Line("<tr>");
    html.Line("<td width=200>&nbsp;</td>");
    for (size_t c = 0; c < 4; ++c) {
        if (!shown[c]) continue;
        html.Line("<td align=center bgcolor=#BDCFE3 style=\"border-bottom:1px solid white; border-left:1px "
                  "solid white;\"><p class=\"tablehead\">")
            .Trusted(kCaptions[c]).Add("</p></td>");
    }
    html.Line("</tr>");
    html.Line("<tr><td bgcolor=#F3F9FF colspan=");
    if (days > 30) html.Add("5");
    else if (days > 7) html.Add("4");
    else html.Add("3");
    html.Add(" style=\"border-top:1px solid #6493C1;border-left:1px solid #6493C1;border-right:1px solid "
             "#6493C1;\"><p class=\"tableleft\">")
        .Trusted(groupCaption).Add("</p></td></tr>");
    for (size_t r = 0; r < rows.size(); ++r) {
        const bool lastRow = r + 1 == rows.size();
        html.Line("<tr>");
        html.Line("<td");
        BorderedCell(html, false, lastRow);
        html.Add("<p class=\"tableleft\">").Trusted(rows[r].Label).Add("</p></td>");
        for (size_t c = 0; c < 4; ++c) {
            if (!shown[c]) continue;
            html.Line("<td align=center");
            BorderedCell(html, c == 3, lastRow);
            html.Add("<p class=\"tabletext\">");
            if (rows[r].Values[c]) html.Float(rows[r].Pattern, *rows[r].Values[c]);
            else html.Add("---");
            html.Add("</p></td>");
        }
        html.Line("</tr>");
    }
}

// The average step of one figure over days first .. last of the series.
// Average changes, signed, to a tenth.
constexpr THtmlLiteral kRatePattern = "+0.0;-0.0;0.0";

template <int32_t TDayFigures::*Figure>
double RateOver(const TDinFigures& f, int32_t first, int32_t last) {
    std::vector<int32_t> values;
    for (int32_t k = first; k <= last; ++k) values.push_back(f.Series[size_t(k)].*Figure);
    return AverageIncrease(values);
}

template <int32_t TDayFigures::*Figure>
TRateRow RateRow(THtmlLiteral label, const TDinFigures& f) {
    // 30 days: the 31 days before today; 7 days: the 8 before today;
    // yesterday: the day before it and yesterday; today: yesterday and today.
    return {label, kRatePattern,
            {RateOver<Figure>(f, 0, kToday - 1), RateOver<Figure>(f, kToday - 8, kToday - 1),
             RateOver<Figure>(f, kToday - 2, kToday - 1), RateOver<Figure>(f, kToday - 1, kToday)}};
}

void RatesBlock(THtmlBuilder& html, const TDinFigures& f, bool forNode) {
    html.Line("<h2>").Trusted(UiText("The dynamics of visit rates")).Add("</h2>");
    html.Line("<p class=\"title2\">").Trusted(UiText("(Average change of indexes)")).Add("</p>");
    if (!forNode) html.Add("<br>");
    const std::array<TRateRow, 3> rows{RateRow<&TDayFigures::Hits>(UiText("Hits"), f),
                                       RateRow<&TDayFigures::Visits>(UiText("Site&nbsp;views"), f),
                                       RateRow<&TDayFigures::Visitors>(UiText("Visitors"), f)};
    RateTable(html, f.Days, UiText("Attendance"), rows);
    html.Line("</table>");
}

// Changes of counts, signed.
TRateRow CountRow(THtmlLiteral label, const std::array<int32_t, 4>& counts) {
    TRateRow row{label, "+0;-0;0", {}};
    for (size_t i = 0; i < 4; ++i) row.Values[i] = counts[i];
    return row;
}

void ReferralsBlock(THtmlBuilder& html, const TDinFigures& f, bool forNode) {
    html.Line("<br><h2>").Trusted(UiText("Increase of referral rates")).Add("</h2>");
    html.Line("<p class=\"title2\"></p>");
    // The 7-day series is the last seven days of the 30-day one.
    const FloatArray& shares = f.UnknownShares;
    const std::span<const double> week =
        std::span<const double>(shares).subspan(shares.size() > 7 ? shares.size() - 7 : 0);
    const std::array<TRateRow, 3> rows{
        CountRow(UiText("Increase of referrals"), f.NewSources),
        CountRow(UiText("Became useful"), f.UsefulBefore),
        TRateRow{UiText("Average change of Unknown (%)"), kRatePattern,
                 {AverageIncreaseF(shares), AverageIncreaseF(week), std::nullopt, std::nullopt}}};
    RateTable(html, f.Days, UiText("Referrals"), rows);
    if (forNode) {
        html.Line("</table><br><br>");
    } else {
        html.Line("</table>");
        html.Line("<br><br>");
    }
}

void Title(THtmlBuilder& html, std::string_view nodeName, bool group) {
    if (nodeName.empty()) {
        html.Add("<h1>").Trusted(UiText("The dynamics of the site audience")).Add("</h1>");
        return;
    }
    html.Add("<h1>").Trusted(UiText("The dynamics of views"));
    if (group) html.Trusted(UiText(" for group: "));
    else html.Trusted(UiText(" for page: "));
    html.Text(nodeName).Add("</h1>");
}

void FormCell(THtmlBuilder& html, THtmlLiteral caption, const StringArray& paths, bool group,
              const TReportContext& context) {
    html.Line().Trusted(FormBoxOpen).Trusted(caption).Trusted(FormBoxBody);
    html.Line("<form action=\"").Attr(context.ScriptName).Add("\">");
    html.Line("<input name=id type=hidden value=\"").Attr(context.Id).Add("\">");
    html.Line("<input name=page type=hidden value=din>");
    if (group) html.Line("<input type=hidden name=group value=1>");
    html.Line("<select name=nodename style=\"width:300px;\">");
    for (const std::string& path : paths) html.Line("<option value=\"").Attr(path).Add("\">").Text(path);
    html.Line("</select>");
    html.Line("<br><p align=right><input type=submit value=\"").Trusted(UiText("Show"))
        .Add("\" style=\"border:1px solid black; width:100; background-color:white;\"></p>");
    html.Line("</form>");
    html.Line().Trusted(FormBoxClose).Add("</td>");
}

}  // namespace

int32_t BarLength(int32_t max, int32_t value, TBarPart part) {
    switch (part) {
        case TBarPart::Empty:
            return max > 0 ? int32_t(RoundShare(int64_t(max) - value, max, kDinBarHeight)) : max;
        case TBarPart::Filled: return max > 0 ? int32_t(RoundShare(value, max, kDinBarHeight)) : 0;
        default: return 0;
    }
}

void WriteDinForms(THtmlBuilder& html, const StringArray& groups, const StringArray& pages,
                   const TReportContext& context) {
    html.Line("<table cellspacing=0 cellpadding=0 border=0>");
    html.Line("<tr><img width=300 height=1 src=\"\"><td></td><td></td><td><img width=300 height=1 "
              "src=\"\"></td></tr><tr>");
    html.Line("<td width=200 valign=top>");
    FormCell(html, UiText("By group of pages "), groups, true, context);
    html.Line("<td width=10%>&nbsp;</td>");
    html.Line("<td width=45% valign=top>");
    FormCell(html, UiText("By page "), pages, false, context);
    html.Line("</tr>");
    html.Line("</table>");
}

std::string BuildDinForms(const StringArray& groups, const StringArray& pages, const TReportContext& context) {
    THtmlBuilder html;
    WriteDinForms(html, groups, pages, context);
    return html.Take();
}

void WriteDinPage(THtmlBuilder& html, const TReportContext& context, bool embedded) {
    ICounter2& counter = *context.Counter;
    const std::string nodeName = context.Query("nodename");
    const bool group = !context.Query("group").empty();
    Title(html, nodeName, group);

    {
        Ref<INodeCollection> nodes = counter.GetNodes();
        Ref<INode> node = nodeName.empty() ? nodes->GetRoot() : nodes->FindNode(nodeName, false);
        Ref<INodeInfo> info = node ? node->GetInfo() : nullptr;
        if (!info) {
            html.Line("<p>There is no page or group of that name.</p>");
        } else {
            // The root's own figures are the whole site's already: adding
            // every node below it would count each hit twice.
            const bool subtree = group && !nodeName.empty();
            const TDinFigures figures = ReadFigures(counter, *node, *info, subtree, context.Now);
            AveragesBlock(html, figures);
            RatesBlock(html, figures, !nodeName.empty());
            ReferralsBlock(html, figures, !nodeName.empty());
        }
    }
    if (!embedded) WriteDinForms(html, ListGroupPaths(counter), ListAllNodePaths(counter), context);
}

std::string BuildDinPage(const TReportContext& context) {
    THtmlBuilder html;
    WriteDinPage(html, context, false);
    return html.Take();
}

}  // namespace tlvx
