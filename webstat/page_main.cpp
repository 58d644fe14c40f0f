// MAIN: the general statistics of the whole site, a page or a group -- the
// totals, the figures of the recent days as stacked bars, the averages per
// day with arrows, and links; then the site sections for the whole site or
// the dynamics block for a page or group.
#include <algorithm>
#include <array>
#include <cmath>
#include <span>
#include <vector>

#include "model/time_split.h"
#include "platform/integer_ratio.h"
#include "webstat/page_builders.h"
#include "webstat/page_din.h"
#include "webstat/page_main_sections.h"
#include "webstat/report_math.h"
#include "webstat/report_queries.h"
#include "webstat/ui_tables.h"
#include "webstat/ui_text_eng.h"

namespace tlvx {
namespace {

constexpr THtmlLiteral kHeadColour = "#BDCFE3";

// One figure over the page's periods: today, yesterday, the last 7 and the
// last 30 days (today included: 8 and 31 calendar days).
struct TPeriodFigures {
    int64_t Today = 0, Yesterday = 0, Week = 0, Month = 0;
};

struct TMainFigures {
    int32_t PeriodDays = 1;
    int64_t OwnHits = 0, TotalHits = 0, TotalViews = 0, TotalVisitors = 0;
    TPeriodFigures Hits, Views, Visitors, New;
};

using TPeriodRoutine = int64_t (*)(ICounter2&, TPeriod, std::string_view, bool, double);

TPeriodFigures PeriodFigures(ICounter2& counter, TPeriodRoutine routine, std::string_view path, bool subtree,
                             double now) {
    return {routine(counter, TPeriod::Today, path, subtree, now),
            routine(counter, TPeriod::Yesterday, path, subtree, now),
            routine(counter, TPeriod::SinceWeekAgo, path, subtree, now),
            routine(counter, TPeriod::Since30DaysAgo, path, subtree, now)};
}

// A bar segment: x on the scale in whole per cent, the fraction dropped.
int64_t P(int64_t x, int64_t scale) { return std::clamp<int64_t>(TruncShare(x, scale, 100), 0, 100); }

// ---- heading and node table ----

void Heading(THtmlBuilder& html, std::string_view nodeName, bool group) {
    html.Line("<center><h1>");
    if (nodeName.empty()) {
        html.Trusted(UiText("WHOLE SITE GENERAL STATISTICS"));
    } else {
        if (group) html.Trusted(UiText("GENERAL STATISTICS FOR GROUP"));
        else html.Trusted(UiText("GENERAL STATISTICS FOR PAGE"));
        html.Add(" :").Text(nodeName);
    }
    html.Add("</h1></center><br>");
}

void NodeRow(THtmlBuilder& html, THtmlLiteral label, bool alignLeft) {
    html.Line("<tr><td><p class=\"\">").Trusted(label).Add("</p></td>");
    if (alignLeft) html.Add("<td align=left><p class=\"\">");
    else html.Add("<td><p class=\"\">");
}

void NodeTable(THtmlBuilder& html, INode& node, INodeInfo& info, bool group) {
    int64_t reloads = node.GetReloads();
    int64_t hits = int64_t(info.GetHits()) + info.GetGroupHits();
    reloads = std::clamp<int64_t>(reloads, 0, std::max<int64_t>(hits, 0));
    if (hits <= 0) hits = 1;
    const double created = info.GetCreated();
    const double last = node.GetLastDay(group);
    html.Line("<br><table  cellspacing=0 cellpadding=0 border=0>");
    NodeRow(html, UiText("Average percent of reloads: "), true);
    html.Float("0.0", double(reloads) * 100 / double(hits)).Add("&nbsp;(").Trusted(UiText("Total reloads - "))
        .Int(reloads).Add(")</p></td></tr>");
    NodeRow(html, UiText("First showing:"), false);
    html.Date("dd.mm.yyyy", created).Add("</p></td></tr>");
    NodeRow(html, UiText("Last showing:"), false);
    html.Date("dd.mm.yyyy", last).Add("</p></td></tr>");
    NodeRow(html, UiText("Lifetime:"), false);
    html.Int(int64_t(WholeDay(last)) - int64_t(WholeDay(created)) + 1).Add("</p></td></tr>");
    html.Line("</table>");
}

// ---- bars ----

struct TSegment {
    int64_t Width = 0;        // per cent
    THtmlLiteral Colour = "";  // "" for none
    bool WhiteBefore = false;  // the separator before it is white
};

// A row of bar cells: the segments, each after a 1-pixel separator but the
// first, then the cell that takes the rest. A segment of width 0 has no
// cell: browsers read "width=0%" as no width at all and widen the cell.
void SegmentRow(THtmlBuilder& html, THtmlLiteral rowOpen, std::span<const TSegment> segments,
                THtmlLiteral restCell) {
    html.Line(rowOpen);
    bool first = true;
    for (const TSegment& segment : segments) {
        if (segment.Width <= 0) continue;
        if (!first) {
            if (segment.WhiteBefore) html.Add("<td width=1 bgcolor=#FFFFFF></td>");
            else html.Add("<td width=1></td>");
        }
        first = false;
        html.Add("<td width=").Int(segment.Width).Add("%");
        if (!segment.Colour.empty()) html.Add(" bgcolor=").Trusted(segment.Colour);
        html.Add("></td>");
    }
    html.Add(restCell).Add("</tr>");
}

// ---- totals ----

void TotalRow(THtmlBuilder& html, THtmlLiteral label, int64_t total, THtmlLiteral border,
              std::span<const TSegment> line, std::span<const TSegment> body) {
    html.Line("<tr><td width=60><p class=\"tableleft\">").Trusted(label)
        .Add("</p></td><td width=60 align=center><p class=\"tabletext\">").Int(total)
        .Add("</p></td><td width=2></td>");
    html.Line("<td width=100% style=\"border-bottom:1px solid ").Trusted(border).Add(";\">");
    html.Line("<table width=100% cellspacing=0 cellpadding=0 border=0>");
    SegmentRow(html, "<tr height=1>", line, "<td></td>");
    SegmentRow(html, "<tr height=12>", body, "<td></td>");
    html.Line("</table></td><td width=2></td>");
}

void TotalsSection(THtmlBuilder& html, const TMainFigures& f) {
    html.Line("<br><br><h2>").Trusted(UiText("TOTAL:")).Add("</h2><br>");
    html.Line("<table border=0 cellspacing=0 cellpadding=0 width=100%>");
    html.Line("<tr><td width=60></td><td width=60></td><td width=2></td><td width=100%></td><td width=2></td>"
              "<td></td></tr>");
    const int64_t scale = RoundChartScale(f.TotalHits);
    const int64_t all = P(f.TotalHits, scale), own = std::min(P(f.OwnHits, scale), all);
    const std::array<TSegment, 2> hitsLine{{{own, "#4D8767"}, {all - own, "#4D8767"}}};
    const std::array<TSegment, 2> hitsBody{{{own, "#79B293"}, {all - own, "#4D8767"}}};
    TotalRow(html, UiText("Hits"), f.TotalHits, "#4D8767", hitsLine, hitsBody);
    html.Add("<td style=\"border-left:1px solid #6493C1;border-bottom:1px solid #6493C1;\" rowspan=3 "
             "valign=bottom align=right><p class=\"tabletext\">&nbsp;")
        .Int(scale).Add("&nbsp;</p></td>");
    html.Line("</tr>");
    const int64_t views = P(f.TotalViews, scale), visitors = P(f.TotalVisitors, scale);
    const std::array<TSegment, 1> viewsLine{{{views, ""}}}, viewsBody{{{views, "#556F8E"}}};
    TotalRow(html, UiText("Site&nbsp;views"), f.TotalViews, "#556F8E", viewsLine, viewsBody);
    html.Line("</tr>");
    const std::array<TSegment, 1> visitorsLine{{{visitors, ""}}}, visitorsBody{{{visitors, "#AE6563"}}};
    TotalRow(html, UiText("Visitors"), f.TotalVisitors, "#AE6563", visitorsLine, visitorsBody);
    html.Line("</tr></table><br>");
}

// ---- ratios ----

void RatioRow(THtmlBuilder& html, THtmlLiteral label) {
    html.Line("<tr><td ><p>").Trusted(label).Add("</p></td><td >");
}

void RatiosSection(THtmlBuilder& html, ICounter2& counter, const TCounterSettings& s, bool wholeSite) {
    html.Line("<table cellspacing=0 cellpadding=0 border=0>");
    RatioRow(html, UiText("Hits/Site&nbsp;views ratio"));
    if (s.TotalVisits > 0) html.Float("0.00", double(s.TotalHits) / s.TotalVisits);
    else html.Add("&nbsp;");
    html.Add("</td></tr>");
    RatioRow(html, UiText("Site&nbsp;views/visitors ratio&nbsp;"));
    if (s.TotalVisitors > 0) html.Float("0.00", double(s.TotalVisits) / s.TotalVisitors);
    else html.Float("0.00", s.TotalVisits);
    html.Add("</td></tr>");
    if (wholeSite) {
        Ref<INode> root = counter.GetNodes()->GetRoot();
        Ref<INodeInfo> info = root ? root->GetInfo() : nullptr;
        int64_t reloads = info ? info->GetReloads() : 0, hits = info ? info->GetHits() : 0;
        reloads = std::clamp<int64_t>(reloads, 0, std::max<int64_t>(hits, 0));
        if (hits <= 0) hits = 1;
        RatioRow(html, UiText("Average percent of page reloads:&nbsp"));
        html.Float("0.0%", double(reloads) * 100 / double(hits)).Add("</td></tr>");
    }
    html.Line("</table>");
}

// ---- the recent periods ----

struct TPeriodRowStyle {
    THtmlLiteral Label;
    THtmlLiteral Border;  // the bar's bottom border and the 30-day segment
    bool WhiteLine;       // a white line above the coloured one
    THtmlLiteral Line;
    std::array<THtmlLiteral, 3> Body;  // today, yesterday, the 7 days
    bool TwoSegments;                       // today and yesterday only
};

void PeriodNumberCell(THtmlBuilder& html, bool lastColumn) {
    html.Add("<td width=60 align=center nowrap style=\"border-left:1px solid #6493C1;");
    if (lastColumn) html.Add("border-right:1px solid #6493C1;");
    html.Add("\"><p class=\"tabletext\">");
}

void PeriodRow(THtmlBuilder& html, const TPeriodRowStyle& style, const TPeriodFigures& figures, int64_t scale,
               int32_t periodDays) {
    const bool week = periodDays > 7, month = periodDays > 30;
    html.Line("<tr><td width=60><p class=\"tableleft\">").Trusted(style.Label).Add("</p></td>");
    const std::array<int64_t, 4> values{figures.Today, figures.Yesterday, figures.Week, figures.Month};
    const std::array<bool, 4> shown{true, true, week, month};
    const size_t lastColumn = month ? 3 : week ? 2 : 1;
    for (size_t i = 0; i < 4; ++i) {
        if (!shown[i]) continue;
        PeriodNumberCell(html, i == lastColumn);
        if (style.TwoSegments && i >= 2) html.Add("---");
        else html.Int(values[i]);
        html.Add("</p></td>");
    }
    html.Add("<td width=2></td>");

    // Today and yesterday stand side by side; the 7 days' segment reaches
    // from their end to where the 7 days' figure lies on the scale, the 30
    // days' from there to the 30 days' figure.
    std::vector<TSegment> body, line, white;
    int64_t drawn = 0;
    auto add = [&](int64_t width, THtmlLiteral colour, bool separatorWhite) {
        width = std::clamp<int64_t>(width, 0, 100 - drawn);
        drawn += width;
        body.push_back({width, colour, separatorWhite});
        line.push_back({width, style.Line, separatorWhite});
        white.push_back({width, "#FFFFFF", separatorWhite});
    };
    const int64_t today = P(figures.Today, scale), yesterday = P(figures.Yesterday, scale);
    add(today, style.Body[0], false);
    add(yesterday, style.Body[1], false);
    if (!style.TwoSegments && week) add(P(figures.Week, scale) - today - yesterday, style.Body[2], false);
    if (!style.TwoSegments && month) add(P(figures.Month, scale) - P(figures.Week, scale), style.Border, true);

    html.Line("<td width=100% style=\"border-bottom:1px solid ").Trusted(style.Border).Add(";\">");
    html.Line("<table width=100% cellspacing=0 cellpadding=0 border=0>");
    if (style.WhiteLine) SegmentRow(html, "<tr height=1>", white, "<td></td>");
    SegmentRow(html, "<tr height=1>", line, "<td></td>");
    SegmentRow(html, "<tr>", body, "<td>&nbsp;</td>");
    html.Line("</table></td>");
}

void PeriodsSection(THtmlBuilder& html, const TMainFigures& f) {
    const int32_t days = f.PeriodDays;
    html.Line("<br><br><h2>").Trusted(UiText("FROM THEM")).Add("</h2>");
    html.Line("<table width=100% cellspacing=0 cellpadding=0 border=0>");
    html.Line("<tr><td width=60></td><td width=60></td><td width=60></td>");
    if (days > 7) html.Add("<td width=60></td>");
    if (days > 30) html.Add("<td width=60></td>");
    html.Add("<td width=2></td><td width=100%></td><td></td></tr>");
    html.Line("<tr><td></td>");
    auto head = [&](THtmlLiteral caption) {
        html.Add("<td align=center nowrap bgcolor=").Trusted(kHeadColour).Add("><p class=\"tablehead\">").Trusted(caption)
            .Add("</p></td>");
    };
    head(UiText("Today"));
    head(UiText("Yesterday"));
    if (days > 7) head(UiText("7 days"));
    if (days > 30) head(UiText("30 days"));
    html.Add("<td></td><td></td><td></td></tr>");

    const int64_t scale = days > 30  ? RoundChartScale(f.Hits.Month)
                          : days > 7 ? RoundChartScale(f.Hits.Week)
                          : days > 1 ? RoundChartScale(f.Hits.Today + f.Hits.Yesterday)
                                     : RoundChartScale(f.Hits.Today);
    const std::array<TPeriodRowStyle, 4> rows{{
        {UiText("Hits"), "#4D8767", false, "#449267", {"#B6DBC7", "#79B293", "#449267"}, false},
        {UiText("Site&nbsp;views"), "#556F8E", true, "#50729A", {"#B6CCDB", "#839DB9", "#50729A"}, false},
        {UiText("Visitors"), "#AE6563", true, "#C07170", {"#E8C4C4", "#DB8686", ""}, true},
        {UiText("New"), "#AE6563", true, "#C07170", {"#E8C4C4", "#DB8686", "#C07170"}, false},
    }};
    const std::array<const TPeriodFigures*, 4> figures{&f.Hits, &f.Views, &f.Visitors, &f.New};
    for (size_t r = 0; r < rows.size(); ++r) {
        PeriodRow(html, rows[r], *figures[r], scale, days);
        if (r == 0)
            html.Line("<td rowspan=4 style=\"border-left:1px solid #6493C1; border-bottom:1px solid #6493C1;\" "
                      "valign=bottom><p class=\"tabletext\">&nbsp;")
                .Int(scale).Add("&nbsp;</p></td>");
        html.Line("</tr>");
    }
    html.Line("</table>");
}

// ---- averages ----

// The change of a recent average against its reference in per cent,
// 100 - recent / reference * 100, from recentSum / recentDays and
// referenceSum / referenceDays. Its sign comes from integers, so "no change"
// is exactly 0.
struct TChange {
    int Sign = 0;  // > 0 a fall, < 0 a rise
    double Percent = 0;
};

TChange ChangeOf(int64_t recentSum, int64_t recentDays, int64_t referenceSum, int64_t referenceDays) {
    const __int128 base = __int128(recentDays) * referenceSum;
    const __int128 difference = base - __int128(recentSum) * referenceDays;
    if (base <= 0 || difference == 0) return {};
    return {difference > 0 ? 1 : -1, 100.0 * double(difference) / double(base)};
}

void ChangeCells(THtmlBuilder& html, const TReportContext& context, const TChange& c) {
    html.Add("<td  valign=middle><img src=\"");
    PageHref(html, context, "img=1&imgind=").Int(GrowthImageIndex(c.Sign < 0 ? -1.0 : c.Sign > 0 ? 1.0 : 0.0))
        .Add("\"></td><td width=33%>");
    if (c.Sign > 0) html.Add("<span class=\"infall\">");
    else if (c.Sign < 0) html.Add("<span class=\"ingrow\">");
    else html.Add("<span>");
    html.Float("0.0%", c.Sign < 0 ? -c.Percent : c.Percent).Add("</span></td>");
}

void InnerTableOpen(THtmlBuilder& html) { html.Add("<table border=0 cellspacing=0 cellpadding=0><tr>"); }

void AverageRow(THtmlBuilder& html, const TReportContext& context, THtmlLiteral label, int64_t total,
                const TPeriodFigures& f, int32_t days) {
    // The sums of the 30 and 7 days run from today - 30 and today - 7 to
    // today: 31 and 8 days.
    const int64_t monthDays = std::min(31, days), weekDays = std::min(8, days);
    html.Line("<tr><td><p class=\"tableleft\">").Trusted(label).Add("</p></td>");
    html.Line("<td><p class=\"tabletext\">").Float("0.0", double(total) / days).Add("</p></td>");

    html.Line("<td>");
    InnerTableOpen(html);
    if (days > 30) {
        html.Add("<td width=33%><p class=\"tabletext\">").Float("0.0", double(f.Month) / double(monthDays))
            .Add("</p></td>");
        ChangeCells(html, context, total > 0 ? ChangeOf(f.Month, monthDays, total, days) : TChange{});
    } else {
        html.Add("<td></td>");
    }
    html.Add("</tr></table></td>");

    html.Line("<td>");
    InnerTableOpen(html);
    if (days > 7) {
        html.Add("<td width=33%><p class=\"tabletext\">").Float("0.0", double(f.Week) / double(weekDays))
            .Add("</p></td>");
        TChange c;
        if (days > 30 && f.Month > 0) c = ChangeOf(f.Week, weekDays, f.Month, monthDays);
        else if (total > 0) c = ChangeOf(f.Week, weekDays, total, days);
        ChangeCells(html, context, c);
    } else {
        html.Add("<td></td>");
    }
    html.Add("</tr></table></td>");

    html.Line("<td>");
    InnerTableOpen(html);
    html.Add("<td width=33%><p class=\"tabletext\">").Int(f.Today).Add("</p></td>");
    TChange c;
    if (days > 7 && f.Week > 0) c = ChangeOf(f.Today, 1, f.Week, weekDays);
    else if (total > 0) c = ChangeOf(f.Today, 1, total, days);
    // Only a rise over the reference is shown.
    if (c.Sign < 0) ChangeCells(html, context, c);
    html.Add("</tr></table></td>");
    html.Line("</tr>");
}

void AveragesSection(THtmlBuilder& html, const TReportContext& context, const TMainFigures& f) {
    html.Line("<h2>").Trusted(UiText("AVERAGE VALUES:")).Add("</h2><p class=\"title1\">")
        .Trusted(UiText("(per day)")).Add("</p><br><br>");
    html.Line().Trusted(MainWideTable);
    html.Line("<tr><td></td>");
    for (THtmlLiteral caption : {UiText("All period"), UiText("30 days"), UiText("7 days"), UiText("Today")})
        html.Add("<td width=15% bgcolor=").Trusted(kHeadColour).Add("><p class=\"tablehead\">").Trusted(caption)
            .Add("</p></td>");
    html.Add("</tr>");
    AverageRow(html, context, UiText("Hits"), f.TotalHits, f.Hits, f.PeriodDays);
    AverageRow(html, context, UiText("Site&nbsp;views"), f.TotalViews, f.Views, f.PeriodDays);
    AverageRow(html, context, UiText("Visitors"), f.TotalVisitors, f.Visitors, f.PeriodDays);
    html.Line("</table><br><br>");
}

// ---- links ----

void NavigationLink(THtmlBuilder& html, const TReportContext& context, THtmlLiteral target, THtmlLiteral text) {
    html.Line("<p class=\"navig2\"><a class=\"navig2\" href=\"");
    PageHref(html, context, target).Add("\">").Trusted(text).Add("</a></p>");
}

// The links to the detailed pages, the calendar of the same site, page or
// group last.
void Links(THtmlBuilder& html, const TReportContext& context, std::string_view nodeName, bool group) {
    if (nodeName.empty()) {
        NavigationLink(html, context, "page=din", UiText("The dynamics in detail..."));
        NavigationLink(html, context, "page=nodes", UiText("Statistics of separate pages..."));
        NavigationLink(html, context, "page=calendar", UiText("Calendar..."));
        return;
    }
    html.Line("<p class=\"navig2\"><a class=\"navig2\" href=\"");
    if (!group) {
        PageHref(html, context, "page=refs&nodename=").Url(nodeName).Add("&group=").Url(context.Query("group"))
            .Add("\">").Trusted(UiText("transitions...")).Add("</a></p>");
        html.Line("<p class=\"navig2\"><a class=\"navig2\" href=\"");
        PageHref(html, context, "page=calendar&kind=page&nodename=").Url(nodeName);
    } else {
        PageHref(html, context, "page=calendar&group=1&nodename=").Url(nodeName);
    }
    html.Add("\">").Trusted(UiText("Calendar...")).Add("</a></p>");
}

}  // namespace

std::string BuildMainPage(const TReportContext& context) {
    ICounter2& counter = *context.Counter;
    const std::string nodeName = context.Query("nodename");
    const bool hasNodeName = !nodeName.empty();
    const bool group = !context.Query("group").empty();
    THtmlBuilder html;
    Heading(html, nodeName, group);

    Ref<INodeCollection> nodes = counter.GetNodes();
    if (hasNodeName && !nodes->NodeExists(nodeName)) return html.Take();
    const TCounterSettings settings = counter.GetSettings();
    TMainFigures f;
    f.PeriodDays = HistoryDays(context.Now, settings.StartTime);

    html.Line("<p>").Trusted(UiText("Statistics for period")).Add(":  ").Int(f.PeriodDays).Add(" ").Trusted(DayNoun(f.PeriodDays))
        .Trusted(UiText(" from ")).Date("dd-mm-yyyy", settings.StartTime).Add("</p>");

    if (hasNodeName) {
        Ref<INode> node = nodes->FindNode(nodeName, false);
        Ref<INodeInfo> info = node ? node->GetInfo() : nullptr;
        if (!info) return html.Take();
        f.OwnHits = group ? info->GetHits() : 0;
        f.TotalHits = int64_t(info->GetHits()) + (group ? info->GetGroupHits() : 0);
        f.TotalViews = int64_t(info->GetVisits()) + (group ? info->GetGroupVisits() : 0);
        f.TotalVisitors = int64_t(info->GetVisitors()) + (group ? info->GetGroupVisitors() : 0);
        NodeTable(html, *node, *info, group);
    } else {
        const std::string mainNode = counter.GetMainNodeName();
        Ref<INodeInfo> mainInfo = mainNode.empty() ? nullptr : nodes->GetNodeInfo(mainNode, false);
        f.OwnHits = mainInfo ? mainInfo->GetHits() : 0;
        f.TotalHits = settings.TotalHits;
        f.TotalViews = counter.GetTotalVisits();
        f.TotalVisitors = settings.TotalVisitors;
    }
    nodes.reset();
    const std::string_view path = hasNodeName ? std::string_view(nodeName) : std::string_view();
    const bool subtree = hasNodeName && group;
    f.Hits = PeriodFigures(counter, PeriodHits, path, subtree, context.Now);
    f.Views = PeriodFigures(counter, PeriodVisits, path, subtree, context.Now);
    f.Visitors = PeriodFigures(counter, PeriodVisitors, path, subtree, context.Now);
    f.New = PeriodFigures(counter, PeriodNewVisitors, path, subtree, context.Now);

    TotalsSection(html, f);
    RatiosSection(html, counter, settings, !hasNodeName);
    PeriodsSection(html, f);
    AveragesSection(html, context, f);
    Links(html, context, nodeName, group);
    if (hasNodeName) {
        WriteDinPage(html, context, true);
    } else {
        html.Line("<br><br>");
        WriteMainSiteSections(html, context, f.PeriodDays, settings);
    }
    return html.Take();
}

}  // namespace tlvx
